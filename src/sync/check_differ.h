// CheckDiffer: compares the local update definition file with the copy of
// the server's one and lists what would have to be added to or deleted from
// the server.
//
// The comparison pairs entries by the path rebuilt from each line's tree name
// (depth marks "|", then "+", then the name). The result lies in four
// module-wide lists that stay until the next comparison: every local entry,
// every server entry, the paths to upload and the paths to delete.
#pragma once

#include <cstdint>

#include <QList>
#include <QString>
#include <QStringList>

#include "util/index_line.h"

namespace lm {

// One parsed entry line of an update definition file.
struct IndexEntry {
  QString date;  // characters 1-12, yyyymmddhhmm
  QString attr;  // character 13, "d" for a directory
  QString size;  // characters 14-18
  QString path;  // from the tree root: leading "\"; a directory also ends with "\"
};

extern QList<IndexEntry> localEntries;
extern QList<IndexEntry> serverEntries;
extern QStringList uploadList;
extern QStringList deleteList;

// Reads both files and builds the four lists. 0 on success; -9 when a file
// is missing or cannot be read (after its message). The lists are emptied
// first, so a failed comparison leaves them empty.
int16_t CompareIndexFiles(const QString& localPath, const QString& serverPath);

// The four lists of a comparison as one value.
struct IndexComparison {
  QList<IndexEntry> local;
  QList<IndexEntry> server;
  QStringList uploads;
  QStringList deletions;
};

// CompareIndexFiles, with its lists also handed back in `result`.
int16_t CompareIndexFiles(const QString& localPath, const QString& serverPath, IndexComparison& result);

// The lists of the last comparison.
IndexComparison LastComparison();

// Reads one update definition file into localEntries (which 0) or
// serverEntries (which 1). Lines end at CR or CR LF. False when the file
// cannot be read (the list is then empty and `error` says why).
bool ReadIndexFile(const QString& path, int which, QString* error = nullptr);

// The same into `entries`, leaving the module's lists alone.
bool ReadIndexEntries(const QString& path, QList<IndexEntry>& entries, QString* error = nullptr);

// The same from lines already read (a downloaded index, for example).
bool ParseIndexLines(const QStringList& lines, QList<IndexEntry>& entries, QString* error = nullptr);

// Asks, for one path, whether to upload a file that the server's index
// dates later than the local one; true for Yes.
bool AskUploadOverNewer(const QString& path);

// The number of "|" in a tree name; -9 for fields shorter than 2 characters.
int TreeDepth(const QString& name);

// Tree-name helpers that fall back on the previous result of their kind,
// as the reading of one file goes from line to line.
class TreeNameReader {
 public:
  // The text after the last "+" or "|" (searched from the second-to-last
  // character back); the previous bare name when there is no mark.
  QString BareName(const QString& name);
  // The directory one level up: "\a\b\" gives "\a\", "\a\" gives "\"; the
  // previous result when there is no such level.
  QString ParentDir(const QString& dir);

 private:
  QString lastBare_;
  QString lastParent_;
};

// Reads a size field as a decimal number: blanks skipped, an optional sign,
// digits up to the first other character; 0 when there are none.
qint64 SizeValue(const QString& field);

// Fills uploadList: local-only entries, and entries on both sides that differ
// (unless both are directories). Where the server's copy is newer the user is
// asked, per entry, whether to upload anyway.
void CollectUploads();
// Fills deleteList with every server entry whose path no local entry has.
void CollectDeletions();
// Sorts ascending by UTF-16 code units; equal paths stay.
void SortPathList(QStringList& list);

// The local index file of the current profile's script: index.fet in the
// script's DAT directory (beside the script information file for a
// non-regular layout, otherwise in the directory named after the script).
QString CurrentProfileIndexPath();
// The copy of the server's index file in the working-file folder
// (CacheFolder(): the program directory of a writable copy).
QString ServerIndexCopyPath();

// The comparison the main window's Option3 operation runs: compares the
// current profile's index file with the server's copy. 0 when the lists are
// ready to be shown; otherwise the operation's message has been shown
// ("更新定義ファイルが存在しません。", after the comparison's own message).
int16_t CompareCurrentProfile();

}  // namespace lm
