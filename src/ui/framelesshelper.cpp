#include "ui/framelesshelper.h"

#include <QEvent>
#include <QHash>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QRubberBand>
#include <QWidget>

namespace {
// Shared by every helper in the process.
unsigned int s_edgeWidth = 5;
unsigned int s_titleHeight = 60;

// Gives a top-level widget the frame rectangle `frame`. setGeometry() places
// the client area, so the widget's own frame margins are taken off first; a
// frameless widget has none.
void setFrameGeometry(QWidget *widget, const QRect &frame)
{
    const QRect client = widget->geometry();
    const QRect outer = widget->frameGeometry();
    widget->setGeometry(frame.adjusted(client.left() - outer.left(), client.top() - outer.top(),
                                       client.right() - outer.right(), client.bottom() - outer.bottom()));
}
} // namespace

// Which edges and corners of a frame a global point lies on. Each edge is a
// band of edgeWidth + 1 pixels, bounds included.
class EdgeHitFlags
{
public:
    void computeEdges(const QPoint &point, const QRect &frame)
    {
        const int x = point.x();
        const int y = point.y();
        const int border = static_cast<int>(s_edgeWidth);
        const int fx = frame.x();
        const int fy = frame.y();
        const int w = frame.width();
        const int h = frame.height();
        leftEdge = fx <= x && x <= fx + border;
        rightEdge = fx + w - border <= x && x <= fx + w;
        topEdge = fy <= y && y <= fy + border;
        bottomEdge = fy + h - border <= y && y <= fy + h;
        topLeftCorner = topEdge && leftEdge;
        bottomLeftCorner = bottomEdge && leftEdge;
        topRightCorner = topEdge && rightEdge;
        bottomRightCorner = bottomEdge && rightEdge;
        anyEdge = leftEdge || rightEdge || topEdge || bottomEdge;
    }

    void clearEdges() { *this = EdgeHitFlags(); }

    bool anyEdge = false;
    bool leftEdge = false;
    bool rightEdge = false;
    bool topEdge = false;
    bool bottomEdge = false;
    bool topLeftCorner = false;
    bool bottomLeftCorner = false;
    bool topRightCorner = false;
    bool bottomRightCorner = false;
};

class FramelessWidgetState;

class FramelessOptions
{
public:
    QHash<QWidget *, FramelessWidgetState *> widgets;
    bool isMovable = true;
    bool isResizable = true;
    bool hasResizeRubberBand = false;
    bool hasMoveRubberBand = false;
};

// What the helper knows about one registered widget: the press that started
// a move or resize, the cursor it set, and the widget's own settings to give
// back when the registration ends.
// The rubber band's own area (not its frame) always stands for the widget's
// frame rectangle.
class FramelessWidgetState
{
public:
    FramelessWidgetState(FramelessOptions *options, QWidget *widget);
    ~FramelessWidgetState();

    FramelessWidgetState(const FramelessWidgetState &) = delete;
    FramelessWidgetState &operator=(const FramelessWidgetState &) = delete;

    void dispatchEvent(QEvent *event);
    void syncRubberBand();
    // The widget is being destroyed: nothing may touch it any more.
    void forgetWidget() { m_widget = nullptr; }

    QMetaObject::Connection destroyedConnection;

private:
    void handlePress(QMouseEvent *event);
    void handleRelease(QMouseEvent *event);
    void handleMove(QMouseEvent *event);
    void applyEdgeCursor(const QPoint &globalPoint);
    void dragWindow(const QPoint &globalPoint);
    void resizeWindow(const QPoint &globalPoint);

    FramelessOptions *m_options;
    QRubberBand *m_rubberBand = nullptr;
    QPointer<QWidget> m_widget;
    QPoint m_dragOffset;
    EdgeHitFlags m_pressedEdges;
    EdgeHitFlags m_moveEdges;
    bool m_leftButtonPressed = false;
    bool m_cursorShapeChanged = false;
    bool m_leftButtonTitlePressed = false;
    Qt::WindowFlags m_windowFlags;
    bool m_hadMouseTracking = false;
    bool m_hadHover = false;
    QPoint m_widgetPosAtPress;
    QPoint m_globalPosAtPress;
    QPoint m_lastGlobalPos;
};

FramelessWidgetState::FramelessWidgetState(FramelessOptions *options, QWidget *widget)
    : m_options(options)
    , m_widget(widget)
    , m_windowFlags(widget->windowFlags())
    , m_hadMouseTracking(widget->hasMouseTracking())
    , m_hadHover(widget->testAttribute(Qt::WA_Hover))
{
    widget->setMouseTracking(true);
    widget->setAttribute(Qt::WA_Hover, true);
    syncRubberBand();
}

FramelessWidgetState::~FramelessWidgetState()
{
    if (m_widget) {
        m_widget->setMouseTracking(m_hadMouseTracking);
        // Setting flags re-creates the native window; skip it when nothing
        // changed, which is always the case while the widget is being torn down.
        if (m_widget->windowFlags() != m_windowFlags)
            m_widget->setWindowFlags(m_windowFlags);
        m_widget->setAttribute(Qt::WA_Hover, m_hadHover);
    }
    delete m_rubberBand;
}

