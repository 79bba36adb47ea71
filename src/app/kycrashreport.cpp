#include "app/kycrashreport.h"

#include "app/kycrashconstants.h"
#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "platform/crash.h"
#include "platform/pathmap.h"

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMessageBox>

#include <cstdio>

namespace {
Q_LOGGING_CATEGORY(lcCrash, "kyoro.crash")
}

void installCrashReporting()
{
    kyplatform::CrashReportSettings settings;
    settings.programFolder = nativePath(appDir()).toStdString();
    settings.programBaseName =
        QFileInfo(QString::fromStdString(kyplatform::programFilePath())).completeBaseName().toStdString();
    settings.version = appVersion().toStdString();
    settings.uploadLocation = crashUploadLocation().toStdString();
    applyCrashTextsAndCredential(settings);
    if (!kyplatform::installCrashHandler(settings))
        qCWarning(lcCrash) << "by crash handler not installed, program folder:" << settings.programFolder.c_str();
}

bool runCrashMessage(int &argc, char **argv, int &exitCode)
{
    std::string caption;
    std::string text;
    if (!kyplatform::takeCrashMessage(caption, text))
        return false;
    exitCode = 0;
    if (kyplatform::logCrashMessage(caption, text))
        return true;
    // Also on the terminal: without a display the box below cannot open (and
    // Qt would abort trying).
    std::fprintf(stderr, "%s\n%s\n", caption.c_str(), text.c_str());
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
    return true;
}
