// QEL.EXE of the demo product: a window that says what it is, where it was installed, which
// runtime libraries it found beside it and, started from an ordering shortcut, whom to order from.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char WINDOW_CLASS[] = "QelDemoTerminal";
constexpr const char WINDOW_TITLE[] = "QEL Terminal 3.10 (demo)";
constexpr int TEXT_ID = 100;

// The resellers of the ordering shortcuts, by the number after /ORDER:.
constexpr const char *resellers[] = {"QEL Software Direct", "Datafon Versand", "Modem Express",
                                     "TermWorks Europe"};

// The three runtime libraries the setup copies beside the program.
constexpr const char *runtime_libraries[] = {"VORTAMIX.DLL", "DUDURU2.DLL", "DUVOZER.DLL"};

struct DemoState {
    HFONT font = nullptr;
    HBRUSH background = nullptr;
    std::string text;
};

DemoState &state() {
    static DemoState s;
    return s;
}

std::string program_folder() {
    char path[MAX_PATH] = "";
    DWORD got = GetModuleFileNameA(nullptr, path, sizeof path);
    if (got == 0 || got >= sizeof path) return "";
    char *cut = std::strrchr(path, '\\');
    if (cut) *cut = '\0';
    return path;
}

// What a runtime library says about itself, or why it could not be asked.
std::string describe_library(const char *name) {
    HMODULE library = LoadLibraryA(name);
    if (library == nullptr) return std::string(name) + " - missing";
    using Describe = const char *(*)();
    auto describe = reinterpret_cast<Describe>(
        reinterpret_cast<void *>(GetProcAddress(library, "qel_runtime_describe")));
    std::string line = std::string(name) + " - " + (describe ? describe() : "not a QEL library");
    FreeLibrary(library);
    return line;
}

// The reseller named by an /ORDER:n argument, or null.
const char *ordered_reseller(const char *command_line) {
    const char *order = command_line ? std::strstr(command_line, "/ORDER:") : nullptr;
    if (order == nullptr) return nullptr;
    int number = std::atoi(order + 7);
    if (number < 0 || number >= static_cast<int>(sizeof resellers / sizeof resellers[0]))
        return nullptr;
    return resellers[number];
}

std::string screen_text(const char *command_line) {
    std::string text = "QEL Terminal 3.10 - demo product\r\n"
                       "Installed by QEL Setup, whose own archive engine unpacked it.\r\n\r\n"
                       "Program folder: " +
                       program_folder() + "\r\n\r\nRuntime libraries beside the program:\r\n";
    for (const char *name : runtime_libraries) text += "  " + describe_library(name) + "\r\n";
    if (const char *reseller = ordered_reseller(command_line))
        text += std::string("\r\nOrder form: please order QEL from ") + reseller + ".\r\n";
    text += "\r\nATZ\r\nOK\r\n> _";
    return text;
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
    DemoState &s = state();
    switch (message) {
    case WM_CREATE: {
        RECT client{};
        GetClientRect(window, &client);
        HWND text = CreateWindowExA(0, "STATIC", s.text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, 8,
                                    8, client.right - 16, client.bottom - 16, window,
                                    reinterpret_cast<HMENU>(static_cast<intptr_t>(TEXT_ID)),
                                    nullptr, nullptr);
        SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(s.font), TRUE);
        return 0;
    }
    case WM_SIZE:
        MoveWindow(GetDlgItem(window, TEXT_ID), 8, 8, LOWORD(second) - 16, HIWORD(second) - 16,
                   TRUE);
        return 0;
    case WM_CTLCOLORSTATIC: // green on black, as on the terminal's screen
        SetTextColor(reinterpret_cast<HDC>(first), RGB(0, 255, 0));
        SetBkColor(reinterpret_cast<HDC>(first), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(s.background);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, first, second);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show) {
    DemoState &s = state();
    s.text = screen_text(command_line);
    s.background = CreateSolidBrush(RGB(0, 0, 0));
    s.font = CreateFontA(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                         FIXED_PITCH | FF_MODERN, "Courier New");

    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = s.background;
    window_class.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassA(&window_class)) return 1;
    HWND window = CreateWindowExA(0, WINDOW_CLASS, WINDOW_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 640, 360, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DeleteObject(s.font);
    DeleteObject(s.background);
    return 0;
}
