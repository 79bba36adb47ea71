// Another account on the same machine against the two local channels: the
// RPC service the login component reports the push address to, and the
// single-instance channel. It may plant sockets where a shared folder is
// used, connect to ours, or serve in our place; it must never receive a byte
// from us nor get a call through. The other account is user nobody, run by
// foreignpeer.py, so these cases need root.

#include "kytestmain.h"
#include "kylogcapture.h"
#include "kyrpcframes.h"
#include "faultsupport.h"

#include "common/kypaths.h"
#include "livecode/livemgrservice.h"
#include "rpc/rpc.h"

#include <QFileInfo>
#include <QSignalSpy>

#include <memory>

namespace {

constexpr int kTimeout = 10000;
const char16_t kServiceName[] = u"KYLiveMgrService";
const QByteArray kSecretCode = "live_secret_2468";

using kytest::be32;
using kytest::frameOf;

// A hello and a "broadcast_info" call, as raw bytes.
QByteArray helloAndBroadcast()
{
    const QByteArray name = "broadcast_info";
    const QByteArray args = QByteArray("o") + be32(2) + "s" + be32(6) + "rtmp:x" + "s"
        + be32(quint32(kSecretCode.size())) + kSecretCode;
    return kytest::helloFrame() + frameOf(kytest::callPayload(name, 1, args));
}

// Calls "broadcast_info" as the login component does; true when the call went
// through.
bool reportPushCode()
{
    RpcClient client = RpcConnect(kServiceName, kTimeout);
    if (!client)
        return false;
    IRpcArgument *list = RpcArgBegin();
    RpcArgAppend(list, RpcArgFrom("rtmp://127.0.0.1/live"));
    RpcArgAppend(list, RpcArgFrom(kSecretCode.constData()));
    RpcArgEnd(list);
    const bool called = RpcCall(client, "broadcast_info", list, kTimeout);
    RpcArgFree(list);
    RpcDisconnect(client);
    return called;
}

// A folder every account may write to, standing in for /tmp.
QString sharedFolder()
{
    const QString dir = kyfault::freshDir(QStringLiteral("shared"));
    QFile::setPermissions(dir, QFileDevice::Permissions(0x7777));
    return dir;
}

// Makes our socket at `socket` reachable by every account through a name in
// the shared folder, as if it had been made there.
QString exposeSocket(const QString &socket)
{
    const QString exposed = sharedFolder() + QStringLiteral("/exposed.sock");
    if (::link(QFile::encodeName(socket).constData(), QFile::encodeName(exposed).constData()) != 0)
        return QString();
    QFile::setPermissions(exposed, QFileDevice::Permissions(0x7777));
    return exposed;
}

} // namespace

class TestFaultsChannels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusedRuntimeFolderNeverMeansTheSharedOne_data();
    void refusedRuntimeFolderNeverMeansTheSharedOne();
    void serviceRefusesAClientOfAnotherAccount();
    void clientSendsNothingToAServiceOfAnotherAccount();
    void singleInstanceChannelRefusesAnotherAccount();

private:
    QByteArray m_runtime;
    QByteArray m_temp;
};

void TestFaultsChannels::initTestCase()
{
    // The other account must reach the shared folders below the test root
    // (the root itself stays unlistable).
    QFile::setPermissions(kytest::testRoot(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup
                                                  | QFile::ExeOther);
}

void TestFaultsChannels::init()
{
    if (::geteuid() != 0)
        QSKIP("another account can only be played by root");
    m_runtime = qgetenv("XDG_RUNTIME_DIR");
    m_temp = qgetenv("TMPDIR");
}

void TestFaultsChannels::cleanup()
{
    qputenv("XDG_RUNTIME_DIR", m_runtime);
    qputenv("TMPDIR", m_temp);
}

void TestFaultsChannels::refusedRuntimeFolderNeverMeansTheSharedOne_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("runtime folder of another account") << QStringLiteral("foreign");
    QTest::newRow("runtime folder that is a file") << QStringLiteral("file");
}

