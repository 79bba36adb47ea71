#include "platform/crash.h"
#include "platform/crash_posix_p.h"
#include "platform/pathmap.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

extern char **environ;

// The signal handler below runs after memory may have been corrupted and while
// other threads keep running. It therefore only uses system calls and the
// async-signal-safe functions of the C library, formats into static buffers,
// reads the faulting thread's memory through the kernel (a bad pointer gives
// an error, not a second fault), and never returns.

namespace kyplatform {

namespace crashdetail {

namespace {
long utcOffsetAt(std::time_t when)
{
    struct tm fields;
    if (!localtime_r(&when, &fields))
        return 0;
    return fields.tm_gmtoff;
}

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's
// civil_from_days).
void civilFromDays(long long days, int &year, int &month, int &day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}
} // namespace

void LocalClock::prepare(std::time_t from)
{
    constexpr std::time_t kDay = 24 * 60 * 60;
    const std::time_t horizon = from + 2 * 366 * kDay;
    tzset();
    m_count = 0;
    m_changes[m_count++] = {from, utcOffsetAt(from)};
    // Invariant: the offset at `checked` is the last listed one.
    std::time_t checked = from;
    while (checked < horizon && m_count < kMaxChanges) {
        const std::time_t next = checked + kDay < horizon ? checked + kDay : horizon;
        const long current = m_changes[m_count - 1].offset;
        if (utcOffsetAt(next) == current) {
            checked = next;
            continue;
        }
        // The change lies in (checked, next]: find its first second.
        std::time_t before = checked;
        std::time_t after = next;
        while (after - before > 1) {
            const std::time_t middle = before + (after - before) / 2;
            if (utcOffsetAt(middle) == current)
                before = middle;
            else
                after = middle;
        }
        m_changes[m_count++] = {after, utcOffsetAt(after)};
        checked = after;
    }
}

CrashTime LocalClock::localTime(std::time_t utc) const
{
    long offset = m_count ? m_changes[0].offset : 0;
    for (int i = 1; i < m_count && m_changes[i].at <= utc; ++i)
        offset = m_changes[i].offset;
    const long long local = static_cast<long long>(utc) + offset;
    long long days = local / 86400;
    long long seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    CrashTime time{};
    civilFromDays(days, time.year, time.month, time.day);
    time.hour = static_cast<int>(seconds / 3600);
    time.minute = static_cast<int>(seconds / 60 % 60);
    time.second = static_cast<int>(seconds % 60);
    return time;
}

} // namespace crashdetail

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
// The walk stops after this many frames even when the chain goes on (a chain
// that loops back on itself would otherwise never end).
constexpr int kMaxFrames = 128;
constexpr std::size_t kPathSize = 4096;
constexpr std::size_t kNameSize = 256;
constexpr std::size_t kTextSize = 4096;
constexpr std::size_t kMapsSize = 1 << 20;
// Generous: an instrumented (sanitizer) build of the handler needs far more
// than the usual SIGSTKSZ.
constexpr std::size_t kAltStackSize = 256 * 1024;
constexpr int kMaxEnvironment = 4096;

const char kCaptionVariable[] = "KYORO_CRASH_MESSAGE_CAPTION";
const char kTextVariable[] = "KYORO_CRASH_MESSAGE_TEXT";
const char kMessageLogVariable[] = "KYORO_CRASH_MESSAGE_LOG";

// Filled by installCrashHandler, only read by the handler.
struct Prepared
{
    char programPath[kPathSize];
    char folder[kPathSize];
    char baseName[kNameSize];
    char version[kNameSize];
    char reporter[kPathSize];
    char uploadLocation[kTextSize];
    char credential[kNameSize];
    char number[32];
    char renderAdvice[kTextSize];
    char mediaAdvice[kTextSize];
    char general[kTextSize];
    char messageProgram[kPathSize];
    char captionEntry[kTextSize]; // "KYORO_CRASH_MESSAGE_CAPTION=<caption>"
    crashdetail::LocalClock clock;
    int probePipe[2];
};

// Written by the one thread that runs the handler.
struct CrashState
{
    char dumpFileName[kNameSize + kNameSize];
    char dumpPath[kPathSize + 2 * kNameSize];
    char maps[kMapsSize];
    std::size_t mapsLength;
    int mapsFd;
    std::uintptr_t returnAddresses[kMaxFrames];
    int frameCount;
    bool walkEnded;          // at an unreadable frame, not at the limit
    std::uintptr_t badFrame; // that frame
    char faultingModule[kNameSize];
    char frameModule[kNameSize];
    char textEntry[kTextSize + 64]; // "KYORO_CRASH_MESSAGE_TEXT=<text>"
    char *messageEnvironment[kMaxEnvironment];
    char writeBuffer[16 * 1024];
};

Prepared g_prepared;
CrashState g_state;
alignas(16) char g_altStack[kAltStackSize];
std::atomic<long> g_handlingThread{0};
static_assert(std::atomic<long>::is_always_lock_free, "the re-entry guard must be lock-free");

bool copyInto(char *out, std::size_t size, const std::string &text)
{
    if (text.size() >= size || text.find('\0') != std::string::npos)
        return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

bool startsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// ---------------------------------------------------------------------------
// Output without stdio.

void writeAll(int fd, const char *data, std::size_t length)
{
    while (length) {
        const ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

struct Hex
{
    std::uintptr_t value;
    int minDigits = 16;
};

struct Dec
{
    long long value;
    int minDigits = 1;
};

// Buffered writing of the dump through the static write buffer.
class DumpWriter
{
public:
    explicit DumpWriter(int fd)
        : m_fd(fd)
    {
    }

    void text(const char *value, std::size_t length)
    {
        while (length) {
            if (m_used == sizeof g_state.writeBuffer)
                flush();
            const std::size_t room = sizeof g_state.writeBuffer - m_used;
            const std::size_t part = length < room ? length : room;
            std::memcpy(g_state.writeBuffer + m_used, value, part);
            m_used += part;
            value += part;
            length -= part;
        }
    }

    DumpWriter &operator<<(const char *value)
    {
        text(value, std::strlen(value));
        return *this;
    }

    DumpWriter &operator<<(Dec number)
    {
        char digits[24];
        int count = 0;
        unsigned long long magnitude = number.value < 0 ? 0ULL - static_cast<unsigned long long>(number.value)
                                                        : static_cast<unsigned long long>(number.value);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        while (count < number.minDigits && count < static_cast<int>(sizeof digits))
            digits[count++] = '0';
        if (number.value < 0)
            text("-", 1);
        while (count)
            text(&digits[--count], 1);
        return *this;
    }

    DumpWriter &operator<<(Hex number)
    {
        char digits[2 * sizeof number.value];
        int count = 0;
        std::uintptr_t value = number.value;
        do {
            digits[count++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value);
        while (count < number.minDigits && count < static_cast<int>(sizeof digits))
            digits[count++] = '0';
        text("0x", 2);
        while (count)
            text(&digits[--count], 1);
        return *this;
    }

    void flush()
    {
        writeAll(m_fd, g_state.writeBuffer, m_used);
        m_used = 0;
    }

private:
    int m_fd;
    std::size_t m_used = 0;
};

// ---------------------------------------------------------------------------
// Memory and modules.

// Copies `size` bytes at `address` of this process. The kernel does the
// reading, so an unmapped or protected address fails instead of faulting.
bool readMemory(std::uintptr_t address, void *out, std::size_t size)
{
    struct iovec local = {out, size};
    struct iovec remote = {reinterpret_cast<void *>(address), size};
    const long copied = syscall(SYS_process_vm_readv, static_cast<long>(getpid()), &local, 1UL, &remote, 1UL, 0UL);
    if (copied == static_cast<long>(size))
        return true;
    if (copied >= 0 || errno == EFAULT || errno == ESRCH)
        return false;
    // Not permitted here (a seccomp filter, an old kernel): a write from that
    // address into a pipe fails with EFAULT the same way.
    if (g_prepared.probePipe[1] < 0)
        return false;
    const long written = syscall(SYS_write, g_prepared.probePipe[1], reinterpret_cast<void *>(address), size);
    if (written <= 0)
        return false;
    const ssize_t back = read(g_prepared.probePipe[0], out, size);
    return written == static_cast<long>(size) && back == static_cast<ssize_t>(size);
}

// The process's mappings, read once at the start of the crash: the text of
// /proc/self/maps. Reading it stays open so the dump can copy the rest of a
// very long list.
void snapshotMaps()
{
    g_state.mapsLength = 0;
    g_state.mapsFd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (g_state.mapsFd < 0)
        return;
    while (g_state.mapsLength < sizeof g_state.maps) {
        const ssize_t got = read(g_state.mapsFd, g_state.maps + g_state.mapsLength,
                                 sizeof g_state.maps - g_state.mapsLength);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        g_state.mapsLength += static_cast<std::size_t>(got);
    }
}

struct Mapping
{
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    const char *path = nullptr; // not terminated
    std::size_t pathLength = 0;
};

std::uintptr_t parseHex(const char *&p, const char *end)
{
    std::uintptr_t value = 0;
    for (; p < end; ++p) {
        const char c = *p;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            break;
        value = value * 16 + static_cast<std::uintptr_t>(digit);
    }
    return value;
}

// One line "start-end perms offset dev inode   path"; `p` moves to the next.
bool nextMapping(const char *&p, const char *end, Mapping &mapping)
{
    if (p >= end)
        return false;
    const char *lineEnd = p;
    while (lineEnd < end && *lineEnd != '\n')
        ++lineEnd;
    mapping = Mapping();
    mapping.start = parseHex(p, lineEnd);
    if (p < lineEnd && *p == '-')
        ++p;
    mapping.end = parseHex(p, lineEnd);
    // Skip perms, offset, dev and inode: four fields.
    for (int field = 0; field < 4; ++field) {
        while (p < lineEnd && *p == ' ')
            ++p;
        while (p < lineEnd && *p != ' ')
            ++p;
    }
    while (p < lineEnd && *p == ' ')
        ++p;
    std::size_t length = static_cast<std::size_t>(lineEnd - p);
    const char deleted[] = " (deleted)";
    const std::size_t deletedLength = sizeof deleted - 1;
    if (length > deletedLength && std::memcmp(p + length - deletedLength, deleted, deletedLength) == 0)
        length -= deletedLength;
    if (length && *p == '/') {
        mapping.path = p;
        mapping.pathLength = length;
    }
    p = lineEnd < end ? lineEnd + 1 : end;
    return true;
}

// The file mapped at `address` and its lowest mapped address (the module's
// base); false when the address lies in no mapped file.
bool findModule(std::uintptr_t address, Mapping &found, std::uintptr_t &base)
{
    const char *p = g_state.maps;
    const char *end = g_state.maps + g_state.mapsLength;
    Mapping mapping;
    bool hit = false;
    while (nextMapping(p, end, mapping)) {
        if (mapping.path && address >= mapping.start && address < mapping.end) {
            found = mapping;
            hit = true;
            break;
        }
    }
    if (!hit)
        return false;
    base = found.start;
    p = g_state.maps;
    while (nextMapping(p, end, mapping)) {
        if (mapping.pathLength == found.pathLength && std::memcmp(mapping.path, found.path, found.pathLength) == 0) {
            base = mapping.start;
            break;
        }
    }
    return true;
}

// The file name of the module mapped at `address` into `out`; "" when none.
void moduleNameAt(std::uintptr_t address, char *out, std::size_t size)
{
    out[0] = '\0';
    Mapping mapping;
    std::uintptr_t base = 0;
    if (!findModule(address, mapping, base))
        return;
    std::size_t nameStart = 0;
    for (std::size_t i = 0; i < mapping.pathLength; ++i) {
        if (mapping.path[i] == '/')
            nameStart = i + 1;
    }
    std::size_t length = mapping.pathLength - nameStart;
    if (length >= size)
        length = size - 1;
    std::memcpy(out, mapping.path + nameStart, length);
    out[length] = '\0';
}

// ---------------------------------------------------------------------------
// The faulting thread's registers.

struct Registers
{
    std::uintptr_t pc = 0;
    std::uintptr_t framePointer = 0;
};

Registers registersOf(const void *context)
{
    Registers registers;
    const auto *uc = static_cast<const ucontext_t *>(context);
    if (!uc)
        return registers;
#if defined(__x86_64__)
    registers.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    registers.framePointer = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RBP]);
#elif defined(__aarch64__)
    registers.pc = uc->uc_mcontext.pc;
    registers.framePointer = uc->uc_mcontext.regs[29];
#elif defined(__i386__)
    registers.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
    registers.framePointer = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EBP]);
#else
#error "crash reporting: tell registersOf where this architecture keeps its pc and frame pointer"
#endif
    return registers;
}

void writeRegisters(DumpWriter &out, const void *context)
{
    const auto *uc = static_cast<const ucontext_t *>(context);
    if (!uc)
        return;
#if defined(__x86_64__)
    static const char *const names[] = {"r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15",
                                        "rdi", "rsi", "rbp", "rbx", "rdx", "rax", "rcx", "rsp",
                                        "rip", "eflags", "csgsfs", "err", "trapno", "oldmask", "cr2"};
    static_assert(sizeof names / sizeof names[0] == NGREG, "one name per saved register");
    for (int i = 0; i < NGREG; ++i)
        out << "  " << names[i] << "\t" << Hex{static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[i])} << "\n";
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i)
        out << "  x" << Dec{i} << "\t" << Hex{uc->uc_mcontext.regs[i]} << "\n";
    out << "  sp\t" << Hex{uc->uc_mcontext.sp} << "\n";
    out << "  pc\t" << Hex{uc->uc_mcontext.pc} << "\n";
    out << "  pstate\t" << Hex{uc->uc_mcontext.pstate} << "\n";
