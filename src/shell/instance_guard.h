// One running copy per user: the named marker "TLMWndMutex" and the test for a
// copy of this program that is already running.
//
// The marker is an abstract-namespace Unix socket name: it exists while a
// process holds it and the kernel removes it when that process ends, however
// it ends. It is a marker only; the program never waits on it.
//
// The previous-instance test is an exclusive flock on a lock file in the
// user's runtime directory, keyed by the executable's path. The kernel drops
// the lock when the process dies, so a crashed copy never blocks a new start.
#pragma once

#include <cstdint>

#include <QString>

namespace lm {

// The descriptor that holds the marker, 0 when none is held.
extern int instanceMutex;

// -1 when the marker "TLMWndMutex" already existed (nothing is held), 0 when
// this call created it (or could not, which is not reported).
int16_t AcquireInstanceGuard();
// Gives the marker up if one is held. Always 0.
int16_t ReleaseInstanceGuard();
// True while some process holds the marker.
bool InstanceMarkerExists();

// XDG_RUNTIME_DIR, else /tmp/loftmark-<uid> (created private to the user); ""
// when neither is usable.
QString RuntimeDirectory();

// The lock file that marks a running copy of the executable at `executablePath`.
QString InstanceLockPath(const QString& executablePath);

// True when another copy of the executable at `executablePath` holds the
// lock. Otherwise the lock is taken and kept until ReleaseInstanceLock (or
// the end of the process) and the answer is false; when the lock cannot be
// tried at all the answer is false too, so nothing ever keeps the program
// from starting.
bool AnotherInstanceRunning(const QString& executablePath);
void ReleaseInstanceLock();

}  // namespace lm
