// Where the program keeps the files it writes for itself.
//
// One rule decides it, here and nowhere else:
//
// - A portable copy: when the program folder (the folder of the executable)
//   is writable, lies outside /usr and has a write permission bit set,
//   everything stays beside the program, as in the build folder or a copy
//   on a USB disk: ConfigFolder() and CacheFolder() both return it.
// - An installed copy: otherwise lfup.ini and lfup.ini.bak live in
//   $XDG_CONFIG_HOME/loftmark (default ~/.config/loftmark), and the working
//   files (temp/, install.txt, $, indexserver.fet, VENDOR.URL) in
//   $XDG_CACHE_HOME/loftmark (default ~/.cache/loftmark).
//
// A folder without any write bit counts as read-only even for root, who could
// write there anyway: a copy made read-only on purpose is treated as
// installed. Under /usr a program never writes its own folder (the system's
// package manager owns it), whoever runs it.
//
// Callers build paths from these folders only; no other code joins a name
// to the program folder for a file the program writes.
#pragma once

#include <QString>

namespace lm {

// The folder of the executable: programDir once the profiles were loaded,
// the executable's folder before that. No trailing separator.
QString ProgramFolder();

// True when the program keeps its files beside itself (the portable copy).
bool KeepsFilesBesideProgram();

// The folder of lfup.ini and lfup.ini.bak. In the installed mode it is made
// (mode 0700, the file may hold a password) when missing. No trailing
// separator.
QString ConfigFolder();

// The folder of the working files: the work directory temp/, install.txt,
// the self-extractor option file $, indexserver.fet and VENDOR.URL. In the
// installed mode it is made (mode 0700) when missing. No trailing separator.
QString CacheFolder();

// The archive folder of a profile that names none: the program folder of a
// portable copy, the user's home folder of an installed one.
QString DefaultArchiveFolder();

// Three lines for the version information: the folder of lfup.ini, the
// folder of the working files, and why they are there. Makes no folder.
QString FoldersText();

}  // namespace lm
