// The two small text files that a build packs into the archives, written
// into the build's working folder (CurrentBuildWorkDir) before the build and
// removed with it:
// install.txt (what the script platform installs) and the self-extractor
// option file "$".
//
// Both are Shift-JIS with CR LF line ends and replace an existing file. A
// text that Shift-JIS cannot hold makes the write fail without leaving a
// partial file; `error` then says which text it was.
#pragma once

#include <cstdint>

#include <QString>

#include "profiles/profile.h"
#include "util/text_file.h"

namespace lm {

// CurrentBuildWorkDir() + "/install.txt" and CurrentBuildWorkDir() + "/$".
QString InstallFilePath();
QString SfxOptionsPath();

// The four lines of install.txt for a profile:
// type,script / name,<profile trimmed> / directory,<upper-case script name> /
// refresh,1. False when the script name is not valid.
bool InstallFileLinesFor(const Profile& profile, QStringList& lines);
// The lines of "$" for a profile: window title, install directory, install
// title (always), command.
QStringList SfxOptionLinesFor(const Profile& profile);

// 0 when install.txt was written; -9 when the script name is not valid or
// the file cannot be written.
int16_t WriteInstallFileFor(const Profile& profile, FileError* error = nullptr);
// 0 when "$" was written; -9 when it cannot be written.
int16_t WriteSfxOptionsFor(const Profile& profile, FileError* error = nullptr);

}  // namespace lm
