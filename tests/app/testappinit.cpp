#include "kytestmain.h"

#include "app/appinit.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>

namespace {
// Counts the mouse events that reach the widget itself.
class Surface : public QWidget
{
public:
    int presses = 0;
    int releases = 0;
    int moves = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
    void mouseReleaseEvent(QMouseEvent *) override { ++releases; }
    void mouseMoveEvent(QMouseEvent *) override { ++moves; }
};

bool send(QWidget *widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons,
          QPoint global = QPoint(-1, -1))
{
    if (global == QPoint(-1, -1))
        global = widget->mapToGlobal(local);
    QMouseEvent event(type, local, global, button, buttons, Qt::NoModifier);
    return QApplication::sendEvent(widget, &event);
}
} // namespace

class TestAppInit : public QObject
{
    Q_OBJECT

    Surface *dialog = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY(AppInit::instance() == AppInit::instance());
        qApp->installEventFilter(AppInit::instance());
    }

    void init()
    {
        dialog = new Surface;
        dialog->setWindowFlags(Qt::FramelessWindowHint | Qt::Dialog);
        dialog->setMouseTracking(true);
        dialog->setProperty("CanMove", true);
        dialog->setProperty("TitleHeight", 36);
        dialog->setGeometry(200, 150, 410, 312);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        // Leave no drag behind from an earlier case.
        send(dialog, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton, Qt::NoButton);
        dialog->releases = 0;
    }

    void cleanup()
    {
        delete dialog;
        dialog = nullptr;
    }

    void leftPressAtTitleHeightDrags()
    {
        const QPoint start = dialog->pos();
        QVERIFY(send(dialog, QEvent::MouseButtonPress, QPoint(50, 36), Qt::LeftButton, Qt::LeftButton));
        QCOMPARE(dialog->presses, 0);
        const QPoint global = dialog->mapToGlobal(QPoint(50, 36));
        QVERIFY(send(dialog, QEvent::MouseMove, QPoint(50, 36), Qt::NoButton, Qt::LeftButton, global + QPoint(30, 20)));
        QCOMPARE(dialog->pos(), start + QPoint(30, 20));
        QCOMPARE(dialog->moves, 0);
        QVERIFY(send(dialog, QEvent::MouseButtonRelease, QPoint(50, 36), Qt::LeftButton, Qt::NoButton));
        QCOMPARE(dialog->releases, 0);
    }

    void pressBelowTheBandReachesTheWidget()
    {
        const QPoint start = dialog->pos();
        send(dialog, QEvent::MouseButtonPress, QPoint(50, 37), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(dialog->presses, 1);
        send(dialog, QEvent::MouseMove, QPoint(50, 30), Qt::NoButton, Qt::LeftButton, dialog->mapToGlobal(QPoint(80, 30)));
        QCOMPARE(dialog->pos(), start);
    }

    void rightPressPassesButItsReleaseIsConsumed()
    {
        send(dialog, QEvent::MouseButtonPress, QPoint(50, 10), Qt::RightButton, Qt::RightButton);
        QCOMPARE(dialog->presses, 1);
        QVERIFY(send(dialog, QEvent::MouseButtonRelease, QPoint(50, 10), Qt::RightButton, Qt::NoButton));
        QCOMPARE(dialog->releases, 0);
    }

    void movesAfterReleaseDoNothing()
    {
        const QPoint start = dialog->pos();
        send(dialog, QEvent::MouseButtonPress, QPoint(50, 10), Qt::LeftButton, Qt::LeftButton);
        send(dialog, QEvent::MouseButtonRelease, QPoint(50, 10), Qt::LeftButton, Qt::NoButton);
        send(dialog, QEvent::MouseMove, QPoint(50, 10), Qt::NoButton, Qt::NoButton, dialog->mapToGlobal(QPoint(90, 40)));
        QCOMPARE(dialog->pos(), start);
        QCOMPARE(dialog->moves, 1);
        // A held button without a drag in progress moves nothing either.
        send(dialog, QEvent::MouseMove, QPoint(50, 10), Qt::NoButton, Qt::LeftButton, dialog->mapToGlobal(QPoint(90, 40)));
        QCOMPARE(dialog->pos(), start);
    }

    void movesBelowTheBandDuringADragArePassedOn()
    {
        const QPoint start = dialog->pos();
        const QPoint pressGlobal = dialog->mapToGlobal(QPoint(50, 20));
        send(dialog, QEvent::MouseButtonPress, QPoint(50, 20), Qt::LeftButton, Qt::LeftButton);
        // The cursor ran ahead below the band: the dialog stays put.
        send(dialog, QEvent::MouseMove, QPoint(50, 80), Qt::NoButton, Qt::LeftButton, pressGlobal + QPoint(0, 60));
        QCOMPARE(dialog->pos(), start);
        // Back inside the band with the button still held: it follows again.
        QVERIFY(send(dialog, QEvent::MouseMove, QPoint(50, 30), Qt::NoButton, Qt::LeftButton, pressGlobal + QPoint(5, 10)));
        QCOMPARE(dialog->pos(), start + QPoint(5, 10));
        send(dialog, QEvent::MouseButtonRelease, QPoint(50, 30), Qt::LeftButton, Qt::NoButton);
    }

    void widgetsWithoutCanMoveAreLeftAlone()
    {
        for (const QVariant &canMove : {QVariant(), QVariant(false)}) {
            dialog->setProperty("CanMove", canMove);
            const QPoint start = dialog->pos();
            send(dialog, QEvent::MouseButtonPress, QPoint(50, 10), Qt::LeftButton, Qt::LeftButton);
            send(dialog, QEvent::MouseMove, QPoint(50, 10), Qt::NoButton, Qt::LeftButton, dialog->mapToGlobal(QPoint(90, 40)));
            send(dialog, QEvent::MouseButtonRelease, QPoint(50, 10), Qt::LeftButton, Qt::NoButton);
            QCOMPARE(dialog->pos(), start);
        }
        QCOMPARE(dialog->presses, 2);
        QCOMPARE(dialog->moves, 2);
        QCOMPARE(dialog->releases, 2);
    }

    void childControlsInTheBandGetTheirPress()
    {
        auto *button = new QPushButton(QStringLiteral("x"), dialog);
        button->setGeometry(374, 0, 36, 36);
        button->show();
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&clicks]() { ++clicks; });
        const QPoint start = dialog->pos();
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(clicks, 1);
        QCOMPARE(dialog->pos(), start);
    }
};

KY_TEST_MAIN(TestAppInit)
#include "testappinit.moc"
