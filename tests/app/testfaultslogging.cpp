// Another account that owns the shared temporary folder, and a server whose
// answers carry line breaks: neither may write anywhere but our own log, nor
// add lines of its own to it.

#include "kytestmain.h"
#include "faultsupport.h"
#include "sandboxserver.h"

#include "app/kylogmanager.h"
#include "telemetry/kyoropointing.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <unistd.h>

namespace {

const QStringList kDayFiles{QStringLiteral("debug.log"), QStringLiteral("info.log"), QStringLiteral("error.log")};
const QByteArray kVictimText = "export PATH=/usr/bin:/bin\n";

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("MMdd_"));
}

} // namespace

class TestFaultsLogging : public QObject
{
    Q_OBJECT

private slots:
    void plantedLogFolderIsNotWrittenThrough_data();
    void plantedLogFolderIsNotWrittenThrough();
    void serverTextCannotForgeLogLines();
    void controlCharactersAreEscaped_data();
    void controlCharactersAreEscaped();
};

void TestFaultsLogging::plantedLogFolderIsNotWrittenThrough_data()
{
    QTest::addColumn<bool>("foreignOwner");
    QTest::addColumn<bool>("folderIsLink");
    QTest::newRow("another account's folder with linked day files") << true << false;
    QTest::newRow("a link in place of the folder") << false << true;
}

// The shared temporary folder holds "VURuv" made by another account, with
// links named like today's log files leading to the victim's shell start-up
// file (or "VURuv" is itself a link to a folder of the victim's). The program
// starts, logs, and quits: the victim's files stay as they were, and the log
// goes to a private folder beside it, which stderr names.
void TestFaultsLogging::plantedLogFolderIsNotWrittenThrough()
{
    QFETCH(bool, foreignOwner);
    QFETCH(bool, folderIsLink);
    if (foreignOwner && ::geteuid() != 0)
        QSKIP("only root can plant a folder as another account");

    const QString shared = kyfault::freshDir(QStringLiteral("shared-tmp"));
    QFile::setPermissions(shared, QFileDevice::Permissions(0x7777));
    const QString victimHome = kyfault::freshDir(QStringLiteral("victim-home"));
    const QString victim = victimHome + QStringLiteral("/.bashrc");
    QVERIFY(kytest::writeFile(victim, kVictimText));
    const QString planted = shared + QStringLiteral("/VURuv");
    if (folderIsLink) {
        QVERIFY(QFile::link(victimHome, planted));
    } else {
        QVERIFY(QDir().mkdir(planted));
        for (const QString &file : kDayFiles)
            QVERIFY(QFile::link(victim, planted + QLatin1Char('/') + today() + file));
        QVERIFY(kyfault::chownToNobody(planted));
        QFile::setPermissions(planted, QFileDevice::Permissions(0x7777));
    }

    kyfault::ProgramRun run(kyfault::freshRuntime(QStringLiteral("logs")), shared);
    QVERIFY(run.waitUntilListening());
    QVERIFY(run.stop());

    QCOMPARE(kytest::readFile(victim), kVictimText);
    QCOMPARE(QDir(victimHome).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral(".bashrc")});
    const QString beside = shared + QStringLiteral("/VURuv-%1").arg(::geteuid());
    const QFileInfo besideInfo(beside);
    QVERIFY(besideInfo.isDir() && !besideInfo.isSymLink());
    QCOMPARE(int(besideInfo.permissions() & 0x0077), 0);
    // Each start begins with an empty line.
    QVERIFY(kytest::readFile(beside + QLatin1Char('/') + today() + QStringLiteral("info.log")).startsWith("\r\n"));
    QVERIFY2(run.standardError().contains(QStringLiteral("logging to ") + beside), qPrintable(run.standardError()));
}

// The collector answers a refused event with a message that holds a line
// break and a forged log line; the program logs the message as one line.
void TestFaultsLogging::serverTextCannotForgeLogLines()
{
    SandboxServer server;
    QVERIFY(server.start());
    const QString forged = QStringLiteral("[01-01 00:00:00.000]:  Warning: by tq forged line");
    QJsonObject rule;
    rule.insert(QStringLiteral("path"), QStringLiteral("/deliver/lark2"));
    rule.insert(QStringLiteral("body"),
                QStringLiteral("{\"error\":1,\"msg\":\"refused\\r\\n%1\\n\\u001b[2Jcleared\"}").arg(forged));
    QVERIFY(server.addRule(rule));

    QDir(logDirPath()).removeRecursively();
    LogManager::instance().installHandler();
    QSignalSpy handled(KyoroPointing::instance(), &KyoroPointing::sglPointingResultHandled);
    reportEvent(POINTING_CLICK_CUST);
    const bool answered = handled.wait(20000);
    LogManager::instance().uninstallHandler();
    kytest::installTestMessageHandler();
    QVERIFY(answered);

    const QByteArray log = kytest::readFile(logFilePath(QtDebugMsg));
    const QList<QByteArray> lines = log.split('\n');
    QByteArray pointing;
    for (const QByteArray &line : lines) {
        QVERIFY2(!line.startsWith(forged.left(22).toUtf8()), line.constData());
        QVERIFY2(!line.contains('\x1b'), line.constData());
        if (line.contains("Kyoro pointing error"))
            pointing = line;
    }
    QCOMPARE(pointing.right(pointing.size() - pointing.indexOf("by mrwo")),
             "by mrwo, Kyoro pointing error: refused\\r\\n" + forged.toUtf8() + "\\n\\x1b[2Jcleared\r");
}

void TestFaultsLogging::controlCharactersAreEscaped_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("written");
    QTest::newRow("line breaks") << QStringLiteral("a\r\nb\nc\rd") << QStringLiteral("a\\r\\nb\\nc\\rd");
    QTest::newRow("line end at the end") << QStringLiteral("by tq client connect failed\n")
                                         << QStringLiteral("by tq client connect failed");
    QTest::newRow("tab, escape, NUL, DEL") << QStringLiteral("a\tb") + QChar(0x1b) + QStringLiteral("[0m") + QChar(0)
            + QChar(0x7f)
                                           << QStringLiteral("a\\tb\\x1b[0m\\x00\\x7f");
    QTest::newRow("C1 and Unicode line separators") << QString(QChar(0x85)) + QChar(0x2028) + QChar(0x2029)
                                                    << QStringLiteral("\\x85\\u2028\\u2029");
    QTest::newRow("plain text and backslashes stay") << QStringLiteral("调用失败 C:\\x\\n %1")
                                                     << QStringLiteral("调用失败 C:\\x\\n %1");
}

void TestFaultsLogging::controlCharactersAreEscaped()
{
    QFETCH(QString, message);
    QFETCH(QString, written);
    QCOMPARE(escapedLogText(message), written);

    QDir(logDirPath()).removeRecursively();
    logMessageHandler(QtWarningMsg, QMessageLogContext(), message);
    const QByteArray content = kytest::readFile(logFilePath(QtWarningMsg));
    QCOMPARE(content.count('\n'), 1);
    QVERIFY(content.endsWith(" Warning: " + written.toUtf8() + "\r\n"));
}

KY_TEST_MAIN(TestFaultsLogging)
#include "testfaultslogging.moc"
