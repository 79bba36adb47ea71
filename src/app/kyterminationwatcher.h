#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the system's polite requests to end the program into a Qt signal on
// the GUI thread, so the program can end the way its own quit command does
// and save what it holds: SIGTERM and SIGINT on Linux (a logout, Ctrl+C in a
// terminal); on Windows WM_CLOSE to a hidden window of the watcher's own
// (window class "KyTerminationWatcher"), as taskkill and the setup program
// send it.
class KyTerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit KyTerminationWatcher(QObject *parent = nullptr);
    ~KyTerminationWatcher() override;

    // Catches the requests from now on, before any watcher exists (and
    // before the application object does); the first watcher then hears
    // those that came in between.
    static void catchEarly();

signals:
    void terminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};
