// Latency of "broadcast_info" from a client process to the listener's signal
// on the GUI thread, against a bare local-socket round trip between the same
// two processes.
//
// The measuring process builds the logic hub as the program does, registers a
// UILogicListener and spawns itself as the client. Each call carries the
// client's monotonic clock reading (CLOCK_MONOTONIC is one clock for all
// processes of the machine) as its live code; the listener's signal takes the
// difference on the GUI thread, then tells the client to send the next call,
// so calls never queue behind each other. The bare round trip: the client
// writes a frame of the same size to a QLocalServer on the measuring process's
// GUI thread, which writes it straight back.
//
// On a shared machine the tail of either figure is set by whoever else runs at
// that moment, so the two are measured in alternating blocks of calls and
// every block's samples pooled: both see the same load.
//
//   kybench_rpc [--calls N] [--warmup N]
//
// Prints "rpc_median_us A rpc_p99_us B echo_median_us C echo_p99_us D calls N".
#include "benchenv.h"

#include "common/kycleanup.h"
#include "logic/kylogicfw.h"
#include "logic/uilogiclistener.h"
#include "rpc/rpc.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const char16_t kServiceName[] = u"KYLiveMgrService";
const char kPushUrl[] = "rtmp://127.0.0.1:1935/live";
// About the size of a "broadcast_info" call frame.
const int kEchoBytes = 96;

struct Stats
{
    double medianUs = 0;
    double p99Us = 0;
};

Stats statsOf(const std::vector<double> &samplesNs)
{
    return {kybench::percentile(samplesNs, 0.5) / 1e3, kybench::percentile(samplesNs, 0.99) / 1e3};
}

// ---- the client process ---------------------------------------------------

bool waitForGo()
{
    char line[16];
    return std::fgets(line, sizeof(line), stdin) != nullptr;
}

int runRpcClient(int total)
{
    RpcClient client = RpcConnect(kServiceName, 5000);
    if (!client) {
        std::fprintf(stderr, "kybench_rpc: the service does not answer\n");
        return 1;
    }
    for (int i = 0; i < total; ++i) {
        const std::string sent = std::to_string(kybench::monotonicNs());
        IRpcArgument *argument = RpcArgBegin();
        RpcArgAppend(argument, RpcArgFrom(kPushUrl));
        RpcArgAppend(argument, RpcArgFrom(sent.c_str()));
        RpcArgEnd(argument);
        const bool called = RpcCall(client, "broadcast_info", argument, 5000);
        RpcArgFree(argument);
        if (!called || !waitForGo()) {
            std::fprintf(stderr, "kybench_rpc: call %d failed\n", i);
            RpcDisconnect(client);
            return 1;
        }
    }
    RpcDisconnect(client);
    return 0;
}

int runEchoClient(int warmup, int calls, const QString &server)
{
    QLocalSocket socket;
    socket.connectToServer(server);
    if (!socket.waitForConnected(5000)) {
        std::fprintf(stderr, "kybench_rpc: no echo server\n");
        return 1;
    }
    const QByteArray message(kEchoBytes, 'x');
    std::vector<double> samples;
    samples.reserve(size_t(calls));
    for (int i = 0; i < warmup + calls; ++i) {
        const std::int64_t sent = kybench::monotonicNs();
        socket.write(message);
        while (socket.bytesToWrite() > 0) {
            if (!socket.waitForBytesWritten(5000))
                return 1;
        }
        qint64 received = 0;
        while (received < kEchoBytes) {
            if (socket.bytesAvailable() <= 0 && !socket.waitForReadyRead(5000))
                return 1;
            received += socket.read(kEchoBytes - received).size();
        }
        if (i >= warmup)
            samples.push_back(double(kybench::monotonicNs() - sent));
    }
    for (const double sample : samples)
        std::printf("%.0f\n", sample);
    return 0;
}

// ---- the measuring process ------------------------------------------------

