#pragma once

#include "platform/crash.h"

#include <ctime>

namespace kyplatform {
namespace crashdetail {

// Local time inside a signal handler. localtime_r is not async-signal-safe:
// glibc takes its time zone lock in it, so a crash while any thread holds that
// lock (a log line being stamped) would hang the handler. Instead the zone is
// read once, up front, into a table of its UTC offsets and the moments they
// change over the next two years; converting a crash time is then plain
// arithmetic. A program running longer keeps the last known offset.
class LocalClock
{
public:
    void prepare(std::time_t from);
    CrashTime localTime(std::time_t utc) const;

private:
    static constexpr int kMaxChanges = 16;
    struct Change
    {
        std::time_t at;
        long offset;
    };
    Change m_changes[kMaxChanges] = {};
    int m_count = 0;
};

} // namespace crashdetail
} // namespace kyplatform
