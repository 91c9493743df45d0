#include "sync/publish.h"

#include <algorithm>
#include <map>
#include <optional>

#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QSet>

#include "sync/mc_win_ftp.h"
#include "sync/publish_record.h"
#include "sync/remote_tree.h"
#include "sync/session_trust.h"
#include "sync/upload_report.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/pathfind/name_fold.h"
#include "util/text_file.h"

namespace lm {
namespace {

bool IsDirectlyInDat(const ScanEntry& e) { return e.relativePath.lastIndexOf(QLatin1Char('\\')) == 0; }

// "\img\a.bmp" <-> "img/a.bmp"; a folder's comparison path ends with "\".
QString RelOf(const QString& indexPath) { return RemoteRelativePath(indexPath); }
QString IndexPathOf(const QString& rel, bool dir) {
  QString p = QLatin1Char('\\') + rel;
  p.replace(QLatin1Char('/'), QLatin1Char('\\'));
  if (dir) p += QLatin1Char('\\');
  return p;
}
QString IndexPathOf(const ScanEntry& e) {
  return e.attr == QLatin1String("d") ? e.relativePath + QLatin1Char('\\') : e.relativePath;
}

qint64 KibField(qint64 size) { return size < 0 ? 0 : std::min<qint64>(size / 1024, 99999); }

bool IsIndexFileName(const QString& rel) {
  return rel.compare(QLatin1String("index.fet"), Qt::CaseInsensitive) == 0 ||
         rel.compare(QLatin1String("indextmp.fet"), Qt::CaseInsensitive) == 0;
}

QString LocalFileOf(const QString& datDir, const QString& rel) {
  QString dir = datDir;
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  const QString joined = dir + rel;
  const QString real = ResolveExisting(joined);
  return real.isEmpty() ? joined : real;
}

// The file read again as it is now, when it still has the stamp the plan
// saw (and kept it while it was read).
bool ReadUnchangedFile(const QString& path, PublishedFile& file) {
  PublishedFile now;
  if (!file.stamp.known() || !HashSteadyFile(path, now) || !(now.stamp == file.stamp)) return false;
  file = now;
  return true;
}

// Entries of DAT whose names the server holds in another letter case only,
// from an earlier publish (the author renamed "Readme.txt" to "readme.txt").
// A server that finds names without regard to case holds one entry for both
// names, so sending the new name and deleting the old one would delete what
// was just sent; the entry is renamed on the server instead, parents before
// their children. `remote` is changed as the renames will change the server.
QList<CaseRename> CaseOnlyRenames(const std::vector<ScanEntry>& scan, const QSet<QString>& published,
                                  std::vector<RemoteEntry>& remote) {
  // Renames change only the case of paths, so their folded forms stay keys.
  const auto folded = [](const QString& path) {
    return QString::fromStdString(pathfind::FoldName(path.toStdString()));
  };
  QHash<QString, QList<std::size_t>> byFolded;
  std::vector<QString> listed;  // each entry's path as the server listed it
  for (std::size_t i = 0; i < remote.size(); ++i) {
    byFolded[folded(remote[i].path)] << i;
    listed.push_back(remote[i].path);
  }
  QSet<QString> local;
  for (const ScanEntry& e : scan) local.insert(RelOf(IndexPathOf(e)));
  QList<CaseRename> renames;
  for (const ScanEntry& e : scan) {
    const bool dir = e.attr == QLatin1String("d");
    const QString rel = RelOf(IndexPathOf(e));
    const QList<std::size_t> same = byFolded.value(folded(rel));
    if (same.size() != 1) continue;
    const RemoteEntry& match = remote[same.first()];
    const QString from = match.path;
    const QString before = listed[same.first()];
    // Only the last level may differ: a parent that could not be matched
    // exactly is left alone, and so are its children.
    if (from == rel || match.dir != dir || local.contains(from) ||
        from.left(from.lastIndexOf(QLatin1Char('/')) + 1) != rel.left(rel.lastIndexOf(QLatin1Char('/')) + 1) ||
        !published.contains(IndexPathOf(before, dir)))
      continue;
    renames << CaseRename{IndexPathOf(from, dir), IndexPathOf(rel, dir)};
    for (RemoteEntry& r : remote) {
      if (r.path == from)
        r.path = rel;
      else if (dir && r.path.startsWith(from + QLatin1Char('/')))
        r.path = rel + r.path.mid(from.size());
    }
  }
  return renames;
}

QString NamesNotKeptHint() {
  return QStringLiteral("サーバーが日本語 (Shift-JIS) の名前を送られたとおりに保存していない可能性があります。");
}

bool HasNonAscii(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0x7E; });
}

