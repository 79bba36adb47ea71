// The building blocks the crash handlers share: the names and texts they
// format into fixed buffers, the module matching behind the advice, and the
// local clock the POSIX handler uses instead of localtime_r.

#include "support/kytestmain.h"
#include "platform/crash.h"
#include "platform/crash_posix_p.h"

#include <cstdlib>
#include <ctime>

using kyplatform::CrashAdvice;
using kyplatform::CrashTime;

Q_DECLARE_METATYPE(kyplatform::CrashAdvice)
Q_DECLARE_METATYPE(kyplatform::CrashTime)

class TestCrashFormat : public QObject
{
    Q_OBJECT

private slots:
    void dumpFileName_data()
    {
        QTest::addColumn<CrashTime>("time");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("expected");
        QTest::newRow("example") << CrashTime{2017, 3, 15, 14, 2, 7} << "app" << "V1.0.0" << "app_2017-0315-1402-07_V1.0.0.dmp";
        QTest::newRow("padding") << CrashTime{987, 1, 2, 3, 4, 5} << "VURuv" << "V2" << "VURuv_0987-0102-0304-05_V2.dmp";
        QTest::newRow("widest") << CrashTime{2099, 12, 31, 23, 59, 59} << "a b" << "" << "a b_2099-1231-2359-59_.dmp";
    }

    void dumpFileName()
    {
        QFETCH(CrashTime, time);
        QFETCH(QString, base);
        QFETCH(QString, version);
        QFETCH(QString, expected);
        char out[260];
        const std::size_t length =
            kyplatform::formatDumpFileName(out, sizeof out, base.toUtf8().constData(), time, version.toUtf8().constData());
        QCOMPARE(QString::fromUtf8(out), expected);
        QCOMPARE(length, std::size_t(expected.toUtf8().size()));
    }

    // Nothing is written half: a text that does not fit gives 0 and "".
    void tooSmallBuffersGiveNothing()
    {
        char out[31];
        const CrashTime time{2017, 3, 15, 14, 2, 7};
        QCOMPARE(kyplatform::formatDumpFileName(out, sizeof out, "app", time, "V1.0.0"), std::size_t(0));
        QCOMPARE(out[0], '\0');
        QCOMPARE(kyplatform::formatDumpFileName(out, 0, "app", time, "V1.0.0"), std::size_t(0));
        QCOMPARE(kyplatform::formatAdvice(out, sizeof out, "in %s now", "a-module-name-far-too-long-for-this"), std::size_t(0));
        QCOMPARE(out[0], '\0');
        char exact[33];
        QCOMPARE(kyplatform::formatDumpFileName(exact, sizeof exact, "app", time, "V1.0.0"), std::size_t(32));
    }

    void reporterCommandLine()
    {
        char out[2048];
        kyplatform::formatReporterCommandLine(out, sizeof out, "ftp://crash.example//KYLiveMgr//", "C:\\p\\a.dmp",
                                              "upload_agent:Qm7rVx2LpT9wKd4N", 3747);
        QCOMPARE(QByteArray(out),
                 QByteArray("\"ftp://crash.example//KYLiveMgr//\"   \"C:\\p\\a.dmp\"    "
                            "\"upload_agent:Qm7rVx2LpT9wKd4N\"   \"3747\""));
        kyplatform::formatReporterCommandLine(out, sizeof out, "", "", "", -12);
        QCOMPARE(QByteArray(out), QByteArray("\"\"   \"\"    \"\"   \"-12\""));
    }

    void advice()
    {
        char out[256];
        kyplatform::formatAdvice(out, sizeof out, "crashed in %s, see %s", "libx264-140.dll");
        QCOMPARE(QByteArray(out), QByteArray("crashed in libx264-140.dll, see %s"));
        kyplatform::formatAdvice(out, sizeof out, "no module here %", "x");
        QCOMPARE(QByteArray(out), QByteArray("no module here %"));
    }

