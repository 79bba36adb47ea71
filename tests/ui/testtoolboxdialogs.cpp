#include "filebrowserwatch.h"
#include "kytestmain.h"
#include "kytesttools.h"
#include "uitesthelpers.h"

#include "common/kypaths.h"
#include "logic/kytoolfacts.h"
#include "ui/kycenterpicturewidget.h"
#include "ui/kychooserecordpath.h"
#include "ui/kymsgtipwidget.h"
#include "logic/kylogicfw.h"
#include "platform/registry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

class TestToolboxDialogs : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxEnds_data();
    void messageBoxEnds();

    void carouselPairs_data();
    void carouselPairs();
    void carouselToggleAndReset();
    void carouselArrowsFollowTheMouse();

    void recordRowsWithoutInstalledTools();
    void recordRowOfInstalledTool();
    void recordFolderInWindowsForm();

    void initTestCase();
    void cleanupTestCase();

private:
    // What the stand-in file browser was started with, once it has run.
    QStringList openedWith();

    std::unique_ptr<kytest::FileBrowserWatch> m_browser;
};

void TestToolboxDialogs::initTestCase()
{
    // The record rows ask the tools manager, which lives in the hub.
    KyLogicFW::instance()->initialize();

    m_browser = std::make_unique<kytest::FileBrowserWatch>();
    // Drives and entries of other tests are not this one's to find.
    kytest::removeInstalledTools();
}

void TestToolboxDialogs::cleanupTestCase()
{
    m_browser.reset();
}

QStringList TestToolboxDialogs::openedWith()
{
    return m_browser->opened();
}

void TestToolboxDialogs::messageBoxEnds_data()
{
    QTest::addColumn<bool>("showCancel");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    QTest::newRow("confirm, no cancel") << false << "button_confirm" << int(QDialog::Accepted);
    QTest::newRow("close, no cancel") << false << "button_close" << int(QDialog::Rejected);
    QTest::newRow("confirm") << true << "button_confirm" << int(QDialog::Accepted);
    QTest::newRow("cancel") << true << "button_cancel" << int(QDialog::Rejected);
    QTest::newRow("close") << true << "button_close" << int(QDialog::Rejected);
}

void TestToolboxDialogs::messageBoxEnds()
{
    QFETCH(bool, showCancel);
    QFETCH(QString, button);
    QFETCH(int, result);
    const QString message = QStringLiteral("安装包下载失败，可能是网络不通，请检查网络后重试");

    kyMsgTipWidget tip(message, showCancel);
    bool seen = false;
    QString tipText;
    QString title;
    bool confirmShown = false;
    bool cancelShown = false;
    kytest::answerNextModal<kyMsgTipWidget>([&](kyMsgTipWidget *dialog) {
        seen = true;
        tipText = child<QLabel>(dialog, "label_tip")->text();
        title = child<QLabel>(dialog, "label_titleName")->text();
        confirmShown = child<QPushButton>(dialog, "button_confirm")->isVisible();
        cancelShown = child<QPushButton>(dialog, "button_cancel")->isVisible();
        QTest::mouseClick(child<QPushButton>(dialog, button.toLatin1().constData()), Qt::LeftButton);
    });
    QCOMPARE(tip.exec(), result);
    QVERIFY(seen);
    QCOMPARE(tipText, message);
    QCOMPARE(title, QStringLiteral("提示"));
    QVERIFY(confirmShown);
    QCOMPARE(cancelShown, showCancel);
}

void TestToolboxDialogs::carouselPairs_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("classic") << TOOL_NAME_KYTOOL << ":/Resources/kyoro_classic_1.png"
                             << ":/Resources/kyoro_classic_2.png";
    QTest::newRow("show") << TOOL_NAME_KYSHOW << ":/Resources/kyoro_show_1.png" << ":/Resources/kyoro_show_2.png";
    QTest::newRow("obs classic") << TOOL_NAME_OBS_CLASSIC << ":/Resources/OBS_classic_1.png"
                                 << ":/Resources/OBS_classic_2.png";
    QTest::newRow("obs studio") << TOOL_NAME_OBS_STUDIO << ":/Resources/OBS_studio_1.png"
                                << ":/Resources/OBS_studio_2.png";
}

