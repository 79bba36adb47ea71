#include "platform/crash.h"
#include "platform/pathmap.h"

#include "platform/win_p.h"

#include <dbghelp.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>

// The unhandled-exception filter below runs after memory may have been
// corrupted and while other threads keep running. It formats into static
// buffers prepared by installCrashHandler, allocates nothing, reads the
// faulting thread's stack only in a way that cannot fault, and never returns.

namespace kyplatform {

namespace {

// The dump writer's function, loaded from dbghelp.dll at crash time.
using MiniDumpWriter = BOOL(WINAPI *)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                      PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// Data segments, handles, unloaded modules, private read-write memory, full
// memory information and thread information.
const MINIDUMP_TYPE kDumpType = static_cast<MINIDUMP_TYPE>(
    MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithUnloadedModules
    | MiniDumpWithPrivateReadWriteMemory | MiniDumpWithFullMemoryInfo | MiniDumpWithThreadInfo);
static_assert(0x1A25 == (MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithUnloadedModules
                         | MiniDumpWithPrivateReadWriteMemory | MiniDumpWithFullMemoryInfo | MiniDumpWithThreadInfo),
              "dump type");

constexpr std::size_t kFolderChars = 512;
constexpr std::size_t kDumpNameChars = 260;
constexpr std::size_t kCommandLineChars = 2048;
constexpr std::size_t kModuleBytes = 260;
constexpr std::size_t kFrameModuleBytes = 255;
constexpr std::size_t kTextBytes = 4096;
// The walk ends after this many frames even when the chain goes on (a chain
// that loops back on itself would otherwise never end).
constexpr int kMaxFrames = 128;

const wchar_t kMessageLogVariable[] = L"KYORO_CRASH_MESSAGE_LOG";

// Filled by installCrashHandler, only read by the filter.
struct Prepared
{
    wchar_t folder[kFolderChars];
    char folderUtf8[kFolderChars * 3];
    // Where the dump goes when the program folder cannot be written (an
    // ordinary user's program under Program Files): the user's local
    // application-data folder of the program; empty when unknown.
    wchar_t fallbackFolder[kFolderChars];
    char fallbackFolderUtf8[kFolderChars * 3];
    wchar_t libraryPath[kFolderChars + 16];
    char baseName[kDumpNameChars * 3];
    char version[kDumpNameChars];
    wchar_t reporter[MAX_PATH];
    char uploadLocation[kTextBytes];
    char credential[kTextBytes];
    int number;

    wchar_t caption[kTextBytes];
    char captionUtf8[kTextBytes];
    char renderAdvice[kTextBytes];
    char mediaAdvice[kTextBytes];
    wchar_t general[kTextBytes];
    char generalUtf8[kTextBytes];

    // The dump writer's messages: shown narrow (in the ANSI code page),
    // recorded as UTF-8.
    char writerCaption[kTextBytes];
    char libraryMissing[kTextBytes];
    char functionMissing[kTextBytes];
    char writerCaptionUtf8[kTextBytes];
    char libraryMissingUtf8[kTextBytes];
    char functionMissingUtf8[kTextBytes];

