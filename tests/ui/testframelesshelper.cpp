#include "kytestmain.h"
#include "ui/framelesshelper.h"

#include <QRubberBand>
#include <QWidget>

namespace {
// A plain frameless window that counts the mouse events that reach it.
class Surface : public QWidget
{
public:
    Surface()
    {
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);
        setGeometry(100, 100, 400, 300);
    }
    int mouseEvents = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++mouseEvents; }
    void mouseReleaseEvent(QMouseEvent *) override { ++mouseEvents; }
    void mouseDoubleClickEvent(QMouseEvent *) override { ++mouseEvents; }
    void mouseMoveEvent(QMouseEvent *) override { ++mouseEvents; }
};

// Sends a mouse event at a global point, as the window system would deliver
// it to `widget` (local position derived from the widget's current place).
void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, widget->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void press(QWidget *w, const QPoint &g, Qt::MouseButton b = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonPress, g, b, b);
}

void moveHeld(QWidget *w, const QPoint &g, Qt::MouseButtons held = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseMove, g, Qt::NoButton, held);
}

void release(QWidget *w, const QPoint &g, Qt::MouseButton b = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonRelease, g, b, Qt::NoButton);
}

void hover(QWidget *w, const QPoint &global)
{
    const QPoint local = w->mapFromGlobal(global);
    QHoverEvent event(QEvent::HoverMove, local, local);
    QApplication::sendEvent(w, &event);
}

// Whether the helper has put an edge cursor on the window (a window keeps
// WA_SetCursor after unsetCursor(), so the shape tells).
bool hasEdgeCursor(QWidget *w)
{
    return w->cursor().shape() != Qt::ArrowCursor;
}

QRubberBand *rubberBand()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *band = qobject_cast<QRubberBand *>(w))
            return band;
    }
    return nullptr;
}
} // namespace

class TestFramelessHelper : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void titleAreaBoundary_data();
    void titleAreaBoundary();
    void onlyLeftDragsMove();
    void doubleClickIsSwallowed();
    void maximisedDragRestoresFirst();
    void resizeByEdges_data();
    void resizeByEdges();
    void edgeCursors_data();
    void edgeCursors();
    void noEdgeCursorsWhenNotResizable();
    void zeroSettersAreIgnoredAndShared();
    void registrationIsOncePerWidget();
    void destroyedWidgetLeavesHelper();
    void resizeRubberBand();
    void moveRubberBand();

private:
    Surface *m_surface = nullptr;
    FramelessHelper *m_helper = nullptr;
};

void TestFramelessHelper::init()
{
    m_surface = new Surface;
    m_helper = new FramelessHelper;
    m_helper->attachWidget(m_surface);
    m_helper->setCaptionHeight(130);
    m_helper->setEdgeWidth(5);
    m_surface->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_surface));
    QCOMPARE(m_surface->geometry(), QRect(100, 100, 400, 300));
}

void TestFramelessHelper::cleanup()
{
    delete m_helper;
    m_helper = nullptr;
    delete m_surface;
    m_surface = nullptr;
}

void TestFramelessHelper::titleAreaBoundary_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("moves");
    // The main window's title height: its bar ends at y = 130 inside the
    // 11 px shadow margin.
    QTest::newRow("last title row") << 129 << true;
    QTest::newRow("first body row") << 130 << false;
}

void TestFramelessHelper::titleAreaBoundary()
{
    QFETCH(int, y);
    QFETCH(bool, moves);
    m_helper->setResizable(false);
    const QPoint start = m_surface->pos();
    const QPoint at = start + QPoint(200, y);

    press(m_surface, at);
    moveHeld(m_surface, at + QPoint(20, 10));
    moveHeld(m_surface, at + QPoint(40, 25));
    release(m_surface, at + QPoint(40, 25));

    QCOMPARE(m_surface->pos(), moves ? start + QPoint(40, 25) : start);
    // Press, moves and release belong to the helper either way.
    QCOMPARE(m_surface->mouseEvents, 0);
}

void TestFramelessHelper::onlyLeftDragsMove()
{
    const QPoint start = m_surface->pos();
    const QPoint at = start + QPoint(200, 50);
    press(m_surface, at, Qt::RightButton);
    moveHeld(m_surface, at + QPoint(60, 40), Qt::RightButton);
    release(m_surface, at + QPoint(60, 40), Qt::RightButton);
    QCOMPARE(m_surface->pos(), start);

    press(m_surface, at, Qt::MiddleButton);
    moveHeld(m_surface, at + QPoint(60, 40), Qt::MiddleButton);
    QCOMPARE(m_surface->pos(), start);
    release(m_surface, at + QPoint(60, 40), Qt::MiddleButton);
}

