// The Windows crash filter in real crashing processes: the probe installs it
// and crashes on purpose in a folder of its own,
//   prog/  the probe, copies of the test module, and dbghelp.dll unless a
//          test leaves it out; dumps land here
//   work/  its working folder, with the helper program as BugReporter.exe
// Messages are recorded in a file instead of shown, and the stand-in
// reporter records its command line.
#include "app/kycrashconstants.h"
#include "crashprobe.h"
#include "platformtestsupport.h"

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kProbe[] = "kyprobe.exe";

std::string generalRecord()
{
    return std::string(CRASH_CAPTION) + "\n" + CRASH_GENERAL_TEXT + "\n----\n";
}

std::string adviceRecord(const char *advice, const std::string &module)
{
    std::string text = advice;
    text.replace(text.find("%s"), 2, module);
    return std::string(CRASH_CAPTION) + "\n" + text + "\n----\n";
}

std::string writerRecord(const char *text)
{
    return std::string(CRASH_DUMP_WRITER_CAPTION) + "\n" + text + "\n----\n";
}

// Seconds since 1601 of a local time.
long long seconds(const SYSTEMTIME &time)
{
    FILETIME file;
    if (!SystemTimeToFileTime(&time, &file))
        return -1;
    return static_cast<long long>((static_cast<unsigned long long>(file.dwHighDateTime) << 32) | file.dwLowDateTime)
        / 10000000LL;
}

class CrashRunWin : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.valid());
        fs::create_directory(prog());
        fs::create_directory(work());
        fs::copy_file(KY_CRASH_PROBE, prog() / kProbe);
        fs::copy_file(KY_PLATFORM_HELPER, work() / "BugReporter.exe");
    }

    fs::path prog() const { return m_root / "prog"; }
    fs::path work() const { return m_root / "work"; }

    void addModule(const char *name) { fs::copy_file(KY_CRASH_MODULE, prog() / name); }

    // The prefix's own dump writer, copied beside the program.
    void addDumpWriter()
    {
        wchar_t system[MAX_PATH];
        const UINT length = GetSystemDirectoryW(system, MAX_PATH);
        ASSERT_GT(length, 0u);
        fs::copy_file(fs::path(std::wstring(system, length)) / "dbghelp.dll", prog() / "dbghelp.dll");
    }

    // Runs the probe in work/ until it ends.
    void run(const std::string &arguments)
    {
        const fs::path program = prog() / kProbe;
        std::wstring commandLine = L"\"" + program.wstring() + L"\" " + fs::u8path(arguments).wstring();
        const std::wstring log = (m_root / "messages.log").wstring();
        ASSERT_TRUE(SetEnvironmentVariableW(L"KYORO_CRASH_MESSAGE_LOG", log.c_str()));
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        GetLocalTime(&m_started);
        const BOOL started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                            CREATE_NO_WINDOW, nullptr, work().c_str(), &startup, &process);
        SetEnvironmentVariableW(L"KYORO_CRASH_MESSAGE_LOG", nullptr);
        ASSERT_TRUE(started);
        CloseHandle(process.hThread);
        const DWORD waited = WaitForSingleObject(process.hProcess, 60000);
        GetLocalTime(&m_finished);
        if (waited != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 99);
        DWORD exitCode = 99;
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        ASSERT_EQ(waited, WAIT_OBJECT_0) << "the probe did not end";
        m_exitCode = exitCode;
    }

    std::string messages() const { return kytest::readFile(m_root / "messages.log"); }

    std::vector<std::string> dumps() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(prog())) {
            const std::string name = kytest::utf8(entry.path().filename());
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dmp") == 0)
                names.push_back(name);
        }
        return names;
    }

    // "kyprobe_<yyyy>-<MMdd>-<hhmm>-<ss>_V1.0.0.dmp" for a second of the run.
    bool nameFitsRun(const std::string &name) const
    {
        SYSTEMTIME time = {};
        int year, month, day, hour, minute, second;
        char tail[64] = {};
        if (std::sscanf(name.c_str(), "kyprobe_%4d-%2d%2d-%2d%2d-%2d_%63s", &year, &month, &day, &hour, &minute,
                        &second, tail)
                != 7
            || std::string(tail) != std::string(PROBE_VERSION) + ".dmp")
            return false;
        time.wYear = static_cast<WORD>(year);
        time.wMonth = static_cast<WORD>(month);
        time.wDay = static_cast<WORD>(day);
        time.wHour = static_cast<WORD>(hour);
        time.wMinute = static_cast<WORD>(minute);
        time.wSecond = static_cast<WORD>(second);
        const long long at = seconds(time);
        return at >= seconds(m_started) && at <= seconds(m_finished);
    }

    // The command line the reporter was started with, once it has run.
    std::string reporterCommandLine() const
    {
        const std::string content = kytest::readRecordWhenWritten(work() / "BugReporter.exe.args");
        if (content.empty())
            return "<reporter did not run>";
        return content.substr(0, content.find('\n'));
    }

    std::string expectedReporterCommandLine(const std::string &dumpName) const
    {
        return std::string("\"") + PROBE_UPLOAD_LOCATION + "\"   \"" + kytest::utf8(prog() / dumpName) + "\"    \""
            + CRASH_UPLOAD_CREDENTIAL + "\"   \"" + std::to_string(CRASH_REPORTER_NUMBER) + "\"";
    }

    kytest::TempDir m_temp{"kycrash"};
    const fs::path &m_root = m_temp.path();
    SYSTEMTIME m_started = {};
    SYSTEMTIME m_finished = {};
    DWORD m_exitCode = 99;
};

} // namespace

