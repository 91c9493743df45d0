// Checking a script information file (UGU or PSN) and locating its DAT directory.
#pragma once

#include <cstdint>

#include <QString>

namespace lm {

// The proof files are D + N + "\DAT\mio00.euu" (or aya00.out for PSN) and,
// for UGU, D + "DAT\mio00.euu", where D is the file's directory with its
// separator and N the upper-case script name. They are looked up without
// regard to case. The separators joined in are those of the given path (its
// last separator; "/" when it has none), so messages show
// /home/u/s/SAMPLE/DAT/mio00.euu for a Linux path and C:\s\SAMPLE\DAT\mio00.euu
// for a Windows one.
//
// 0 valid; -1 the file cannot be opened; -2 not a valid script information
// file. `message` is "" or the text the caller shows; `nonRegular` is 1 when
// a UGU file was accepted with DAT beside it rather than in a directory named
// after the script.
int16_t CheckScriptFile(const QString& path, QString& message, int16_t& nonRegular);

// The script's DAT directory for a file that passed CheckScriptFile, with a
// trailing separator: D + N + "\DAT\" (regular) or D + "DAT\" (nonRegular 1),
// spelled with the separators of the given path like the proof files.
QString DatDirOf(const QString& path, int16_t nonRegular);

// Where the parts of a script lie, worked out once from its information
// file and handed to the operations that need them.
struct ScriptLayout {
  QString scriptPath;      // the script information file as given
  QString folder;          // its directory with the separator (DirOf)
  QString name;            // the upper-case script name (ScriptNameOf)
  int16_t nonRegular = 0;  // 1: DAT lies beside the information file
  QString datDir;          // DatDirOf(scriptPath, nonRegular)
  QString indexPath;       // datDir + "index.fet"
};

// The layout of `path` for a known `nonRegular`, without any check.
ScriptLayout LayoutOf(const QString& path, int16_t nonRegular);

// Runs CheckScriptFile and returns its status and message; `layout` is
// filled in either case (with the nonRegular the check found).
int16_t CheckScriptLayout(const QString& path, ScriptLayout& layout, QString& message);

// `path` up to and including its last "\" or "/"; the whole path when there is none.
void DirOf(const QString& path, QString& out);
QString DirOf(const QString& path);

// The upper-case script name (file name before its first "."); 0 or -9.
int16_t ScriptNameOf(const QString& path, QString& out);

// True when the file (found without regard to case) can be opened for reading;
// a directory, a missing file and an unreadable file all give false.
bool CanOpenFile(const QString& path);

}  // namespace lm
