#include "kytestmain.h"
#include "common/kypaths.h"
#include "common/kytexts.h"

#include "ui/kyoromanager.h"
#include "ui/kywindowframe.h"

#include <QAbstractButton>
#include <QTimer>
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QtMath>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QEnterEvent>

// The main window's form: every widget the slots and the style sheet refer
// to by name must exist with its class, and the window must move by its
// title area only.
class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window();
    void widgets_data();
    void widgets();
    void texts_data();
    void texts();
    void initialForm();
    void everyButtonPoints();
    void titleBarSwitchesPages();
    void toolboxPageJoinsWhenFirstShown();
    void statePicturesWaitAndLookTheSame();
    void frameLaidOutFromSmallIsTheSame_data();
    void frameLaidOutFromSmallIsTheSame();
    void windowMarginIsTheFrame();
    void movesByTitleArea_data();
    void movesByTitleArea();

private:
    // What `button` looks like under the whole main sheet in the same state.
    QImage underWholeSheet(QPushButton *button);
    // Shows the toolbox page once and goes back: a window that was never
    // shown holds the page from then on.
    void openEveryPage();

    kyoroManager *m_window = nullptr;
};

void TestMainForm::openEveryPage()
{
    auto *bar = m_window->findChild<QWidget *>(QStringLiteral("TitleBar"));
    bar->findChild<QPushButton *>(QStringLiteral("button_toolbox"))->click();
    bar->findChild<QPushButton *>(QStringLiteral("button_live"))->click();
}

void TestMainForm::init()
{
    m_window = new kyoroManager;
}

void TestMainForm::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TestMainForm::window()
{
    QCOMPARE(mainWindow(), m_window);
    QCOMPARE(m_window->objectName(), QStringLiteral("kyoroManagerClass"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Kyoro直播管家"));
    QCOMPARE(m_window->size(), QSize(942, 622));
    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(flags & Qt::FramelessWindowHint);
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
}

void TestMainForm::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry"); // null: placed by a layout or a stack

    auto row = [](const char *name, const char *className, QRect geometry = QRect()) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className) << geometry;
    };
    row("TitleBar", "kyTitleBar", QRect(11, 11, 920, 120));
    row("stackedWidget", "QStackedWidget", QRect(11, 131, 918, 479));
    row("page_live", "QWidget");
    row("widget_2", "QWidget", QRect(0, 0, 170, 480));
    row("button_KyoroLive", "QPushButton");
    row("button_OBSLive", "QPushButton");
    row("stackedWidget_2", "QStackedWidget", QRect(170, 0, 749, 480));
    row("page_kyoroPage", "QWidget");
    row("page_OBSPage", "QWidget");
    row("page_toolbox", "QWidget");
    row("widget", "kyCenterPictureWidget");
    row("widget_3", "kyCenterPictureWidget");
    row("line", "QFrame");
    row("line_2", "QFrame");
    row("progressBar_main", "QProgressBar");
    row("progressBar_OBS", "QProgressBar");
    for (const char *name : {"radio_kyTool", "radio_kyShow", "radio_classic", "radio_studio"})
        row(name, "QRadioButton");
    for (const char *name : {"label_winSupport", "label_winSupport_2", "label_4", "label_5", "label_kyoroTitle",
                             "label_OBSTitle", "label_kyoro_introduce", "label_OBS_introduce", "label_visitOBSurl",
                             "label_progressValue", "label_progressValue_2"})
        row(name, "QLabel");
    for (const char *name :
         {"button_install_kyoro", "button_open_kyoro", "button_running_kyoro", "button_Service_little",
          "button_useTutorial", "button_cancelDownload", "button_install_OBS", "button_open_OBS",
          "button_running_OBS", "button_liveset", "button_Service_little_2", "button_useTutorial_2",
          "button_cancelDownload_2", "button_installOBS", "button_Service", "button_installKyoroLive",
          "button_openFolder", "button_getPushcode", "button_commonProblem"})
        row(name, "QPushButton");
}

