// Stand-in installer and uninstaller of the streaming tools.
//
// Served under each installer's file name, it picks its tool from its own
// name. "/S /D=folder" installs silently (NSIS rules: /D= comes last and
// takes the rest of the command line, blanks included): it works for a
// while, lays the tool's program files (copies of the stand-in tool) and
// "uninstall.exe" (a copy of itself) into the folder and registers the
// uninstall entry under the tool's display name.
//
// "uninstall.exe /S" hands over to a copy of itself in a temporary folder
// named after the tool's uninstaller process ("Au_.exe" or "Un_A.exe"),
// started with "_?=folder", and exits at once; that copy works for a while,
// removes the files and the entry, and then itself.
//
// KYORO_SANDBOX_INSTALL_MS sets how long installing and uninstalling take
// (default 3000), KYORO_SANDBOX_HANDOVER_MS how long "uninstall.exe" works
// before it starts its copy (default 0). When KYORO_SANDBOX_INSTALL_LOG names a file, each install
// appends a line with the installer's name to it as it starts, and each
// uninstall's copy a line with its process name ("Au_.exe", "Un_A.exe"), so a
// test counts runs exactly instead of sampling the process list. KYORO_SANDBOX_TOOL names the program copied as the tool's
// files (default: the stand-in tool of this build).

#include "platform/pathmap.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kUninstallerName[] = "uninstall.exe";
const char kManifestName[] = "uninstall.lst";
const char kLauncherConfig[] = "kyClientLancher.cfg";

struct Tool
{
    const char *installer;
    const char *displayName;
    const char *uninstallerProcess;
    std::vector<std::string> files; // relative to the install folder
    const char *launched;           // what kyClientLancher.exe starts, or null
};

const std::vector<Tool> &catalogue()
{
    static const std::vector<Tool> tools = {
        {"KYTool_setup_2_3_6.exe", "Kyoro直播伴侣", "Au_.exe", {"kyClientLancher.exe", "KYTool.exe"}, "KYTool.exe"},
        {"KYShow_setup_2_3_4.exe", "Kyoro秀场直播伴侣", "Au_.exe", {"kyClientLancher.exe", "kyShow.exe"}, "kyShow.exe"},
        {"OBS_0_659b_With_Browser_Installer.exe", "Open Broadcaster Software", "Au_.exe", {"OBS.exe"}, nullptr},
        {"OBS-Studio-21.0.1-Full-Installer.exe", "OBS Studio", "Un_A.exe", {"bin/32bit/obs32.exe", "bin/64bit/obs64.exe"}, nullptr},
    };
    return tools;
}

int fail(const std::string &message)
{
    std::fprintf(stderr, "sandbox installer: %s\n", message.c_str());
    return 1;
}

// Paths cross the platform layer as UTF-8; std::filesystem's narrow strings
// are in the ANSI code page on Windows, so convert explicitly both ways.
fs::path fromUtf8(const std::string &path)
{
    return fs::u8path(path);
}

std::string utf8(const fs::path &path)
{
    return path.u8string();
}

fs::path selfPath()
{
    return fromUtf8(kyplatform::programFilePath());
}

// A new, empty folder of our own in the system's temporary folder.
bool makeTemporaryFolder(fs::path &folder)
{
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error)
        return false;
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        folder = base / ("kyoro-uninstall-" + std::to_string(random() % 1000000000u));
        if (fs::create_directory(folder, error))
            return true;
    }
    return false;
}

void work(const char *variable = "KYORO_SANDBOX_INSTALL_MS", long long ms = 3000)
{
    if (const char *value = std::getenv(variable))
        ms = std::max(0LL, std::atoll(value));
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Appends the name of what starts to KYORO_SANDBOX_INSTALL_LOG, when set.
void recordRun(const std::string &name)
{
    if (const char *log = std::getenv("KYORO_SANDBOX_INSTALL_LOG"); log && *log) {
        // Binary: one "\n" a line on every system, not CRLF on Windows.
        std::ofstream runs(fromUtf8(log), std::ios::app | std::ios::binary);
        runs << name << "\n";
    }
}

std::string windowsForm(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 1 && path.back() == '\\' && !(path.size() == 3 && path[1] == ':'))
        path.pop_back();
    return path;
}

bool copyExecutable(const fs::path &from, const fs::path &to)
{
    std::error_code error;
    fs::create_directories(to.parent_path(), error);
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, error))
        return false;
    fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                            | fs::perms::others_read | fs::perms::others_exec, error);
    return !error;
}