void TestToolboxDialogs::carouselPairs()
{
    QFETCH(QString, tool);
    QFETCH(QString, first);
    QFETCH(QString, second);
    kyCenterPictureWidget carousel;
    carousel.setTool(tool);
    QCOMPARE(carousel.currentPicture(), first);
    child<QPushButton>(&carousel, "button_right")->click();
    QCOMPARE(carousel.currentPicture(), second);
}

void TestToolboxDialogs::carouselToggleAndReset()
{
    kyCenterPictureWidget carousel;
    carousel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&carousel));
    auto *firstDot = child<QLabel>(&carousel, "label_switch_selected");
    auto *secondDot = child<QLabel>(&carousel, "label_switch_selected_2");
    auto *left = child<QPushButton>(&carousel, "button_left");
    auto *right = child<QPushButton>(&carousel, "button_right");

    // Starts on the classic edition's first picture.
    QCOMPARE(carousel.currentPicture(), QStringLiteral(":/Resources/kyoro_classic_1.png"));
    QVERIFY(firstDot->isVisible());
    QVERIFY(!secondDot->isVisible());

    // Two pictures: either arrow steps to the other one.
    right->click();
    QCOMPARE(carousel.currentPicture(), QStringLiteral(":/Resources/kyoro_classic_2.png"));
    const QPixmap shown = child<QLabel>(&carousel, "label_picture")->pixmap(Qt::ReturnByValue);
    QCOMPARE(shown.size(), QSize(400, 264));
    QCOMPARE(shown.toImage(), QPixmap(carousel.currentPicture()).toImage());
    QVERIFY(!firstDot->isVisible());
    QVERIFY(secondDot->isVisible());
    left->click();
    QCOMPARE(carousel.currentPicture(), QStringLiteral(":/Resources/kyoro_classic_1.png"));
    left->click();
    QCOMPARE(carousel.currentPicture(), QStringLiteral(":/Resources/kyoro_classic_2.png"));

    // Setting the same tool again goes back to the first picture and dot.
    carousel.setTool(TOOL_NAME_KYTOOL);
    QCOMPARE(carousel.currentPicture(), QStringLiteral(":/Resources/kyoro_classic_1.png"));
    QVERIFY(firstDot->isVisible());
    QVERIFY(!secondDot->isVisible());

    // An unknown name keeps the pictures but still resets to the first.
    carousel.setTool(TOOL_NAME_OBS_STUDIO);
    right->click();
    carousel.setTool(QStringLiteral("no such tool"));
    QCOMPARE(carousel.currentPicture(), QStringLiteral(":/Resources/OBS_studio_1.png"));
    QVERIFY(firstDot->isVisible());
}

void TestToolboxDialogs::carouselArrowsFollowTheMouse()
{
    QWidget card;
    card.resize(749, 480);
    auto *carousel = new kyCenterPictureWidget(&card);
    carousel->move(325, 36);
    card.show();
    QVERIFY(QTest::qWaitForWindowExposed(&card));
    auto *left = child<QPushButton>(carousel, "button_left");
    auto *right = child<QPushButton>(carousel, "button_right");
    QVERIFY(!left->isVisible());
    QVERIFY(!right->isVisible());

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(carousel, &enter);
    QVERIFY(left->isVisible());
    QVERIFY(right->isVisible());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(carousel, &leave);
    QVERIFY(!left->isVisible());
    QVERIFY(!right->isVisible());

    // The same with the mouse: onto the card, over the picture, off again.
    QTest::mouseMove(&card, QPoint(100, 400));
    QTest::mouseMove(&card, QPoint(500, 150));
    QTRY_VERIFY(left->isVisible());
    QVERIFY(right->isVisible());
    QTest::mouseMove(&card, QPoint(100, 400));
    QTRY_VERIFY(!left->isVisible());
    QVERIFY(!right->isVisible());
}

