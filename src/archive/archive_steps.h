// Pieces shared by the LZH builder and the script-package builder: running
// one archiver command with its failure message, the archive names, and a
// trace of the command lines for callers that want to see them.
#pragma once

#include <functional>

#include <QString>

#include "profiles/profile.h"

namespace lm {

class cArchiver;

// Runs `command` in the wrapper's library. When the library reports a
// failure, shows the wrapper's ErrString (OK with the exclamation icon) and
// returns false. Announces the command as a build step first; once the build
// is cancelled it returns false without running or showing anything.
bool RunArchiverStep(cArchiver& archiver, const QString& command);

// Called with the library file and the command line before every command a
// builder runs; empty by default. Tests use it to read the command lines.
using ArchiverCommandTrace = std::function<void(const QString& libraryFile, const QString& command)>;
void SetArchiverCommandTrace(ArchiverCommandTrace trace);

// True when currentProfile indexes the profile table.
bool HaveCurrentProfile();
// The current profile, or an empty one when there is none.
const Profile& CurrentProfileOrEmpty();

// One archive of the current profile under two spellings: the text that goes
// on command lines (the archive directory in short form, then "\", the name
// and the extension) and the path that file operations use (the directory as
// stored, "/" and the same name). The two differ where the short form puts
// the directory in quotes.
struct ArchiveName {
  QString command;
  QString file;
};
ArchiveName ArchiveNameOf(const Profile& profile, const QString& extension);  // extension with its dot: ".lzh"
ArchiveName CurrentArchiveName(const QString& extension);  // of the current profile

// Deletes the file when one of that name exists (found without regard to
// case); false when it exists and cannot be deleted.
bool DeleteIfExists(const QString& path);

}  // namespace lm
