// LiveCodeModule.exe of the sandbox: started by the live manager with
// "-KYLiveMgr", it connects to the manager's "KYLiveMgrService" and shows its
// sign-in window. KYORO_LIVECODE_SCRIPT, when set, drives it instead of a
// user (see LiveCodeWindow::runScript).

#include "livecodewindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (!app.arguments().contains(QStringLiteral("-KYLiveMgr"))) {
        std::fprintf(stderr, "LiveCodeModule: start me with -KYLiveMgr from the live manager\n");
        return 2;
    }

    RpcClient client = RpcConnect(u"KYLiveMgrService", 10000);
    if (!client) {
        std::fprintf(stderr, "LiveCodeModule: the live manager's service does not answer\n");
        return 3;
    }

    int result = 0;
    {
        LiveCodeWindow window(client);
        // As text: on Windows the narrow environment is in the ANSI code
        // page, which cannot hold a Chinese message.
        const QString script = qEnvironmentVariable("KYORO_LIVECODE_SCRIPT");
        if (!script.isNull() && !window.runScript(script)) {
            result = 5;
        } else {
            window.show();
            result = app.exec();
        }
    }
    RpcDisconnect(client);
    return result;
}
