#include "e2esupport.h"
#include "kytestmain.h"
#include "kytesttools.h"
#include "mainwindowstate.h"
#include "ownprocesses.h"
#include "sandboxserver.h"

#include "app/kymain.h"
#include "common/kypaths.h"
#include "common/kyprocesses.h"
#include "common/kytexts.h"
#include "logic/installpathsettings.h"
#include "logic/kytoolfacts.h"
#include "platform/registry.h"
#include "ui/kyoromanager.h"

#include <QDialog>
#include <QDir>
#include <QJsonObject>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

// One program life, start to quit, as the entry function builds it.
class TestE2eSession : public QObject
{
    Q_OBJECT

    SandboxServer m_server;
    std::unique_ptr<KyAppSession> m_session;

    kyoroManager *window() { return m_session->window(); }
    template<typename T>
    T *child(const char *name) { return ::child<T>(window(), name); }
    bool shown(const char *name) { return !child<QWidget>(name)->isHidden(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        kyplatform::registryCreateKey(kyplatform::kUninstallKey);
        QDir(appDir() + QStringLiteral("/tools")).removeRecursively();
        QDir(downloadDir()).removeRecursively();
    }

    void cleanupTestCase()
    {
        m_session.reset();
        kytest::removeInstalledTools();
    }

    void firstStartOnACleanAccount()
    {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::DataLocation);
        QVERIFY(!QDir(data).exists());
        m_session = std::make_unique<KyAppSession>(*static_cast<kytest::SessionApp *>(qApp));
        QVERIFY(window()->isVisible());
        QCOMPARE(kytest::shownTool(window()), TOOL_NAME_KYTOOL);
        QVERIFY(shown("button_install_kyoro"));
        QVERIFY(QDir(data).exists());
        for (const char *dir : {"tools/KYTool", "tools/KYShowTool", "tools/obs-studio"})
            QVERIFY2(QDir(appDir() + QLatin1Char('/') + QLatin1String(dir)).exists(), dir);

        const QJsonObject start = m_server.waitForEvent(QStringLiteral("startup_loading"));
        QCOMPARE(start.value(QStringLiteral("pc")).toString(), QStringLiteral("com_module"));
        for (const char *key : {"pc_os", "cpu_num", "cpu_mod", "cpu_freq", "cpu_ven", "vc_mod"})
            QVERIFY2(start.value(QStringLiteral("e")).toObject().contains(QLatin1String(key)), key);
        // Sent in this order (the two requests may arrive in either).
        const QJsonObject home = m_server.waitForEvent(QStringLiteral("init_page_home"));
        QVERIFY(!home.isEmpty());
        QVERIFY(start.value(QStringLiteral("pt")).toDouble() <= home.value(QStringLiteral("pt")).toDouble());
    }

    void installTheClassicToolAndOpenIt()
    {
        kytest::answerNextModal<QDialog>([](QDialog *dialog) { dialog->accept(); }, 15000);
        QTest::mouseClick(child<QPushButton>("button_install_kyoro"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_open_kyoro"), 30000);
        QVERIFY(QFile::exists(appDir() + QStringLiteral("/tools/KYTool/kyClientLancher.exe")));
        QTest::mouseClick(child<QPushButton>("button_open_kyoro"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_running_kyoro"), 15000);
        QVERIFY(!child<QPushButton>("button_running_kyoro")->isEnabled());
        QVERIFY(kytest::isRunning(QStringLiteral("KYTool.exe")));
    }

    void quitFromTheTraySavesTheSettings()
    {
        window()->installPathSettings()->setInstallPath(TOOL_NAME_OBS_STUDIO, QStringLiteral("D:/Streaming/obs-studio"));
        auto *menu = window()->findChild<QMenu *>();
        QVERIFY(menu);
        menu->actions().last()->trigger();
        QTRY_VERIFY(!window()->isVisible());
        QVERIFY(!m_server.waitForEvent(QStringLiteral("endup_quit")).isEmpty());
        m_session.reset();
        QSettings saved(systemSettingFilePath(), QSettings::IniFormat);
        QCOMPARE(saved.value(QStringLiteral("obs-studio/installPath")).toString(), QStringLiteral("D:/Streaming/obs-studio"));
        QCOMPARE(saved.value(QStringLiteral("KYTool/installPath")).toString(), appDir() + QStringLiteral("/tools/KYTool"));
    }
};

KY_TEST_MAIN_WITH(kytest::SessionApp, TestE2eSession)
#include "teste2esession.moc"
