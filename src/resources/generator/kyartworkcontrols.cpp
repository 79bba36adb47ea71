// Buttons, bands and small controls.

#include "kyartworkdraw_p.h"
#include "kyartworkkit.h"

#include <QPainterPath>
#include <QtMath>

namespace kyartwork {

namespace {

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

// Faint circles that decorate the orange bands, away from their middle.
void drawBandCircles(QPainter &p, QSize size)
{
    const QColor faint = withAlpha(palette::white, 18);
    const qreal h = size.height();
    fillEllipse(p, QRectF(-0.35 * h, 0.25 * h, 1.1 * h, 1.1 * h), faint);
    fillEllipse(p, QRectF(size.width() - 0.9 * h, -0.55 * h, 1.3 * h, 1.3 * h), faint);
    fillEllipse(p, QRectF(size.width() - 0.45 * h, 0.35 * h, 0.8 * h, 0.8 * h), faint);
}

// A video camera pictogram, centred on c, about `s` wide.
void drawCamera(QPainter &p, QPointF c, qreal s, const QColor &color)
{
    const QRectF body(c.x() - s / 2, c.y() - s * 0.32, s * 0.68, s * 0.64);
    fillRounded(p, body, s * 0.1, color);
    fillTriangle(p, QPointF(body.right() + s * 0.04, c.y()), QPointF(c.x() + s / 2, c.y() - s * 0.28),
                 QPointF(c.x() + s / 2, c.y() + s * 0.28), color);
}

// A tool case pictogram.
void drawToolCase(QPainter &p, QPointF c, qreal s, const QColor &color, const QColor &back)
{
    const QRectF body(c.x() - s / 2, c.y() - s * 0.26, s, s * 0.62);
    const QRectF handle(c.x() - s * 0.2, c.y() - s * 0.42, s * 0.4, s * 0.24);
    strokeRounded(p, handle, s * 0.06, color, s * 0.08);
    fillRounded(p, body, s * 0.08, color);
    fillRect(p, QRectF(body.left(), c.y() - s * 0.02, s, s * 0.06), back);
    fillRect(p, QRectF(c.x() - s * 0.07, c.y() - s * 0.08, s * 0.14, s * 0.18), back);
}

void drawHeadset(QPainter &p, QPointF c, qreal s, const QColor &color, qreal pen)
{
    p.save();
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - s * 0.4, c.y() - s * 0.45, s * 0.8, s * 0.8), 0, 180 * 16);
    p.restore();
    fillRounded(p, QRectF(c.x() - s * 0.46, c.y() - s * 0.08, s * 0.2, s * 0.38), s * 0.06, color);
    fillRounded(p, QRectF(c.x() + s * 0.26, c.y() - s * 0.08, s * 0.2, s * 0.38), s * 0.06, color);
    p.save();
    p.setPen(QPen(color, pen * 0.8, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - s * 0.36, c.y() - s * 0.1, s * 0.72, s * 0.56), 225 * 16, 90 * 16);
    p.restore();
}

void drawBook(QPainter &p, QPointF c, qreal s, const QColor &color, qreal pen)
{
    p.save();
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(c.x(), c.y() - s * 0.3);
    path.lineTo(c.x() - s * 0.45, c.y() - s * 0.38);
    path.lineTo(c.x() - s * 0.45, c.y() + s * 0.32);
    path.lineTo(c.x(), c.y() + s * 0.4);
    path.lineTo(c.x() + s * 0.45, c.y() + s * 0.32);
    path.lineTo(c.x() + s * 0.45, c.y() - s * 0.38);
    path.closeSubpath();
    path.moveTo(c.x(), c.y() - s * 0.3);
    path.lineTo(c.x(), c.y() + s * 0.4);
    p.drawPath(path);
    p.restore();
}

void drawDownloadArrow(QPainter &p, QPointF c, qreal s, const QColor &color, qreal pen)
{
    strokeLine(p, QPointF(c.x(), c.y() - s * 0.45), QPointF(c.x(), c.y() + s * 0.15), color, pen);
    p.save();
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF head[3] = {{c.x() - s * 0.25, c.y() - s * 0.08}, {c.x(), c.y() + s * 0.18},
                             {c.x() + s * 0.25, c.y() - s * 0.08}};
    p.drawPolyline(head, 3);
    const QPointF tray[4] = {{c.x() - s * 0.45, c.y() + s * 0.1}, {c.x() - s * 0.45, c.y() + s * 0.42},
                             {c.x() + s * 0.45, c.y() + s * 0.42}, {c.x() + s * 0.45, c.y() + s * 0.1}};
    p.drawPolyline(tray, 4);
    p.restore();
}

