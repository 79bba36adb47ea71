#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>

// Keeps a repeated warning from flooding the log: the same key passes at
// most `burst` times per interval, and the next one that passes says how many
// were held back meanwhile. Thread-safe.
class KyLogThrottle
{
public:
    explicit KyLogThrottle(int burst = 10, int intervalMs = 10000);

    // True when a message with `key` may be logged now; `suppressed` then
    // receives how many with that key were held back since the last one.
    bool allow(const QString &key, int *suppressed = nullptr);

private:
    struct Entry
    {
        QElapsedTimer window;
        int passed = 0;
        int held = 0;
    };

    const int m_burst;
    const int m_intervalMs;
    QMutex m_mutex;
    QHash<QString, Entry> m_entries;
};
