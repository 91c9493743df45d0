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

#include "util/app_globals.h"

namespace lm {

constexpr int kProfileCapacity = 101;     // indexes 0..100
constexpr int kAttachmentCapacity = 51;   // addfile indexes 0..50

struct Profile {
  QString profile;      // name shown in the main window's list
  QString ugu;          // full path of the script information file; empty = no valid script
  QString dirarc;       // directory in which the archives are made
  QString addarc;       // extra arguments of the archiver's add command
  QString namearc;      // archive base name without extension
  std::array<QString, kAttachmentCapacity> addfile;  // attached files and directories
  int16_t addfilecnt = 0;                            // meaningful entries of addfile
  QString exewintitle;  // self-extractor window title
  QString exeviewdir;   // directory the self-extractor proposes
  QString autoview;     // document opened after extraction
  QString server;       // the upload's server: host, or ftp:// ftps:// sftp:// URL
  QString userid;
  QString password;     // empty when the password lives in the keyring
  QString dirserver;    // the server folder that mirrors DAT
  // Keys added for the upload; written only when set, so older readers see
  // the file they know (and ignore these keys when they do meet them).
  QString servercert;   // SHA-256 of an FTPS certificate the author trusts
  QString keyring;      // "1": the password is kept in the desktop's keyring

  void Clear() { *this = Profile{}; }
};

extern std::array<Profile, kProfileCapacity> profileTable;
extern int16_t lastProfile;     // highest index in use
extern int16_t currentProfile;  // profile selected in the main window
extern int16_t addingProfile;   // 1 while a just-appended profile is edited
// Profiles whose script information file failed the check at the last load
// (a disk not mounted, a folder renamed). They keep every stored field and
// are written back unchanged, so nothing is lost when the script returns.
extern std::vector<int16_t> unfoundProfiles;

// Reads lfup.ini (programDir + "/lfup.ini") into the table; records programDir first.
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

// The text after the last "\" or "/"; the whole path when there is none.
void FileNameOf(const QString& path, QString& out);
// The text up to and including the first "\" or "/"; the whole path when there is none.
void DriveOf(const QString& path, QString& out);
// The text after the last "." of the whole path; the whole path when there is none.
void ExtensionOf(const QString& path, QString& out);

// Trims ordinary blanks and the ideographic space U+3000 at both ends.
QString TrimBlanks(const QString& text);

}  // namespace lm
