#include "kyartworkkit.h"

#include <QFile>
#include <QHash>
#include <QPainterPath>
#include <QRawFont>
#include <QVector>

namespace kyartwork {

namespace {

struct FontState {
    QByteArray data;
    QHash<int, QRawFont> bySize; // key: pixel size in quarter pixels
};

FontState &fontState()
{
    static FontState state;
    return state;
}

const QRawFont &rawFont(qreal pixelSize)
{
    FontState &state = fontState();
    const int key = qRound(pixelSize * 4);
    auto it = state.bySize.find(key);
    if (it == state.bySize.end())
        it = state.bySize.insert(key, QRawFont(state.data, key / 4.0, QFont::PreferNoHinting));
    return it.value();
}

// The outline of one line of text with its baseline at y = 0 and its pen
// position starting at x = 0.
QPainterPath textPath(const QString &text, qreal pixelSize, qreal *advance)
{
    const QRawFont &font = rawFont(pixelSize);
    const QVector<quint32> glyphs = font.glyphIndexesForString(text);
    const QVector<QPointF> advances = font.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
    // Glyph 0 is the font's "missing" box: a caption the font cannot show.
    if (glyphs.contains(0u))
        qWarning("kyartwork: the artwork font lacks a character of \"%s\"", qPrintable(text));
    QPainterPath path;
    qreal x = 0;
    for (int i = 0; i < glyphs.size(); ++i) {
        path.addPath(font.pathForGlyph(glyphs.at(i)).translated(x, 0));
        x += advances.value(i).x();
    }
    if (advance)
        *advance = x;
    return path;
}

} // namespace

QString defaultArtworkFontFile()
{
    return QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-microhei.ttc");
}

bool loadArtworkFont(const QString &fontFile, QString *error)
{
    // A failed load keeps the font loaded before.
    QFile file(fontFile);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read the font file %1: %2").arg(fontFile, file.errorString());
        return false;
    }
    const QByteArray data = file.readAll();
    if (!QRawFont(data, 12, QFont::PreferNoHinting).isValid()) {
        if (error)
            *error = QStringLiteral("%1 holds no usable font").arg(fontFile);
        return false;
    }
    FontState &state = fontState();
    state.bySize.clear();
    state.data = data;
    return true;
}

void releaseArtworkFont()
{
    fontState().bySize.clear();
    fontState().data.clear();
}

QImage newPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void preparePainter(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.setPen(Qt::NoPen);
}

qreal textWidth(const QString &text, qreal pixelSize)
{
    qreal advance = 0;
    textPath(text, pixelSize, &advance);
    return advance;
}

void drawText(QPainter &p, const QRectF &rect, const QString &text, qreal pixelSize,
              const QColor &color, Qt::Alignment align, bool bold)
{
    const QRawFont &font = rawFont(pixelSize);
    qreal advance = 0;
    const QPainterPath path = textPath(text, pixelSize, &advance);

    qreal x = rect.left();
    if (align & Qt::AlignHCenter)
        x = rect.center().x() - advance / 2;
    else if (align & Qt::AlignRight)
        x = rect.right() - advance;

    // Centre the box from ascent to descent; top and bottom alignment put the
    // box against the edge.
    const qreal ascent = font.ascent();
    const qreal descent = font.descent();
    qreal baseline = rect.center().y() + (ascent - descent) / 2;
    if (align & Qt::AlignTop)
        baseline = rect.top() + ascent;
    else if (align & Qt::AlignBottom)
        baseline = rect.bottom() - descent;

    p.save();
    p.translate(x, baseline);
    if (bold)
        p.setPen(QPen(color, pixelSize / 16.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(path);
    p.restore();
}

void drawFittedText(QPainter &p, const QRectF &rect, const QString &text, qreal pixelSize,
                    const QColor &color, Qt::Alignment align, bool bold)
{
    qreal size = pixelSize;
    while (size > 6 && textWidth(text, size) > rect.width())
        size -= 0.5;
    drawText(p, rect, text, size, color, align, bold);
}

void fillRect(QPainter &p, const QRectF &rect, const QColor &color)
{
    p.fillRect(rect, color);
}

void fillRounded(QPainter &p, const QRectF &rect, qreal radius, const QColor &color)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(rect, radius, radius);
    p.restore();
}

void fillEllipse(QPainter &p, const QRectF &rect, const QColor &color)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(rect);
    p.restore();
}

