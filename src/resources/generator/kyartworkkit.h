#pragma once

// Drawing helpers shared by the artwork: the palette of the style sheets,
// text drawn from glyph outlines of one fixed font file (no font matching, no
// hinting, so the same machine always draws the same pixels), and the shapes
// that recur in several pictures.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace kyartwork {

namespace palette {
inline const QColor accent{0xff, 0x6f, 0x2c};
inline const QColor accentDark{0xff, 0x44, 0x00};
inline const QColor accentHover{0xff, 0x55, 0x00};
inline const QColor accentDeep{0xd9, 0x3a, 0x00};
inline const QColor accentPale{0xff, 0xe2, 0xd5};
inline const QColor surface{0xf5, 0xf5, 0xfb};
inline const QColor column{0xdb, 0xdb, 0xe1};
inline const QColor columnHover{0xcc, 0xcc, 0xd2};
inline const QColor text{0x33, 0x33, 0x33};
inline const QColor textSecondary{0x99, 0x99, 0x99};
inline const QColor textHint{0xbb, 0xbb, 0xbb};
inline const QColor line{0xdd, 0xdd, 0xdd};
inline const QColor border{0xcc, 0xcc, 0xcc};
inline const QColor menuText{0x96, 0x96, 0xa1};
inline const QColor white{0xff, 0xff, 0xff};
inline const QColor dark{0x2b, 0x2b, 0x30};
} // namespace palette

// The font file every caption is drawn with. Returns false (and says why) when
// it cannot be loaded, keeping the font loaded before, if any.
bool loadArtworkFont(const QString &fontFile, QString *error);
QString defaultArtworkFontFile();
// Drops the loaded font; call before the application object goes away.
void releaseArtworkFont();

// A transparent ARGB picture of the given size and a painter with
// antialiasing on.
QImage newPicture(int width, int height);
void preparePainter(QPainter &p);

// Text from glyph outlines. `bold` thickens the strokes.
qreal textWidth(const QString &text, qreal pixelSize);
void drawText(QPainter &p, const QRectF &rect, const QString &text, qreal pixelSize,
              const QColor &color, Qt::Alignment align = Qt::AlignCenter, bool bold = false);
// Like drawText, shrinking the size until the text fits the rectangle's width.
void drawFittedText(QPainter &p, const QRectF &rect, const QString &text, qreal pixelSize,
                    const QColor &color, Qt::Alignment align = Qt::AlignCenter, bool bold = false);

// Filled shapes without outline.
void fillRect(QPainter &p, const QRectF &rect, const QColor &color);
void fillRounded(QPainter &p, const QRectF &rect, qreal radius, const QColor &color);
void fillEllipse(QPainter &p, const QRectF &rect, const QColor &color);
void strokeRounded(QPainter &p, const QRectF &rect, qreal radius, const QColor &color, qreal width);
void strokeLine(QPainter &p, QPointF from, QPointF to, const QColor &color, qreal width);
void fillTriangle(QPainter &p, QPointF a, QPointF b, QPointF c, const QColor &color);

// The program's mark: a rounded square with a play triangle and a live dot.
void drawLogoMark(QPainter &p, const QRectF &rect, const QColor &back, const QColor &front);

// A rounded orange frame with a numbered badge, as used in the tutorial
// pictures to point at what the user clicks.
void drawHighlight(QPainter &p, const QRectF &rect, int number);

// A mouse pointer with its tip at `tip`.
void drawPointer(QPainter &p, QPointF tip, qreal scale = 1.0);

// A square that looks like a scannable code, the same for the same seed.
void drawCodePattern(QPainter &p, const QRectF &rect, quint32 seed, const QColor &color);

} // namespace kyartwork
