#include "kytestmain.h"
#include "kytesttools.h"
#include "uitesthelpers.h"

#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "logic/installpathsettings.h"
#include "logic/kytoolfacts.h"
#include "ui/kyinstallwidget.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyoromanager.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

namespace {
// Counts presses that get past every earlier filter to the label.
class PressCounter : public QObject
{
public:
    int presses = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            ++presses;
        return false;
    }
};


const QString &toolOfMode(int mode)
{
    static const QString *tools[] = {&TOOL_NAME_KYTOOL, &TOOL_NAME_KYSHOW, &TOOL_NAME_OBS_CLASSIC,
                                     &TOOL_NAME_OBS_STUDIO};
    return *tools[mode];
}
} // namespace

class TestInstallWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void modes_data();
    void modes();
    void obsLinkOpensSiteAndPassesPress();

    void installDirRules_data();
    void installDirRules();
    void prepareInstallDir_data();
    void prepareInstallDir();

    void confirmStoresFolder_data();
    void confirmStoresFolder();
    void refusedFolderKeepsDialogOpen_data();
    void refusedFolderKeepsDialogOpen();
    void closeRejects();
    void folderPicker();

private:
    kyoroManager *m_window = nullptr;
    kytest::UrlCatcher m_urls;
    QString m_defaults[4];
};

void TestInstallWidget::initTestCase()
{
    // The folders it makes on drives are the Wine prefix's under Wine: none
    // of another test's is found, and none is left behind.
    kytest::removeInstalledTools();
    // The dialog reads and stores folders through the main window.
    m_window = new kyoroManager;
    m_window->initLogic();
    QVERIFY(m_window->installPathSettings());
    for (int mode = 0; mode < 4; ++mode)
        m_defaults[mode] = m_window->installPathSettings()->installPath(toolOfMode(mode));
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_urls, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_urls, "open");
}

void TestInstallWidget::init()
{
    for (int mode = 0; mode < 4; ++mode)
        m_window->installPathSettings()->setInstallPath(toolOfMode(mode), m_defaults[mode]);
    m_urls.urls.clear();
}

void TestInstallWidget::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    delete m_window;
}

void TestInstallWidget::modes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("linkShown");
    QTest::newRow("kyoro classic") << 0 << "安装Kyoro直播伴侣" << false;
    QTest::newRow("kyoro show") << 1 << "安装Kyoro直播伴侣" << false;
    QTest::newRow("obs classic") << 2 << "安装OBS" << true;
    QTest::newRow("obs studio") << 3 << "安装OBS" << true;
}

void TestInstallWidget::modes()
{
    QFETCH(int, mode);
    QFETCH(QString, title);
    QFETCH(bool, linkShown);

    kyInstallWidget dialog(m_window);
    QCOMPARE(child<QLabel>(&dialog, "label_install")->text(), QStringLiteral("TextLabel"));
    dialog.setMode(mode);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.mode(), mode);
    QCOMPARE(child<QLabel>(&dialog, "label_install")->text(), title);
    auto *link = child<QLabel>(&dialog, "label_OBSurl");
    QCOMPARE(link->isVisible(), linkShown);
    if (linkShown)
        QCOMPARE(link->text(), QStringLiteral("访问OBS网站手动安装"));
    QCOMPARE(child<QLineEdit>(&dialog, "ledit_installPath")->text(), m_defaults[mode]);

    // An unknown mode changes nothing.
    QTest::ignoreMessage(QtWarningMsg, "install folder dialog: unknown mode 7");
    dialog.setMode(7);
    QCOMPARE(dialog.mode(), mode);
    QCOMPARE(child<QLabel>(&dialog, "label_install")->text(), title);
}

void TestInstallWidget::obsLinkOpensSiteAndPassesPress()
{
    kyInstallWidget dialog(m_window);
    auto *link = child<QLabel>(&dialog, "label_OBSurl");
    // Installed first, so it runs after the dialog's own filter.
    PressCounter counter;
    link->installEventFilter(&counter);
    dialog.setMode(3);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QTest::mousePress(link, Qt::LeftButton);
    QTest::mouseRelease(link, Qt::LeftButton);
    QCOMPARE(m_urls.urls, QList<QUrl>{QUrl(obsProjectSiteUrl())});
    QCOMPARE(counter.presses, 1);
}

