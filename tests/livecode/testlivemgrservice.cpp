// LiveMgrService with the sandbox login component as the calling process.

#include "kytestmain.h"
#include "kylogcapture.h"
#include "localchannel.h"
#include "sandboxserver.h"
#include "livecode/livemgrservice.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSemaphore>
#include <QThread>

#include <quazip/JlCompress.h>

#include <atomic>
#include <memory>

namespace {

constexpr int kTimeout = 30000;
const QString kModuleDownload = QStringLiteral("/client_download/VURuv/files/ModuleDownload/");

// Runs the component with a script; its exit code, or -1 when it did not end.
int runComponent(const QString &program, const QString &script, const QString &platformUrl = QString())
{
    QProcess component;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KYORO_LIVECODE_SCRIPT"), script);
    if (!platformUrl.isEmpty())
        environment.insert(QStringLiteral("KYORO_PLATFORM_URL"), platformUrl);
    component.setProcessEnvironment(environment);
    component.setProcessChannelMode(QProcess::ForwardedChannels);
    component.start(program, {QStringLiteral("-KYLiveMgr")});
    // The replies reach this thread's receivers through the event loop, which
    // keeps running while we wait.
    QElapsedTimer clock;
    clock.start();
    while (component.state() != QProcess::NotRunning && clock.elapsed() < kTimeout)
        QTest::qWait(20);
    if (component.state() != QProcess::NotRunning) {
        component.kill();
        component.waitForFinished();
        return -1;
    }
    return component.exitStatus() == QProcess::NormalExit ? component.exitCode() : -1;
}

// Records each signal, in order, as seen by a receiver on this thread.
class Receiver : public QObject
{
public:
    explicit Receiver(LiveMgrService &service)
    {
        connect(&service, &LiveMgrService::sglBroadcastInfoMsg, this, [this](QString url, QString code) {
            record(QStringLiteral("broadcast|") + url + QLatin1Char('|') + code);
        });
        connect(&service, &LiveMgrService::sglOpenLiveRoomResult, this, [this](int res, QString msg) {
            record(QStringLiteral("room|") + QString::number(res) + QLatin1Char('|') + msg);
        });
        connect(&service, &LiveMgrService::sglLiveCodeModuleClose, this, [this]() { record(QStringLiteral("close")); });
        // Where the service emits: on the library's thread, not this one.
        const auto note = [this]() {
            if (QThread::currentThread() == thread())
                emittedOnGuiThread = true;
        };
        connect(&service, &LiveMgrService::sglBroadcastInfoMsg, this, note, Qt::DirectConnection);
        connect(&service, &LiveMgrService::sglOpenLiveRoomResult, this, note, Qt::DirectConnection);
        connect(&service, &LiveMgrService::sglLiveCodeModuleClose, this, note, Qt::DirectConnection);
    }

    QStringList events;
    bool receivedOffGuiThread = false;
    std::atomic<bool> emittedOnGuiThread{false};

private:
    void record(const QString &event)
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            receivedOffGuiThread = true;
        events << event;
    }
};

} // namespace

class TestLiveMgrService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void reportsReachTheGuiThread_data();
    void reportsReachTheGuiThread();
    void callerIsReleasedBeforeTheSignal_data();
    void callerIsReleasedBeforeTheSignal();
    void secondStartKeepsTheOneService();
    void neverStartedServiceMakesNoLibraryCall();
    void refusedClientIsLogged();
    void packagedComponentRunsFromItsFolder();

private:
    std::unique_ptr<kytest::LogCapture> m_log;
};

void TestLiveMgrService::initTestCase()
{
    m_log = std::make_unique<kytest::LogCapture>();
}

void TestLiveMgrService::cleanupTestCase()
{
    m_log.reset();
}

void TestLiveMgrService::init()
{
    m_log->take();
}

void TestLiveMgrService::reportsReachTheGuiThread_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("platformUrl");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("address, code, close")
        << QStringLiteral("broadcast:rtmp://127.0.0.1/live,live_42;close") << QString()
        << QStringList{QStringLiteral("broadcast|rtmp://127.0.0.1/live|live_42"), QStringLiteral("close")};
    QTest::newRow("empty live code")
        << QStringLiteral("broadcast:rtmp://127.0.0.1/live,;exit") << QString()
        << QStringList{QStringLiteral("broadcast|rtmp://127.0.0.1/live|")};
    QTest::newRow("room failure in Chinese, then an address")
        << QStringLiteral("room_fail:-3,直播间未开通，请先完成实名认证 ✓;broadcast:rtmp://h/live?a=1,b;close") << QString()
        << QStringList{QStringLiteral("room|-3|直播间未开通，请先完成实名认证 ✓"), QStringLiteral("broadcast|rtmp://h/live?a=1|b"),
                       QStringLiteral("close")};
    QTest::newRow("sandbox address by default")
        << QStringLiteral("broadcast") << QStringLiteral("http://localhost:8765")
        << QStringList{QStringLiteral("broadcast|rtmp://localhost/live|live_sandbox")};
}

void TestLiveMgrService::reportsReachTheGuiThread()
{
    QFETCH(QString, script);
    QFETCH(QString, platformUrl);
    QFETCH(QStringList, expected);

    LiveMgrService service;
    Receiver receiver(service);
    service.start();
    QCOMPARE(runComponent(QStringLiteral(KY_LIVECODE_EXE), script, platformUrl), 0);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.events, expected, kTimeout);
    QVERIFY(!receiver.receivedOffGuiThread);
    QVERIFY(!receiver.emittedOnGuiThread);
    QVERIFY(!m_log->take().join(QLatin1Char('\n')).contains(QLatin1String("by tq client connect failed")));
}

