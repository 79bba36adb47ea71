#pragma once

// The program's artwork: every picture of the resource bundle's Resources
// folder, drawn with QPainter from flat shapes and captions, and the setup
// package's pictures. The pictures are committed; this code reproduces them
// (kyresgen, scripts/pictures).

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QVector>

namespace kyartwork {

struct Picture {
    QString fileName; // file name in the Resources folder, e.g. "logo.png"
    QSize size;
};

// Every PNG picture, in a fixed order.
const QVector<Picture> &pictures();

// Draws the picture of that file name; a null image for an unknown name. The
// artwork font must be loaded (kyartworkkit.h). At a scale above 1 the same
// drawing runs on a picture that many times larger, so every edge and
// caption is drawn for that density, not enlarged.
QImage render(const QString &fileName, qreal scale = 1);

// Every picture is bundled at 1x and at 2x, the second under Qt's name for
// it: "logo.png" and "logo@2x.png". Qt loads the 2x one for a display scale
// above 100 %, and only then.
QString twiceSizeName(const QString &fileName);

// The application icon file and the edge lengths of its images: what Windows
// asks for at 100 % to 200 % (16 to 32 for small icons, 32 to 64 for large
// ones) and 256 for Explorer's big views.
inline const QString ICON_FILE_NAME = QStringLiteral("Install.ico");
QVector<int> iconSizes();
QImage renderIcon(int size);
// The complete ICO file: small images as 32-bit bitmaps, the largest as PNG.
QByteArray iconFileData();

// The setup package's welcome and header pictures, drawn once per display
// density (96 to 240 DPI), so that its pages show them hardly resampled:
// "setup_welcome-144.png" is the welcome picture for 144 DPI.
const QVector<Picture> &setupPictures();
QVector<int> setupDpis();
QString setupFileName(const QString &fileName, int dpi);
QImage renderSetup(const QString &fileName, int dpi);

// Writes every picture at both sizes and the icon into the resources folder
// and the setup pictures into the setup folder (each created if missing).
// Each file is replaced whole or left as it was.
bool writeAll(const QString &resourcesDir, const QString &setupDir, QString *error);

} // namespace kyartwork
