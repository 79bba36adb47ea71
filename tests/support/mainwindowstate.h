#pragma once

// The main window's state as a streamer reads it off the window.

#include "uitesthelpers.h"

#include "logic/kytoolfacts.h"

#include <QRadioButton>
#include <QStackedWidget>
#include <QWidget>

namespace kytest {

// The tool of the card on show: the live page's card and its checked edition.
inline QString shownTool(QWidget *window)
{
    const bool kyoroCard = child<QStackedWidget>(window, "stackedWidget_2")->currentWidget()
        == child<QWidget>(window, "page_kyoroPage");
    if (kyoroCard)
        return child<QRadioButton>(window, "radio_kyTool")->isChecked() ? TOOL_NAME_KYTOOL : TOOL_NAME_KYSHOW;
    return child<QRadioButton>(window, "radio_classic")->isChecked() ? TOOL_NAME_OBS_CLASSIC : TOOL_NAME_OBS_STUDIO;
}

} // namespace kytest
