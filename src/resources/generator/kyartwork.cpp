#include "kyartwork.h"

#include "kyartworkdraw_p.h"
#include "kyartworkkit.h"

#include <QBuffer>
#include <QDir>
#include <QSaveFile>
#include <QtEndian>
#include <functional>

namespace kyartwork {

namespace {

using Drawer = std::function<void(QPainter &, QSize)>;

struct Entry {
    Picture picture;
    Drawer draw;
};

Entry entry(const char *name, int width, int height, Drawer draw)
{
    return Entry{Picture{QString::fromLatin1(name), QSize(width, height)}, std::move(draw)};
}

QVector<Entry> buildCatalogue()
{
    QVector<Entry> c;
    // Tray.
    c << entry("tray_icon.png", 60, 60, [](QPainter &p, QSize s) {
        drawLogoMark(p, QRectF(QPointF(2, 2), QSizeF(s) - QSizeF(4, 4)), palette::accent, palette::white);
    });
    c << entry("tray_quit.png", 14, 15, [](QPainter &p, QSize) { drawTrayQuit(p); });

    // Title bar.
    c << entry("titlebar_back.png", 920, 120, [](QPainter &p, QSize s) { drawTitleBarBack(p, s); });
    c << entry("logo.png", 20, 20, [](QPainter &p, QSize s) {
        drawLogoMark(p, QRectF(QPointF(0, 0), QSizeF(s)), palette::white, palette::accent);
    });
    c << entry("button_min.png", 36, 36, [](QPainter &p, QSize) { drawWindowButton(p, false, State::Normal); });
    c << entry("button_min_hover.png", 36, 36, [](QPainter &p, QSize) { drawWindowButton(p, false, State::Hover); });
    c << entry("button_close.png", 36, 36, [](QPainter &p, QSize) { drawWindowButton(p, true, State::Normal); });
    c << entry("button_close_hover.png", 36, 36, [](QPainter &p, QSize) { drawWindowButton(p, true, State::Hover); });
    c << entry("button_live.png", 120, 84, [](QPainter &p, QSize) { drawPageButton(p, false, State::Normal); });
    c << entry("button_live_hover.png", 120, 84, [](QPainter &p, QSize) { drawPageButton(p, false, State::Hover); });
    c << entry("button_live_selected.png", 120, 84, [](QPainter &p, QSize) { drawPageButton(p, false, State::Active); });
    c << entry("button_toolbox.png", 120, 84, [](QPainter &p, QSize) { drawPageButton(p, true, State::Normal); });
    c << entry("button_toolbox_hover.png", 120, 84, [](QPainter &p, QSize) { drawPageButton(p, true, State::Hover); });
    c << entry("button_toolbox_selected.png", 120, 84, [](QPainter &p, QSize) { drawPageButton(p, true, State::Active); });

    // Left column.
    c << entry("button_kyoro.png", 170, 52, [](QPainter &p, QSize) { drawColumnButton(p, false, State::Normal); });
    c << entry("button_kyoro_hover.png", 170, 52, [](QPainter &p, QSize) { drawColumnButton(p, false, State::Hover); });
    c << entry("button_kyoro_checked.png", 170, 52, [](QPainter &p, QSize) { drawColumnButton(p, false, State::Active); });
    c << entry("button_obs.png", 170, 52, [](QPainter &p, QSize) { drawColumnButton(p, true, State::Normal); });
    c << entry("button_obs_hover.png", 170, 52, [](QPainter &p, QSize) { drawColumnButton(p, true, State::Hover); });
    c << entry("button_obs_checked.png", 170, 52, [](QPainter &p, QSize) { drawColumnButton(p, true, State::Active); });

    // Tool cards.
    c << entry("button_install.png", 234, 64, [](QPainter &p, QSize) { drawCardButton(p, CardButton::Install, false); });
    c << entry("button_install_hover.png", 234, 64, [](QPainter &p, QSize) { drawCardButton(p, CardButton::Install, true); });
    c << entry("button_open.png", 234, 64, [](QPainter &p, QSize) { drawCardButton(p, CardButton::Open, false); });
    c << entry("button_open_hover.png", 234, 64, [](QPainter &p, QSize) { drawCardButton(p, CardButton::Open, true); });
    c << entry("button_running.png", 234, 64, [](QPainter &p, QSize) { drawCardButton(p, CardButton::Running, false); });
    c << entry("button_liveset.png", 94, 30, [](QPainter &p, QSize) { drawLiveSetButton(p, false, false); });
    c << entry("button_liveset_hover.png", 94, 30, [](QPainter &p, QSize) { drawLiveSetButton(p, true, false); });
    c << entry("button_liveset_disable.png", 94, 30, [](QPainter &p, QSize) { drawLiveSetButton(p, false, true); });
    c << entry("button_Service_little.png", 70, 14, [](QPainter &p, QSize) { drawLinkButton(p, false, false); });
    c << entry("button_Service_little_hover.png", 70, 14, [](QPainter &p, QSize) { drawLinkButton(p, false, true); });
    c << entry("button_useTutorial.png", 70, 14, [](QPainter &p, QSize) { drawLinkButton(p, true, false); });
    c << entry("button_useTutorial_hover.png", 70, 14, [](QPainter &p, QSize) { drawLinkButton(p, true, true); });
    c << entry("processbar.png", 220, 50, [](QPainter &p, QSize s) { drawProgressTrack(p, s); });
    c << entry("processbar_chunk.png", 220, 50, [](QPainter &p, QSize s) { drawProgressChunk(p, s); });
    c << entry("radio.png", 14, 14, [](QPainter &p, QSize) { drawRadio(p, false); });
    c << entry("radio_selected.png", 14, 14, [](QPainter &p, QSize) { drawRadio(p, true); });

    // Carousel.
    const struct {
        const char *prefix;
        Tool tool;
    } tools[] = {{"kyoro_classic", Tool::KyTool},
                 {"kyoro_show", Tool::KyShow},
                 {"OBS_classic", Tool::ObsClassic},
                 {"OBS_studio", Tool::ObsStudio}};
    for (const auto &tool : tools) {
        for (int index = 1; index <= 2; ++index) {
            const QByteArray name = QByteArray(tool.prefix) + '_' + QByteArray::number(index) + ".png";
            const Tool which = tool.tool;
            c << entry(name.constData(), 400, 264,
                       [which, index](QPainter &p, QSize s) { drawToolScreenshot(p, s, which, index); });
        }
    }
    c << entry("button_left.png", 16, 62, [](QPainter &p, QSize) { drawArrowButton(p, false, false); });
    c << entry("button_left_pressed.png", 16, 62, [](QPainter &p, QSize) { drawArrowButton(p, false, true); });
    c << entry("button_right.png", 16, 62, [](QPainter &p, QSize) { drawArrowButton(p, true, false); });
    c << entry("button_right_pressed.png", 16, 62, [](QPainter &p, QSize) { drawArrowButton(p, true, true); });
    c << entry("switchpoint.png", 8, 8, [](QPainter &p, QSize) { drawSwitchPoint(p, false); });
    c << entry("switchpoint_selected.png", 18, 8, [](QPainter &p, QSize) { drawSwitchPoint(p, true); });

    // Toolbox page.
    const struct {
        const char *name;
        Tile tile;
    } tiles[] = {{"button_installOBS", Tile::InstallObs},
                 {"button_Service", Tile::Service},
                 {"button_installKyoroLive", Tile::InstallKyoro},
                 {"button_openFolder", Tile::OpenFolder},
                 {"button_getPushcode", Tile::GetPushCode},
                 {"button_commonProblem", Tile::CommonProblem}};
    for (const auto &tile : tiles) {
        const Tile which = tile.tile;
        const QByteArray normal = QByteArray(tile.name) + ".png";
        const QByteArray hover = QByteArray(tile.name) + "_hover.png";
        c << entry(normal.constData(), 130, 150, [which](QPainter &p, QSize) { drawToolboxTile(p, which, false); });
        c << entry(hover.constData(), 130, 150,
                   [which](QPainter &p, QSize) { drawToolboxTile(p, which, true); });
    }

    // Dialogs.
    c << entry("choose_titleback.png", 410, 36, [](QPainter &p, QSize s) { drawTitleBand(p, s); });
    c << entry("label_titleback.png", 410, 142, [](QPainter &p, QSize s) { drawHeaderBack(p, s); });
    c << entry("kyoro_logo.png", 60, 60, [](QPainter &p, QSize s) { drawKyoroLogo(p, s); });
    c << entry("OBS_logo.png", 60, 60, [](QPainter &p, QSize s) { drawObsLogo(p, s); });
    c << entry("step_1.png", 576, 300, [](QPainter &p, QSize s) { drawTutorialStep(p, s, 1); });
    c << entry("step_2.png", 620, 394, [](QPainter &p, QSize s) { drawTutorialStep(p, s, 2); });
    c << entry("step_3.png", 620, 386, [](QPainter &p, QSize s) { drawTutorialStep(p, s, 3); });
    c << entry("step_4.png", 620, 316, [](QPainter &p, QSize s) { drawTutorialStep(p, s, 4); });
    c << entry("get_false_pic.png", 120, 120, [](QPainter &p, QSize s) { drawFailurePicture(p, s); });
    c << entry("down_button.png", 9, 5, [](QPainter &p, QSize) { drawComboArrow(p, false); });
    c << entry("up_button.png", 9, 5, [](QPainter &p, QSize) { drawComboArrow(p, true); });
    return c;
}

const QVector<Entry> &catalogue()
{
    static const QVector<Entry> entries = buildCatalogue();
    return entries;
}

// The pictures of the setup package's pages, at their size for 96 DPI.
QVector<Entry> buildSetupCatalogue()
{
    QVector<Entry> c;
    c << entry("setup_welcome.png", 164, 314, [](QPainter &p, QSize s) { drawSetupWelcome(p, s); });
    c << entry("setup_header.png", 150, 57, [](QPainter &p, QSize s) { drawSetupHeader(p, s); });
    return c;
}

const QVector<Entry> &setupCatalogue()
{
    static const QVector<Entry> entries = buildSetupCatalogue();
    return entries;
}

QImage drawEntry(const Entry &e, qreal scale)
{
    const QSize pixels(qRound(e.picture.size.width() * scale), qRound(e.picture.size.height() * scale));
    QImage image = newPicture(pixels.width(), pixels.height());
    QPainter p(&image);
    preparePainter(p);
    if (scale != 1)
        p.scale(scale, scale);
    e.draw(p, e.picture.size);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QVector<Picture> picturesOf(const QVector<Entry> &entries)
{
    QVector<Picture> result;
    for (const Entry &e : entries)
        result << e.picture;
    return result;
}

void putLe16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void putLe32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

// An icon image as a 32-bit device-independent bitmap: header with doubled
// height, colour rows bottom-up in BGRA order, then the 1-bit transparency
// mask (set where the pixel is fully transparent), rows padded to 4 bytes.
QByteArray bitmapEntry(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QByteArray out;
    putLe32(out, 40);
    putLe32(out, quint32(w));
    putLe32(out, quint32(h * 2));
    putLe16(out, 1);
    putLe16(out, 32);
    putLe32(out, 0); // uncompressed
    putLe32(out, quint32(w * h * 4 + maskStride * h));
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb pixel = row[x];
            out.append(char(qBlue(pixel)));
            out.append(char(qGreen(pixel)));
            out.append(char(qRed(pixel)));
            out.append(char(qAlpha(pixel)));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray mask(maskStride, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(row[x]) == 0)
                mask[x / 8] = char(mask.at(x / 8) | (0x80 >> (x % 8)));
        }
        out.append(mask);
    }
    return out;
}

QByteArray pngEntry(const QImage &image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return out;
}

bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool writePicture(const QString &path, const QImage &image, QString *error)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        if (error)
            *error = QStringLiteral("cannot encode %1").arg(path);
        return false;
    }
    return writeFile(path, data, error);
}

} // namespace

