// Floods and broken frames against the live code service, written by hand on
// its real socket: it must keep serving the login component, close only the
// offending connections, and keep its log readable.

#include "kytestmain.h"
#include "kylogcapture.h"
#include "kyrpcframes.h"

#include "livecode/livemgrservice.h"
#include "rpc/rpc.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSignalSpy>

#include <memory>
#include <vector>

namespace {

constexpr int kTimeout = 10000;
const char16_t kServiceName[] = u"KYLiveMgrService";

QString socketPath()
{
    return kytest::runtimeDir() + QStringLiteral("/kyrpc-KYLiveMgrService.sock");
}

using kytest::be32;

QByteArray hello()
{
    return kytest::helloFrame();
}

std::unique_ptr<QLocalSocket> rawSocket(bool greet)
{
    return kytest::rawRpcSocket(socketPath(), greet, kTimeout);
}

// The login component's closing call, through the library's client.
bool callClose()
{
    RpcClient client = RpcConnect(kServiceName, kTimeout);
    const bool called = client && RpcCall(client, "liveCodeModuleClose", nullptr, kTimeout);
    RpcDisconnect(client);
    return called;
}

int countLines(const QString &text, const QString &part)
{
    return text.split(QLatin1Char('\n')).filter(part).size();
}

} // namespace

class TestFaultsRpc : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void frameLengthsOutOfBounds_data();
    void frameLengthsOutOfBounds();
    void idleConnectionsNeverLockOutTheComponent();
    void callersGoneIdleNeverLockOutTheComponent();
    void tenThousandSilentConnections();

private:
    std::unique_ptr<LiveMgrService> m_service;
    std::unique_ptr<QSignalSpy> m_closes;
};

void TestFaultsRpc::init()
{
    m_service = std::make_unique<LiveMgrService>();
    m_service->start();
    m_closes = std::make_unique<QSignalSpy>(m_service.get(), &LiveMgrService::sglLiveCodeModuleClose);
}

void TestFaultsRpc::cleanup()
{
    m_closes.reset();
    m_service.reset();
}

void TestFaultsRpc::frameLengthsOutOfBounds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("4 GB length") << hello() + be32(0xffffffffu) + QByteArray(16, 'C');
    QTest::newRow("zero length") << hello() + be32(0);
    QTest::newRow("4 GB length instead of a greeting") << be32(0xffffffffu);
}

// A length the service will not buffer closes that connection at once; a
// connected component keeps working.
void TestFaultsRpc::frameLengthsOutOfBounds()
{
    QFETCH(QByteArray, bytes);
    RpcClient component = RpcConnect(kServiceName, kTimeout);
    QVERIFY(component);
    std::unique_ptr<QLocalSocket> attacker = rawSocket(false);
    QVERIFY(attacker);
    QElapsedTimer clock;
    clock.start();
    attacker->write(bytes);
    QVERIFY(attacker->waitForDisconnected(kTimeout));
    // Closed for the length, not after the stall time.
    QVERIFY(clock.elapsed() < 4000);
    QVERIFY(RpcCall(component, "liveCodeModuleClose", nullptr, kTimeout));
    RpcDisconnect(component);
    QTRY_COMPARE_WITH_TIMEOUT(m_closes->size(), 1, kTimeout);
}

// Another program of the user fills every place with greeted connections
// that never call. The login component still gets in: the longest idle of
// them makes room.
void TestFaultsRpc::idleConnectionsNeverLockOutTheComponent()
{
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(rawSocket(true));
        QVERIFY2(idle.back(), qPrintable(QString::number(i)));
    }
    QTest::qWait(100);
    QVERIFY(callClose());
    QTRY_COMPARE_WITH_TIMEOUT(m_closes->size(), 1, kTimeout);
    // The first (longest idle) one gave up its place.
    QVERIFY(idle.front()->state() == QLocalSocket::UnconnectedState || idle.front()->waitForDisconnected(kTimeout));
    QCOMPARE(idle.back()->state(), QLocalSocket::ConnectedState);

    // A connection that made a call keeps its place whatever comes later.
    RpcClient component = RpcConnect(kServiceName, kTimeout);
    QVERIFY(component);
    QVERIFY(RpcCall(component, "liveCodeModuleClose", nullptr, kTimeout));
    for (int i = 0; i < 70; ++i) {
        idle.push_back(rawSocket(true));
        QVERIFY(idle.back());
    }
    QVERIFY(RpcCall(component, "liveCodeModuleClose", nullptr, kTimeout));
    RpcDisconnect(component);
    QTRY_COMPARE_WITH_TIMEOUT(m_closes->size(), 3, kTimeout);
}

// Another program of the user fills every place with connections that each
// made one call and then sit idle. Before: the login component was refused
// (broken pipe, then reset) for as long as they stayed. The one idle
// longest now makes room.
void TestFaultsRpc::callersGoneIdleNeverLockOutTheComponent()
{
    struct Clients
    {
        std::vector<RpcClient> list;
        ~Clients()
        {
            for (RpcClient client : list)
                RpcDisconnect(client);
        }
    } idle;
    for (int i = 0; i < 64; ++i) {
        idle.list.push_back(RpcConnect(kServiceName, kTimeout));
        QVERIFY2(idle.list.back(), qPrintable(QString::number(i)));
        QVERIFY(RpcCall(idle.list.back(), "liveCodeModuleClose", nullptr, kTimeout));
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_closes->size(), 64, kTimeout);
    QVERIFY(callClose());
    QTRY_COMPARE_WITH_TIMEOUT(m_closes->size(), 65, kTimeout);
}

// 10,000 connections that never say hello, a hundred at a time: the
// component is still served, and the log holds a handful of lines, not
// twenty thousand.
void TestFaultsRpc::tenThousandSilentConnections()
{
    kytest::LogCapture log;
    QElapsedTimer clock;
    clock.start();
    int made = 0;
    for (int batch = 0; batch < 100 && clock.elapsed() < 120000; ++batch) {
        std::vector<std::unique_ptr<QLocalSocket>> sockets;
        for (int i = 0; i < 100; ++i) {
            auto socket = std::make_unique<QLocalSocket>();
            socket->connectToServer(socketPath());
            if (socket->waitForConnected(kTimeout))
                ++made;
            sockets.push_back(std::move(socket));
        }
        for (auto &socket : sockets)
            socket->abort();
    }
    QCOMPARE(made, 10000);
    QVERIFY(callClose());
    QTRY_COMPARE_WITH_TIMEOUT(m_closes->size(), 1, kTimeout);

    // A repeated warning passes ten times per 10 s: the bounds grow with the
    // time the flood took, which a busy machine stretches (one more 10 s
    // window may have begun before it).
    const int windows = int(clock.elapsed() / 10000) + 2;
    const QString text = log.text();
    const int refusals = countLines(text, QStringLiteral("by tq client connect failed"));
    QVERIFY2(refusals >= 1 && refusals <= 10 * windows, qPrintable(QStringLiteral("%1 in %2 s").arg(refusals).arg(clock.elapsed() / 1000)));
    QVERIFY2(countLines(text, QStringLiteral("kyoro.rpc")) <= 20 * windows, qPrintable(text.left(4000)));
}

KY_TEST_GUILESS_MAIN(TestFaultsRpc)
#include "testfaultsrpc.moc"
