#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a top-level window of `frame` size opens in a screen's available
// area (both in logical pixels): centred, fully inside it; in an area too
// small for it (1920 x 1080 at 175 %), at the area's top left, so that its
// title bar and the buttons in it stay on the screen.
QPoint kyOpeningPosition(const QRect &area, QSize frame);

// Moves the window there, in the available area of the screen it is on.
void kyPlaceInAvailableArea(QWidget *window);
