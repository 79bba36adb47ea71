// The artwork generator reproduces the committed pictures and icon pixel for
// pixel (within one level per channel), and covers exactly the pictures the bundle holds.

#include "kytestmain.h"

#include "kyartwork.h"
#include "kyartworkkit.h"

#include <QBuffer>
#include <QDirIterator>
#include <QGuiApplication>
#include <QImageReader>
#include <QTemporaryDir>

namespace {

QString committedDir()
{
    return kytest::sourceDir() + QStringLiteral("/src/resources/Resources");
}

// Qt's raster engine picks its blending code by processor, and the variants
// round antialiased edges and gradients differently by one level; a real
// change to a picture moves channels by far more.
bool samePixel(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) <= 1 && qAbs(qGreen(a) - qGreen(b)) <= 1 && qAbs(qBlue(a) - qBlue(b)) <= 1 &&
           qAbs(qAlpha(a) - qAlpha(b)) <= 1;
}

// Describes how two pictures differ, or returns "" when they are equal.
QString difference(const QImage &actual, const QImage &expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage b = expected.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    QPoint first;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (!samePixel(a.pixel(x, y), b.pixel(x, y)) && count++ == 0)
                first = QPoint(x, y);
        }
    }
    if (count == 0)
        return QString();
    return QStringLiteral("%1 pixels differ, the first at (%2, %3)").arg(count).arg(first.x()).arg(first.y());
}

QVector<QImage> iconImages(QIODevice *device)
{
    QImageReader reader(device, "ico");
    QVector<QImage> images;
    do {
        images << reader.read();
    } while (reader.jumpToNextImage());
    return images;
}

} // namespace

class TestArtwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(kyartwork::loadArtworkFont(kyartwork::defaultArtworkFontFile(), &error),
                 qPrintable(error + QStringLiteral(" (package fonts-wqy-microhei)")));
    }

    void cleanupTestCase() { kyartwork::releaseArtworkFont(); }

    void coversTheBundlesPictures()
    {
        QStringList drawn;
        for (const kyartwork::Picture &picture : kyartwork::pictures())
            drawn << picture.fileName;
        drawn << kyartwork::ICON_FILE_NAME;
        QStringList bundled;
        QDirIterator it(QStringLiteral(":/Resources"), QDir::Files);
        while (it.hasNext()) {
            it.next();
            bundled << it.fileName();
        }
        drawn.sort();
        bundled.sort();
        QCOMPARE(drawn, bundled);
    }

    void reproducesCommittedPictures_data()
    {
        QTest::addColumn<QString>("fileName");
        for (const kyartwork::Picture &picture : kyartwork::pictures())
            QTest::newRow(qPrintable(picture.fileName)) << picture.fileName;
    }

    void reproducesCommittedPictures()
    {
        QFETCH(QString, fileName);
        const QImage committed(committedDir() + QLatin1Char('/') + fileName);
        QVERIFY2(!committed.isNull(), qPrintable(fileName + QStringLiteral(" is not committed")));
        const QString diff = difference(kyartwork::render(fileName), committed);
        QVERIFY2(diff.isEmpty(), qPrintable(fileName + QStringLiteral(": ") + diff +
                                            QStringLiteral("; run the regenerate_resources target and review")));
    }

    void reproducesCommittedIcon()
    {
        QFile committed(committedDir() + QLatin1Char('/') + kyartwork::ICON_FILE_NAME);
        QVERIFY(committed.open(QIODevice::ReadOnly));
        const QVector<QImage> stored = iconImages(&committed);
        const QVector<int> sizes = kyartwork::iconSizes();
        QCOMPARE(stored.size(), sizes.size());
        for (int i = 0; i < sizes.size(); ++i) {
            const QString diff = difference(stored.at(i), kyartwork::renderIcon(sizes.at(i)));
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("icon %1: %2").arg(sizes.at(i)).arg(diff)));
        }

        // The file written now decodes to the same images.
        QByteArray data = kyartwork::iconFileData();
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        const QVector<QImage> fresh = iconImages(&buffer);
        QCOMPARE(fresh.size(), stored.size());
        for (int i = 0; i < fresh.size(); ++i)
            QVERIFY(difference(fresh.at(i), stored.at(i)).isEmpty());
    }

    void unknownNameDrawsNothing() { QVERIFY(kyartwork::render(QStringLiteral("no_such_picture.png")).isNull()); }

    void writesEveryFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath(QStringLiteral("new/Resources"));
        QString error;
        QVERIFY2(kyartwork::writeAll(target, &error), qPrintable(error));
        QCOMPARE(QDir(target).entryList(QDir::Files).size(), kyartwork::pictures().size() + 1);
        QVERIFY(difference(QImage(target + QStringLiteral("/logo.png")), kyartwork::render(QStringLiteral("logo.png")))
                    .isEmpty());
    }

    void refusesAFolderThatIsAFile()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("Resources"));
        QVERIFY(kytest::writeFile(blocker, "not a folder"));
        QString error;
        QVERIFY(!kyartwork::writeAll(blocker, &error));
        QVERIFY(error.contains(blocker));
        QCOMPARE(kytest::readFile(blocker), QByteArray("not a folder"));
    }

    void refusesAMissingFont()
    {
        QString error;
        QVERIFY(!kyartwork::loadArtworkFont(QStringLiteral("/nonexistent/font.ttc"), &error));
        QVERIFY(error.contains(QStringLiteral("/nonexistent/font.ttc")));

        // A file that is no font is refused too; the font loaded before stays.
        QTemporaryDir dir;
        const QString notAFont = dir.filePath(QStringLiteral("font.ttc"));
        QVERIFY(kytest::writeFile(notAFont, QByteArray(4096, 'x')));
        QVERIFY(!kyartwork::loadArtworkFont(notAFont, &error));
        QVERIFY(error.contains(notAFont));
        const QString logo = QStringLiteral("button_live.png");
        QVERIFY(difference(kyartwork::render(logo), QImage(committedDir() + QLatin1Char('/') + logo)).isEmpty());
    }
};

KY_TEST_MAIN_WITH(QGuiApplication, TestArtwork)
#include "testartwork.moc"
