#pragma once

#include <QMap>
#include <QString>

// Install folder of each streaming tool, kept in the per-user "systemSetting"
// file under the tool's key. Loaded at construction, written at destruction.
// The folder of a tool with a fixed folder (OBS Classic) is read but never
// changed or written: the status monitor looks for it only there.
class InstallPathSettings
{
public:
    InstallPathSettings();
    ~InstallPathSettings();

    InstallPathSettings(const InstallPathSettings &) = delete;
    InstallPathSettings &operator=(const InstallPathSettings &) = delete;

    // The folder of the named tool, "" for a name that is no tool.
    QString installPath(const QString &name) const;
    // Changes the folder in memory; written to disk by save().
    void setInstallPath(const QString &name, const QString &path);

    void load();
    void save() const;

private:
    QMap<QString, QString> m_paths; // by tool name
};
