#include "app/appinit.h"

#include <QMouseEvent>
#include <QMutex>
#include <QMutexLocker>
#include <QWidget>
#include <atomic>

namespace {
// One drag state for the whole process, shared by every widget the filter
// serves: a drag is tracked for whichever widget received the press.
struct DragState
{
    bool dragging = false;
    QPoint offset;
};

DragState &dragState()
{
    static DragState state;
    return state;
}

std::atomic<AppInit *> s_instance{nullptr};
} // namespace

AppInit *AppInit::instance()
{
    AppInit *filter = s_instance.load(std::memory_order_acquire);
    if (!filter) {
        static QMutex creationMutex;
        QMutexLocker locker(&creationMutex);
        filter = s_instance.load(std::memory_order_relaxed);
        if (!filter) {
            filter = new AppInit;
            s_instance.store(filter, std::memory_order_release);
        }
    }
    return filter;
}

bool AppInit::eventFilter(QObject *watched, QEvent *event)
{
    if (!watched->property("CanMove").toBool())
        return QObject::eventFilter(watched, event);

    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseMove)
        return QObject::eventFilter(watched, event);

    QWidget *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return QObject::eventFilter(watched, event);

    auto *mouse = static_cast<QMouseEvent *>(event);
    const int titleHeight = watched->property("TitleHeight").toInt();
    // A y equal to TitleHeight still counts as title area.
    if (mouse->pos().y() > titleHeight)
        return QObject::eventFilter(watched, event);

    DragState &state = dragState();
    switch (type) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton)
            break;
        state.dragging = true;
        state.offset = mouse->globalPos() - widget->pos();
        return true;
    case QEvent::MouseButtonRelease:
        state.dragging = false;
        return true;
    case QEvent::MouseMove:
        if (state.dragging && mouse->buttons() != Qt::NoButton) {
            widget->move(mouse->globalPos() - state.offset);
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