void TestMainForm::widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    openEveryPage();
    const QList<QWidget *> found = m_window->findChildren<QWidget *>(name);
    // Names inside the title bar and the carousels may repeat; the form's own
    // widget is the one outside them.
    QWidget *widget = nullptr;
    for (QWidget *candidate : found) {
        const QString owner = QString::fromLatin1(candidate->parentWidget()->metaObject()->className());
        if (owner != QLatin1String("kyTitleBar") && owner != QLatin1String("kyCenterPictureWidget"))
            widget = candidate;
    }
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    if (!geometry.isNull())
        QCOMPARE(widget->geometry(), geometry);
}

void TestMainForm::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("label_winSupport") << "label_winSupport" << "支持Win7/win8/win10";
    QTest::newRow("label_winSupport_2") << "label_winSupport_2" << "支持Win7/win8/win10";
    QTest::newRow("label_4") << "label_4" << "选择版本：";
    QTest::newRow("label_5") << "label_5" << "选择版本：";
    QTest::newRow("radio_kyTool") << "radio_kyTool" << "经典版";
    QTest::newRow("radio_kyShow") << "radio_kyShow" << "秀场专用版";
    QTest::newRow("radio_classic") << "radio_classic" << "经典版";
    QTest::newRow("radio_studio") << "radio_studio" << "工作室版";
    QTest::newRow("label_visitOBSurl") << "label_visitOBSurl" << "访问OBS网站手动安装";
    QTest::newRow("button_cancelDownload") << "button_cancelDownload" << "取消下载";
    QTest::newRow("button_cancelDownload_2") << "button_cancelDownload_2" << "取消下载";
    // The form's "TextLabel" is replaced when the window is built.
    QTest::newRow("label_kyoro_introduce") << "label_kyoro_introduce" << INTRODUCTION_KYTOOL;
    QTest::newRow("label_OBS_introduce") << "label_OBS_introduce" << INTRODUCTION_OBS_CLASSIC;
    // Image buttons carry no text; the style sheet draws them.
    QTest::newRow("button_install_kyoro") << "button_install_kyoro" << "";
    QTest::newRow("button_openFolder") << "button_openFolder" << "";
    QTest::newRow("button_KyoroLive") << "button_KyoroLive" << "";
}

void TestMainForm::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    openEveryPage();
    QObject *widget = m_window->findChild<QObject *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->property("text").toString(), text);
}

void TestMainForm::initialForm()
{
    auto *kyoroLive = m_window->findChild<QPushButton *>(QStringLiteral("button_KyoroLive"));
    auto *obsLive = m_window->findChild<QPushButton *>(QStringLiteral("button_OBSLive"));
    QVERIFY(kyoroLive->isCheckable() && kyoroLive->isChecked());
    QVERIFY(obsLive->isCheckable() && !obsLive->isChecked());
    QVERIFY(m_window->findChild<QRadioButton *>(QStringLiteral("radio_kyTool"))->isChecked());
    QVERIFY(m_window->findChild<QRadioButton *>(QStringLiteral("radio_classic"))->isChecked());
    for (const char *name : {"progressBar_main", "progressBar_OBS"})
        QVERIFY(!m_window->findChild<QProgressBar *>(QLatin1String(name))->isTextVisible());
    for (const char *name : {"label_progressValue", "label_progressValue_2"})
        QCOMPARE(m_window->findChild<QLabel *>(QLatin1String(name))->alignment(), Qt::AlignCenter);

    auto *left = m_window->findChild<QWidget *>(QStringLiteral("widget_2"));
    QVERIFY(left->autoFillBackground());
    QCOMPARE(left->palette().color(QPalette::Window), QColor(QStringLiteral("#dbdbe1")));

    auto *pages = m_window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("page_live"));
    auto *cards = m_window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget_2"));
    QCOMPARE(cards->currentWidget()->objectName(), QStringLiteral("page_kyoroPage"));
}

void TestMainForm::everyButtonPoints()
{
    openEveryPage();
    for (QAbstractButton *button : m_window->findChildren<QAbstractButton *>())
        QVERIFY2(button->cursor().shape() == Qt::PointingHandCursor, qPrintable(button->objectName()));
    auto *link = m_window->findChild<QLabel *>(QStringLiteral("label_visitOBSurl"));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
}

