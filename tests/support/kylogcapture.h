#pragma once

// Collects every log message of the process (from any thread) while it
// exists, passing each on to the handler that was installed before. take()
// and text() give them as "category: text"; contains() and count() look at
// the message text alone.

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

#include <utility>

namespace kytest {

class LogCapture
{
public:
    LogCapture()
    {
        self() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }

    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        self() = nullptr;
    }

    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // The messages so far, and forgets them.
    QStringList take()
    {
        QMutexLocker locker(&m_mutex);
        m_messages.clear();
        return std::exchange(m_lines, {});
    }

    // Keeps the messages so far and returns all of them, joined by newlines.
    QString text()
    {
        QMutexLocker locker(&m_mutex);
        return m_lines.join(QLatin1Char('\n'));
    }

    // Whether, and how often, a message with exactly this text was logged.
    bool contains(const QString &message) { return count(message) > 0; }
    int count(const QString &message)
    {
        QMutexLocker locker(&m_mutex);
        return m_messages.count(message);
    }

private:
    static LogCapture *&self()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        LogCapture *capture = self();
        if (!capture)
            return;
        {
            QMutexLocker locker(&capture->m_mutex);
            capture->m_lines << QString::fromUtf8(context.category ? context.category : "default")
                    + QStringLiteral(": ") + message;
            capture->m_messages << message;
        }
        if (capture->m_previous)
            capture->m_previous(type, context, message);
    }

    QMutex m_mutex;
    QStringList m_lines;
    QStringList m_messages;
    QtMessageHandler m_previous = nullptr;
};

} // namespace kytest
