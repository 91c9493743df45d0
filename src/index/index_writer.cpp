// Writing index.fet and indextmp.fet from a scan of the DAT tree.
#include "index/index_writer.h"

#include "util/app_globals.h"
#include "util/index_line.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/text_file.h"

namespace lm {
namespace {

const QLatin1String kLineEnd("\r\n");

bool IsDirectlyInDat(const ScanEntry& e) { return e.relativePath.lastIndexOf(QLatin1Char('\\')) == 0; }

QString WriteFailureMessage(const FileError& error, const QString& path) {
  if (error.permissionDenied()) return CannotWriteIndexMessage();
  return error.message + CR + Bracketed(path);
}

// Encodes a whole file at once; on failure names the first entry whose name
// code page 932 cannot hold.
bool EncodeIndexText(const QString& text, const std::vector<const ScanEntry*>& listed,
                     const QString& root, QByteArray& bytes, QString& failure) {
  if (EncodeCp932(text, bytes)) return true;
  for (const ScanEntry* e : listed) {
    QByteArray ignored;
    QString bad;
    if (!EncodeCp932(e->name, ignored, &bad)) {
      QString shown = e->relativePath;
      shown.replace(QLatin1Char('\\'), QLatin1Char('/'));
      failure = QStringLiteral("Shift-JISで表せない文字「%1」を含む名前があります。").arg(bad) + CR +
                Bracketed(root + shown);
      return false;
    }
  }
  failure = QStringLiteral("Shift-JISで表せない文字が含まれています。");
  return false;
}

}  // namespace

QByteArray IndexTwinBytes(const QByteArray& indexBytes) {
  // The size field lies at the same place in every entry line and is plain
  // ASCII, so the twin's bytes are cut from the encoded index.
  QByteArray twin;
  twin.reserve(indexBytes.size());
  for (qsizetype pos = 0; pos < indexBytes.size();) {
    qsizetype end = indexBytes.indexOf("\r\n", pos);
    end = end < 0 ? indexBytes.size() : end + 2;
    const bool entry = indexBytes[pos] != '#' && end - pos > kIndexNameOffset + 2;
    if (entry) {
      twin.append(indexBytes.constData() + pos, kIndexSizeOffset);
      twin.append(indexBytes.constData() + pos + kIndexNameOffset, end - pos - kIndexNameOffset);
    }
    pos = end;
  }
  return twin;
}

QString CannotWriteIndexMessage() { return QStringLiteral("更新定義ファイルに書きこみできませんでした。"); }

int16_t WriteIndexFiles(const QString& datDir, const QString& nextUpdate, int16_t mode,
                        IndexRunView& view) {
  const int16_t failed = -9;
  auto report = [&](const QString& message) {
    MsgBox(message, style::OkOnly, kAppTitle);
    return failed;
  };

  std::vector<ScanEntry> entries;
  QString failure;
  if (!ScanDatTree(datDir, entries, failure)) return report(failure);
  SortScanEntries(entries);
  const QString root = ResolveExisting(datDir);

  // The listed entries in their written order: the sorted order, left-out
  // names dropped, CONVERT.EXA directly in DAT moved to the end.
  std::vector<const ScanEntry*> listed;
  listed.reserve(entries.size());
  // Names differ in case only on this file system, so more than one
  // CONVERT.EXA can exist; all of them go to the end, in their sorted order.
  std::vector<const ScanEntry*> convert;
  for (std::size_t i = 1; i < entries.size(); ++i) {
    const ScanEntry& e = entries[i];
    if (IsDirectlyInDat(e)) {
      if (NamesEqualIgnoringCase(e.name, QLatin1String("CONVERT.EXA"))) {
        convert.push_back(&e);
        continue;
      }
      if (IsLeftOutName(e.name)) continue;
    }
    listed.push_back(&e);
  }
  listed.insert(listed.end(), convert.begin(), convert.end());

  const bool withTmp = makeTmpIndex == 1;
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(listed.size()));
  for (const ScanEntry* e : listed) lines.append(IndexLineOf(*e));

  const QString header = IndexHeaderText(nextUpdate);
  QString text = header;
  qsizetype length = text.size();
  for (const QString& line : lines) length += line.size() + 2;
  text.reserve(length);
  for (const QString& line : lines) {
    text += line;
    text += kLineEnd;
  }

  view.ClearList();
  QByteArray bytes;
  if (!EncodeIndexText(text, listed, root, bytes, failure)) return report(failure);
  const QByteArray tmpBytes = withTmp ? IndexTwinBytes(bytes) : QByteArray();

  // Both files are replaced together or not at all: a run that fails on
  // either leaves both as they were, so they never disagree.
  std::vector<FileReplacement> files{{root + QStringLiteral("/index.fet"), bytes}};
  if (withTmp) files.push_back({root + QStringLiteral("/indextmp.fet"), tmpBytes});
  FileError error;
  QString failedPath;
  if (!WriteFilesTogether(files, &error, &failedPath)) {
    return report(WriteFailureMessage(error, ResolveForCreate(failedPath)));
  }
  view.AddListLines(lines);

  if (mode != 1) MsgBox(QStringLiteral("更新定義ファイルを出力しました。"), style::Information, kAppTitle);
  return 0;
}

}  // namespace lm
