// A stand-in of VURuv starting its own update, copied as VURuv.exe into a
// folder: "VURuv.exe HELPER ASKED GO" starts "HELPER close <its folder> 60"
// the way VURuv starts the setup (which runs the helper), then waits to be
// asked to quit through a window of VURuv's watcher class. Asked, it sets
// the event ASKED and takes its time to end, as VURuv does under Wine,
// until the event GO is set. Exit code 0; 3 when the helper ended before
// it asked this program to quit. Not shipped.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {
bool s_asked = false;

LRESULT CALLBACK watcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        s_asked = true;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 4)
        return 2;
    const std::wstring helper = arguments[1];
    HANDLE asked = OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments[2]);
    HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, arguments[3]);
    LocalFree(arguments);
    if (!asked || !go)
        return 2;

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = watcherProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"KyTerminationWatcher";
    RegisterClassExW(&windowClass);
    if (!CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"VURuv", WS_POPUP, 0, 0, 0, 0, nullptr,
                         nullptr, instance, nullptr))
        return 2;

    wchar_t self[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring folder(self, length);
    folder.resize(folder.find_last_of(L'\\'));
    std::wstring line = L"\"" + helper + L"\" close \"" + folder + L"\" 60";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return 2;
    CloseHandle(started.hThread);

    while (!s_asked) {
        if (MsgWaitForMultipleObjects(1, &started.hProcess, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0)
            return 3;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    SetEvent(asked);
    WaitForSingleObject(go, 60000);
    return 0;
}
