#include "ui/kypictures.h"

#include <QIcon>

QPixmap kyPicture(const QString &path, qreal devicePixelRatio)
{
    qreal sourceRatio = 1;
    QPixmap picture(qt_findAtNxFile(path, devicePixelRatio, &sourceRatio));
    picture.setDevicePixelRatio(sourceRatio);
    return picture;
}

QBrush kyStretchedPicture(const QString &path, QSize size, qreal devicePixelRatio)
{
    const QPixmap picture = kyPicture(path, devicePixelRatio);
    if (picture.isNull())
        return QBrush();
    QPixmap stretched = picture.scaled(size * devicePixelRatio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    stretched.setDevicePixelRatio(devicePixelRatio);
    return QBrush(stretched);
}
