#include "ui/kyaccessibility.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QApplication>
#include <QDialog>
#include <QFocusEvent>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace {

// Dynamic properties the interfaces below read.
constexpr char kRoleProperty[] = "kyAccessibleRole";
constexpr char kDecorativeProperty[] = "kyDecorative";
constexpr char kActingProperty[] = "kyActing";         // bool: reachable now
constexpr char kAnnouncedProperty[] = "kyAnnounced";

bool isActingLabel(const QWidget *widget)
{
    return widget->property(kActingProperty).isValid();
}

bool isReachable(const QWidget *widget)
{
    return widget->property(kActingProperty).toBool();
}

// Presses a label the way the mouse does, so the filters that watch it for
// presses (and the label itself) act as for a click. The events say they
// come from the program, so the focus watcher does not take them for mouse
// use.
void pressLabel(QLabel *label)
{
    QPointer<QLabel> guard(label);
    const QPointF at = QRectF(label->rect()).center();
    const QPointF inWindow = label->mapTo(label->window(), at.toPoint());
    const QPointF global = label->mapToGlobal(at.toPoint());
    QMouseEvent press(QEvent::MouseButtonPress, at, inWindow, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier,
                      Qt::MouseEventSynthesizedByApplication);
    QCoreApplication::sendEvent(label, &press);
    // A press may run a modal dialog, after which the label can be gone.
    if (!guard)
        return;
    QMouseEvent release(QEvent::MouseButtonRelease, at, inWindow, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier,
                        Qt::MouseEventSynthesizedByApplication);
    QCoreApplication::sendEvent(label, &release);
}

// The widgets a container shows to screen readers: its child widgets, as
// Qt lists them, without the decorative ones.
QWidgetList accessibleChildren(const QWidget *widget)
{
    QWidgetList children;
    for (QObject *object : widget->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (!child || child->isWindow() || qobject_cast<QFocusFrame *>(child) || qobject_cast<QMenu *>(child)
            || child->objectName() == QLatin1String("qt_rubberband") || child->property(kDecorativeProperty).toBool())
            continue;
        children << child;
    }
    return children;
}

QAccessible::Role containerRole(const QWidget *widget)
{
    const QVariant role = widget->property(kRoleProperty);
    if (role.isValid())
        return static_cast<QAccessible::Role>(role.toInt());
    if (qobject_cast<const QDialog *>(widget))
        return QAccessible::Dialog;
    // A plain top-level widget (the main window) is a frame to screen
    // readers, not a pane.
    return widget->isWindow() ? QAccessible::Window : QAccessible::Client;
}

// The windows and the plain containers inside them: Qt's interface for a
// widget, without the decorative children and with the role asked for.
class KyAccessibleContainer : public QAccessibleWidget
{
public:
    explicit KyAccessibleContainer(QWidget *widget)
        : QAccessibleWidget(widget, containerRole(widget))
    {
    }

    QAccessible::Role role() const override { return containerRole(widget()); }

    int childCount() const override { return accessibleChildren(widget()).size(); }

    QAccessibleInterface *child(int index) const override
    {
        const QWidgetList children = accessibleChildren(widget());
        if (index < 0 || index >= children.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || !child->object() || !child->object()->isWidgetType())
            return -1;
        return accessibleChildren(widget()).indexOf(static_cast<QWidget *>(child->object()));
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (QWidget *child : accessibleChildren(widget())) {
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(child);
            if (iface && iface->rect().contains(x, y) && !iface->state().invisible)
                return iface;
        }
        return nullptr;
    }
};

// Labels that act (links, "点击重装") and pictures that inform.
class KyAccessibleLabel : public QAccessibleWidget
{
public:
    explicit KyAccessibleLabel(QLabel *label)
        : QAccessibleWidget(label, static_cast<QAccessible::Role>(label->property(kRoleProperty).toInt()))
    {
    }

    QLabel *label() const { return static_cast<QLabel *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = label()->accessibleName();
            return name.isEmpty() ? label()->text() : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        // A covered label is out of sight, whatever its visibility says.
        if (isActingLabel(label()) && !isReachable(label()))
            s.invisible = true;
        if (role() == QAccessible::Link)
            s.linked = true;
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (isActingLabel(label()) && isReachable(label()) && label()->isEnabled())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString &actionName) override
    {
        if (actionName != pressAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        if (!isActingLabel(label()) || !isReachable(label()) || !label()->isEnabled())
            return;
        // Later, from the event loop: the press may run a modal dialog, and
        // the screen reader waits for the answer to its request meanwhile.
        QPointer<QLabel> target(label());
        QTimer::singleShot(0, target, [target]() {
            if (target)
                pressLabel(target);
        });
    }
};

bool isOurContainer(const QString &className)
{
    // Our own windows and widgets, and the plain widgets that hold the
    // forms' pages and strips. Qt's own classes keep Qt's interfaces.
    return className == QLatin1String("QWidget") || className.startsWith(QLatin1String("ky"));
}

// Qt makes an interface as soon as anything asks, and a form asks while it
// is built (setting a name announces the change): one made before a
// property above was set is dropped, so the next request gets the right one.
void dropMadeInterface(QObject *object)
{
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(object))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

QAccessibleInterface *accessibleFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    // Only for the most derived class: asked for a base class, Qt's own
    // interfaces for the class itself have declined already.
    if (className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->property(kRoleProperty).isValid() ? new KyAccessibleLabel(label) : nullptr;
    if (isOurContainer(className))
        return new KyAccessibleContainer(widget);
    return nullptr;
}

// Sets the keyboard focus property on the widget that gets the focus by
// keyboard (Tab, Shift+Tab, a key that opened a dialog) and clears it as
// soon as the focus leaves or the mouse is used; presses acting labels on
// Enter and Space.
class KyKeyboardFocusWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            m_keyboardInUse = true;
            if (presses(watched, static_cast<QKeyEvent *>(event)))
                return true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent *>(event)->source() != Qt::MouseEventSynthesizedByApplication) {
                m_keyboardInUse = false;
                if (m_marked)
                    setMarked(m_marked, false);
            }
            break;
        case QEvent::FocusIn:
            if (watched->isWidgetType())
                setMarked(static_cast<QWidget *>(watched), cameFromKeyboard(static_cast<QFocusEvent *>(event)->reason()));
            break;
        case QEvent::FocusOut:
            if (watched->isWidgetType())
                setMarked(static_cast<QWidget *>(watched), false);
            break;
        default:
            break;
        }
        return false;
    }