const QVector<Picture> &pictures()
{
    static const QVector<Picture> list = picturesOf(catalogue());
    return list;
}

const QVector<Picture> &setupPictures()
{
    static const QVector<Picture> list = picturesOf(setupCatalogue());
    return list;
}

QVector<int> setupDpis()
{
    return {96, 120, 144, 168, 192, 240};
}

QString setupFileName(const QString &fileName, int dpi)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return fileName.left(dot) + QLatin1Char('-') + QString::number(dpi) + fileName.mid(dot);
}

QImage renderSetup(const QString &fileName, int dpi)
{
    for (const Entry &e : setupCatalogue()) {
        if (e.picture.fileName == fileName)
            return drawEntry(e, dpi / 96.0);
    }
    return QImage();
}

QImage render(const QString &fileName, qreal scale)
{
    for (const Entry &e : catalogue()) {
        if (e.picture.fileName == fileName)
            return drawEntry(e, scale);
    }
    return QImage();
}

QString twiceSizeName(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return fileName + QStringLiteral("@2x");
    return fileName.left(dot) + QStringLiteral("@2x") + fileName.mid(dot);
}

QVector<int> iconSizes()
{
    return {16, 20, 24, 32, 40, 48, 64, 256};
}

QImage renderIcon(int size)
{
    QImage image = newPicture(size, size);
    QPainter p(&image);
    preparePainter(p);
    // A small margin keeps the corners soft at 16 pixels too.
    const qreal margin = size <= 16 ? 0.5 : size / 32.0;
    drawLogoMark(p, QRectF(margin, margin, size - 2 * margin, size - 2 * margin), palette::accent, palette::white);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray iconFileData()
{
    const QVector<int> sizes = iconSizes();
    QVector<QByteArray> images;
    for (int size : sizes)
        images << (size >= 256 ? pngEntry(renderIcon(size)) : bitmapEntry(renderIcon(size)));

    QByteArray out;
    putLe16(out, 0); // reserved
    putLe16(out, 1); // icon
    putLe16(out, quint16(sizes.size()));
    quint32 offset = quint32(6 + 16 * sizes.size());
    for (int i = 0; i < sizes.size(); ++i) {
        const int size = sizes.at(i);
        out.append(char(size >= 256 ? 0 : size)); // 0 stands for 256
        out.append(char(size >= 256 ? 0 : size));
        out.append(char(0)); // no palette
        out.append(char(0));
        putLe16(out, 1);  // planes
        putLe16(out, 32); // bits per pixel
        putLe32(out, quint32(images.at(i).size()));
        putLe32(out, offset);
        offset += quint32(images.at(i).size());
    }
    for (const QByteArray &image : images)
        out.append(image);
    return out;
}

bool writeAll(const QString &resourcesDir, const QString &setupDir, QString *error)
{
    for (const QString &dir : {resourcesDir, setupDir}) {
        if (!QDir().mkpath(dir)) {
            if (error)
                *error = QStringLiteral("cannot create %1").arg(dir);
            return false;
        }
    }
    const QDir resources(resourcesDir);
    for (const Picture &picture : pictures()) {
        if (!writePicture(resources.filePath(picture.fileName), render(picture.fileName), error) ||
            !writePicture(resources.filePath(twiceSizeName(picture.fileName)), render(picture.fileName, 2), error))
            return false;
    }
    if (!writeFile(resources.filePath(ICON_FILE_NAME), iconFileData(), error))
        return false;
    const QDir setup(setupDir);
    for (const Picture &picture : setupPictures()) {
        for (int dpi : setupDpis()) {
            const QString name = setupFileName(picture.fileName, dpi);
            if (!writePicture(setup.filePath(name), renderSetup(picture.fileName, dpi), error))
                return false;
        }
    }
    return true;
}

} // namespace kyartwork
