#include "logic/kylivetoolconfig.h"

#include "common/kypaths.h"
#include "common/kytexts.h"
#include "platform/profileini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// The profile OBS Studio opens at its next start, and what global.ini lacks
// for that to be the folder we write. OBS opens "[Basic] ProfileDir" only
// when "[Basic] Profile" is set too: without Profile it treats the start as
// its first and creates a profile of its own, and without ProfileDir it opens
// a folder named after its UI language ("Untitled" in English). In both cases
// the choice is still ours to make, by adding the missing keys.
struct ObsStudioProfile {
    QString folder;              // below basic/profiles; empty when OBS's choice cannot be followed
    QString name;                // the profile's name, for keys we add
    bool addProfile = false;     // global.ini needs "[Basic] Profile"
    bool setProfileDir = false;  // global.ini needs "[Basic] ProfileDir" (missing or empty)
};

ObsStudioProfile currentObsStudioProfile()
{
    const QString root = obsStudioRoot();
    ObsStudioProfile profile;

    // OBS Studio 31 and later keep the current profile in user.ini.
    const QString userIni = root + QStringLiteral("user.ini");
    if (QFile::exists(nativePath(userIni))) {
        const QString name = obsIniValue(userIni, "Basic", "Profile");
        if (!name.isEmpty())
            profile.folder = profileFolderNamed(name);
        if (profile.folder.isEmpty()) {
            const QString folder = obsIniValue(userIni, "Basic", "ProfileDir");
            if (isPlainFolderName(folder))
                profile.folder = folder;
        }
        if (!profile.folder.isEmpty())
            return profile;
    }

    const QString globalIni = root + QStringLiteral("global.ini");
    const QString name = obsIniValue(globalIni, "Basic", "Profile");
    const QString folder = obsIniValue(globalIni, "Basic", "ProfileDir");
    if (!name.isEmpty() && !folder.isEmpty()) {
        // OBS's own choice; a folder outside basic/profiles is not followed.
        if (isPlainFolderName(folder))
            profile.folder = folder;
        return profile;
    }
    if (!name.isEmpty()) {
        profile.folder = profileFolderNamed(name);
        if (profile.folder.isEmpty())
            profile.folder = OBS_STUDIO_DEFAULT_PROFILE;
        profile.name = name;
        profile.setProfileDir = true;
        return profile;
    }
    profile.addProfile = true;
    profile.folder = folder;
    if (!isPlainFolderName(folder)) {
        profile.folder = OBS_STUDIO_DEFAULT_PROFILE;
        profile.setProfileDir = true;
    }
    profile.name = obsIniValue(obsStudioProfilePath(profile.folder) + QStringLiteral("/basic.ini"), "General", "Name");
    if (profile.name.isEmpty())
        profile.name = profile.folder;
    return profile;
}

// Reads a whole file. A missing file reads as empty; false only when the
// file exists and cannot be read, so that it is never replaced unread.
bool readExistingFile(const QString &path, QByteArray &content)
{
    content.clear();
    QFile file(nativePath(path));
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcToolConfig) << "cannot read" << path << file.errorString();
        return false;
    }
    content = file.readAll();
    return true;
}

