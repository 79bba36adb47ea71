#pragma once

// What every window does for keyboard users and screen readers.
//
// Qt hands accessible names, roles and actions to UI Automation on Windows
// and to AT-SPI on Linux; these helpers fill in what the forms cannot say by
// themselves: labels that act like links, pictures that inform or only
// decorate, dialogs whose text is read when they open, keys for the controls
// that take no focus, and a focus mark that only the keyboard brings up.

#include <QAccessible>
#include <QString>

#include <initializer_list>

class QAbstractButton;
class QLabel;
class QWidget;

// The dynamic property a widget carries while it holds focus that came from
// the keyboard; the style sheets draw the focus mark for it, so a mouse user
// sees no mark at all.
inline constexpr char KY_KEYBOARD_FOCUS_PROPERTY[] = "KeyboardFocus";

// Installs, once per process, the accessible interfaces of the labels,
// pictures and containers marked below, and the watcher that sets the
// keyboard focus property. The other helpers call it themselves.
void kyInstallAccessibility();

// A label that acts on a mouse press (a link, "点击重装"): Tab reaches it,
// Enter and Space press it as a click does, and a screen reader sees a link
// (or a button) it can press. The label keeps its look.
void kyMakeActingLabel(QLabel *label, QAccessible::Role role = QAccessible::Link);

// An acting label a button covers is not reached by Tab and is hidden from
// screen readers until the button goes away.
void kySetActingLabelReachable(QLabel *label, bool reachable);

// A picture that carries information: screen readers see a graphic named
// with this text.
void kyDescribePicture(QLabel *label, const QString &text);

// Pictures and strips that only decorate: left out of the accessibility tree.
void kyMarkDecorative(std::initializer_list<QWidget *> widgets);

// The role a window or container shows to screen readers instead of the one
// its class gives (a message box is an alert).
void kySetAccessibleRole(QWidget *widget, QAccessible::Role role);

// Esc presses this close button, which takes no focus: the dialog closes as
// its close button closes it (cancelling what that button cancels).
void kyCloseOnEscape(QAbstractButton *closeButton);

// When the window is shown, screen readers are told to read it out: its
// name and its description (the message of a message box).
void kyAnnounceWhenShown(QWidget *window);
