// The crash handler in real crashing processes: the probe program installs it
// and crashes on purpose; modules named like the companion tool's are copies
// of one test module.

#include "crashprobe.h"
#include "crashrun.h"

#include "app/kycrashconstants.h"
#include "kytestmain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {
const QString kProbe = QStringLiteral("crashprobe");

QString renderAdvice(const QString &module)
{
    return QString::fromUtf8(CRASH_RENDER_ADVICE).replace(QStringLiteral("%s"), module);
}

QString mediaAdvice(const QString &module)
{
    return QString::fromUtf8(CRASH_MEDIA_ADVICE).replace(QStringLiteral("%s"), module);
}

QString generalText()
{
    return QString::fromUtf8(CRASH_GENERAL_TEXT);
}
} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

private:
    // A run folder with the probe and copies of the test module under `modules`.
    static bool prepare(CrashRun &run, const QStringList &modules = {})
    {
        if (!run.isValid() || !run.addProgramFile(QStringLiteral(KY_CRASH_PROBE), kProbe))
            return false;
        for (const QString &module : modules) {
            if (!run.addProgramFile(QStringLiteral(KY_CRASH_MODULE), module))
                return false;
        }
        return true;
    }

    // What every crash leaves: exit code 0, exactly one message (written
    // before the process ended, since the handler waits for it) and one dump
    // named after the probe and the crash time.
    static void verifyCrashEnd(const CrashRun &run, const QString &expectedText, QString *dumpName = nullptr)
    {
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(run.messages()), QString::fromUtf8(CrashRun::messageRecord(CRASH_CAPTION, expectedText)));
        const QStringList dumps = run.dumpFiles();
        QCOMPARE(dumps.size(), 1);
        QVERIFY2(run.dumpNameFitsRun(dumps.first(), kProbe, QString::fromLatin1(PROBE_VERSION)), qPrintable(dumps.first()));
        if (dumpName)
            *dumpName = dumps.first();
    }

    static QByteArrayList expectedReporterArguments(const CrashRun &run, const QString &dumpName)
    {
        return {QByteArray(PROBE_UPLOAD_LOCATION), (run.programDir() + QLatin1Char('/') + dumpName).toUtf8(),
                QByteArray(CRASH_UPLOAD_CREDENTIAL), QByteArray::number(CRASH_REPORTER_NUMBER)};
    }