// Qt refuses $XDG_RUNTIME_DIR; another account has planted a socket under the
// service's name in the shared temporary folder. The login component's call
// must not reach it.
void TestFaultsChannels::refusedRuntimeFolderNeverMeansTheSharedOne()
{
    QFETCH(QString, kind);
    const QString shared = sharedFolder();
    const QString runtime = kytest::testRoot() + QStringLiteral("/refused-runtime-") + kind;
    QFile::remove(runtime);
    QDir(runtime).removeRecursively();
    if (kind == QLatin1String("file")) {
        QVERIFY(kytest::writeFile(runtime, "x"));
    } else {
        QVERIFY(QDir().mkdir(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(kyfault::chownToNobody(runtime));
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("TMPDIR", QFile::encodeName(shared));

    const QString received = kyfault::freshDir(QStringLiteral("received")) + QStringLiteral("/bytes.log");
    kyfault::ForeignServer planted(shared + QStringLiteral("/kyrpc-KYLiveMgrService.sock"), received);
    QVERIFY(planted.waitUntilReady());

    const QString folder = privateRuntimeDir();
    QVERIFY(!folder.isEmpty());
    QVERIFY2(!folder.startsWith(shared) && !folder.startsWith(QDir::tempPath()), qPrintable(folder));
    QVERIFY(!reportPushCode());
    QCOMPARE(kytest::readFile(received), QByteArray());
}

// Our socket reachable by another account (as it was in the shared folder):
// its hello and its call are refused, and no report comes out.
void TestFaultsChannels::serviceRefusesAClientOfAnotherAccount()
{
    kytest::LogCapture log;
    LiveMgrService service;
    service.start();
    QSignalSpy reports(&service, &LiveMgrService::sglBroadcastInfoMsg);
    const QString exposed = exposeSocket(kytest::runtimeDir() + QStringLiteral("/kyrpc-KYLiveMgrService.sock"));
    QVERIFY(!exposed.isEmpty());

    const QString answer = kyfault::connectAsNobody(exposed, helloAndBroadcast());
    QCOMPARE(answer, QString());
    QTest::qWait(200);
    QCOMPARE(reports.size(), 0);
    QVERIFY2(log.text().contains(QStringLiteral("refuses connection")), qPrintable(log.text()));

    // The same bytes from our own account still work.
    QVERIFY(reportPushCode());
    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 1, kTimeout);
    QCOMPARE(reports.first().at(1).toString(), QString::fromLatin1(kSecretCode));
}

// Another account's server sits where our service's socket belongs (no
// service of ours runs): the login component sends it nothing at all.
void TestFaultsChannels::clientSendsNothingToAServiceOfAnotherAccount()
{
    const QString shared = sharedFolder();
    const QString received = kyfault::freshDir(QStringLiteral("received")) + QStringLiteral("/bytes.log");
    kyfault::ForeignServer planted(shared + QStringLiteral("/planted.sock"), received);
    QVERIFY(planted.waitUntilReady());
    const QString ours = kytest::runtimeDir() + QStringLiteral("/kyrpc-KYLiveMgrService.sock");
    QFile::remove(ours);
    QVERIFY(QFile::rename(shared + QStringLiteral("/planted.sock"), ours));

    kytest::LogCapture log;
    QVERIFY(!reportPushCode());
    QTest::qWait(200);
    QCOMPARE(kytest::readFile(received), QByteArray());
    QVERIFY2(log.text().contains(QStringLiteral("refusing service")), qPrintable(log.text()));
    QFile::remove(ours);
}

// The program's own channel: another account's message is not acknowledged,
// and a second start sends nothing to another account's server put in place
// of the first instance's socket.
void TestFaultsChannels::singleInstanceChannelRefusesAnotherAccount()
{
    kyfault::ProgramRun first(kyfault::freshRuntime(QStringLiteral("single")));
    QVERIFY(first.waitUntilListening());
    const QByteArray message = be32(9) + "VURuv_exe";
    const QString exposed = exposeSocket(first.socketPath());
    QVERIFY(!exposed.isEmpty());
    QCOMPARE(kyfault::connectAsNobody(exposed, message), QString());

    const QString shared = sharedFolder();
    const QString received = kyfault::freshDir(QStringLiteral("received")) + QStringLiteral("/bytes.log");
    kyfault::ForeignServer planted(shared + QStringLiteral("/planted.sock"), received);
    QVERIFY(planted.waitUntilReady());
    QVERIFY(QFile::remove(first.socketPath()));
    QVERIFY(QFile::rename(shared + QStringLiteral("/planted.sock"), first.socketPath()));

    kyfault::ProgramRun second(QFileInfo(first.socketPath()).absolutePath());
    QVERIFY(second.process().waitForFinished(30000));
    QCOMPARE(second.process().exitCode(), 1);
    QCOMPARE(kytest::readFile(received), QByteArray());
    QVERIFY(first.stop());
}

KY_TEST_GUILESS_MAIN(TestFaultsChannels)
#include "testfaultschannels.moc"