QString JoinedLines(const QString& first, const QString& second) {
  if (first.isEmpty()) return second;
  if (second.isEmpty()) return first;
  return first + CR + second;
}

// indextmp.fet beside index.fet: none, the twin of index.fet as it is now,
// or one that an earlier run wrote for another index.fet (the index writer
// leaves it alone when it is not asked to write it).
enum class TwinState { Absent, Current, Stale };
TwinState TwinOf(const QString& indexPath, const QString& tmpPath) {
  if (!QFileInfo(tmpPath).isFile()) return TwinState::Absent;
  QByteArray index, twin;
  if (!ReadFileBytes(indexPath, index) || !ReadFileBytes(tmpPath, twin)) return TwinState::Stale;
  return twin == IndexTwinBytes(index) ? TwinState::Current : TwinState::Stale;
}

PublishResult Failed(const QString& message) {
  PublishResult r;
  r.status = PublishResult::Failed;
  r.message = message;
  return r;
}

// The session of one run: connected, logged in, in the server folder. The
// result to return when that failed or was refused; a session that did not
// open names what the server presented that was not trusted.
std::optional<PublishResult> OpenServerFolder(McWinFTP& ftp, Profile& profile, PublishQuestions& questions,
                                              const PublishOptions& options) {
  QString password;
  QString message;
  if (!questions.Password(profile, password)) {
    PublishResult r;
    r.status = PublishResult::Cancelled;
    return r;
  }
  if (!options.trustOnce.isEmpty()) ftp.SetTrustOnce(options.trustOnce);
  if (!OpenTrustedSession(ftp, profile, password, questions, message)) {
    PublishResult r = Failed(message);
    if (message.isEmpty()) r.status = PublishResult::Cancelled;
    r.notConnected = true;
    r.presented = !ftp.PresentedCertificate().isEmpty() ? QStringLiteral("SHA256:") + ftp.PresentedCertificate()
                                                        : ftp.PresentedHostKey();
    return r;
  }
  if (!EnterServerFolder(ftp, profile.dirserver, message)) return Failed(message);
  return std::nullopt;
}

QHash<QString, const IndexEntry*> ByPath(const QList<IndexEntry>& entries) {
  QHash<QString, const IndexEntry*> out;
  for (const IndexEntry& e : entries)
    if (!out.contains(e.path)) out.insert(e.path, &e);
  return out;
}

// What the server holds against what it should hold: every entry of
// `expected` (comparison paths, a size of -1 for a folder, or only a KiB
// field to match when `kibOnly` holds the path), and none of `gone`.
QStringList ServerDifferences(const std::vector<RemoteEntry>& remote, const std::map<QString, qint64>& expected,
                              const QSet<QString>& kibOnly, const QStringList& gone) {
  QHash<QString, const RemoteEntry*> there;
  for (const RemoteEntry& r : remote) there.insert(r.path, &r);
  QStringList out;
  for (const auto& [path, size] : expected) {
    const bool dir = path.endsWith(QLatin1Char('\\'));
    const QString rel = RelOf(path);
    const auto it = there.constFind(rel);
    if (it == there.constEnd()) {
      out << QStringLiteral("ありません: ") + path;
    } else if ((*it)->dir != dir) {
      out << (dir ? QStringLiteral("フォルダではありません: ") : QStringLiteral("ファイルではありません: ")) + path;
    } else if (!dir && !kibOnly.contains(path) && (*it)->size != size) {
      out << QStringLiteral("大きさが違います: %1 (ローカル %2 バイト、サーバー %3 バイト)").arg(path).arg(size).arg((*it)->size);
    } else if (!dir && kibOnly.contains(path) && KibField((*it)->size) != size) {
      out << QStringLiteral("大きさが違います: %1 (更新定義ファイル %2 KB、サーバー %3 バイト)").arg(path).arg(size).arg((*it)->size);
    }
  }
  for (const QString& path : gone) {
    // An entry of the other kind under the same name is what replaced it.
    const auto it = there.constFind(RelOf(path));
    if (it != there.constEnd() && (*it)->dir == path.endsWith(QLatin1Char('\\')))
      out << QStringLiteral("削除されていません: ") + path;
  }
  for (const RemoteEntry& r : remote) {
    const QString name = r.path.mid(r.path.lastIndexOf(QLatin1Char('/')) + 1);
    if (!r.dir && IsUploadTempName(name)) out << QStringLiteral("一時ファイルが残っています: ") + IndexPathOf(r.path, false);
  }
  return out;
}

