// The "ProgressBar" window class: 20 segments of 5 % in 10 cells inside a bevelled frame, and
// the class registration that the document viewer uses too.
#include "installer/shell/shell.h"
#include "platform/win_api.h"
#include "resources/main_dialog.h"

namespace {

constexpr int POSITION_INDEX = 0; // the position lives in the window's extra bytes

void inset(OsRect &r, int pixels) {
    r.left += pixels;
    r.bottom += pixels;
    r.right -= pixels;
    r.top -= pixels;
}

void paint_progress_bar(OsWindow window) {
    uint32_t position =
        static_cast<uint32_t>(GetWindowLongA(static_cast<HWND>(window), POSITION_INDEX));
    OsRect bar{};
    os_QueryWinRect(window, &bar);
    COLORREF lit_colour = static_cast<COLORREF>(os_QuerySysValue(OS_SYS_HIGHLIGHT_COLOUR));
    ProgressLayout layout = progress_layout(bar.right - bar.left, position);
    int32_t height = bar.top; // the rectangle's own: its bottom edge is 0

    OsPaint *paint = os_BeginPaint(window, 0, 0);
    bar.right = bar.left + PROGRESS_CELLS * layout.cell_width + 5; // whole cells only
    os_NiceRCL(&bar, paint, -1);
    inset(bar, 1);
    os_NiceRCL(&bar, paint, 1);
    inset(bar, 2);

    HBRUSH lit = CreateSolidBrush(lit_colour);
    HBITMAP checker =
        LoadBitmapA(static_cast<HINSTANCE>(shell_state.instance), MAKEINTRESOURCEA(BITMAP_CHECKER));
    HBRUSH unlit = CreatePatternBrush(checker);
    HDC device = static_cast<HDC>(paint->device_context);
    for (int i = 0; i < PROGRESS_SEGMENTS; ++i) {
        int32_t x = bar.left + (i / 2) * layout.cell_width + (i % 2) * layout.segment_width;
        // Windows' rectangles count y downward from the window's top edge.
        RECT segment{x, height - bar.top, x + layout.segment_width, height - bar.bottom};
        FillRect(device, &segment, i < layout.lit_segments ? lit : unlit);
    }
    DeleteObject(lit);
    if (unlit) DeleteObject(unlit);
    if (checker) DeleteObject(checker);
    os_EndPaint(paint);
}

} // namespace

ProgressLayout progress_layout(int width, uint32_t position) {
    ProgressLayout layout{};
    layout.cell_width = (width - 6) / PROGRESS_CELLS;
    layout.segment_width = (layout.cell_width - 1) / 2;
    uint32_t lit = position / (100 / PROGRESS_SEGMENTS);
    layout.lit_segments = lit > PROGRESS_SEGMENTS ? PROGRESS_SEGMENTS : static_cast<int>(lit);
    return layout;
}

uint16_t register_installer_class(const char *name, OsWindowProc procedure, uint32_t style,
                                  int icon_id) {
    return plat_register_class(name, procedure, style, icon_id);
}

intptr_t progress_bar_proc(OsWindow window, uint32_t message, uintptr_t first, intptr_t second) {
    switch (message) {
    case PROGRESS_SETRANGE: // the range is always 0 to 100
        return 0;
    case PROGRESS_SETPOS:
        SetWindowLongA(static_cast<HWND>(window), POSITION_INDEX, static_cast<LONG>(first));
        os_InvalidateRcl(window, nullptr, 0);
        return 0;
    case WM_PAINT:
        paint_progress_bar(window);
        return 0;
    default:
        return os_DefWinProc(window, message, first, second);
    }
}
