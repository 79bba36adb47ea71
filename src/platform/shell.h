#pragma once

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

// Splits a parameter text into words by the rules of the Windows C runtime:
// blanks separate words outside quotes; 2n backslashes before a quote give n
// backslashes and the quote opens or closes a quoted part, 2n+1 give n and a
// literal quote; other backslashes are literal; "" inside a quoted part is a
// literal quote.
std::vector<std::string> splitCommandLine(const std::string &text);

// Whether a file that begins with `head` is a program this system can start:
// on Windows a PE image ("MZ"); elsewhere also an ELF image or a "#!" script,
// which is what a tool's installer is here.
bool isProgramImage(const std::string &head);

} // namespace kyplatform