void FramelessWidgetState::syncRubberBand()
{
    if (m_options->hasMoveRubberBand || m_options->hasResizeRubberBand) {
        if (!m_rubberBand)
            m_rubberBand = new QRubberBand(QRubberBand::Rectangle);
    } else {
        delete m_rubberBand;
        m_rubberBand = nullptr;
    }
}

void FramelessWidgetState::dispatchEvent(QEvent *event)
{
    if (!m_widget)
        return;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        handlePress(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::MouseButtonRelease:
        handleRelease(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::MouseMove:
        handleMove(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::Leave:
        if (!m_leftButtonPressed) {
            m_widget->unsetCursor();
            m_cursorShapeChanged = false;
        }
        break;
    case QEvent::HoverMove:
        if (m_options->isResizable)
            applyEdgeCursor(m_widget->mapToGlobal(static_cast<QHoverEvent *>(event)->pos()));
        break;
    default:
        // Double clicks end here: the title area neither maximises nor restores.
        break;
    }
}

void FramelessWidgetState::handlePress(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_leftButtonPressed = true;
    m_leftButtonTitlePressed = event->pos().y() < static_cast<int>(s_titleHeight);

    const QRect frame = m_widget->frameGeometry();
    m_pressedEdges.computeEdges(event->globalPos(), frame);
    m_dragOffset = event->globalPos() - frame.topLeft();
    m_widgetPosAtPress = m_widget->pos();
    m_globalPosAtPress = event->globalPos();

    const bool band = m_pressedEdges.anyEdge ? m_options->hasResizeRubberBand : m_options->hasMoveRubberBand;
    if (band && m_rubberBand) {
        m_rubberBand->setGeometry(frame);
        m_rubberBand->show();
    }
}

void FramelessWidgetState::handleRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_leftButtonPressed = false;
    m_leftButtonTitlePressed = false;
    m_pressedEdges.clearEdges();
    if (m_rubberBand && m_rubberBand->isVisible()) {
        m_rubberBand->hide();
        setFrameGeometry(m_widget, m_rubberBand->geometry());
    }
}

void FramelessWidgetState::handleMove(QMouseEvent *event)
{
    if (!m_leftButtonPressed) {
        if (m_options->isResizable)
            applyEdgeCursor(event->globalPos());
        return;
    }

    // A drag that starts in the title area of a maximised window first brings
    // the window back to its normal size; nothing moves on that event.
    if (m_options->isMovable && m_widget->isMaximized()
        && event->pos().y() < static_cast<int>(s_titleHeight)) {
        m_widget->showNormal();
        return;
    }

    m_lastGlobalPos = event->globalPos();
    if (m_options->isResizable && m_pressedEdges.anyEdge) {
        if (m_options->hasResizeRubberBand && m_rubberBand && m_rubberBand->isHidden())
            m_rubberBand->show();
        resizeWindow(event->globalPos());
        return;
    }
    if (m_options->isMovable && m_leftButtonTitlePressed) {
        if (m_options->hasMoveRubberBand && m_rubberBand && m_rubberBand->isHidden())
            m_rubberBand->show();
        dragWindow(event->globalPos());
    }
}

void FramelessWidgetState::dragWindow(const QPoint &globalPoint)
{
    if (m_options->hasMoveRubberBand && m_rubberBand) {
        m_rubberBand->setGeometry(QRect(globalPoint - m_dragOffset, m_rubberBand->size()));
        return;
    }
    // Follow the mouse by the distance travelled since the press, wherever in
    // the title area the press was.
    m_widget->move(m_widgetPosAtPress + (m_lastGlobalPos - m_globalPosAtPress));
}

void FramelessWidgetState::resizeWindow(const QPoint &globalPoint)
{
    const bool onBand = m_options->hasResizeRubberBand && m_rubberBand;
    const QRect start = onBand ? m_rubberBand->geometry() : m_widget->frameGeometry();
    int left = start.left();
    int top = start.top();
    int right = start.right();
    int bottom = start.bottom();
    const int minWidth = m_widget->minimumWidth();
    const int minHeight = m_widget->minimumHeight();

    const EdgeHitFlags &edges = m_pressedEdges;
    if (edges.topLeftCorner) {
        left = globalPoint.x();
        top = globalPoint.y();
    } else if (edges.bottomLeftCorner) {
        left = globalPoint.x();
        bottom = globalPoint.y();
    } else if (edges.topRightCorner) {
        right = globalPoint.x();
        top = globalPoint.y();
    } else if (edges.bottomRightCorner) {
        right = globalPoint.x();
        bottom = globalPoint.y();
    } else if (edges.leftEdge) {
        left = globalPoint.x();
    } else if (edges.rightEdge) {
        right = globalPoint.x();
    } else if (edges.topEdge) {
        top = globalPoint.y();
    } else if (edges.bottomEdge) {
        bottom = globalPoint.y();
    }

    QRect rect(QPoint(left, top), QPoint(right, bottom));
    if (!rect.isValid())
        return;
    // Below the minimum the dragged edge stays where it started, so the
    // window neither shrinks further nor jumps.
    if (rect.width() < minWidth) {
        if (left == start.left())
            rect.setRight(start.right());
        else
            rect.setLeft(start.left());
    }
    if (rect.height() < minHeight) {
        if (top == start.top())
            rect.setBottom(start.bottom());
        else
            rect.setTop(start.top());
    }

    if (onBand)
        m_rubberBand->setGeometry(rect);
    else
        setFrameGeometry(m_widget, rect);
}

void FramelessWidgetState::applyEdgeCursor(const QPoint &globalPoint)
{
    if (m_widget->isFullScreen() || m_widget->isMaximized()) {
        if (m_cursorShapeChanged)
            m_widget->unsetCursor();
        return;
    }

    m_moveEdges.computeEdges(globalPoint, m_widget->frameGeometry());
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (m_moveEdges.topLeftCorner || m_moveEdges.bottomRightCorner)
        shape = Qt::SizeFDiagCursor;
    else if (m_moveEdges.topRightCorner || m_moveEdges.bottomLeftCorner)
        shape = Qt::SizeBDiagCursor;
    else if (m_moveEdges.leftEdge || m_moveEdges.rightEdge)
        shape = Qt::SizeHorCursor;
    else if (m_moveEdges.topEdge || m_moveEdges.bottomEdge)
        shape = Qt::SizeVerCursor;

    if (m_moveEdges.anyEdge) {
        m_widget->setCursor(shape);
        m_cursorShapeChanged = true;
    } else if (m_cursorShapeChanged) {
        m_widget->unsetCursor();
        m_cursorShapeChanged = false;
    }
}

FramelessHelper::FramelessHelper(QObject *parent)
    : QObject(parent)
    , d(new FramelessOptions)
{
}

FramelessHelper::~FramelessHelper()
{
    const auto records = d->widgets;
    d->widgets.clear();
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        QObject::disconnect(it.value()->destroyedConnection);
        it.key()->removeEventFilter(this);
        delete it.value();
    }
    delete d;
}

