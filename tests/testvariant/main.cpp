// VURuv for tests: the shipped entry function plus a crash on request, so a
// test can crash the real program with its window up.

#include "app/kymain.h"

#include <QByteArray>
#include <QTimer>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {
[[noreturn]] void crashNow(const QByteArray &kind)
{
    if (kind == "abort")
        std::abort();
    // A store to the unmapped first page: a real fault, but not the null
    // pointer that the undefined-behaviour checker would catch first.
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int *>(address) = 0;
    std::abort();
}

// KYORO_TEST_CRASH: "abort" aborts, any other value faults, as soon as the
// event loop runs.
void armCrashTrigger(QObject *app)
{
    const QByteArray kind = qgetenv("KYORO_TEST_CRASH");
    if (kind.isEmpty())
        return;
    QTimer::singleShot(0, app, [kind] { crashNow(kind); });
}
} // namespace

int main(int argc, char *argv[])
{
    return kyMain(argc, argv, armCrashTrigger);
}
