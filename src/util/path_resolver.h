// Finding existing files and directories by name the way Windows does.
//
// Windows file systems ignore letter case, and the stored paths and fixed
// names of this system rely on it (the writer writes `index.fet`, the refresh
// reads `DAT\INDEX.FET`). Every lookup of an existing file or directory goes
// through this resolver: an exact match wins; otherwise each path component
// is matched against the directory's entries without regard to case (the
// first match in name order when several differ only in case).
//
// This is the Qt face of util/pathfind, which the archiver libraries and the
// self-extractor use directly: one folding rule (name_fold.h) for all.
//
// Both "\" and "/" separate path components here, so that paths built with
// either separator work; the results always use "/".
#pragma once

#include <QString>

namespace lm {

// `path` with every "\" turned into "/".
QString NativePath(const QString& path);

// The existing file system entry that `path` names, with its real spelling;
// an empty text when there is none. A trailing separator is kept out of the
// result.
QString ResolveExisting(const QString& path);

// The path to use when creating `path`: an existing entry whose name differs
// only in case is returned as it exists (so it is the one written); otherwise
// the resolved parent directory with the last component as given.
QString ResolveForCreate(const QString& path);

bool IsExistingFile(const QString& path);       // ordinary file (links followed)
bool IsExistingDirectory(const QString& path);  // directory (links followed)

// A name that begins with "." is hidden; there is no system attribute.
bool IsHiddenName(const QString& name);

// Case-insensitive comparison of two names as Windows would do it.
bool NamesEqualIgnoringCase(const QString& a, const QString& b);

}  // namespace lm