void drawFolder(QPainter &p, QPointF c, qreal s, const QColor &color, const QColor &back)
{
    QPainterPath tab;
    tab.moveTo(c.x() - s * 0.5, c.y() - s * 0.3);
    tab.lineTo(c.x() - s * 0.12, c.y() - s * 0.3);
    tab.lineTo(c.x() - s * 0.02, c.y() - s * 0.2);
    tab.lineTo(c.x() + s * 0.5, c.y() - s * 0.2);
    tab.lineTo(c.x() + s * 0.5, c.y() + s * 0.35);
    tab.lineTo(c.x() - s * 0.5, c.y() + s * 0.35);
    tab.closeSubpath();
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(tab);
    p.restore();
    fillRect(p, QRectF(c.x() - s * 0.5, c.y() - s * 0.1, s, s * 0.04), back);
}

void drawKey(QPainter &p, QPointF c, qreal s, const QColor &color, qreal pen)
{
    p.save();
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(c.x() - s * 0.5, c.y() - s * 0.22, s * 0.44, s * 0.44));
    p.drawLine(QPointF(c.x() - s * 0.06, c.y()), QPointF(c.x() + s * 0.5, c.y()));
    p.drawLine(QPointF(c.x() + s * 0.3, c.y()), QPointF(c.x() + s * 0.3, c.y() + s * 0.2));
    p.drawLine(QPointF(c.x() + s * 0.45, c.y()), QPointF(c.x() + s * 0.45, c.y() + s * 0.26));
    p.restore();
}

void drawMonitor(QPainter &p, QPointF c, qreal s, const QColor &color, qreal pen)
{
    p.save();
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(c.x() - s * 0.5, c.y() - s * 0.42, s, s * 0.68), s * 0.06, s * 0.06);
    p.drawLine(QPointF(c.x() - s * 0.2, c.y() + s * 0.45), QPointF(c.x() + s * 0.2, c.y() + s * 0.45));
    p.drawLine(QPointF(c.x(), c.y() + s * 0.26), QPointF(c.x(), c.y() + s * 0.45));
    p.restore();
}

} // namespace

void drawTrayQuit(QPainter &p)
{
    // A power symbol in the menu's text colour.
    const QPointF c(7, 8);
    p.save();
    p.setPen(QPen(palette::menuText, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - 5.5, c.y() - 5.5, 11, 11), 125 * 16, 290 * 16);
    p.drawLine(QPointF(c.x(), 1.2), QPointF(c.x(), 7.5));
    p.restore();
}

void drawTitleBarBack(QPainter &p, QSize size)
{
    fillRect(p, QRectF(QPointF(0, 0), QSizeF(size)), palette::accent);
    drawBandCircles(p, size);
    // A slightly deeper strip behind the page buttons.
    fillRect(p, QRectF(0, size.height() - 4, size.width(), 4), withAlpha(palette::accentDeep, 60));
}

void drawWindowButton(QPainter &p, bool close, State state)
{
    const QRectF area(0, 0, 36, 36);
    if (state == State::Hover)
        fillRect(p, area, close ? palette::accentDeep : withAlpha(palette::white, 46));
    const QColor ink = palette::white;
    if (close) {
        strokeLine(p, QPointF(12.5, 12.5), QPointF(23.5, 23.5), ink, 1.6);
        strokeLine(p, QPointF(23.5, 12.5), QPointF(12.5, 23.5), ink, 1.6);
    } else {
        strokeLine(p, QPointF(12, 18.5), QPointF(24, 18.5), ink, 1.6);
    }
}