// Echoes every byte it receives, at once.
class EchoServer : public QObject
{
public:
    bool listen(const QString &name)
    {
        QLocalServer::removeServer(name);
        connect(&m_server, &QLocalServer::newConnection, this, [this]() {
            while (QLocalSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, socket, [socket]() {
                    socket->write(socket->readAll());
                    socket->flush();
                });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        return m_server.listen(name);
    }

private:
    QLocalServer m_server;
};

// Ends a client that stopped answering, so the run fails instead of hanging.
void watch(QProcess &client, QEventLoop &loop)
{
    QTimer::singleShot(std::chrono::minutes(3), &loop, [&client]() {
        std::fprintf(stderr, "kybench_rpc: the client did not finish in time\n");
        client.kill();
    });
}

// Runs one client process to its end; false when it failed or hung.
bool runClient(QProcess &client, const QStringList &arguments)
{
    QEventLoop loop;
    QObject::connect(&client, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(QCoreApplication::applicationFilePath(), arguments);
    watch(client, loop);
    loop.exec();
    return client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
}

int measure(int warmup, int calls)
{
    EchoServer echo;
    const QString echoName = QDir::tempPath() + QStringLiteral("/kybench-echo-%1").arg(QCoreApplication::applicationPid());
    if (!echo.listen(echoName)) {
        std::fprintf(stderr, "kybench_rpc: cannot listen on %s\n", qPrintable(echoName));
        return 1;
    }

    // The hub as the program builds it, with a listener registered.
    KyLogicFW *hub = KyLogicFW::instance();
    hub->initialize();
    UILogicListener listener;
    hub->setListener(&listener);

    constexpr int kBlocks = 20;
    const int perBlock = std::max(1, calls / kBlocks);
    const int blockWarmup = std::max(1, warmup / kBlocks);
    std::vector<double> rpcSamples;
    std::vector<double> echoSamples;
    rpcSamples.reserve(size_t(calls));
    echoSamples.reserve(size_t(calls));

    QProcess *rpcClient = nullptr;
    int received = 0;
    QObject::connect(&listener, &UILogicListener::sglBroadcastInfoMsg, [&](const QString &, const QString &code) {
        const std::int64_t arrived = kybench::monotonicNs();
        if (received++ >= blockWarmup)
            rpcSamples.push_back(double(arrived - code.toLongLong()));
        if (rpcClient)
            rpcClient->write("\n");
    });

    for (int block = 0; block < kBlocks; ++block) {
        QProcess echoClient;
        if (!runClient(echoClient, {QStringLiteral("--echo-client"), QString::number(blockWarmup),
                                    QString::number(perBlock), echoName})) {
            std::fprintf(stderr, "kybench_rpc: the echo client failed\n");
            return 1;
        }
        const QList<QByteArray> lines = echoClient.readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            if (!line.isEmpty())
                echoSamples.push_back(line.toDouble());
        }

        QProcess client;
        rpcClient = &client;
        received = 0;
        const bool ok = runClient(client, {QStringLiteral("--rpc-client"), QString::number(blockWarmup + perBlock)});
        rpcClient = nullptr;
        if (!ok || received != blockWarmup + perBlock) {
            std::fprintf(stderr, "kybench_rpc: the rpc client failed after %d calls\n", received);
            return 1;
        }
    }
    hub->setListener(nullptr);
    if (rpcSamples.size() != echoSamples.size()) {
        std::fprintf(stderr, "kybench_rpc: %zu rpc samples against %zu echo samples\n", rpcSamples.size(),
                     echoSamples.size());
        return 1;
    }

    const Stats rpc = statsOf(rpcSamples);
    const Stats bare = statsOf(echoSamples);
    std::printf("rpc_median_us %.3f rpc_p99_us %.3f echo_median_us %.3f echo_p99_us %.3f calls %zu\n", rpc.medianUs,
                rpc.p99Us, bare.medianUs, bare.p99Us, rpcSamples.size());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("KYORO_PLATFORM_URL"))
        qputenv("KYORO_PLATFORM_URL", "http://127.0.0.1:9");
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QStringLiteral("--rpc-client"))
        return runRpcClient(args.value(2).toInt());
    if (args.value(1) == QStringLiteral("--echo-client"))
        return runEchoClient(args.value(2).toInt(), args.value(3).toInt(), args.value(4));

    int calls = 10000;
    int warmup = 500;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QStringLiteral("--calls"))
            calls = args.at(++i).toInt();
        else if (args.at(i) == QStringLiteral("--warmup"))
            warmup = args.at(++i).toInt();
    }
    const int result = measure(warmup, calls);
    runProcessCleanups();
    return result;
}
