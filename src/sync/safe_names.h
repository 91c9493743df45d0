// Names that come from outside (an index file, the server's index, a server
// listing) are checked before any of them is used to build a local or a
// remote path, so that no entry can reach outside DAT or outside the
// server folder.
#pragma once

#include <QString>

namespace lm {

// One level's name: not empty, not "." or "..", no "\", "/" or ":" (which
// would make it a path, an absolute path, a drive or a UNC prefix), and no
// control character. False with the reason in `why` otherwise.
bool IsSafeEntryName(const QString& name, QString* why = nullptr);

// A path as the comparison writes it ("\img\", "\img\a.bmp"): a leading "\",
// one safe name per level, a trailing "\" only for a folder.
bool IsSafeIndexPath(const QString& path);

// The message for a name that failed the check; the name is shown with its
// control characters escaped, followed by where it came from.
QString UnsafeNameMessage(const QString& name, const QString& why, const QString& source);

}  // namespace lm
