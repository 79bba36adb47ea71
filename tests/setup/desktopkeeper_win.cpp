// "desktopkeeper PID EVENT": started on a desktop, it stays there until the
// process PID has ended, so that the desktop does too. Wine closes a desktop
// a second after the last program on it has ended, and a program started in
// that second lands on the desktop being closed and shows no window. It sets
// the named event EVENT once it is on the desktop. Not shipped.
#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 3)
        return 2;
    HANDLE owner = OpenProcess(SYNCHRONIZE, FALSE, DWORD(wcstoul(arguments[1], nullptr, 10)));
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments[2]);
    LocalFree(arguments);
    if (!owner || !ready)
        return 3;
    // A process is one of its desktop's users from its start on; this one
    // is running, so it holds the desktop now.
    SetEvent(ready);
    CloseHandle(ready);
    WaitForSingleObject(owner, INFINITE);
    CloseHandle(owner);
    return 0;
}