// The first twenty of `lines`, each on a line of its own, and how many more.
QString FirstLines(const QStringList& lines) {
  QString text;
  const qsizetype shown = std::min<qsizetype>(lines.size(), 20);
  for (qsizetype i = 0; i < shown; ++i) text += CR + lines[i];
  if (lines.size() > shown) text += CR + QStringLiteral("ほか %1 件").arg(lines.size() - shown);
  return text;
}

QString DifferencesMessage(const QStringList& differences) {
  return QStringLiteral("サーバーの内容が更新定義ファイルと一致しません (%1 件)。").arg(differences.size()) +
         FirstLines(differences);
}

QString KeptFilesMessage(const QStringList& kept) {
  QString text = QStringLiteral("サーバーのほうが新しいファイルを上書きしないことにしたため、何も送信しませんでした (%1 件)。")
                     .arg(kept.size());
  QStringList named;
  for (const QString& path : kept) named << Bracketed(path);
  return text + FirstLines(named) + CR +
         QStringLiteral("更新定義ファイルを送ると、サーバーのこれらのファイルもローカルと同じ内容だと示すことになります。") + CR +
         QStringLiteral("サーバーのファイルを DAT に取り込んで更新定義ファイルを作成し直すか、上書きを許可してください。");
}

// Connects, enters the server folder and fetches the server's index.fet
// into its copy; the result to return when that failed or was refused.
std::optional<PublishResult> ReachServer(McWinFTP& ftp, Profile& profile, PublishQuestions& questions,
                                         const PublishOptions& options) {
  if (std::optional<PublishResult> stop = OpenServerFolder(ftp, profile, questions, options)) return stop;
  QString message;
  if (!FetchServerIndex(ftp, ServerIndexCopyPath(), message, options.fetch)) return Failed(message);
  return std::nullopt;
}

}  // namespace

QString PublishPlan::TotalsText() const {
  QString text =
      QStringLiteral("送信 %1 件 (%2)　削除 %3 件").arg(files.size()).arg(ByteCountText(bytes)).arg(deletions.size());
  if (!renames.isEmpty()) text += QStringLiteral("　名前の変更 %1 件").arg(renames.size());
  return text;
}

QString PublishRecordDir() { return QFileInfo(ServerIndexCopyPath()).absolutePath(); }

bool ScanListedEntries(const QString& datDir, std::vector<ScanEntry>& listed, QString& message) {
  std::vector<ScanEntry> entries;
  if (!ScanDatTree(datDir, entries, message)) return false;
  SortScanEntries(entries);
  listed.clear();
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (IsDirectlyInDat(entries[i]) && IsLeftOutName(entries[i].name)) continue;
    listed.push_back(std::move(entries[i]));
  }
  return true;
}

bool CompareDatWithIndex(const std::vector<ScanEntry>& scan, const QString& indexPath, IndexDrift& drift,
                         QString& message) {
  drift = IndexDrift();
  QList<IndexEntry> entries;
  if (!QFileInfo(indexPath).isFile()) {
    drift.count = static_cast<int>(scan.size()) + 1;
    drift.first = QStringLiteral("\\index.fet");
    return true;
  }
  QString why;
  if (!ReadIndexEntries(indexPath, entries, &why)) {
    message = QStringLiteral("更新定義ファイルを読み込めません。") + CR + Bracketed(indexPath) + CR + why;
    return false;
  }
  const QHash<QString, const IndexEntry*> listed = ByPath(entries);
  QSet<QString> seen;
  for (const ScanEntry& e : scan) {
    const QString path = IndexPathOf(e);
    seen.insert(path);
    const auto it = listed.constFind(path);
    const bool same = it != listed.constEnd() && (*it)->date == e.date && (*it)->attr == e.attr &&
                      SizeValue((*it)->size) == KibField(e.size);
    if (same) continue;
    if (drift.count++ == 0) drift.first = path;
  }
  for (const IndexEntry& e : std::as_const(entries)) {
    if (seen.contains(e.path)) continue;
    seen.insert(e.path);
    if (drift.count++ == 0) drift.first = e.path;
  }
  return true;
}