#else
    const Registers registers = registersOf(context);
    out << "  pc\t" << Hex{registers.pc} << "\n";
    out << "  fp\t" << Hex{registers.framePointer} << "\n";
#endif
}

// Follows the saved frame pointers: each frame starts with the caller's frame
// pointer, followed by the return address into the caller. The walk ends at
// the first frame that cannot be read (the outermost frame points at 0), at a
// caller frame that does not lie above its callee on the stack (code built
// without frame pointers leaves other data in that register, often pointing
// back at itself), or at the limit.
void walkFrames(std::uintptr_t framePointer)
{
    g_state.frameCount = 0;
    g_state.walkEnded = false;
    while (g_state.frameCount < kMaxFrames) {
        std::uintptr_t frame[2];
        if (!readMemory(framePointer, frame, sizeof frame)) {
            g_state.walkEnded = true;
            g_state.badFrame = framePointer;
            return;
        }
        g_state.returnAddresses[g_state.frameCount++] = frame[1];
        if (frame[0] <= framePointer) {
            g_state.walkEnded = true;
            g_state.badFrame = frame[0];
            return;
        }
        framePointer = frame[0];
    }
}

void writeModuleAndOffset(DumpWriter &out, std::uintptr_t address)
{
    Mapping mapping;
    std::uintptr_t base = 0;
    if (!findModule(address, mapping, base)) {
        out << "?";
        return;
    }
    out.text(mapping.path, mapping.pathLength);
    out << "+" << Hex{address - base, 1};
}