void TestFramelessHelper::doubleClickIsSwallowed()
{
    const QPoint at = m_surface->pos() + QPoint(200, 50);
    sendMouse(m_surface, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(!m_surface->isMaximized());
    QCOMPARE(m_surface->geometry(), QRect(100, 100, 400, 300));
    QCOMPARE(m_surface->mouseEvents, 0);
}

void TestFramelessHelper::maximisedDragRestoresFirst()
{
    m_surface->showMaximized();
    QTRY_VERIFY(m_surface->isMaximized());
    const QRect maximised = m_surface->geometry();

    const QPoint at = m_surface->pos() + QPoint(200, 20);
    press(m_surface, at);
    moveHeld(m_surface, at + QPoint(30, 30));
    QTRY_VERIFY(!m_surface->isMaximized());
    // The restoring event moves nothing; the window comes back at its size.
    QTRY_COMPARE(m_surface->size(), QSize(400, 300));
    QVERIFY(m_surface->geometry() != maximised);
    release(m_surface, at + QPoint(30, 30));
}

void TestFramelessHelper::resizeByEdges_data()
{
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<QPoint>("moveTo");
    QTest::addColumn<QRect>("expected");

    // Window (100, 100) 400 x 300, minimum 300 x 200, edge bands 6 px wide.
    QTest::newRow("left edge outward") << QPoint(101, 250) << QPoint(51, 250) << QRect(51, 100, 449, 300);
    QTest::newRow("right edge outward") << QPoint(498, 250) << QPoint(600, 250) << QRect(100, 100, 501, 300);
    QTest::newRow("bottom edge inward") << QPoint(300, 398) << QPoint(300, 350) << QRect(100, 100, 400, 251);
    QTest::newRow("bottom-right corner") << QPoint(498, 398) << QPoint(550, 450) << QRect(100, 100, 451, 351);
    // Below the minimum the dragged edge stays where it started: the window
    // neither shrinks nor jumps sideways.
    QTest::newRow("left edge past minimum") << QPoint(101, 250) << QPoint(301, 250) << QRect(100, 100, 400, 300);
    QTest::newRow("right edge past minimum") << QPoint(498, 250) << QPoint(200, 250) << QRect(100, 100, 400, 300);
    QTest::newRow("top-left, height past minimum")
        << QPoint(101, 101) << QPoint(51, 301) << QRect(51, 100, 449, 300);
    QTest::newRow("left edge past the right one") << QPoint(101, 250) << QPoint(700, 250) << QRect(100, 100, 400, 300);
}

void TestFramelessHelper::resizeByEdges()
{
    QFETCH(QPoint, pressAt);
    QFETCH(QPoint, moveTo);
    QFETCH(QRect, expected);
    m_surface->setMinimumSize(300, 200);
    m_helper->setResizable(true);

    press(m_surface, pressAt);
    moveHeld(m_surface, moveTo);
    release(m_surface, moveTo);
    QCOMPARE(m_surface->geometry(), expected);
}

void TestFramelessHelper::edgeCursors_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("shape");
    QTest::newRow("left") << QPoint(100, 250) << int(Qt::SizeHorCursor);
    QTest::newRow("right, 5 px in") << QPoint(495, 250) << int(Qt::SizeHorCursor);
    QTest::newRow("top") << QPoint(300, 105) << int(Qt::SizeVerCursor);
    QTest::newRow("bottom") << QPoint(300, 399) << int(Qt::SizeVerCursor);
    QTest::newRow("top-left") << QPoint(101, 101) << int(Qt::SizeFDiagCursor);
    QTest::newRow("bottom-right") << QPoint(499, 399) << int(Qt::SizeFDiagCursor);
    QTest::newRow("top-right") << QPoint(499, 101) << int(Qt::SizeBDiagCursor);
    QTest::newRow("bottom-left") << QPoint(101, 399) << int(Qt::SizeBDiagCursor);
}

void TestFramelessHelper::edgeCursors()
{
    QFETCH(QPoint, at);
    QFETCH(int, shape);
    m_helper->setResizable(true);

    hover(m_surface, at);
    QCOMPARE(int(m_surface->cursor().shape()), shape);

    // Back inside: the widget's own cursor returns.
    hover(m_surface, QPoint(300, 250));
    QVERIFY(!hasEdgeCursor(m_surface));

    // A move without a button does the same as hovering.
    moveHeld(m_surface, at, Qt::NoButton);
    QCOMPARE(int(m_surface->cursor().shape()), shape);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_surface, &leave);
    QVERIFY(!hasEdgeCursor(m_surface));
}

