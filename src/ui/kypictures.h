#pragma once

// The bundle's pictures drawn for the display scale a widget is shown at.
// Every picture is bundled at 1x and 2x ("logo.png", "logo@2x.png"); style
// sheets and icons pick the 2x one by themselves, these helpers do the same
// for pictures the windows load in code.

#include <QBrush>
#include <QPixmap>
#include <QSize>
#include <QString>

// The picture for drawing at `devicePixelRatio`: the 2x copy above 1 (with
// that ratio set, so it is drawn at its logical size), else the picture
// itself. Only the file returned is read.
QPixmap kyPicture(const QString &path, qreal devicePixelRatio);

// A brush that shows the picture stretched over `size` logical pixels,
// resampled for the device pixels it covers at `devicePixelRatio`. Null when
// the picture is missing.
QBrush kyStretchedPicture(const QString &path, QSize size, qreal devicePixelRatio);
