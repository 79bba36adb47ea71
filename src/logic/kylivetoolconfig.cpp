#include "logic/kylivetoolconfig.h"

#include "common/kypaths.h"
#include "common/kytexts.h"
#include "platform/profileini.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcToolConfig, "kyoro.config")

namespace {

const char kPublish[] = "Publish";

QString slashed(QString path)
{
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QString videosFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
}

std::string fileArg(const QString &path)
{
    return nativePath(path).toStdString();
}

QString obsClassicProfilePath()
{
    return roamingAppDataRoot() + QStringLiteral("OBS/profiles/Untitled.ini");
}

QString obsStudioRoot()
{
    return roamingAppDataRoot() + OBS_STUDIO_CONFIG_DIR;
}

QString obsStudioProfilePath(const QString &profile)
{
    return roamingAppDataRoot() + OBS_STUDIO_PROFILES_DIR + profile;
}

QJsonObject readJsonObject(const QString &path)
{
    return QJsonDocument::fromJson(readConfigText(path).toUtf8()).object();
}

// A value of an OBS Studio INI file. These files are UTF-8 with values
// written as they are: a Windows path keeps its backslashes and a name its
// commas and semicolons, which Qt's INI reader would treat as escapes, list
// separators and comments.
QString obsIniValue(const QString &path, const char *section, const char *key)
{
    QFile file(nativePath(path));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray text = file.readAll();
    std::string value;
    if (!kyplatform::findIniValue(text.toStdString(), section, key, value))
        return QString();
    return QString::fromStdString(value);
}

// The profile folder must be one folder below "basic/profiles": a value read
// from a file must not send the writer elsewhere.
bool isPlainFolderName(const QString &name)
{
    if (name.isEmpty())
        return false;
    if (name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/'))
        || name.contains(QLatin1Char('\\'))) {
        qCWarning(lcToolConfig) << "ignoring OBS Studio profile folder that is not a plain name:" << name;
        return false;
    }
    return true;
}

QString profileFolderNamed(const QString &profileName)
{
    const QDir profiles(nativePath(obsStudioRoot() + QStringLiteral("basic/profiles")));
    const QStringList folders = profiles.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &folder : folders) {
        const QString name = obsIniValue(obsStudioProfilePath(folder) + QStringLiteral("/basic.ini"), "General", "Name");
        if (name == profileName)
            return folder;
    }
    return QString();
}

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0));
}

} // namespace

QString readConfigText(const QString &path)
{
    QFile file(nativePath(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("{}");
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

bool writeConfigText(const QString &path, const QString &text)
{
    const int nul = text.indexOf(QChar(0));
    const QByteArray bytes = (nul < 0 ? text : text.left(nul)).toUtf8();
    QSaveFile file(nativePath(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCWarning(lcToolConfig) << "cannot write" << path << file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcToolConfig) << "cannot write" << path << file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

QString kyToolRecordPath()
{
    const QJsonObject root = readJsonObject(localAppDataRoot() + QStringLiteral("KYTool/SystemSetting"));
    return slashed(root.value(QStringLiteral("other.video.file.path")).toString());
}

QString kyShowRecordPath()
{
    const QJsonObject root = readJsonObject(localAppDataRoot() + QStringLiteral("KyoroShow/SysConfig.config"));
    const QJsonObject sys = root.value(QStringLiteral("sys")).toObject();
    return slashed(sys.value(QStringLiteral("sys_record_path")).toString());
}

QString obsClassicRecordPath()
{
    QString path = QString::fromStdString(
        kyplatform::readProfileString(fileArg(obsClassicProfilePath()), kPublish, "LastSaveDir", std::string(), 512));
    if (path.isEmpty())
        path = videosFolder();
    return slashed(path);
}

QString obsStudioProfileDir()
{
    const QString root = obsStudioRoot();
    if (QFile::exists(nativePath(root + QStringLiteral("user.ini")))) {
        const QString userIni = root + QStringLiteral("user.ini");
        const QString profileName = obsIniValue(userIni, "Basic", "Profile");
        if (!profileName.isEmpty()) {
            const QString folder = profileFolderNamed(profileName);
            if (!folder.isEmpty())
                return folder;
        }
        const QString folder = obsIniValue(userIni, "Basic", "ProfileDir");
        if (isPlainFolderName(folder))
            return folder;
    }
    const QString folder = obsIniValue(root + QStringLiteral("global.ini"), "Basic", "ProfileDir");
    if (isPlainFolderName(folder))
        return folder;
    return OBS_STUDIO_DEFAULT_PROFILE;
}

QString obsStudioRecordPath()
{
    QString path = obsIniValue(obsStudioProfilePath(obsStudioProfileDir()) + QStringLiteral("/basic.ini"),
                               "SimpleOutput", "FilePath");
    if (path.isEmpty())
        path = videosFolder();
    return slashed(path);
}

void readObsClassicPushCode(QString &url, QString &playPath)
{
    const std::string file = fileArg(obsClassicProfilePath());
    url = QString::fromStdString(kyplatform::readProfileString(file, kPublish, "URL", std::string(), 512));
    playPath = QString::fromStdString(kyplatform::readProfileString(file, kPublish, "PlayPath", std::string(), 512));
}

bool writeObsClassicPushCode(const QString &url, const QString &playPath)
{
    if (hasLineBreak(url) || hasLineBreak(playPath)) {
        qCWarning(lcToolConfig) << "refusing an OBS Classic push address or code with a line break";
        return false;
    }
    QDir().mkpath(nativePath(roamingAppDataRoot() + QStringLiteral("OBS/profiles")));
    const std::string file = fileArg(obsClassicProfilePath());
    const bool ok = kyplatform::writeProfileString(file, kPublish, "Mode", "0")
        && kyplatform::writeProfileString(file, kPublish, "URL", url.toStdString())
        && kyplatform::writeProfileString(file, kPublish, "PlayPath", playPath.toStdString());
    if (!ok)
        qCWarning(lcToolConfig) << "cannot write the OBS Classic profile" << obsClassicProfilePath();
    return ok;
}

void readObsStudioPushCode(QString &server, QString &key)
{
    server.clear();
    key.clear();
    const QJsonObject root = readJsonObject(obsStudioProfilePath(obsStudioProfileDir()) + QStringLiteral("/service.json"));
    const QJsonValue settings = root.value(QStringLiteral("settings"));
    if (!settings.isObject())
        return;
    const QJsonObject values = settings.toObject();
    if (values.value(QStringLiteral("server")).isString())
        server = values.value(QStringLiteral("server")).toString();
    if (values.value(QStringLiteral("key")).isString())
        key = values.value(QStringLiteral("key")).toString();
}

bool writeObsStudioPushCode(const QString &server, const QString &key)
{
    const QString folder = obsStudioProfilePath(obsStudioProfileDir());
    const QString file = folder + QStringLiteral("/service.json");
    QDir().mkpath(nativePath(folder));

    const QJsonDocument old = QJsonDocument::fromJson(readConfigText(file).toUtf8());
    if (!old.isObject())
        qCWarning(lcToolConfig) << "replacing" << file << "which is not a JSON object";
    QJsonObject root = old.object();
    QJsonObject settings = root.value(QStringLiteral("settings")).toObject();
    settings.insert(QStringLiteral("server"), server);
    settings.insert(QStringLiteral("key"), key);
    root.insert(QStringLiteral("settings"), settings);
    root.insert(QStringLiteral("type"), QStringLiteral("rtmp_custom"));
    return writeConfigText(file, QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)));
}
