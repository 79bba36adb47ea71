// The RPC library over its real socket: calls from this process's threads,
// raw bytes from misbehaving clients, and a second process (rpcpeer).

#include "kytestmain.h"
#include "kylogcapture.h"
#include "kyrpcframes.h"
#include "localchannel.h"
#include "rpc/rpc.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMutex>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

namespace {

const char16_t kName[] = u"KyRpcTest";
constexpr int kTimeout = 10000;

QString socketPath()
{
    return kytest::runtimeDir() + QStringLiteral("/kyrpc-KyRpcTest.sock");
}

using kytest::be32;
using kytest::frameOf;

QByteArray hello()
{
    return kytest::helloFrame();
}

QByteArray call(const QByteArray &procedure, int count, const QByteArray &values)
{
    return kytest::callPayload(procedure, count, values);
}

// What the handlers and callbacks saw; written on the service thread.
struct Seen
{
    std::atomic<int> pings{0};
    std::atomic<int> echoes{0};
    std::atomic<int> connected{0};
    std::atomic<int> refused{0};
    std::atomic<int> gone{0};
    std::atomic<RpcAsyncToken> laterToken{0};
    QMutex mutex;
    QStringList texts;
    QList<int> ints;
    QThread *thread = nullptr;
};

void onState(std::uintptr_t, int status, void *context)
{
    auto seen = static_cast<Seen *>(context);
    (status == RPC_CLIENT_CONNECTED ? seen->connected : seen->refused)++;
}

void onGone(std::uintptr_t, void *context)
{
    static_cast<Seen *>(context)->gone++;
}

RpcInstance startService(Seen *seen)
{
    const RpcServiceDesc desc{RPC_SERVICE_DESC_SIZE_32, onState, nullptr, onGone, nullptr};
    RpcInstance instance = RpcCreateInstance(RPC_VERSION_MAJOR, RPC_VERSION_MINOR, &desc, seen);
    RpcRegisterProcedure(instance, "ping", [](void *context, IRpcArgument **, int, RpcAsyncToken token) {
        static_cast<Seen *>(context)->pings++;
        RpcCompleteAsyncProcedure(token, nullptr);
    }, "");
    RpcRegisterProcedure(instance, "echo", [](void *context, IRpcArgument **args, int, RpcAsyncToken token) {
        auto seen = static_cast<Seen *>(context);
        IRpcArgument *list = args[0];
        {
            QMutexLocker locker(&seen->mutex);
            seen->thread = QThread::currentThread();
            seen->texts = QStringList{QString::fromUtf8(list->item(0)->toString()), QString::fromUtf8(list->item(2)->item(0)->toString()),
                           QString::fromUtf8(list->item(9)->toString()), QString::fromUtf8(list->item(0)->item(0)->toString()),
                           QString::fromUtf8(list->item(1)->toString())};
            seen->ints = QList<int>{list->item(1)->toInt(), list->item(2)->item(1)->toInt(), list->item(9)->toInt(),
                          list->item(0)->toInt()};
        }
        seen->echoes++;
        RpcCompleteAsyncProcedure(token, nullptr);
    }, "O");
    RpcRegisterProcedure(instance, "later", [](void *context, IRpcArgument **, int, RpcAsyncToken token) {
        static_cast<Seen *>(context)->laterToken = token;
    }, "S");
    if (!RpcStartService(instance, kName, RPC_SCOPE_USER)) {
        RpcStopService(instance);
        return nullptr;
    }
    return instance;
}

bool ping(RpcClient client)
{
    return RpcCall(client, "ping", nullptr, kTimeout);
}

bool pingFresh()
{
    RpcClient client = RpcConnect(kName, kTimeout);
    const bool ok = client && ping(client);
    RpcDisconnect(client);
    return ok;
}

// A connected socket that has been welcomed (or not, when greet is false).
std::unique_ptr<QLocalSocket> rawSocket(bool greet)
{
    return kytest::rawRpcSocket(socketPath(), greet, kTimeout);
}

} // namespace

class TestRpc : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valuesArriveIntactOnTheServiceThread();
    void refusedCallsCloseOnlyTheirConnection_data();
    void refusedCallsCloseOnlyTheirConnection();
    void brokenFramesCloseOnlyTheirConnection_data();
    void brokenFramesCloseOnlyTheirConnection();
    void splitAndAbandonedFrames();
    void manyConnectionsAtOnce();
    void stalledConnectionsAreDropped();
    void completionLaterFromAnotherThread();
    void connectionCallbacks();
    void namesAreExclusiveAcrossProcesses();
    void socketIsPrivateAndGoesWithTheService();
    void argumentOwnership();

