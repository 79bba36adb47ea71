// The OBS configuration readers and the push-code writers on files another
// program wrote: OBS Studio's global.ini, user.ini, a profile's basic.ini and
// service.json, and OBS Classic's profile. Writing the push code must keep
// every other member of service.json, and both codes must read back as
// written.

#include "fuzzsupport.h"
#include "common/kypaths.h"
#include "logic/kylivetoolconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

using kyfuzz::check;
using kyfuzz::fuzzTempDir;

QString configRoot()
{
    return roamingAppDataRoot();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // A home of the fuzzer's own: the writers create files below it.
    static std::unique_ptr<QTemporaryDir> home = fuzzTempDir();
    const QByteArray root = QFile::encodeName(home->path());
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("KYORO_DRIVES_DIR", root + "/drives");
    static QCoreApplication app(*argc, *argv);
    // Files the writers refuse are reported through Qt's logger; keep quiet.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // global.ini, user.ini, basic.ini, service.json and OBS Classic's profile,
    // separated by NUL bytes.
    QList<QByteArray> parts = QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\0');
    while (parts.size() < 5)
        parts << QByteArray();

    QDir(configRoot()).removeRecursively();
    writeBytes(configRoot() + QStringLiteral("obs-studio/global.ini"), parts[0]);
    if (!parts[1].isEmpty())
        writeBytes(configRoot() + QStringLiteral("obs-studio/user.ini"), parts[1]);
    const QString profile = obsStudioProfileDir();
    check(!profile.isEmpty() && !profile.contains(QLatin1Char('/')) && !profile.contains(QLatin1Char('\\'))
          && profile != QLatin1String(".") && profile != QLatin1String(".."));
    const QString profileDir = configRoot() + QStringLiteral("obs-studio/basic/profiles/") + profile;
    writeBytes(profileDir + QStringLiteral("/basic.ini"), parts[2]);
    writeBytes(profileDir + QStringLiteral("/service.json"), parts[3]);
    writeBytes(configRoot() + QStringLiteral("OBS/profiles/Untitled.ini"), parts[4]);

    QString server;
    QString key;
    readObsStudioPushCode(server, key);
    QString url;
    QString playPath;
    readObsClassicPushCode(url, playPath);
    obsStudioRecordPath();
    obsClassicRecordPath();

    const QJsonDocument before = QJsonDocument::fromJson(parts[3]);
    if (writeObsStudioPushCode(QStringLiteral("rtmp://fuzz/live"), QStringLiteral("key-1"))) {
        readObsStudioPushCode(server, key);
        check(server == QLatin1String("rtmp://fuzz/live") && key == QLatin1String("key-1"));
        const QJsonObject now = QJsonDocument::fromJson(readConfigText(profileDir + QStringLiteral("/service.json")).toUtf8()).object();
        check(now.value(QStringLiteral("type")).toString() == QLatin1String("rtmp_custom"));
        if (before.isObject()) {
            const QJsonObject old = before.object();
            for (auto it = old.begin(); it != old.end(); ++it) {
                if (it.key() != QLatin1String("settings") && it.key() != QLatin1String("type"))
                    check(now.value(it.key()) == it.value());
            }
            const QJsonObject oldSettings = old.value(QStringLiteral("settings")).toObject();
            const QJsonObject newSettings = now.value(QStringLiteral("settings")).toObject();
            for (auto it = oldSettings.begin(); it != oldSettings.end(); ++it) {
                if (it.key() != QLatin1String("server") && it.key() != QLatin1String("key"))
                    check(newSettings.value(it.key()) == it.value());
            }
        }
    }
    if (writeObsClassicPushCode(QStringLiteral("rtmp://fuzz/classic"), QStringLiteral("code-2"))) {
        readObsClassicPushCode(url, playPath);
        check(url == QLatin1String("rtmp://fuzz/classic") && playPath == QLatin1String("code-2"));
    }
    return 0;
}
