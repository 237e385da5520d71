// The Windows calls the installer makes directly: real on Windows, emulated by the headless layer
// elsewhere (files on the host, registry and drawing in memory), plus the thin seams (plat_...)
// for what would otherwise need window classes, COM or the module path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/os_layer.h"

#ifdef _WIN32
#include <windows.h>
#else
typedef int BOOL;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef unsigned char BYTE;
typedef uint32_t COLORREF;
typedef const char *LPCSTR;
typedef struct HKEY__ *HKEY;
typedef struct HWND__ *HWND;
typedef struct HDC__ *HDC;
typedef struct HBRUSH__ *HBRUSH;
typedef struct HBITMAP__ *HBITMAP;
typedef void *HGDIOBJ;
typedef void *HINSTANCE;
typedef void *LPSECURITY_ATTRIBUTES;

struct RECT {
    LONG left, top, right, bottom;
};

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_MORE_DATA 234
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#ifndef MAX_PATH
#define MAX_PATH 260
#endif
#define MAKEINTRESOURCEA(id) (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id)))
#define RGB(r, g, b) (static_cast<COLORREF>((r) | ((g) << 8) | ((b) << 16)))

// Window messages and notifications, with the numbers Windows gives them.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_SETTEXT 0x000C
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SETCURSOR 0x0020
#define WM_SETFONT 0x0030
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_USER 0x0400
#define WM_APP 0x8000
#define EN_SETFOCUS 0x0100
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400
#define BN_CLICKED 0
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

// Window styles.
#define WS_OVERLAPPEDWINDOW 0x00CF0000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_BORDER 0x00800000u
#define WS_VSCROLL 0x00200000u
#define WS_HSCROLL 0x00100000u
#define ES_MULTILINE 0x0004u
#define ES_READONLY 0x0800u
#define CW_USEDEFAULT (static_cast<int>(0x80000000u))

// Message-box flags.
#define MB_OK 0x0u
#define MB_YESNO 0x4u
#define MB_ICONHAND 0x10u
#define MB_ICONQUESTION 0x20u
#define MB_ICONEXCLAMATION 0x30u
#define MB_ICONASTERISK 0x40u
#define MB_DEFBUTTON2 0x100u
#define MB_SETFOREGROUND 0x10000u

BOOL CopyFileA(const char *source, const char *target, BOOL fail_if_exists);
BOOL CreateDirectoryA(const char *path, LPSECURITY_ATTRIBUTES security);
BOOL DeleteFileA(const char *path);
BOOL RemoveDirectoryA(const char *path);
LONG RegCreateKeyA(HKEY parent, const char *sub_key, HKEY *result);
LONG RegQueryValueExA(HKEY key, const char *name, DWORD *reserved, DWORD *type, BYTE *data,
                      DWORD *length);
LONG RegCloseKey(HKEY key);
DWORD ExpandEnvironmentStringsA(const char *source, char *target, DWORD size);
DWORD SearchPathA(const char *path, const char *file, const char *extension, DWORD size,
                  char *buffer, char **file_part);
BOOL OemToCharA(const char *source, char *target);

// Drawing, counted by the headless layer so that tests see every object made and released.
HBRUSH CreateSolidBrush(COLORREF colour);
HBRUSH CreatePatternBrush(HBITMAP bitmap);
HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
BOOL DeleteObject(HGDIOBJ object);
int FillRect(HDC device, const RECT *rectangle, HBRUSH brush);
// The window's extra bytes (index 0: one 32-bit value).
LONG SetWindowLongA(HWND window, int index, LONG value);
LONG GetWindowLongA(HWND window, int index);
#endif

// C-runtime file access with the installer's backslash paths.
std::FILE *plat_fopen(const char *path, const char *mode);
// 1 when the path names an existing file or folder.
int plat_exists(const char *path);
// 1 when the path is absolute in a form of the host's own beyond a drive's or a share's root
// (the headless layer's host paths, "/tmp/qel"); Windows has none, so there it is always 0.
int plat_host_absolute(const char *path);
// Makes the folder the current folder; 1 on success.
int plat_chdir(const char *folder);
// The program's own full path (GetModuleFileNameA); 1 when it fitted the buffer.
int plat_program_path(char *out, uint32_t size);
// Has the file deleted when Windows next starts (for a file in use now); 1 when arranged.
int plat_delete_at_restart(const char *path);
// Text in the window code page as UTF-8.
std::string plat_utf8_of(const char *text);

// Registers a window class with 4 window extra bytes, the program's instance, icon resource
// icon_id (resource 1 when that one cannot be loaded), the arrow cursor and the light grey
// background. The procedure gets plain Windows messages. Returns the class atom, 0 on failure.
uint16_t plat_register_class(const char *name, OsWindowProc procedure, uint32_t style, int icon_id);
// Creates a window (CreateWindowExA without extended style): a top-level one when parent is none,
// else a child with the given id. Positions in Windows' own coordinates (y downward).
OsWindow plat_create_window(const char *window_class, const char *title, uint32_t style, int32_t x,
                            int32_t y, int32_t width, int32_t height, OsWindow parent, int id);
// Sends a plain Windows message and waits for its result (SendMessageA).
intptr_t plat_send_message(OsWindow window, uint32_t message, uintptr_t first, intptr_t second);

// Shell links through COM on the calling thread.
// plat_com_begin returns 1 when COM was initialised here, and only then may plat_com_end follow.
int plat_com_begin();
void plat_com_end();
struct ShortcutRequest {
    const char *link_file; // the .LNK file to write
    const char *target;
    const char *arguments;
    const char *working_folder;
    const char *description;
    const char *icon_file; // null or empty: the target's own icon
};
enum ShortcutResult {
    SHORTCUT_SAVED = 0,
    SHORTCUT_NO_LINK_OBJECT, // the shell-link object could not be created
    SHORTCUT_NAME_FAILED,    // the link file's name did not convert to a wide string
    SHORTCUT_NOT_SAVED,      // no file interface, or the save failed
};
ShortcutResult plat_save_shortcut(const ShortcutRequest &request);