void TestMainForm::titleBarSwitchesPages()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    auto *bar = m_window->findChild<QWidget *>(QStringLiteral("TitleBar"));
    auto *pages = m_window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));

    QTest::mouseClick(bar->findChild<QPushButton *>(QStringLiteral("button_toolbox")), Qt::LeftButton);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("page_toolbox"));
    QTest::mouseClick(bar->findChild<QPushButton *>(QStringLiteral("button_live")), Qt::LeftButton);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("page_live"));
}

// The toolbox page is left out of the window while the window is polished
// for its first showing (the first paint needs none of it, and polishing
// decodes its pictures), joins it hidden and unpolished, and is polished,
// styled by the window's sheet like the rest, when first shown; its buttons
// reach their slots.
void TestMainForm::toolboxPageJoinsWhenFirstShown()
{
    QVERIFY(!m_window->findChild<QWidget *>(QStringLiteral("button_openFolder")));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    auto *pages = m_window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    auto *page = m_window->findChild<QWidget *>(QStringLiteral("page_toolbox"));
    QVERIFY(page);
    QCOMPARE(pages->indexOf(page), 1);
    auto *folders = page->findChild<QPushButton *>(QStringLiteral("button_openFolder"));
    QVERIFY(folders && !folders->isVisible());
    QVERIFY(!folders->testAttribute(Qt::WA_WState_Polished));

    auto *bar = m_window->findChild<QWidget *>(QStringLiteral("TitleBar"));
    QTest::mouseClick(bar->findChild<QPushButton *>(QStringLiteral("button_toolbox")), Qt::LeftButton);
    QCOMPARE(pages->currentWidget(), page);
    QVERIFY(folders->isVisible());
    QVERIFY(folders->testAttribute(Qt::WA_WState_Polished));
    QCOMPARE(QString::fromLatin1(folders->style()->metaObject()->className()), QStringLiteral("QStyleSheetStyle"));
    QTest::mouseClick(bar->findChild<QPushButton *>(QStringLiteral("button_live")), Qt::LeftButton);
    QTest::mouseClick(bar->findChild<QPushButton *>(QStringLiteral("button_toolbox")), Qt::LeftButton);
    QCOMPARE(pages->currentWidget(), page);
    QCOMPARE(pages->count(), 2);

    // The slot runs: the record-folder dialog opens, and closes again.
    QString opened;
    QTimer::singleShot(0, m_window, [&opened]() {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            opened = QString::fromLatin1(dialog->metaObject()->className());
            dialog->close();
        }
    });
    QTest::mouseClick(folders, Qt::LeftButton);
    QCOMPARE(opened, QStringLiteral("kyChooseRecordPath"));
}

QImage TestMainForm::underWholeSheet(QPushButton *button)
{
    QWidget holder;
    holder.setStyleSheet(readTextFile(QSS_MAIN));
    QPushButton twin(&holder);
    twin.setObjectName(button->objectName());
    twin.setCheckable(button->isCheckable());
    twin.setChecked(button->isChecked());
    twin.setEnabled(button->isEnabled());
    twin.resize(button->size());
    twin.setAttribute(Qt::WA_UnderMouse, button->underMouse());
    return twin.grab().toImage();
}

// A button's pictures for hover, checked and disabled, and the pictures of a
// card not shown, are left out of the window's sheet until first needed; the
// button then looks as under the whole sheet, checked winning over hover.
void TestMainForm::statePicturesWaitAndLookTheSame()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QVERIFY(!m_window->styleSheet().contains(QStringLiteral("button_min_hover")));
    auto *minimise = m_window->findChild<QPushButton *>(QStringLiteral("button_min"));
    auto *kyoro = m_window->findChild<QPushButton *>(QStringLiteral("button_KyoroLive"));
    auto *obs = m_window->findChild<QPushButton *>(QStringLiteral("button_OBSLive"));
    auto *liveSetting = m_window->findChild<QPushButton *>(QStringLiteral("button_liveset"));
    QVERIFY(minimise->styleSheet().isEmpty());
    QVERIFY(obs->styleSheet().isEmpty());
    QVERIFY(liveSetting->styleSheet().isEmpty());
    QVERIFY(!m_window->styleSheet().contains(QStringLiteral("#button_liveset")));
    QCOMPARE(minimise->grab().toImage(), underWholeSheet(minimise));

    for (QPushButton *button : {minimise, kyoro}) {
        // What the application does when the pointer enters a widget.
        button->setAttribute(Qt::WA_UnderMouse);
        const QPointF centre = button->rect().center();
        QEnterEvent enter(centre, centre, button->mapToGlobal(button->rect().center()));
        QApplication::sendEvent(button, &enter);
        QVERIFY(!button->styleSheet().isEmpty());
        QCOMPARE(button->grab().toImage(), underWholeSheet(button));
    }

    // The card shows the button once OBS is installed.
    QTest::mouseClick(obs, Qt::LeftButton);
    liveSetting->show();
    QVERIFY(liveSetting->isVisible());
    QVERIFY(!liveSetting->styleSheet().isEmpty());
    QCOMPARE(liveSetting->grab().toImage(), underWholeSheet(liveSetting));
    liveSetting->setEnabled(false);
    QCOMPARE(liveSetting->grab().toImage(), underWholeSheet(liveSetting));
}

