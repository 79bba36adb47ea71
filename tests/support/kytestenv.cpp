#include "kytestenv.h"
#include "kytestenv_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdlib>
#include <memory>

namespace kytest {

namespace {
std::unique_ptr<QTemporaryDir> &rootDir()
{
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}
} // namespace

QString subFolder(const QString &name)
{
    return testRoot() + QLatin1Char('/') + name;
}

QString setUpTestEnvironment()
{
    if (rootDir())
        return testRoot();
    rootDir() = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kytest-XXXXXX"));
    const QString root = testRoot();
    setUpSystemFolders(root);
    // Marks every process this test starts, directly or not (see
    // ownprocesses.h); the root folder is unique to the run.
    qputenv("KYTEST_RUN", QFile::encodeName(root));
    // Never the real hosts: a port where nothing listens until a test starts
    // the sandbox server (which points the variable at itself).
    qputenv("KYORO_PLATFORM_URL", "http://127.0.0.1:9");
    return root;
}

QString testRoot()
{
    return rootDir() ? rootDir()->path() : QString();
}

QString sourceDir() { return QStringLiteral(KY_SOURCE_DIR); }
QString binaryDir() { return QStringLiteral(KY_BINARY_DIR); }
QString binDir() { return QStringLiteral(KY_BIN_DIR); }
QString testVariantDir() { return QStringLiteral(KY_TESTVARIANT_DIR); }
QString sandboxDir() { return QStringLiteral(KY_SANDBOX_DIR); }

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace kytest
