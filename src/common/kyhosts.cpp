#include "common/kyhosts.h"

#include <QByteArray>
#include <QtGlobal>

namespace {
const char kDownloadServer[] = "http://download.kyoro.live";
const char kWebApi[] = "http://www.kyoro.live";
const char kWebSite[] = "https://www.kyoro.live";
const char kWebSiteDisplay[] = "www.kyoro.live";
const char kCustomerService[] = "https://kefu.kyoro.live";
const char kTelemetry[] = "https://lark.kyoro.live";
const char kCrashUploadHost[] = "crash.kyoro.live";
const char kObsProjectSite[] = "https://obsproject.com/";

QString base(const char *builtIn)
{
    const QString over = platformOverride();
    return over.isEmpty() ? QString::fromLatin1(builtIn) : over;
}
} // namespace

QString platformOverride()
{
    QString url = QString::fromUtf8(qgetenv("KYORO_PLATFORM_URL")).trimmed();
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QString downloadServerUrl(const QString &path)
{
    return base(kDownloadServer) + path;
}

QString webApiUrl(const QString &pathAndQuery)
{
    return base(kWebApi) + pathAndQuery;
}

QString webSiteUrl(const QString &path)
{
    return base(kWebSite) + path;
}

QString webSiteDisplayAddress()
{
    const QString over = platformOverride();
    if (over.isEmpty())
        return QString::fromLatin1(kWebSiteDisplay);
    const int schemeEnd = over.indexOf(QLatin1String("://"));
    return schemeEnd < 0 ? over : over.mid(schemeEnd + 3);
}

QString customerServiceUrl()
{
    return base(kCustomerService) + QLatin1Char('/');
}

QString telemetryCollectorUrl()
{
    return base(kTelemetry) + QStringLiteral("/deliver/lark2");
}

QString crashUploadLocation()
{
    const QString over = platformOverride();
    const QString host = over.isEmpty() ? QStringLiteral("ftp://") + QString::fromLatin1(kCrashUploadHost) : over;
    return host + QStringLiteral("//KYLiveMgr//");
}

QString obsProjectSiteUrl()
{
    return QString::fromLatin1(kObsProjectSite);
}
