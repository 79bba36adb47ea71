#include "kytestmain.h"

#include "common/kyhosts.h"
#include "logic/kytoolfacts.h"

#include <QFile>
#include <QSet>

// The tool table: every name leads to a whole row, and the values the outside
// world knows (the collector's "type", the card's texts and pictures) follow
// the name.
class TestToolFacts : public QObject
{
    Q_OBJECT

private slots:
    void everyToolLeadsToCompleteFacts()
    {
        QSet<QString> names;
        QSet<int> codes;
        for (const ToolFacts &tool : toolTable()) {
            QVERIFY2(!names.contains(tool.name), qPrintable(tool.name));
            names.insert(tool.name);
            codes.insert(tool.code);
            QCOMPARE(toolFacts(tool.name), &tool);
            QVERIFY(!tool.key.isEmpty());
            QVERIFY(!tool.folder.isEmpty());
            QVERIFY(tool.installEstimateMs > 0);
            QVERIFY(defaultInstallerUrl(tool.name).endsWith(QLatin1Char('/') + tool.installerFile));
            QVERIFY(defaultInstallerUrl(tool.name).startsWith(downloadServerUrl(QStringLiteral("/"))));
            QVERIFY(!tool.programs.isEmpty());
            for (const ToolExe &program : tool.programs) {
                QVERIFY(!program.processName.isEmpty());
                QVERIFY(!program.path.isEmpty());
                QVERIFY(!program.uninstallerProcess.isEmpty());
            }
            QVERIFY2(QFile::exists(tool.pictures.first), qPrintable(tool.pictures.first));
            QVERIFY2(QFile::exists(tool.pictures.second), qPrintable(tool.pictures.second));
        }
        QCOMPARE(codes.size(), names.size());
        QVERIFY(!codes.contains(TOOL_CODE_NONE));
        // Each wizard has exactly two rows.
        QCOMPARE(toolsOfFamily(ToolFamily::Kyoro).size(), 2);
        QCOMPARE(toolsOfFamily(ToolFamily::Obs).size(), 2);
    }

    // Each tool gets its own telemetry type, card texts and pictures; any
    // other name none.
    void factsFollowTheToolName_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("pictures");
        QTest::addColumn<QString>("introduction");
        QTest::newRow("classic") << TOOL_NAME_KYTOOL << 1 << "Kyoro直播伴侣" << "kyoro_classic" << "Kyoro官方直播工具，傻瓜式";
        QTest::newRow("show") << TOOL_NAME_KYSHOW << 2 << "Kyoro秀场直播伴侣" << "kyoro_show" << "Kyoro官方直播工具，专为秀场";
        QTest::newRow("obs classic") << TOOL_NAME_OBS_CLASSIC << 3 << "OBS经典版" << "OBS_classic" << "免费且开源";
        QTest::newRow("obs studio") << TOOL_NAME_OBS_STUDIO << 4 << "OBS工作室版" << "OBS_studio" << "免费且开源";
        QTest::newRow("other") << "KYTool" << 0 << "" << "" << "";
        QTest::newRow("empty") << "" << 0 << "" << "" << "";
    }

    void factsFollowTheToolName()
    {
        QFETCH(QString, tool);
        QFETCH(int, type);
        QFETCH(QString, title);
        QFETCH(QString, pictures);
        QFETCH(QString, introduction);
        QCOMPARE(toolCode(tool), type);
        QCOMPARE(isToolName(tool), type != TOOL_CODE_NONE);
        const ToolFacts *facts = toolFacts(tool);
        QCOMPARE(bool(facts), !pictures.isEmpty());
        QCOMPARE(defaultInstallerUrl(tool).isEmpty(), !facts);
        if (!facts)
            return;
        QCOMPARE(facts->cardTitle, title);
        QVERIFY(facts->introduction.startsWith(introduction));
        QCOMPARE(facts->pictures.first, QStringLiteral(":/Resources/%1_1.png").arg(pictures));
        QCOMPARE(facts->pictures.second, QStringLiteral(":/Resources/%1_2.png").arg(pictures));
    }
};

KY_TEST_GUILESS_MAIN(TestToolFacts)
#include "testtoolfacts.moc"
