#pragma once

#include <QString>
#include <QtGlobal>

// Every Qt message goes, one line each, to a per-day file per level in
// "<temp>/VURuv/": MMdd_debug.log, MMdd_info.log and MMdd_error.log (warnings,
// critical and fatal messages).
class LogManager
{
public:
    static LogManager &instance();

    void installHandler();
    // Restores Qt's default output.
    void uninstallHandler();

    ~LogManager();

    LogManager(const LogManager &) = delete;
    LogManager &operator=(const LogManager &) = delete;

private:
    LogManager() = default;
};

void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// Full path of today's file for `type`; creates the log folder when missing.
QString logFilePath(QtMsgType type);

// The log folder, ending with "/".
QString logDirPath();
