#include "common/kylogthrottle.h"

#include <QMutexLocker>

namespace {
// Keys are few (one per kind of warning); a caller that makes up keys from
// peer data cannot grow the table without bound.
constexpr int kMaxKeys = 256;
} // namespace

KyLogThrottle::KyLogThrottle(int burst, int intervalMs)
    : m_burst(burst)
    , m_intervalMs(intervalMs)
{
}

bool KyLogThrottle::allow(const QString &key, int *suppressed)
{
    QMutexLocker locker(&m_mutex);
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        if (m_entries.size() >= kMaxKeys)
            m_entries.clear();
        it = m_entries.insert(key, Entry());
        it->window.start();
    } else if (it->window.elapsed() >= m_intervalMs) {
        it->window.restart();
        it->passed = 0;
    }
    if (it->passed >= m_burst) {
        ++it->held;
        return false;
    }
    ++it->passed;
    if (suppressed)
        *suppressed = it->held;
    it->held = 0;
    return true;
}