    // Set when messages are recorded in a file instead of shown (tests).
    wchar_t messageLog[kFolderChars * 2];
};

// Written by the one thread that runs the filter.
struct CrashState
{
    char dumpName[kDumpNameChars * 3];
    wchar_t dumpNameWide[kDumpNameChars];
    wchar_t dumpPath[kFolderChars + 1 + kDumpNameChars];
    char dumpPathUtf8[(kFolderChars + 1 + kDumpNameChars) * 3];
    char commandLineUtf8[kCommandLineChars * 3];
    wchar_t commandLine[kCommandLineChars];
    char faultingModule[kModuleBytes];
    char faultingModuleUtf8[kModuleBytes * 3];
    wchar_t moduleWide[kModuleBytes];
    char mappedName[kModuleBytes];
    char adviceUtf8[kTextBytes * 2];
    wchar_t adviceWide[kTextBytes * 2];
    char reporterFailure[128];
};

Prepared g_prepared;
CrashState g_state;
volatile LONG g_handlingThread = 0;

// ---------------------------------------------------------------------------
// Conversions into fixed buffers: a terminated string, "" when it does not fit.

bool utf8ToWide(const char *text, wchar_t *out, std::size_t size)
{
    out[0] = L'\0';
    if (!*text)
        return true;
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, out, static_cast<int>(size));
    if (length <= 0) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool wideToCodePage(const wchar_t *text, UINT codePage, char *out, std::size_t size)
{
    out[0] = '\0';
    if (!*text)
        return true;
    const int length = WideCharToMultiByte(codePage, 0, text, -1, out, static_cast<int>(size), nullptr, nullptr);
    if (length <= 0) {
        out[0] = '\0';
        return false;
    }
    return true;
}

// ANSI text (what the narrow system functions return) as UTF-8.
void ansiToUtf8(const char *text, char *out, std::size_t size)
{
    out[0] = '\0';
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, g_state.moduleWide, kModuleBytes) > 0)
        wideToCodePage(g_state.moduleWide, CP_UTF8, out, size);
}

bool copyUtf8(const std::string &text, char *out, std::size_t size)
{
    if (text.size() >= size || text.find('\0') != std::string::npos)
        return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

bool copyWide(const std::string &text, wchar_t *out, std::size_t size)
{
    const std::wstring wide = win::toWide(text);
    if (wide.size() >= size || (wide.empty() && !text.empty()) || wide.find(L'\0') != std::wstring::npos)
        return false;
    std::wmemcpy(out, wide.c_str(), wide.size() + 1);
    return true;
}

bool copyAnsi(const std::string &text, char *out, std::size_t size)
{
    const std::string ansi = win::fromWide(win::toWide(text), CP_ACP);
    return copyUtf8(ansi, out, size);
}

bool appendWide(wchar_t *out, std::size_t size, const wchar_t *tail)
{
    const std::size_t used = std::wcslen(out);
    const std::size_t length = std::wcslen(tail);
    if (used + length >= size)
        return false;
    std::wmemcpy(out + used, tail, length + 1);
    return true;
}

bool appendUtf8(char *out, std::size_t size, const char *tail)
{
    const std::size_t used = std::strlen(out);
    const std::size_t length = std::strlen(tail);
    if (used + length >= size)
        return false;
    std::memcpy(out + used, tail, length + 1);
    return true;
}

// ---------------------------------------------------------------------------
// Messages.

void writeAll(HANDLE file, const char *data)
{
    DWORD length = static_cast<DWORD>(std::strlen(data));
    while (length) {
        DWORD written = 0;
        if (!WriteFile(file, data, length, &written, nullptr) || written == 0)
            return;
        data += written;
        length -= written;
    }
}

// Appends "caption\ntext\n----\n" to the message log.
void recordMessage(const char *captionUtf8, const char *textUtf8)
{
    win::Handle log(CreateFileW(g_prepared.messageLog, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.valid())
        return;
    writeAll(log.get(), captionUtf8);
    writeAll(log.get(), "\n");
    writeAll(log.get(), textUtf8);
    writeAll(log.get(), "\n----\n");
}

bool recording()
{
    return g_prepared.messageLog[0] != L'\0';
}

// The dump writer's messages: system-modal, blocking until acknowledged.
void showWriterMessage(const char *ansiText, const char *utf8Text)
{
    if (recording())
        recordMessage(g_prepared.writerCaptionUtf8, utf8Text);
    else
        MessageBoxA(nullptr, ansiText, g_prepared.writerCaption, MB_OK | MB_SYSTEMMODAL);
}

void showUserMessage(const wchar_t *text, const char *textUtf8)
{
    if (recording())
        recordMessage(g_prepared.captionUtf8, textUtf8);
    else
        MessageBoxW(nullptr, text, g_prepared.caption, MB_OK);
}

// ---------------------------------------------------------------------------
// Modules and the stack.

// The file name of the module mapped at `address` into `out` ("" when the
// address lies in no mapped file), in the ANSI code page.
void mappedModuleName(const void *address, char *out, std::size_t size)
{
    out[0] = '\0';
    const DWORD length = GetMappedFileNameA(GetCurrentProcess(), const_cast<void *>(address), g_state.mappedName,
                                            static_cast<DWORD>(size));
    if (length == 0 || length >= size)
        return;
    g_state.mappedName[length] = '\0';
    const char *base = moduleBaseName(g_state.mappedName);
    const std::size_t baseLength = std::strlen(base);
    std::memmove(out, base, baseLength + 1);
}

// Copies `size` bytes at `address` of this process without the risk of a
// fault. MinGW has no structured exception handling (__try/__except) to
// catch a bad read, so the memory is asked about first and read through
// ReadProcessMemory, which reports an unreadable address as an error. Guard
// pages are left alone: touching one would use up the stack's growth guard.
bool readMemory(std::uintptr_t address, void *out, std::size_t size)
{
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<const void *>(address), &region, sizeof region) != sizeof region)
        return false;
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) || region.Protect == 0)
        return false;
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void *>(address), out, size, &read)
        && read == size;
}