// Replaces the file with `content` (byte for byte unless opened in text
// mode): written beside it, then renamed over it.
bool replaceFile(const QString &path, const QByteArray &content, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QSaveFile file(nativePath(path));
    if (!file.open(mode) || file.write(content) != content.size() || !file.commit()) {
        qCWarning(lcToolConfig) << "cannot write" << path << file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

// The text of an OBS Studio INI file with keys of one section set; every
// other line stays as it was. A missing file gets line feeds, as OBS writes
// it. False when the file cannot be read or a value cannot be kept on one line.
bool editObsIni(const QString &path, const char *section, const QList<QPair<const char *, QString>> &entries,
                QByteArray &result)
{
    QByteArray old;
    if (!readExistingFile(path, old))
        return false;
    std::string text = old.toStdString();
    if (!text.empty() && text.find('\n') == std::string::npos)
        text += '\n';
    for (const auto &entry : entries) {
        const std::string value = entry.second.toStdString();
        if (!kyplatform::isStorableIniEntry(section, entry.first, value)) {
            qCWarning(lcToolConfig) << "cannot store" << entry.second << "in" << path;
            return false;
        }
        text = text.empty() ? "[" + std::string(section) + "]\n" + entry.first + "=" + value + "\n"
                            : kyplatform::setIniValue(text, section, entry.first, value);
    }
    result = QByteArray::fromStdString(text);
    return true;
}

// OBS Studio decodes percent escapes in the stream key before it sends it
// ("%41" goes out as "A", and a "%" before two other characters is garbled),
// so a key is stored with each "%" escaped and read back decoded.
QString obsStoredKey(const QString &key)
{
    QString stored = key;
    return stored.replace(QLatin1Char('%'), QLatin1String("%25"));
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The key OBS sends for a stored one: "%XX" escapes decoded, anything else
// (a "%" not followed by two hex digits) kept as it is.
QString obsSentKey(const QString &stored)
{
    if (!stored.contains(QLatin1Char('%')))
        return stored;
    const QByteArray bytes = stored.toUtf8();
    QByteArray decoded;
    decoded.reserve(bytes.size());
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '%' && i + 2 < bytes.size()) {
            const int high = hexDigit(bytes[i + 1]);
            const int low = hexDigit(bytes[i + 2]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        decoded += bytes[i];
    }
    return QString::fromUtf8(decoded);
}

// Whether writing `path` (a file, or a folder to create) below `root` stays
// inside the real folder `root` is, once every link on the way is followed:
// a link (or junction) among the folders or at the file itself that leads
// elsewhere, or leads nowhere, would have the writer create or rewrite a file
// outside the tool's configuration. A link at `root` itself is where the
// user keeps that configuration, and is followed.
bool staysInside(const QString &root, const QString &path)
{
    const QFileInfo rootInfo(nativePath(root));
    const QString realRoot = rootInfo.canonicalFilePath();
    if (realRoot.isEmpty())
        return !rootInfo.isSymLink(); // nothing there yet: all of it is created inside
    const QString inside = QDir(nativePath(root)).relativeFilePath(nativePath(path));
    QString current = realRoot;
    for (const QString &part : inside.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QFileInfo info(current + QLatin1Char('/') + part);
        if (info.isSymLink() || info.isJunction()) {
            current = info.canonicalFilePath();
            if (current.isEmpty() || (current != realRoot && !current.startsWith(realRoot + QLatin1Char('/'))))
                return false;
        } else if (info.exists()) {
            current = info.absoluteFilePath();
        } else {
            return true; // created from here on, inside
        }
    }
    return true;
}

// Logs and refuses a target of the writer that leads outside the tool's
// configuration folder.
bool writableInside(const QString &root, const QString &path)
{
    if (staysInside(root, path))
        return true;
    qCWarning(lcToolConfig).noquote()
        << QStringLiteral("refusing to write %1: a link leads it outside %2; nothing written").arg(path, root);
    return false;
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
    return replaceFile(path, (nul < 0 ? text : text.left(nul)).toUtf8(), QIODevice::WriteOnly | QIODevice::Text);
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
    const QString folder = currentObsStudioProfile().folder;
    return folder.isEmpty() ? OBS_STUDIO_DEFAULT_PROFILE : folder;
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
    const QString obsRoot = roamingAppDataRoot() + QStringLiteral("OBS");
    if (!writableInside(obsRoot, obsClassicProfilePath()))
        return false;
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
        key = obsSentKey(values.value(QStringLiteral("key")).toString());
}

bool writeObsStudioPushCode(const QString &server, const QString &key)
{
    const ObsStudioProfile profile = currentObsStudioProfile();
    if (profile.folder.isEmpty()) {
        qCWarning(lcToolConfig) << "OBS Studio's current profile folder is outside its profiles folder; nothing written";
        return false;
    }
    const QString folder = obsStudioProfilePath(profile.folder);
    const QString file = folder + QStringLiteral("/service.json");
    const QString basicIni = folder + QStringLiteral("/basic.ini");
    const QString globalIni = obsStudioRoot() + QStringLiteral("global.ini");

    // When OBS has not chosen a profile yet, ours is named in global.ini (and
    // in its own basic.ini when that lacks a name). Both are prepared before
    // anything is written, so a file that cannot be read stops the whole.
    const bool choose = profile.addProfile || profile.setProfileDir;
    QByteArray basicText;
    QByteArray globalText;
    const bool nameProfile = choose && obsIniValue(basicIni, "General", "Name").isEmpty();
    QStringList targets{folder, file};
    if (nameProfile)
        targets << basicIni;
    if (choose)
        targets << globalIni;
    for (const QString &target : qAsConst(targets)) {
        if (!writableInside(obsStudioRoot(), target))
            return false;
    }
    if (nameProfile && !editObsIni(basicIni, "General", {{"Name", profile.name}}, basicText))
        return false;
    if (choose) {
        QList<QPair<const char *, QString>> keys;
        if (profile.addProfile)
            keys.append({"Profile", profile.name});
        if (profile.setProfileDir)
            keys.append({"ProfileDir", profile.folder});
        if (!editObsIni(globalIni, "Basic", keys, globalText))
            return false;
    }

    QDir().mkpath(nativePath(folder));
    const QJsonDocument old = QJsonDocument::fromJson(readConfigText(file).toUtf8());
    if (!old.isObject())
        qCWarning(lcToolConfig) << "replacing" << file << "which is not a JSON object";
    QJsonObject root = old.object();
    QJsonObject settings = root.value(QStringLiteral("settings")).toObject();
    settings.insert(QStringLiteral("server"), server);
    settings.insert(QStringLiteral("key"), obsStoredKey(key));
    root.insert(QStringLiteral("settings"), settings);
    root.insert(QStringLiteral("type"), QStringLiteral("rtmp_custom"));
    if (!writeConfigText(file, QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented))))
        return false;
    if (!choose)
        return true;

    // global.ini last: OBS is pointed at the folder only once it holds the
    // push code.
    qCInfo(lcToolConfig) << "making" << profile.folder << "the OBS Studio profile";
    if (nameProfile && !replaceFile(basicIni, basicText))
        return false;
    return replaceFile(globalIni, globalText);
}
