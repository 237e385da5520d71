// The Windows calls the installer makes directly: real on Windows, file-system backed elsewhere.
#pragma once

#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
typedef int BOOL;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned char BYTE;
typedef struct HKEY__ *HKEY;
typedef void *LPSECURITY_ATTRIBUTES;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_MORE_DATA 234
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

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
#endif

// C-runtime file access with the installer's backslash paths.
std::FILE *plat_fopen(const char *path, const char *mode);
// 1 when the path names an existing file or folder.
int plat_exists(const char *path);
