#include "kytestmain.h"
#include "updatetestsupport.h"

#include "common/kyconstants.h"
#include "ui/kyupdatenotice.h"
#include "ui/kyupdateprompter.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

using kytest::RecordingStarter;

namespace {
const int kAnswerMs = 30000;
// Long enough for an offer that was going to come to have come: the
// description is fetched from a local server at once.
const int kNothingMs = 3000;

KyUpdater::Timing quick()
{
    KyUpdater::Timing timing;
    timing.firstCheckMs = 50;
    timing.quietMs = 1500;
    return timing;
}

// The updater's settings file, as the next start finds it.
QVariant updateSetting(const QString &key)
{
    return QSettings(dataDir() + QStringLiteral("updateSetting"), QSettings::IniFormat).value(key);
}

void setUpdateSetting(const QString &key, const QVariant &value)
{
    QSettings settings(dataDir() + QStringLiteral("updateSetting"), QSettings::IniFormat);
    if (value.isNull())
        settings.remove(key);
    else
        settings.setValue(key, value);
}
} // namespace

// When the program checks, when it offers and when it installs: the
// live-safe rule (nothing while a managed tool runs, the offer a quiet
// minute later or at quit), "跳过此版本", the off switch, "稍后" and the
// check after an update, against the sandbox offering a trusted update.
class TestUpdateSchedule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void offeredOnceNotAtEveryStart();
    void runningToolHoldsTheOfferBack();
    void manualCheckWhileLiveMayGoAhead();
    void heldOfferComesAtQuit();
    void laterInstallsOnQuitOnly();
    void skipAndOffSwitch();
    void refusedElevationKeepsRunning();
    void afterAnUpdateSaysOnce();
    void oneNoticeNeverOverADialog();

private:
    SandboxServer m_server;
    QTemporaryDir m_files;
};

void TestUpdateSchedule::initTestCase()
{
    const QString setup = kytest::startWithSetup(m_server, m_files);
    QVERIFY(!setup.isEmpty());
    QVERIFY(m_server.setUpdate(kytest::updateOffer(setup)));
}

void TestUpdateSchedule::init()
{
    kytest::forgetUpdates();
}

// Fault guarded against: a notice at every start of the program.
void TestUpdateSchedule::offeredOnceNotAtEveryStart()
{
    {
        KyUpdater updater;
        updater.setTiming(quick());
        QSignalSpy offered(&updater, &KyUpdater::sglOffer);
        updater.start();
        QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
        QCOMPARE(offered.first(), (QVariantList{false, false}));
        updater.dismiss();
    }
    KyUpdater again;
    again.setTiming(quick());
    QSignalSpy offered(&again, &KyUpdater::sglOffer);
    again.start();
    QTRY_VERIFY_WITH_TIMEOUT(again.hasAvailable(), kAnswerMs);
    QVERIFY(!offered.wait(kNothingMs));
}

void TestUpdateSchedule::runningToolHoldsTheOfferBack()
{
    QStringList started;
    KyUpdater updater;
    updater.setTiming(quick());
    updater.setSetupStarter(RecordingStarter{&started});
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    updater.sltToolStatus(TOOL_NAME_OBS_STUDIO, APP_RUNNING);
    updater.sltToolStatus(TOOL_NAME_KYTOOL, APP_INSTALLED);
    updater.start();
    QTRY_VERIFY_WITH_TIMEOUT(updater.hasAvailable(), kAnswerMs);
    QVERIFY(!offered.wait(kNothingMs));

    // The tool stops: the offer comes once no tool ran for the quiet time,
    // and not before.
    QElapsedTimer sinceStop;
    sinceStop.start();
    updater.sltToolStatus(TOOL_NAME_OBS_STUDIO, APP_INSTALLED);
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
    QVERIFY(sinceStop.elapsed() >= quick().quietMs - 50);
    QCOMPARE(offered.first(), (QVariantList{false, false}));
    QVERIFY(started.isEmpty());
    QVERIFY(QDir(KyUpdater::updateFolder()).entryList(QDir::Files).isEmpty());
}

void TestUpdateSchedule::manualCheckWhileLiveMayGoAhead()
{
    QStringList started;
    KyUpdater updater;
    updater.setSetupStarter(RecordingStarter{&started});
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    QSignalSpy quitting(&updater, &KyUpdater::sglQuitForInstall);
    updater.sltToolStatus(TOOL_NAME_KYSHOW, APP_RUNNING);
    updater.checkNow();
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
    // The notice says the update waits for the tools.
    QCOMPARE(offered.first(), (QVariantList{true, true}));
    // The streamer goes ahead anyway.
    updater.installNow();
    QTRY_COMPARE_WITH_TIMEOUT(quitting.count(), 1, kAnswerMs);
    QCOMPARE(started.size(), 1);
    QVERIFY(started.first().contains(QLatin1String("|/S /RESTART /D=")));
}

void TestUpdateSchedule::heldOfferComesAtQuit()
{
    KyUpdater updater;
    updater.setTiming(quick());
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    QCOMPARE(updater.atQuit(), KyUpdater::QuitStep::Quit);
    updater.sltToolStatus(TOOL_NAME_OBS_CLASSIC, APP_RUNNING);
    updater.start();
    QTRY_VERIFY_WITH_TIMEOUT(updater.hasAvailable(), kAnswerMs);
    QCOMPARE(offered.count(), 0);
    QCOMPARE(updater.atQuit(), KyUpdater::QuitStep::OfferFirst);
    QCOMPARE(offered.count(), 1);
    // Answered (here: closed), the quit goes on.
    updater.dismiss();
    QCOMPARE(updater.atQuit(), KyUpdater::QuitStep::Quit);
}

