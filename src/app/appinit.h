#pragma once

#include <QObject>

// Application-wide event filter that lets frameless dialogs be dragged by
// their title area. A widget opts in with the dynamic properties "CanMove"
// (true) and "TitleHeight" (pixels); only presses on the widget's own surface
// in its top TitleHeight pixels start a drag, so child controls are untouched.
class AppInit : public QObject
{
    Q_OBJECT

public:
    static AppInit *instance();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    AppInit() = default;
};
