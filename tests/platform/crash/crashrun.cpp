#include "crashrun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTimeZone>

const char *const CrashRun::kTimeZone = "Pacific/Chatham";

CrashRun::CrashRun()
    : m_environment(QProcessEnvironment::systemEnvironment())
{
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("prog"));
    root.mkpath(QStringLiteral("work"));
    QFile::copy(QStringLiteral(KY_BUGREPORTER), workDir() + QStringLiteral("/BugReporter.exe"));

    m_environment.insert(QStringLiteral("TZ"), QString::fromLatin1(kTimeZone));
    m_environment.insert(QStringLiteral("KYORO_CRASH_MESSAGE_LOG"), m_root.filePath(QStringLiteral("messages.log")));
    m_environment.insert(QStringLiteral("KYORO_BUGREPORTER_LOG"), reporterLogPath());
    // Sanitizer builds: by default the sanitizer lets a program's own
    // sigaction replace its handlers for these signals, but with
    // handle_segv=2 and the like (set by a developer's ASAN_OPTIONS) it keeps
    // them, reports the crash itself and ends the child before the program's
    // handler runs. Turning its handling off makes sure the handler under
    // test is the one that runs.
    const QString asan = m_environment.value(QStringLiteral("ASAN_OPTIONS"));
    m_environment.insert(QStringLiteral("ASAN_OPTIONS"),
                         asan + (asan.isEmpty() ? QString() : QStringLiteral(":"))
                             + QStringLiteral("handle_segv=0:handle_sigbus=0:handle_abort=0:handle_sigill=0:handle_sigfpe=0"));
}

bool CrashRun::isValid() const
{
    return m_root.isValid() && QFile::exists(workDir() + QStringLiteral("/BugReporter.exe"));
}

QString CrashRun::programDir() const
{
    return m_root.filePath(QStringLiteral("prog"));
}

QString CrashRun::workDir() const
{
    return m_root.filePath(QStringLiteral("work"));
}

bool CrashRun::addProgramFile(const QString &source, const QString &name)
{
    const QString target = programDir() + QLatin1Char('/') + name;
    return QFile::copy(source, target)
        && QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void CrashRun::removeReporter()
{
    QFile::remove(workDir() + QStringLiteral("/BugReporter.exe"));
}

QProcessEnvironment &CrashRun::environment()
{
    return m_environment;
}

bool CrashRun::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.setWorkingDirectory(workDir());
    process.setProcessChannelMode(QProcess::MergedChannels);
    m_started = QDateTime::currentDateTimeUtc();
    const QDeadlineTimer limit(kRunLimitSeconds * 1000);
    process.start(programDir() + QLatin1Char('/') + program, arguments);
    if (!process.waitForStarted(static_cast<int>(limit.remainingTime())))
        return false;
    m_pid = process.processId();
    const bool finished = process.waitForFinished(static_cast<int>(limit.remainingTime()));
    m_finished = QDateTime::currentDateTimeUtc();
    m_output = QString::fromLocal8Bit(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    m_exitStatus = process.exitStatus();
    m_exitCode = process.exitCode();
    return true;
}

QByteArray CrashRun::messages() const
{
    QFile file(m_root.filePath(QStringLiteral("messages.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray CrashRun::messageRecord(const char *caption, const QString &text)
{
    return QByteArray(caption) + '\n' + text.toUtf8() + "\n----\n";
}

QString CrashRun::reporterLogPath() const
{
    return m_root.filePath(QStringLiteral("reporter.args"));
}

QString CrashRun::reporterDescriptorsPath() const
{
    return m_root.filePath(QStringLiteral("reporter.fds"));
}

QList<QByteArrayList> CrashRun::reporterRuns() const
{
    QFile file(reporterLogPath());
    QList<QByteArrayList> runs;
    if (!file.open(QIODevice::ReadOnly))
        return runs;
    const QByteArray content = file.readAll();
    // Each argument ends with NUL, each run with a line feed.
    QByteArrayList current;
    int start = 0;
    for (int i = 0; i < content.size(); ++i) {
        if (content[i] == '\0') {
            current << content.mid(start, i - start);
            start = i + 1;
        } else if (content[i] == '\n' && i == start) {
            runs << current;
            current.clear();
            start = i + 1;
        }
    }
    return runs;
}

QStringList CrashRun::dumpFiles() const
{
    return QDir(programDir()).entryList({QStringLiteral("*.dmp")}, QDir::Files, QDir::Name);
}

QByteArray CrashRun::dumpContent(const QString &fileName) const
{
    QFile file(programDir() + QLatin1Char('/') + fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString CrashRun::dumpFileName(const QString &base, const QString &version, const QDateTime &utc)
{
    const QTimeZone zone(kTimeZone);
    if (!zone.isValid())
        return QString();
    return base + utc.toTimeZone(zone).toString(QStringLiteral("_yyyy-MMdd-hhmm-ss_")) + version
        + QStringLiteral(".dmp");
}

bool CrashRun::dumpNameFitsRun(const QString &fileName, const QString &base, const QString &version) const
{
    QDateTime second = m_started.addMSecs(-m_started.time().msec());
    for (; second <= m_finished; second = second.addSecs(1)) {
        const QString expected = dumpFileName(base, version, second);
        if (!expected.isEmpty() && fileName == expected)
            return true;
    }
    return false;
}
