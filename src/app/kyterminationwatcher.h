#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the system's polite requests to end the program (SIGTERM and SIGINT on
// Linux: a logout, Ctrl+C in a terminal) into a Qt signal on the GUI thread,
// so the program can end the way its own quit command does and save what it
// holds. Windows sends no such signals to a windowed program; there the
// watcher never fires.
class KyTerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit KyTerminationWatcher(QObject *parent = nullptr);
    ~KyTerminationWatcher() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};
