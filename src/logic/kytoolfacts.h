#pragma once

#include "common/kyconstants.h"
#include "common/kytexts.h"

#include <QList>
#include <QString>

// A tool is named everywhere by its display name (common/kyconstants.h),
// which is also the name of its uninstall registry entry. The table below is
// where a name leads to the tool's facts.

// One program candidate of a tool, as the status monitor looks for it.
struct ToolExe
{
    QString processName;        // executable name of the running program, "OBS.exe"
    QString path;               // absolute, or relative to the install folder
    QString uninstallerProcess; // executable name while the tool uninstalls
    bool absolute = false;      // true: path as it is; false: appended to the install folder
};

// The platform's own tool (its two editions share the first card and the
// first wizard) or OBS (the second card and the OBS wizard).
enum class ToolFamily { Kyoro, Obs };

struct ToolFacts
{
    QString name;             // display name, the uninstall entry's name
    ToolCode code;            // the telemetry parameter "type"
    ToolFamily family;
    QString key;              // group in "systemSetting"; the name in the web API's log lines
    QString folder;           // sub-folder added to a folder the user picks
    QString (*defaultDir)();  // the install folder when none is stored (a path function)
    bool folderFixed;         // true: always installed into defaultDir, never asked
    QString installerFile;    // the installer's file name on the download server
    QString webApiObject;     // object of the web API's answer with a newer installer URL, "" for none
    int installEstimateMs;    // expected run time of the installer, for the progress estimate
    QList<ToolExe> programs;  // the status monitor's candidates, in order
    QString cardTitle;
    QString introduction;
    PicturePair pictures;     // the card's carousel
};

// The four tools in telemetry-code order, which is also the order of the
// folder dialog's modes and of the recording-folder rows.
const QList<ToolFacts> &toolTable();

// The facts of a tool; nullptr for a name that is no tool.
const ToolFacts *toolFacts(const QString &name);

// The tools of one family in table order: the rows of its install wizard.
QList<const ToolFacts *> toolsOfFamily(ToolFamily family);

// TOOL_CODE_NONE for a name that is no tool.
int toolCode(const QString &name);
bool isToolName(const QString &name);

// The tool's installer on the download server; "" for a name that is no tool.
QString defaultInstallerUrl(const QString &name);