int install(const Tool &tool, int argc, char *argv[])
{
    bool silent = false;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "/S") {
            silent = true;
        } else if (word.rfind("/D=", 0) == 0) {
            // The rest of the line is the folder, even when split into words.
            folder = word.substr(3);
            for (int j = i + 1; j < argc; ++j)
                folder += std::string(" ") + argv[j];
            break;
        }
    }
    if (!silent)
        return fail("only silent installs (/S) are supported");
    if (!kyplatform::isAbsolutePath(folder))
        return fail("/D= needs an absolute folder, got \"" + folder + "\"");

    recordRun(tool.installer);
    work();

    const fs::path target = fromUtf8(kyplatform::nativePath(folder));
    const char *toolOverride = std::getenv("KYORO_SANDBOX_TOOL");
    const fs::path toolProgram = fromUtf8((toolOverride && *toolOverride) ? toolOverride : KY_SANDBOX_TOOL_PATH);
    for (const std::string &file : tool.files) {
        if (!copyExecutable(toolProgram, target / fromUtf8(file)))
            return fail("cannot write " + utf8(target / fromUtf8(file)));
    }
    if (tool.launched) {
        std::ofstream config(target / kLauncherConfig, std::ios::trunc);
        config << tool.launched << "\n";
    }
    if (!copyExecutable(selfPath(), target / kUninstallerName))
        return fail("cannot write the uninstaller");
    {
        std::ofstream manifest(target / kManifestName, std::ios::trunc);
        manifest << tool.displayName << "\n" << tool.uninstallerProcess << "\n";
        for (const std::string &file : tool.files)
            manifest << file << "\n";
        if (tool.launched)
            manifest << kLauncherConfig << "\n";
        if (!manifest)
            return fail("cannot write the manifest");
    }

    const std::string key = std::string(kyplatform::kUninstallKey) + "\\" + tool.displayName;
    const std::string uninstallString = windowsForm(folder) + "\\" + kUninstallerName;
    if (!kyplatform::registryWriteString(key, "DisplayName", tool.displayName)
        || !kyplatform::registryWriteString(key, "UninstallString", uninstallString)
        || !kyplatform::registryWriteString(key, "InstallLocation", windowsForm(folder)))
        return fail("cannot write the uninstall entry");
    return 0;
}

bool readManifest(const fs::path &folder, std::string &displayName, std::string &uninstallerProcess,
                  std::vector<std::string> &files)
{
    std::ifstream manifest(folder / kManifestName);
    if (!manifest || !std::getline(manifest, displayName) || !std::getline(manifest, uninstallerProcess))
        return false;
    std::string line;
    while (std::getline(manifest, line)) {
        if (!line.empty())
            files.push_back(line);
    }
    return !displayName.empty() && !uninstallerProcess.empty();
}

// First stage: hand over to a copy outside the folder it is about to remove.
int startUninstall(int argc, char *argv[])
{
    const bool silent = std::any_of(argv + 1, argv + argc, [](const char *word) { return std::string(word) == "/S"; });
    if (!silent)
        return fail("only silent uninstalls (/S) are supported");
    const fs::path self = selfPath();
    const fs::path folder = self.parent_path();
    std::string displayName, uninstallerProcess;
    std::vector<std::string> files;
    if (!readManifest(folder, displayName, uninstallerProcess, files))
        return fail("no uninstall manifest in " + utf8(folder));
    work("KYORO_SANDBOX_HANDOVER_MS", 0);

    fs::path temporary;
    if (!makeTemporaryFolder(temporary))
        return fail("cannot create a temporary folder");
    const fs::path copy = temporary / fromUtf8(uninstallerProcess);
    if (!copyExecutable(self, copy))
        return fail("cannot copy the uninstaller");
    // Returns once the copy runs, so the caller never sees a gap between
    // this process and the copy.
    const int result = kyplatform::shellExecuteOpenHidden(utf8(copy), "/S \"_?=" + utf8(folder) + "\"");
    return result > 32 ? 0 : fail("cannot start " + utf8(copy));
}

// Second stage, running as Au_.exe / Un_A.exe from a temporary folder.
int finishUninstall(int argc, char *argv[])
{
    std::string folderText;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind("_?=", 0) == 0)
            folderText = word.substr(3);
    }
    if (folderText.empty())
        return fail("no _?= folder given");
    const fs::path folder = fromUtf8(folderText);
    std::string displayName, uninstallerProcess;
    std::vector<std::string> files;
    if (!readManifest(folder, displayName, uninstallerProcess, files))
        return fail("no uninstall manifest in " + utf8(folder));
    recordRun(uninstallerProcess);

    work();

    std::error_code error;
    for (const std::string &file : files) {
        fs::remove(folder / fromUtf8(file), error);
        // Folders the installer created for this file, when now empty.
        for (fs::path dir = (folder / fromUtf8(file)).parent_path(); dir != folder && fs::is_empty(dir, error); dir = dir.parent_path())
            fs::remove(dir, error);
    }
    fs::remove(folder / kUninstallerName, error);
    fs::remove(folder / kManifestName, error);
    if (fs::is_empty(folder, error))
        fs::remove(folder, error);
    kyplatform::registryDeleteTree(std::string(kyplatform::kUninstallKey) + "\\" + displayName);

    const fs::path self = selfPath();
    fs::remove(self, error);
    fs::remove(self.parent_path(), error);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string name = kyplatform::currentProcessName();
    for (const Tool &tool : catalogue()) {
        if (name == tool.installer)
            return install(tool, argc, argv);
    }
    if (name == kUninstallerName)
        return startUninstall(argc, argv);
    if (name == "Au_.exe" || name == "Un_A.exe")
        return finishUninstall(argc, argv);
    return fail("unknown program name \"" + name + "\"; run it under an installer's file name");
}
