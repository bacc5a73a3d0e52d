// Does to the KIVREL window from another process what a user does through the window manager
// (tests/win32/edit_check.sh): minimise, restore, or resize to W x H. Under Wine without a
// window manager only the Win32 side can. Exit code 1 without such a window, 2 for a bad command.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    HWND window = FindWindowA(nullptr, "KIVREL");
    const std::string command = argc > 1 ? argv[1] : "";
    if (!window)
        return 1;
    if (command == "minimise" || command == "restore")
        return ShowWindow(window, command == "minimise" ? SW_MINIMIZE : SW_RESTORE) >= 0 ? 0 : 2;
    if (command != "resize" || argc != 4)
        return 2;
    SetWindowPos(window, nullptr, 0, 0, std::atoi(argv[2]), std::atoi(argv[3]), SWP_NOMOVE | SWP_NOZORDER);
    return 0;
}