private slots:
    void crashEndsWithDumpReporterAndGeneralMessage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("signalLine");
        QTest::addColumn<QString>("faultAddressLine");

        const QString segv = QStringLiteral("signal: 11 (SIGSEGV)");
        const QString at16 = QStringLiteral("fault address: 0x0000000000000010");
        QTest::newRow("segmentation fault") << QStringList{"segv"} << segv << at16;
        QTest::newRow("bus error") << QStringList{"bus"} << QStringLiteral("signal: 7 (SIGBUS)") << QStringLiteral("fault address: 0x");
        QTest::newRow("illegal instruction") << QStringList{"ill"} << QStringLiteral("signal: 4 (SIGILL)") << QStringLiteral("fault address: 0x");
        QTest::newRow("arithmetic fault") << QStringList{"fpe"} << QStringLiteral("signal: 8 (SIGFPE)") << QString();
        QTest::newRow("abort") << QStringList{"abort"} << QStringLiteral("signal: 6 (SIGABRT)") << QStringLiteral("fault address: none");
        // Runs on the alternate stack; without it the handler could not run.
        QTest::newRow("stack overflow") << QStringList{"overflow"} << segv << QString();
        QTest::newRow("fault on a second thread") << QStringList{"thread"} << segv << at16;
        // The second thread waits for the first one's report: one message.
        QTest::newRow("two threads fault together") << QStringList{"twothreads"} << segv << at16;
    }

    void crashEndsWithDumpReporterAndGeneralMessage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, signalLine);
        QFETCH(QString, faultAddressLine);

        CrashRun run;
        QVERIFY(prepare(run));
        QVERIFY(run.run(kProbe, arguments));
        QString dumpName;
        verifyCrashEnd(run, generalText(), &dumpName);
        if (QTest::currentTestFailed())
            return;

        const QString dump = QString::fromUtf8(run.dumpContent(dumpName));
        QVERIFY2(dump.startsWith(QStringLiteral("crash dump of ") + run.programDir() + QStringLiteral("/crashprobe\n")), qPrintable(dump.left(200)));
        QVERIFY(dump.contains(QStringLiteral("\nversion: V1.0.0\n")));
        QVERIFY(dump.contains(QStringLiteral("\npid: %1\n").arg(run.pid())));
        QVERIFY2(dump.contains(QLatin1Char('\n') + signalLine), qPrintable(dump.left(400)));
        if (!faultAddressLine.isEmpty())
            QVERIFY2(dump.contains(QLatin1Char('\n') + faultAddressLine), qPrintable(dump.left(400)));
        QVERIFY(dump.contains(QRegularExpression(QStringLiteral("\n  (rip|pc)\t0x[0-9a-f]{16}\n"))));
        QVERIFY(dump.contains(QRegularExpression(QStringLiteral("\n  #0 0x[0-9a-f]{16} \\S+\n"))));
        // A full copy of the mappings, the probe's own among them.
        const int maps = dump.indexOf(QStringLiteral("\nmaps:\n"));
        QVERIFY(maps > 0);
        QVERIFY(dump.indexOf(run.programDir() + QStringLiteral("/crashprobe\n"), maps) > 0);
        QVERIFY(dump.endsWith(QStringLiteral("\nend of dump\n")));

        // The reporter is not waited for: its record may come a little later.
        QTRY_COMPARE_WITH_TIMEOUT(run.reporterRuns().size(), 1, 20000);
        QCOMPARE(run.reporterRuns().first(), expectedReporterArguments(run, dumpName));
    }

    void adviceFollowsFaultingModuleAndStack_data()
    {
        QTest::addColumn<QStringList>("modules");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("framesMention");

        const QStringList render{"vidout_b.dll"};
        QTest::newRow("fault several frames below the render module")
            << render << QStringList{"below", "vidout_b.dll"} << renderAdvice(kProbe) << "/vidout_b.dll+0x";
        QTest::newRow("render module name in other case")
            << QStringList{"VIDOUT_A.DLL"} << QStringList{"below", "VIDOUT_A.DLL"} << renderAdvice(kProbe) << "/VIDOUT_A.DLL+0x";
        QTest::newRow("fault several frames below the media module")
            << QStringList{"avpipe.dll"} << QStringList{"below", "avpipe.dll"} << mediaAdvice(kProbe) << "/avpipe.dll+0x";
        QTest::newRow("fault below an unrelated module")
            << QStringList{"libother.so"} << QStringList{"below", "libother.so"} << generalText() << "/libother.so+0x";
        // The faulting module itself is one of the three: no advice, even
        // with the render module on the stack.
        QTest::newRow("fault inside the media module")
            << QStringList{"vidout_b.dll", "avpipe.dll"} << QStringList{"inside", "vidout_b.dll", "avpipe.dll"} << generalText() << "/avpipe.dll+0x";
        QTest::newRow("fault inside the render module")
            << QStringList{"vidout_a.dll", "vidout_b.dll"} << QStringList{"inside", "vidout_a.dll", "vidout_b.dll"} << generalText() << "/vidout_b.dll+0x";
        QTest::newRow("encoder fault through the media module")
            << QStringList{"avpipe.dll", "libx264-140.dll"} << QStringList{"inside", "avpipe.dll", "libx264-140.dll"} << generalText() << "/avpipe.dll+0x";
        QTest::newRow("other module's fault through the media module")
            << QStringList{"avpipe.dll", "libother.so"} << QStringList{"inside", "avpipe.dll", "libother.so"} << mediaAdvice("libother.so") << "/libother.so+0x";
        QTest::newRow("encoder fault through the render module")
            << QStringList{"vidout_b.dll", "libx264-140.dll"} << QStringList{"inside", "vidout_b.dll", "libx264-140.dll"}
            << renderAdvice("libx264-140.dll") << "/vidout_b.dll+0x";
        // No frame chain: the walk ends at once, the render frame above is
        // never seen.
        QTest::newRow("zeroed frame pointer below the render module")
            << render << QStringList{"zerofp", "vidout_b.dll"} << generalText() << "(frame chain ends: no usable frame at 0x0000000000000000)";
    }

    void adviceFollowsFaultingModuleAndStack()
    {
        QFETCH(QStringList, modules);
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QFETCH(QString, framesMention);

        CrashRun run;
        QVERIFY(prepare(run, modules));
        QVERIFY(run.run(kProbe, arguments));
        QString dumpName;
        verifyCrashEnd(run, message, &dumpName);
        if (QTest::currentTestFailed()) {
            qWarning().noquote() << run.output();
            return;
        }
        const QString dump = QString::fromUtf8(run.dumpContent(dumpName));
        const QString frames = dump.mid(dump.indexOf(QStringLiteral("\nframes:\n")));
        QVERIFY2(frames.left(frames.indexOf(QStringLiteral("\nmaps:\n"))).contains(framesMention), qPrintable(frames.left(2000)));
    }

    // A crash in the second of an existing dump replaces that file whole.
    // Two crashes need not fall into one second on a busy machine, so every
    // name the second crash can take (its run ends within the run limit)
    // holds the first crash's dump before it crashes.
    void sameSecondCrashesShareOneDump()
    {
        CrashRun run;
        QVERIFY(prepare(run));
        // The first dump is the longer one (many frames), so a second dump
        // that did not replace it completely would leave its tail behind.
        QVERIFY(run.run(kProbe, {"segv", "100"}));
        QStringList names = run.dumpFiles();
        QCOMPARE(names.size(), 1);
        const QByteArray longer = run.dumpContent(names.first());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QDateTime from = now.addMSecs(-now.time().msec());
        for (int second = 0; second <= CrashRun::kRunLimitSeconds + 1; ++second) {
            const QString name = CrashRun::dumpFileName(kProbe, QString::fromLatin1(PROBE_VERSION), from.addSecs(second));
            QVERIFY(kytest::writeFile(run.programDir() + QLatin1Char('/') + name, longer));
            names << name;
        }
        names.removeDuplicates();
        names.sort();

        QVERIFY(run.run(kProbe, {"segv", "0"}));
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(run.dumpFiles(), names);
        QStringList replaced;
        for (const QString &name : names) {
            if (run.dumpContent(name) != longer)
                replaced << name;
        }
        QCOMPARE(replaced.size(), 1);
        QVERIFY2(run.dumpNameFitsRun(replaced.first(), kProbe, QString::fromLatin1(PROBE_VERSION)), qPrintable(replaced.first()));
        const QString dump = QString::fromUtf8(run.dumpContent(replaced.first()));
        QCOMPARE(dump.count(QStringLiteral("\npid: ")), 1);
        QVERIFY(dump.contains(QStringLiteral("\npid: %1\n").arg(run.pid())));
        QCOMPARE(dump.count(QStringLiteral("end of dump\n")), 1);
        QVERIFY(dump.endsWith(QStringLiteral("\nend of dump\n")));
    }

    void missingReporterStillEndsWithMessage()
    {
        CrashRun run;
        QVERIFY(prepare(run));
        run.removeReporter();
        QVERIFY(run.run(kProbe, {"segv"}));
        verifyCrashEnd(run, generalText());
        QVERIFY(!QFile::exists(run.reporterLogPath()));
    }

    // The reporter may take long (an upload); the crashed program ends
    // without waiting, and hands it none of its descriptors (the probe holds
    // one open that a careless start would pass on).
    void reporterRunsOnItsOwn()
    {
        CrashRun run;
        QVERIFY(prepare(run));
        QTemporaryDir holdDir;
        const QString hold = holdDir.filePath(QStringLiteral("release"));
        run.environment().insert(QStringLiteral("KYORO_BUGREPORTER_HOLD"), hold);
        run.environment().insert(QStringLiteral("KYORO_BUGREPORTER_FDS"), run.reporterDescriptorsPath());
        QVERIFY(run.run(kProbe, {"segv"}));
        QString dumpName;
        verifyCrashEnd(run, generalText(), &dumpName);
        QVERIFY(!QFile::exists(run.reporterLogPath()));

        QVERIFY(kytest::writeFile(hold, "go"));
        QTRY_COMPARE_WITH_TIMEOUT(run.reporterRuns().size(), 1, 20000);
        QCOMPARE(run.reporterRuns().first(), expectedReporterArguments(run, dumpName));
        QCOMPARE(kytest::readFile(run.reporterDescriptorsPath()), QByteArray("0\n1\n2\n"));
    }
};

KY_TEST_GUILESS_MAIN(TestCrashHandler)
#include "testcrashhandler.moc"