void FramelessHelper::attachWidget(QWidget *widget)
{
    if (!widget || d->widgets.contains(widget))
        return;
    auto *state = new FramelessWidgetState(d, widget);
    // A widget destroyed while registered leaves the table at once, so no
    // record outlives it and nothing touches it afterwards.
    state->destroyedConnection = connect(widget, &QObject::destroyed, this, [this, widget] {
        if (FramelessWidgetState *gone = d->widgets.take(widget)) {
            gone->forgetWidget();
            delete gone;
        }
    });
    d->widgets.insert(widget, state);
    widget->installEventFilter(this);
}

void FramelessHelper::detachWidget(QWidget *widget)
{
    FramelessWidgetState *state = d->widgets.take(widget);
    if (!state)
        return;
    QObject::disconnect(state->destroyedConnection);
    widget->removeEventFilter(this);
    delete state;
}

void FramelessHelper::setMovable(bool movable)
{
    d->isMovable = movable;
}

void FramelessHelper::setResizable(bool resizable)
{
    d->isResizable = resizable;
}

void FramelessHelper::setMoveRubberBand(bool movable)
{
    d->hasMoveRubberBand = movable;
    for (FramelessWidgetState *state : qAsConst(d->widgets))
        state->syncRubberBand();
}

void FramelessHelper::setResizeRubberBand(bool resizable)
{
    d->hasResizeRubberBand = resizable;
    for (FramelessWidgetState *state : qAsConst(d->widgets))
        state->syncRubberBand();
}

void FramelessHelper::setEdgeWidth(unsigned int width)
{
    if (width > 0)
        s_edgeWidth = width;
}

void FramelessHelper::setCaptionHeight(unsigned int height)
{
    if (height > 0)
        s_titleHeight = height;
}

bool FramelessHelper::isMovable() const
{
    return d->isMovable;
}

bool FramelessHelper::isResizable() const
{
    return d->isResizable;
}

bool FramelessHelper::hasMoveRubberBand() const
{
    return d->hasMoveRubberBand;
}

bool FramelessHelper::hasResizeRubberBand() const
{
    return d->hasResizeRubberBand;
}

unsigned int FramelessHelper::edgeWidth() const
{
    return s_edgeWidth;
}

unsigned int FramelessHelper::captionHeight() const
{
    return s_titleHeight;
}

bool FramelessHelper::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Leave:
    case QEvent::HoverMove:
        if (watched->isWidgetType()) {
            if (FramelessWidgetState *state = d->widgets.value(static_cast<QWidget *>(watched))) {
                state->dispatchEvent(event);
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
