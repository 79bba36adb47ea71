#include "kytestmain.h"
#include "logictestsupport.h"
#include "sandboxserver.h"

#include <QSignalSpy>

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "logic/ikylogiclistener.h"
#include "logic/kyappstatusmonitor.h"
#include "download/kyfiledownloader.h"
#include "download/kyfiledownloadermgr.h"
#include "logic/kylivetoolsmanager.h"
#include "livecode/livecodemodulemanager.h"
#include "livecode/livemgrservice.h"
#include "logic/kylogicfw.h"
#include "logic/kytoolfacts.h"
#include "logic/uilogiclistener.h"
#include "platform/registry.h"

// Writes down every event the hub hands over, as "kind name [value]".
class RecordingListener : public IKyLogicListener
{
public:
    void onUpdateAppStatus(QString name, int status) override { add(QStringLiteral("status"), name, QString::number(status)); }
    void onUpdateDownloadProgress(QString name, int progress) override { add(QStringLiteral("download"), name, QString::number(progress)); }
    void onDownloadFinished(QString name, QString downloadedFile) override
    {
        add(QStringLiteral("downloaded"), name, QString());
        files[name] = downloadedFile;
    }
    void onDownloadFailed(QString name) override { add(QStringLiteral("downloadFailed"), name, QString()); }
    void onLiveToolInstallProgress(QString name, int progress) override { add(QStringLiteral("install"), name, QString::number(progress)); }
    void onLiveToolInstallFinished(QString name) override { add(QStringLiteral("installed"), name, QString()); }
    void onLiveToolUnInstallFinished(QString name) override { add(QStringLiteral("uninstalled"), name, QString()); }
    void onBroadcastInfoMsg(QString url, QString code) override { add(QStringLiteral("broadcast"), url, code); }
    void onOpenLiveRoomResult(int res, QString msg) override { add(QStringLiteral("room"), msg, QString::number(res)); }
    void onLiveCodeModuleClose() override { add(QStringLiteral("moduleClose"), QString(), QString()); }

    bool has(const QString &kind, const QString &name) const { return events.contains(kind + QLatin1Char(' ') + name); }
    QStringList values(const QString &kind, const QString &name) const
    {
        QStringList result;
        const QString prefix = kind + QLatin1Char(' ') + name + QLatin1Char(' ');
        for (const QString &e : events) {
            if (e.startsWith(prefix))
                result << e.mid(prefix.size());
        }
        return result;
    }

    QStringList events;
    QMap<QString, QString> files;

private:
    void add(const QString &kind, const QString &name, const QString &value)
    {
        QString event = kind + QLatin1Char(' ') + name;
        if (!value.isEmpty())
            event += QLatin1Char(' ') + value;
        events << event;
    }
};

