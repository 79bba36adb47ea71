#include "logic/kytoolfacts.h"

#include "common/kyhosts.h"
#include "common/kypaths.h"

namespace {
// Where the installers lie on the download server.
const QString kInstallFilePath = QStringLiteral("/client_download/VURuv/files/InstallFile/");

// Every installer gets the same estimate: about 15 s.
const int kInstallEstimateMs = 15000;

// The platform's tools uninstall through "Au_.exe", OBS Studio through "Un_A.exe".
const QString kAuUninstaller = QStringLiteral("Au_.exe");
const QString kUnAUninstaller = QStringLiteral("Un_A.exe");
// Both editions of the platform's tool start through the same launcher.
const QString kKyoroLauncher = QStringLiteral("kyClientLancher.exe");

ToolExe program(const QString &processName, const QString &path, bool absolute, const QString &uninstaller)
{
    ToolExe exe;
    exe.processName = processName;
    exe.path = path;
    exe.uninstallerProcess = uninstaller;
    exe.absolute = absolute;
    return exe;
}

QList<ToolFacts> buildTable()
{
    // Per row: name, code, family, key, folder, default folder, whether that
    // folder is fixed, installer file, web API object, install estimate,
    // programs, card title, introduction, pictures (the field order of
    // ToolFacts).
    return {
        {TOOL_NAME_KYTOOL, TOOL_CODE_KYTOOL, ToolFamily::Kyoro, QStringLiteral("KYTool"), TOOL_FOLDER_KYTOOL,
         defaultKyToolDir, false,
         QStringLiteral("KYTool_setup_2_3_6.exe"), QStringLiteral("zbpc"), kInstallEstimateMs,
         {program(QStringLiteral("KYTool.exe"), kKyoroLauncher, false, kAuUninstaller)},
         TOOL_NAME_KYTOOL, INTRODUCTION_KYTOOL, PICTURES_KYTOOL},
        {TOOL_NAME_KYSHOW, TOOL_CODE_KYSHOW, ToolFamily::Kyoro, QStringLiteral("KYShow"), TOOL_FOLDER_KYSHOW,
         defaultKyShowDir, false,
         QStringLiteral("KYShow_setup_2_3_4.exe"), QStringLiteral("zbpc_show"), kInstallEstimateMs,
         {program(QStringLiteral("kyShow.exe"), kKyoroLauncher, false, kAuUninstaller)},
         TOOL_NAME_KYSHOW, INTRODUCTION_KYSHOW, PICTURES_KYSHOW},
        // The status monitor looks for OBS Classic only below "Program Files
        // (x86)" or "Program Files", so it always goes into the first.
        {TOOL_NAME_OBS_CLASSIC, TOOL_CODE_OBS_CLASSIC, ToolFamily::Obs, QStringLiteral("OBS"), TOOL_FOLDER_OBS_CLASSIC,
         defaultObsClassicDir, true, QStringLiteral("OBS_0_659b_With_Browser_Installer.exe"), QString(),
         kInstallEstimateMs,
         {program(QStringLiteral("OBS.exe"), QStringLiteral("C:\\Program Files (x86)\\OBS\\OBS.exe"), true, kAuUninstaller),
          program(QStringLiteral("OBS.exe"), QStringLiteral("C:\\Program Files\\OBS\\OBS.exe"), true, kAuUninstaller)},
         CARD_TITLE_OBS_CLASSIC, INTRODUCTION_OBS_CLASSIC, PICTURES_OBS_CLASSIC},
        {TOOL_NAME_OBS_STUDIO, TOOL_CODE_OBS_STUDIO, ToolFamily::Obs, QStringLiteral("obs-studio"), TOOL_FOLDER_OBS_STUDIO,
         defaultObsStudioDir, false,
         QStringLiteral("OBS-Studio-21.0.1-Full-Installer.exe"), QString(), kInstallEstimateMs,
         {program(QStringLiteral("obs32.exe"), QStringLiteral("bin\\32bit\\obs32.exe"), false, kUnAUninstaller),
          program(QStringLiteral("obs64.exe"), QStringLiteral("bin\\64bit\\obs64.exe"), false, kUnAUninstaller)},
         CARD_TITLE_OBS_STUDIO, INTRODUCTION_OBS_STUDIO, PICTURES_OBS_STUDIO},
    };
}
} // namespace

const QList<ToolFacts> &toolTable()
{
    static const QList<ToolFacts> table = buildTable();
    return table;
}

const ToolFacts *toolFacts(const QString &name)
{
    for (const ToolFacts &facts : toolTable()) {
        if (facts.name == name)
            return &facts;
    }
    return nullptr;
}

QList<const ToolFacts *> toolsOfFamily(ToolFamily family)
{
    QList<const ToolFacts *> tools;
    for (const ToolFacts &facts : toolTable()) {
        if (facts.family == family)
            tools.append(&facts);
    }
    return tools;
}

int toolCode(const QString &name)
{
    const ToolFacts *facts = toolFacts(name);
    return facts ? facts->code : TOOL_CODE_NONE;
}

bool isToolName(const QString &name)
{
    return toolFacts(name) != nullptr;
}

QString defaultInstallerUrl(const QString &name)
{
    const ToolFacts *facts = toolFacts(name);
    return facts ? downloadServerUrl(kInstallFilePath + facts->installerFile) : QString();
}
