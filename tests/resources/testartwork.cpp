// The artwork generator reproduces the committed pictures (at 1x and 2x), the
// icon and the setup package's pictures pixel for pixel (within one level per
// channel), and covers exactly the pictures the bundle holds.

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

QString committedSetupDir()
{
    return kytest::sourceDir() + QStringLiteral("/setup/pictures");
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
            drawn << picture.fileName << kyartwork::twiceSizeName(picture.fileName);
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

    // One row per picture, both sizes in it: the 2x picture is the same
    // drawing at twice the density, never the 1x one enlarged.
    void reproducesCommittedPictures_data()
    {
        QTest::addColumn<QString>("fileName");
        for (const kyartwork::Picture &picture : kyartwork::pictures())
            QTest::newRow(qPrintable(picture.fileName)) << picture.fileName;
    }

    void reproducesCommittedPictures()
    {
        QFETCH(QString, fileName);
        for (int scale : {1, 2}) {
            const QString name = scale == 1 ? fileName : kyartwork::twiceSizeName(fileName);
            const QImage committed(committedDir() + QLatin1Char('/') + name);
            QVERIFY2(!committed.isNull(), qPrintable(name + QStringLiteral(" is not committed")));
            const QString diff = difference(kyartwork::render(fileName, scale), committed);
            QVERIFY2(diff.isEmpty(),
                     qPrintable(name + QStringLiteral(": ") + diff + QStringLiteral("; run scripts/pictures and review")));
        }
    }

    void reproducesCommittedSetupPictures()
    {
        QStringList expected;
        for (const kyartwork::Picture &picture : kyartwork::setupPictures()) {
            for (int dpi : kyartwork::setupDpis()) {
                const QString name = kyartwork::setupFileName(picture.fileName, dpi);
                expected << name;
                const QImage committed(committedSetupDir() + QLatin1Char('/') + name);
                QVERIFY2(!committed.isNull(), qPrintable(name + QStringLiteral(" is not committed")));
                const QString diff = difference(kyartwork::renderSetup(picture.fileName, dpi), committed);
                QVERIFY2(diff.isEmpty(),
                         qPrintable(name + QStringLiteral(": ") + diff + QStringLiteral("; run scripts/pictures and review")));
            }
        }
        // Nothing else lies there for the package to pick up by mistake.
        expected.sort();
        QCOMPARE(QDir(committedSetupDir()).entryList(QDir::Files, QDir::Name), expected);
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
        const QString setup = dir.filePath(QStringLiteral("new/setup"));
        QString error;
        QVERIFY2(kyartwork::writeAll(target, setup, &error), qPrintable(error));
        QCOMPARE(QDir(target).entryList(QDir::Files).size(), kyartwork::pictures().size() * 2 + 1);
        QCOMPARE(QDir(setup).entryList(QDir::Files).size(),
                 kyartwork::setupPictures().size() * kyartwork::setupDpis().size());
        QVERIFY(difference(QImage(target + QStringLiteral("/logo.png")), kyartwork::render(QStringLiteral("logo.png")))
                    .isEmpty());
    }

    void refusesAFolderThatIsAFile()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("Resources"));
        QVERIFY(kytest::writeFile(blocker, "not a folder"));
        QString error;
        QVERIFY(!kyartwork::writeAll(blocker, dir.filePath(QStringLiteral("setup")), &error));
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