private:
    std::unique_ptr<Seen> m_seen;
    RpcInstance m_instance = nullptr;
};

void TestRpc::init()
{
    m_seen = std::make_unique<Seen>();
    m_instance = startService(m_seen.get());
    QVERIFY(m_instance);
}

void TestRpc::cleanup()
{
    if (m_instance)
        QVERIFY(RpcStopService(m_instance));
    m_instance = nullptr;
}

void TestRpc::valuesArriveIntactOnTheServiceThread()
{
    RpcClient client = RpcConnect(kName, kTimeout);
    QVERIFY(client);
    IRpcArgument *list = RpcArgBegin();
    RpcArgAppend(list, RpcArgFrom("推流 rtmp://127.0.0.1/live"));
    RpcArgAppend(list, RpcArgFromInt(-2147483647 - 1));
    IRpcArgument *inner = RpcArgBegin();
    RpcArgAppend(inner, RpcArgFrom(""));
    RpcArgAppend(inner, RpcArgFromInt(7));
    RpcArgEnd(inner);
    RpcArgAppend(list, inner);
    RpcArgEnd(list);
    QVERIFY(RpcCall(client, "echo", list, kTimeout));
    RpcArgFree(list);
    RpcDisconnect(client);

    QMutexLocker locker(&m_seen->mutex);
    QVERIFY(m_seen->thread && m_seen->thread != QThread::currentThread());
    // Reads past the end or of the wrong kind give "" and 0.
    QCOMPARE(m_seen->texts, QStringList({QStringLiteral("推流 rtmp://127.0.0.1/live"), QString(), QString(), QString(), QString()}));
    QCOMPARE(m_seen->ints, QList<int>({-2147483647 - 1, 7, 0, 0}));
}

void TestRpc::refusedCallsCloseOnlyTheirConnection_data()
{
    QTest::addColumn<QByteArray>("procedure");
    QTest::addColumn<int>("argument"); // 0 none, 1 list, 2 string, 3 integer
    QTest::addColumn<QString>("reason");

    QTest::newRow("unknown procedure") << QByteArray("nosuch") << 1 << QStringLiteral("unknown procedure");
    QTest::newRow("a list where none is taken") << QByteArray("ping") << 1 << QStringLiteral("wrong arguments");
    QTest::newRow("nothing where a list is taken") << QByteArray("echo") << 0 << QStringLiteral("wrong arguments");
    QTest::newRow("a string where a list is taken") << QByteArray("echo") << 2 << QStringLiteral("wrong arguments");
    QTest::newRow("an integer where a list is taken") << QByteArray("echo") << 3 << QStringLiteral("wrong arguments");
}

