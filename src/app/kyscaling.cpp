#include "app/kyscaling.h"

#include <QGuiApplication>
#include <cstring>

namespace {
const char NO_SCALING_SWITCH[] = "--no-scaling";

bool hasNoScalingSwitch(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], NO_SCALING_SWITCH) == 0)
            return true;
    }
    return false;
}
} // namespace

void enableDisplayScaling(int argc, char *argv[])
{
    if (hasNoScalingSwitch(argc, argv)) {
        QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
        return;
    }
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // Icons and pictures loaded in code take their 2x copies when drawn above
    // 100 %; at 100 % those are never read.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(platformScaleRounding() == KyScaleRounding::Exact
                                                             ? Qt::HighDpiScaleFactorRoundingPolicy::PassThrough
                                                             : Qt::HighDpiScaleFactorRoundingPolicy::Round);
}
