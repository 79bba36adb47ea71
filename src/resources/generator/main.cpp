// kyresgen: draws the program's pictures (at 1x and 2x) and icon into the
// resources folder and the setup package's pictures into the setup folder.
//
//   kyresgen RESOURCES_DIR SETUP_DIR [FONT_FILE]

#include "kyartwork.h"
#include "kyartworkkit.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Drawing needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4) {
        std::fprintf(stderr, "usage: kyresgen RESOURCES_DIR SETUP_DIR [FONT_FILE]\n");
        return 2;
    }
    const QString fontFile = args.size() == 4 ? args.at(3) : kyartwork::defaultArtworkFontFile();
    QString error;
    bool ok = kyartwork::loadArtworkFont(fontFile, &error) && kyartwork::writeAll(args.at(1), args.at(2), &error);
    kyartwork::releaseArtworkFont();
    if (!ok) {
        std::fprintf(stderr, "kyresgen: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("kyresgen: wrote %d pictures at 1x and 2x and %s to %s, %d setup pictures to %s\n",
                int(kyartwork::pictures().size()), qPrintable(kyartwork::ICON_FILE_NAME), qPrintable(args.at(1)),
                int(kyartwork::setupPictures().size() * kyartwork::setupDpis().size()), qPrintable(args.at(2)));
    return 0;
}