void drawPageButton(QPainter &p, bool toolbox, State state)
{
    const QRectF area(0, 0, 120, 84);
    if (state == State::Hover)
        fillRect(p, area, withAlpha(palette::white, 30));
    else if (state == State::Active)
        fillRect(p, area, withAlpha(palette::accentDeep, 110));
    const QColor ink = state == State::Normal ? withAlpha(palette::white, 200) : palette::white;
    const QPointF iconCentre(60, 32);
    if (toolbox)
        drawToolCase(p, iconCentre, 28, ink, state == State::Active ? palette::accentDeep : palette::accent);
    else
        drawCamera(p, iconCentre, 30, ink);
    drawText(p, QRectF(0, 50, 120, 22), toolbox ? QStringLiteral("工具箱") : QStringLiteral("直播"), 15, ink);
    if (state == State::Active)
        fillRounded(p, QRectF(40, 79, 40, 4), 2, palette::white);
}

void drawColumnButton(QPainter &p, bool obs, State state)
{
    const QRectF area(0, 0, 170, 52);
    if (state == State::Hover)
        fillRect(p, area, palette::columnHover);
    else if (state == State::Active)
        fillRect(p, area, palette::surface);
    if (state == State::Active)
        fillRect(p, QRectF(0, 0, 4, 52), palette::accent);

    const QRectF icon(30, 16, 20, 20);
    if (obs) {
        fillEllipse(p, icon, state == State::Active ? palette::accent : palette::text);
        drawText(p, icon, QStringLiteral("O"), 12, palette::white, Qt::AlignCenter, true);
    } else {
        drawLogoMark(p, icon, palette::accent, palette::white);
    }
    const QColor ink = state == State::Active ? palette::accent : palette::text;
    drawText(p, QRectF(60, 0, 105, 52), obs ? QStringLiteral("OBS") : QStringLiteral("Kyoro直播伴侣"), 14, ink,
             Qt::AlignLeft | Qt::AlignVCenter);
}