void TestInstallWidget::installDirRules_data()
{
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("proposed folder kept") << "D:/Apps/KYTool" << "D:/Apps/KYTool" << "D:/Apps/KYTool";
    QTest::newRow("proposed folder, other separators")
        << "D:\\Apps\\KYTool\\" << "D:/Apps/KYTool" << "D:/Apps/KYTool";
    QTest::newRow("stored with backslashes") << "D:/Apps/KYTool" << "D:\\Apps\\KYTool" << "D:/Apps/KYTool";
    QTest::newRow("stored with a trailing slash") << "D:/Apps/KYTool" << "D:/Apps/KYTool/" << "D:/Apps/KYTool";
    QTest::newRow("other folder gets the sub-folder") << "D:/Apps" << "C:/tools/KYTool" << "D:/Apps/KYTool";
    QTest::newRow("backslashes and trailing separators")
        << "D:\\Apps\\\\" << "C:/tools/KYTool" << "D:/Apps/KYTool";
    QTest::newRow("bare drive") << "Z:\\" << "C:/tools/KYTool" << "Z:/KYTool";
    QTest::newRow("rooted folder") << "/opt/tools/" << "C:/tools/KYTool" << "/opt/tools/KYTool";
}

void TestInstallWidget::installDirRules()
{
    QFETCH(QString, entered);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QCOMPARE(chosenInstallDir(entered, stored, QStringLiteral("KYTool")), expected);
}

void TestInstallWidget::prepareInstallDir_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("createdAt");
    const QString root = kytest::testRoot();
    QTest::newRow("existing folder") << root << true << root;
    QTest::newRow("missing drive folder") << "Q:/Apps/Kyoro Live/KYTool" << true
                                          << kytest::drivesDir() + "/q/Apps/Kyoro Live/KYTool";
    QTest::newRow("missing drive folder, backslashes") << "R:\\Apps\\obs-studio" << true
                                                       << kytest::drivesDir() + "/r/Apps/obs-studio";
    QTest::newRow("bare drive") << "Y:" << true << kytest::drivesDir() + "/y";
    QTest::newRow("missing rooted folder") << root + "/made/here" << true << root + "/made/here";
    QTest::newRow("missing relative folder") << "relative/KYTool" << false << QString();
    // Not a folder an earlier row made: on Windows the name is drive Q:'s
    // current folder plus "Elsewhere", and an existing folder is taken.
    QTest::newRow("drive letter without separator") << "Q:Elsewhere" << false << QString();
    QTest::newRow("existing relative folder") << "." << true << QString();
    QTest::newRow("empty") << "" << false << QString();
}

void TestInstallWidget::prepareInstallDir()
{
    QFETCH(QString, path);
    QFETCH(bool, ok);
    QFETCH(QString, createdAt);
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(kytest::tempDir());

    QCOMPARE(::prepareInstallDir(path), ok);
    if (!createdAt.isEmpty())
        QVERIFY(QFileInfo(createdAt).isDir());
    // A refused relative folder is not created either.
    QVERIFY(!QDir(kytest::tempDir() + QStringLiteral("/relative")).exists());
    QVERIFY(!QDir(kytest::tempDir() + QStringLiteral("/Q:Elsewhere")).exists());
    QDir::setCurrent(cwd);
}

void TestInstallWidget::confirmStoresFolder_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("folder");
    QTest::newRow("proposed folder unchanged") << 0 << QString() << m_defaults[0] << m_defaults[0];
    QTest::newRow("other drive folder") << 0 << "D:\\Apps\\" << "D:/Apps/KYTool" << kytest::drivesDir() + "/d/Apps/KYTool";
    QTest::newRow("show edition") << 1 << "D:/Apps" << "D:/Apps/KYShowTool" << kytest::drivesDir() + "/d/Apps/KYShowTool";
    QTest::newRow("obs studio") << 3 << "E:" << "E:/obs-studio" << kytest::drivesDir() + "/e/obs-studio";
    QTest::newRow("rooted folder") << 3 << kytest::testRoot() + "/apps/"
                                   << kytest::testRoot() + "/apps/obs-studio"
                                   << kytest::testRoot() + "/apps/obs-studio";
}

