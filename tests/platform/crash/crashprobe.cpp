// A small program that installs the crash handler and then crashes on
// purpose, the way the first argument says:
//
//   segv|bus|ill|fpe|abort [depth]   that signal, `depth` frames below main
//   overflow                         runaway recursion
//   thread                           a fault on a second thread
//   twothreads                       two threads fault at the same moment
//   below <module>                   a fault in the probe, a few frames below
//                                    a call from <module>
//   inside <outer> <inner>           a fault inside <inner>, called from <outer>
//   zerofp <module>                  a fault with the frame pointer cleared,
//                                    below a call from <module>
//
// Modules are loaded from the probe's own folder by file name. Started as a
// crash message process, the probe records the message and ends.

#include "crashprobe.h"

#include "app/kycrashconstants.h"
#include "platform/crash.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using Callback = void (*)(int);

std::string g_kind = "segv";

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "crashprobe: %s\n", what);
    std::_Exit(2);
}

__attribute__((noinline)) void faultNow()
{
    if (g_kind == "abort")
        std::abort();
    if (g_kind == "ill")
        __builtin_trap();
    if (g_kind == "fpe") {
#if defined(__x86_64__)
        asm volatile("xor %%ecx, %%ecx\n\tdiv %%ecx" ::: "eax", "ecx", "edx");
#endif
        raise(SIGFPE); // integer division by zero does not trap everywhere
    }
    if (g_kind == "bus") {
        // Reading a shared mapping beyond the end of its (empty) file.
        const int fd = memfd_create("crashprobe", 0);
        void *page = fd < 0 ? MAP_FAILED : mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
        if (page == MAP_FAILED)
            fail("no mapping for the bus error");
        (void)*static_cast<volatile char *>(page);
        fail("the read did not fault");
    }
    // A store to the unmapped first page (not the null pointer, which the
    // undefined-behaviour checker of sanitizer builds would catch first).
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int *>(address) = 0;
    // Not reached; main reports that no crash happened.
}

__attribute__((noinline)) void descend(int depth)
{
    if (depth > 0)
        descend(depth - 1);
    else
        faultNow();
    asm volatile("" ::: "memory"); // a frame per level: no sibling call
}

__attribute__((noinline)) void zeroFramePointerAndFault(int)
{
#if defined(__x86_64__)
    asm volatile("xor %%ebp, %%ebp\n\tmovl $0, 16" ::: "memory");
#elif defined(__aarch64__)
    asm volatile("mov x29, xzr\n\tmov x9, #16\n\tstr wzr, [x9]" ::: "x9", "memory");
#else
#error "crashprobe: no zeroed frame pointer scenario for this architecture"
#endif
    fail("the store did not fault");
}

__attribute__((noinline)) int overflow(int depth)
{
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth < 0)
        return 0;
    return overflow(depth + 1) + pad[0];
}

void *loadModule(const std::string &folder, const char *name)
{
    const std::string path = folder + "/" + name;
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        fail(dlerror());
    return module;
}

template<typename Function>
Function symbol(void *module, const char *name)
{
    void *address = dlsym(module, name);
    if (!address)
        fail(name);
    return reinterpret_cast<Function>(address);
}

std::string programFolder()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        fail("no program path");
    path[length] = '\0';
    std::string folder(path);
    return folder.substr(0, folder.rfind('/'));
}

bool installHandler()
{
    kyplatform::CrashReportSettings settings;
    settings.version = PROBE_VERSION;
    settings.uploadLocation = PROBE_UPLOAD_LOCATION;
    applyCrashTextsAndCredential(settings);
    return kyplatform::installCrashHandler(settings);
}

} // namespace

int main(int argc, char *argv[])
{
    std::string caption;
    std::string text;
    if (kyplatform::takeCrashMessage(caption, text)) {
        if (!kyplatform::logCrashMessage(caption, text))
            std::fprintf(stderr, "%s\n%s\n", caption.c_str(), text.c_str());
        return 0;
    }
    if (argc < 2)
        fail("usage: crashprobe <kind> [arguments]");
    if (!installHandler())
        fail("the crash handler was not installed");

    // A descriptor that a started process would inherit unless the crash
    // handler closes it.
    if (open("/dev/null", O_RDONLY) < 0)
        fail("cannot open /dev/null");

    const std::string scenario = argv[1];
    const std::string folder = programFolder();
    if (scenario == "segv" || scenario == "bus" || scenario == "ill" || scenario == "fpe" || scenario == "abort") {
        g_kind = scenario;
        descend(argc > 2 ? std::atoi(argv[2]) : 3);
    } else if (scenario == "overflow") {
        overflow(0);
    } else if (scenario == "thread") {
        std::thread([] { descend(3); }).join();
    } else if (scenario == "twothreads") {
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        auto crasher = [&] {
            ++ready;
            while (!go)
                ;
            descend(2);
        };
        std::thread first(crasher);
        std::thread second(crasher);
        while (ready < 2)
            ;
        go = true;
        first.join();
        second.join();
    } else if (scenario == "below" && argc > 2) {
        symbol<void (*)(Callback, int)>(loadModule(folder, argv[2]), "ky_call_back")(descend, 3);
    } else if (scenario == "inside" && argc > 3) {
        auto callBack = symbol<void (*)(Callback, int)>(loadModule(folder, argv[2]), "ky_call_back");
        callBack(symbol<Callback>(loadModule(folder, argv[3]), "ky_fault"), 0);
    } else if (scenario == "zerofp" && argc > 2) {
        symbol<void (*)(Callback, int)>(loadModule(folder, argv[2]), "ky_call_back")(zeroFramePointerAndFault, 0);
    } else {
        fail("unknown scenario");
    }
    fail("no crash happened");
}
