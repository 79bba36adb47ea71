// The peer that start-up and idle figures are set against: the least a Qt
// Widgets program does to show a window of the main window's size. Nothing
// else runs in it: no timers, no network, no logic.
//
// With --raster it paints with the raster engine only, as VURuv does, so Qt
// does not prepare the window for OpenGL: the least Qt can do at all. With
// --scaled it follows the display's scale as VURuv does on Windows (high-DPI
// scaling, the factor unrounded): the peer at 150 %.
#include <QApplication>
#include <QWidget>

#include <cstring>

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--raster") == 0)
            QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
        if (std::strcmp(argv[i], "--scaled") == 0) {
            QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
            QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
        }
    }
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.resize(942, 622);
    window.show();
    return app.exec();
}
