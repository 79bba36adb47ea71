// Starts a program and prints the milliseconds from its start to the first
// pixels drawn into its first top-level window, as the X server sees them:
// the first damage recorded on a window of at least --min-size pixels on each
// side that was created on the root window after the start. The program
// needs no hook of its own, so the product and its peer are measured alike.
// The program is then asked to end (SIGTERM) and waited for.
//
//   kybench_firstpaint [--min-size N] [--timeout-ms N] -- program [args...]
//
// Prints "firstpaint_ms <ms>"; exit 1 when no paint came within the time.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// A window may be gone before we watch it; that is no reason to stop.
int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

bool waitForExit(pid_t pid, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        usleep(10 * 1000);
    }
    return false;
}

void endChild(pid_t pid)
{
    kill(pid, SIGTERM);
    if (!waitForExit(pid, 10000)) {
        kill(pid, SIGKILL);
        waitForExit(pid, 10000);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    int minSize = 100;
    int timeoutMs = 30000;
    int first = 1;
    for (; first < argc; ++first) {
        if (std::strcmp(argv[first], "--min-size") == 0 && first + 1 < argc)
            minSize = std::atoi(argv[++first]);
        else if (std::strcmp(argv[first], "--timeout-ms") == 0 && first + 1 < argc)
            timeoutMs = std::atoi(argv[++first]);
        else if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        } else
            break;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--min-size N] [--timeout-ms N] -- program [args...]\n", argv[0]);
        return 2;
    }

    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "kybench_firstpaint: cannot open the display\n");
        return 2;
    }
    int damageEvent = 0;
    int damageError = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "kybench_firstpaint: the X server has no DAMAGE extension\n");
        return 2;
    }
    int major = 1;
    int minor = 1;
    XDamageQueryVersion(display, &major, &minor);
    XSetErrorHandler(ignoreXError);
    // Windows created on the root window are reported to us, so damage is
    // watched from before the program can map or draw them.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const double start = nowMs();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 2;
    }
    if (child == 0) {
        close(ConnectionNumber(display));
        execvp(argv[first], argv + first);
        std::perror(argv[first]);
        _exit(127);
    }

    double painted = -1;
    while (painted < 0) {
        while (XPending(display) > 0 && painted < 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == CreateNotify) {
                const XCreateWindowEvent &created = event.xcreatewindow;
                if (created.width >= minSize && created.height >= minSize) {
                    XDamageCreate(display, created.window, XDamageReportNonEmpty);
                    XFlush(display);
                }
            } else if (event.type == damageEvent + XDamageNotify) {
                painted = nowMs();
            }
        }
        if (painted >= 0)
            break;
        const double left = double(timeoutMs) - (nowMs() - start);
        int status = 0;
        if (left <= 0 || waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "kybench_firstpaint: %s\n", left <= 0 ? "no paint in time" : "the program ended before painting");
            endChild(child);
            return 1;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, int(left < 50 ? left + 1 : 50));
    }
    std::printf("firstpaint_ms %.2f\n", painted - start);
    std::fflush(stdout);
    endChild(child);
    XCloseDisplay(display);
    return 0;
}
