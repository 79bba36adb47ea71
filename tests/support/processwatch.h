#pragma once

#include "common/kyprocesses.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kytest {

// Counts how often a process of one name starts, and the most copies seen at
// once, by sampling the process list while the object exists (and the event
// loop runs).
//
// The process list is the whole machine's, and other test runs may start
// programs of the same names meanwhile. Given a folder, the watch counts
// only programs that lie below it, read from /proc (these tests run on
// Linux); a process whose program cannot be read (another user's, or one
// that has ended and waits for its parent) does not count.
class ProcessWatch : public QObject
{
public:
    explicit ProcessWatch(const QString &name, const QString &folder = QString())
        : m_name(name)
        , m_folder(folder.isEmpty() ? folder : folderPrefix(folder))
    {
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            const int now = running();
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
    // Program links name the real file, so the folder's links are resolved
    // too (where it exists yet).
    static QString folderPrefix(const QString &folder)
    {
        const QString real = QDir(folder).canonicalPath();
        return (real.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : real) + QLatin1Char('/');
    }

    int running() const
    {
        if (m_folder.isEmpty())
            return runningProcessNames().count(m_name);
        int count = 0;
        const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &pid : pids) {
            if (!pid.front().isDigit())
                continue;
            const QString program = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
            if (program.startsWith(m_folder) && program.mid(program.lastIndexOf(QLatin1Char('/')) + 1) == m_name)
                ++count;
        }
        return count;
    }

    QString m_name;
    QString m_folder;
    QTimer m_timer;
    int m_running = 0;
};

} // namespace kytest