const char *signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "?";
    }
}

void writeDump(int signalNumber, const siginfo_t *info, const void *context, const CrashTime &time)
{
    const int fd = open(g_state.dumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    DumpWriter out(fd);
    out << "crash dump of " << g_prepared.programPath << "\n";
    out << "version: " << g_prepared.version << "\n";
    out << "time: " << Dec{time.year, 4} << "-" << Dec{time.month, 2} << "-" << Dec{time.day, 2} << " "
        << Dec{time.hour, 2} << ":" << Dec{time.minute, 2} << ":" << Dec{time.second, 2} << " local\n";
    out << "pid: " << Dec{getpid()} << "\n";
    out << "thread: " << Dec{syscall(SYS_gettid)} << "\n";
    out << "signal: " << Dec{signalNumber} << " (" << signalName(signalNumber) << ")";
    if (info)
        out << " code " << Dec{info->si_code};
    out << "\n";
    // Only a fault raised by the processor carries an address; a signal sent
    // by a process (abort, kill) names the sender instead.
    if (info && info->si_code > 0)
        out << "fault address: " << Hex{reinterpret_cast<std::uintptr_t>(info->si_addr)} << "\n";
    else if (info)
        out << "fault address: none (sent by process " << Dec{info->si_pid} << ")\n";
    out << "faulting module: " << g_state.faultingModule << "\n";
    out << "registers:\n";
    writeRegisters(out, context);

    const Registers registers = registersOf(context);
    out << "frames:\n";
    out << "  #0 " << Hex{registers.pc} << " ";
    writeModuleAndOffset(out, registers.pc);
    out << "\n";
    for (int i = 0; i < g_state.frameCount; ++i) {
        out << "  #" << Dec{i + 1} << " " << Hex{g_state.returnAddresses[i]} << " ";
        writeModuleAndOffset(out, g_state.returnAddresses[i]);
        out << "\n";
    }
    if (g_state.walkEnded)
        out << "  (frame chain ends: no usable frame at " << Hex{g_state.badFrame} << ")\n";
    else
        out << "  (frame limit reached)\n";

    out << "maps:\n";
    out.text(g_state.maps, g_state.mapsLength);
    if (g_state.mapsFd >= 0) {
        char chunk[4096];
        for (;;) {
            const ssize_t got = read(g_state.mapsFd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            out.text(chunk, static_cast<std::size_t>(got));
        }
    }
    out << "end of dump\n";
    out.flush();
    close(fd);
}

// ---------------------------------------------------------------------------
// Child processes.

// In a freshly forked child: the signal mask of the handler is not inherited
// by what runs next, and no descriptor of the crashed program (sockets, the
// single-instance lock, log files) is handed on.
void prepareChild()
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3U, ~0U, 0U) == 0)
        return;
