#include "app/kylogmanager.h"

#include "platform/privatefiles.h"

#include <QDate>
#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCodec>

#include <cstdio>

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

namespace {

// Guards the chosen folder. Taken inside the handler's lock and alone; the
// code below it never logs.
QMutex &folderMutex()
{
    static QMutex mutex;
    return mutex;
}

// The folder in use, without trailing "/"; empty until first asked for.
QString &chosenFolder()
{
    static QString folder;
    return folder;
}

QString expectedFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation) + QStringLiteral("/VURuv");
}

bool isPrivate(const QString &folder, QString *problem)
{
    std::string why;
    if (kyplatform::makePrivateDir(folder.toStdString(), why))
        return true;
    if (problem)
        *problem = QString::fromStdString(why);
    return false;
}

void sayOnStderr(const QString &text)
{
    // Not through Qt's logger: this runs inside the log handler.
    std::fprintf(stderr, "VURuv: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The expected folder, or a private one beside it: "VURuv-<user>", and last a
// new folder of a unique name that only this process made.
QString chooseFolder()
{
    const QString expected = expectedFolder();
    QString problem;
    if (isPrivate(expected, &problem))
        return expected;

    const QString beside = expected + QLatin1Char('-') + QString::fromStdString(kyplatform::currentUserTag());
    QString chosen;
    if (isPrivate(beside, nullptr)) {
        chosen = beside;
    } else {
        QTemporaryDir unique(expected + QStringLiteral("-XXXXXX"));
        unique.setAutoRemove(false);
        if (unique.isValid() && isPrivate(unique.path(), nullptr))
            chosen = unique.path();
    }
    if (chosen.isEmpty())
        sayOnStderr(QStringLiteral("log folder %1 %2, and no private folder beside it can be made; not logging")
                        .arg(expected, problem));
    else
        sayOnStderr(QStringLiteral("log folder %1 %2; logging to %3 instead").arg(expected, problem, chosen));
    return chosen;
}

// The folder to write to now, made again when it was removed meanwhile; ""
// when there is none.
QString currentFolder()
{
    QMutexLocker locker(&folderMutex());
    QString &folder = chosenFolder();
    if (folder.isEmpty() || !isPrivate(folder, nullptr))
        folder = chooseFolder();
    return folder;
}

bool isControl(ushort c)
{
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

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

QString logDirPath()
{
    const QString folder = currentFolder();
    return (folder.isEmpty() ? expectedFolder() : folder) + QLatin1Char('/');
}

QString logFilePath(QtMsgType type)
{
    // Makes the folder (privately) when it is missing.
    QString path = logDirPath();
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

QString escapedLogText(const QString &message)
{
    int end = message.size();
    while (end > 0 && (message.at(end - 1) == QLatin1Char('\n') || message.at(end - 1) == QLatin1Char('\r')))
        --end;
    QString text;
    text.reserve(end);
    for (int i = 0; i < end; ++i) {
        const ushort c = message.at(i).unicode();
        if (!isControl(c)) {
            text += message.at(i);
            continue;
        }
        switch (c) {
        case '\r':
            text += QStringLiteral("\\r");
            break;
        case '\n':
            text += QStringLiteral("\\n");
            break;
        case '\t':
            text += QStringLiteral("\\t");
            break;
        default:
            text += c < 0x100 ? QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'))
                              : QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0'));
        }
    }
    return text;
}

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

    QString line;
    if (!message.isEmpty())
        line = QStringLiteral("%1 %2 %3").arg(prefix, levelWord(type), escapedLogText(message));
    line += QStringLiteral("\r\n");
    // The system's locale encoding, as a text stream would write it.
    const QByteArray bytes = QTextCodec::codecForLocale()->fromUnicode(line);
    kyplatform::appendToPrivateFile(path.toStdString(), bytes.toStdString());
}
