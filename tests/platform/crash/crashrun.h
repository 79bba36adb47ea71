#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One crash of a real child process in a folder of its own:
//   prog/  the crashing program (and the modules it loads); dumps land here
//   work/  its working folder, holding BugReporter.exe unless removed
// The child records its message and the reporter its arguments in files of
// the run, so a test reads what the user would have seen.
class CrashRun
{
public:
    // Time zone of the crashing child: far from UTC and with a quarter-hour
    // offset, so a dump named in UTC or with a rounded offset stands out.
    static const char *const kTimeZone;

    CrashRun();

    bool isValid() const;
    QString programDir() const;
    QString workDir() const;

    // Copies `source` into prog/ as `name` (executable).
    bool addProgramFile(const QString &source, const QString &name);
    void removeReporter();
    QProcessEnvironment &environment();

    // Starts prog/<program> in work/ and waits for its end; false when it did
    // not end within the time limit.
    bool run(const QString &program, const QStringList &arguments);
    QProcess::ExitStatus exitStatus() const { return m_exitStatus; }
    int exitCode() const { return m_exitCode; }
    qint64 pid() const { return m_pid; }
    QString output() const { return m_output; }

    QByteArray messages() const;
    static QByteArray messageRecord(const char *caption, const QString &text);
    // Arguments of each reporter run so far.
    QList<QByteArrayList> reporterRuns() const;
    QString reporterLogPath() const;
    QString reporterDescriptorsPath() const;

    QStringList dumpFiles() const;
    QByteArray dumpContent(const QString &fileName) const;
    // "<base>_<local time>_<version>.dmp" for the second of `utc`, in kTimeZone.
    static QString dumpFileName(const QString &base, const QString &version, const QDateTime &utc);
    // Whether `fileName` is the dump file name of a second between the start
    // and the end of the last run.
    bool dumpNameFitsRun(const QString &fileName, const QString &base, const QString &version) const;
    // The longest a run can take before run() gives up on it.
    static constexpr int kRunLimitSeconds = 90;

private:
    QTemporaryDir m_root;
    QProcessEnvironment m_environment;
    QProcess::ExitStatus m_exitStatus = QProcess::CrashExit;
    int m_exitCode = -1;
    qint64 m_pid = 0;
    QString m_output;
    QDateTime m_started;
    QDateTime m_finished;
};
