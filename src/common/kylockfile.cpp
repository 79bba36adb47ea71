#include "common/kylockfile.h"
#include "common/kylockfile_p.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QThread>

Q_LOGGING_CATEGORY(lcLockFile, "kyoro.lockfile")

namespace {

// A starting owner creates the file and fills it in one write; content that
// is still unreadable after this long was left by nobody alive.
constexpr qint64 kFillingMs = 1000;
constexpr qint64 kMaxWaitMs = 3000;
constexpr int kPollMs = 25;

enum class Found { Alive, Stale, Filling, Gone };

Found inspect(QLockFile &lock, const QString &path, QString &what)
{
    const QFileInfo info(path);
    // First: QLockFile would read a lock through a link, from wherever it leads.
    if (info.isSymLink()) {
        what = QStringLiteral("a link to \"%1\"").arg(info.symLinkTarget());
        return Found::Stale;
    }
    if (!info.exists())
        return Found::Gone;
    if (info.isDir()) {
        what = QStringLiteral("a folder");
        return Found::Stale;
    }
    qint64 pid = 0;
    QString host;
    QString application;
    if (lock.getLockInfo(&pid, &host, &application)) {
        // tryLock has already taken over the lock of a process of this machine
        // that is gone; one of another machine cannot be shown to be alive.
        if (!host.isEmpty() && host != lockFileHostName()) {
            what = QStringLiteral("the lock of process %1 on another machine (\"%2\")").arg(pid).arg(host);
            return Found::Stale;
        }
        return Found::Alive;
    }
    const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
    if (age >= 0 && age < kFillingMs)
        return Found::Filling;
    what = info.size() == 0 ? QStringLiteral("an empty file")
                            : QStringLiteral("no readable owner (%1 bytes)").arg(info.size());
    return Found::Stale;
}

bool removeStale(QLockFile &lock, const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return QFile::remove(path);
    if (info.isDir())
        return QDir().rmdir(path);
    // Fails while a live owner holds the file lock on it.
    if (lock.removeStaleLockFile())
        return true;
    // An owner-only file we may not even open (no process can lock it).
    return !info.isReadable() && QFile::remove(path);
}

} // namespace

bool tryLockRecovering(QLockFile &lock, const QString &path)
{
    lock.setStaleLockTime(0);
    QElapsedTimer clock;
    clock.start();
    QString reported;
    for (;;) {
        if (lock.tryLock(0))
            return true;
        QString what;
        const Found found = inspect(lock, path, what);
        if (found == Found::Alive)
            return false;
        if (found == Found::Stale) {
            if (what != reported) {
                qCWarning(lcLockFile).noquote() << "lock file" << path << "holds" << what
                                                << "and no owner alive; taking it over";
                reported = what;
            }
            if (!removeStale(lock, path) && clock.elapsed() >= kMaxWaitMs) {
                qCWarning(lcLockFile).noquote() << "lock file" << path << "cannot be taken over";
                return false;
            }
        }
        if (clock.elapsed() >= kMaxWaitMs) {
            qCWarning(lcLockFile).noquote() << "lock file" << path << "is still being written after"
                                            << clock.elapsed() << "ms; giving up";
            return false;
        }
        if (found != Found::Gone)
            QThread::msleep(kPollMs);
    }
}
