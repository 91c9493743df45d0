// Pieces shared by the LZH builder and the script-package builder: running
// one archiver command with its failure message, the archive names, and a
// trace of the command lines for callers that want to see them.
#pragma once

#include <functional>

#include <QString>

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

// One archive under two spellings: the text that goes on command lines (the
// archive folder in short form, then "\", the name and the extension) and
// the path that file operations use (the folder as given, "/" and the same
// name). The two differ where the short form puts the folder in quotes.
struct ArchiveName {
  QString command;
  QString file;
};

// The archives of one build in one folder, every spelling the build needs
// worked out once from the folder and the base name (without extension).
struct ArchiveNames {
  QString folder;  // as given
  QString name;    // the base name
  ArchiveName lzh, exe, cab, qsc;
  // The self-extractor command's spellings: the folder in short form, and
  // that folder, "\" and the base name as one word.
  QString folderCommand;
  QString stemCommand;
};
ArchiveNames ArchiveNamesIn(const QString& folder, const QString& name);

// A name as one word of a command line: in quotes when it holds a blank or
// a comma, or begins with "-" (so that it is not taken for a switch).
QString CommandWord(const QString& name);

// Deletes the file when one of that name exists (found without regard to
// case); false when it exists and cannot be deleted.
bool DeleteIfExists(const QString& path);

}  // namespace lm