void TestFramelessHelper::noEdgeCursorsWhenNotResizable()
{
    m_helper->setResizable(false);
    for (const QPoint &at : {QPoint(100, 250), QPoint(101, 101), QPoint(300, 399)}) {
        hover(m_surface, at);
        moveHeld(m_surface, at, Qt::NoButton);
        QVERIFY(!hasEdgeCursor(m_surface));
    }

    // Nor on a maximised resizable window.
    m_helper->setResizable(true);
    m_surface->showMaximized();
    QTRY_VERIFY(m_surface->isMaximized());
    hover(m_surface, m_surface->geometry().topLeft() + QPoint(1, 150));
    QVERIFY(!hasEdgeCursor(m_surface));
}

void TestFramelessHelper::zeroSettersAreIgnoredAndShared()
{
    m_helper->setCaptionHeight(77);
    m_helper->setEdgeWidth(9);
    m_helper->setCaptionHeight(0);
    m_helper->setEdgeWidth(0);
    QCOMPARE(m_helper->captionHeight(), 77u);
    QCOMPARE(m_helper->edgeWidth(), 9u);

    FramelessHelper other;
    QCOMPARE(other.captionHeight(), 77u);
    QCOMPARE(other.edgeWidth(), 9u);
    QVERIFY(other.isMovable());
    QVERIFY(other.isResizable());
    QVERIFY(!other.hasMoveRubberBand());
    QVERIFY(!other.hasResizeRubberBand());
}

void TestFramelessHelper::registrationIsOncePerWidget()
{
    // The widget's own settings before registration come back on detach.
    Surface widget;
    const Qt::WindowFlags flags = widget.windowFlags();
    QVERIFY(!widget.hasMouseTracking());

    FramelessHelper helper;
    helper.attachWidget(&widget);
    helper.attachWidget(&widget);
    QVERIFY(widget.hasMouseTracking());
    QVERIFY(widget.testAttribute(Qt::WA_Hover));

    helper.detachWidget(&widget);
    QVERIFY(!widget.hasMouseTracking());
    QVERIFY(!widget.testAttribute(Qt::WA_Hover));
    QCOMPARE(widget.windowFlags(), flags);

    // One detach ended the registration: events reach the widget again.
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    press(&widget, widget.pos() + QPoint(10, 10));
    release(&widget, widget.pos() + QPoint(10, 10));
    QCOMPARE(widget.mouseEvents, 2);

    // Detaching an unknown widget changes nothing.
    helper.detachWidget(&widget);
    helper.detachWidget(nullptr);
}

void TestFramelessHelper::destroyedWidgetLeavesHelper()
{
    // Guards against the helper keeping a record of a dead widget and
    // touching it when the helper itself goes.
    auto *widget = new Surface;
    m_helper->attachWidget(widget);
    m_helper->setMoveRubberBand(true);
    delete widget;
    m_helper->setMoveRubberBand(false);
    m_helper->setResizeRubberBand(true);
    m_helper->setResizeRubberBand(false);
    QVERIFY(!rubberBand());

    // The helper's own widget is still served.
    const QPoint start = m_surface->pos();
    press(m_surface, start + QPoint(200, 50));
    moveHeld(m_surface, start + QPoint(210, 55));
    release(m_surface, start + QPoint(210, 55));
    QCOMPARE(m_surface->pos(), start + QPoint(10, 5));
}

void TestFramelessHelper::resizeRubberBand()
{
    m_helper->setResizable(true);
    m_helper->setResizeRubberBand(true);
    QRubberBand *band = rubberBand();
    QVERIFY(band);
    QVERIFY(!band->isVisible());

    press(m_surface, QPoint(498, 250));
    QVERIFY(band->isVisible());
    QCOMPARE(band->geometry(), QRect(100, 100, 400, 300));
    moveHeld(m_surface, QPoint(560, 250));
    // Only the band follows until the button is released.
    QCOMPARE(band->geometry(), QRect(100, 100, 461, 300));
    QCOMPARE(m_surface->geometry(), QRect(100, 100, 400, 300));
    release(m_surface, QPoint(560, 250));
    QVERIFY(!band->isVisible());
    QCOMPARE(m_surface->geometry(), QRect(100, 100, 461, 300));

    m_helper->setResizeRubberBand(false);
    QVERIFY(!rubberBand());
}

void TestFramelessHelper::moveRubberBand()
{
    m_helper->setResizable(false);
    m_helper->setMoveRubberBand(true);
    QRubberBand *band = rubberBand();
    QVERIFY(band);

    const QPoint at(300, 150);
    press(m_surface, at);
    QVERIFY(band->isVisible());
    moveHeld(m_surface, at + QPoint(50, 20));
    QCOMPARE(band->geometry(), QRect(150, 120, 400, 300));
    QCOMPARE(m_surface->pos(), QPoint(100, 100));
    release(m_surface, at + QPoint(50, 20));
    QVERIFY(!band->isVisible());
    QCOMPARE(m_surface->geometry(), QRect(150, 120, 400, 300));
}

KY_TEST_MAIN(TestFramelessHelper)
#include "testframelesshelper.moc"
