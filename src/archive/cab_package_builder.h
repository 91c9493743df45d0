// The Quillet script package: namearc.qsc, a CAB archive packed from the
// content of the distribution LZH archive.
//
// The LZH archive (and the self-extracting file when asked) is built first;
// its content is unpacked with UnLHA32.DLL into the work directory "temp"
// below the program directory, packed with Cab32.DLL into namearc.cab, the
// work directory is emptied again and the cabinet renamed to namearc.qsc.
#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

#include "profiles/profile.h"
#include "profiles/script_check.h"
#include "util/status.h"

namespace lm {

// The work directory: CacheFolder() + "/temp/" (below the program directory
// of a writable copy).
QString WorkDirPath();

// Builds the LZH archive, the self-extracting file if asked for and the
// package; kVbTrue (-1) when all were made, kVbFalse (0) after the message
// of a failed step. The arguments are those of BuildLzhArchiveFor.
VbBool BuildCabPackageFor(const Profile& profile, const ScriptLayout& layout, int16_t sfx,
                          const QString& extraArguments, quintptr hwnd = 0);

// BuildCabPackageFor for the current profile; the arguments are those of
// BuildLzhArchive.
VbBool BuildCabPackage(const QString& scriptPath, int16_t sfx, const QString& extraArguments,
                       int16_t nonRegular, quintptr hwnd = 0);

// Removes every file and every subdirectory below `dir` and keeps `dir`.
// When something cannot be removed (a read-only file, a directory that
// cannot be listed or removed) the user is asked whether to retry; 0 when
// all is gone, -1 when the user gave up.
int32_t ClearTempDir(const QString& dir);

// Fills dirList with `dir` (which ends with a separator) and every directory
// below it, breadth first, each ending in "/"; dirCount is their number.
// Symbolic links are not followed. False when a directory cannot be listed
// (the list then holds what was found).
bool ListDirTree(const QString& dir);
extern QStringList dirList;
extern int dirCount;

}  // namespace lm
