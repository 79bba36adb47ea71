#pragma once

#include <QString>

class QLockFile;

// Takes `lock` (a lock file at `path`) at once, recovering a stale one. A lock
// is stale when its owner cannot be shown to be alive: a link or a folder in
// place of the file, an empty or unreadable file (once it is older than the
// moment a starting owner needs to fill it), the lock of a process that is
// gone, or of a process id that now belongs to another process. What was
// found is logged before it is removed. A lock held by a live process is
// never taken: QLockFile's own file lock guards the removal, and no age makes
// it stale. The wait is bounded (a few seconds at most). True when `lock` is
// now held.
//
// Process ids are reused (under Wine the next start often gets the id of the
// one that crashed), so the owner also records beside the lock, in
// "<path>.owner", its id and its start time: a lock whose id now runs a
// process that started at another time is not that process's lock.
bool tryLockRecovering(QLockFile &lock, const QString &path);

// Unlocks a lock taken with tryLockRecovering and removes its owner record.
void releaseLock(QLockFile &lock, const QString &path);
