// Where one build works, so that builds running at once never share a file,
// and how its archives reach their names.
//
// Working folder: every build writes install.txt, the option file "$" and
// the unpacked tree of the script package into a folder of its own,
// BuildWorkRoot()/builds/<random>, removed when the build ends. While the
// build lives it holds a lock on the folder; a folder whose lock is free
// belongs to a run that was killed and is removed by the next build.
//
// Staging folder: the archives are made under their own names in a hidden
// folder beside them, "<folder>/.<name>.loftmark-build-<random>", and moved
// to their names only when every archive of the build was made. Each
// archive name therefore holds the earlier archive or the complete new one
// at every moment. Before the moves the staging folder gets a list of what
// to move and remove, so that a run killed among the moves is completed by
// the next one.
//
// Leftovers in an archive folder (RecoverArchiveFolder): staging folders of
// the same name, and from earlier versions of the program archives moved
// aside as ".<name>.<ext>.earlier" and partial ".lha-*" / ".cab32-*" files.
// An earlier archive whose name is free is put back, the rest removed; each
// step is reported as a run note.
#pragma once

#include <QString>
#include <QStringList>

#include "util/run_lock.h"

namespace lm {

// The folder below which the builds' working folders lie: the working-file
// folder (CacheFolder(): the program folder of a writable copy).
QString BuildWorkRoot();

// The working folder of the build that runs on this process (set by a
// BuildWorkFolder while it lives); CacheFolder() when none runs.
QString CurrentBuildWorkDir();

class BuildWorkFolder {
 public:
  BuildWorkFolder() = default;
  ~BuildWorkFolder();
  BuildWorkFolder(const BuildWorkFolder&) = delete;
  BuildWorkFolder& operator=(const BuildWorkFolder&) = delete;

  // Removes the folders of killed runs, makes a new folder, locks it and
  // makes it the current one. False (with the folder that could not be
  // made in `failedPath`) when it cannot be made.
  bool Create(QString& failedPath);
  QString Path() const { return path_; }

 private:
  QString path_;
  RunLocks lock_;
};

// The staging folder of one build in `folder` for the archive base `name`.
class ArchiveStaging {
 public:
  ArchiveStaging() = default;
  ~ArchiveStaging();  // removes the folder unless committed
  ArchiveStaging(const ArchiveStaging&) = delete;
  ArchiveStaging& operator=(const ArchiveStaging&) = delete;

  bool Create(const QString& folder, const QString& name, QString& failedPath);
  QString Path() const { return path_; }

  // Moves the files `put` (names inside the staging folder, which keep their
  // names) into the archive folder, replacing files of those names (also
  // where they differ in letter case), then deletes the files `remove` of
  // the archive folder. False with the path that failed.
  bool Commit(const QStringList& put, const QStringList& remove, QString& failedPath);

 private:
  QString folder_;
  QString path_;
};

// Cleans up what killed runs left for the archive base `name` in `folder`
// (see above). The caller holds ArchiveNamesResource(folder, name).
void RecoverArchiveFolder(const QString& folder, const QString& name);

// For the crash tests: with LOFTMARK_TEST_CRASH=<point><n> in the
// environment the process kills itself (SIGKILL, as kill -9 would) when it
// reaches that point for the n-th time: "step" after each archiver command,
// "commit" after each archive moved to its name.
void CrashPoint(const char* point);

}  // namespace lm
