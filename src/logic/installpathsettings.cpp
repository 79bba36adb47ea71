#include "logic/installpathsettings.h"

#include "common/kypaths.h"
#include "logic/kytoolfacts.h"

#include <QSettings>

namespace {
QString settingKey(const ToolFacts &tool)
{
    return tool.key + QStringLiteral("/installPath");
}
} // namespace

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
    for (const ToolFacts &tool : toolTable()) {
        // Each default is computed before its key is read, so the default
        // folders exist after every construction whatever is stored.
        const QString fallback = tool.defaultDir();
        m_paths.insert(tool.name, settings.value(settingKey(tool), fallback).toString());
    }
}

void InstallPathSettings::save() const
{
    QSettings settings(systemSettingFilePath(), QSettings::IniFormat);
    for (const ToolFacts &tool : toolTable()) {
        if (!tool.folderFixed)
            settings.setValue(settingKey(tool), m_paths.value(tool.name));
    }
    settings.sync();
}

QString InstallPathSettings::installPath(const QString &name) const
{
    return m_paths.value(name);
}

void InstallPathSettings::setInstallPath(const QString &name, const QString &path)
{
    const ToolFacts *tool = toolFacts(name);
    if (tool && !tool->folderFixed)
        m_paths.insert(name, path);
}