void TestInstallWidget::confirmStoresFolder()
{
    QFETCH(int, mode);
    QFETCH(QString, entered);
    QFETCH(QString, stored);
    QFETCH(QString, folder);

    kyInstallWidget dialog(m_window);
    dialog.setMode(mode);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (!entered.isNull())
        child<QLineEdit>(&dialog, "ledit_installPath")->setText(entered);

    QTest::mouseClick(child<QPushButton>(&dialog, "button_confirmInstall"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(m_window->installPathSettings()->installPath(toolOfMode(mode)), stored);
    QVERIFY(QFileInfo(folder).isDir());
}

void TestInstallWidget::refusedFolderKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("entered");
    QTest::newRow("relative") << "apps\\kyoro";
    QTest::newRow("empty") << "";
    QTest::newRow("an existing file") << kytest::testRoot() + "/afile";
}

void TestInstallWidget::refusedFolderKeepsDialogOpen()
{
    QFETCH(QString, entered);
    QVERIFY(kytest::writeFile(kytest::testRoot() + QStringLiteral("/afile"), "x"));

    kyInstallWidget dialog(m_window);
    dialog.setMode(0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    child<QLineEdit>(&dialog, "ledit_installPath")->setText(entered);

    QString message;
    bool cancelShown = true;
    kytest::answerNextModal<kyMsgTipWidget>([&](kyMsgTipWidget *tip) {
        message = child<QLabel>(tip, "label_tip")->text();
        cancelShown = child<QPushButton>(tip, "button_cancel")->isVisible();
        child<QPushButton>(tip, "button_confirm")->click();
    });
    QTest::mouseClick(child<QPushButton>(&dialog, "button_confirmInstall"), Qt::LeftButton);

    QCOMPARE(message, QStringLiteral("\"%1\"安装目录不存在，请重新设置").arg(entered));
    QVERIFY(!cancelShown);
    QVERIFY(dialog.isVisible());
    QCOMPARE(m_window->installPathSettings()->installPath(TOOL_NAME_KYTOOL), m_defaults[0]);
}

void TestInstallWidget::closeRejects()
{
    kyInstallWidget dialog(m_window);
    dialog.setMode(1);
    child<QLineEdit>(&dialog, "ledit_installPath")->setText(QStringLiteral("D:/Elsewhere"));
    kytest::answerNextModal<kyInstallWidget>([](kyInstallWidget *shown) {
        QTest::mouseClick(child<QPushButton>(shown, "button_close"), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(m_window->installPathSettings()->installPath(TOOL_NAME_KYSHOW), m_defaults[1]);
}

void TestInstallWidget::folderPicker()
{
    kyInstallWidget dialog(m_window);
    dialog.setMode(0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *edit = child<QLineEdit>(&dialog, "ledit_installPath");
    auto *choose = child<QPushButton>(&dialog, "button_chosePath");
    const QString picked = kytest::testRoot() + QStringLiteral("/picked");
    QVERIFY(QDir().mkpath(picked));

    // Cancelling keeps the text.
    QString caption;
    kytest::answerNextModal<QFileDialog>([&](QFileDialog *files) {
        caption = files->windowTitle();
        files->reject();
    });
    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("安装目录"));
    QCOMPARE(edit->text(), m_defaults[0]);

    kytest::answerNextModal<QFileDialog>([&](QFileDialog *files) {
        files->setDirectory(picked);
        static_cast<QDialog *>(files)->accept();
    });
    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(edit->text(), picked);
}

KY_TEST_MAIN(TestInstallWidget)
#include "testinstallwidget.moc"