void TestLiveMgrService::callerIsReleasedBeforeTheSignal_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("broadcast_info") << QStringLiteral("broadcast:u,c;exit");
    QTest::newRow("open_room_msg") << QStringLiteral("room_fail:1,x;exit");
    QTest::newRow("liveCodeModuleClose") << QStringLiteral("close");
}

void TestLiveMgrService::callerIsReleasedBeforeTheSignal()
{
    QFETCH(QString, script);

    LiveMgrService service;
    QSemaphore componentEnded;
    std::atomic<int> released{-1};
    // Runs on the library's thread inside the handler's emission: the
    // component can only end meanwhile if its call was completed before.
    const auto awaitEnd = [&]() { released = componentEnded.tryAcquire(1, kTimeout) ? 1 : 0; };
    connect(&service, &LiveMgrService::sglBroadcastInfoMsg, &service, awaitEnd, Qt::DirectConnection);
    connect(&service, &LiveMgrService::sglOpenLiveRoomResult, &service, awaitEnd, Qt::DirectConnection);
    connect(&service, &LiveMgrService::sglLiveCodeModuleClose, &service, awaitEnd, Qt::DirectConnection);
    service.start();
    QCOMPARE(runComponent(QStringLiteral(KY_LIVECODE_EXE), script), 0);
    componentEnded.release();
    QTRY_COMPARE_WITH_TIMEOUT(released.load(), 1, kTimeout);
}

void TestLiveMgrService::secondStartKeepsTheOneService()
{
    LiveMgrService service;
    Receiver receiver(service);
    service.start();
    service.start();
    // A second instance or registration would have been refused, and logged.
    const QStringList log = m_log->take();
    QVERIFY2(log.filter(QStringLiteral("kyoro.rpc: ")).isEmpty(), qPrintable(log.join(QLatin1Char('\n'))));
    QCOMPARE(runComponent(QStringLiteral(KY_LIVECODE_EXE), QStringLiteral("broadcast:u,c;close")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.events, QStringList({QStringLiteral("broadcast|u|c"), QStringLiteral("close")}), kTimeout);
}

void TestLiveMgrService::neverStartedServiceMakesNoLibraryCall()
{
    {
        LiveMgrService service;
    }
    // The library logs every call it is given without an instance.
    const QStringList log = m_log->take();
    QVERIFY2(log.isEmpty(), qPrintable(log.join(QLatin1Char('\n'))));
    QVERIFY(!kytest::localChannelExists(kytest::runtimeDir() + QStringLiteral("/kyrpc-KYLiveMgrService.sock")));
}

void TestLiveMgrService::refusedClientIsLogged()
{
    LiveMgrService service;
    Receiver receiver(service);
    service.start();
    QLocalSocket stranger;
    stranger.connectToServer(kytest::runtimeDir() + QStringLiteral("/kyrpc-KYLiveMgrService.sock"));
    QVERIFY(stranger.waitForConnected(kTimeout));
    stranger.write("garbage, not a greeting\n");
    QVERIFY(stranger.waitForDisconnected(kTimeout));
    QTRY_VERIFY_WITH_TIMEOUT(m_log->text().contains(QLatin1String("default: by tq client connect failed\n")), kTimeout);

    QCOMPARE(runComponent(QStringLiteral(KY_LIVECODE_EXE), QStringLiteral("close")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.events, QStringList{QStringLiteral("close")}, kTimeout);
}

void TestLiveMgrService::packagedComponentRunsFromItsFolder()
{
    SandboxServer server;
    QVERIFY(server.start());
    int status = 0;
    const QByteArray zip = SandboxServer::httpRequest(server.port(), "GET", kModuleDownload + QStringLiteral("LiveCodeModule.zip"), {}, &status);
    QCOMPARE(status, 200);
    const QByteArray version = SandboxServer::httpRequest(server.port(), "GET", kModuleDownload + QStringLiteral("version.ini"), {}, &status);
    QCOMPARE(status, 200);
    QVERIFY2(version.startsWith("[update]\nliveCodeModule="), version.constData());
    // Tests state another version through a rule.
    QJsonObject rule;
    rule.insert(QStringLiteral("path"), QString(kModuleDownload + QStringLiteral("version.ini")));
    rule.insert(QStringLiteral("body"), QStringLiteral("[update]\nliveCodeModule=7\n"));
    QVERIFY(server.addRule(rule));
    QCOMPARE(SandboxServer::httpRequest(server.port(), "GET", kModuleDownload + QStringLiteral("version.ini")),
             QByteArray("[update]\nliveCodeModule=7\n"));

    const QString archive = kytest::tempDir() + QStringLiteral("/LiveCodeModule.zip");
    QVERIFY(kytest::writeFile(archive, zip));
    for (const QString &entry : JlCompress::getFileList(archive))
        QVERIFY2(entry.startsWith(QLatin1String("LiveCodeModule/")), qPrintable(entry));
    const QString module = kytest::tempDir() + QStringLiteral("/module");
    QVERIFY(!JlCompress::extractDir(archive, module).isEmpty());
    const QString program = module + QStringLiteral("/LiveCodeModule/LiveCodeModule.exe");
    QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));

    LiveMgrService service;
    Receiver receiver(service);
    service.start();
    QCOMPARE(runComponent(program, QStringLiteral("broadcast;close")), 0);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.events,
                              QStringList({QStringLiteral("broadcast|rtmp://127.0.0.1/live|live_sandbox"), QStringLiteral("close")}),
                              kTimeout);
}

KY_TEST_GUILESS_MAIN(TestLiveMgrService)
#include "testlivemgrservice.moc"
