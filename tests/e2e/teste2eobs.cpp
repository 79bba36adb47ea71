#include "e2esupport.h"
#include "kytestmain.h"
#include "kytesttools.h"
#include "mainwindowstate.h"
#include "ownprocesses.h"
#include "processwatch.h"
#include "sandboxserver.h"

#include "app/kymain.h"
#include "common/kypaths.h"
#include "common/kyprocesses.h"
#include "logic/kytoolfacts.h"
#include "ui/kyliveaddressset.h"
#include "ui/kyloadsliderwidget.h"
#include "ui/kyobsinstallwidget.h"
#include "ui/kyoromanager.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include <memory>

namespace {
constexpr int kTimeout = 30000;
const QString kInstaller = QStringLiteral("OBS-Studio-21.0.1-Full-Installer.exe");
const QString kProfile = QStringLiteral("直播");
const QString kServer = QStringLiteral("rtmp://127.0.0.1/live");
const QString kKey = QStringLiteral("kyoro_e2e_key");

void click(QWidget *parent, const char *name)
{
    QTest::mouseClick(child<QPushButton>(parent, name), Qt::LeftButton);
}

QString page(QWidget *wizard)
{
    return child<QStackedWidget>(wizard, "stackedWidget")->currentWidget()->objectName();
}

// On the wizard's folder page: notes the folder it proposes, goes on, waits
// for the done page and confirms it. False when the done page never came.
bool installFromTheFolderPage(QWidget *wizard, QString &folder)
{
    folder = child<QLineEdit>(wizard, "ledit_installPath")->text();
    click(wizard, "button_nextStep");
    if (!QTest::qWaitFor([wizard]() { return page(wizard) == QLatin1String("page_5"); }, kTimeout))
        return false;
    click(wizard, "button_confirm");
    return true;
}

QString obsStudioConfig(const QString &relative)
{
    return roamingAppDataRoot() + QStringLiteral("obs-studio/") + relative;
}

// What the profile OBS Studio starts with holds for the push: "type" and the
// two settings.
QStringList pushSettings()
{
    const QJsonObject service = QJsonDocument::fromJson(
        kytest::readFile(obsStudioConfig(QStringLiteral("basic/profiles/%1/service.json").arg(kProfile)))).object();
    const QJsonObject settings = service.value(QStringLiteral("settings")).toObject();
    return {service.value(QStringLiteral("type")).toString(), settings.value(QStringLiteral("server")).toString(),
            settings.value(QStringLiteral("key")).toString()};
}
} // namespace

// A streamer's road with OBS Studio in one program life: install it through
// the toolbox's wizard, fetch the push code through the login component, and
// install it again over the installed copy.
class TestE2eObs : public QObject
{
    Q_OBJECT

    SandboxServer m_server;
    std::unique_ptr<KyAppSession> m_session;
    QString m_folder;

    kyoroManager *window() { return m_session->window(); }
    bool shown(const char *name) { return !child<QWidget>(window(), name)->isHidden(); }
    void removeTools()
    {
        kytest::removeInstalledTools({QStringLiteral("LiveCodeModule.exe")});
        QDir(appDir() + QStringLiteral("/module")).removeRecursively();
    }
    bool obsProgramsInstalled()
    {
        return QFileInfo(m_folder + QStringLiteral("/bin/32bit/obs32.exe")).isExecutable()
            && QFileInfo(m_folder + QStringLiteral("/bin/64bit/obs64.exe")).isExecutable();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        removeTools();
        m_session = std::make_unique<KyAppSession>(*static_cast<kytest::SessionApp *>(qApp));
        QVERIFY(window()->isVisible());
    }

    void cleanupTestCase()
    {
        m_session.reset();
        removeTools();
    }

    void installObsStudioFromTheToolbox()
    {
        click(window(), "button_toolbox");
        QCOMPARE(child<QStackedWidget>(window(), "stackedWidget")->currentWidget()->objectName(),
                 QStringLiteral("page_toolbox"));
        QString firstPage;
        bool done = false;
        kytest::driveNextModal<kyOBSInstallWidget>([&](kyOBSInstallWidget *wizard) {
            firstPage = page(wizard);
            click(wizard, "button_confirmInstall_2");
            done = installFromTheFolderPage(wizard, m_folder);
        });
        click(window(), "button_installOBS");
        QCOMPARE(firstPage, QStringLiteral("page"));
        QVERIFY(done);
        QCOMPARE(m_folder, appDir() + QStringLiteral("/tools/obs-studio"));
        QVERIFY(obsProgramsInstalled());
        QVERIFY(m_server.requests().contains(
            QStringLiteral("GET /client_download/VURuv/files/InstallFile/") + kInstaller));

        // The live page's OBS card shows it installed.
        click(window(), "button_live");
        click(window(), "button_OBSLive");
        child<QRadioButton>(window(), "radio_studio")->click();
        QCOMPARE(kytest::shownTool(window()), TOOL_NAME_OBS_STUDIO);
        QTRY_VERIFY(shown("button_open_OBS"));
        QVERIFY(shown("button_liveset"));
    }

