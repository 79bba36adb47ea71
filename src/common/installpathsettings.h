#pragma once

#include <QString>

// Install folder of each streaming tool, kept in the per-user "systemSetting"
// file. Loaded at construction, written at destruction. The OBS Classic folder
// is read but never changed or written: the status monitor looks for OBS
// Classic only in fixed folders.
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
    QString m_kyToolPath;
    QString m_kyShowPath;
    QString m_obsClassicPath;
    QString m_obsStudioPath;
};