// The hub as the window uses it: its own workers, real downloads, installs
// and processes of the sandbox, and the connections it makes between them and
// the listener.
class TestLogicHub : public QObject
{
    Q_OBJECT

private:
    SandboxServer m_server;
    RecordingListener m_listener;
    KyLogicFW *hub() { return KyLogicFW::instance(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        // Nothing another test installed (under Wine the registry and the
        // drives are the prefix's), and nothing left behind at the end.
        kytest::removeInstalledTools();
        QVERIFY(kyplatform::registryKeyExists(kyplatform::kUninstallKey));
        qputenv("KYORO_SANDBOX_INSTALL_MS", "800");
        hub()->initialize();
        hub()->setListener(&m_listener);
    }

    void cleanupTestCase()
    {
        hub()->setListener(nullptr);
        kytest::endOwnProcesses({QStringLiteral("KYTool.exe")});
    }

    // Download, install, status 1, launch, status 2, uninstall, status 0:
    // the classic platform tool through the hub, its workers and real
    // processes of the sandbox.
    void downloadInstallLaunchUninstall()
    {
        const QString name = TOOL_NAME_KYTOOL;
        KyLiveToolsManager *tools = hub()->liveToolsManager();
        QCOMPARE(tools->toolStatus(name), int(APP_NOT_INSTALLED));

        const QString url = tools->downloadUrl(name);
        QCOMPARE(hub()->fileDownloaderMgr()->startDownload(name, url, downloadDir(), true), int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(m_listener.has(QStringLiteral("downloaded"), name), 20000);
        const QString installer = m_listener.files.value(name);
        QCOMPARE(installer, downloadDir() + QStringLiteral("/KYTool_setup_2_3_6.exe"));
        QCOMPARE(m_listener.values(QStringLiteral("download"), name).last(), QStringLiteral("100"));
        QCOMPARE(hub()->fileDownloaderMgr()->downloadProgress(name), -1);

        const QString installDir = kytest::testRoot() + QStringLiteral("/tools/KYTool");
        QVERIFY(tools->installTool(name, installer, installDir, 15000));
        QTRY_VERIFY_WITH_TIMEOUT(m_listener.has(QStringLiteral("installed"), name), 20000);
        QCOMPARE(m_listener.values(QStringLiteral("install"), name).last(), QStringLiteral("100"));

        QCOMPARE(tools->toolStatus(name), int(APP_INSTALLED));
        QVERIFY(tools->isToolInstalled(name));
        QVERIFY(m_listener.events.contains(QStringLiteral("status %1 1").arg(name)));

        QVERIFY(tools->launchTool(name));
        QTRY_COMPARE_WITH_TIMEOUT(tools->toolStatus(name), int(APP_RUNNING), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(m_listener.events.contains(QStringLiteral("status %1 2").arg(name)), 5000);

        kytest::endOwnProcesses({QStringLiteral("KYTool.exe")});
        QTRY_COMPARE_WITH_TIMEOUT(tools->toolStatus(name), int(APP_INSTALLED), 10000);

        QVERIFY(tools->uninstallTool(name));
        QVERIFY(tools->isUninstalling(name));
        QTRY_VERIFY_WITH_TIMEOUT(m_listener.has(QStringLiteral("uninstalled"), name), 20000);
        QCOMPARE(tools->toolStatus(name), int(APP_NOT_INSTALLED));
        QVERIFY(!tools->isToolInstalled(name));
        QVERIFY(!QFileInfo::exists(installDir));
        QFile::remove(installer);
    }

    // The tools manager's events reach the listener only through the event
    // loop; the monitor's and the downloaders' arrive during the emission.
    void connectionTypes()
    {
        m_listener.events.clear();
        emit hub()->liveToolsManager()->sglLiveToolInstallFinished(QStringLiteral("queued"));
        emit hub()->liveToolsManager()->appStatusMonitor()->sglUpdateAppStatus(QStringLiteral("direct"), 1);
        const QList<KyFileDownloader *> downloaders = hub()->fileDownloaderMgr()->allDownloaders();
        QCOMPARE(downloaders.size(), KyFileDownloaderMgr::kPoolSize);
        emit downloaders.last()->sglDownloadFailed(QStringLiteral("pooled"));
        QCOMPARE(m_listener.events, QStringList({QStringLiteral("status direct 1"), QStringLiteral("downloadFailed pooled")}));
        QTRY_VERIFY(m_listener.has(QStringLiteral("installed"), QStringLiteral("queued")));

        // Without a listener events are dropped.
        hub()->setListener(nullptr);
        emit downloaders.first()->sglDownloadFailed(QStringLiteral("lost"));
        hub()->setListener(&m_listener);
        QVERIFY(!m_listener.has(QStringLiteral("downloadFailed"), QStringLiteral("lost")));
    }

    // Each worker's event reaches a window's listener as the signal in the
    // same position, with its values: every connection the hub makes, from
    // every downloader of the pool, the tools manager, its status monitor and
    // the login component's service, and the listener's own forwarding.
    void everyWorkerEventReachesTheWindowListener()
    {
        UILogicListener listener;
        hub()->setListener(&listener);
        QSignalSpy status(&listener, &UILogicListener::sglUpdateAppStatus);
        QSignalSpy progress(&listener, &UILogicListener::sglUpdateDownloadProgress);
        QSignalSpy finished(&listener, &UILogicListener::sglDownloadFinished);
        QSignalSpy failed(&listener, &UILogicListener::sglDownloadFailed);
        QSignalSpy installProgress(&listener, &UILogicListener::sglLiveToolInstallProgress);
        QSignalSpy installFinished(&listener, &UILogicListener::sglLiveToolInstallFinished);
        QSignalSpy uninstallFinished(&listener, &UILogicListener::sglLiveToolUnInstallFinished);
        QSignalSpy broadcast(&listener, &UILogicListener::sglBroadcastInfoMsg);
        QSignalSpy room(&listener, &UILogicListener::sglOpenLiveRoomResult);
        QSignalSpy close(&listener, &UILogicListener::sglLiveCodeModuleClose);

        const QString tool = TOOL_NAME_OBS_STUDIO;
        KyLiveToolsManager *tools = hub()->liveToolsManager();
        LiveMgrService *service = hub()->liveCodeModuleManager()->service();
        const QList<KyFileDownloader *> downloaders = hub()->fileDownloaderMgr()->allDownloaders();
        emit tools->appStatusMonitor()->sglUpdateAppStatus(tool, 2);
        for (int i = 0; i < downloaders.size(); ++i) {
            const QString name = QStringLiteral("pool-%1").arg(i);
            emit downloaders.at(i)->sglUpdateDownloadProgress(name, i);
            emit downloaders.at(i)->sglDownloadFinished(name, QStringLiteral("/d/%1.exe").arg(i));
            emit downloaders.at(i)->sglDownloadFailed(name);
        }
        emit tools->sglLiveToolInstallProgress(tool, 100);
        emit tools->sglLiveToolInstallFinished(tool);
        emit tools->sglLiveToolUnInstallFinished(tool);
        emit service->sglBroadcastInfoMsg(QStringLiteral("rtmp://h/live"), QString());
        emit service->sglOpenLiveRoomResult(-3, QStringLiteral("房间未开通"));
        emit service->sglLiveCodeModuleClose();
        // The tools manager's events come through the event queue.
        QTRY_COMPARE(uninstallFinished.size(), 1);

        // The monitor's own ticks may report too.
        QVERIFY(status.contains(QVariantList{tool, 2}));
        QCOMPARE(progress.size(), downloaders.size());
        QCOMPARE(finished.size(), downloaders.size());
        QCOMPARE(failed.size(), downloaders.size());
        for (int i = 0; i < downloaders.size(); ++i) {
            const QString name = QStringLiteral("pool-%1").arg(i);
            QCOMPARE(progress.at(i), (QVariantList{name, i}));
            QCOMPARE(finished.at(i), (QVariantList{name, QStringLiteral("/d/%1.exe").arg(i)}));
            QCOMPARE(failed.at(i), (QVariantList{name}));
        }
        QCOMPARE(installProgress.takeFirst(), (QVariantList{tool, 100}));
        QCOMPARE(installFinished.takeFirst(), (QVariantList{tool}));
        QCOMPARE(uninstallFinished.takeFirst(), (QVariantList{tool}));
        QCOMPARE(broadcast.takeFirst(), (QVariantList{QStringLiteral("rtmp://h/live"), QString()}));
        QCOMPARE(room.takeFirst(), (QVariantList{-3, QStringLiteral("房间未开通")}));
        QCOMPARE(close.size(), 1);
        hub()->setListener(&m_listener);
    }
};

KY_TEST_GUILESS_MAIN(TestLogicHub)
#include "testlogichub.moc"