void showAdvice(const char *adviceText)
{
    ansiToUtf8(g_state.faultingModule, g_state.faultingModuleUtf8, sizeof g_state.faultingModuleUtf8);
    if (!formatAdvice(g_state.adviceUtf8, sizeof g_state.adviceUtf8, adviceText, g_state.faultingModuleUtf8)
        || !utf8ToWide(g_state.adviceUtf8, g_state.adviceWide, sizeof g_state.adviceWide / sizeof(wchar_t))) {
        showUserMessage(g_prepared.general, g_prepared.generalUtf8);
        return;
    }
    showUserMessage(g_state.adviceWide, g_state.adviceUtf8);
}

// Walks the chain of saved frame pointers from `frame`: each frame holds, at
// its start, the caller's frame pointer and right after it the return
// address. A return address into the companion tool's render modules, or
// into its media engine for a crash outside the encoder, shows the driver
// advice naming the faulting module. The walk ends at a frame that cannot
// be read (the outermost frame points at 0), at a caller frame that does not
// lie above its callee (code without frame pointers leaves other data in the
// register), or at the frame limit; false then, and nothing was shown.
//
// On x64, code built with frame pointers keeps this chain for frames up to
// 240 bytes; system libraries keep none, so the walk rarely gets past them.
bool checkStackModules(std::uintptr_t frame)
{
    for (int depth = 0; depth < kMaxFrames; ++depth) {
        std::uintptr_t slots[2];
        if (!readMemory(frame, slots, sizeof slots))
            return false;
        char frameModule[kFrameModuleBytes + 1];
        mappedModuleName(reinterpret_cast<const void *>(slots[1]), frameModule, kFrameModuleBytes);
        switch (adviceForFrame(g_state.faultingModule, frameModule)) {
        case CrashAdvice::RenderSystem:
            showAdvice(g_prepared.renderAdvice);
            return true;
        case CrashAdvice::MediaEngine:
            showAdvice(g_prepared.mediaAdvice);
            return true;
        case CrashAdvice::General:
            break;
        }
        if (slots[0] <= frame)
            return false;
        frame = slots[0];
    }
    return false;
}

// Modules without a full path keep no data segments in the dump; everything
// else the dump type asks for is written.
BOOL CALLBACK miniDumpCallback(PVOID, const PMINIDUMP_CALLBACK_INPUT input, PMINIDUMP_CALLBACK_OUTPUT output)
{
    if (!input || !output)
        return FALSE;
    switch (input->CallbackType) {
    case ModuleCallback:
        if ((output->ModuleWriteFlags & ModuleWriteDataSeg) && (!input->Module.FullPath || !input->Module.FullPath[0]))
            output->ModuleWriteFlags &= ~ModuleWriteDataSeg;
        return TRUE;
    case IncludeModuleCallback:
    case IncludeThreadCallback:
    case ThreadCallback:
    case ThreadExCallback:
        return TRUE;
    default:
        return FALSE;
    }
}

