#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The process list as the Windows process snapshot gives it: the executable
// file name (no folder) of every process, in snapshot order, duplicates kept.
// Elsewhere the name is the base name of the program file the process runs;
// when that cannot be read, the base name of its first command-line word;
// else its kernel name.
namespace kyplatform {

// False when no snapshot could be taken; `names` is then empty.
bool runningProcessNames(std::vector<std::string> &names);

// Ends, at once and without asking, every process whose executable file name
// equals `name` exactly. False when no snapshot could be taken.
bool terminateProcessesByName(const std::string &name);

// The executable file name of the calling process.
std::string currentProcessName();

// When the running process `pid` started, in the system's own units (clock
// ticks since boot elsewhere, 100 ns since 1601 on Windows): with its id, an
// identity no later process shares, since ids are reused but start times of
// one boot never repeat. False when no process with that id runs (also for
// one that has ended but not yet been reaped).
bool processStartTime(long long pid, unsigned long long &start);

// The id of the calling process.
long long currentProcessId();

// The arguments of the calling process after its program name, as UTF-8.
// On Windows from the wide command line: the narrow `argv` is in the ANSI
// code page, which cannot hold every name (a Chinese tool name on a Western
// system); elsewhere `argv` itself.
std::vector<std::string> programArguments(int argc, char *argv[]);

// Milliseconds since the calling process was created, as the system counts
// it (from the exec on Linux, where the start is known to a clock tick of
// 10 ms); negative when it cannot be told.
double millisecondsSinceProcessStart();

// Processor time (user and system) the calling process has used, in
// milliseconds, all its threads together; negative when it cannot be told.
double processorMilliseconds();

// The calling process's resident memory in bytes (the working set on
// Windows); 0 when it cannot be told.
std::size_t residentBytes();

} // namespace kyplatform
