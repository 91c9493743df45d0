// Locks between runs of the program (windows and commands, any number of
// copies of the program of the same user) on the things two runs may not use
// at once: a script's update definition files, and the archive names of one
// base name in one folder.
//
// Each lock is a flock on a file in a private folder of the user (below
// $XDG_RUNTIME_DIR, or /tmp/loftmark-locks-<uid>), named after a hash of the
// thing it stands for. The system releases a flock when its process ends,
// however it ends, so a killed run never leaves a lock held; a holder that
// lets go removes the file.
//
// A run that finds a lock taken waits through the installed RunLockWaiter:
// the window shows a dialog, a command prints a line once, or (--no-wait)
// gives up at once and says what is busy.
//
// Run notes are lines a run reports besides its messages (the clean-up of
// what a killed run left behind, the wait); the front ends show them.
#pragma once

#include <functional>
#include <vector>

#include <QByteArray>
#include <QString>

namespace lm {

// One thing runs share: `key` tells it apart (a canonical path), `what`
// names it to the user.
struct RunResource {
  QString key;
  QString what;
};

// The update definition files in `datDir` (the script's DAT directory).
RunResource IndexFilesResource(const QString& datDir);
// The archives `baseName`.lzh/.exe/.cab/.qsc in `folder`; names that differ
// in letter case only are the same archives.
RunResource ArchiveNamesResource(const QString& folder, const QString& baseName);

// Locks taken by this run; released when the object goes. Movable.
class RunLocks {
 public:
  RunLocks() = default;
  ~RunLocks() { Release(); }
  RunLocks(RunLocks&& other) noexcept : keys_(std::move(other.keys_)) { other.keys_.clear(); }
  RunLocks& operator=(RunLocks&& other) noexcept;
  RunLocks(const RunLocks&) = delete;
  RunLocks& operator=(const RunLocks&) = delete;
  void Release();
  bool Empty() const { return keys_.empty(); }

 private:
  friend bool TakeRunLocks(const std::vector<RunResource>&, RunLocks&);
  friend bool TryTakeRunLock(const RunResource&, RunLocks&);
  std::vector<QByteArray> keys_;
};

// How a run waits for a thing another run holds.
class RunLockWaiter {
 public:
  virtual ~RunLockWaiter() = default;
  // `busy` names what another run holds. Calls `tryNow` (which takes the
  // locks when it returns true) until it succeeds, then returns true; false
  // when the run gives up, after the waiter's own message.
  virtual bool Wait(const QString& busy, const std::function<bool()>& tryNow) = 0;
};

// Installs the waiter for the whole process; nullptr brings back the default
// one, which reports the wait once as a run note and waits.
void SetRunLockWaiter(RunLockWaiter* waiter);
RunLockWaiter* CurrentRunLockWaiter();

// The line that says a run waits: "別の処理が終わるのを待っています…" and
// what it waits for.
QString WaitingText(const QString& busy);
// The message of a run that does not wait: what is busy, and that the run
// stopped.
QString BusyText(const QString& busy);

// Takes every resource, or none: while any is held by another run, waits
// through the waiter. A resource this process holds already counts as taken
// (the locks nest). True when `held` now holds them all; false when the
// waiter gave up.
bool TakeRunLocks(const std::vector<RunResource>& resources, RunLocks& held);
// Takes `resource` when no run, this process included, holds it; never
// waits. True when taken.
bool TryTakeRunLock(const RunResource& resource, RunLocks& held);

// The folder of the lock files.
QString RunLockFolder();

// ---- Run notes ----

using RunNoteListener = std::function<void(const QString& line)>;
// Adds a listener (any thread may report; a listener must cope); returns
// its number for RemoveRunNoteListener.
int AddRunNoteListener(RunNoteListener listener);
void RemoveRunNoteListener(int id);
// Hands `line` to every listener.
void RunNote(const QString& line);

}  // namespace lm
