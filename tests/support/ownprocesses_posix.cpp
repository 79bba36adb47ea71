#include "ownprocesses.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <signal.h>

namespace kytest {

namespace {
// "KYTEST_RUN=<value>" and its terminating NUL, as /proc/<id>/environ
// holds it; empty outside a test environment.
QByteArray markerEntry()
{
    const QByteArray value = qgetenv("KYTEST_RUN");
    return value.isEmpty() ? QByteArray() : QByteArrayLiteral("KYTEST_RUN=") + value + '\0';
}

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The name the process list gives: the program file's, else the first
// command-line field's. An ended process that waits for its parent has
// neither and is not listed.
QString programName(const QString &proc)
{
    QString program = QFile::symLinkTarget(proc + QStringLiteral("/exe"));
    program.remove(QRegularExpression(QStringLiteral(" \\(deleted\\)$")));
    if (program.isEmpty()) {
        const QByteArray commandLine = readProcFile(proc + QStringLiteral("/cmdline"));
        program = QFile::decodeName(commandLine.left(commandLine.indexOf('\0')));
    }
    return program.mid(program.lastIndexOf(QLatin1Char('/')) + 1);
}

// A process whose parent runs the same program is not a second copy of it:
// it is the parent's fork on its way to starting another program, or the
// helper a sanitizer build's leak check clones at exit.
bool isForkOfSameProgram(const QString &proc, const QString &name)
{
    const QByteArray status = readProcFile(proc + QStringLiteral("/status"));
    const int at = status.indexOf("\nPPid:");
    if (at < 0)
        return false;
    const QByteArray parent = status.mid(at + 7, status.indexOf('\n', at + 1) - at - 7).trimmed();
    return programName(QStringLiteral("/proc/") + QString::fromLatin1(parent)) == name;
}

bool carries(const QString &proc, const QByteArray &entry)
{
    const QByteArray environment = readProcFile(proc + QStringLiteral("/environ"));
    return environment.startsWith(entry) || environment.contains('\0' + entry);
}

QList<qint64> ownProcessesNamed(const QStringList &names, bool withForks)
{
    QList<qint64> result;
    const QByteArray entry = markerEntry();
    if (entry.isEmpty())
        return result;
    const qint64 self = QCoreApplication::applicationPid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &id : entries) {
        bool isNumber = false;
        const qint64 pid = id.toLongLong(&isNumber);
        if (!isNumber || pid == self)
            continue;
        const QString proc = QStringLiteral("/proc/") + id;
        // The name first: it is one link to read, the environment is a file.
        const QString name = programName(proc);
        if (names.contains(name) && carries(proc, entry) && (withForks || !isForkOfSameProgram(proc, name)))
            result << pid;
    }
    return result;
}
} // namespace

QList<qint64> ownProcesses(const QString &name)
{
    return ownProcessesNamed({name}, false);
}

bool isRunning(const QString &name)
{
    return !ownProcesses(name).isEmpty();
}

void endOwnProcesses(const QStringList &names)
{
    QList<qint64> running = ownProcessesNamed(names, true);
    QElapsedTimer clock;
    clock.start();
    while (!running.isEmpty() && clock.elapsed() < 5000) {
        for (qint64 pid : qAsConst(running))
            ::kill(pid_t(pid), SIGKILL);
        QThread::msleep(20);
        running = ownProcessesNamed(names, true);
    }
}

} // namespace kytest