// The dump file name and path in `folder` for the crash time into g_state;
// false when they do not fit their buffers.
bool buildDumpPath(const SYSTEMTIME &now, const wchar_t *folder, const char *folderUtf8)
{
    const CrashTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    g_state.dumpPath[0] = L'\0';
    g_state.dumpPathUtf8[0] = '\0';
    if (!formatDumpFileName(g_state.dumpName, sizeof g_state.dumpName, g_prepared.baseName, time, g_prepared.version)
        || !utf8ToWide(g_state.dumpName, g_state.dumpNameWide, kDumpNameChars))
        return false;
    std::wmemcpy(g_state.dumpPath, folder, std::wcslen(folder) + 1);
    std::memcpy(g_state.dumpPathUtf8, folderUtf8, std::strlen(folderUtf8) + 1);
    const std::size_t pathChars = sizeof g_state.dumpPath / sizeof(wchar_t);
    return appendWide(g_state.dumpPath, pathChars, L"\\")
        && appendWide(g_state.dumpPath, pathChars, g_state.dumpNameWide)
        && appendUtf8(g_state.dumpPathUtf8, sizeof g_state.dumpPathUtf8, "\\")
        && appendUtf8(g_state.dumpPathUtf8, sizeof g_state.dumpPathUtf8, g_state.dumpName);
}