// A crash writes a minidump through the dbghelp.dll beside the program,
// starts the reporter with the four quoted values, shows the general message
// and ends with exit code 0.
TEST_F(CrashRunWin, DumpReporterAndGeneralMessage)
{
    addDumpWriter();
    run("fault");
    EXPECT_EQ(m_exitCode, 0u);
    EXPECT_EQ(messages(), generalRecord());
    const std::vector<std::string> names = dumps();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(nameFitsRun(names[0])) << names[0];
    EXPECT_EQ(kytest::readFile(prog() / names[0]).substr(0, 4), "MDMP");
    EXPECT_EQ(reporterCommandLine(), expectedReporterCommandLine(names[0]));
}

// A program folder the user cannot write (Program Files without elevation):
// the dump goes to the user's local application-data folder of the program,
// and the reporter is given that path. Every dump name of the next two
// minutes is taken in prog/ by a folder, which no file can replace.
TEST_F(CrashRunWin, DumpBesideTheUsersDataWhenTheProgramFolderIsClosed)
{
    addDumpWriter();
    PWSTR known = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &known)));
    const fs::path fallback = fs::path(known) / "kyprobe";
    CoTaskMemFree(known);
    fs::remove_all(fallback);

    SYSTEMTIME now;
    GetLocalTime(&now);
    const long long first = seconds(now);
    for (long long at = first; at < first + 120; ++at) {
        FILETIME file;
        const unsigned long long ticks = static_cast<unsigned long long>(at) * 10000000ULL;
        file.dwLowDateTime = static_cast<DWORD>(ticks);
        file.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        SYSTEMTIME time;
        ASSERT_TRUE(FileTimeToSystemTime(&file, &time));
        char name[96];
        std::snprintf(name, sizeof name, "kyprobe_%04u-%02u%02u-%02u%02u-%02u_%s.dmp", time.wYear, time.wMonth,
                      time.wDay, time.wHour, time.wMinute, time.wSecond, PROBE_VERSION);
        fs::create_directory(prog() / name);
    }

    run("fault");
    EXPECT_EQ(m_exitCode, 0u);
    EXPECT_EQ(messages(), generalRecord());
    std::vector<fs::path> written;
    std::error_code noFolder;
    for (const auto &entry : fs::directory_iterator(fallback, noFolder))
        written.push_back(entry.path());
    const std::string content = written.size() == 1 ? kytest::readFile(written[0]) : std::string();
    fs::remove_all(fallback);
    ASSERT_EQ(written.size(), 1u);
    const std::string name = kytest::utf8(written[0].filename());
    EXPECT_TRUE(nameFitsRun(name)) << name;
    EXPECT_TRUE(fs::is_directory(prog() / name)) << "the folder in the way was replaced";
    EXPECT_EQ(content.substr(0, 4), "MDMP");
    EXPECT_EQ(reporterCommandLine(), std::string("\"") + PROBE_UPLOAD_LOCATION + "\"   \"" + kytest::utf8(written[0])
                                         + "\"    \"" + CRASH_UPLOAD_CREDENTIAL + "\"   \""
                                         + std::to_string(CRASH_REPORTER_NUMBER) + "\"");
}

