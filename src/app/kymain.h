#pragma once

#include <memory>

class KySingleApplication;
class QObject;
class QThread;
class kyoroManager;

// Runs in the first instance once its window is up, just before the event
// loop starts; `app` is the application object.
using KyBeforeEventLoop = void (*)(QObject *app);

// The program's entry function: takes the process arguments and returns the
// exit code (0 or 1 for a second instance, otherwise the event loop's result).
// The shipped program passes no `beforeEventLoop`; a variant of the program
// built for tests passes its own.
int kyMain(int argc, char *argv[], KyBeforeEventLoop beforeEventLoop = nullptr);

// What the first instance builds once it owns the application id: the
// "startup_loading" report, the drag filter, the main window with its logic,
// shown. kyMain runs the event loop between construction and destruction; a
// test can build the same graph inside its own application object and drive
// the window. Destruction deletes the window (which saves the install
// folders) and then the process-wide single objects.
class KyAppSession
{
public:
    explicit KyAppSession(KySingleApplication &app);
    ~KyAppSession();

    KyAppSession(const KyAppSession &) = delete;
    KyAppSession &operator=(const KyAppSession &) = delete;

    kyoroManager *window() const { return m_window.get(); }

private:
    // Brings the network stack up beside the window's construction.
    std::unique_ptr<QThread> m_networkWarmUp;
    // Reads the font configuration beside it.
    std::unique_ptr<QThread> m_fontWarmUp;
    std::unique_ptr<kyoroManager> m_window;
};
