#pragma once

// The program's artwork: every picture of the resource bundle's Resources
// folder, drawn with QPainter from flat shapes and captions. The pictures are
// committed; this code reproduces them (kyresgen, target regenerate_resources).

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
// artwork font must be loaded (kyartworkkit.h).
QImage render(const QString &fileName);

// The application icon file and the edge lengths of its images.
inline const QString ICON_FILE_NAME = QStringLiteral("Install.ico");
QVector<int> iconSizes();
QImage renderIcon(int size);
// The complete ICO file: small images as 32-bit bitmaps, the largest as PNG.
QByteArray iconFileData();

// Writes every picture and the icon into the folder (created if missing).
// Each file is replaced whole or left as it was.
bool writeAll(const QString &dir, QString *error);

} // namespace kyartwork
