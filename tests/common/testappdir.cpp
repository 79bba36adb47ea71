// The program's folder, asked for before the application object exists (by
// the crash handler) and after.
#include "kytestmain.h"

#include "common/kypaths.h"

#include <QFileInfo>

namespace {
QString g_beforeApplication;
} // namespace

class TestAppDir : public QObject
{
    Q_OBJECT

private slots:
    // Guards against the program file standing in for its folder: the
    // executable's path has backslashes on Windows, and the crash handler,
    // installed before the application object, then looked for dbghelp.dll
    // and wrote its dumps inside "VURuv.exe\", so no dump was ever written.
    void sameFolderBeforeAndAfterTheApplication()
    {
        QCOMPARE(g_beforeApplication, QCoreApplication::applicationDirPath());
        QVERIFY(QFileInfo(g_beforeApplication).isDir());
    }
};

int main(int argc, char *argv[])
{
    g_beforeApplication = appDir();
    return kytest::runTest<QCoreApplication, TestAppDir>(argc, argv);
}
#include "testappdir.moc"
