// kyresgen: draws the program's pictures and icon into a folder.
//
//   kyresgen OUTPUT_DIR [FONT_FILE]

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
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: kyresgen OUTPUT_DIR [FONT_FILE]\n");
        return 2;
    }
    const QString fontFile = args.size() == 3 ? args.at(2) : kyartwork::defaultArtworkFontFile();
    QString error;
    bool ok = kyartwork::loadArtworkFont(fontFile, &error) && kyartwork::writeAll(args.at(1), &error);
    kyartwork::releaseArtworkFont();
    if (!ok) {
        std::fprintf(stderr, "kyresgen: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("kyresgen: wrote %d pictures and %s to %s\n", int(kyartwork::pictures().size()),
                qPrintable(kyartwork::ICON_FILE_NAME), qPrintable(args.at(1)));
    return 0;
}
