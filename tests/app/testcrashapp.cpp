// A crash of the real program: the test variant of VURuv crashes on purpose
// (KYORO_TEST_CRASH) once its event loop runs, with its window up.

#include "crashrun.h"

#include "app/kycrashconstants.h"
#include "kytestmain.h"

#include <QDir>
#include <QFile>

namespace {
const QString kProgram = QStringLiteral("VURuv");
const QString kVersion = QStringLiteral("V2.3.4");
const QString kPlatform = QStringLiteral("http://127.0.0.1:9");
} // namespace

class TestCrashApp : public QObject
{
    Q_OBJECT

private:
    static bool prepare(CrashRun &run)
    {
        if (!run.isValid() || !run.addProgramFile(kytest::testVariantDir() + QStringLiteral("/VURuv"), kProgram))
            return false;
        // The version in the dump name comes from the file beside the program.
        if (!kytest::writeFile(run.programDir() + QStringLiteral("/deault.data"),
                               "[Version]\nversion=" + kVersion.toUtf8() + "\n"))
            return false;
        run.environment().insert(QStringLiteral("KYORO_PLATFORM_URL"), kPlatform);
        return true;
    }

private slots:
    void crashOfTheProgram_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QString>("signalLine");
        QTest::newRow("fault") << QByteArray("segv") << QStringLiteral("\nsignal: 11 (SIGSEGV)");
        QTest::newRow("abort") << QByteArray("abort") << QStringLiteral("\nsignal: 6 (SIGABRT)");
    }

    void crashOfTheProgram()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QString, signalLine);

        CrashRun run;
        QVERIFY(prepare(run));
        run.environment().insert(QStringLiteral("KYORO_TEST_CRASH"), QString::fromLatin1(kind));
        QVERIFY(run.run(kProgram, {}));
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0, qPrintable(run.output()));

        const QString general = QString::fromUtf8(CRASH_GENERAL_TEXT);
        QVERIFY(general.contains(QStringLiteral("QQ群" KY_CRASH_SUPPORT_GROUP_1 "或者" KY_CRASH_SUPPORT_GROUP_2 "，")));
        QCOMPARE(QString::fromUtf8(run.messages()), QString::fromUtf8(CrashRun::messageRecord(CRASH_CAPTION, general)));

        const QStringList dumps = run.dumpFiles();
        QCOMPARE(dumps.size(), 1);
        QVERIFY2(run.dumpNameFitsRun(dumps.first(), kProgram, kVersion), qPrintable(dumps.first()));
        const QString dump = QString::fromUtf8(run.dumpContent(dumps.first()));
        QVERIFY(dump.contains(signalLine));
        QVERIFY(dump.contains(QStringLiteral("\nversion: ") + kVersion + QLatin1Char('\n')));
        QVERIFY(dump.contains(QStringLiteral("libQt5Core.so")));

        const QByteArrayList expected{(kPlatform + QStringLiteral("//KYLiveMgr//")).toUtf8(),
                                      (run.programDir() + QLatin1Char('/') + dumps.first()).toUtf8(),
                                      QByteArray("upload_agent:Qm7rVx2LpT9wKd4N"), QByteArray("3747")};
        QTRY_COMPARE_WITH_TIMEOUT(run.reporterRuns().size(), 1, 20000);
        QCOMPARE(run.reporterRuns().first(), expected);
    }

    // Started to show a crash message, the program does nothing else: no
    // log line, no single-instance claim, no window of its own.
    void messageProcessOnlyShowsTheMessage()
    {
        CrashRun run;
        QVERIFY(prepare(run));
        const QString logDir = kytest::tempDir() + QStringLiteral("/message-run");
        QVERIFY(QDir().mkpath(logDir));
        run.environment().insert(QStringLiteral("TMPDIR"), logDir);
        run.environment().insert(QStringLiteral("KYORO_CRASH_MESSAGE_CAPTION"), QStringLiteral("标题"));
        run.environment().insert(QStringLiteral("KYORO_CRASH_MESSAGE_TEXT"), QStringLiteral("第一行\n第二行"));
        run.environment().insert(QStringLiteral("KYORO_TEST_CRASH"), QStringLiteral("segv"));
        QVERIFY(run.run(kProgram, {}));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(run.messages(), QByteArray("标题\n第一行\n第二行\n----\n"));
        QVERIFY(run.dumpFiles().isEmpty());
        QVERIFY2(QDir(logDir).isEmpty(), qPrintable(QDir(logDir).entryList().join(QLatin1Char(' '))));
    }
};

KY_TEST_GUILESS_MAIN(TestCrashApp)
#include "testcrashapp.moc"
