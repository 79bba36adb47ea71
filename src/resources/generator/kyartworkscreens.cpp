// Mock-up screenshots: the streaming tools' windows for the carousel and the
// platform's web pages for the push-code tutorial.

#include "kyartworkdraw_p.h"
#include "kyartworkkit.h"

#include <QPainterPath>

namespace kyartwork {

namespace {

const QString PUSH_ADDRESS = QStringLiteral("rtmp://push.kyoro.live/live");
const QString PUSH_CODE = QStringLiteral("kyoro_8f3a2c61d7");
const QString HIDDEN_CODE = QStringLiteral("••••••••••••");

// Colours of one tool window.
struct Theme {
    QColor titleBar;
    QColor titleText;
    QColor body;
    QColor panel;
    QColor panelLine;
    QColor text;
    QColor textDim;
    QColor selection;
};

const Theme kyoroTheme{palette::accent,  palette::white,         palette::surface,
                       palette::white,   palette::line,          palette::text,
                       palette::textSecondary, palette::accentPale};
const Theme classicTheme{QColor(0xdf, 0xe3, 0xea), palette::text, QColor(0xf0, 0xf0, 0xf0),
                         palette::white,           QColor(0xb9, 0xbd, 0xc4), palette::text,
                         QColor(0x70, 0x70, 0x78), QColor(0xcc, 0xe0, 0xf8)};
const Theme studioTheme{QColor(0x1f, 0x1f, 0x24), QColor(0xd8, 0xd8, 0xe0), QColor(0x2b, 0x2b, 0x30),
                        QColor(0x3a, 0x3a, 0x42), QColor(0x4a, 0x4a, 0x54), QColor(0xd8, 0xd8, 0xe0),
                        QColor(0x9a, 0x9a, 0xa6), QColor(0x4c, 0x55, 0x7a)};

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

// Window frame with a title bar; returns the client area.
QRectF drawWindow(QPainter &p, const QRectF &outer, const QString &title, const Theme &theme, bool withLogo)
{
    fillRect(p, outer, theme.body);
    const QRectF bar(outer.left(), outer.top(), outer.width(), 24);
    fillRect(p, bar, theme.titleBar);
    qreal textLeft = bar.left() + 8;
    if (withLogo) {
        drawLogoMark(p, QRectF(bar.left() + 6, bar.top() + 4, 16, 16), palette::white, palette::accent);
        textLeft += 20;
    }
    drawText(p, QRectF(textLeft, bar.top(), 220, 24), title, 12, theme.titleText, Qt::AlignLeft | Qt::AlignVCenter);
    // Minimise, maximise and close marks.
    const qreal y = bar.center().y();
    const qreal right = bar.right() - 10;
    strokeLine(p, QPointF(right - 48, y + 3), QPointF(right - 40, y + 3), theme.titleText, 1.2);
    p.save();
    p.setPen(QPen(theme.titleText, 1.2));
    p.drawRect(QRectF(right - 27, y - 4, 8, 8));
    p.restore();
    strokeLine(p, QPointF(right - 8, y - 4), QPointF(right, y + 4), theme.titleText, 1.2);
    strokeLine(p, QPointF(right, y - 4), QPointF(right - 8, y + 4), theme.titleText, 1.2);
    return QRectF(outer.left(), bar.bottom(), outer.width(), outer.bottom() - bar.bottom());
}

// A panel with a caption row; returns the area below the caption.
QRectF drawPanel(QPainter &p, const QRectF &rect, const QString &caption, const Theme &theme)
{
    fillRect(p, rect, theme.panelLine);
    fillRect(p, rect.adjusted(1, 1, -1, -1), theme.panel);
    drawText(p, QRectF(rect.left() + 6, rect.top(), rect.width() - 12, 18), caption, 10, theme.textDim,
             Qt::AlignLeft | Qt::AlignVCenter);
    fillRect(p, QRectF(rect.left() + 1, rect.top() + 18, rect.width() - 2, 1), theme.panelLine);
    return QRectF(rect.left() + 1, rect.top() + 19, rect.width() - 2, rect.height() - 20);
}

// Rows of a list; the row `selected` is highlighted.
void drawListRows(QPainter &p, const QRectF &area, const QStringList &rows, int selected, const Theme &theme,
                  qreal rowHeight = 18)
{
    for (int i = 0; i < rows.size(); ++i) {
        const QRectF row(area.left(), area.top() + i * rowHeight, area.width(), rowHeight);
        if (row.bottom() > area.bottom())
            break;
        if (i == selected)
            fillRect(p, row, theme.selection);
        drawText(p, row.adjusted(6, 0, -4, 0), rows.at(i), 10, theme.text, Qt::AlignLeft | Qt::AlignVCenter);
    }
}

// A 10 pixel check box with its top-left corner at `at`.
void drawCheckBox(QPainter &p, QPointF at, bool checked, const Theme &theme)
{
    const QRectF box(at, QSizeF(10, 10));
    fillRect(p, box, theme.textDim);
    fillRect(p, box.adjusted(1, 1, -1, -1), theme.panel);
    if (checked) {
        p.save();
        p.setPen(QPen(theme.text, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF tick[3] = {at + QPointF(2.2, 5), at + QPointF(4.2, 7.2), at + QPointF(8, 2.6)};
        p.drawPolyline(tick, 3);
        p.restore();
    }
}

void drawButton(QPainter &p, const QRectF &rect, const QString &caption, const QColor &back, const QColor &ink,
                const QColor &frame = QColor(), qreal radius = 3, qreal size = 10)
{
    fillRounded(p, rect, radius, back);
    if (frame.isValid())
        strokeRounded(p, rect, radius, frame, 1);
    drawText(p, rect, caption, size, ink);
}

void drawField(QPainter &p, const QRectF &rect, const QString &value, const Theme &theme, qreal size = 10)
{
    fillRect(p, rect, theme.panelLine);
    fillRect(p, rect.adjusted(1, 1, -1, -1), theme.panel);
    drawText(p, rect.adjusted(5, 0, -4, 0), value, size, theme.text, Qt::AlignLeft | Qt::AlignVCenter);
}

// A labelled slider with a value in 0..1.
void drawSlider(QPainter &p, const QRectF &rect, const QString &caption, qreal value, const Theme &theme)
{
    drawText(p, QRectF(rect.left(), rect.top(), 34, rect.height()), caption, 10, theme.text,
             Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF track(rect.left() + 36, rect.center().y() - 2, rect.width() - 40, 4);
    fillRounded(p, track, 2, palette::column);
    fillRounded(p, QRectF(track.left(), track.top(), track.width() * value, 4), 2, palette::accent);
    const QPointF knob(track.left() + track.width() * value, track.center().y());
    fillEllipse(p, QRectF(knob.x() - 5, knob.y() - 5, 10, 10), palette::white);
    strokeRounded(p, QRectF(knob.x() - 5, knob.y() - 5, 10, 10), 5, palette::accent, 1.5);
}

// A game-like picture: night sky, moon, mountains and a small hero.
void drawGameScene(QPainter &p, const QRectF &r)
{
    p.save();
    p.setClipRect(r);
    fillRect(p, r, QColor(0x2c, 0x3e, 0x7a));
    fillRect(p, QRectF(r.left(), r.top() + r.height() * 0.45, r.width(), r.height() * 0.2), QColor(0x3d, 0x55, 0x9a));
    const qreal moon = r.height() * 0.22;
    fillEllipse(p, QRectF(r.right() - r.width() * 0.25, r.top() + r.height() * 0.12, moon, moon), QColor(0xff, 0xd3, 0x6e));
    for (int i = 0; i < 7; ++i) {
        const qreal x = r.left() + r.width() * (0.08 + 0.11 * i);
        const qreal y = r.top() + r.height() * (0.1 + 0.07 * ((i * 3) % 4));
        fillEllipse(p, QRectF(x, y, 2, 2), withAlpha(palette::white, 200));
    }
    const qreal base = r.top() + r.height() * 0.78;
    fillTriangle(p, QPointF(r.left() - r.width() * 0.1, base), QPointF(r.left() + r.width() * 0.3, r.top() + r.height() * 0.35),
                 QPointF(r.left() + r.width() * 0.7, base), QColor(0x24, 0x30, 0x5c));
    fillTriangle(p, QPointF(r.left() + r.width() * 0.35, base), QPointF(r.left() + r.width() * 0.72, r.top() + r.height() * 0.42),
                 QPointF(r.right() + r.width() * 0.1, base), QColor(0x1c, 0x26, 0x4a));
    fillRect(p, QRectF(r.left(), base, r.width(), r.bottom() - base), QColor(0x2f, 0x6b, 0x3c));
    fillRect(p, QRectF(r.left(), base, r.width(), r.height() * 0.03), QColor(0x4c, 0x9a, 0x52));
    // The hero: a little figure with a cape.
    const qreal hx = r.left() + r.width() * 0.3;
    const qreal unit = r.height() / 40;
    fillTriangle(p, QPointF(hx - unit * 1.5, base - unit * 5), QPointF(hx - unit * 5, base), QPointF(hx, base),
                 palette::accent);
    fillRounded(p, QRectF(hx - unit * 1.5, base - unit * 6, unit * 3, unit * 6), unit, QColor(0xf5, 0xf5, 0xfb));
    fillEllipse(p, QRectF(hx - unit * 1.6, base - unit * 9, unit * 3.2, unit * 3.2), QColor(0xff, 0xe0, 0xc4));
    p.restore();
}

// A presenter in front of a soft backdrop.
void drawPresenterScene(QPainter &p, const QRectF &r, bool sticker)
{
    p.save();
    p.setClipRect(r);
    fillRect(p, r, QColor(0xf7, 0xd4, 0xdc));
    fillEllipse(p, QRectF(r.left() - r.width() * 0.2, r.top() + r.height() * 0.5, r.width() * 0.6, r.width() * 0.6),
                QColor(0xfb, 0xe6, 0xea));
    fillEllipse(p, QRectF(r.right() - r.width() * 0.3, r.top() - r.height() * 0.2, r.width() * 0.5, r.width() * 0.5),
                QColor(0xfb, 0xe6, 0xea));
    const qreal cx = r.center().x();
    const qreal head = r.height() * 0.3;
    const qreal headTop = r.top() + r.height() * 0.22;
    // Hair behind the head, body, face.
    fillRounded(p, QRectF(cx - head * 0.62, headTop - head * 0.08, head * 1.24, head * 1.35), head * 0.5,
                QColor(0x4a, 0x30, 0x2a));
    QPainterPath body;
    body.moveTo(cx - head * 1.1, r.bottom());
    body.cubicTo(cx - head * 1.0, headTop + head * 1.2, cx + head * 1.0, headTop + head * 1.2, cx + head * 1.1, r.bottom());
    body.closeSubpath();
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0x7f, 0xa0));
    p.drawPath(body);
    p.restore();
    fillRect(p, QRectF(cx - head * 0.14, headTop + head * 0.9, head * 0.28, head * 0.3), QColor(0xff, 0xe0, 0xc4));
    fillEllipse(p, QRectF(cx - head * 0.45, headTop, head * 0.9, head * 1.05), QColor(0xff, 0xe0, 0xc4));
    fillEllipse(p, QRectF(cx - head * 0.25, headTop + head * 0.42, head * 0.1, head * 0.12), palette::text);
    fillEllipse(p, QRectF(cx + head * 0.15, headTop + head * 0.42, head * 0.1, head * 0.12), palette::text);
    fillRounded(p, QRectF(cx - head * 0.12, headTop + head * 0.72, head * 0.24, head * 0.07), head * 0.03,
                QColor(0xe0, 0x5a, 0x6a));
    if (sticker) {
        // Cat ears and sparkles.
        fillTriangle(p, QPointF(cx - head * 0.5, headTop + head * 0.1), QPointF(cx - head * 0.4, headTop - head * 0.35),
                     QPointF(cx - head * 0.12, headTop), QColor(0xff, 0xb6, 0xc8));
        fillTriangle(p, QPointF(cx + head * 0.5, headTop + head * 0.1), QPointF(cx + head * 0.4, headTop - head * 0.35),
                     QPointF(cx + head * 0.12, headTop), QColor(0xff, 0xb6, 0xc8));
    }
    for (int i = 0; i < 5; ++i) {
        const QPointF star(r.left() + r.width() * (0.12 + 0.19 * i), r.top() + r.height() * (0.15 + 0.13 * (i % 3)));
        const qreal s = 3 + (i % 2) * 2;
        fillTriangle(p, star + QPointF(-s, 0), star + QPointF(0, -s * 0.3), star + QPointF(s, 0), palette::white);
        fillTriangle(p, star + QPointF(-s, 0), star + QPointF(0, s * 0.3), star + QPointF(s, 0), palette::white);
        fillTriangle(p, star + QPointF(0, -s), star + QPointF(-s * 0.3, 0), star + QPointF(0, s), palette::white);
        fillTriangle(p, star + QPointF(0, -s), star + QPointF(s * 0.3, 0), star + QPointF(0, s), palette::white);
    }
    p.restore();
}

// Chat lines: avatar and a line of text each.
void drawChat(QPainter &p, const QRectF &area, const Theme &theme)
{
    const QStringList lines = {QStringLiteral("主播好！"), QStringLiteral("操作太秀了"), QStringLiteral("点歌：晴天"),
                               QStringLiteral("关注了"), QStringLiteral("666"), QStringLiteral("求开黑")};
    const QColor avatars[] = {QColor(0x6c, 0x9e, 0xf8), QColor(0xff, 0xb3, 0x47), QColor(0x5c, 0xc9, 0x8a)};
    for (int i = 0; i < lines.size(); ++i) {
        const qreal y = area.top() + 6 + i * 22;
        if (y + 16 > area.bottom())
            break;
        fillEllipse(p, QRectF(area.left() + 5, y, 14, 14), avatars[i % 3]);
        drawText(p, QRectF(area.left() + 23, y - 1, area.width() - 26, 16), lines.at(i), 10, theme.text,
                 Qt::AlignLeft | Qt::AlignVCenter);
    }
}

void drawKyToolMain(QPainter &p, QSize size)
{
    const Theme &t = kyoroTheme;
    const QRectF client = drawWindow(p, QRectF(QPointF(0, 0), QSizeF(size)), QStringLiteral("Kyoro直播伴侣"), t, true);
    const QRectF scenes = drawPanel(p, QRectF(6, client.top() + 6, 88, 150), QStringLiteral("场景"), t);
    drawListRows(p, scenes,
                 {QStringLiteral("游戏直播"), QStringLiteral("摄像头"), QStringLiteral("桌面窗口"), QStringLiteral("图片文字"),
                  QStringLiteral("手游投屏")},
                 0, t, 22);
    const QRectF preview(100, client.top() + 6, 200, 150);
    drawGameScene(p, preview);
    const QRectF chat = drawPanel(p, QRectF(306, client.top() + 6, 88, 150), QStringLiteral("弹幕助手"), t);
    drawChat(p, chat, t);
    const qreal row = client.top() + 166;
    drawButton(p, QRectF(100, row, 90, 28), QStringLiteral("开始直播"), palette::accent, palette::white, QColor(), 14, 12);
    drawButton(p, QRectF(200, row, 46, 28), QStringLiteral("录制"), palette::white, palette::text, palette::border, 14);
    drawButton(p, QRectF(254, row, 46, 28), QStringLiteral("主题"), palette::white, palette::text, palette::border, 14);
    drawText(p, QRectF(6, row, 88, 28), QStringLiteral("码率 2500"), 10, t.textDim, Qt::AlignLeft | Qt::AlignVCenter);
    drawText(p, QRectF(306, row, 88, 28), QStringLiteral("在线 1,024"), 10, t.textDim, Qt::AlignLeft | Qt::AlignVCenter);
}

void drawKyToolThemes(QPainter &p, QSize size)
{
    const Theme &t = kyoroTheme;
    const QRectF client = drawWindow(p, QRectF(QPointF(0, 0), QSizeF(size)), QStringLiteral("Kyoro直播伴侣"), t, true);
    const QRectF themes = drawPanel(p, QRectF(6, client.top() + 6, 230, 196), QStringLiteral("个性主题"), t);
    const QColor frames[] = {palette::accent, QColor(0x6c, 0x9e, 0xf8), QColor(0x5c, 0xc9, 0x8a),
                             QColor(0xb0, 0x7c, 0xf0), QColor(0xff, 0xb3, 0x47), QColor(0x44, 0x44, 0x50)};
    const QStringList names = {QStringLiteral("活力橙"), QStringLiteral("深海蓝"), QStringLiteral("清新绿"),
                               QStringLiteral("梦幻紫"), QStringLiteral("暖阳黄"), QStringLiteral("暗夜黑")};
    for (int i = 0; i < 6; ++i) {
        const QRectF cell(themes.left() + 8 + (i % 3) * 73, themes.top() + 8 + (i / 3) * 86, 66, 72);
        const QRectF thumb(cell.left(), cell.top(), 66, 52);
        fillRect(p, thumb, frames[i]);
        fillRect(p, thumb.adjusted(5, 5, -5, -14), QColor(0x2c, 0x3e, 0x7a));
        fillRect(p, QRectF(thumb.left() + 5, thumb.bottom() - 10, 30, 6), withAlpha(palette::white, 200));
        if (i == 0)
            strokeRounded(p, thumb.adjusted(-2, -2, 2, 2), 2, palette::accent, 2);
        drawText(p, QRectF(cell.left(), thumb.bottom() + 2, 66, 16), names.at(i), 10, t.text);
    }
    const QRectF cast = drawPanel(p, QRectF(242, client.top() + 6, 152, 196), QStringLiteral("手游投屏"), t);
    drawCodePattern(p, QRectF(cast.center().x() - 50, cast.top() + 14, 100, 100), 0x4b594f, palette::text);
    drawText(p, QRectF(cast.left(), cast.top() + 122, cast.width(), 18), QStringLiteral("扫一扫完成投屏"), 12, t.text);
    drawText(p, QRectF(cast.left(), cast.top() + 142, cast.width(), 16), QStringLiteral("手机与电脑连接同一网络"), 10,
             t.textDim);
    drawButton(p, QRectF(6, client.top() + 208, 90, 26), QStringLiteral("应用主题"), palette::accent, palette::white,
               QColor(), 13, 12);
}

void drawKyShowMain(QPainter &p, QSize size)
{
    const Theme &t = kyoroTheme;
    const QRectF client = drawWindow(p, QRectF(QPointF(0, 0), QSizeF(size)), QStringLiteral("Kyoro秀场直播伴侣"), t, true);
    const QRectF preview(6, client.top() + 6, 240, 172);
    drawPresenterScene(p, preview, false);
    const QRectF beauty = drawPanel(p, QRectF(252, client.top() + 6, 142, 172), QStringLiteral("美颜"), t);
    const QStringList sliders = {QStringLiteral("磨皮"), QStringLiteral("美白"), QStringLiteral("瘦脸"),
                                 QStringLiteral("大眼"), QStringLiteral("红润")};
    const qreal values[] = {0.7, 0.55, 0.4, 0.3, 0.6};
    for (int i = 0; i < sliders.size(); ++i)
        drawSlider(p, QRectF(beauty.left() + 8, beauty.top() + 8 + i * 28, beauty.width() - 14, 20), sliders.at(i),
                   values[i], t);
    const qreal row = client.top() + 188;
    drawButton(p, QRectF(6, row, 90, 28), QStringLiteral("开始直播"), palette::accent, palette::white, QColor(), 14, 12);
    drawButton(p, QRectF(104, row, 46, 28), QStringLiteral("录制"), palette::white, palette::text, palette::border, 14);
    drawButton(p, QRectF(158, row, 46, 28), QStringLiteral("挂件"), palette::white, palette::text, palette::border, 14);
    drawText(p, QRectF(252, row, 142, 28), QStringLiteral("一键开播，免设置推流地址"), 10, t.textDim,
             Qt::AlignLeft | Qt::AlignVCenter);
}

void drawKyShowStickers(QPainter &p, QSize size)
{
    const Theme &t = kyoroTheme;
    const QRectF client = drawWindow(p, QRectF(QPointF(0, 0), QSizeF(size)), QStringLiteral("Kyoro秀场直播伴侣"), t, true);
    const QRectF preview(6, client.top() + 6, 180, 130);
    drawPresenterScene(p, preview, true);
    const QRectF stickers = drawPanel(p, QRectF(192, client.top() + 6, 202, 130), QStringLiteral("可爱挂件"), t);
    const QColor colours[] = {QColor(0xff, 0xb6, 0xc8), QColor(0xff, 0xd3, 0x6e), QColor(0x8f, 0xd3, 0xf5),
                              QColor(0xb0, 0x7c, 0xf0), QColor(0x7e, 0xd9, 0x9f), QColor(0xff, 0x9e, 0x80),
                              QColor(0xf5, 0x8f, 0xb4), QColor(0x9f, 0xb4, 0xff)};
    for (int i = 0; i < 8; ++i) {
        const QRectF cell(stickers.left() + 10 + (i % 4) * 48, stickers.top() + 8 + (i / 4) * 50, 40, 40);
        fillRounded(p, cell, 6, i == 0 ? palette::accentPale : t.body);
        fillEllipse(p, cell.adjusted(8, 8, -8, -8), colours[i]);
        if (i == 0)
            strokeRounded(p, cell, 6, palette::accent, 1.5);
    }
    const QRectF effects = drawPanel(p, QRectF(6, client.top() + 144, 388, 90), QStringLiteral("酷炫特效"), t);
    const QStringList names = {QStringLiteral("烟花"), QStringLiteral("爱心雨"), QStringLiteral("星光"),
                               QStringLiteral("彩带"), QStringLiteral("气球"), QStringLiteral("流星")};
    for (int i = 0; i < names.size(); ++i) {
        const QRectF cell(effects.left() + 10 + i * 63, effects.top() + 6, 54, 58);
        fillRounded(p, QRectF(cell.left(), cell.top(), 54, 38), 4, colours[(i + 3) % 8]);
        fillEllipse(p, QRectF(cell.center().x() - 7, cell.top() + 12, 14, 14), withAlpha(palette::white, 200));
        drawText(p, QRectF(cell.left(), cell.top() + 40, 54, 16), names.at(i), 10, t.text);
    }
}

void drawObsClassicMain(QPainter &p, QSize size)
{
    const Theme &t = classicTheme;
    const QRectF client = drawWindow(p, QRectF(QPointF(0, 0), QSizeF(size)), QStringLiteral("OBS Classic"), t, false);
    const QRectF preview(6, client.top() + 6, 388, 118);
    fillRect(p, preview, QColor(Qt::black));
    drawGameScene(p, QRectF(preview.center().x() - 105, preview.top(), 210, preview.height()));
    const qreal top = preview.bottom() + 6;
    const QRectF scenes = drawPanel(p, QRectF(6, top, 120, 104), QStringLiteral("场景："), t);
    drawListRows(p, scenes, {QStringLiteral("游戏"), QStringLiteral("摄像头"), QStringLiteral("休息中")}, 0, t);
    const QRectF sources = drawPanel(p, QRectF(132, top, 150, 104), QStringLiteral("来源："), t);
    drawListRows(p, sources.adjusted(14, 0, 0, 0),
                 {QStringLiteral("游戏捕获"), QStringLiteral("视频捕获设备"), QStringLiteral("文本"), QStringLiteral("图片")},
                 0, t);
    for (int i = 0; i < 4; ++i)
        drawCheckBox(p, QPointF(sources.left() + 5, sources.top() + 4 + i * 18), i < 3, t);
    const QStringList buttons = {QStringLiteral("设置..."), QStringLiteral("开始串流"), QStringLiteral("开始录制"),
                                 QStringLiteral("预览串流"), QStringLiteral("退出")};
    for (int i = 0; i < buttons.size(); ++i)
        drawButton(p, QRectF(290, top + i * 21, 104, 18), buttons.at(i), QColor(0xe6, 0xe6, 0xe9), t.text,
                   QColor(0xad, 0xad, 0xb3), 2);
}

void drawObsClassicSettings(QPainter &p, QSize size)
{
    const Theme &t = classicTheme;
    const QRectF client = drawWindow(p, QRectF(QPointF(0, 0), QSizeF(size)), QStringLiteral("OBS Classic - 设置"), t, false);
    const QRectF pages(6, client.top() + 6, 96, client.height() - 44);
    fillRect(p, pages, t.panelLine);
    fillRect(p, pages.adjusted(1, 1, -1, -1), t.panel);
    drawListRows(p, pages.adjusted(1, 3, -1, -1),
                 {QStringLiteral("常规"), QStringLiteral("编码"), QStringLiteral("广播设置"), QStringLiteral("视频"),
                  QStringLiteral("音频"), QStringLiteral("快捷键"), QStringLiteral("高级")},
                 2, t, 20);
    const qreal left = 112;
    const qreal labelWidth = 70;
    const struct {
        const char *label;
        QString value;
    } rows[] = {{"模式：", QStringLiteral("直播")},
                {"串流服务：", QStringLiteral("自定义")},
                {"推流地址：", PUSH_ADDRESS},
                {"串流码：", HIDDEN_CODE},
                {"自动重连：", QStringLiteral("是，间隔 10 秒")}};
    qreal y = client.top() + 12;
    for (const auto &row : rows) {
        drawText(p, QRectF(left, y, labelWidth, 20), QString::fromUtf8(row.label), 10, t.text,
                 Qt::AlignRight | Qt::AlignVCenter);
        drawField(p, QRectF(left + labelWidth + 6, y, 200, 20), row.value, t);
        y += 28;
    }
    const qreal bottom = client.bottom() - 30;
    drawButton(p, QRectF(228, bottom, 52, 22), QStringLiteral("确定"), QColor(0xe6, 0xe6, 0xe9), t.text,
               QColor(0x3c, 0x7f, 0xd9), 2);
    drawButton(p, QRectF(284, bottom, 52, 22), QStringLiteral("取消"), QColor(0xe6, 0xe6, 0xe9), t.text,
               QColor(0xad, 0xad, 0xb3), 2);
    drawButton(p, QRectF(340, bottom, 52, 22), QStringLiteral("应用"), QColor(0xe6, 0xe6, 0xe9), t.text,
               QColor(0xad, 0xad, 0xb3), 2);
}

void drawMeters(QPainter &p, const QRectF &area, const Theme &t)
{
    const QStringList channels = {QStringLiteral("桌面音频"), QStringLiteral("麦克风")};
    const qreal levels[] = {0.72, 0.46};
    for (int i = 0; i < channels.size(); ++i) {
        const qreal y = area.top() + 6 + i * 36;
        drawText(p, QRectF(area.left() + 6, y, area.width() - 12, 14), channels.at(i), 10, t.text,
                 Qt::AlignLeft | Qt::AlignVCenter);
        const QRectF bar(area.left() + 6, y + 17, area.width() - 12, 6);
        fillRect(p, bar, QColor(0x24, 0x24, 0x2a));
        const qreal lit = bar.width() * levels[i];
        const qreal green = qMin(lit, bar.width() * 0.6);
        fillRect(p, QRectF(bar.left(), bar.top(), green, 6), QColor(0x4c, 0xc2, 0x6a));
        if (lit > green)
            fillRect(p, QRectF(bar.left() + green, bar.top(), lit - green, 6), QColor(0xe8, 0xc5, 0x47));
        fillRect(p, QRectF(bar.left(), y + 26, bar.width() * 0.8, 2), t.panelLine);
    }
}

void drawObsStudioMain(QPainter &p, QSize size)
{
    const Theme &t = studioTheme;
    const QRectF client = drawWindow(p, QRectF(QPointF(0, 0), QSizeF(size)), QStringLiteral("OBS Studio"), t, false);
    const QRectF preview(6, client.top() + 6, 388, 124);
    fillRect(p, preview, QColor(0x12, 0x12, 0x16));
    const QRectF canvas(preview.center().x() - 110, preview.top() + 2, 220, preview.height() - 4);
    drawGameScene(p, canvas);
    strokeRounded(p, canvas.adjusted(30, 20, -100, -40), 0, QColor(0xd0, 0x4a, 0x4a), 1);
    const qreal top = preview.bottom() + 6;
    const qreal height = client.bottom() - top - 6;
    const QRectF scenes = drawPanel(p, QRectF(6, top, 82, height), QStringLiteral("场景"), t);
    drawListRows(p, scenes, {QStringLiteral("游戏"), QStringLiteral("聊天"), QStringLiteral("暂离")}, 0, t);
    const QRectF sources = drawPanel(p, QRectF(92, top, 96, height), QStringLiteral("来源"), t);
    drawListRows(p, sources, {QStringLiteral("游戏源"), QStringLiteral("摄像头"), QStringLiteral("文字")}, 1, t);
    const QRectF mixer = drawPanel(p, QRectF(192, top, 110, height), QStringLiteral("混音器"), t);
    drawMeters(p, mixer, t);
    const QRectF controls = drawPanel(p, QRectF(306, top, 88, height), QStringLiteral("控件"), t);
    const QStringList buttons = {QStringLiteral("开始推流"), QStringLiteral("开始录制"), QStringLiteral("设置")};
    for (int i = 0; i < buttons.size(); ++i)
        drawButton(p, QRectF(controls.left() + 6, controls.top() + 5 + i * 23, controls.width() - 12, 19), buttons.at(i),
                   QColor(0x4a, 0x4a, 0x54), t.text, QColor(), 2);
}

void drawObsStudioSettings(QPainter &p, QSize size)
{
    const Theme &t = studioTheme;
    const QRectF client = drawWindow(p, QRectF(QPointF(0, 0), QSizeF(size)), QStringLiteral("OBS Studio - 设置"), t, false);
    const QRectF pages(6, client.top() + 6, 90, client.height() - 44);
    fillRect(p, pages, t.panel);
    drawListRows(p, pages.adjusted(0, 4, 0, 0),
                 {QStringLiteral("通用"), QStringLiteral("推流"), QStringLiteral("输出"), QStringLiteral("音频"),
                  QStringLiteral("视频"), QStringLiteral("快捷键"), QStringLiteral("高级")},
                 1, t, 22);
    const qreal left = 106;
    drawText(p, QRectF(left, client.top() + 8, 200, 18), QStringLiteral("推流"), 12, t.text,
             Qt::AlignLeft | Qt::AlignVCenter, true);
    const struct {
        const char *label;
        QString value;
    } rows[] = {{"服务", QStringLiteral("自定义...")}, {"服务器", PUSH_ADDRESS}, {"串流密钥", HIDDEN_CODE}};
    qreal y = client.top() + 36;
    for (const auto &row : rows) {
        drawText(p, QRectF(left, y, 58, 22), QString::fromUtf8(row.label), 10, t.textDim,
                 Qt::AlignRight | Qt::AlignVCenter);
        drawField(p, QRectF(left + 64, y, 180, 22), row.value, t);
        y += 32;
    }
    drawButton(p, QRectF(left + 250, client.top() + 100, 36, 22), QStringLiteral("显示"), QColor(0x4a, 0x4a, 0x54), t.text,
               QColor(), 2);
    drawCheckBox(p, QPointF(left + 64, y + 7), false, t);
    drawText(p, QRectF(left + 80, y + 4, 200, 18), QStringLiteral("使用身份认证"), 10, t.text,
             Qt::AlignLeft | Qt::AlignVCenter);
    const qreal bottom = client.bottom() - 30;
    drawButton(p, QRectF(228, bottom, 52, 22), QStringLiteral("确定"), QColor(0x4c, 0x55, 0x7a), t.text, QColor(), 2);
    drawButton(p, QRectF(284, bottom, 52, 22), QStringLiteral("取消"), QColor(0x4a, 0x4a, 0x54), t.text, QColor(), 2);
    drawButton(p, QRectF(340, bottom, 52, 22), QStringLiteral("应用"), QColor(0x4a, 0x4a, 0x54), t.text, QColor(), 2);
}

// ---- Tutorial pages ----

// Browser frame with one tab and an address bar; returns the page area.
QRectF drawBrowser(QPainter &p, QSize size, const QString &address)
{
    const QRectF all(QPointF(0, 0), QSizeF(size));
    fillRect(p, all, palette::white);
    fillRect(p, QRectF(0, 0, size.width(), 26), QColor(0xde, 0xe1, 0xe6));
    QPainterPath tab;
    tab.addRoundedRect(QRectF(8, 5, 170, 26), 6, 6);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(palette::white);
    p.drawPath(tab);
    p.restore();
    drawLogoMark(p, QRectF(16, 9, 12, 12), palette::accent, palette::white);
    drawText(p, QRectF(34, 5, 130, 21), QStringLiteral("Kyoro直播 - 直播设置"), 11, palette::text,
             Qt::AlignLeft | Qt::AlignVCenter);
    strokeLine(p, QPointF(164, 12), QPointF(170, 18), palette::textSecondary, 1.2);
    strokeLine(p, QPointF(170, 12), QPointF(164, 18), palette::textSecondary, 1.2);

    const QRectF bar(0, 26, size.width(), 30);
    fillRect(p, bar, palette::white);
    const qreal y = bar.center().y();
    // Back, forward and reload.
    strokeLine(p, QPointF(12, y), QPointF(22, y), palette::textSecondary, 1.4);
    strokeLine(p, QPointF(12, y), QPointF(16, y - 4), palette::textSecondary, 1.4);
    strokeLine(p, QPointF(12, y), QPointF(16, y + 4), palette::textSecondary, 1.4);
    strokeLine(p, QPointF(32, y), QPointF(42, y), palette::border, 1.4);
    strokeLine(p, QPointF(42, y), QPointF(38, y - 4), palette::border, 1.4);
    strokeLine(p, QPointF(42, y), QPointF(38, y + 4), palette::border, 1.4);
    p.save();
    p.setPen(QPen(palette::textSecondary, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(52, y - 5, 10, 10), 60 * 16, 300 * 16);
    p.restore();
    const QRectF field(72, bar.top() + 4, size.width() - 84, 22);
    fillRounded(p, field, 11, QColor(0xf1, 0xf3, 0xf4));
    drawText(p, field.adjusted(12, 0, -8, 0), address, 11, palette::text, Qt::AlignLeft | Qt::AlignVCenter);
    fillRect(p, QRectF(0, bar.bottom() - 1, size.width(), 1), palette::line);
    return QRectF(0, bar.bottom(), size.width(), size.height() - bar.bottom());
}

// The site's header row; returns the avatar's rectangle.
QRectF drawSiteHeader(QPainter &p, const QRectF &page)
{
    const QRectF header(page.left(), page.top(), page.width(), 40);
    fillRect(p, header, palette::white);
    fillRect(p, QRectF(header.left(), header.bottom() - 1, header.width(), 1), palette::line);
    drawLogoMark(p, QRectF(header.left() + 14, header.top() + 9, 22, 22), palette::accent, palette::white);
    drawText(p, QRectF(header.left() + 42, header.top(), 90, 40), QStringLiteral("Kyoro直播"), 15, palette::accent,
             Qt::AlignLeft | Qt::AlignVCenter, true);
    const QStringList nav = {QStringLiteral("首页"), QStringLiteral("分类"), QStringLiteral("直播"), QStringLiteral("排行")};
    for (int i = 0; i < nav.size(); ++i)
        drawText(p, QRectF(header.left() + 140 + i * 46, header.top(), 40, 40), nav.at(i), 12,
                 i == 0 ? palette::accent : palette::text);
    const QRectF search(header.right() - 230, header.top() + 9, 150, 22);
    fillRounded(p, search, 11, palette::surface);
    drawText(p, search.adjusted(12, 0, 0, 0), QStringLiteral("搜索主播、直播间"), 10, palette::textHint,
             Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF avatar(header.right() - 46, header.top() + 6, 28, 28);
    fillEllipse(p, avatar, QColor(0x6c, 0x9e, 0xf8));
    fillEllipse(p, QRectF(avatar.center().x() - 5, avatar.top() + 5, 10, 10), palette::white);
    fillRounded(p, QRectF(avatar.center().x() - 8, avatar.top() + 17, 16, 9), 4, palette::white);
    return avatar;
}

void drawLiveCards(QPainter &p, const QRectF &area, int columns)
{
    const qreal gap = 12;
    const qreal width = (area.width() - gap * (columns + 1)) / columns;
    const QColor tints[] = {QColor(0x2c, 0x3e, 0x7a), QColor(0xf7, 0xd4, 0xdc), QColor(0x3d, 0x7a, 0x5a),
                            QColor(0x7a, 0x4c, 0x9a)};
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < columns; ++col) {
            const QRectF card(area.left() + gap + col * (width + gap), area.top() + gap + row * 110, width, 98);
            if (card.bottom() > area.bottom())
                continue;
            fillRounded(p, card, 4, palette::surface);
            fillRounded(p, QRectF(card.left(), card.top(), width, 64), 4, tints[(row + col) % 4]);
            fillRect(p, QRectF(card.left() + 8, card.top() + 72, width * 0.6, 8), palette::column);
            fillRect(p, QRectF(card.left() + 8, card.top() + 85, width * 0.35, 6), palette::line);
        }
    }
}

void drawStepOne(QPainter &p, QSize size)
{
    const QRectF page = drawBrowser(p, size, QStringLiteral("https://www.kyoro.live/"));
    const QRectF avatar = drawSiteHeader(p, page);
    drawLiveCards(p, QRectF(page.left(), page.top() + 40, page.width() - 150, page.height() - 40), 3);

    const QRectF menu(avatar.center().x() - 110, avatar.bottom() + 8, 124, 150);
    fillRounded(p, menu.translated(0, 2), 4, QColor(0, 0, 0, 30));
    fillRounded(p, menu, 4, palette::white);
    strokeRounded(p, menu, 4, palette::line, 1);
    fillTriangle(p, QPointF(avatar.center().x() - 6, menu.top()), QPointF(avatar.center().x() + 6, menu.top()),
                 QPointF(avatar.center().x(), menu.top() - 6), palette::white);
    drawText(p, QRectF(menu.left() + 12, menu.top() + 6, 100, 22), QStringLiteral("Kyoro主播"), 12, palette::text,
             Qt::AlignLeft | Qt::AlignVCenter, true);
    const QStringList items = {QStringLiteral("个人中心"), QStringLiteral("我的关注"), QStringLiteral("直播设置"),
                               QStringLiteral("退出登录")};
    for (int i = 0; i < items.size(); ++i) {
        const QRectF item(menu.left() + 4, menu.top() + 32 + i * 28, menu.width() - 8, 26);
        if (i == 2)
            fillRounded(p, item, 3, palette::accentPale);
        drawText(p, item.adjusted(10, 0, 0, 0), items.at(i), 12, i == 2 ? palette::accent : palette::text,
                 Qt::AlignLeft | Qt::AlignVCenter);
    }
    drawHighlight(p, QRectF(menu.left() + 2, menu.top() + 30 + 2 * 28, menu.width() - 4, 30), 1);
    drawPointer(p, QPointF(menu.left() + 80, menu.top() + 44 + 2 * 28));
}

// The user's room page: browser, site header and one white card with a
// heading; returns the card.
QRectF drawRoomPage(QPainter &p, QSize size, const QString &heading)
{
    const QRectF page = drawBrowser(p, size, QStringLiteral("https://www.kyoro.live/room/my"));
    drawSiteHeader(p, page);
    const QRectF body(page.left(), page.top() + 40, page.width(), page.height() - 40);
    fillRect(p, body, palette::surface);
    const QRectF card(body.left() + 20, body.top() + 12, body.width() - 40, body.height() - 24);
    fillRounded(p, card, 4, palette::white);
    drawText(p, QRectF(card.left() + 16, card.top() + 9, 200, 24), heading, 15, palette::text,
             Qt::AlignLeft | Qt::AlignVCenter, true);
    return card;
}

void drawStepTwo(QPainter &p, QSize size)
{
    const QRectF form = drawRoomPage(p, size, QStringLiteral("直播设置"));
    const struct {
        const char *label;
        const char *value;
    } rows[] = {{"直播标题", "今晚一起上分"}, {"直播分类", "网络游戏 / 英雄竞技"}, {"直播公告", "每晚八点开播，欢迎关注"}};
    qreal y = form.top() + 44;
    for (const auto &row : rows) {
        drawText(p, QRectF(form.left() + 16, y, 70, 28), QString::fromUtf8(row.label), 12, palette::textSecondary,
                 Qt::AlignLeft | Qt::AlignVCenter);
        fillRect(p, QRectF(form.left() + 90, y, 280, 28), palette::border);
        fillRect(p, QRectF(form.left() + 91, y + 1, 278, 26), palette::white);
        drawText(p, QRectF(form.left() + 98, y, 270, 28), QString::fromUtf8(row.value), 12, palette::text,
                 Qt::AlignLeft | Qt::AlignVCenter);
        y += 40;
    }
    const QRectF start(form.left() + 90, form.bottom() - 52, 120, 34);
    fillRounded(p, start, 17, palette::accent);
    drawText(p, start, QStringLiteral("开始直播"), 14, palette::white);
    drawHighlight(p, start.adjusted(-4, -4, 4, 4), 1);

    // The confirmation that follows the click.
    const QRectF dialog(form.right() - 220, form.top() + 100, 200, 120);
    fillRounded(p, dialog.translated(0, 3), 6, QColor(0, 0, 0, 40));
    fillRounded(p, dialog, 6, palette::white);
    strokeRounded(p, dialog, 6, palette::line, 1);
    drawText(p, QRectF(dialog.left() + 14, dialog.top() + 8, 100, 24), QStringLiteral("提示"), 13, palette::text,
             Qt::AlignLeft | Qt::AlignVCenter, true);
    drawText(p, QRectF(dialog.left(), dialog.top() + 38, dialog.width(), 24), QStringLiteral("确定要开始直播吗？"), 13,
             palette::text);
    const QRectF ok(dialog.left() + 24, dialog.bottom() - 42, 70, 28);
    const QRectF cancel(dialog.right() - 94, dialog.bottom() - 42, 70, 28);
    fillRounded(p, ok, 14, palette::accent);
    drawText(p, ok, QStringLiteral("确定"), 12, palette::white);
    fillRounded(p, cancel, 14, palette::white);
    strokeRounded(p, cancel, 14, palette::textSecondary, 1);
    drawText(p, cancel, QStringLiteral("取消"), 12, palette::textSecondary);
    drawHighlight(p, ok.adjusted(-4, -4, 4, 4), 2);
    drawPointer(p, ok.center() + QPointF(6, 4));
}

void drawCopyRow(QPainter &p, const QRectF &row, const QString &label, const QString &value)
{
    drawText(p, QRectF(row.left(), row.top(), 80, row.height()), label, 13, palette::textSecondary,
             Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF field(row.left() + 84, row.top(), row.width() - 160, row.height());
    fillRect(p, field, palette::border);
    fillRect(p, field.adjusted(1, 1, -1, -1), palette::surface);
    drawText(p, field.adjusted(10, 0, -6, 0), value, 12, palette::text, Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF copy(field.right() + 10, row.top(), 62, row.height());
    fillRounded(p, copy, 4, palette::accent);
    drawText(p, copy, QStringLiteral("复制"), 12, palette::white);
}

void drawStepThree(QPainter &p, QSize size)
{
    const QRectF panel = drawRoomPage(p, size, QStringLiteral("推流信息"));
    const QRectF live(panel.left() + 100, panel.top() + 13, 54, 20);
    fillRounded(p, live, 10, palette::accentPale);
    drawText(p, live, QStringLiteral("直播中"), 11, palette::accent);
    drawText(p, QRectF(panel.left() + 16, panel.top() + 40, panel.width() - 32, 20),
             QStringLiteral("请将以下地址和直播码填入直播工具，直播码请勿泄露给他人"), 12, palette::textSecondary,
             Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF rows(panel.left() + 16, panel.top() + 80, panel.width() - 32, 110);
    drawCopyRow(p, QRectF(rows.left(), rows.top() + 10, rows.width() - 8, 32), QStringLiteral("RTMP地址"), PUSH_ADDRESS);
    drawCopyRow(p, QRectF(rows.left(), rows.top() + 62, rows.width() - 8, 32), QStringLiteral("直播码"), PUSH_CODE);
    drawHighlight(p, rows.adjusted(-6, 0, 2, 0), 1);
    // A preview strip of the room below.
    drawGameScene(p, QRectF(panel.left() + 16, rows.bottom() + 20, 200, panel.bottom() - rows.bottom() - 36));
    drawText(p, QRectF(panel.left() + 230, rows.bottom() + 20, 300, 20), QStringLiteral("直播间预览"), 12, palette::text,
             Qt::AlignLeft | Qt::AlignVCenter);
}

void drawStepFour(QPainter &p, QSize size)
{
    fillRect(p, QRectF(QPointF(0, 0), QSizeF(size)), QColor(0xe9, 0xe9, 0xef));

    // Left: the OBS card of this program with its push settings button.
    const QRectF card(14, 16, 270, 284);
    fillRect(p, card, palette::surface);
    fillRect(p, QRectF(card.left(), card.top(), card.width(), 30), palette::accent);
    drawLogoMark(p, QRectF(card.left() + 8, card.top() + 7, 16, 16), palette::white, palette::accent);
    drawText(p, QRectF(card.left() + 30, card.top(), 150, 30), QStringLiteral("Kyoro直播管家"), 12, palette::white,
             Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF column(card.left(), card.top() + 30, 74, card.height() - 30);
    fillRect(p, column, palette::column);
    fillRect(p, QRectF(column.left(), column.top() + 40, column.width(), 36), palette::surface);
    fillRect(p, QRectF(column.left(), column.top() + 40, 3, 36), palette::accent);
    drawText(p, QRectF(column.left(), column.top() + 4, column.width(), 36), QStringLiteral("Kyoro直播"), 11, palette::text);
    drawText(p, QRectF(column.left(), column.top() + 40, column.width(), 36), QStringLiteral("OBS"), 12, palette::accent);
    const qreal x = column.right() + 12;
    drawText(p, QRectF(x, card.top() + 40, 170, 26), QStringLiteral("OBS工作室版"), 15, palette::text,
             Qt::AlignLeft | Qt::AlignVCenter, true);
    for (int i = 0; i < 4; ++i)
        fillRect(p, QRectF(x, card.top() + 76 + i * 14, 150 - i * 18, 6), palette::column);
    const QRectF open(x, card.top() + 150, 110, 32);
    fillRounded(p, open, 4, palette::accent);
    drawText(p, open, QStringLiteral("打开"), 14, palette::white);
    const QRectF liveSet(x + 10, card.top() + 196, 94, 30);
    fillRounded(p, liveSet, 4, palette::white);
    strokeRounded(p, liveSet, 4, palette::accent, 1);
    drawText(p, liveSet, QStringLiteral("推流设置"), 13, palette::accent);
    drawHighlight(p, liveSet.adjusted(-4, -4, 4, 4), 1);

    // Right: the live address dialog with the copied values pasted in.
    const QRectF dialog(306, 30, 300, 256);
    fillRect(p, dialog.translated(0, 3), QColor(0, 0, 0, 30));
    fillRect(p, dialog, palette::surface);
    fillRect(p, QRectF(dialog.left(), dialog.top(), dialog.width(), 28), palette::accent);
    drawText(p, QRectF(dialog.left() + 10, dialog.top(), 150, 28), QStringLiteral("直播地址设置"), 12, palette::white,
             Qt::AlignLeft | Qt::AlignVCenter);
    drawText(p, QRectF(dialog.left() + 14, dialog.top() + 40, 120, 22), QStringLiteral("手动填写"), 13, palette::text,
             Qt::AlignLeft | Qt::AlignVCenter);
    const struct {
        const char *label;
        QString value;
    } rows[] = {{"RTMP地址：", PUSH_ADDRESS}, {"直播码：", PUSH_CODE}};
    qreal y = dialog.top() + 76;
    for (const auto &row : rows) {
        drawText(p, QRectF(dialog.left() + 14, y, 70, 26), QString::fromUtf8(row.label), 11, palette::textSecondary,
                 Qt::AlignLeft | Qt::AlignVCenter);
        const QRectF field(dialog.left() + 84, y, 200, 26);
        fillRect(p, field, palette::border);
        fillRect(p, field.adjusted(1, 1, -1, -1), palette::white);
        drawText(p, field.adjusted(6, 0, -4, 0), row.value, 11, palette::text, Qt::AlignLeft | Qt::AlignVCenter);
        y += 38;
    }
    drawHighlight(p, QRectF(dialog.left() + 80, dialog.top() + 72, 208, 72), 2);
    drawText(p, QRectF(dialog.left() + 84, dialog.top() + 150, 200, 18), QStringLiteral("粘贴从直播间复制的内容"), 10,
             palette::textSecondary, Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF confirm(dialog.left() + 50, dialog.bottom() - 52, 90, 30);
    fillRounded(p, confirm, 15, palette::accent);
    drawText(p, confirm, QStringLiteral("确认"), 13, palette::white);
    const QRectF cancel(dialog.left() + 160, dialog.bottom() - 52, 90, 30);
    fillRounded(p, cancel, 15, palette::white);
    strokeRounded(p, cancel, 15, palette::textSecondary, 1);
    drawText(p, cancel, QStringLiteral("取消"), 13, palette::textSecondary);
    drawHighlight(p, confirm.adjusted(-4, -4, 4, 4), 3);
    drawPointer(p, confirm.center() + QPointF(8, 4));

    // An arrow from the button to the dialog.
    p.save();
    p.setPen(QPen(palette::accent, 2, Qt::DashLine, Qt::RoundCap));
    p.drawLine(QPointF(liveSet.right() + 8, liveSet.center().y()), QPointF(dialog.left() - 10, liveSet.center().y()));
    p.restore();
    fillTriangle(p, QPointF(dialog.left() - 4, liveSet.center().y()), QPointF(dialog.left() - 12, liveSet.center().y() - 5),
                 QPointF(dialog.left() - 12, liveSet.center().y() + 5), palette::accent);
}

} // namespace

void drawToolScreenshot(QPainter &p, QSize size, Tool tool, int index)
{
    switch (tool) {
    case Tool::KyTool:
        index == 1 ? drawKyToolMain(p, size) : drawKyToolThemes(p, size);
        break;
    case Tool::KyShow:
        index == 1 ? drawKyShowMain(p, size) : drawKyShowStickers(p, size);
        break;
    case Tool::ObsClassic:
        index == 1 ? drawObsClassicMain(p, size) : drawObsClassicSettings(p, size);
        break;
    case Tool::ObsStudio:
        index == 1 ? drawObsStudioMain(p, size) : drawObsStudioSettings(p, size);
        break;
    }
}

void drawTutorialStep(QPainter &p, QSize size, int step)
{
    switch (step) {
    case 1:
        drawStepOne(p, size);
        break;
    case 2:
        drawStepTwo(p, size);
        break;
    case 3:
        drawStepThree(p, size);
        break;
    default:
        drawStepFour(p, size);
        break;
    }
}

} // namespace kyartwork
