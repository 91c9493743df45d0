// The Quillet script package: namearc.qsc, a CAB archive packed from the
// content of the distribution LZH archive.
//
// The LZH archive (and the self-extracting file when asked) is built first;
// its content is unpacked with UnLHA32.DLL into the work directory "temp"
// in the build's working folder, packed with Cab32.DLL into namearc.cab, the
// work directory is emptied again and the cabinet renamed to namearc.qsc.
#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

#include "archive/archive_steps.h"
#include "profiles/profile.h"
#include "profiles/script_check.h"
#include "util/status.h"

namespace lm {

// The work directory: CurrentBuildWorkDir() + "/temp/".
QString WorkDirPath();

// Builds the LZH archive, the self-extracting file if asked for and the
// package; kVbTrue (-1) when all were made, kVbFalse (0) after the message
// of a failed step. The arguments are those of BuildLzhArchiveFor.
VbBool BuildCabPackageFor(const Profile& profile, const ScriptLayout& layout, const ArchiveNames& names,
                          int16_t sfx, const QString& extraArguments, quintptr hwnd = 0);

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