// Without the dump writer: its message first, no dump, and still the
// reporter (with the dump path that would have been used), the general
// message and exit code 0.
TEST_F(CrashRunWin, MissingDumpWriter)
{
    run("fault");
    EXPECT_EQ(m_exitCode, 0u);
    EXPECT_EQ(messages(), writerRecord(CRASH_DUMP_LIBRARY_MISSING) + generalRecord());
    EXPECT_TRUE(dumps().empty());

    const std::string line = reporterCommandLine();
    const std::string prefix = std::string("\"") + PROBE_UPLOAD_LOCATION + "\"   \"" + kytest::utf8(prog()) + "\\";
    ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    const std::string dumpName = line.substr(prefix.size(), line.find('"', prefix.size()) - prefix.size());
    EXPECT_TRUE(nameFitsRun(dumpName)) << dumpName;
    EXPECT_EQ(line, expectedReporterCommandLine(dumpName));
}

// A reporter that cannot be started is said, with the system's reason,
// before the user's message.
TEST_F(CrashRunWin, ReporterThatCannotStartIsRecorded)
{
    fs::remove(work() / "BugReporter.exe");
    run("fault");
    EXPECT_EQ(m_exitCode, 0u);
    EXPECT_EQ(messages(), writerRecord(CRASH_DUMP_LIBRARY_MISSING)
                              + "crash filter\ncrash reporter not started: Windows error 2\n----\n" + generalRecord());
}

// A dbghelp.dll without the dump function.
TEST_F(CrashRunWin, DumpWriterWithoutTheFunction)
{
    addModule("dbghelp.dll");
    // Wine prefers its built-in dbghelp.dll to any file of that name; its
    // per-program setting makes it load the file given, as Windows does.
    // Windows ignores the key.
    const wchar_t wineSetting[] = L"Software\\Wine\\AppDefaults\\kyprobe.exe\\DllOverrides";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, wineSetting, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"dbghelp", 0, REG_SZ, reinterpret_cast<const BYTE *>(L"native"), sizeof L"native");
    RegCloseKey(key);
    run("fault");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\kyprobe.exe");
    EXPECT_EQ(m_exitCode, 0u);
    EXPECT_EQ(messages(), writerRecord(CRASH_DUMP_FUNCTION_MISSING) + generalRecord());
    EXPECT_TRUE(dumps().empty());
}

// The advice names the module where the crash happened, found from a caller
// frame of the companion tool's modules further up the stack. (No dump
// writer here, for speed: its message comes first.)
TEST_F(CrashRunWin, AdviceFromTheStack)
{
    struct Case
    {
        const char *arguments;
        std::vector<const char *> modules;
        std::string expected;
    };
    const Case cases[] = {
        {"below vidout_b.dll", {"vidout_b.dll"}, adviceRecord(CRASH_RENDER_ADVICE, kProbe)},
        {"below VIDOUT_A.DLL", {"VIDOUT_A.DLL"}, adviceRecord(CRASH_RENDER_ADVICE, kProbe)},
        {"below avpipe.dll", {"avpipe.dll"}, adviceRecord(CRASH_MEDIA_ADVICE, kProbe)},
        // The encoder called by the media engine is not the driver's fault.
        {"inside avpipe.dll libx264-140.dll", {"avpipe.dll", "libx264-140.dll"}, generalRecord()},
        // A crash inside one of the tool's modules is not examined further.
        {"inside vidout_b.dll avpipe.dll", {"vidout_b.dll", "avpipe.dll"}, generalRecord()},
        // No frame chain: the walk ends at once.
        {"zerofp vidout_b.dll", {"vidout_b.dll"}, generalRecord()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments);
        for (const char *module : c.modules)
            addModule(module);
        run(c.arguments);
        EXPECT_EQ(m_exitCode, 0u);
        EXPECT_EQ(messages(), writerRecord(CRASH_DUMP_LIBRARY_MISSING) + c.expected);
        // Next case in a clean folder.
        std::error_code ignored;
        for (const auto &entry : fs::directory_iterator(prog())) {
            if (entry.path().filename() != kProbe)
                fs::remove(entry.path(), ignored);
        }
        fs::remove(m_root / "messages.log", ignored);
    }
}