void TestRpc::refusedCallsCloseOnlyTheirConnection()
{
    QFETCH(QByteArray, procedure);
    QFETCH(int, argument);
    QFETCH(QString, reason);

    kytest::LogCapture log;
    RpcClient bystander = RpcConnect(kName, kTimeout);
    RpcClient client = RpcConnect(kName, kTimeout);
    QVERIFY(bystander && client);
    IRpcArgument *value = nullptr;
    if (argument == 1) {
        value = RpcArgBegin();
        RpcArgEnd(value);
    } else if (argument == 2) {
        value = RpcArgFrom("x");
    } else if (argument == 3) {
        value = RpcArgFromInt(1);
    }
    QVERIFY(!RpcCall(client, procedure.constData(), value, kTimeout));
    RpcArgFree(value);
    QVERIFY(!ping(client));
    QCOMPARE(m_seen->pings.load() + m_seen->echoes.load(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(log.text().contains(QStringLiteral("closes connection 2 : ") + reason), kTimeout);

    QVERIFY(ping(bystander));
    QVERIFY(pingFresh());
    RpcDisconnect(client);
    RpcDisconnect(bystander);
}

void TestRpc::brokenFramesCloseOnlyTheirConnection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");

    QByteArray deep;
    for (int i = 0; i < 20; ++i)
        deep += QByteArray("o") + be32(1);
    deep += QByteArray("i") + be32(1);

    QTest::newRow("text instead of a greeting") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n") << QStringLiteral("frame length out of bounds");
    QTest::newRow("call before the greeting") << frameOf(call("ping", 0, {})) << QStringLiteral("bad greeting");
    QTest::newRow("second greeting") << hello() + hello() << QStringLiteral("unexpected frame");
    QTest::newRow("oversized frame") << hello() + be32(1024 * 1024 + 1) + QByteArray(64, 'x') << QStringLiteral("frame length out of bounds");
    QTest::newRow("empty frame") << hello() + be32(0) << QStringLiteral("frame length out of bounds");
    QTest::newRow("unknown kind") << hello() + frameOf("X") << QStringLiteral("unexpected frame");
    QTest::newRow("truncated call") << hello() + frameOf(QByteArray("C") + be32(1) + char(0)) << QStringLiteral("malformed call");
    QTest::newRow("trailing bytes") << hello() + frameOf(call("ping", 0, {}) + 'x') << QStringLiteral("trailing bytes");
    QTest::newRow("zero byte in a string") << hello() + frameOf(call("echo", 1, QByteArray("o") + be32(1) + "s" + be32(3) + QByteArray("a\0b", 3))) << QStringLiteral("malformed argument");
    QTest::newRow("string longer than the frame") << hello() + frameOf(call("echo", 1, QByteArray("o") + be32(1) + "s" + be32(1000) + "ab")) << QStringLiteral("malformed argument");
    QTest::newRow("item count beyond the frame") << hello() + frameOf(call("echo", 1, QByteArray("o") + be32(0xffffffff))) << QStringLiteral("malformed argument");
    QTest::newRow("lists nested too deep") << hello() + frameOf(call("echo", 1, deep)) << QStringLiteral("malformed argument");
    QTest::newRow("unknown value tag") << hello() + frameOf(call("echo", 1, QByteArray("f") + be32(1))) << QStringLiteral("malformed argument");
}

void TestRpc::brokenFramesCloseOnlyTheirConnection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);

    kytest::LogCapture log;
    RpcClient bystander = RpcConnect(kName, kTimeout);
    QVERIFY(bystander);
    std::unique_ptr<QLocalSocket> socket = rawSocket(false);
    QVERIFY(socket);
    socket->write(bytes);
    QVERIFY(socket->waitForDisconnected(kTimeout));
    QCOMPARE(m_seen->pings.load() + m_seen->echoes.load(), 0);
    // Closed for that reason, not because the frame timed out.
    QTRY_VERIFY_WITH_TIMEOUT(log.text().contains(QStringLiteral("kyoro.rpc: service KyRpcTest closes connection 2 : ") + reason),
                             kTimeout);

    QVERIFY(ping(bystander));
    QVERIFY(pingFresh());
    RpcDisconnect(bystander);
}

void TestRpc::splitAndAbandonedFrames()
{
    // A frame split anywhere still makes a call: each frame goes in two
    // writes with a pause between, once for every place it can be split. (A
    // frame sent byte after byte could outlast the service's bound on an
    // unfinished frame on a busy machine.)
    // Each part is on its way before the next is written: a write issued
    // while a pipe still carries the one before waits in the socket's buffer
    // (Windows) for as long as the test does not wait on the socket.
    const auto sendSplit = [](QLocalSocket &socket, const QByteArray &frame, int at) {
        socket.write(frame.left(at));
        socket.waitForBytesWritten(kTimeout);
        QThread::msleep(2);
        socket.write(frame.mid(at));
        socket.waitForBytesWritten(kTimeout);
    };
    const auto answer = [](QLocalSocket &socket, int size) {
        QByteArray read;
        while (read.size() < size && socket.waitForReadyRead(kTimeout))
            read += socket.readAll();
        return read;
    };
    const QByteArray welcome = frameOf("W\x01");
    const int greeters = hello().size() - 1;
    for (int at = 1; at <= greeters; ++at) {
        std::unique_ptr<QLocalSocket> greeter = rawSocket(false);
        QVERIFY(greeter);
        sendSplit(*greeter, hello(), at);
        QCOMPARE(answer(*greeter, welcome.size()), welcome);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_seen->gone.load(), greeters, kTimeout);
    std::unique_ptr<QLocalSocket> slow = rawSocket(true);
    QVERIFY(slow);
    const QByteArray ping = frameOf(call("ping", 0, {}));
    const QByteArray done = frameOf(QByteArray("D") + be32(1));
    for (int at = 1; at < ping.size(); ++at) {
        sendSplit(*slow, ping, at);
        QCOMPARE(answer(*slow, done.size()), done);
    }
    QCOMPARE(m_seen->pings.load(), ping.size() - 1);

    // A client that leaves in the middle of a frame.
    std::unique_ptr<QLocalSocket> quitter = rawSocket(true);
    QVERIFY(quitter);
    const QByteArray half = frameOf(call("ping", 0, {})).left(7);
    quitter->write(half);
    quitter->flush();
    quitter->abort();
    QTRY_COMPARE_WITH_TIMEOUT(m_seen->gone.load(), greeters + 1, kTimeout);
    QVERIFY(pingFresh());
    QCOMPARE(m_seen->pings.load(), ping.size());
}