void strokeRounded(QPainter &p, const QRectF &rect, qreal radius, const QColor &color, qreal width)
{
    p.save();
    p.setPen(QPen(color, width));
    p.setBrush(Qt::NoBrush);
    const qreal inset = width / 2;
    p.drawRoundedRect(rect.adjusted(inset, inset, -inset, -inset), radius, radius);
    p.restore();
}

void strokeLine(QPainter &p, QPointF from, QPointF to, const QColor &color, qreal width)
{
    p.save();
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    p.restore();
}

void fillTriangle(QPainter &p, QPointF a, QPointF b, QPointF c, const QColor &color)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const QPointF points[3] = {a, b, c};
    p.drawPolygon(points, 3);
    p.restore();
}

void drawLogoMark(QPainter &p, const QRectF &rect, const QColor &back, const QColor &front)
{
    const qreal s = rect.width();
    fillRounded(p, rect, s * 0.24, back);
    const qreal cx = rect.left() + s * 0.47;
    const qreal cy = rect.center().y();
    fillTriangle(p, QPointF(cx - s * 0.16, cy - s * 0.24), QPointF(cx - s * 0.16, cy + s * 0.24),
                 QPointF(cx + s * 0.25, cy), front);
    const qreal dot = s * 0.14;
    fillEllipse(p, QRectF(rect.right() - s * 0.25, rect.top() + s * 0.11, dot, dot), front);
}

void drawHighlight(QPainter &p, const QRectF &rect, int number)
{
    strokeRounded(p, rect, 4, palette::accent, 2);
    const QRectF badge(rect.right() - 9, rect.top() - 9, 18, 18);
    fillEllipse(p, badge, palette::accent);
    drawText(p, badge, QString::number(number), 12, palette::white, Qt::AlignCenter, true);
}

void drawPointer(QPainter &p, QPointF tip, qreal scale)
{
    const QPointF shape[7] = {{0, 0}, {0, 16}, {4, 12}, {7, 18}, {9.5, 17}, {6.5, 11}, {11.5, 11}};
    QPolygonF polygon;
    for (const QPointF &point : shape)
        polygon << tip + point * scale;
    p.save();
    p.setPen(QPen(palette::white, 1.2 * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(palette::text);
    p.drawPolygon(polygon);
    p.restore();
}

void drawCodePattern(QPainter &p, const QRectF &rect, quint32 seed, const QColor &color)
{
    const int cells = 21;
    const qreal cell = rect.width() / cells;
    fillRect(p, rect, palette::white);
    quint32 state = seed;
    auto next = [&state]() {
        state = state * 1664525u + 1013904223u;
        return state >> 16;
    };
    auto finder = [&](int col, int row) {
        fillRect(p, QRectF(rect.left() + col * cell, rect.top() + row * cell, 7 * cell, 7 * cell), color);
        fillRect(p, QRectF(rect.left() + (col + 1) * cell, rect.top() + (row + 1) * cell, 5 * cell, 5 * cell),
                 palette::white);
        fillRect(p, QRectF(rect.left() + (col + 2) * cell, rect.top() + (row + 2) * cell, 3 * cell, 3 * cell), color);
    };
    for (int row = 0; row < cells; ++row) {
        for (int col = 0; col < cells; ++col) {
            const bool inFinder = (row < 8 && col < 8) || (row < 8 && col >= cells - 8) || (row >= cells - 8 && col < 8);
            if (!inFinder && (next() & 1))
                fillRect(p, QRectF(rect.left() + col * cell, rect.top() + row * cell, cell, cell), color);
        }
    }
    finder(0, 0);
    finder(cells - 7, 0);
    finder(0, cells - 7);
}

} // namespace kyartwork
