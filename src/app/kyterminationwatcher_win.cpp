#include "app/kyterminationwatcher.h"

#include <windows.h>

namespace {
// The hidden window's class. The setup program looks for it to ask a running
// copy to quit before it replaces the program's files.
const wchar_t kWindowClass[] = L"KyTerminationWatcher";

LRESULT CALLBACK watcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        auto *watcher = reinterpret_cast<KyTerminationWatcher *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (watcher)
            emit watcher->terminationRequested();
        // Never DefWindowProc: it would destroy the window, and a second
        // request must still reach the program.
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND s_window = nullptr;
} // namespace

// A hidden top-level window of the GUI thread takes WM_CLOSE, which is how
// Windows asks a program without a console to end (taskkill without /f, the
// setup program before an update or an uninstall). Its messages are
// dispatched by Qt's event loop on the GUI thread, so the signal is emitted
// there.
KyTerminationWatcher::KyTerminationWatcher(QObject *parent)
    : QObject(parent)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = watcherProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass); // fails harmlessly when already registered
    s_window = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"VURuv", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               instance, nullptr);
    if (s_window)
        SetWindowLongPtrW(s_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

// WM_CLOSE needs the window, and a sender finds none until it exists: the
// setup program asks again until the program quits.
void KyTerminationWatcher::catchEarly() {}

KyTerminationWatcher::~KyTerminationWatcher()
{
    if (s_window) {
        SetWindowLongPtrW(s_window, GWLP_USERDATA, 0);
        DestroyWindow(s_window);
        s_window = nullptr;
    }
}
