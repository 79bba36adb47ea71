#include "ui/kydeferredpictures.h"

#include <QAbstractButton>
#include <QEvent>
#include <QRegularExpression>
#include <QSet>
#include <QWidget>

namespace {
// "Type#name" or "Type#name:state", a state whose picture can wait.
const QRegularExpression &namedSelector()
{
    static const QRegularExpression selector(
        QStringLiteral("^[A-Za-z_]\\w*#(\\w+)(:(hover|pressed|checked|disabled))?$"));
    return selector;
}

QString withoutComments(QString sheet)
{
    static const QRegularExpression comment(QStringLiteral("/\\*.*?\\*/"),
                                            QRegularExpression::DotMatchesEverythingOption);
    return sheet.remove(comment);
}
} // namespace

KyDeferredPictures::KyDeferredPictures(const QString &sheet, QWidget *window, const QList<QWidget *> &outside,
                                       QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    // Every widget of the window and of the pages outside it, by name; a
    // name counts as hidden when none of its widgets is shown in the window.
    QHash<QString, QList<QWidget *>> widgets;
    QSet<QString> shown;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        widgets[widget->objectName()].append(widget);
        if (widget->isVisibleTo(window))
            shown.insert(widget->objectName());
    }
    for (QWidget *page : outside) {
        widgets[page->objectName()].append(page);
        for (QWidget *widget : page->findChildren<QWidget *>())
            widgets[widget->objectName()].append(widget);
    }

    QSet<QString> waitingNames;
    const QString text = withoutComments(sheet);
    int start = 0;
    while (start < text.size()) {
        const int open = text.indexOf(QLatin1Char('{'), start);
        const int close = open < 0 ? -1 : text.indexOf(QLatin1Char('}'), open);
        if (close < 0) {
            m_windowSheet += text.mid(start);
            break;
        }
        const QString selectorText = text.mid(start, open - start).trimmed();
        const QString body = text.mid(open + 1, close - open - 1).trimmed();
        const QString whole = text.mid(start, close + 1 - start);
        start = close + 1;

        Rule rule;
        rule.body = body;
        bool handled = body.contains(QStringLiteral("url("));
        for (const QString &part : selectorText.split(QLatin1Char(','))) {
            const QRegularExpressionMatch match = namedSelector().match(part.trimmed());
            if (!match.hasMatch()) {
                handled = false;
                break;
            }
            Selector selector;
            selector.text = part.trimmed();
            selector.name = match.captured(1);
            const bool known = widgets.contains(selector.name);
            selector.deferred = known && (match.lastCapturedIndex() >= 3 || !shown.contains(selector.name));
            rule.selectors.append(selector);
        }
        if (!handled) {
            m_windowSheet += whole;
            continue;
        }
        QStringList kept;
        for (const Selector &selector : qAsConst(rule.selectors)) {
            if (selector.deferred)
                waitingNames.insert(selector.name);
            else
                kept.append(selector.text);
        }
        // The rule keeps its place in the window's sheet with the selectors
        // that stay; its order among the rules is what decides between them.
        if (!kept.isEmpty())
            m_windowSheet += QLatin1Char('\n') + kept.join(QStringLiteral(", ")) + QStringLiteral(" {\n    ") + body
                + QStringLiteral("\n}");
        m_pictureRules.append(rule);
    }

    for (const QString &name : qAsConst(waitingNames)) {
        for (QWidget *widget : widgets.value(name))
            m_waiting.insert(widget, !shown.contains(name));
    }
}

QString KyDeferredPictures::widgetSheet(const QString &name) const
{
    QString sheet;
    for (const Rule &rule : m_pictureRules) {
        for (const Selector &selector : rule.selectors) {
            if (selector.name == name)
                sheet += selector.text + QStringLiteral(" { ") + rule.body + QStringLiteral(" }\n");
        }
    }
    return sheet;
}

void KyDeferredPictures::watch()
{
    const QList<QWidget *> widgets = m_waiting.keys();
    for (QWidget *widget : widgets) {
        auto *button = qobject_cast<QAbstractButton *>(widget);
        // Already in a state whose picture waits: it gets its rules now.
        if (!widget->isEnabled() || widget->underMouse() || (button && (button->isChecked() || button->isDown()))
            || (m_waiting.value(widget) && m_window && widget->isVisibleTo(m_window))) {
            arm(widget);
            continue;
        }
        widget->installEventFilter(this);
        // A checked or pressed state set from code (a click by a screen
        // reader, a page chosen by its key) comes without an event.
        if (button) {
            connect(button, &QAbstractButton::toggled, this, [this, button]() { arm(button); });
            connect(button, &QAbstractButton::pressed, this, [this, button]() { arm(button); });
        }
        connect(widget, &QObject::destroyed, this, [this, widget]() { m_waiting.remove(widget); });
    }
}

bool KyDeferredPictures::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = static_cast<QWidget *>(watched);
    switch (event->type()) {
    case QEvent::Show:
        // Shown at the start, its normal pictures are in the window's sheet.
        if (m_waiting.value(widget))
            arm(widget);
        break;
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Shortcut:
    case QEvent::EnabledChange:
        arm(widget);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void KyDeferredPictures::arm(QWidget *widget)
{
    if (!m_waiting.contains(widget))
        return;
    m_waiting.remove(widget);
    widget->removeEventFilter(this);
    disconnect(widget, nullptr, this, nullptr);
    widget->setStyleSheet(widgetSheet(widget->objectName()));
}
