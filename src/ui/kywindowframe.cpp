#include "ui/kywindowframe.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {
// The corners of the frame reach 20 px into the window (the 10 px margin and
// the largest outline's radius); the small window keeps 24 px of each side
// around a middle where every outline and the body run straight.
const int kCornerReach = 24;
// Device pixels of the straight middle band repeated along the window.
const int kBand = 32;
const int kSmallMinimum = 2 * kCornerReach + kBand;
// Sizes tried above the minimum for one whose device size is whole.
const int kSmallTries = 64;

bool whole(qreal value)
{
    return qAbs(value - qRound(value)) < 1e-9;
}

// The smallest side of at least kSmallMinimum whose device length is whole,
// or 0.
int smallSide(int side, qreal ratio)
{
    for (int candidate = kSmallMinimum; candidate < kSmallMinimum + kSmallTries && candidate < side; ++candidate) {
        if (whole(candidate * ratio))
            return candidate;
    }
    return 0;
}
} // namespace

void kyDrawWindowFrame(QPainter &painter, const QSize &size)
{
    const int width = size.width();
    const int height = size.height();
    // The window body sits 10 px inside the translucent window; the margin
    // holds the frame line and a ten-step shadow.
    QPainterPath body;
    body.setFillRule(Qt::WindingFill);
    body.addRect(11, 11, width - 22, height - 22);
    painter.setPen(QColor(0x53, 0x53, 0x53));
    painter.drawRect(10, 10, width - 21, height - 21);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(body, QBrush(QColor(0xf5, 0xf5, 0xfb)));

    QColor shadow(0, 0, 0);
    for (int i = 0; i < 10; ++i) {
        QPainterPath ring;
        ring.setFillRule(Qt::WindingFill);
        ring.addRoundedRect(10 - i, 10 - i, width - (10 - i) * 2, height - (10 - i) * 2, i + 1, i + 1, Qt::AbsoluteSize);
        shadow.setAlpha(36 - i * 4);
        painter.setPen(shadow);
        painter.drawPath(ring);
    }
}

bool KyWindowFrame::prepare(const QSize &size, qreal devicePixelRatio)
{
    if (size == m_size && qFuzzyCompare(devicePixelRatio, m_ratio))
        return m_usable;
    m_size = size;
    m_ratio = devicePixelRatio;
    m_small = QImage();
    m_usable = false;
    const int smallWidth = smallSide(size.width(), devicePixelRatio);
    const int smallHeight = smallSide(size.height(), devicePixelRatio);
    if (!smallWidth || !smallHeight || !whole(size.width() * devicePixelRatio)
        || !whole(size.height() * devicePixelRatio))
        return false;
    // Drawn as the window draws it: a transparent picture at the window's
    // device pixel ratio, painted with a fresh painter.
    m_small = QImage(qRound(smallWidth * devicePixelRatio), qRound(smallHeight * devicePixelRatio),
                     QImage::Format_ARGB32_Premultiplied);
    m_small.setDevicePixelRatio(devicePixelRatio);
    m_small.fill(Qt::transparent);
    {
        QPainter painter(&m_small);
        kyDrawWindowFrame(painter, QSize(smallWidth, smallHeight));
    }
    m_small.setDevicePixelRatio(1);
    m_usable = true;
    return true;
}

void KyWindowFrame::paint(QPainter &painter, const QSize &size, qreal devicePixelRatio)
{
    if (!prepare(size, devicePixelRatio)) {
        painter.save();
        kyDrawWindowFrame(painter, size);
        painter.restore();
        return;
    }
    // In device pixels, each piece copied unscaled: the small frame's
    // columns and rows before its middle band and after it are the window's
    // own, moved by whole pixels; the band, where the outlines and the body
    // run straight, is repeated over the window's columns and rows between.
    const int windowWidth = qRound(size.width() * devicePixelRatio);
    const int windowHeight = qRound(size.height() * devicePixelRatio);
    const int smallWidth = m_small.width();
    const int smallHeight = m_small.height();
    const int bandX = (smallWidth - kBand) / 2;
    const int bandY = (smallHeight - kBand) / 2;
    const int sourceX[4] = {0, bandX, bandX + kBand, smallWidth};
    const int targetX[4] = {0, bandX, windowWidth - (smallWidth - bandX - kBand), windowWidth};
    const int sourceY[4] = {0, bandY, bandY + kBand, smallHeight};
    const int targetY[4] = {0, bandY, windowHeight - (smallHeight - bandY - kBand), windowHeight};
    const QRgb body = m_small.pixel(bandX, bandY);

    painter.save();
    painter.setWorldTransform(QTransform::fromScale(1 / devicePixelRatio, 1 / devicePixelRatio));
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect target(QPoint(targetX[column], targetY[row]),
                               QPoint(targetX[column + 1] - 1, targetY[row + 1] - 1));
            // The body, opaque, is one colour.
            if (row == 1 && column == 1 && qAlpha(body) == 255) {
                painter.fillRect(target, QColor(body));
                continue;
            }
            const QRect source(QPoint(sourceX[column], sourceY[row]),
                               QPoint(sourceX[column + 1] - 1, sourceY[row + 1] - 1));
            for (int y = target.top(); y <= target.bottom(); y += source.height()) {
                for (int x = target.left(); x <= target.right(); x += source.width()) {
                    const QRect piece(x, y, qMin(source.width(), target.right() + 1 - x),
                                      qMin(source.height(), target.bottom() + 1 - y));
                    painter.drawImage(piece.topLeft(), m_small, QRect(source.topLeft(), piece.size()));
                }
            }
        }
    }
    painter.restore();
}
