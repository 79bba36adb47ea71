#include "common/installpathsettings.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"

#include <QSettings>

InstallPathSettings::InstallPathSettings()
{
    load();
}

InstallPathSettings::~InstallPathSettings()
{
    save();
}

void InstallPathSettings::load()
{
    QSettings settings(systemSettingFilePath(), QSettings::IniFormat);
    // Each default is computed before its key is read, so the default folders
    // exist after every construction whatever the stored values say.
    const QString kyToolDefault = defaultKyToolDir();
    m_kyToolPath = settings.value(QStringLiteral("KYTool/installPath"), kyToolDefault).toString();
    const QString kyShowDefault = defaultKyShowDir();
    m_kyShowPath = settings.value(QStringLiteral("KYShow/installPath"), kyShowDefault).toString();
    const QString obsClassicDefault = defaultObsClassicDir();
    m_obsClassicPath = settings.value(QStringLiteral("OBS/installPath"), obsClassicDefault).toString();
    const QString obsStudioDefault = defaultObsStudioDir();
    m_obsStudioPath = settings.value(QStringLiteral("obs-studio/installPath"), obsStudioDefault).toString();
}

void InstallPathSettings::save() const
{
    QSettings settings(systemSettingFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("KYTool"));
    settings.setValue(QStringLiteral("installPath"), m_kyToolPath);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("KYShow"));
    settings.setValue(QStringLiteral("installPath"), m_kyShowPath);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("obs-studio"));
    settings.setValue(QStringLiteral("installPath"), m_obsStudioPath);
    settings.endGroup();
    settings.sync();
}

QString InstallPathSettings::installPath(const QString &name) const
{
    if (name == TOOL_NAME_OBS_CLASSIC)
        return m_obsClassicPath;
    if (name == TOOL_NAME_OBS_STUDIO)
        return m_obsStudioPath;
    if (name == TOOL_NAME_KYTOOL)
        return m_kyToolPath;
    if (name == TOOL_NAME_KYSHOW)
        return m_kyShowPath;
    return QString();
}

void InstallPathSettings::setInstallPath(const QString &name, const QString &path)
{
    if (name == TOOL_NAME_OBS_CLASSIC)
        return;
    if (name == TOOL_NAME_OBS_STUDIO)
        m_obsStudioPath = path;
    else if (name == TOOL_NAME_KYTOOL)
        m_kyToolPath = path;
    else if (name == TOOL_NAME_KYSHOW)
        m_kyShowPath = path;
}
