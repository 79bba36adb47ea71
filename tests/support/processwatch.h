#pragma once

#include "ownprocesses.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace kytest {

// Counts how often a process of one name starts, and the most copies seen at
// once, by sampling this run's processes (ownprocesses.h) while the object
// exists and the event loop runs.
class ProcessWatch : public QObject
{
public:
    explicit ProcessWatch(const QString &name)
        : m_name(name)
    {
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            const int now = ownProcesses(m_name).size();
            if (now > m_running)
                starts += now - m_running;
            most = qMax(most, now);
            m_running = now;
        });
        m_timer.start(15);
    }
    int starts = 0;
    int most = 0;

private:
    QString m_name;
    QTimer m_timer;
    int m_running = 0;
};

} // namespace kytest
