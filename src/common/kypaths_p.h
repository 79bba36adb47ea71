#pragma once

#include <QString>
#include <QStringList>

// The location whose root is the roaming application-data folder. Windows:
// Qt's AppDataLocation. Linux: the XDG configuration folder, where OBS Studio
// for Linux keeps "obs-studio/", so the push-code writer configures a real OBS.
QString roamingLocationForRoot();

// The folders privateRuntimeDir() tries, best first.
QStringList runtimeDirCandidates();
