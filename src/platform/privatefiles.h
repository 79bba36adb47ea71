#pragma once

#include <cstdint>
#include <string>

// Files and channels that belong to the current user alone: folders no other
// account can enter or plant anything in, appends that never follow a link,
// and the account at the other end of a local socket or named pipe.
namespace kyplatform {

// Makes `path` a folder for the current user only. A missing folder is
// created (one level, mode 0700 elsewhere than on Windows). An existing one
// is kept only when it is a real folder (no link or junction) owned by the
// current user; group and other permissions on it are then removed. False,
// with `problem` saying what was found, when the folder is not the user's
// own or cannot be made. On Windows the per-user folders are private
// already: a real folder (no junction) is enough.
bool makePrivateDir(const std::string &path, std::string &problem);

// Appends `bytes` to the file at `path`, creating it (owner-only) when
// missing. A link at that name is never followed, and a file that is not a
// plain file of the current user with a single name is not written: it is
// removed (the name only, never what it points to) and a new one created in
// its place. False when nothing could be written.
bool appendToPrivateFile(const std::string &path, const std::string &bytes);

enum class LocalPeer {
    Server, // the descriptor is our end of a connection we made
    Client, // the descriptor is a connection our server accepted
};

// Whether the process at the other end of a connected local socket (a pipe
// handle on Windows) runs as the current user. `descriptor` is the native
// socket descriptor or pipe handle; `peer` says which end the other process
// is. False, with `problem` filled, when it runs as another account or its
// account cannot be told.
bool localPeerIsCurrentUser(std::intptr_t descriptor, LocalPeer peer, std::string &problem);

// A short text naming the current account, usable in a file name: the user
// id elsewhere than on Windows, "user" on Windows (whose folders are per user).
std::string currentUserTag();

} // namespace kyplatform
