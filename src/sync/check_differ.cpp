#include "sync/check_differ.h"

#include <algorithm>

#include <QHash>
#include <QSet>

#include "sync/safe_names.h"
#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace lm {

QList<IndexEntry> localEntries;
QList<IndexEntry> serverEntries;
QStringList uploadList;
QStringList deleteList;

namespace {

// Room for the first 101 elements, as every list starts.
constexpr int kInitialRoom = 101;

template <typename List>
void ResetList(List& list) {
  list.clear();
  list.reserve(kInitialRoom);
}

}  // namespace

int TreeDepth(const QString& name) {
  if (name.size() < 2) return -9;
  return static_cast<int>(name.count(QLatin1Char('|')));
}

QString TreeNameReader::BareName(const QString& name) {
  if (name.size() < 2) return lastBare_;
  for (qsizetype i = name.size() - 2; i >= 0; --i) {
    const QChar c = name.at(i);
    if (c == QLatin1Char('+') || c == QLatin1Char('|')) {
      lastBare_ = name.mid(i + 1);
      return lastBare_;
    }
  }
  return lastBare_;
}

QString TreeNameReader::ParentDir(const QString& dir) {
  if (dir.size() < 2) return lastParent_;
  const qsizetype pos = dir.lastIndexOf(QLatin1Char('\\'), dir.size() - 2);
  if (pos < 0) return lastParent_;
  lastParent_ = dir.left(pos + 1);
  return lastParent_;
}

qint64 SizeValue(const QString& field) {
  qint64 value = 0;
  bool digits = false, negative = false, signSeen = false;
  for (const QChar c : field) {
    if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) continue;
    if (!digits && !signSeen && (c == QLatin1Char('-') || c == QLatin1Char('+'))) {
      signSeen = true;
      negative = c == QLatin1Char('-');
      continue;
    }
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) break;
    digits = true;
    if (value < (Q_INT64_C(1) << 58)) value = value * 10 + (c.unicode() - '0');
  }
  return negative ? -value : value;
}

bool ReadIndexFile(const QString& path, int which, QString* error) {
  QList<IndexEntry>& target = which == 0 ? localEntries : serverEntries;
  ResetList(target);
  return ReadIndexEntries(path, target, error);
}

bool ReadIndexEntries(const QString& path, QList<IndexEntry>& target, QString* error) {
  target.clear();
  QStringList lines;
  FileError fileError;
  if (!ReadTextLines(path, lines, &fileError, LineBreaks::CrOrCrLf)) {
    if (error) *error = fileError.message;
    return false;
  }
  return ParseIndexLines(lines, target, error);
}

bool ParseIndexLines(const QStringList& lines, QList<IndexEntry>& target, QString* error) {
  target.clear();
  // open[k] is the directory whose entries carry k marks: open[0] is the
  // root, open[k] the last directory line met with k-1 marks. An entry's
  // directory is taken from its own depth, not from the line before it, so
  //  - a drop of several levels (\a\b\c\f, then |+z) goes back to \a\,
  //  - the entry after an empty directory is that directory's sibling,
  //  - a file that sorts between a directory and its contents (\img,
  //    \img.txt, \img\title.bmp) does not cut the contents off their
  //    directory.
  // Only what the tree marks cannot tell apart stays ambiguous: the contents
  // of \img after a directory \img 2 are attached to \img 2.
  TreeNameReader names;
  QStringList open{QStringLiteral("\\")};
  for (const QString& line : lines) {
    QString date, attr, size, name;
    if (!SplitIndexLine(line, date, attr, size, name)) continue;
    const int depth = name.startsWith(QLatin1Char('+')) ? 0 : std::max(TreeDepth(name), 0);
    // Deeper than any directory seen: the deepest one is the best guess.
    const int level = std::min(depth, static_cast<int>(open.size()) - 1);
    QString bare = names.BareName(name);
    // A name that could leave the tree ("..", "\", "/", a drive) or hide
    // itself (control characters) stops the reading: nothing built from
    // this file may reach outside DAT or the server folder.
    QString why;
    if (!IsSafeEntryName(bare, &why)) {
      target.clear();
      if (error) *error = UnsafeNameMessage(bare, why, QString());
      return false;
    }
    const bool isDir = attr == QLatin1String("d");
    if (isDir) bare += QLatin1Char('\\');
    const QString entryPath = open[level] + bare;
    target.append(IndexEntry{date, attr, size, entryPath});
    if (isDir) {
      open.resize(level + 1);
      open.append(entryPath);
    }
  }
  return true;
}