// Creates the dump file at g_state's dump path (in the program folder), or
// else in the fallback folder; g_state's dump path then names the file made,
// or the one in the program folder when neither could be.
HANDLE createDumpFile(const SYSTEMTIME &now)
{
    // An existing dump of the same second is overwritten.
    const auto create = [] {
        return CreateFileW(g_state.dumpPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    if (!g_state.dumpPath[0])
        return INVALID_HANDLE_VALUE;
    HANDLE file = create();
    if (file != INVALID_HANDLE_VALUE || !g_prepared.fallbackFolder[0])
        return file;
    CreateDirectoryW(g_prepared.fallbackFolder, nullptr);
    if (buildDumpPath(now, g_prepared.fallbackFolder, g_prepared.fallbackFolderUtf8)) {
        file = create();
        if (file != INVALID_HANDLE_VALUE)
            return file;
    }
    buildDumpPath(now, g_prepared.folder, g_prepared.folderUtf8);
    return INVALID_HANDLE_VALUE;
}

// Loads the dump writer from `libraryPath` (never from the search path) and
// writes the dump of this process (see createDumpFile).
void writeMiniDump(EXCEPTION_POINTERS *pointers, const wchar_t *libraryPath, const SYSTEMTIME &now)
{
    win::Library library(LoadLibraryW(libraryPath));
    if (!library.get()) {
        showWriterMessage(g_prepared.libraryMissing, g_prepared.libraryMissingUtf8);
        return;
    }
    const auto writeDump = library.function<MiniDumpWriter>("MiniDumpWriteDump");
    if (!writeDump) {
        showWriterMessage(g_prepared.functionMissing, g_prepared.functionMissingUtf8);
        return;
    }
    win::Handle file(createDumpFile(now));
    if (!file.valid())
        return;
    MINIDUMP_EXCEPTION_INFORMATION exception;
    exception.ThreadId = GetCurrentThreadId();
    exception.ExceptionPointers = pointers;
    exception.ClientPointers = FALSE;
    MINIDUMP_CALLBACK_INFORMATION callback;
    callback.CallbackRoutine = miniDumpCallback;
    callback.CallbackParam = nullptr;
    writeDump(GetCurrentProcess(), GetCurrentProcessId(), file.get(), kDumpType, pointers ? &exception : nullptr,
              nullptr, &callback);
}

// Says that the reporter did not start and the system's reason, on the
// standard error stream and to a debugger, and in the message log when
// messages are recorded: the user sees the message either way, and a report
// that never arrives can then be told from one that was never sent.
void reportReporterFailure(DWORD error)
{
    char *line = g_state.reporterFailure;
    if (!formatReporterFailure(line, sizeof g_state.reporterFailure, error))
        return;
    const HANDLE errorStream = GetStdHandle(STD_ERROR_HANDLE);
    if (errorStream && errorStream != INVALID_HANDLE_VALUE) {
        writeAll(errorStream, line);
        writeAll(errorStream, "\n");
    }
    OutputDebugStringA(line);
    if (recording())
        recordMessage("crash filter", line);
}

// The reporter resolves against the current working folder, gets its own
// console and is not waited for.
void startReporter()
{
    if (!formatReporterCommandLine(g_state.commandLineUtf8, sizeof g_state.commandLineUtf8,
                                   g_prepared.uploadLocation, g_state.dumpPathUtf8, g_prepared.credential,
                                   g_prepared.number)
        || !utf8ToWide(g_state.commandLineUtf8, g_state.commandLine, kCommandLineChars))
        return;
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessW(g_prepared.reporter, g_state.commandLine, nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS | CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process)) {
        reportReporterFailure(GetLastError());
        return;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

std::uintptr_t framePointerOf(const CONTEXT *context)
{
#if defined(__x86_64__) || defined(_M_X64)
    return static_cast<std::uintptr_t>(context->Rbp);
#elif defined(__i386__) || defined(_M_IX86)
    return static_cast<std::uintptr_t>(context->Ebp);
#else
#error "no frame pointer for this architecture"
#endif
}

LONG WINAPI crashFilter(EXCEPTION_POINTERS *pointers)
{
    // One report per process. Another thread that crashes meanwhile waits
    // here until the first one ends the process. A fault inside the filter
    // itself goes on to the system's own handling.
    const LONG self = static_cast<LONG>(GetCurrentThreadId());
    const LONG owner = InterlockedCompareExchange(&g_handlingThread, self, 0);
    if (owner == self)
        return EXCEPTION_CONTINUE_SEARCH;
    if (owner != 0) {
        for (;;)
            Sleep(INFINITE);
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    // The path in the program folder first: without the dump writer the
    // reporter still gets the path the dump would have had.
    buildDumpPath(now, g_prepared.folder, g_prepared.folderUtf8);
    writeMiniDump(pointers, g_prepared.libraryPath, now);
    // The reporter starts whether or not a dump was written.
    startReporter();

    const void *faultAddress = pointers && pointers->ExceptionRecord ? pointers->ExceptionRecord->ExceptionAddress
                                                                       : nullptr;
    mappedModuleName(faultAddress, g_state.faultingModule, kModuleBytes);
    const bool inAdviceModule = faultInAdviceModule(g_state.faultingModule);
    if (inAdviceModule || !pointers || !pointers->ContextRecord
        || !checkStackModules(framePointerOf(pointers->ContextRecord)))
        showUserMessage(g_prepared.general, g_prepared.generalUtf8);

    // Not exit(): static destructors and DLL detach routines would run on a
    // heap and locks that the crash may have left broken, and could hang or
    // fault again. Everything the program leaves behind is on disk already.
    TerminateProcess(GetCurrentProcess(), 0);
    for (;;)
        Sleep(INFINITE);
}

// The user's local application-data folder of the program (for example
// C:\Users\<user>\AppData\Local\VURuv), where the program keeps its
// per-user data; "" when the system does not say.
std::string localDataFolder(const std::string &baseName)
{
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path && *path)
        folder = win::fromWide(std::wstring(path)) + "\\" + baseName;
    CoTaskMemFree(path);
    return folder;
}

std::string withBackslashes(std::string path)
{
    for (char &c : path) {
        if (c == '/')
            c = '\\';
    }
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

} // namespace

bool installCrashHandler(const CrashReportSettings &settings)
{
    std::string folder;
    std::string baseName;
    std::string version;
    if (!dumpNaming(settings, programFilePath(), "\\/", folder, baseName, version))
        return false;
    folder = withBackslashes(folder);

    Prepared &p = g_prepared;
    std::memset(&p, 0, sizeof p);
    std::wstring messageLog(kFolderChars * 2, L'\0');
    const DWORD logLength = GetEnvironmentVariableW(kMessageLogVariable, &messageLog[0], kFolderChars * 2);
    if (logLength > 0 && logLength < kFolderChars * 2)
        std::wmemcpy(p.messageLog, messageLog.c_str(), logLength + 1);

    const std::string library = folder + "\\dbghelp.dll";
    p.number = settings.reporterNumber;
    if (!copyWide(folder, p.folder, kFolderChars) || !copyUtf8(folder, p.folderUtf8, sizeof p.folderUtf8)
        || !copyWide(library, p.libraryPath, sizeof p.libraryPath / sizeof(wchar_t))
        || !copyUtf8(baseName, p.baseName, sizeof p.baseName)
        || !copyUtf8(version, p.version, sizeof p.version)
        || !copyWide(settings.reporterProgram, p.reporter, MAX_PATH)
        || !copyUtf8(settings.uploadLocation, p.uploadLocation, sizeof p.uploadLocation)
        || !copyUtf8(settings.uploadCredential, p.credential, sizeof p.credential)
        || !copyWide(settings.caption, p.caption, kTextBytes)
        || !copyUtf8(settings.caption, p.captionUtf8, sizeof p.captionUtf8)
        || !copyUtf8(settings.renderAdviceText, p.renderAdvice, sizeof p.renderAdvice)
        || !copyUtf8(settings.mediaAdviceText, p.mediaAdvice, sizeof p.mediaAdvice)
        || !copyWide(settings.generalText, p.general, kTextBytes)
        || !copyUtf8(settings.generalText, p.generalUtf8, sizeof p.generalUtf8)
        || !copyAnsi(settings.dumpWriterCaption, p.writerCaption, sizeof p.writerCaption)
        || !copyAnsi(settings.dumpLibraryMissingText, p.libraryMissing, sizeof p.libraryMissing)
        || !copyAnsi(settings.dumpFunctionMissingText, p.functionMissing, sizeof p.functionMissing)
        || !copyUtf8(settings.dumpWriterCaption, p.writerCaptionUtf8, sizeof p.writerCaptionUtf8)
        || !copyUtf8(settings.dumpLibraryMissingText, p.libraryMissingUtf8, sizeof p.libraryMissingUtf8)
        || !copyUtf8(settings.dumpFunctionMissingText, p.functionMissingUtf8, sizeof p.functionMissingUtf8))
        return false;
    // Without a fallback folder the dump is written only beside the program.
    const std::string fallback = withBackslashes(localDataFolder(baseName));
    if (fallback.empty() || !copyWide(fallback, p.fallbackFolder, kFolderChars)
        || !copyUtf8(fallback, p.fallbackFolderUtf8, sizeof p.fallbackFolderUtf8)) {
        p.fallbackFolder[0] = L'\0';
        p.fallbackFolderUtf8[0] = '\0';
    }

    // A stack overflow leaves the filter only what remains below the guard
    // page; this (the main) thread keeps enough in reserve for it, where a
    // runaway recursion of the event loop would overflow. (Wine ignores the
    // reserve and ends such a process without calling the filter.)
    ULONG reserve = 64 * 1024;
    SetThreadStackGuarantee(&reserve);
    SetUnhandledExceptionFilter(crashFilter);
    return true;
}

// The filter shows its message itself; there is no message process here.
bool takeCrashMessage(std::string &, std::string &)
{
    return false;
}

bool logCrashMessage(const std::string &caption, const std::string &text)
{
    wchar_t path[kFolderChars * 2];
    const DWORD length = GetEnvironmentVariableW(kMessageLogVariable, path, kFolderChars * 2);
    if (length == 0 || length >= kFolderChars * 2)
        return false;
    const std::string record = caption + "\n" + text + "\n----\n";
    win::Handle log(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (log.valid())
        writeAll(log.get(), record.c_str());
    return true;
}

} // namespace kyplatform
