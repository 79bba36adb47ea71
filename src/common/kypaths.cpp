#include "common/kypaths.h"

#include "common/kyconstants.h"
#include "common/kypaths_p.h"
#include "platform/pathmap.h"
#include "platform/privatefiles.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

Q_LOGGING_CATEGORY(lcPaths, "kyoro.paths")

namespace {
QString joined(const QString &a, const QString &b)
{
    return QStringLiteral("%1/%2").arg(a, b);
}

QString createdDir(const QString &path)
{
    QDir dir(nativePath(path));
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    return path;
}
} // namespace

QString nativePath(const QString &path)
{
    return QString::fromStdString(kyplatform::nativePath(path.toStdString()));
}

bool isAbsolutePath(const QString &path)
{
    return kyplatform::isAbsolutePath(path.toStdString());
}

QString appDir()
{
    // The crash handler is installed before the application object exists,
    // when Qt cannot answer yet; the executable's folder is the same answer.
    if (!QCoreApplication::instance()) {
        const QString program = QDir::fromNativeSeparators(QString::fromStdString(kyplatform::programFilePath()));
        return program.left(program.lastIndexOf(QLatin1Char('/')));
    }
    return QCoreApplication::applicationDirPath();
}

QString dataDir()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DataLocation);
    if (!dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\')))
        dir += QLatin1Char('/');
    return createdDir(dir);
}

QString appVersionFilePath()
{
    return joined(appDir(), QStringLiteral("deault.data"));
}

QString systemSettingFilePath()
{
    return dataDir() + QStringLiteral("systemSetting");
}

QString moduleListFilePath()
{
    return dataDir() + QStringLiteral("moduleList");
}

QString downloadDir()
{
    return createdDir(joined(appDir(), QStringLiteral("download")));
}

QString defaultKyToolDir()
{
    return createdDir(joined(appDir(), QStringLiteral("tools/") + TOOL_FOLDER_KYTOOL));
}

QString defaultKyShowDir()
{
    return createdDir(joined(appDir(), QStringLiteral("tools/") + TOOL_FOLDER_KYSHOW));
}

QString defaultObsClassicDir()
{
    // The status monitor looks for OBS Classic only below "Program Files (x86)"
    // or "Program Files", so its default folder must be exactly that one.
    return QStringLiteral("C:/Program Files (x86)/") + TOOL_FOLDER_OBS_CLASSIC;
}

QString defaultObsStudioDir()
{
    return createdDir(joined(appDir(), QStringLiteral("tools/") + TOOL_FOLDER_OBS_STUDIO));
}

QString moduleDir()
{
    return createdDir(joined(appDir(), QStringLiteral("module")));
}

QString liveCodeModuleDir()
{
    return QStringLiteral("%1/%2/%3").arg(appDir(), QStringLiteral("module"), QStringLiteral("LiveCodeModule"));
}

QString liveCodeModuleExePath()
{
    return joined(liveCodeModuleDir(), QStringLiteral("LiveCodeModule.exe"));
}

QString rootOfLocation(const QString &location)
{
    int cut = location.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = location.lastIndexOf(QLatin1Char('\\'));
    QString root = location.left(cut + 1);
    if (!root.endsWith(QLatin1Char('/')) && !root.endsWith(QLatin1Char('\\')))
        root += QLatin1Char('/');
    return root;
}

QString localAppDataRoot()
{
    return rootOfLocation(QStandardPaths::writableLocation(QStandardPaths::DataLocation));
}

QString roamingAppDataRoot()
{
    return rootOfLocation(roamingLocationForRoot());
}

QString privateRuntimeDir()
{
    for (const QString &candidate : runtimeDirCandidates()) {
        std::string problem;
        if (kyplatform::makePrivateDir(candidate.toStdString(), problem))
            return candidate;
        qCWarning(lcPaths).noquote() << "runtime folder" << candidate << "is not private:"
                                     << QString::fromStdString(problem);
    }
    qCWarning(lcPaths) << "no private runtime folder; local channels stay closed";
    return QString();
}

QString readTextFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void openUrl(const QString &text)
{
    QDesktopServices::openUrl(QUrl(text));
}

bool dirExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QDir().exists(nativePath(path));
}

bool startDetachedInOwnDir(const QString &program, const QStringList &arguments)
{
    if (program.isEmpty())
        return false;
    int cut = program.lastIndexOf(QLatin1Char('\\'));
    if (cut < 0)
        cut = program.lastIndexOf(QLatin1Char('/'));
    const QString workingDir = cut < 0 ? QStringLiteral(".\\") : program.left(cut + 1);
    return QProcess::startDetached(nativePath(program), arguments, nativePath(workingDir));
}

QString appVersion()
{
    QSettings settings(appVersionFilePath(), QSettings::IniFormat);
    return settings.value(QStringLiteral("Version/version"), QStringLiteral("V1.0.0")).toString();
}
