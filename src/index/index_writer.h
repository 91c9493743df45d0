// Writing the update definition files index.fet and indextmp.fet.
//
// The writer scans a script's DAT tree (every directory and file below it,
// hidden entries and everything below a hidden directory left out), sorts the
// entries by their relative paths written with "\" between levels, and
// writes one fixed-width line per entry. Both files are built completely in
// memory (Shift-JIS bytes included) and then replace the old files together
// through temporary files and renames, so a failed run leaves both previous
// files as they were.
#pragma once

#include <cstdint>
#include <ctime>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "profiles/date_box.h"
#include "profiles/profile.h"

namespace lm {

class NextUpdateBoxes {
 public:
  virtual ~NextUpdateBoxes() = default;
  virtual QString BoxText(DateBox box) const = 0;
  virtual void FocusBox(DateBox box) = 0;  // also selects the box's whole text
};

// What the index writer touches in the main window besides the date boxes:
// the execute button Command1 and the list List1.
class IndexRunView {
 public:
  virtual ~IndexRunView() = default;
  virtual void SetExecuteEnabled(bool enabled) = 0;
  virtual void ClearList() = 0;
  virtual void AddListLine(const QString& line) = 0;
  // Adds many lines at once; a list widget may override this to add them in
  // one batch.
  virtual void AddListLines(const QStringList& lines) {
    for (const QString& line : lines) AddListLine(line);
  }
};

// Reads and checks the next-update boxes, checks the script information file
// `scriptPath` (trimmed; "" is refused with its message), then writes the
// index files of its DAT directory. mode 0 shows the success message, mode 1
// does not. kOk on success, kFailed on failure (after its message).
int16_t WriteIndexForScript(const QString& scriptPath, int16_t mode, NextUpdateBoxes& boxes,
                            IndexRunView& view);

// WriteIndexForScript for the script of `profile` (null: none, refused
// with its message); on success the profile keeps the trimmed path.
int16_t WriteIndexForProfile(Profile* profile, int16_t mode, NextUpdateBoxes& boxes, IndexRunView& view);
// The same for the current profile (CurrentProfile).
int16_t WriteIndexForProfile(int16_t mode, NextUpdateBoxes& boxes, IndexRunView& view);

// Removes the temporary files that a run killed while it replaced the index
// files left in `datDir`, each with a run note. The caller holds
// IndexFilesResource(datDir).
void RemoveIndexLeftovers(const QString& datDir);

// The bytes of indextmp.fet that belong with the bytes of an index.fet: its
// entry lines without the header lines and without the size field.
QByteArray IndexTwinBytes(const QByteArray& indexBytes);

// Scans datDir (with trailing separator) and writes its index files; 0 or -9.
int16_t WriteIndexFiles(const QString& datDir, const QString& nextUpdate, int16_t mode,
                        IndexRunView& view);

// ---- The scan and the pieces of an entry line ----

// At most this many directories below DAT, and at most this many listed
// entries (directories and files together) below DAT.
constexpr int kMaxScanDirs = 10000;
constexpr int kMaxScanEntries = 10000;

// One directory or file found by the scan.
struct ScanEntry {
  QString relativePath;  // "\img\title.bmp": leading "\", "\" between levels; "" for DAT itself
  QString attr;          // "d" or "f"; "" for DAT itself
  QString treeMarker;    // one "|" fewer than the depth, then "+"
  QString name;          // the entry's own name as the file system spells it
  QString date;          // UtcStamp, 12 digits; "" for DAT itself
  int64_t size = 0;      // bytes for a file (-1 when unreadable), 0 for a directory
  int64_t seconds = 0;   // last-write time, whole seconds since the epoch
};

// Scans the tree below `datDir` (either separator, trailing one optional,
// found without regard to case). On success `entries` holds the record of
// DAT itself at index 0 (empty path, marker "+") followed by every directory
// and file in scan order (directories breadth first), and true is returned.
// On failure `failure` holds the message to show and false is returned.
bool ScanDatTree(const QString& datDir, std::vector<ScanEntry>& entries, QString& failure);

// Sorts the entries folder by folder: relative paths are compared level by
// level, each level's names by their UTF-16 code units, a name before every
// longer name that begins with it. Each folder's entries thus follow the
// folder's own line directly, which is what the tree marks of the index
// need to name the right parent. Where no sibling extends another's name by
// a character below "\" this is the plain ordinal order of the whole paths.
void SortScanEntries(std::vector<ScanEntry>& entries);
bool RelativePathLess(const QString& a, const QString& b);

// The last-write time of `path` in UTC as "yyyymmddhhmm": the local time of
// the file plus timeZoneBias minutes, seconds dropped. "" when the entry
// cannot be examined.
QString UtcStamp(const QString& path);
// The same for a time given as seconds since the epoch and a bias in minutes.
QString UtcStampOf(std::time_t secondsSinceEpoch, int biasMinutes);

// The size of the file in bytes, -1 when it cannot be opened for reading.
int64_t FileSizeOf(const QString& path);

// The five-character size field: whole KiB with leading zeros; 99999 for
// 100 000 KiB or more (the field keeps its width); 00000 for an unreadable
// size (-1).
QString SizeField(int64_t size);

int16_t CountSeparators(const QString& text);  // number of "\" characters
QString Bars(int n);                           // n "|" characters; "" for n <= 0

// Names that the index never lists when they lie directly in DAT (compared
// without regard to case): the index files themselves and the files kept by
// the script platform. CONVERT.EXA is listed, but always last.
bool IsLeftOutName(const QString& name);

// The index.fet line and the indextmp.fet line of one entry.
QString IndexLineOf(const ScanEntry& e);
QString TmpIndexLineOf(const ScanEntry& e);

// The message shown when an index file may not be written.
QString CannotWriteIndexMessage();

}  // namespace lm
