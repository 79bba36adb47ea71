#include "kytestmain.h"
#include "sandboxserver.h"

#include <QProcess>
#include <QSettings>

// The real program, started against the sandbox platform, tells the
// collector that it starts, with the version delivered beside it.
class TestStartupEvent : public QObject
{
    Q_OBJECT

private slots:
    void programStartSendsStartupLoading()
    {
        SandboxServer server;
        QVERIFY(server.start());

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(kytest::binDir() + QStringLiteral("/VURuv"), QStringList());
        QVERIFY(program.waitForStarted(10000));

        const QJsonObject envelope = server.waitForEvent(QStringLiteral("startup_loading"), 30000);
        program.kill();
        program.waitForFinished(10000);

        QVERIFY(!envelope.isEmpty());
        const QSettings version(kytest::binDir() + QStringLiteral("/deault.data"), QSettings::IniFormat);
        QCOMPARE(envelope.value(QStringLiteral("av")).toString(), version.value(QStringLiteral("Version/version")).toString());
        QCOMPARE(envelope.value(QStringLiteral("pc")).toString(), QStringLiteral("com_module"));
        const QJsonObject e = envelope.value(QStringLiteral("e")).toObject();
        QCOMPARE(e.keys(), (QStringList{"cpu_freq", "cpu_mod", "cpu_num", "cpu_ven", "pc_os", "vc_mod"}));
        QVERIFY(e.value(QStringLiteral("cpu_num")).toInt() >= 1);
        QCOMPARE(server.eventNames().count(QStringLiteral("startup_loading")), 1);
    }
};

KY_TEST_GUILESS_MAIN(TestStartupEvent)
#include "teststartupevent.moc"
