// The OBS writer against links another program of the user left in the OBS
// configuration: the file or folder it writes leads outside it. Nothing
// outside may be created or rewritten; the writer refuses and says so.
#include "kylogcapture.h"
#include "kytestmain.h"

#include "common/kypaths.h"
#include "logic/kylivetoolconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

class TestFaultsToolConfig : public QObject
{
    Q_OBJECT

private:
    QString roaming(const QString &rel) const { return roamingAppDataRoot() + rel; }
    QString outside(const QString &rel) const { return kytest::testRoot() + QStringLiteral("/outside/") + rel; }

private slots:
    void init()
    {
        for (const QString &dir : {roaming(QStringLiteral("OBS")), roaming(QStringLiteral("obs-studio")), outside(QString())})
            QDir(dir).removeRecursively();
        QVERIFY(QDir().mkpath(outside(QString())));
        QVERIFY(kytest::writeFile(outside(QStringLiteral("victim")), "the user's own file\n"));
    }

    void linksLeadingOutsideAreRefused_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("classic");
        QTest::newRow("global.ini") << QStringLiteral("obs-studio/global.ini") << QStringLiteral("victim") << false;
        QTest::newRow("service.json") << QStringLiteral("obs-studio/basic/profiles/未命名/service.json")
                                      << QStringLiteral("victim") << false;
        QTest::newRow("service.json, dangling") << QStringLiteral("obs-studio/basic/profiles/未命名/service.json")
                                                << QStringLiteral("created") << false;
        QTest::newRow("profiles folder") << QStringLiteral("obs-studio/basic/profiles") << QString() << false;
        QTest::newRow("OBS Classic profile") << QStringLiteral("OBS/profiles/Untitled.ini") << QStringLiteral("victim")
                                             << true;
    }

    // Before: the writer followed each link and rewrote or created the
    // file outside.
    void linksLeadingOutsideAreRefused()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        QFETCH(bool, classic);
        const QString path = roaming(link);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(QFile::link(outside(target), path));
        const QStringList before = QDir(outside(QString())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        kytest::LogCapture log;
        const bool written = classic ? writeObsClassicPushCode(QStringLiteral("rtmp://live.example/app"), QStringLiteral("code"))
                                     : writeObsStudioPushCode(QStringLiteral("rtmp://live.example/app"), QStringLiteral("code"));
        QVERIFY(!written);
        QVERIFY2(log.text().contains(QStringLiteral("refusing to write ") + path), qPrintable(log.text()));
        QCOMPARE(kytest::readFile(outside(QStringLiteral("victim"))), QByteArray("the user's own file\n"));
        QCOMPARE(QDir(outside(QString())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }
};

KY_TEST_GUILESS_MAIN(TestFaultsToolConfig)
#include "testfaultstoolconfig.moc"
