// SETUP.EXE's entry: the runtime start-up hands the program's module to the installer.
#include <windows.h>

#include "installer/shell/shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    return installer_main(instance, previous, command_line, show);
}
