// A second process for the RPC tests: "rpcpeer serve NAME" tries to serve NAME
// (one procedure, "ping", no arguments), prints "serving" or "refused", then
// serves until its standard input closes.

#include "rpc/rpc.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || args[1] != QLatin1String("serve"))
        return 2;

    RpcInstance instance = RpcCreateInstance(RPC_VERSION_MAJOR, RPC_VERSION_MINOR, nullptr, nullptr);
    RpcRegisterProcedure(instance, "ping", [](void *, IRpcArgument **, int, RpcAsyncToken token) {
        RpcCompleteAsyncProcedure(token, nullptr);
    }, "");
    const std::u16string name = args[2].toStdU16String();
    const bool serving = RpcStartService(instance, name.c_str(), RPC_SCOPE_USER);
    std::printf("%s\n", serving ? "serving" : "refused");
    std::fflush(stdout);
    if (serving) {
        while (std::getchar() != EOF) {
        }
    }
    RpcStopService(instance);
    return serving ? 0 : 1;
}
