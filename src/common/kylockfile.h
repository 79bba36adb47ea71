#pragma once

#include <QString>

class QLockFile;

// Takes `lock` (a lock file at `path`) at once, recovering a stale one. A lock
// is stale when its owner cannot be shown to be alive: a link or a folder in
// place of the file, an empty or unreadable file (once it is older than the
// moment a starting owner needs to fill it), or the lock of a process that is
// gone. What was found is logged before it is removed. A lock held by a live
// process is never taken: QLockFile's own file lock guards the removal, and
// no age makes it stale. The wait is bounded (a few seconds at most).
// True when `lock` is now held.
bool tryLockRecovering(QLockFile &lock, const QString &path);
