// A test build of the setup helper's swap: "swapkiller FOLDER N" swaps
// FOLDER\.setup-new in as the setup does and ends its own process, as a
// power loss or a kill would, right after the N-th move. Not shipped.
#include "kysetupfiles.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 3)
        return 2;
    const std::wstring folder = arguments[1];
    const int killAt = _wtoi(arguments[2]);
    LocalFree(arguments);
    std::wstring failed;
    return kysetup::swapIn(folder, failed, [killAt](int moves) {
        if (moves == killAt)
            TerminateProcess(GetCurrentProcess(), 9);
    });
}