bool AskUploadOverNewer(const QString& path) {
  const QString question = QStringLiteral("ファイル作成日付に矛盾を発見しました。") + CR +
                           QStringLiteral("以下のファイルはローカルよりもサーバのほうが新しい日付になっています。") +
                           CR + Bracketed(path) + CR +
                           QStringLiteral("このファイルをこのままサーバにアップロードしてもよろしいですか？");
  return MsgBox(question, style::YesNoQuestion, kAppTitle) == button::Yes;
}

void CollectUploads() {
  ResetList(uploadList);
  // Server entries by path, each path's occurrences in file order.
  QHash<QString, QList<qsizetype>> onServer;
  for (qsizetype i = 0; i < serverEntries.size(); ++i) onServer[serverEntries[i].path].append(i);

  // A path listed more than once is judged once, against the server's first
  // line for it: a server index that repeats a path must not repeat the
  // question or the upload.
  QSet<QString> judged;
  for (const IndexEntry& local : std::as_const(localEntries)) {
    if (judged.contains(local.path)) continue;
    judged.insert(local.path);
    const auto it = onServer.constFind(local.path);
    if (it == onServer.constEnd()) {
      uploadList.append(local.path);
      continue;
    }
    {
      const IndexEntry& server = serverEntries[it->first()];
      if (local.attr.toLower() == QLatin1String("d") && server.attr.toLower() == QLatin1String("d"))
        continue;
      if (local.date == server.date && local.attr == server.attr &&
          SizeValue(local.size) == SizeValue(server.size))
        continue;
      if (!(server.date > local.date)) {
        uploadList.append(local.path);
        continue;
      }
      if (AskUploadOverNewer(local.path)) uploadList.append(local.path);
    }
  }
}

void CollectDeletions() {
  ResetList(deleteList);
  QSet<QString> local;
  local.reserve(localEntries.size());
  for (const IndexEntry& e : std::as_const(localEntries)) local.insert(e.path);
  QSet<QString> listed;
  for (const IndexEntry& e : std::as_const(serverEntries)) {
    if (local.contains(e.path) || listed.contains(e.path)) continue;
    listed.insert(e.path);
    deleteList.append(e.path);
  }
}

void SortPathList(QStringList& list) {
  // QString's ordering compares UTF-16 code units, case-sensitively.
  std::stable_sort(list.begin(), list.end(),
                   [](const QString& a, const QString& b) { return a < b; });
}

int16_t CompareIndexFiles(const QString& localPath, const QString& serverPath) {
  int16_t status = -9;
  ResetList(localEntries);
  ResetList(serverEntries);
  ResetList(uploadList);
  ResetList(deleteList);
  const cFile files;
  if (!files.CheckExistFile(localPath)) {
    MsgBox(QStringLiteral("ローカルのの更新定義ファイルが存在しません。"), style::OkOnly, kAppTitle);
    return status;
  }
  if (!files.CheckExistFile(serverPath)) {
    MsgBox(QStringLiteral("サーバの更新定義ファイルが存在しません。"), style::OkOnly, kAppTitle);
    return status;
  }
  for (int which = 0; which < 2; ++which) {
    const QString& path = which == 0 ? localPath : serverPath;
    QString why;
    if (!ReadIndexFile(path, which, &why)) {
      ResetList(localEntries);
      ResetList(serverEntries);
      MsgBox(QStringLiteral("更新定義ファイルを読み込めません。") + CR + Bracketed(path) + CR + why,
             style::Exclamation, kAppTitle);
      return status;
    }
  }
  CollectUploads();
  CollectDeletions();
  SortPathList(uploadList);
  SortPathList(deleteList);
  status = 0;
  return status;
}

int16_t CompareIndexFiles(const QString& localPath, const QString& serverPath, IndexComparison& result) {
  const int16_t status = CompareIndexFiles(localPath, serverPath);
  result = LastComparison();
  return status;
}

IndexComparison LastComparison() { return {localEntries, serverEntries, uploadList, deleteList}; }

QString ServerIndexCopyPath() {
  return CacheFolder() + QStringLiteral("/indexserver.fet");
}

}  // namespace lm
