#pragma once

#include <cstddef>
#include <string>

// Crash reporting. When the program dies of a fault it leaves a dump file
// beside the executable, starts the separate crash reporter that uploads it,
// tells the user what probably went wrong, and ends the process with exit
// code 0.
//
// Everything the handler needs is prepared by installCrashHandler; the handler
// itself only formats into fixed buffers, takes no locks and allocates
// nothing, because the heap or any lock may be broken when it runs.
//
// Windows backend: the handler is an unhandled-exception filter. It writes a
// minidump with MiniDumpWriteDump from "dbghelp.dll" in the program folder (not
// the system's search path), keeping data segments only for modules with a full
// path. When the program folder cannot be written (an ordinary user's program
// under Program Files), the dump goes to the user's local application-data
// folder of the program, <LocalAppData>\<base name>, and the reporter gets
// that path. It shows dumpWriterCaption with dumpLibraryMissingText or
// dumpFunctionMissingText (system-modal) when the library or the function is
// missing, and shows the final message itself. POSIX backend: signal handlers
// on an alternate stack; the dump is a text file (signal, addresses,
// registers, frames, the process's mappings) and the message is shown by a
// separate short-lived process, see takeCrashMessage.
namespace kyplatform {

struct CrashReportSettings
{
    // Folder of the dump files and the prefix of their names; empty means the
    // executable's folder and its file name without extension.
    std::string programFolder;
    std::string programBaseName;
    // Last part of the dump name, for example "V1.0.0".
    std::string version;

    // The crash reporter: a program file name resolved against the current
    // working folder at crash time, given four values: the upload location,
    // the dump path, the upload credential and reporterNumber in decimal.
    std::string reporterProgram = "BugReporter.exe";
    std::string uploadLocation;
    std::string uploadCredential;
    int reporterNumber = 0;

    // The user's message (UTF-8). Both advice texts hold one "%s" that becomes
    // the name of the module in which the crash happened.
    std::string caption;
    std::string renderAdviceText;
    std::string mediaAdviceText;
    std::string generalText;

    // Messages of the Windows dump writer.
    std::string dumpWriterCaption;
    std::string dumpLibraryMissingText;
    std::string dumpFunctionMissingText;

    // Program started to show the message where the handler cannot show it
    // itself; empty means this program (see takeCrashMessage).
    std::string messageProgram;
};

// Installs the crash handler; call once at start-up, before other threads
// exist. False when it could not be installed (for example a program folder
// too long for the handler's buffers).
bool installCrashHandler(const CrashReportSettings &settings);

// The message process. A handler that cannot show the message itself starts
// the message program with the message in its environment. Such a process
// calls takeCrashMessage before anything else; when it returns true the
// caller shows caption and text (unless logCrashMessage took them) and ends.
// The request is removed from the environment.
bool takeCrashMessage(std::string &caption, std::string &text);

// When the environment variable KYORO_CRASH_MESSAGE_LOG names a file, appends
// the message to it instead of showing it and returns true. Each message is
// the caption, a line feed, the text, a line feed and a line "----".
bool logCrashMessage(const std::string &caption, const std::string &text);

// ---------------------------------------------------------------------------
// Building blocks shared by the backends. All of them are safe inside a crash
// handler: no allocation, no locks. Formatting functions write a terminated
// string and return its length, or 0 when it does not fit `size`.

struct CrashTime
{
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

// "<base>_<yyyy>-<MMdd>-<hhmm>-<ss>_<version>.dmp", for example
// "app_2017-0315-1402-07_V1.0.0.dmp".
std::size_t formatDumpFileName(char *out, std::size_t size, const char *baseName,
                               const CrashTime &time, const char *version);

// The reporter's command line on Windows: the four values each in double
// quotes, separated by three, four and three blanks.
std::size_t formatReporterCommandLine(char *out, std::size_t size, const char *uploadLocation,
                                      const char *dumpPath, const char *credential, int number);

// `text` with its first "%s" replaced by `module`.
std::size_t formatAdvice(char *out, std::size_t size, const char *text, const char *module);

// "crash reporter not started: Windows error <error>", for the crash filter
// to say why its reporter did not start; like the others, without
// allocating, and 0 (an empty text) when it does not fit.
std::size_t formatReporterFailure(char *out, std::size_t size, unsigned long error);

// The text after the last "/" or "\".
const char *moduleBaseName(const char *path);

// Where dumps go and how they are named: the settings' folder and base name,
// or else the folder of `programPath` and its file name without extension
// (folders separated by one of `separators`); the base name and the version
// with folder separators replaced, so that they cannot send the dump into
// another folder. False when `programPath` has no folder to give.
bool dumpNaming(const CrashReportSettings &settings, const std::string &programPath, const char *separators,
                std::string &folder, std::string &baseName, std::string &version);

// Module names compared by base name, ASCII letters without regard to case.
bool sameModuleName(const char *a, const char *b);

enum class CrashAdvice
{
    General,       // the general apology
    RenderSystem,  // update the graphics driver
    MediaEngine,   // update the graphics driver or use a software encoder
};

// A crash inside one of the companion tool's render or media modules gets the
// general message: the stack is not examined.
bool faultInAdviceModule(const char *faultingModule);

// The advice that a caller frame in `frameModule` gives for a crash in
// `faultingModule`; General means the walk goes on with the next frame.
CrashAdvice adviceForFrame(const char *faultingModule, const char *frameModule);

} // namespace kyplatform
