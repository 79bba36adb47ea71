#include "filebrowserwatch.h"

#include "kytestenv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace kytest {

FileBrowserWatch::FileBrowserWatch()
{
    const QString bin = testRoot() + QStringLiteral("/fakebin");
    m_log = testRoot() + QStringLiteral("/opened.txt");
    writeFile(bin + QStringLiteral("/xdg-open"),
              "#!/bin/sh\n"
              "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$0.tmp\"\n"
              "mv \"$0.tmp\" \"" + m_log.toUtf8() + "\"\n");
    QFile::setPermissions(bin + QStringLiteral("/xdg-open"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_oldPath = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ':' + m_oldPath);
}

FileBrowserWatch::~FileBrowserWatch()
{
    qputenv("PATH", m_oldPath);
}

QStringList FileBrowserWatch::opened()
{
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(m_log) && clock.elapsed() < 10000)
        QTest::qWait(20);
    QStringList lines = QString::fromUtf8(readFile(m_log)).split(QLatin1Char('\n'));
    QFile::remove(m_log);
    // "argument count", then one argument a line.
    const int count = lines.value(0).toInt();
    return lines.mid(1, count).size() == count && count > 0 ? lines.mid(1, count) : QStringList{lines.value(0)};
}

} // namespace kytest
