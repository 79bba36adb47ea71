// A Windows program that installs the crash handler and then crashes on
// purpose, the way the first argument says:
//
//   fault                        an access violation a few frames below main
//   below <module>               the same, below a call from <module>
//   inside <outer> <inner>       a fault inside <inner>, called from <outer>
//   zerofp <module>              a fault with the frame pointer cleared,
//                                below a call from <module>
//
// Modules are loaded from the probe's own folder by file name.

#include "crashprobe.h"

#include "app/kycrashconstants.h"
#include "platform/crash.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Callback = void (*)(int);
using CallBack = void (*)(Callback, int);

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "crashprobe: %s\n", what);
    std::exit(2);
}

__attribute__((noinline)) void faultNow()
{
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int *>(address) = 0;
}

__attribute__((noinline)) void descend(int depth)
{
    if (depth > 0)
        descend(depth - 1);
    else
        faultNow();
    asm volatile("" ::: "memory"); // a frame per level: no sibling call
}

// Built without a frame pointer of its own, so the system's unwinder (which
// on x64 follows unwind tables, not the chain) still finds its way from here;
// the function merely saves and clears the register the crash filter walks.
__attribute__((noinline, optimize("omit-frame-pointer"))) void zeroFramePointerAndFault(int)
{
    asm volatile("xor %%ebp, %%ebp\n\tmovl $0, 16" ::: "rbp", "memory");
    fail("the store did not fault");
}

HMODULE loadModule(const char *name)
{
    // The probe's folder, not the search path.
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    const std::wstring file = folder + std::wstring(name, name + std::char_traits<char>::length(name));
    HMODULE module = LoadLibraryW(file.c_str());
    if (!module)
        fail(name);
    return module;
}

template<typename Function>
Function symbol(HMODULE module, const char *name)
{
    const FARPROC address = GetProcAddress(module, name);
    if (!address)
        fail(name);
    return reinterpret_cast<Function>(reinterpret_cast<void *>(address));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2)
        fail("usage: crashprobe <kind> [modules]");
    kyplatform::CrashReportSettings settings;
    settings.version = PROBE_VERSION;
    settings.uploadLocation = PROBE_UPLOAD_LOCATION;
    applyCrashTextsAndCredential(settings);
    if (!kyplatform::installCrashHandler(settings))
        fail("the crash handler was not installed");

    const std::string scenario = argv[1];
    if (scenario == "fault")
        descend(3);
    else if (scenario == "below" && argc > 2)
        symbol<CallBack>(loadModule(argv[2]), "ky_call_back")(descend, 3);
    else if (scenario == "inside" && argc > 3)
        symbol<CallBack>(loadModule(argv[2]), "ky_call_back")(symbol<Callback>(loadModule(argv[3]), "ky_fault"), 0);
    else if (scenario == "zerofp" && argc > 2)
        symbol<CallBack>(loadModule(argv[2]), "ky_call_back")(zeroFramePointerAndFault, 0);
    else
        fail("unknown scenario");
    fail("no crash happened");
}