private:
    bool cameFromKeyboard(Qt::FocusReason reason) const
    {
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
            return true;
        // A window opened or closed, a page switched, a shortcut: the mark
        // follows the last input.
        return m_keyboardInUse && reason != Qt::MouseFocusReason;
    }

    // Enter presses the focused button, as Space does; Qt leaves that to
    // the buttons of dialogs only. Enter and Space press an acting label.
    static bool presses(QObject *watched, const QKeyEvent *key)
    {
        if (key->isAutoRepeat() || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (auto *button = qobject_cast<QAbstractButton *>(watched)) {
            auto *push = qobject_cast<QPushButton *>(button);
            if (!enter || !button->isEnabled() || (push && push->autoDefault()))
                return false;
            button->animateClick();
            return true;
        }
        auto *label = qobject_cast<QLabel *>(watched);
        if (!label || !isActingLabel(label) || !isReachable(label) || (!enter && key->key() != Qt::Key_Space))
            return false;
        pressLabel(label);
        return true;
    }

    void setMarked(QWidget *widget, bool on)
    {
        if (on)
            m_marked = widget;
        else if (m_marked == widget)
            m_marked = nullptr;
        if (widget->property(KY_KEYBOARD_FOCUS_PROPERTY).toBool() == on)
            return;
        widget->setProperty(KY_KEYBOARD_FOCUS_PROPERTY, on ? QVariant(true) : QVariant());
        // Property selectors of style sheets are matched when a widget is
        // polished.
        widget->style()->unpolish(widget);
        widget->style()->polish(widget);
        widget->update();
    }

    bool m_keyboardInUse = false;
    QPointer<QWidget> m_marked;
};

// Sends the alert screen readers read a message box by when it is shown.
class KyShowAnnouncer : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            QAccessibleEvent alert(watched, QAccessible::Alert);
            QAccessible::updateAccessibility(&alert);
        }
        return false;
    }
};

} // namespace

void kyInstallAccessibility()
{
    static bool installed = false;
    if (installed || !qApp)
        return;
    installed = true;
    QAccessible::installFactory(accessibleFactory);
    qApp->installEventFilter(new KyKeyboardFocusWatcher(qApp));
}

void kyMakeActingLabel(QLabel *label, QAccessible::Role role)
{
    kyInstallAccessibility();
    label->setProperty(kRoleProperty, static_cast<int>(role));
    dropMadeInterface(label);
    kySetActingLabelReachable(label, true);
}

void kySetActingLabelReachable(QLabel *label, bool reachable)
{
    label->setProperty(kActingProperty, reachable);
    // Tab only: a click on the label does not move the focus, as before.
    label->setFocusPolicy(reachable ? Qt::TabFocus : Qt::NoFocus);
    QAccessibleStateChangeEvent event(label, [] {
        QAccessible::State changed;
        changed.invisible = true;
        changed.focusable = true;
        return changed;
    }());
    QAccessible::updateAccessibility(&event);
}

void kyDescribePicture(QLabel *label, const QString &text)
{
    kyInstallAccessibility();
    if (label->property(kRoleProperty).toInt() != QAccessible::Graphic) {
        label->setProperty(kRoleProperty, static_cast<int>(QAccessible::Graphic));
        dropMadeInterface(label);
    }
    label->setAccessibleName(text);
}

void kyMarkDecorative(std::initializer_list<QWidget *> widgets)
{
    kyInstallAccessibility();
    for (QWidget *widget : widgets)
        widget->setProperty(kDecorativeProperty, true);
}

void kySetAccessibleRole(QWidget *widget, QAccessible::Role role)
{
    kyInstallAccessibility();
    widget->setProperty(kRoleProperty, static_cast<int>(role));
}

void kyCloseOnEscape(QAbstractButton *closeButton)
{
    kyInstallAccessibility();
    // A button's own shortcut works without the focus and only while the
    // button is shown and enabled, so of a wizard's five close buttons the
    // one of the page in sight answers. Screen readers read it as the
    // button's key.
    closeButton->setShortcut(QKeySequence(Qt::Key_Escape));
}

void kyAnnounceWhenShown(QWidget *window)
{
    kyInstallAccessibility();
    if (window->property(kAnnouncedProperty).toBool())
        return;
    window->setProperty(kAnnouncedProperty, true);
    window->installEventFilter(new KyShowAnnouncer(window));
}
