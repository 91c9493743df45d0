// The second operation of the main window: write the update definition
// files, then build the distribution archives of the type chosen in Combo1.
//
// BuildArchives decides from the type text which archives to make, checks
// that the archiver libraries can be found, writes install.txt (and the
// self-extractor option file "$"), fills in a default archive directory and
// name where the current profile has none, runs the LZH or the script-package
// builder, reports the outcome and deletes the two temporary files.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "archive/archive_types.h"
#include "profiles/profile.h"
#include "util/run_lock.h"

namespace lm {

class NextUpdateBoxes;
class IndexRunView;

// Builds the archives of the type `archiveType` (the selected text of
// Combo1; any other text, the empty one included, makes the LZH archive
// only) for the current profile. `hwnd` is the main window's handle for the
// libraries. Shows its own messages; the caller shows nothing further.
// The archives take their names only when every one of them was made; a
// failed or cancelled build (RequestBuildCancel) leaves the earlier archives
// of the same names as they were and removes what it wrote (a cancelled one
// says so). Another run's build of the same archive names is waited for.
void BuildArchives(const QString& archiveType, quintptr hwnd = 0);

// What one build uses instead of the profile's own settings (the command
// line's --out, --name and --fast). They are the build's values only: the
// profile, and so lfup.ini, never sees them.
struct BuildOverrides {
  QString folder;     // the archive folder ("": the profile's)
  QString name;       // the archive base name ("": the profile's)
  bool fast = false;  // the LZH library's fast mode (-f after the profile's extra arguments)
};

// BuildArchives for `profile`, which gets the default archive directory and
// name filled in where it has none (and the overrides give none) and its
// attachments in their kept form.
void BuildArchivesFor(Profile& profile, const QString& archiveType, quintptr hwnd = 0,
                      const BuildOverrides& overrides = {});

// What the archive operation needs from the main window.
class ArchiveRunView {
 public:
  virtual ~ArchiveRunView() = default;
  // The selected text of Combo1 ("" when nothing is selected).
  virtual QString ArchiveTypeText() const = 0;
  // The handle handed to the archiver libraries.
  virtual quintptr WindowHandle() const { return 0; }
  // True while a build runs: show the wait cursor and take no command;
  // false when it has ended.
  virtual void SetBuildRunning(bool running) = 0;
  // Runs the archive build; the window runs it off its own thread and shows
  // its progress. Returns when the build has ended.
  virtual void RunBuild(const std::function<void()>& build) { build(); }
  // After a successful build: one line per archive written (path and size).
  virtual void ShowArchivesWritten(const QStringList& lines) { (void)lines; }
};

// Where the current profile's archives are written: its archive directory,
// or the program folder when it has none.
QString ArchiveFolderOfCurrentProfile();

// What a build of `profile` holds while it runs: its script's index files
// and its archive names (see util/run_lock.h); none for a script that fails
// its check.
std::vector<RunResource> RunResourcesOf(const Profile& profile, const BuildOverrides& overrides = {});

// True from the start of RunOption2 (or an ArchiveBuildScope) to its end.
bool ArchiveBuildRunning();

// Marks a build as running for its lifetime: sets the flag above and tells
// the view (wait cursor on, commands refused), and undoes both at its end,
// however the build ends. Scopes do not nest: a second one while the first
// lives is inactive and changes nothing.
class ArchiveBuildScope {
 public:
  explicit ArchiveBuildScope(ArchiveRunView& view);
  ~ArchiveBuildScope();
  ArchiveBuildScope(const ArchiveBuildScope&) = delete;
  ArchiveBuildScope& operator=(const ArchiveBuildScope&) = delete;
  bool Active() const { return active_; }

 private:
  ArchiveRunView& view_;
  bool active_;
};

// The execute command's second operation for the current profile, looked
// up once: WriteIndexForProfile(1) and, only when it returned kOk,
// BuildArchivesFor with the view's type text and `overrides`. Returns the
// index writer's status (kOk or kFailed); kAborted when another build of this
// process was still going on, or when it gave up waiting for another run
// (see RunResourcesOf), and nothing was done.
int16_t RunOption2(NextUpdateBoxes& boxes, IndexRunView& indexView, ArchiveRunView& archiveView,
                   const BuildOverrides& overrides = {});

}  // namespace lm
