#include "ui/kywindowplacement.h"

#include <QScreen>
#include <QWidget>

QPoint kyOpeningPosition(const QRect &area, QSize frame)
{
    if (frame.width() > area.width() || frame.height() > area.height())
        return area.topLeft();
    return area.topLeft() + QPoint((area.width() - frame.width()) / 2, (area.height() - frame.height()) / 2);
}

void kyPlaceInAvailableArea(QWidget *window)
{
    if (const QScreen *screen = window->screen())
        window->move(kyOpeningPosition(screen->availableGeometry(), window->frameGeometry().size()));
}
