#include "telemetry/kysysteminfo.h"

#include "platform/sysinfo.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

// One lock per cache, held through a probe: a caller on another thread waits
// for the probe under way instead of starting a second one.
QMutex s_cpuLock;
QMutex s_adapterLock;

struct CpuCache {
    QString model;
    QString vendor;
    int count = 0;
    int mhz = 0;
};

CpuCache &cpuCache()
{
    static CpuCache cache;
    return cache;
}

QStringList &adapterCache()
{
    static QStringList cache;
    return cache;
}

} // namespace

void osName(QString &name)
{
    name = QString::fromStdString(kyplatform::osName());
}

bool cpuInfo(QString &model, QString &vendor, int &count, int &mhz)
{
    QMutexLocker locker(&s_cpuLock);
    CpuCache &cache = cpuCache();
    if (cache.model.isEmpty()) {
        const kyplatform::CpuDescription cpu = kyplatform::cpuDescription();
        cache.model = QString::fromStdString(cpu.model);
        cache.vendor = QString::fromStdString(cpu.vendor);
        cache.count = cpu.count;
        cache.mhz = cpu.mhz;
    }
    model = cache.model;
    vendor = cache.vendor;
    count = cache.count;
    mhz = cache.mhz;
    return true;
}

QStringList graphicsAdapters()
{
    QMutexLocker locker(&s_adapterLock);
    QStringList &cache = adapterCache();
    if (cache.isEmpty()) {
        for (const std::string &description : kyplatform::graphicsAdapterDescriptions())
            cache.append(QString::fromStdString(description));
    }
    return cache;
}