PublishResult PublishScript(Profile& profile, const ScriptLayout& layout, PublishQuestions& questions,
                            const PublishOptions& options) {
  if (profile.server.trimmed().isEmpty()) return Failed(QStringLiteral("接続先サーバが設定されていません。"));
  const QString datDir = layout.datDir;
  // The script's folders are found without regard to case.
  const QString indexPath =
      ResolveExisting(layout.indexPath).isEmpty() ? layout.indexPath : ResolveExisting(layout.indexPath);
  QString message;

  // DAT as it is now, and whether index.fet still says the same.
  std::vector<ScanEntry> scan;
  if (!ScanListedEntries(datDir, scan, message)) return Failed(message);
  IndexDrift drift;
  if (!CompareDatWithIndex(scan, indexPath, drift, message)) return Failed(message);
  if (drift.count > 0) {
    QString why;
    if (!questions.RewriteStaleIndex(drift.count, drift.first, why)) {
      PublishResult r = Failed(why);
      if (why.isEmpty()) r.status = PublishResult::Cancelled;
      return r;
    }
    if (!ScanListedEntries(datDir, scan, message)) return Failed(message);
    if (!CompareDatWithIndex(scan, indexPath, drift, message)) return Failed(message);
    if (drift.count > 0)
      return Failed(QStringLiteral("更新定義ファイルが DAT の内容と一致しません (%1 件)。").arg(drift.count) + CR +
                    Bracketed(drift.first));
  }

  McWinFTP ftp;
  if (options.configure) options.configure(ftp);
  if (std::optional<PublishResult> stop = ReachServer(ftp, profile, questions, options)) return *stop;
  const QString serverCopy = ServerIndexCopyPath();

  PublishPlan plan;
  QString why;
  if (!ReadIndexEntries(indexPath, plan.shown.local, &why))
    return Failed(QStringLiteral("更新定義ファイルを読み込めません。") + CR + Bracketed(indexPath) + CR + why);
  if (!ReadIndexEntries(serverCopy, plan.shown.server, &why))
    return Failed(QStringLiteral("サーバの更新定義ファイルを読み込めません。") + CR + why);
  std::vector<RemoteEntry> remote;
  if (!ListRemoteTree(ftp, remote, message)) return Failed(message);
  const QString recordPath = PublishRecordPath(PublishRecordDir(), profile);
  const PublishRecord record = ReadPublishRecord(recordPath);

  // What was published before: the entries of the server's index, the
  // files of the record and the folders they lay in.
  QSet<QString> published;
  for (const IndexEntry& e : std::as_const(plan.shown.server)) published.insert(e.path);
  for (auto it = record.files.constBegin(); it != record.files.constEnd(); ++it) {
    published.insert(IndexPathOf(it.key(), false));
    QString rel = it.key();
    for (qsizetype slash = rel.lastIndexOf(QLatin1Char('/')); slash > 0; slash = rel.lastIndexOf(QLatin1Char('/'))) {
      rel = rel.left(slash);
      published.insert(IndexPathOf(rel, true));
    }
  }
  // Temporary files an interrupted run left, by their names before any rename.
  for (const RemoteEntry& r : remote) {
    const QString name = r.path.mid(r.path.lastIndexOf(QLatin1Char('/')) + 1);
    if (!r.dir && IsUploadTempName(name)) plan.leftovers << r.path;
  }
  plan.renames = CaseOnlyRenames(scan, published, remote);

  QHash<QString, const RemoteEntry*> there;
  for (const RemoteEntry& r : remote) there.insert(r.path, &r);
  const auto tmpThere = there.constFind(QStringLiteral("indextmp.fet"));
  const bool tmpOnServer = tmpThere != there.constEnd() && !(*tmpThere)->dir;
  const TwinState tmp = TwinOf(indexPath, LocalFileOf(datDir, QStringLiteral("indextmp.fet")));
  QString tmpNote;
  if (tmp == TwinState::Stale)
    tmpNote = QStringLiteral("DAT の indextmp.fet は index.fet と一致しない古いものなので送信しませんでした。") + CR +
              QStringLiteral("必要なときは「indextmp.fetを作成する」をオンにして更新定義ファイルを作成し直してください。");
  if (tmp != TwinState::Current && tmpOnServer)
    tmpNote += (tmpNote.isEmpty() ? QString() : CR) +
               QStringLiteral("サーバーの indextmp.fet は新しい index.fet と一致しなくなるため削除します。");
  const QHash<QString, const IndexEntry*> serverIndex = ByPath(plan.shown.server);
  const QHash<QString, const IndexEntry*> localIndex = ByPath(plan.shown.local);

  // The plan: folders missing, files changed or missing, what the last
  // publish left that DAT no longer has.
  PublishRecord next;
  QStringList kept;  // newer on the server, and not to be overwritten
  QSet<QString> localPaths;
  std::map<QString, qint64> expected;  // comparison path -> bytes (-1 for a folder)
  for (const ScanEntry& e : scan) {
    const QString path = IndexPathOf(e);
    const QString rel = RelOf(path);
    localPaths.insert(path);
    const bool dir = e.attr == QLatin1String("d");
    const auto found = there.constFind(rel);
    // A published entry of the other kind (a file that became a folder, or
    // the reverse) is among the deletions, which make room for this one
    // first; an entry that was never published stops the run.
    const bool otherKind = found != there.constEnd() && (*found)->dir != dir;
    if (otherKind && !published.contains(IndexPathOf(rel, (*found)->dir)))
      return Failed(QStringLiteral("サーバーの同じ名前の%1が邪魔になって送信できません。")
                        .arg((*found)->dir ? QStringLiteral("フォルダ") : QStringLiteral("ファイル")) +
                    CR + Bracketed(path));
    const auto r = otherKind ? there.constEnd() : found;
    if (dir) {
      expected[path] = -1;
      if (r == there.constEnd()) plan.folders << path;
      continue;
    }
    expected[path] = e.size;
    const QString local = LocalFileOf(datDir, rel);
    PublishedFile now{e.size, e.seconds, QByteArray(), StampOf(local), false};
    bool unchanged = false;
    const auto rec = record.files.constFind(rel);
    if (r != there.constEnd() && (*r)->size == e.size) {
      if (rec != record.files.constEnd()) {
        // Only a stamp taken well after the file's last write vouches for
        // its bytes; otherwise (a write within the same second, a record
        // of an older version) they are read and compared.
        if (rec->settled && rec->size == e.size && now.stamp == rec->stamp) {
          unchanged = true;
          now = *rec;
        } else if (rec->size == e.size) {
          unchanged = HashSteadyFile(local, now) && now.sha256 == rec->sha256;
          if (!unchanged) now.sha256.clear();
        }
      } else {
        // Published before the record was kept: the two indexes must agree.
        const auto s = serverIndex.constFind(path);
        const auto l = localIndex.constFind(path);
        unchanged = s != serverIndex.constEnd() && l != localIndex.constEnd() && (*s)->date == (*l)->date &&
                    (*s)->attr == (*l)->attr && SizeValue((*s)->size) == SizeValue((*l)->size);
      }
    }
    if (unchanged) {
      next.files.insert(rel, now);
      continue;
    }
    // The server's index dates this file later than ours: ask, as the
    // comparison does.
    const auto s = serverIndex.constFind(path);
    const auto l = localIndex.constFind(path);
    if (s != serverIndex.constEnd() && l != localIndex.constEnd() && (*s)->date > (*l)->date &&
        !AskUploadOverNewer(path)) {
      kept << path;
      continue;
    }
    plan.files << path;
    plan.bytes += e.size;
    next.files.insert(rel, now);
  }
  // A file the author keeps as the server has it would make the new
  // index.fet describe content the server does not hold, and the next run
  // would take it for the author's: nothing is sent, and the next run asks
  // again.
  if (!kept.isEmpty()) return Failed(KeptFilesMessage(kept));
  for (const QString& path : std::as_const(published)) {
    if (localPaths.contains(path) || IsIndexFileName(RelOf(path))) continue;
    const auto r = there.constFind(RelOf(path));
    if (r == there.constEnd() || (*r)->dir != path.endsWith(QLatin1Char('\\'))) continue;
    plan.deletions << path;
  }
  SortPathList(plan.folders);
  SortPathList(plan.files);
  SortPathList(plan.deletions);
  plan.shown.uploads = plan.folders + plan.files;
  SortPathList(plan.shown.uploads);
  plan.shown.deletions = plan.deletions;

  PublishResult result;
  result.plan = plan;
  if (!questions.ConfirmPlan(plan)) {
    result.status = PublishResult::Cancelled;
    return result;
  }
  if (options.dryRun) {
    result.status = PublishResult::Previewed;
    result.message = tmpNote;
    return result;
  }

  // Temporary files an interrupted run left: they are ours, and no client
  // looks at them.
  for (const QString& rel : std::as_const(plan.leftovers)) ftp.DeleteFile(rel);

  QHash<QString, const ScanEntry*> scanned;
  for (const ScanEntry& e : scan) scanned.insert(IndexPathOf(e), &e);
  UploadHooks hooks;
  hooks.tmpIndex = tmp == TwinState::Current ? UploadHooks::TmpIndex::SendIfPresent
                  : tmpOnServer                ? UploadHooks::TmpIndex::DeleteOnServer
                                               : UploadHooks::TmpIndex::Skip;
  hooks.progress = [&questions](const UploadProgress& p) { return questions.Progress(p); };
  hooks.asPlanned = [&scanned](const QString& path, qint64 size, qint64 seconds) {
    const auto it = scanned.constFind(path);
    return it != scanned.constEnd() && (*it)->size == size && (*it)->seconds == seconds;
  };
  bool deletionsAgreed = false;
  hooks.confirmDeletions = [&](int count) { return deletionsAgreed = questions.ConfirmDeletions(count); };
  // The index files go out only once the server was seen to hold what they
  // list: a server that stored a file under another name (one that does not
  // keep Shift-JIS names as sent), lost one, or cut one short keeps its old
  // index.fet.
  hooks.checkBeforeIndex = [&](QString& stop) {
    const QString head =
        QStringLiteral("サーバーの内容が送信したものと一致しないため、更新定義ファイルを送信しませんでした。");
    std::vector<RemoteEntry> now;
    QString listError;
    if (!ListRemoteTree(ftp, now, listError)) {
      stop = head + CR + listError;
      if (std::any_of(scan.begin(), scan.end(), [](const ScanEntry& e) { return HasNonAscii(e.name); }))
        stop += CR + NamesNotKeptHint();
      return false;
    }
    const QStringList differences = ServerDifferences(now, expected, {}, {});
    if (differences.isEmpty()) return true;
    stop = head + CR + DifferencesMessage(differences);
    if (std::any_of(differences.begin(), differences.end(), HasNonAscii)) stop += CR + NamesNotKeptHint();
    return false;
  };
  result.upload = UploadChanges(ftp, datDir, plan.folders + plan.files, plan.deletions, hooks, plan.renames);
  if (result.upload.status != UploadOutcome::Done) {
    result.status = result.upload.status == UploadOutcome::Cancelled ? PublishResult::Cancelled : PublishResult::Failed;
    result.message = JoinedLines(tmpNote, UploadOutcomeText(result.upload));
    return result;
  }

  // The record of what the server now holds: for a file sent, what was
  // read and sent; for a file kept, its bytes as long as they are still
  // those the plan saw (a file changed since is left out, so that the next
  // run compares it with the indexes and sends it).
  for (const QString& path : std::as_const(plan.files)) {
    const QString rel = RelOf(path);
    const auto sent = result.upload.sent.constFind(rel);
    if (sent != result.upload.sent.constEnd())
      next.files[rel] = *sent;
    else
      next.files.remove(rel);
  }
  for (auto it = next.files.begin(); it != next.files.end();) {
    if (it->sha256.isEmpty() && !ReadUnchangedFile(LocalFileOf(datDir, it.key()), *it)) it->sha256.clear();
    if (it->sha256.isEmpty())
      it = next.files.erase(it);
    else
      ++it;
  }
  QString recordError;
  const bool recorded = WritePublishRecord(recordPath, profile, next, &recordError);
  KeepServerIndexCopy(datDir.endsWith(QLatin1Char('/')) ? datDir : datDir + QLatin1Char('/'));

  // Proof: the server folder as it is now.
  expected[QStringLiteral("\\index.fet")] = QFileInfo(indexPath).size();
  // Paths the author chose to keep on the server are not expected to be gone.
  QStringList gone;
  if (deletionsAgreed) gone = plan.deletions;
  if (tmp == TwinState::Current)
    expected[QStringLiteral("\\indextmp.fet")] = QFileInfo(LocalFileOf(datDir, QStringLiteral("indextmp.fet"))).size();
  else if (tmpOnServer)
    gone << QStringLiteral("\\indextmp.fet");
  if (!ListRemoteTree(ftp, remote, message)) {
    result.status = PublishResult::Failed;
    result.message = JoinedLines(tmpNote, UploadOutcomeText(result.upload)) + CR + message;
    return result;
  }
  result.differences = ServerDifferences(remote, expected, {}, gone);
  ftp.CloseSession();
  result.message = JoinedLines(tmpNote, UploadOutcomeText(result.upload));
  if (!recorded)
    result.message += CR + QStringLiteral("送信した内容の記録を書き込めませんでした。次回はすべて送り直します。") + CR +
                      recordError;
  if (!result.differences.isEmpty()) {
    result.status = PublishResult::Failed;
    result.message += CR + DifferencesMessage(result.differences);
    return result;
  }
  result.status = PublishResult::Done;
  return result;
}