void drawCardButton(QPainter &p, CardButton kind, bool hover)
{
    const QRectF area(1, 1, 232, 62);
    QColor back = hover ? palette::accentDark : palette::accent;
    QString caption;
    switch (kind) {
    case CardButton::Install:
        caption = QStringLiteral("安装");
        break;
    case CardButton::Open:
        caption = QStringLiteral("打开");
        break;
    case CardButton::Running:
        caption = QStringLiteral("直播中");
        back = palette::border;
        break;
    }
    fillRounded(p, area, 6, back);

    const qreal captionWidth = textWidth(caption, 24);
    const qreal iconSize = 22;
    const qreal gap = 10;
    const qreal left = 117 - (captionWidth + iconSize + gap) / 2;
    const QPointF iconCentre(left + iconSize / 2, 32);
    switch (kind) {
    case CardButton::Install:
        drawDownloadArrow(p, iconCentre, iconSize, palette::white, 2.4);
        break;
    case CardButton::Open:
        fillTriangle(p, QPointF(iconCentre.x() - 7, iconCentre.y() - 10), QPointF(iconCentre.x() - 7, iconCentre.y() + 10),
                     QPointF(iconCentre.x() + 10, iconCentre.y()), palette::white);
        break;
    case CardButton::Running:
        fillEllipse(p, QRectF(iconCentre.x() - 5, iconCentre.y() - 5, 10, 10), palette::white);
        p.save();
        p.setPen(QPen(palette::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(iconCentre, 10, 10);
        p.restore();
        break;
    }
    drawText(p, QRectF(left + iconSize + gap, 0, captionWidth + 2, 64), caption, 24, palette::white,
             Qt::AlignLeft | Qt::AlignVCenter);
}

void drawLiveSetButton(QPainter &p, bool hover, bool disabled)
{
    const QRectF area(0, 0, 94, 30);
    QColor back = palette::white;
    QColor frame = palette::accent;
    QColor ink = palette::accent;
    if (disabled) {
        back = QColor(0xf0, 0xf0, 0xf4);
        frame = palette::border;
        ink = palette::textHint;
    } else if (hover) {
        back = palette::accent;
        ink = palette::white;
    }
    fillRounded(p, area, 4, back);
    strokeRounded(p, area, 4, frame, 1);
    drawText(p, area, QStringLiteral("推流设置"), 14, ink);
}

void drawLinkButton(QPainter &p, bool tutorial, bool hover)
{
    const QColor ink = hover ? palette::accent : palette::textSecondary;
    const QPointF iconCentre(7, 7);
    if (tutorial)
        drawBook(p, iconCentre, 11, ink, 1.1);
    else
        drawHeadset(p, iconCentre, 12, ink, 1.2);
    drawText(p, QRectF(16, 0, 54, 14), tutorial ? QStringLiteral("使用教程") : QStringLiteral("联系客服"), 12, ink,
             Qt::AlignLeft | Qt::AlignVCenter);
}

void drawProgressTrack(QPainter &p, QSize size)
{
    // Dark enough for the white percentage drawn over it.
    fillRect(p, QRectF(QPointF(0, 0), QSizeF(size)), QColor(0xb4, 0xb4, 0xbe));
}

void drawProgressChunk(QPainter &p, QSize size)
{
    fillRect(p, QRectF(QPointF(0, 0), QSizeF(size)), palette::accent);
    fillRect(p, QRectF(0, 0, size.width(), size.height() / 2.0), withAlpha(palette::white, 24));
}

void drawRadio(QPainter &p, bool selected)
{
    const QRectF ring(0.5, 0.5, 13, 13);
    fillEllipse(p, ring, selected ? palette::accent : palette::textHint);
    fillEllipse(p, ring.adjusted(1, 1, -1, -1), palette::white);
    if (selected)
        fillEllipse(p, QRectF(3.5, 3.5, 7, 7), palette::accent);
}

void drawArrowButton(QPainter &p, bool right, bool pressed)
{
    const QRectF area(0, 0, 16, 62);
    fillRounded(p, area, 3, withAlpha(QColor(Qt::black), pressed ? 140 : 80));
    const qreal tip = right ? 10.5 : 5.5;
    const qreal tail = right ? 5.5 : 10.5;
    p.save();
    p.setPen(QPen(palette::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF chevron[3] = {{tail, 24}, {tip, 31}, {tail, 38}};
    p.drawPolyline(chevron, 3);
    p.restore();
}

void drawSwitchPoint(QPainter &p, bool selected)
{
    if (selected) {
        fillRounded(p, QRectF(0, 0, 18, 8), 4, palette::accent);
        return;
    }
    fillEllipse(p, QRectF(0, 0, 8, 8), withAlpha(palette::text, 90));
    fillEllipse(p, QRectF(1, 1, 6, 6), withAlpha(palette::white, 220));
}

void drawToolboxTile(QPainter &p, Tile tile, bool hover)
{
    const QRectF disc(23, 14, 84, 84);
    const QColor back = hover ? palette::accent : palette::white;
    const QColor ink = hover ? palette::white : palette::accent;
    if (hover)
        fillRounded(p, QRectF(2, 2, 126, 146), 8, withAlpha(palette::accent, 26));
    fillEllipse(p, disc, hover ? palette::accent : palette::column);
    fillEllipse(p, disc.adjusted(1, 1, -1, -1), back);

    const QPointF c = disc.center();
    QString caption;
    switch (tile) {
    case Tile::InstallObs:
        drawMonitor(p, c + QPointF(0, -2), 40, ink, 3);
        drawDownloadArrow(p, c + QPointF(0, -6), 16, ink, 2.4);
        caption = QStringLiteral("安装OBS");
        break;
    case Tile::Service:
        drawHeadset(p, c + QPointF(0, 2), 40, ink, 3.2);
        caption = QStringLiteral("联系客服");
        break;
    case Tile::InstallKyoro:
        drawLogoMark(p, QRectF(c.x() - 20, c.y() - 22, 36, 36), ink, back);
        fillEllipse(p, QRectF(c.x() + 4, c.y() + 2, 20, 20), back);
        drawDownloadArrow(p, c + QPointF(14, 12), 12, ink, 2);
        caption = QStringLiteral("安装Kyoro直播伴侣");
        break;
    case Tile::OpenFolder:
        drawFolder(p, c, 42, ink, back);
        caption = QStringLiteral("录制文件夹");
        break;
    case Tile::GetPushCode:
        drawKey(p, c, 42, ink, 3.2);
        caption = QStringLiteral("获取推流码");
        break;
    case Tile::CommonProblem:
        p.save();
        p.setPen(QPen(ink, 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 20, 20);
        p.restore();
        drawText(p, QRectF(c.x() - 20, c.y() - 20, 40, 40), QStringLiteral("?"), 28, ink, Qt::AlignCenter, true);
        caption = QStringLiteral("常见问题");
        break;
    }
    drawFittedText(p, QRectF(4, 110, 122, 26), caption, 15, hover ? palette::accent : palette::text);
}

void drawTitleBand(QPainter &p, QSize size)
{
    // One colour across: dialogs wider than the picture repeat it seamlessly.
    fillRect(p, QRectF(QPointF(0, 0), QSizeF(size)), palette::accent);
}

void drawHeaderBack(QPainter &p, QSize size)
{
    fillRect(p, QRectF(QPointF(0, 0), QSizeF(size)), palette::accent);
    drawBandCircles(p, size);
}

void drawSetupWelcome(QPainter &p, QSize size)
{
    // The setup's first and last pages: the title bar's orange, the mark
    // and the product's name in the upper third.
    const qreal w = size.width();
    const qreal h = size.height();
    fillRect(p, QRectF(0, 0, w, h), palette::accent);
    const QColor faint = withAlpha(palette::white, 18);
    fillEllipse(p, QRectF(-0.35 * w, 0.62 * h, 1.1 * w, 1.1 * w), faint);
    fillEllipse(p, QRectF(0.45 * w, -0.2 * w, 0.9 * w, 0.9 * w), faint);
    fillRect(p, QRectF(0, h - 6, w, 6), withAlpha(palette::accentDeep, 60));
    const qreal mark = w * 0.42;
    drawLogoMark(p, QRectF((w - mark) / 2, h * 0.2, mark, mark), palette::white, palette::accent);
    drawFittedText(p, QRectF(8, h * 0.2 + mark + 14, w - 16, 26), QStringLiteral("Kyoro直播管家"), 18, palette::white,
                   Qt::AlignCenter, true);
    strokeLine(p, QPointF(w * 0.3, h * 0.2 + mark + 50), QPointF(w * 0.7, h * 0.2 + mark + 50),
               withAlpha(palette::white, 120), 1.5);
}

void drawSetupHeader(QPainter &p, QSize size)
{
    // The header of the setup's inner pages sits on white, at its right end.
    const qreal w = size.width();
    const qreal h = size.height();
    fillRect(p, QRectF(0, 0, w, h), palette::white);
    fillEllipse(p, QRectF(w - 1.25 * h, -0.35 * h, 1.7 * h, 1.7 * h), palette::accentPale);
    const qreal mark = h * 0.62;
    drawLogoMark(p, QRectF(w - mark - h * 0.3, (h - mark) / 2, mark, mark), palette::accent, palette::white);
}

void drawKyoroLogo(QPainter &p, QSize size)
{
    const QRectF area(QPointF(0, 0), QSizeF(size));
    fillRounded(p, area.adjusted(1, 1, -1, -1), size.width() * 0.26, palette::white);
    drawLogoMark(p, area.adjusted(7, 7, -7, -7), palette::accent, palette::white);
}

void drawObsLogo(QPainter &p, QSize size)
{
    const QRectF area(QPointF(0, 0), QSizeF(size));
    fillRounded(p, area.adjusted(1, 1, -1, -1), size.width() * 0.26, palette::white);
    const QRectF disc = area.adjusted(7, 7, -7, -7);
    fillEllipse(p, disc, palette::dark);
    drawText(p, disc, QStringLiteral("OBS"), 14, palette::white, Qt::AlignCenter, true);
}

void drawFailurePicture(QPainter &p, QSize size)
{
    const QRectF area(QPointF(0, 0), QSizeF(size));
    fillEllipse(p, area.adjusted(6, 6, -6, -6), QColor(0xe9, 0xe9, 0xef));
    const QRectF disc = area.adjusted(26, 26, -26, -26);
    fillEllipse(p, disc, palette::accent);
    const QPointF c = disc.center();
    fillRounded(p, QRectF(c.x() - 4, c.y() - 22, 8, 28), 4, palette::white);
    fillEllipse(p, QRectF(c.x() - 4.5, c.y() + 11, 9, 9), palette::white);
}

void drawComboArrow(QPainter &p, bool up)
{
    if (up)
        fillTriangle(p, QPointF(0, 5), QPointF(9, 5), QPointF(4.5, 0), palette::textSecondary);
    else
        fillTriangle(p, QPointF(0, 0), QPointF(9, 0), QPointF(4.5, 5), palette::textSecondary);
}

} // namespace kyartwork
