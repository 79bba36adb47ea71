#include "app/kylogmanager.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTextStream>

LogManager &LogManager::instance()
{
    static LogManager manager;
    return manager;
}

LogManager::~LogManager()
{
    uninstallHandler();
}

void LogManager::installHandler()
{
    qInstallMessageHandler(logMessageHandler);
}

void LogManager::uninstallHandler()
{
    qInstallMessageHandler(nullptr);
}

QString logDirPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation) + QStringLiteral("/VURuv/");
}

QString logFilePath(QtMsgType type)
{
    QString path = logDirPath();
    QDir dir(path);
    if (!dir.exists())
        dir.mkdir(path); // one level: the temporary folder itself exists
    path += QDate::currentDate().toString(QStringLiteral("MMdd_"));
    switch (type) {
    case QtDebugMsg:
        return path + QStringLiteral("debug.log");
    case QtInfoMsg:
        return path + QStringLiteral("info.log");
    default:
        return path + QStringLiteral("error.log");
    }
}

namespace {
QString levelWord(QtMsgType type)
{
    switch (type) {
    case QtInfoMsg:
        return QStringLiteral("Info:");
    case QtWarningMsg:
        return QStringLiteral("Warning:");
    case QtCriticalMsg:
        return QStringLiteral("Critical:");
    case QtFatalMsg:
        return QStringLiteral("Fatal:");
    case QtDebugMsg:
    default:
        return QStringLiteral("Debug:");
    }
}
} // namespace

void logMessageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // Not recursive: nothing below may log. Each message is one open, write
    // and close under the lock, so lines from different threads never mix.
    static QMutex mutex;
    QMutexLocker locker(&mutex);

    // The file name comes from its own clock read, before the time stamp.
    const QString path = logFilePath(type);
    const QDateTime now = QDateTime::currentDateTime();
    const QString stamp = now.toString(QStringLiteral("MM-dd hh:mm:ss.")) + now.time().toString(QStringLiteral("zzz"));
    const QString prefix = QStringLiteral("[%1]: ").arg(stamp);
    const QString line = QStringLiteral("%1 %2 %3").arg(prefix, levelWord(type), message);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QTextStream stream(&file);
    if (message.isEmpty())
        stream << "\r\n";
    else
        stream << line << "\r\n";
    stream.flush();
    file.close();
}