void TestMainForm::movesByTitleArea_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("moves");
    // The bar's last row is y = 130 in the window; the title area ends just
    // above it.
    QTest::newRow("y = 129") << 129 << true;
    QTest::newRow("y = 130") << 130 << false;
    QTest::newRow("shadow margin") << 5 << true;
    QTest::newRow("card") << 300 << false;
}

void TestMainForm::movesByTitleArea()
{
    QFETCH(int, y);
    QFETCH(bool, moves);
    m_window->move(50, 40);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    const QPoint start = m_window->pos();

    // Through the window system, so the press lands on whatever child is
    // under the cursor and reaches the window only if that child ignores it.
    QWindow *handle = m_window->windowHandle();
    const QPoint at(60, y);
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(handle, at + QPoint(30, 20));
    // The window followed the mouse, so the cursor is back at `at` in its
    // coordinates.
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, moves ? at : at + QPoint(30, 20));
    QTRY_COMPARE(m_window->pos(), moves ? start + QPoint(30, 20) : start);
}

void TestMainForm::frameLaidOutFromSmallIsTheSame_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qreal>("ratio");
    for (const qreal ratio : {1.0, 1.25, 1.5, 1.75, 2.0}) {
        for (const QSize size : {QSize(942, 622), QSize(943, 623), QSize(120, 90)}) {
            QTest::addRow("%dx%d at %g", size.width(), size.height(), ratio) << size << ratio;
        }
    }
}

// The frame laid out from the small one's corners and edges is the frame
// drawn directly, to the pixel, at every scale (whole device sizes or not),
// and again when painted a second time from the kept picture.
void TestMainForm::frameLaidOutFromSmallIsTheSame()
{
    QFETCH(QSize, size);
    QFETCH(qreal, ratio);
    const QSize device(qCeil(size.width() * ratio), qCeil(size.height() * ratio));
    auto blank = [&]() {
        QImage image(device, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        return image;
    };
    QImage direct = blank();
    {
        QPainter painter(&direct);
        kyDrawWindowFrame(painter, size);
    }
    KyWindowFrame frame;
    for (int paint = 0; paint < 2; ++paint) {
        QImage laidOut = blank();
        {
            QPainter painter(&laidOut);
            frame.paint(painter, size, ratio);
        }
        QCOMPARE(laidOut, direct);
    }
}

// The window paints its margin (the shadow around its body) as the frame
// drawn directly would, through the window's own painter.
void TestMainForm::windowMarginIsTheFrame()
{
    const QImage window = m_window->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const qreal ratio = window.devicePixelRatio();
    QImage direct(window.size(), QImage::Format_ARGB32_Premultiplied);
    direct.setDevicePixelRatio(ratio);
    direct.fill(Qt::transparent);
    {
        QPainter painter(&direct);
        kyDrawWindowFrame(painter, m_window->size());
    }
    const int margin = qFloor(10 * ratio);
    int compared = 0;
    for (int y = 0; y < window.height(); ++y) {
        for (int x = 0; x < window.width(); ++x) {
            if (x >= margin && y >= margin && x < window.width() - margin && y < window.height() - margin)
                continue;
            QCOMPARE(QString::number(window.pixel(x, y), 16), QString::number(direct.pixel(x, y), 16));
            ++compared;
        }
    }
    QVERIFY(compared > 0);
}

KY_TEST_MAIN(TestMainForm)
#include "testmainform.moc"
