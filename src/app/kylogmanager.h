#pragma once

#include <QString>
#include <QtGlobal>

// Every Qt message goes, one line each, to a per-day file per level in
// "<temp>/VURuv/": MMdd_debug.log, MMdd_info.log and MMdd_error.log (warnings,
// critical and fatal messages).
//
// The temporary folder may be shared with other accounts. The log folder is
// therefore the user's own: created owner-only and used only while it is a
// real folder of this user; when "<temp>/VURuv" is not (planted by another
// account, a link), a private folder beside it is used instead and stderr
// says so. Files are appended without following links, and control
// characters in a message are escaped, so text from a peer cannot forge
// lines.
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

// The log folder, ending with "/": "<temp>/VURuv/" unless that one was found
// not to be private.
QString logDirPath();

// The message as written: CR, LF and other control characters escaped ("\r",
// "\n", "\t", "\xHH", "\uHHHH"); line ends at its end are dropped.
QString escapedLogText(const QString &message);
