// Does to the KIVREL window from another process what a user does through the window manager:
// minimise, restore or resize to W x H (tests/win32/edit_check.sh). Under Wine without a
// window manager only the Win32 side can. Exit code 1 when there is no such window.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    HWND window = FindWindowA(nullptr, "KIVREL");
    if (!window || argc < 2)
        return 1;
    if (std::strcmp(argv[1], "minimise") == 0)
        ShowWindow(window, SW_MINIMIZE);
    else if (std::strcmp(argv[1], "restore") == 0)
        ShowWindow(window, SW_RESTORE);
    else if (std::strcmp(argv[1], "resize") == 0 && argc == 4)
        SetWindowPos(window, nullptr, 0, 0, std::atoi(argv[2]), std::atoi(argv[3]), SWP_NOMOVE | SWP_NOZORDER);
    else
        return 2;
    return 0;
}