void TestRpc::manyConnectionsAtOnce()
{
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(rawSocket(true));
        QVERIFY(idle.back());
    }
    std::atomic<int> failures{0};
    std::vector<std::unique_ptr<QThread>> callers;
    for (int i = 0; i < 8; ++i) {
        callers.emplace_back(QThread::create([&failures]() {
            RpcClient client = RpcConnect(kName, kTimeout);
            for (int n = 0; n < 5; ++n) {
                if (!client || !ping(client))
                    failures++;
            }
            RpcDisconnect(client);
        }));
        callers.back()->start();
    }
    for (auto &caller : callers)
        QVERIFY(caller->wait(2 * kTimeout));
    QCOMPARE(failures.load(), 0);
    QCOMPARE(m_seen->pings.load(), 40);
    idle.clear();
    QVERIFY(pingFresh());
}

void TestRpc::stalledConnectionsAreDropped()
{
    // A frame that never completes, and a connection that never greets, do
    // not hold their place for ever.
    std::unique_ptr<QLocalSocket> stalled = rawSocket(true);
    std::unique_ptr<QLocalSocket> silent = rawSocket(false);
    QVERIFY(stalled && silent);
    stalled->write(be32(10) + "C");
    stalled->flush();
    QVERIFY(stalled->waitForDisconnected(kTimeout));
    QVERIFY(silent->state() == QLocalSocket::UnconnectedState || silent->waitForDisconnected(kTimeout));
    QVERIFY(pingFresh());
}

void TestRpc::completionLaterFromAnotherThread()
{
    RpcClient client = RpcConnect(kName, kTimeout);
    QVERIFY(client);
    std::unique_ptr<QThread> completer(QThread::create([this]() {
        while (!m_seen->laterToken.load())
            QThread::msleep(5);
        QThread::msleep(100);
        RpcCompleteAsyncProcedure(m_seen->laterToken.load(), nullptr);
    }));
    completer->start();
    QElapsedTimer clock;
    clock.start();
    IRpcArgument *text = RpcArgFrom("x");
    QVERIFY(RpcCall(client, "later", text, kTimeout));
    QVERIFY(clock.elapsed() >= 100);
    QVERIFY(completer->wait(kTimeout));
    // A token completes once.
    QVERIFY(!RpcCompleteAsyncProcedure(m_seen->laterToken.load(), nullptr));

    // A call whose client has gone can no longer be completed.
    m_seen->laterToken = 0;
    QVERIFY(!RpcCall(client, "later", text, 200));
    RpcArgFree(text);
    const RpcAsyncToken orphan = m_seen->laterToken.load();
    QVERIFY(orphan);
    RpcDisconnect(client);
    QTRY_COMPARE_WITH_TIMEOUT(m_seen->gone.load(), 1, kTimeout);
    QVERIFY(!RpcCompleteAsyncProcedure(orphan, nullptr));
    QVERIFY(pingFresh());
}

void TestRpc::connectionCallbacks()
{
    RpcClient client = RpcConnect(kName, kTimeout);
    QVERIFY(client);
    QTRY_COMPARE_WITH_TIMEOUT(m_seen->connected.load(), 1, kTimeout);
    RpcDisconnect(client);
    QTRY_COMPARE_WITH_TIMEOUT(m_seen->gone.load(), 1, kTimeout);

    std::unique_ptr<QLocalSocket> stranger = rawSocket(false);
    QVERIFY(stranger);
    stranger->write(frameOf("HKYRPC\x02"));
    QVERIFY(stranger->waitForDisconnected(kTimeout));
    QTRY_COMPARE_WITH_TIMEOUT(m_seen->refused.load(), 1, kTimeout);
    QCOMPARE(m_seen->connected.load(), 1);
    QCOMPARE(m_seen->gone.load(), 1);
}