#endif
    struct rlimit limit;
    long highest = 1024;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        highest = static_cast<long>(limit.rlim_cur);
    if (highest > 65536)
        highest = 65536;
    for (long fd = 3; fd < highest; ++fd)
        close(static_cast<int>(fd));
}

// The reporter runs on its own (own session, standard streams on /dev/null)
// and is not waited for; whether it starts is not checked.
void startReporter()
{
    char *argv[] = {g_prepared.reporter, g_prepared.uploadLocation, g_state.dumpPath, g_prepared.credential,
                    g_prepared.number, nullptr};
    const pid_t pid = _Fork();
    if (pid != 0)
        return;
    setsid();
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    prepareChild();
    // A plain file name: execve resolves it against the working folder,
    // never the search path.
    execve(g_prepared.reporter, argv, environ);
    _exit(127);
}

// The message process: the message program with the message added to this
// process's environment. The handler waits until the user has closed it.
void showMessage(const char *textEntry)
{
    int count = 0;
    for (char **entry = environ; entry && *entry && count < kMaxEnvironment - 3; ++entry) {
        if (startsWith(*entry, kCaptionVariable) || startsWith(*entry, kTextVariable))
            continue;
        g_state.messageEnvironment[count++] = *entry;
    }
    g_state.messageEnvironment[count++] = g_prepared.captionEntry;
    g_state.messageEnvironment[count++] = const_cast<char *>(textEntry);
    g_state.messageEnvironment[count] = nullptr;

    char *argv[] = {g_prepared.messageProgram, nullptr};
    const pid_t pid = _Fork();
    if (pid < 0)
        return;
    if (pid == 0) {
        prepareChild();
        execve(g_prepared.messageProgram, argv, g_state.messageEnvironment);
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// ---------------------------------------------------------------------------

// The message for this crash into g_state.textEntry.
void chooseMessage()
{
    const std::size_t prefix = std::strlen(kTextVariable) + 1;
    std::memcpy(g_state.textEntry, kTextVariable, prefix - 1);
    g_state.textEntry[prefix - 1] = '=';
    char *text = g_state.textEntry + prefix;
    const std::size_t size = sizeof g_state.textEntry - prefix;

    CrashAdvice advice = CrashAdvice::General;
    if (!faultInAdviceModule(g_state.faultingModule)) {
        for (int i = 0; i < g_state.frameCount && advice == CrashAdvice::General; ++i) {
            moduleNameAt(g_state.returnAddresses[i], g_state.frameModule, sizeof g_state.frameModule);
            advice = adviceForFrame(g_state.faultingModule, g_state.frameModule);
        }
    }
    const char *adviceText = advice == CrashAdvice::RenderSystem ? g_prepared.renderAdvice
        : advice == CrashAdvice::MediaEngine                     ? g_prepared.mediaAdvice
                                                                 : nullptr;
    if (adviceText && formatAdvice(text, size, adviceText, g_state.faultingModule))
        return;
    const std::size_t length = std::strlen(g_prepared.general);
    std::memcpy(text, g_prepared.general, length + 1); // fits: both buffers hold kTextSize
}

void crashHandler(int signalNumber, siginfo_t *info, void *context)
{
    // One report per process. Another thread that crashes meanwhile waits
    // here until the first one ends the process. Should the handler itself
    // fail on this thread, the process dies of that signal as if no handler
    // were installed.
    const long self = syscall(SYS_gettid);
    long expected = 0;
    if (!g_handlingThread.compare_exchange_strong(expected, self)) {
        if (expected == self) {
            struct sigaction fallback;
            std::memset(&fallback, 0, sizeof fallback);
            fallback.sa_handler = SIG_DFL;
            sigaction(signalNumber, &fallback, nullptr);
            sigset_t only;
            sigemptyset(&only);
            sigaddset(&only, signalNumber);
            sigprocmask(SIG_UNBLOCK, &only, nullptr);
            raise(signalNumber);
        }
        for (;;)
            pause();
    }

    struct timespec now = {0, 0};
    clock_gettime(CLOCK_REALTIME, &now);
    const CrashTime time = g_prepared.clock.localTime(now.tv_sec);

    snapshotMaps();
    const Registers registers = registersOf(context);
    moduleNameAt(registers.pc, g_state.faultingModule, sizeof g_state.faultingModule);
    walkFrames(registers.framePointer);

    const bool named =
        formatDumpFileName(g_state.dumpFileName, sizeof g_state.dumpFileName, g_prepared.baseName, time,
                           g_prepared.version)
        != 0;
    g_state.dumpPath[0] = '\0';
    if (named) {
        const std::size_t folder = std::strlen(g_prepared.folder);
        std::memcpy(g_state.dumpPath, g_prepared.folder, folder);
        g_state.dumpPath[folder] = '/';
        std::memcpy(g_state.dumpPath + folder + 1, g_state.dumpFileName, std::strlen(g_state.dumpFileName) + 1);
        writeDump(signalNumber, info, context, time);
    }
    if (g_state.mapsFd >= 0)
        close(g_state.mapsFd);

    startReporter();
    chooseMessage();
    showMessage(g_state.textEntry);

    // Not exit(): atexit handlers and static destructors would run on a heap
    // and locks that the crash may have left broken, and could hang or fault
    // again. Everything the program must leave behind is on disk already.
    _exit(0);
}

} // namespace

bool installCrashHandler(const CrashReportSettings &settings)
{
    const std::string program = programFilePath();
    std::string folder;
    std::string baseName;
    std::string version;
    if (!dumpNaming(settings, program, "/", folder, baseName, version))
        return false;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::string messageProgram = settings.messageProgram.empty() ? program : settings.messageProgram;

    Prepared &p = g_prepared;
    const std::string number = std::to_string(settings.reporterNumber);
    const std::string captionEntry = std::string(kCaptionVariable) + "=" + settings.caption;
    // The dump path must fit beside a file name of kNameSize.
    if (!copyInto(p.programPath, sizeof p.programPath, program) || !copyInto(p.folder, sizeof p.folder, folder)
        || !copyInto(p.baseName, sizeof p.baseName, baseName)
        || !copyInto(p.version, sizeof p.version, version)
        || !copyInto(p.reporter, sizeof p.reporter, settings.reporterProgram)
        || !copyInto(p.uploadLocation, sizeof p.uploadLocation, settings.uploadLocation)
        || !copyInto(p.credential, sizeof p.credential, settings.uploadCredential)
        || !copyInto(p.number, sizeof p.number, number)
        || !copyInto(p.renderAdvice, sizeof p.renderAdvice, settings.renderAdviceText)
        || !copyInto(p.mediaAdvice, sizeof p.mediaAdvice, settings.mediaAdviceText)
        || !copyInto(p.general, sizeof p.general, settings.generalText)
        || !copyInto(p.messageProgram, sizeof p.messageProgram, messageProgram)
        || !copyInto(p.captionEntry, sizeof p.captionEntry, captionEntry))
        return false;

    p.clock.prepare(std::time(nullptr));

    if (pipe2(p.probePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        p.probePipe[0] = p.probePipe[1] = -1;

    // The alternate stack serves this (the main) thread, where a runaway
    // recursion of the event loop would overflow; other threads run the
    // handler on their own stacks.
    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    if (sigaltstack(&stack, nullptr) != 0)
        return false;

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = crashHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // While the handler runs, none of the crash signals interrupts it: a fault
    // inside it ends the process instead of entering it again.
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kCrashSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (int signalNumber : kCrashSignals) {
        if (sigaction(signalNumber, &action, nullptr) != 0)
            return false;
    }
    return true;
}

bool takeCrashMessage(std::string &caption, std::string &text)
{
    const char *textValue = std::getenv(kTextVariable);
    if (!textValue)
        return false;
    const char *captionValue = std::getenv(kCaptionVariable);
    caption = captionValue ? captionValue : "";
    text = textValue;
    unsetenv(kCaptionVariable);
    unsetenv(kTextVariable);
    return true;
}

bool logCrashMessage(const std::string &caption, const std::string &text)
{
    const char *path = std::getenv(kMessageLogVariable);
    if (!path || !*path)
        return false;
    const std::string record = caption + "\n" + text + "\n----\n";
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        writeAll(fd, record.data(), record.size());
        close(fd);
    }
    return true;
}

} // namespace kyplatform
