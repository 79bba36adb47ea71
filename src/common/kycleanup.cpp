#include "common/kycleanup.h"

#include <QMutex>
#include <QMutexLocker>
#include <vector>

namespace {
QMutex &cleanupMutex()
{
    static QMutex mutex;
    return mutex;
}

std::vector<void (*)()> &cleanups()
{
    static std::vector<void (*)()> list;
    return list;
}
} // namespace

void registerProcessCleanup(void (*cleanup)())
{
    QMutexLocker locker(&cleanupMutex());
    cleanups().push_back(cleanup);
}

void runProcessCleanups()
{
    for (;;) {
        void (*cleanup)() = nullptr;
        {
            QMutexLocker locker(&cleanupMutex());
            if (cleanups().empty())
                return;
            cleanup = cleanups().back();
            cleanups().pop_back();
        }
        // Called without the lock: a teardown may create or release others.
        cleanup();
    }
}
