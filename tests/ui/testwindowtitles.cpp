#include "kytestmain.h"
#include "uitesthelpers.h"

#include "common/kytexts.h"
#include "logic/kytoolfacts.h"
#include "ui/kychooserecordpath.h"
#include "ui/kygetcodetutorialwidget.h"
#include "ui/kygetrtmpfalsewidget.h"
#include "ui/kyinstallwidget.h"
#include "ui/kykyoroinstallwidget.h"
#include "ui/kyliveaddressset.h"
#include "ui/kyloadsliderwidget.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyobsinstallwidget.h"
#include "ui/kyoromanager.h"
#include "ui/kyupdatenotice.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <functional>
#include <memory>

// Every top-level window as the system shows it: a title a streamer
// understands in the task bar and the window switcher (the program's name or
// the dialog's own heading, never a class name), and a title band whose
// close button, logo and heading lie on top of the band's picture, so that
// the close button takes the mouse.
namespace {

struct TopLevel {
    QString objectName;
    QString title;
    std::function<QWidget *(QWidget *mainWindow)> make;
};

QWidget *installWidget(QWidget *parent, int mode)
{
    auto *dialog = new kyInstallWidget(parent);
    dialog->setMode(mode);
    return dialog;
}

const QList<TopLevel> &topLevels()
{
    static const QList<TopLevel> list = {
        {QStringLiteral("kyChooseRecordPath"), QStringLiteral("选择文件录制路径"),
         [](QWidget *p) { return new kyChooseRecordPath(p); }},
        {QStringLiteral("kyGetCodeTutorialWidget"), QStringLiteral("如何获取直播码"),
         [](QWidget *p) { return new kyGetCodeTutorialWidget(p); }},
        // Made without a parent, as the live address dialog does: its flags
        // carry no window type, so only a parentless one is a window.
        {QStringLiteral("kyGetRtmpFalseWidget"), QStringLiteral("直播地址设置"),
         [](QWidget *) { return new kyGetRtmpFalseWidget; }},
        {QStringLiteral("kyInstallWidget"), TEXT_INSTALL_KYORO, [](QWidget *p) { return installWidget(p, 1); }},
        {QStringLiteral("kyInstallWidget"), TEXT_INSTALL_OBS, [](QWidget *p) { return installWidget(p, 3); }},
        {QStringLiteral("kyKyoroInstallWidget"), TEXT_INSTALL_KYORO,
         [](QWidget *p) { return new kyKyoroInstallWidget(p); }},
        {QStringLiteral("kyOBSInstallWidget"), TEXT_INSTALL_OBS, [](QWidget *p) { return new kyOBSInstallWidget(p); }},
        {QStringLiteral("kyLiveAddressSet"), QStringLiteral("直播地址设置"),
         [](QWidget *p) { return new kyLiveAddressSet(TOOL_NAME_OBS_STUDIO, p); }},
        {QStringLiteral("kyLoadSliderWidget"), QStringLiteral("组件加载"),
         [](QWidget *p) { return new kyLoadSliderWidget(LIVE_CODE_MODULE_NAME, p); }},
        {QStringLiteral("kyMsgTipWidget"), QStringLiteral("提示"),
         [](QWidget *) { return new kyMsgTipWidget(QStringLiteral("程序安装失败，请重新尝试"), true); }},
        {QStringLiteral("kyUpdateNotice"), QStringLiteral("发现新版本"),
         [](QWidget *p) {
             auto *notice = new kyUpdateNotice(p);
             notice->showOffer(QStringLiteral("1.1.0"), QStringLiteral("修复了一些问题。"), false, true);
             return notice;
         }},
        {QStringLiteral("kyUpdateNotice"), QStringLiteral("更新未完成"),
         [](QWidget *p) {
             auto *notice = new kyUpdateNotice(p);
             notice->showIncomplete(QStringLiteral("1.1.0"));
             return notice;
         }},
    };
    return list;
}

// The object names of the forms whose top widget is a dialog.
QStringList dialogForms()
{
    const QMap<QString, QString> tops = kytest::formTopWidgets();
    QStringList names;
    for (auto it = tops.cbegin(); it != tops.cend(); ++it) {
        if (it.value() == QLatin1String("QDialog"))
            names << it.key();
    }
    return names;
}

// The widgets of the title band a user sees and clicks.
QList<QWidget *> titleBandWidgets(QWidget *window)
{
    QList<QWidget *> found;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const QString name = widget->objectName();
        if (widget->isVisible()
            && (name.startsWith(QLatin1String("button_close")) || name == QLatin1String("label_titleName")
                || name == QLatin1String("label_logo") || name.startsWith(QLatin1String("label_install"))))
            found << widget;
    }
    return found;
}

} // namespace

class TestWindowTitles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_window = std::make_unique<kyoroManager>();
        m_window->initLogic();
    }

    void cleanupTestCase() { m_window.reset(); }

    void mainWindow() { QCOMPARE(m_window->windowTitle(), QStringLiteral("Kyoro直播管家")); }

    // A new dialog form must be added to the list, or its title goes unchecked.
    void everyDialogIsListed()
    {
        QStringList listed;
        for (const TopLevel &window : topLevels()) {
            if (!listed.contains(window.objectName))
                listed << window.objectName;
        }
        listed.sort();
        QCOMPARE(listed, dialogForms());
    }

    void dialogs_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < topLevels().size(); ++i)
            QTest::newRow(qPrintable(topLevels()[i].objectName + QLatin1Char(' ') + topLevels()[i].title)) << i;
    }

    void dialogs()
    {
        QFETCH(int, index);
        const TopLevel &expected = topLevels()[index];
        std::unique_ptr<QWidget> dialog(expected.make(m_window.get()));
        QCOMPARE(dialog->objectName(), expected.objectName);
        QVERIFY(dialog->isWindow());
        QCOMPARE(dialog->windowTitle(), expected.title);
        if (auto *heading = dialog->findChild<QLabel *>(QStringLiteral("label_titleName")))
            QCOMPARE(heading->text(), expected.title);

        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        const QList<QWidget *> band = titleBandWidgets(dialog.get());
        QVERIFY(!band.isEmpty());
        for (QWidget *widget : band) {
            const QPoint centre = widget->mapTo(dialog.get(), widget->rect().center());
            QWidget *top = dialog->childAt(centre);
            QVERIFY2(top == widget || widget->isAncestorOf(top),
                     qPrintable(widget->objectName() + QStringLiteral(" is covered by ")
                                + (top ? top->objectName() : QStringLiteral("nothing"))));
        }

        // The close button in the first title band closes the dialog with a
        // click where the user sees it.
        QPushButton *close = nullptr;
        for (QWidget *widget : band) {
            if (!close && widget->objectName().startsWith(QLatin1String("button_close")))
                close = qobject_cast<QPushButton *>(widget);
        }
        QVERIFY(close);
        kytest::clickInWindow(close);
        QTRY_VERIFY(!dialog->isVisible());
    }

private:
    std::unique_ptr<kyoroManager> m_window;
};

KY_TEST_MAIN(TestWindowTitles)
#include "testwindowtitles.moc"
