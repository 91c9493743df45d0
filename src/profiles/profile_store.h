// The profile table and its settings file lfup.ini.
//
// A profile is the named set of settings of one script. All profiles live in
// the process-wide table profileTable (indexes 0..100); profiles 0..lastProfile
// are in use, without gaps, and there is always at least profile 0. The table
// is read from lfup.ini in the program directory once at start-up and written
// back once when the main window closes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "profiles/profile.h"
#include "util/app_globals.h"
#include "util/path_parts.h"
#include "util/trim_blanks.h"

namespace lm {

extern std::array<Profile, kProfileCapacity> profileTable;
extern int16_t lastProfile;     // highest index in use
extern int16_t currentProfile;  // profile selected in the main window
extern int16_t addingProfile;   // 1 while a just-appended profile is edited
// Profiles whose script information file failed the check at the last load
// (a disk not mounted, a folder renamed). They keep every stored field and
// are written back unchanged, so nothing is lost when the script returns.
extern std::vector<int16_t> unfoundProfiles;

// The profile selected in the main window: profile currentProfile when that
// is one in use (0..lastProfile), null when none is selected (an empty
// profile list gives -1). The one place that checks currentProfile: an
// operation resolves it once at its start and hands the profile on.
Profile* CurrentProfile();

// Reads lfup.ini (ConfigFolder() + "/lfup.ini") into the table; records programDir first.
void LoadProfiles();
// The same from another settings file; the program directory stays that of
// the executable (the command line's --settings).
void LoadProfilesFrom(const QString& settingsPath);
// The start-up message that names the profiles of unfoundProfiles with their
// script paths; empty when every stored script was found.
QString UnfoundProfilesMessage();
// Writes the table to lfup.ini through a temporary file and a rename; reports
// a failure in a message box and leaves the previous file intact. The file
// replaced is kept as lfup.ini.bak when its contents change.
void SaveProfiles();
// The lines SaveProfiles writes for the current table (profiles without any
// script path left out, renumbered from 000).
QStringList ProfileFileLines();

// Splits "key(NNN)=value"; 0 and the outputs set, or -1 with them unchanged.
int16_t SplitKeyedLine(const QString& line, QString& key, int16_t& index, QString& value);



}  // namespace lm
