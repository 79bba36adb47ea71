#include "kytestmain.h"

#include "logic/kylogicfw.h"
#include "logic/uilogiclistener.h"

#include <QSignalSpy>

class TestLogicHub : public QObject
{
    Q_OBJECT

private slots:
    void listenerAnswersToItsInterfaceName()
    {
        UILogicListener listener;
        QVERIFY(listener.qt_metacast("IKyLogicListener") != nullptr);
        QCOMPARE(qobject_cast<IKyLogicListener *>(&listener), static_cast<IKyLogicListener *>(&listener));
        QVERIFY(listener.qt_metacast("KyLogicFW") == nullptr);
    }

    void hubIsOneObject()
    {
        QVERIFY(KyLogicFW::instance() == KyLogicFW::instance());
    }

    void everyEventIsForwardedWithItsValues()
    {
        KyLogicFW *hub = KyLogicFW::instance();
        UILogicListener listener;
        hub->setListener(&listener);

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

        const QString tool = QStringLiteral("OBS Studio");
        QVERIFY(QMetaObject::invokeMethod(hub, "sltUpdateAppStatus", Q_ARG(QString, tool), Q_ARG(int, 2)));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltUpdateDownloadProgress", Q_ARG(QString, tool), Q_ARG(int, 37)));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltDownloadFinished", Q_ARG(QString, tool), Q_ARG(QString, QStringLiteral("/d/x.exe"))));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltDownloadFailed", Q_ARG(QString, QStringLiteral("liveCodeModule"))));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltLiveToolInstallProgress", Q_ARG(QString, tool), Q_ARG(int, 100)));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltLiveToolInstallFinished", Q_ARG(QString, tool)));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltLiveToolUnInstallFinished", Q_ARG(QString, tool)));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltBroadcastMsg", Q_ARG(QString, QStringLiteral("rtmp://h/live")), Q_ARG(QString, QString())));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltOpenLiveRoomResult", Q_ARG(int, -3), Q_ARG(QString, QStringLiteral("房间未开通"))));
        QVERIFY(QMetaObject::invokeMethod(hub, "sltLiveCodeModuleClose"));

        QCOMPARE(status.takeFirst(), (QVariantList{tool, 2}));
        QCOMPARE(progress.takeFirst(), (QVariantList{tool, 37}));
        QCOMPARE(finished.takeFirst(), (QVariantList{tool, QStringLiteral("/d/x.exe")}));
        QCOMPARE(failed.takeFirst(), (QVariantList{QStringLiteral("liveCodeModule")}));
        QCOMPARE(installProgress.takeFirst(), (QVariantList{tool, 100}));
        QCOMPARE(installFinished.takeFirst(), (QVariantList{tool}));
        QCOMPARE(uninstallFinished.takeFirst(), (QVariantList{tool}));
        QCOMPARE(broadcast.takeFirst(), (QVariantList{QStringLiteral("rtmp://h/live"), QString()}));
        QCOMPARE(room.takeFirst(), (QVariantList{-3, QStringLiteral("房间未开通")}));
        QCOMPARE(close.size(), 1);
        hub->setListener(nullptr);
    }

    void eventsWithoutListenerAreDropped()
    {
        KyLogicFW *hub = KyLogicFW::instance();
        UILogicListener early;
        QSignalSpy status(&early, &UILogicListener::sglUpdateAppStatus);
        hub->setListener(nullptr);
        QVERIFY(QMetaObject::invokeMethod(hub, "sltUpdateAppStatus", Q_ARG(QString, QStringLiteral("x")), Q_ARG(int, 1)));
        // Registering later does not replay what was dropped.
        hub->setListener(&early);
        QCOMPARE(status.size(), 0);
        QVERIFY(QMetaObject::invokeMethod(hub, "sltUpdateAppStatus", Q_ARG(QString, QStringLiteral("y")), Q_ARG(int, 0)));
        QCOMPARE(status.size(), 1);

        // A new listener replaces the old one.
        UILogicListener later;
        QSignalSpy laterStatus(&later, &UILogicListener::sglUpdateAppStatus);
        hub->setListener(&later);
        QVERIFY(QMetaObject::invokeMethod(hub, "sltUpdateAppStatus", Q_ARG(QString, QStringLiteral("z")), Q_ARG(int, 2)));
        QCOMPARE(status.size(), 1);
        QCOMPARE(laterStatus.size(), 1);
        hub->setListener(nullptr);
    }
};

KY_TEST_GUILESS_MAIN(TestLogicHub)
#include "testlogichub.moc"