PublishResult VerifyServer(Profile& profile, const ScriptLayout& layout, PublishQuestions& questions,
                           const PublishOptions& options) {
  Q_UNUSED(layout);
  if (profile.server.trimmed().isEmpty()) return Failed(QStringLiteral("接続先サーバが設定されていません。"));
  McWinFTP ftp;
  if (options.configure) options.configure(ftp);
  QString message;
  if (std::optional<PublishResult> stop = ReachServer(ftp, profile, questions, options)) return *stop;
  const QString serverCopy = ServerIndexCopyPath();
  QList<IndexEntry> entries;
  QString why;
  if (!ReadIndexEntries(serverCopy, entries, &why))
    return Failed(QStringLiteral("サーバの更新定義ファイルを読み込めません。") + CR + why);
  std::vector<RemoteEntry> remote;
  if (!ListRemoteTree(ftp, remote, message)) return Failed(message);
  ftp.CloseSession();
  bool hasIndex = false;
  for (const RemoteEntry& r : remote) hasIndex = hasIndex || (!r.dir && r.path == QLatin1String("index.fet"));
  if (!hasIndex) return Failed(QStringLiteral("サーバーに更新定義ファイル index.fet がありません。"));

  const PublishRecord record = ReadPublishRecord(PublishRecordPath(PublishRecordDir(), profile));
  std::map<QString, qint64> expected;
  QSet<QString> kibOnly;
  QSet<QString> listed;
  for (const IndexEntry& e : std::as_const(entries)) {
    listed.insert(e.path);
    if (e.attr == QLatin1String("d")) {
      expected[e.path] = -1;
      continue;
    }
    // The exact size the last publish sent, where it agrees with the index;
    // otherwise the index's KiB field.
    const auto rec = record.files.constFind(RelOf(e.path));
    if (rec != record.files.constEnd() && KibField(rec->size) == SizeValue(e.size)) {
      expected[e.path] = rec->size;
    } else {
      expected[e.path] = SizeValue(e.size);
      kibOnly.insert(e.path);
    }
  }
  QStringList gone;
  for (auto it = record.files.constBegin(); it != record.files.constEnd(); ++it) {
    const QString path = IndexPathOf(it.key(), false);
    if (!listed.contains(path) && !IsIndexFileName(it.key())) gone << path;
  }
  PublishResult result;
  result.differences = ServerDifferences(remote, expected, kibOnly, gone);
  if (!result.differences.isEmpty()) {
    result.status = PublishResult::Failed;
    result.message = DifferencesMessage(result.differences);
    return result;
  }
  result.status = PublishResult::Done;
  result.message = QStringLiteral("サーバーの内容は更新定義ファイルと一致しています。") + CR +
                   QStringLiteral("フォルダとファイル %1 件を確認しました。").arg(entries.size());
  return result;
}

}  // namespace lm
