#pragma once

#include <QString>

// The local channels the program serves (QLocalServer names): a socket file
// on Linux, a named pipe on Windows.
namespace kytest {

// Whether something serves `name` now.
bool localChannelExists(const QString &name);

// Whether only the current account may connect to `name`: the socket file
// has no group or other permissions, the pipe's access list names no other
// account. `problem` says what was found otherwise.
bool localChannelIsPrivate(const QString &name, QString &problem);

} // namespace kytest
