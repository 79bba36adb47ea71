#include "kytestmain.h"
#include "uitesthelpers.h"
#include "ui/kytitlebar.h"

#include <QPushButton>
#include <QSystemTrayIcon>
#include <QSignalSpy>

namespace {
// Stands in for the main window: counts close events.
class Window : public QWidget
{
public:
    Window() { resize(942, 622); }
    int closeEvents = 0;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++closeEvents;
        QWidget::closeEvent(event);
    }
};

// Receives the page signal the way the main window does, by signature.
class PageReceiver : public QObject
{
    Q_OBJECT
public:
    QList<int> pages;
public slots:
    void slt_Openpage(pageType type) { pages.append(type); }
};

} // namespace

class TestTitleBar : public QObject
{
    Q_OBJECT

private slots:
    void startsOnLivePage();
    void pageButtonsCheckAndSignal();
    void signatureConnectionWorks();
    void closeHidesParentOrClosesItWithoutTray();
    void minimiseMinimisesParent();
    void buttonsWithoutWidgetParentDoNothing();
};

void TestTitleBar::startsOnLivePage()
{
    kyTitleBar bar;
    QVERIFY(child<QPushButton>(&bar, "button_live")->isCheckable());
    QVERIFY(child<QPushButton>(&bar, "button_toolbox")->isCheckable());
    QVERIFY(child<QPushButton>(&bar, "button_live")->isChecked());
    QVERIFY(!child<QPushButton>(&bar, "button_toolbox")->isChecked());
}

void TestTitleBar::pageButtonsCheckAndSignal()
{
    Window window;
    auto *bar = new kyTitleBar(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy pages(bar, &kyTitleBar::slg_Openpage);
    QPushButton *live = child<QPushButton>(bar, "button_live");
    QPushButton *toolbox = child<QPushButton>(bar, "button_toolbox");

    QTest::mouseClick(toolbox, Qt::LeftButton);
    QCOMPARE(pages.count(), 1);
    QCOMPARE(pages.last().at(0).value<pageType>(), PAGE_TOOLBOX);
    QVERIFY(!live->isChecked());
    QVERIFY(toolbox->isChecked());

    // A second click on the checked page keeps it checked rather than
    // toggling it off, and asks for the page again.
    QTest::mouseClick(toolbox, Qt::LeftButton);
    QCOMPARE(pages.count(), 2);
    QVERIFY(toolbox->isChecked());

    QTest::mouseClick(live, Qt::LeftButton);
    QCOMPARE(pages.count(), 3);
    QCOMPARE(pages.last().at(0).value<pageType>(), PAGE_LIVE);
    QVERIFY(live->isChecked());
    QVERIFY(!toolbox->isChecked());
}

void TestTitleBar::signatureConnectionWorks()
{
    kyTitleBar bar;
    PageReceiver direct;
    PageReceiver queued;
    QVERIFY(QObject::connect(&bar, SIGNAL(slg_Openpage(pageType)), &direct, SLOT(slt_Openpage(pageType))));
    QVERIFY(QObject::connect(&bar, SIGNAL(slg_Openpage(pageType)), &queued, SLOT(slt_Openpage(pageType)),
                             Qt::QueuedConnection));

    child<QPushButton>(&bar, "button_toolbox")->click();
    child<QPushButton>(&bar, "button_live")->click();
    QCOMPARE(direct.pages, (QList<int>{PAGE_TOOLBOX, PAGE_LIVE}));
    QTRY_COMPARE(queued.pages, (QList<int>{PAGE_TOOLBOX, PAGE_LIVE}));
}

void TestTitleBar::closeHidesParentOrClosesItWithoutTray()
{
    Window window;
    auto *bar = new kyTitleBar(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(child<QPushButton>(bar, "button_close"), Qt::LeftButton);
    QVERIFY(window.isHidden());
    // With a tray the window only hides and comes back from the tray; without
    // one (as here, offscreen) it gets the close event that ends the program.
    QCOMPARE(window.closeEvents, QSystemTrayIcon::isSystemTrayAvailable() ? 0 : 1);
}

void TestTitleBar::minimiseMinimisesParent()
{
    Window window;
    auto *bar = new kyTitleBar(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(child<QPushButton>(bar, "button_min"), Qt::LeftButton);
    QTRY_VERIFY(window.isMinimized());
    QCOMPARE(window.closeEvents, 0);
}

void TestTitleBar::buttonsWithoutWidgetParentDoNothing()
{
    kyTitleBar bar;
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    child<QPushButton>(&bar, "button_close")->click();
    child<QPushButton>(&bar, "button_min")->click();
    QVERIFY(bar.isVisible());
    QVERIFY(!bar.isMinimized());
}

KY_TEST_MAIN(TestTitleBar)
#include "testtitlebar.moc"
