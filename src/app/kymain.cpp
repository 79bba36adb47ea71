#include "app/kymain.h"

#include "app/appinit.h"
#include "app/kycrashreport.h"
#include "app/kyfontwarmup.h"
#include "app/kylogmanager.h"
#include "app/kyscaling.h"
#include "app/kysingleapplication.h"
#include "app/kyterminationwatcher.h"
#include "common/kycleanup.h"
#include "common/kyconstants.h"
#include "common/kystartuptrace.h"
#include "common/kytexts.h"
#include "telemetry/kyoropointing.h"
#include "ui/kyoromanager.h"

#include <QIcon>
#include <QNetworkAccessManager>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

namespace {
const int kStartupTraceMs = 3000;

void installCrashFilter()
{
    installCrashReporting();
}

// The first instance tells the collector it starts, with the machine's
// description; the request goes out while the window is being built.
void reportStartupLoading()
{
    reportEvent(POINTING_STARTUP_LOADING);
}
// Runs start-up work on a thread of its own while the window is built.
std::unique_ptr<QThread> startBesideTheWindow(const QString &name, std::function<void()> work)
{
    std::unique_ptr<QThread> thread(QThread::create(std::move(work)));
    thread->setObjectName(name);
    thread->start();
    return thread;
}

} // namespace

KyAppSession::KyAppSession(KySingleApplication &app)
{
    // The font configuration the first text needs is read beside the
    // window's construction too; the window waits for it before it is shown
    // and lays out its first text.
    m_fontWarmUp = startBesideTheWindow(QStringLiteral("kyoro font warm-up"), []() {
        warmUpFontConfiguration();
        kyStartupMark("font configuration read (beside the window)");
    });
    // The first network access manager of a process loads the network
    // stack's bearer plugins and waits for them (4 to 14 ms here, more on a
    // busy machine): done on a thread of its own while the window is built,
    // the managers of the reporter and the hub then find it ready instead of
    // holding up the first paint.
    m_networkWarmUp = startBesideTheWindow(QStringLiteral("kyoro network warm-up"), []() {
        delete new QNetworkAccessManager;
        kyStartupMark("network stack ready (beside the window)");
    });
    reportStartupLoading();
    kyStartupMark("startup_loading reported");
    app.installEventFilter(AppInit::instance());
    // Only the tray's quit entry ends the program; a dialog closing while the
    // main window sits in the tray must not.
    app.setQuitOnLastWindowClosed(false);

    m_window = std::make_unique<kyoroManager>();
    kyStartupMark("main window built");
    app.setActivationWindow(m_window.get(), true);
    QApplication::setActiveWindow(m_window.get());
    app.setWindowIcon(QIcon(RES_APP_ICON));
    kyStartupMark("window icon set");
    m_window->initLogic();
    kyStartupMark("logic initialised");
    m_fontWarmUp->wait();
    kyStartupMark("font configuration ready");
    m_window->show();
    kyStartupMark("window shown");
}

KyAppSession::~KyAppSession()
{
    // The window goes first (listener deleted, install folders saved). The
    // hub, its workers and the other single objects own timers, sockets and
    // network managers: they go while the application object still exists.
    m_window.reset();
    m_networkWarmUp->wait();
    m_fontWarmUp->wait();
    runProcessCleanups();
}

int kyMain(int argc, char *argv[], KyBeforeEventLoop beforeEventLoop)
{
    kyStartupMark("main");
    // Every window of the program paints with the raster engine. Without this
    // Qt prepares each top-level window for OpenGL as well, and on X11 loads
    // the whole OpenGL driver stack for the first one: a third of the time to
    // the first paint, and memory the program never uses.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    enableDisplayScaling(argc, argv);

    // A crashed instance runs the program again only to show its message.
    int messageExitCode = 0;
    if (runCrashMessage(argc, argv, messageExitCode))
        return messageExitCode;

    LogManager::instance().installHandler();
    // An empty info message writes an empty line: each run starts with one.
    qInfo("%s", "");
    installCrashFilter();
    kyStartupMark("log handler and crash filter installed");

    // The instance listens as soon as it exists; a SIGTERM that arrives while
    // start-up still runs (the telemetry probe, the window) must end it
    // cleanly too, so it is caught from before then. Once the window exists,
    // the request takes the window's own quit path.
    KyTerminationWatcher::catchEarly();
    KySingleApplication app(APP_ID, argc, argv);
    if (app.isRunning())
        return app.sendMessage(APP_ID, 5000) ? 0 : 1;
    kyStartupMark("application object built, instance claimed");

    KyTerminationWatcher termination;
    QObject::connect(&termination, &KyTerminationWatcher::terminationRequested, &app, &QApplication::quit);

    int result = 0;
    {
        KyAppSession session(app);
        QObject::disconnect(&termination, nullptr, &app, nullptr);
        QObject::connect(&termination, &KyTerminationWatcher::terminationRequested, session.window(),
                         &kyoroManager::quitProgram);
        if (beforeEventLoop)
            beforeEventLoop(&app);
        // The trace covers the first paint and what the program does in
        // the seconds after it.
        if (kyStartupTraceOn())
            QTimer::singleShot(kStartupTraceMs, &kyStartupTraceEnd);
        result = app.exec();
    }
    kyStartupTraceEnd();
    return result;
}
