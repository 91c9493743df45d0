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

// `path` up to and including its last "\" or "/"; the whole path when there is none.
void DirOf(const QString& path, QString& out);
QString DirOf(const QString& path);

// The upper-case script name (file name before its first "."); 0 or -9.
int16_t ScriptNameOf(const QString& path, QString& out);

// True when the file (found without regard to case) can be opened for reading;
// a directory, a missing file and an unreadable file all give false.
bool CanOpenFile(const QString& path);

}  // namespace lm