void TestRpc::namesAreExclusiveAcrossProcesses()
{
    // Within this process.
    Seen other;
    QVERIFY(!startService(&other));
    QVERIFY(pingFresh());

    // Another process may not take the name over while it is served.
    QProcess peer;
    peer.start(QStringLiteral(KY_RPCPEER), {QStringLiteral("serve"), QStringLiteral("KyRpcTest")});
    QVERIFY(peer.waitForFinished(kTimeout));
    QCOMPARE(peer.readAllStandardOutput().trimmed(), QByteArray("refused"));
    QVERIFY(pingFresh());
    QCOMPARE(m_seen->pings.load(), 2);

    // Nor may this process while the other one serves.
    QVERIFY(RpcStopService(m_instance));
    m_instance = nullptr;
    peer.start(QStringLiteral(KY_RPCPEER), {QStringLiteral("serve"), QStringLiteral("KyRpcTest")});
    QVERIFY(peer.waitForReadyRead(kTimeout));
    QCOMPARE(peer.readAllStandardOutput().trimmed(), QByteArray("serving"));
    QVERIFY(!startService(m_seen.get()));
    QVERIFY(pingFresh());
    QCOMPARE(m_seen->pings.load(), 2);

    // A peer that died leaves its lock (and on Linux its socket file)
    // behind; they are stale.
    peer.kill();
    QVERIFY(peer.waitForFinished(kTimeout));
    QVERIFY(QFileInfo::exists(kytest::runtimeDir() + QStringLiteral("/kyrpc-KyRpcTest.lock")));
    m_instance = startService(m_seen.get());
    QVERIFY(m_instance);
    QVERIFY(pingFresh());
    QCOMPARE(m_seen->pings.load(), 3);
}

void TestRpc::socketIsPrivateAndGoesWithTheService()
{
    QString problem;
    QVERIFY2(kytest::localChannelIsPrivate(socketPath(), problem), qPrintable(problem));

    RpcClient client = RpcConnect(kName, kTimeout);
    QVERIFY(client);
    QVERIFY(RpcStopService(m_instance));
    m_instance = nullptr;
    QVERIFY(!kytest::localChannelExists(socketPath()));
    QVERIFY(!ping(client));
    RpcDisconnect(client);
    QVERIFY(!RpcConnect(kName, 1000));

    // Names that are not plain words never reach the file system.
    Seen seen;
    RpcInstance instance = RpcCreateInstance(RPC_VERSION_MAJOR, RPC_VERSION_MINOR, nullptr, &seen);
    QVERIFY(instance);
    QVERIFY(!RpcStartService(instance, u"../KyRpcTest", RPC_SCOPE_USER));
    QVERIFY(!RpcStartService(instance, u"a/b", RPC_SCOPE_USER));
    QVERIFY(!RpcStartService(instance, u"", RPC_SCOPE_USER));
    QVERIFY(RpcStartService(instance, kName, RPC_SCOPE_USER));
    QVERIFY(!RpcStartService(instance, kName, RPC_SCOPE_USER));
    QVERIFY(RpcStopService(instance));
}

void TestRpc::argumentOwnership()
{
    IRpcArgument *list = RpcArgBegin();
    IRpcArgument *item = RpcArgFrom("x");
    QVERIFY(RpcArgAppend(list, item));
    QVERIFY(!RpcArgAppend(list, item));   // already owned by the list
    RpcArgFree(item);                     // freed with the list, not here
    IRpcArgument *open = RpcArgBegin();
    QVERIFY(!RpcArgAppend(list, open));   // an unfinished list is no item
    RpcClient client = RpcConnect(kName, kTimeout);
    QVERIFY(!RpcCall(client, "echo", list, kTimeout)); // not finished either
    QVERIFY(RpcArgEnd(list));
    IRpcArgument *late = RpcArgFromInt(1);
    QVERIFY(!RpcArgAppend(list, late));   // the list is closed
    RpcArgFree(late);
    QVERIFY(!RpcArgEnd(list));
    QVERIFY(RpcCall(client, "echo", list, kTimeout));
    RpcDisconnect(client);
    RpcArgFree(list);
    RpcArgFree(open);
    RpcArgFree(nullptr);
}

KY_TEST_GUILESS_MAIN(TestRpc)
#include "testrpc.moc"
