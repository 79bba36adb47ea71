#include "common/kylockfile.h"
#include "common/kylockfile_p.h"

#include "platform/processes.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QThread>

Q_LOGGING_CATEGORY(lcLockFile, "kyoro.lockfile")

namespace {

// A starting owner creates the file and fills it in one write; content that
// is still unreadable after this long was left by nobody alive.
constexpr qint64 kFillingMs = 1000;
constexpr qint64 kMaxWaitMs = 3000;
constexpr int kPollMs = 25;

// Unvouched: a readable lock of a running process id without an owner
// record; only QLockFile's own file lock can tell whether it is held.
enum class Found { Alive, Stale, Unvouched, Filling, Gone };

QString ownerRecordPath(const QString &path)
{
    return path + QStringLiteral(".owner");
}

// "<pid> <start time>" of the process that wrote it; false when there is no
// such record (or not a plain file holding one).
bool readOwnerRecord(const QString &path, qint64 &pid, quint64 &start)
{
    const QString record = ownerRecordPath(path);
    const QFileInfo info(record);
    if (info.isSymLink() || !info.isFile())
        return false;
    QFile file(record);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> words = file.read(64).trimmed().split(' ');
    bool pidOk = false;
    bool startOk = false;
    if (words.size() == 2) {
        pid = words[0].toLongLong(&pidOk);
        start = words[1].toULongLong(&startOk);
    }
    return pidOk && startOk && pid > 0;
}

void removeOwnerRecord(const QString &path)
{
    const QString record = ownerRecordPath(path);
    if (QFileInfo(record).isDir() && !QFileInfo(record).isSymLink())
        QDir().rmdir(record);
    else
        QFile::remove(record);
}

// Written by the owner right after it took the lock. Whatever was at the
// record's name (a stale record, a link) is replaced, never written through.
void writeOwnerRecord(const QString &path)
{
    unsigned long long start = 0;
    const long long pid = kyplatform::currentProcessId();
    if (!kyplatform::processStartTime(pid, start)) {
        qCWarning(lcLockFile).noquote() << "cannot tell this process's start time; lock file" << path
                                        << "gets no owner record";
        return;
    }
    removeOwnerRecord(path);
    QSaveFile file(ownerRecordPath(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(pid) + ' ' + QByteArray::number(start) + '\n') < 0
        || !file.commit())
        qCWarning(lcLockFile).noquote() << "cannot write the owner record of lock file" << path << file.errorString();
}

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
        // A process with that id runs (QLockFile has checked that much, and
        // that its program has the owner's name). It is the owner only if it
        // started when the owner did.
        qint64 recordPid = 0;
        quint64 recordStart = 0;
        if (readOwnerRecord(path, recordPid, recordStart) && recordPid == pid) {
            unsigned long long start = 0;
            if (kyplatform::processStartTime(pid, start) && start == recordStart)
                return Found::Alive;
            what = QStringLiteral("the lock of process %1, an id now taken by a process started later").arg(pid);
            return Found::Stale;
        }
        // No record of this owner: it is writing it right now, or the lock
        // was left by a program that wrote none.
        const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
        if (age >= 0 && age < kFillingMs)
            return Found::Filling;
        return Found::Unvouched;
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
        if (lock.tryLock(0)) {
            writeOwnerRecord(path);
            return true;
        }
        QString what;
        const Found found = inspect(lock, path, what);
        if (found == Found::Alive)
            return false;
        if (found == Found::Unvouched) {
            // Removal fails while the owner holds the file: then it lives.
            if (!lock.removeStaleLockFile())
                return false;
            qCWarning(lcLockFile).noquote() << "lock file" << path
                                            << "was held by nobody any more (no owner record); taken over";
            continue;
        }
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

void releaseLock(QLockFile &lock, const QString &path)
{
    if (!lock.isLocked())
        return;
    // The record first: a lock without a record is only ever taken over
    // through QLockFile's own file lock.
    removeOwnerRecord(path);
    lock.unlock();
}
