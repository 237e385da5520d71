// The seams on Win32: C-runtime files, the current folder, the program's path and shell links.
#include <windows.h>

#include <direct.h>
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>

#include "platform/win_api.h"

std::FILE *plat_fopen(const char *path, const char *mode) {
    return std::fopen(path, mode);
}

int plat_exists(const char *path) {
    return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int plat_host_absolute(const char *) {
    return 0;
}

int plat_chdir(const char *folder) {
    return folder && _chdir(folder) == 0 ? 1 : 0;
}

int plat_program_path(char *out, uint32_t size) {
    if (out == nullptr || size == 0) return 0;
    DWORD got = GetModuleFileNameA(nullptr, out, size);
    if (got == 0 || got >= size) { // failed, or cut to the buffer
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int plat_delete_at_restart(const char *path) {
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 1 : 0;
}

std::string plat_utf8_of(const char *text) {
    int wide_length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide_length <= 0) return "";
    std::wstring wide(static_cast<size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), wide_length);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return "";
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), length, nullptr, nullptr);
    out.resize(static_cast<size_t>(length) - 1); // without the NUL
    return out;
}

int plat_com_begin() {
    return SUCCEEDED(CoInitialize(nullptr)) ? 1 : 0;
}

void plat_com_end() {
    CoUninitialize();
}

ShortcutResult plat_save_shortcut(const ShortcutRequest &request) {
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void **>(&link))))
        return SHORTCUT_NO_LINK_OBJECT;
    link->SetPath(request.target ? request.target : "");
    link->SetArguments(request.arguments ? request.arguments : "");
    link->SetWorkingDirectory(request.working_folder ? request.working_folder : "");
    link->SetDescription(request.description ? request.description : "");
    if (request.icon_file && *request.icon_file) link->SetIconLocation(request.icon_file, 0);
    ShortcutResult result = SHORTCUT_NOT_SAVED;
    IPersistFile *file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)))) {
        wchar_t wide[MAX_PATH];
        // A name that does not convert completely is never handed to Save.
        if (MultiByteToWideChar(CP_ACP, 0, request.link_file ? request.link_file : "", -1, wide,
                                MAX_PATH) <= 1)
            result = SHORTCUT_NAME_FAILED;
        else if (SUCCEEDED(file->Save(wide, TRUE)))
            result = SHORTCUT_SAVED;
        file->Release();
    }
    link->Release();
    return result;
}
