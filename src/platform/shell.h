#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Starting a program the way the Windows shell does for the verb "open" with a
// hidden window. Results follow the Windows convention: a value above 32 means
// the program started, 32 or less is an error number.
namespace kyplatform {

enum ShellExecuteResult : int {
    SHELL_FILE_NOT_FOUND = 2,
    SHELL_ACCESS_DENIED = 5,
    SHELL_STARTED = 33,
};

// Starts `file` (a path in Windows or local form) with the parameter text
// `parameters`, hidden, without waiting for it. The started program outlives
// the caller: elsewhere than on Windows it runs in a session of its own with
// its standard streams on /dev/null, and a file ending in ".exe" is made
// executable for its owner first. Returns SHELL_STARTED, SHELL_FILE_NOT_FOUND
// when the file does not exist (also for an empty name), or
// SHELL_ACCESS_DENIED when it cannot start; on Windows other failures give
// the shell's own error number, 32 or less.
int shellExecuteOpenHidden(const std::string &file, const std::string &parameters);

// How a start that may ask for administrator rights went.
enum class ElevatedStart { Started, Refused, Failed };

// Starts `file` (a setup package, whose manifest asks for administrator
// rights) with `parameters`, without waiting for it. On Windows the system
// shows its elevation prompt: Refused when the user declines it, Failed when
// the program cannot start for another reason. Elsewhere it starts the way
// shellExecuteOpenHidden does (never Refused).
ElevatedStart startElevated(const std::string &file, const std::string &parameters);

// Splits a parameter text into words by the rules of the Windows C runtime:
// blanks separate words outside quotes; 2n backslashes before a quote give n
// backslashes and the quote opens or closes a quoted part, 2n+1 give n and a
// literal quote; other backslashes are literal; "" inside a quoted part is a
// literal quote.
std::vector<std::string> splitCommandLine(const std::string &text);

// How many leading bytes of a file isProgramImage needs.
constexpr std::size_t kProgramHeadBytes = 4096;

// Whether a file of `size` bytes that begins with `head` (its first
// kProgramHeadBytes, or all of it when shorter) is a program this system can
// start: on Windows a PE image, elsewhere a PE or an ELF image (what a tool's
// installer is here). The headers are checked, not just the first two bytes:
// for PE the offset of its header inside the file, "PE\0\0" there, a known
// machine, a section count and an optional header that make sense, the
// executable flag; for ELF the class, byte order, version, a program or shared
// object of a known machine, and program headers inside the file.
bool isProgramImage(const std::string &head, unsigned long long size);

// The two image formats, for the backends.
bool isPeImage(const std::string &head, unsigned long long size);
bool isElfImage(const std::string &head, unsigned long long size);

} // namespace kyplatform
