#pragma once

#include <QImage>
#include <QSize>

class QPainter;

// The main window's frame, drawn in the 10 px margin of its translucent
// window: a frame line, the window's body and a ten-step shadow of
// antialiased rounded outlines.
void kyDrawWindowFrame(QPainter &painter, const QSize &size);

// Paints what kyDrawWindowFrame draws, pixel for pixel, without stroking
// the ten outlines around the whole window at each paint: the frame of a
// small window is drawn once into a picture of a few kilobytes, and its
// corners, its edges (the same along their whole length) and its body are
// laid out at the window's size in device pixels. Where the window's size
// in device pixels is not whole (a scale such as 125 % on an odd size), it
// draws the frame directly.
class KyWindowFrame
{
public:
    // `painter` is on a fresh, translucent paint of a window of `size`
    // (logical pixels) at `devicePixelRatio`.
    void paint(QPainter &painter, const QSize &size, qreal devicePixelRatio);

private:
    bool prepare(const QSize &size, qreal devicePixelRatio);

    QImage m_small;         // the frame of the small window, device pixels
    QSize m_size;           // the window size m_small was prepared for
    qreal m_ratio = 0;      // and its device pixel ratio
    bool m_usable = false;  // whether m_small can stand in for the window
};