    void moduleMatching_data()
    {
        QTest::addColumn<QString>("faulting");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<bool>("faultInAdviceModule");
        QTest::addColumn<CrashAdvice>("advice");
        QTest::newRow("render a") << "app" << "vidout_a.dll" << false << CrashAdvice::RenderSystem;
        QTest::newRow("render b, any case, full path") << "app" << "C:\\Tool\\VidOut_B.DLL" << false << CrashAdvice::RenderSystem;
        QTest::newRow("render path with slashes") << "app" << "/opt/tool/vidout_b.dll" << false << CrashAdvice::RenderSystem;
        QTest::newRow("media") << "app" << "AVPIPE.dll" << false << CrashAdvice::MediaEngine;
        QTest::newRow("media, encoder faulted") << "LIBX264-140.DLL" << "avpipe.dll" << false << CrashAdvice::General;
        QTest::newRow("render, encoder faulted") << "libx264-140.dll" << "vidout_a.dll" << false << CrashAdvice::RenderSystem;
        QTest::newRow("name only contains a module name") << "app" << "my_vidout_a.dll" << false << CrashAdvice::General;
        QTest::newRow("module name plus suffix") << "app" << "avpipe.dll.so" << false << CrashAdvice::General;
        QTest::newRow("no module") << "" << "" << false << CrashAdvice::General;
        QTest::newRow("faulted in render b") << "/x/VIDOUT_B.dll" << "" << true << CrashAdvice::General;
        QTest::newRow("faulted in media") << "avpipe.dll" << "vidout_a.dll" << true << CrashAdvice::RenderSystem;
        QTest::newRow("faulted in encoder") << "libx264-140.dll" << "" << false << CrashAdvice::General;
    }

    void moduleMatching()
    {
        QFETCH(QString, faulting);
        QFETCH(QString, frame);
        QFETCH(bool, faultInAdviceModule);
        QFETCH(CrashAdvice, advice);
        const QByteArray faultingName = faulting.toUtf8();
        const QByteArray frameName = frame.toUtf8();
        QCOMPARE(kyplatform::faultInAdviceModule(faultingName.constData()), faultInAdviceModule);
        QCOMPARE(kyplatform::adviceForFrame(faultingName.constData(), frameName.constData()), advice);
    }

    // The handler's clock against the C library, across the offset changes
    // of zones with summer time (one with half an hour of it), quarter-hour
    // and half-hour offsets and none at all.
    void localClockMatchesLibrary_data()
    {
        QTest::addColumn<QByteArray>("zone");
        for (const char *zone : {"UTC", "Asia/Shanghai", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe",
                                 "Asia/Kolkata", "Pacific/Chatham", "America/Santiago"})
            QTest::newRow(zone) << QByteArray(zone);
    }

    void localClockMatchesLibrary()
    {
        QFETCH(QByteArray, zone);
        const QByteArray previous = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();

        const std::time_t from = 1700000000; // mid-November 2023
        kyplatform::crashdetail::LocalClock clock;
        clock.prepare(from);
        int mismatches = 0;
        QString firstMismatch;
        auto check = [&](std::time_t when) {
            struct tm expected;
            localtime_r(&when, &expected);
            const CrashTime got = clock.localTime(when);
            if (got.year != expected.tm_year + 1900 || got.month != expected.tm_mon + 1 || got.day != expected.tm_mday
                || got.hour != expected.tm_hour || got.minute != expected.tm_min || got.second != expected.tm_sec) {
                if (!mismatches++)
                    firstMismatch = QStringLiteral("at %1: %2-%3-%4 %5:%6:%7").arg(when).arg(got.year).arg(got.month).arg(got.day)
                                        .arg(got.hour).arg(got.minute).arg(got.second);
            }
        };
        // Every 37 minutes for two years, and every second around each hour
        // where the offset changes.
        const std::time_t until = from + 2 * 365 * 86400;
        long previousOffset = 0;
        for (std::time_t when = from; when < until; when += 37 * 60) {
            check(when);
            struct tm fields;
            localtime_r(&when, &fields);
            if (when != from && fields.tm_gmtoff != previousOffset) {
                for (std::time_t near = when - 37 * 60; near <= when; ++near)
                    check(near);
            }
            previousOffset = fields.tm_gmtoff;
        }

        if (previous.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", previous);
        tzset();
        QVERIFY2(mismatches == 0, qPrintable(QStringLiteral("%1 mismatches, first %2").arg(mismatches).arg(firstMismatch)));
    }
};

KY_TEST_GUILESS_MAIN(TestCrashFormat)
#include "testcrashformat.moc"