// "稍后": downloaded in the background while no tool runs, installed when
// the streamer quits, without the program starting again.
void TestUpdateSchedule::laterInstallsOnQuitOnly()
{
    QStringList started;
    KyUpdater updater;
    updater.setSetupStarter(RecordingStarter{&started});
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    QSignalSpy quitting(&updater, &KyUpdater::sglQuitForInstall);
    updater.checkNow();
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
    updater.later();
    QTRY_VERIFY_WITH_TIMEOUT(!updater.setupPath().isEmpty(), kAnswerMs);
    QVERIFY(started.isEmpty());

    QCOMPARE(updater.atQuit(), KyUpdater::QuitStep::Installing);
    QCOMPARE(started.size(), 1);
    QCOMPARE(started.first(), updater.setupPath() + QStringLiteral("|/S /D=") + QDir::toNativeSeparators(appDir()));
    QCOMPARE(quitting.count(), 0);
}

void TestUpdateSchedule::skipAndOffSwitch()
{
    {
        KyUpdater updater;
        QSignalSpy offered(&updater, &KyUpdater::sglOffer);
        updater.checkNow();
        QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
        updater.skipVersion();
    }
    // Never offered again by itself, even after a day.
    setUpdateSetting(QStringLiteral("Update/OfferedAt"), QVariant());
    {
        KyUpdater updater;
        updater.setTiming(quick());
        QSignalSpy offered(&updater, &KyUpdater::sglOffer);
        updater.start();
        QTRY_VERIFY_WITH_TIMEOUT(updater.hasAvailable(), kAnswerMs);
        QVERIFY(!offered.wait(kNothingMs));
        // Asked for, it is offered.
        updater.checkNow();
        QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
    }
    kytest::forgetUpdates();
    {
        KyUpdater updater;
        updater.setAutoCheck(false);
    }
    KyUpdater updater;
    QVERIFY(!updater.autoCheck());
    updater.setTiming(quick());
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    updater.start();
    QVERIFY(!offered.wait(kNothingMs));
    QVERIFY(!updater.hasAvailable());
    updater.checkNow();
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
}

void TestUpdateSchedule::refusedElevationKeepsRunning()
{
    QStringList started;
    KyUpdater updater;
    updater.setSetupStarter(RecordingStarter{&started, kyplatform::ElevatedStart::Refused});
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    QSignalSpy refused(&updater, &KyUpdater::sglInstallRefused);
    QSignalSpy quitting(&updater, &KyUpdater::sglQuitForInstall);
    updater.checkNow();
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
    updater.installNow();
    QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, kAnswerMs);
    QCOMPARE(started.size(), 1);
    QCOMPARE(quitting.count(), 0);
    // Nothing was attempted, so the next start reports nothing.
    QVERIFY(updateSetting(QStringLiteral("Update/AttemptedVersion")).isNull());
}

// Fault guarded against: a failing setup re-run at every start.
void TestUpdateSchedule::afterAnUpdateSaysOnce()
{
    setUpdateSetting(QStringLiteral("Update/AttemptedVersion"), QStringLiteral("1.1.0"));
    {
        KyUpdater updater;
        updater.setAutoCheck(false);
        QSignalSpy incomplete(&updater, &KyUpdater::sglIncomplete);
        updater.start();
        QCOMPARE(incomplete.count(), 1);
        QCOMPARE(incomplete.first().first().toString(), QStringLiteral("1.1.0"));
    }
    KyUpdater again;
    QSignalSpy incomplete(&again, &KyUpdater::sglIncomplete);
    again.start();
    QCOMPARE(incomplete.count(), 0);

    // The update that did complete says nothing.
    setUpdateSetting(QStringLiteral("Update/AttemptedVersion"), QStringLiteral("1.0.0"));
    KyUpdater updated;
    QSignalSpy none(&updated, &KyUpdater::sglIncomplete);
    updated.start();
    QCOMPARE(none.count(), 0);
    QVERIFY(updateSetting(QStringLiteral("Update/AttemptedVersion")).isNull());
}

// Faults guarded against: the notice stacked on a dialog the streamer has
// not answered, and a second notice beside the first.
void TestUpdateSchedule::oneNoticeNeverOverADialog()
{
    kyUpdatePrompter prompter(nullptr, nullptr);
    QSignalSpy offered(prompter.updater(), &KyUpdater::sglOffer);
    QDialog other;
    other.setModal(true);
    other.show();
    prompter.checkNow();
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
    QVERIFY(!prompter.notice());

    other.close();
    QTRY_VERIFY_WITH_TIMEOUT(prompter.notice() && prompter.notice()->isVisible(), kAnswerMs);
    const QPointer<kyUpdateNotice> first = prompter.notice();
    prompter.checkNow();
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 2, kAnswerMs);
    QCOMPARE(prompter.notice(), first.data());
    int notices = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        notices += qobject_cast<kyUpdateNotice *>(widget) && widget->isVisible() ? 1 : 0;
    QCOMPARE(notices, 1);
    first->close();
}

KY_TEST_MAIN(TestUpdateSchedule)
#include "testupdateschedule.moc"
