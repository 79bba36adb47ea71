#include "common/kystartuptrace.h"

#include "platform/processes.h"

#include <QDebug>
#include <QElapsedTimer>

#include <array>
#include <mutex>

namespace {

struct Stage
{
    const char *name = nullptr;
    double ms = 0;
    double processorMs = 0;
    std::size_t residentBytes = 0;
};

struct Trace
{
    std::mutex lock;
    QElapsedTimer clock;
    double originMs = 0;
    std::array<Stage, 64> stages;
    std::size_t count = 0;
    bool ended = false;
};

Trace &trace()
{
    static Trace instance;
    return instance;
}

bool readSwitch()
{
    const QByteArray value = qgetenv("KY_STARTUP_TRACE");
    return !value.isEmpty() && value != "0";
}

} // namespace

bool kyStartupTraceOn()
{
    static const bool on = readSwitch();
    return on;
}

void kyStartupMark(const char *stage)
{
    if (!kyStartupTraceOn())
        return;
    Trace &t = trace();
    std::lock_guard<std::mutex> locker(t.lock);
    if (t.ended || t.count == t.stages.size())
        return;
    if (!t.clock.isValid()) {
        t.originMs = kyplatform::millisecondsSinceProcessStart();
        t.clock.start();
    }
    Stage &entry = t.stages[t.count++];
    entry.name = stage;
    entry.ms = t.originMs + double(t.clock.nsecsElapsed()) / 1e6;
    entry.processorMs = kyplatform::processorMilliseconds();
    entry.residentBytes = kyplatform::residentBytes();
}

void kyStartupTraceEnd()
{
    if (!kyStartupTraceOn())
        return;
    kyStartupMark("trace ends");
    Trace &t = trace();
    std::array<Stage, 64> stages;
    std::size_t count = 0;
    {
        std::lock_guard<std::mutex> locker(t.lock);
        if (t.ended)
            return;
        t.ended = true;
        stages = t.stages;
        count = t.count;
    }
    // One line per stage: time since the process was created and since the
    // stage before, processor time of the process (all threads) since the
    // stage before, resident memory. On a busy machine the processor time
    // says better than the clock what a stage costs.
    double previous = 0;
    double previousProcessor = 0;
    for (std::size_t i = 0; i < count; ++i) {
        qDebug().noquote() << QStringLiteral("by startup trace, %1 ms (+%2, processor +%3), %4 MB: %5")
                                  .arg(stages[i].ms, 0, 'f', 1)
                                  .arg(stages[i].ms - previous, 0, 'f', 1)
                                  .arg(stages[i].processorMs - previousProcessor, 0, 'f', 1)
                                  .arg(double(stages[i].residentBytes) / (1024.0 * 1024.0), 0, 'f', 1)
                                  .arg(QLatin1String(stages[i].name));
        previous = stages[i].ms;
        previousProcessor = stages[i].processorMs;
    }
}
