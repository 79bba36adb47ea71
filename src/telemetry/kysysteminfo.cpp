#include "telemetry/kysysteminfo.h"

#include "platform/sysinfo.h"

namespace {

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
    QStringList &cache = adapterCache();
    if (cache.isEmpty()) {
        for (const std::string &description : kyplatform::graphicsAdapterDescriptions())
            cache.append(QString::fromStdString(description));
    }
    return cache;
}
