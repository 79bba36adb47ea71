#pragma once

// Qt's style sheets decode every picture a widget's rules name, in every
// state, when they polish the widget: a button's hover, pressed, checked and
// disabled pictures are read with its normal one, and the pictures of
// widgets not shown yet with the rest. KyDeferredPictures holds such rules
// back until the widget needs them:
//
// - a picture rule for a state (":hover", ":pressed", ":checked",
//   ":disabled") of a widget named by "#name", and every picture rule of a
//   name whose widgets are all hidden when the sheet is set, are left out of
//   the window's sheet;
// - the first time such a widget is shown, entered, pressed, checked,
//   disabled or given a key, it gets all picture rules naming it, in the
//   order of the sheet, as a style sheet of its own. Its own sheet outranks
//   the window's, and holds every rule that draws it, so it looks exactly as
//   under the whole sheet.
//
// Only rules whose every selector is "Type#name" or "Type#name:state" and
// which name a url() are handled; the rest of the sheet is kept as it is.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class QWidget;

class KyDeferredPictures : public QObject
{
public:
    // `widgets` are the widgets the sheet will style: those of the window
    // and of pages not in it yet (counted as hidden).
    KyDeferredPictures(const QString &sheet, QWidget *window, const QList<QWidget *> &outside, QObject *parent);

    // The sheet to set on the window; then call watch().
    QString windowSheet() const { return m_windowSheet; }
    // Starts watching the widgets whose rules were held back.
    void watch();

    // The picture rules naming `name`, as that widget's own sheet.
    QString widgetSheet(const QString &name) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Selector {
        QString text;
        QString name;
        bool deferred = false;
    };
    struct Rule {
        QVector<Selector> selectors;
        QString body;
    };

    void arm(QWidget *widget);

    QVector<Rule> m_pictureRules;
    QString m_windowSheet;
    // Widgets waiting for their rules; true: all of them (hidden at the start).
    QHash<QWidget *, bool> m_waiting;
    QPointer<QWidget> m_window;
};
