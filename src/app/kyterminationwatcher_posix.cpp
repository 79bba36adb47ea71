#include "app/kyterminationwatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The handler only writes one byte into a socket pair; the notifier reads it
// on the GUI thread. Nothing else is safe inside a signal handler.
int s_pipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(s_pipe[0], &byte, 1);
    (void)written;
}

// A signal that comes before the notifier exists stays in the socket pair.
bool catchSignals()
{
    if (s_pipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_pipe) != 0)
            return false;
        ::fcntl(s_pipe[0], F_SETFL, ::fcntl(s_pipe[0], F_GETFL) | O_NONBLOCK);
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return true;
}
} // namespace

void KyTerminationWatcher::catchEarly()
{
    catchSignals();
}

KyTerminationWatcher::KyTerminationWatcher(QObject *parent)
    : QObject(parent)
{
    if (!catchSignals())
        return;
    m_notifier = new QSocketNotifier(s_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this]() {
        char buffer[16];
        while (::read(s_pipe[1], buffer, sizeof buffer) == ssize_t(sizeof buffer)) {
        }
        emit terminationRequested();
    });
}

KyTerminationWatcher::~KyTerminationWatcher()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