    void pushCodeFromTheLoginComponent()
    {
        QVERIFY(shown("button_liveset"));
        // The streamer's own OBS Studio profile is the one to write.
        QVERIFY(kytest::writeFile(obsStudioConfig(QStringLiteral("global.ini")),
                                  QStringLiteral("[Basic]\nProfile=%1\nProfileDir=%1\n").arg(kProfile).toUtf8()));
        QVERIFY(kytest::writeFile(obsStudioConfig(QStringLiteral("basic/profiles/%1/basic.ini").arg(kProfile)),
                                  QStringLiteral("[General]\nName=%1\n").arg(kProfile).toUtf8()));
        // A second-long transfer keeps the loading dialog up long enough to see.
        const QString archive = QStringLiteral("/client_download/VURuv/files/ModuleDownload/LiveCodeModule.zip");
        const qint64 size = QFileInfo(kytest::sandboxDir() + QStringLiteral("/www") + archive).size();
        QVERIFY(m_server.addRule(QJsonObject{{"path", archive}, {"slow", qMax<qint64>(1, size)}}));
        qputenv("KYORO_LIVECODE_SCRIPT", QStringLiteral("wait:200;broadcast:%1,%2").arg(kServer, kKey).toUtf8());

        bool loading = false;
        bool accepted = false;
        kytest::driveNextModal<kyLiveAddressSet>([&](kyLiveAddressSet *dialog) {
            // No component here yet: "获取" loads it from the server first.
            kytest::answerNextModal<kyLoadSliderWidget>([&](kyLoadSliderWidget *) { loading = true; }, kTimeout);
            click(dialog, "button_get");
            QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), kTimeout);
            accepted = dialog->result() == QDialog::Accepted;
        });
        click(window(), "button_liveset");
        QVERIFY(loading);
        QVERIFY(accepted);
        QVERIFY(m_server.requests().contains(QStringLiteral("GET ") + archive));

        QCOMPARE(pushSettings(), (QStringList{QStringLiteral("rtmp_custom"), kServer, kKey}));
        QVERIFY(!QFileInfo::exists(obsStudioConfig(QStringLiteral("basic/profiles/未命名"))));
        // With the address in place the window starts OBS Studio.
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_running_OBS"), kTimeout);
    }

    void reinstallOverTheInstalledCopy()
    {
        // The streamer closes OBS Studio first; the card follows.
        kytest::endOwnProcesses({QStringLiteral("obs32.exe"), QStringLiteral("obs64.exe")});
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_open_OBS"), kTimeout);

        // Only this run's: the installer runs from the download folder, the
        // uninstaller from a copy in the temporary folder.
        kytest::ProcessWatch installer(kInstaller);
        kytest::ProcessWatch uninstaller(QStringLiteral("Un_A.exe"));
        const int downloads = m_server.requests().count(
            QStringLiteral("GET /client_download/VURuv/files/InstallFile/") + kInstaller);
        bool installedShown = false;
        QString folder;
        bool done = false;
        kytest::driveNextModal<kyOBSInstallWidget>([&](kyOBSInstallWidget *wizard) {
            installedShown = child<QLabel>(wizard, "label_testInstalled_2")->isVisible()
                && !child<QPushButton>(wizard, "button_confirmInstall_2")->isVisible();
            QTest::mousePress(child<QLabel>(wizard, "label_clickReload_2"), Qt::LeftButton);
            done = installFromTheFolderPage(wizard, folder);
        });
        click(window(), "button_toolbox");
        click(window(), "button_installOBS");
        QVERIFY(installedShown);
        QCOMPARE(folder, m_folder);
        QVERIFY(done);

        // The installer kept from the first time: no new download, the
        // installed copy went out silently, then the installer ran once.
        QCOMPARE(m_server.requests().count(QStringLiteral("GET /client_download/VURuv/files/InstallFile/") + kInstaller),
                 downloads);
        QCOMPARE(uninstaller.starts, 1);
        QVERIFY(installer.starts >= 1);
        QCOMPARE(installer.most, 1);
        QVERIFY(obsProgramsInstalled());
        click(window(), "button_live");
        QTRY_VERIFY(shown("button_open_OBS"));
        // The push setting lives in OBS's own folder and outlasts the reinstall.
        QCOMPARE(pushSettings(), (QStringList{QStringLiteral("rtmp_custom"), kServer, kKey}));
    }
};

KY_TEST_MAIN_WITH(kytest::SessionApp, TestE2eObs)
#include "teste2eobs.moc"