namespace {
const char *const kRecordEdits[] = {"lineEdit", "lineEdit_2", "lineEdit_3", "lineEdit_4"};
const char *const kRecordButtons[] = {"button_openFolder_1", "button_openFolder_2", "button_openFolder_3",
                                      "button_openFolder_4"};

// The classic edition's own settings file with its record folder.
void writeKyToolRecordFolder(const QByteArray &jsonFolder)
{
    QVERIFY(kytest::writeFile(kytest::dataHome() + QStringLiteral("/KYTool/SystemSetting"),
                              "{\"other.video.file.path\": \"" + jsonFolder + "\"}"));
}
} // namespace

void TestToolboxDialogs::recordRowsWithoutInstalledTools()
{
    // A record folder in the settings does not count while the tool is not
    // installed (and the OBS readers would answer the Videos folder).
    writeKyToolRecordFolder("D:\\\\My Videos\\\\rec");
    kyChooseRecordPath dialog;
    for (int row = 0; row < 4; ++row) {
        auto *edit = child<QLineEdit>(&dialog, kRecordEdits[row]);
        QVERIFY2(edit->text().isEmpty(), qPrintable(edit->text()));
        QCOMPARE(edit->focusPolicy(), Qt::NoFocus);
        QVERIFY2(!child<QPushButton>(&dialog, kRecordButtons[row])->isEnabled(), kRecordButtons[row]);
    }
}

void TestToolboxDialogs::recordRowOfInstalledTool()
{
    // The classic edition installed as its installer leaves it: an uninstall
    // entry and the launcher beside the uninstaller.
    const std::string entry = std::string(kyplatform::kUninstallKey) + "\\" + TOOL_NAME_KYTOOL.toStdString();
    QVERIFY(kyplatform::registryWriteString(entry, "DisplayName", TOOL_NAME_KYTOOL.toStdString()));
    QVERIFY(kyplatform::registryWriteString(entry, "UninstallString", "E:\\KY Live\\uninstall.exe"));
    QVERIFY(kytest::writeFile(nativePath(QStringLiteral("E:\\KY Live\\kyClientLancher.exe")), "program"));
    writeKyToolRecordFolder("D:\\\\My Videos\\\\rec 1");

    kyChooseRecordPath dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(child<QLineEdit>(&dialog, "lineEdit")->text(), QStringLiteral("D:/My Videos/rec 1"));
    auto *open = child<QPushButton>(&dialog, "button_openFolder_1");
    QVERIFY(open->isEnabled());
    for (int row = 1; row < 4; ++row)
        QVERIFY2(!child<QPushButton>(&dialog, kRecordButtons[row])->isEnabled(), kRecordButtons[row]);

    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(openedWith(), QStringList{QDir::toNativeSeparators(nativePath(QStringLiteral("D:/My Videos/rec 1")))});
    QVERIFY(dialog.isVisible());

    QVERIFY(kyplatform::registryDeleteTree(entry));
}

void TestToolboxDialogs::recordFolderInWindowsForm()
{
    kyChooseRecordPath dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The OBS Studio row as its settings would fill it on Windows.
    child<QLineEdit>(&dialog, "lineEdit_4")->setText(QStringLiteral("E:\\录像\\a b"));
    auto *open = child<QPushButton>(&dialog, "button_openFolder_4");
    open->setEnabled(true);
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(openedWith(), QStringList{QDir::toNativeSeparators(nativePath(QStringLiteral("E:/录像/a b")))});
}

KY_TEST_MAIN(TestToolboxDialogs)
#include "testtoolboxdialogs.moc"
