#include "sync/server_upload.h"

#include <algorithm>
#include <set>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QObject>
#include <QSet>

#include "sync/mc_win_ftp.h"
#include "sync/remote_path.h"
#include "sync/remote_tree.h"
#include "sync/safe_names.h"
#include "util/path_resolver.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace lm {
namespace {

// The last error the session raised, for the messages of this module.
class LastError {
 public:
  explicit LastError(McWinFTP& ftp) {
    connection_ = QObject::connect(&ftp, &McWinFTP::FTPFrr, [this](qint32 n, const QString& raised) {
      number = n;
      text = raised;
    });
  }
  ~LastError() { QObject::disconnect(connection_); }
  void Clear() {
    number = 0;
    text.clear();
  }
  qint32 number = 0;
  QString text;

 private:
  QMetaObject::Connection connection_;
};

constexpr qint32 kCancelled = 1223;

// The name a file is sent under before it is renamed into place: ".NAME.lmpart",
// or, where that would pass the 255 bytes a name may have on most file
// systems, "." and a digest of the name, so that the longest names can be
// published too.
QString TempNameFor(const QString& remote) {
  const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));
  const QString name = remote.mid(slash + 1);
  const QString suffix = QStringLiteral(".lmpart");
  QByteArray bytes;
  const qsizetype length = EncodeCp932(name, bytes) ? bytes.size() : name.toUtf8().size();
  if (1 + length + suffix.size() <= 255) return remote.left(slash + 1) + QLatin1Char('.') + name + suffix;
  const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
  return remote.left(slash + 1) + QLatin1Char('.') + QString::fromLatin1(digest) + suffix;
}

QString LocalPathOf(const QString& datDir, const QString& indexPath) {
  QString rel = indexPath;
  rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
  while (rel.startsWith(QLatin1Char('/'))) rel.remove(0, 1);
  QString dir = datDir;
  dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  const QString joined = dir + rel;
  const QString real = ResolveExisting(joined);
  return real.isEmpty() ? joined : real;
}

QString ChangedDuringRunMessage(const QString& indexPath) {
  return QStringLiteral("処理の途中で DAT のファイルが変更されました。もう一度実行してください。") + CR +
         Bracketed(indexPath);
}

bool IsIndexName(const QString& indexPath) {
  return indexPath.compare(QLatin1String("\\index.fet"), Qt::CaseInsensitive) == 0 ||
         indexPath.compare(QLatin1String("\\indextmp.fet"), Qt::CaseInsensitive) == 0;
}

class Uploader {
 public:
  Uploader(McWinFTP& ftp, const UploadHooks& hooks) : ftp_(ftp), hooks_(hooks), error_(ftp) {}

  UploadOutcome Run(const QString& datDir, const QStringList& uploads, const QStringList& deletions,
                    const QList<CaseRename>& renames) {
    // Every path is checked once more before anything is done with it: no
    // entry may reach outside DAT or outside the server folder.
    QStringList renamed;
    for (const CaseRename& r : renames) renamed << r.from << r.to;
    for (const QString& path : uploads + deletions + renamed) {
      if (!IsSafeIndexPath(path))
        return Fail(UnsafeNameMessage(path, QStringLiteral("フォルダの外を指す名前です。"), QString()));
    }
    // What to send: the files of the list, each folder the list names or a
    // file needs, and the index files.
    QStringList files;
    std::set<QString> folders;
    for (const QString& path : uploads) {
      if (IsIndexName(path)) continue;
      QString rel = RemoteRelativePath(path);
      if (path.endsWith(QLatin1Char('\\'))) {
        if (!rel.isEmpty()) folders.insert(rel);
        continue;
      }
      files << path;
      for (qsizetype slash = rel.indexOf(QLatin1Char('/')); slash > 0;
           slash = rel.indexOf(QLatin1Char('/'), slash + 1))
        folders.insert(rel.left(slash));
    }
    QStringList indexFiles{QStringLiteral("\\index.fet")};
    if (hooks_.tmpIndex == UploadHooks::TmpIndex::SendIfPresent &&
        QFileInfo::exists(LocalPathOf(datDir, QStringLiteral("\\indextmp.fet"))))
      indexFiles << QStringLiteral("\\indextmp.fet");
    if (!QFileInfo(LocalPathOf(datDir, indexFiles[0])).isFile())
      return Fail(QStringLiteral("ローカルの更新定義ファイルがありません。") + CR +
                  Bracketed(LocalPathOf(datDir, indexFiles[0])));

    progress_.filesTotal = static_cast<int>(files.size() + indexFiles.size());
    for (const QString& f : files + indexFiles) {
      const QFileInfo info(LocalPathOf(datDir, f));
      if (!info.isFile()) return Fail(QStringLiteral("ファイルが見つかりません。") + CR + Bracketed(info.filePath()));
      progress_.bytesTotal += info.size();
    }
    if (!Report()) return Cancelled();

    // Names whose letter case changed, before anything is sent into them.
    for (const CaseRename& r : renames) {
      error_.Clear();
      const QString from = RemoteRelativePath(r.from);
      const QString to = RemoteRelativePath(r.to);
      if (!ftp_.RenameFile(from, to))
        return Fail(QStringLiteral("サーバーで名前の大文字・小文字を変更できませんでした。") + CR + Bracketed(from) +
                    QStringLiteral(" → ") + Bracketed(to) + CR + error_.text);
      if (!Report()) return Cancelled();
    }

    // Deletions that make room for an entry of the other kind (a published
    // file where a folder is to be made, or a published folder where a file
    // is to be sent) go first, with the author's consent to all deletions.
    QSet<QString> sentFiles, madeFolders;
    for (const QString& u : uploads) {
      if (u.endsWith(QLatin1Char('\\')))
        madeFolders.insert(u.chopped(1));
      else
        sentFiles.insert(u);
    }
    const auto makesRoom = [&](const QString& deletion) {
      const bool folder = deletion.endsWith(QLatin1Char('\\'));
      const QString path = folder ? deletion.chopped(1) : deletion;
      if (folder ? sentFiles.contains(path) : madeFolders.contains(path)) return true;
      // Inside a folder whose path a file takes.
      for (qsizetype i = path.lastIndexOf(QLatin1Char('\\')); i > 0; i = path.lastIndexOf(QLatin1Char('\\'), i - 1))
        if (sentFiles.contains(path.left(i))) return true;
      return false;
    };
    QStringList early, late;
    for (const QString& d : deletions) (makesRoom(d) ? early : late) << d;
    bool agreed = false;
    if (!early.isEmpty()) {
      agreed = hooks_.confirmDeletions && hooks_.confirmDeletions(static_cast<int>(deletions.size()));
      if (agreed) Delete(early);
      if (!agreed || !outcome_.notDeleted.isEmpty())
        return Fail(QStringLiteral("サーバーの古い項目を削除できないため、同じ名前の新しい項目を送信できません。") +
                    CR + Bracketed(agreed ? outcome_.notDeleted.first() : early.first()));
      if (!Report()) return Cancelled();
    }

    // Folders in path order: a parent before its children.
    for (const QString& folder : folders) {
      error_.Clear();
      if (ftp_.DirectoryExists(folder)) continue;
      error_.Clear();
      if (!ftp_.CreateDir(folder) && !ftp_.DirectoryExists(folder))
        return Fail(QStringLiteral("サーバーにフォルダを作成できませんでした。") + CR + Bracketed(folder) + CR + error_.text);
      if (!Report()) return Cancelled();
    }

    for (const QString& f : files)
      if (!Send(LocalPathOf(datDir, f), f)) return Stopped();

    if (early.isEmpty())
      agreed = !deletions.isEmpty() && hooks_.confirmDeletions &&
               hooks_.confirmDeletions(static_cast<int>(deletions.size()));
    if (agreed) Delete(late);
    if (!Report()) return Cancelled();
    QString why;
    if (hooks_.checkBeforeIndex && !hooks_.checkBeforeIndex(why)) return Fail(why);

    if (hooks_.tmpIndex == UploadHooks::TmpIndex::DeleteOnServer) {
      error_.Clear();
      if (!ftp_.DeleteFile(QStringLiteral("indextmp.fet")))
        return Fail(QStringLiteral("サーバーの古い indextmp.fet を削除できないため、更新定義ファイルを送信しませんでした。") +
                    CR + error_.text);
    }
    // The index files last: only now may clients see the new state.
    for (const QString& f : indexFiles)
      if (!Send(LocalPathOf(datDir, f), f)) return Stopped();
    progress_.current.clear();
    Report();  // the last figures; there is nothing left to cancel
    outcome_.status = UploadOutcome::Done;
    return outcome_;
  }

 private:
  bool Report(qint64 extra = 0) {
    if (!hooks_.progress) return true;
    UploadProgress p = progress_;
    p.bytesDone += extra;
    return hooks_.progress(p);
  }

  UploadOutcome Fail(const QString& message) {
    outcome_.status = UploadOutcome::Failed;
    outcome_.message = message;
    return outcome_;
  }
  UploadOutcome Cancelled() {
    outcome_.status = UploadOutcome::Cancelled;
    outcome_.message.clear();
    return outcome_;
  }
  UploadOutcome Stopped() { return cancelled_ ? Cancelled() : outcome_; }

  // One file to a temporary name, its size checked, then renamed into place.
  // The file's state is taken before it is read and checked again once it
  // was sent: only bytes that did not change meanwhile are recorded as
  // what the server holds.
  bool Send(const QString& local, const QString& indexPath) {
    const QString remote = RemoteRelativePath(indexPath);
    const QString temp = TempNameFor(remote);
    const bool indexFile = IsIndexName(indexPath);
    const FileStamp before = StampOf(local);
    if (!before.known()) {
      outcome_.message = QStringLiteral("ファイルが見つかりません。") + CR + Bracketed(local);
      return false;
    }
    const qint64 size = before.size;
    progress_.current = indexPath;
    if (!Report()) return cancelled_ = true, false;
    const qint64 readAt = WallClockNs();
    const QByteArray sha256 = indexFile ? QByteArray() : FileSha256(local);
    if (!indexFile && sha256.isEmpty()) {
      outcome_.message = QStringLiteral("ファイルを読み込めません。") + CR + Bracketed(local);
      return false;
    }
    if (!indexFile && hooks_.asPlanned && !hooks_.asPlanned(indexPath, before.size, before.modifiedSec)) {
      outcome_.message = ChangedDuringRunMessage(indexPath);
      return false;
    }
    ftp_.SetProgressHandler([this](qint64 bytes) { return Report(bytes); });
    error_.Clear();
    const bool sent = ftp_.PutFile(local, temp, 2) != 0;
    ftp_.SetProgressHandler(nullptr);
    if (sent && !(StampOf(local) == before)) {
      ftp_.DeleteFile(temp);
      outcome_.message = ChangedDuringRunMessage(indexPath);
      return false;
    }
    if (!sent) {
      if (error_.number == kCancelled) cancelled_ = true;
      const QString why = error_.text;  // the server's answer to the upload, not to the clean-up
      error_.Clear();
      ftp_.DeleteFile(temp);  // a partial upload is of no use
      if (cancelled_) return false;
      outcome_.message = QStringLiteral("ファイルを送信できませんでした。") + CR + Bracketed(indexPath) + CR + why;
      return false;
    }
    qint64 onServer = -1;
    error_.Clear();
    if (!ftp_.RemoteFileSize(temp, onServer) || onServer != size) {
      const QString why = error_.text;
      ftp_.DeleteFile(temp);
      outcome_.message = QStringLiteral("送信したファイルの大きさがサーバーで一致しません。") + CR +
                         Bracketed(indexPath) + CR +
                         QStringLiteral("ローカル %1 バイト、サーバー %2 バイト").arg(size).arg(onServer) +
                         (why.isEmpty() ? QString() : CR + why);
      return false;
    }
    error_.Clear();
    if (!ftp_.RenameFile(temp, remote) && !RenameAfterFailure(temp, remote, size, indexPath)) return false;
    outcome_.filesSent += 1;
    outcome_.bytesSent += size;
    outcome_.sentOrder << remote;
    if (!indexFile)
      outcome_.sent.insert(remote,
                           PublishedFile{size, before.modifiedSec, sha256, before, SettledStamp(before, readAt)});
    progress_.filesDone += 1;
    progress_.bytesDone += size;
    return true;
  }

  // What the folder holds now: whether the temporary file is still there,
  // and the target's size (-1 when it is absent). False when the folder
  // cannot be listed.
  bool Look(const QString& temp, const QString& remote, bool& tempThere, qint64& targetSize) {
    const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QString() : remote.left(slash);
    const QString tempName = temp.mid(temp.lastIndexOf(QLatin1Char('/')) + 1);
    const QString targetName = remote.mid(slash + 1);
    tempThere = false;
    targetSize = -1;
    error_.Clear();
    ftp_.FindFile(folder);
    for (; !ftp_.RemoteFile().SearchEnd; ftp_.NextFile()) {
      const FTPFile& f = ftp_.RemoteFile();
      if (f.FileName == tempName) tempThere = true;
      if (f.FileName == targetName && f.FileType != 16) targetSize = static_cast<qint64>(f.FileSize);
    }
    return error_.number == 0;
  }

  // The rename's reply was a refusal or never came: the folder's listing
  // tells what happened. A target that may just have been renamed into
  // place is never deleted; only while the temporary file is still there
  // (so the rename certainly did not happen) is an old target removed for
  // servers that do not rename over an existing file.
  bool RenameAfterFailure(const QString& temp, const QString& remote, qint64 size, const QString& indexPath) {
    const QString first = error_.text;
    bool tempThere = false;
    qint64 targetSize = -1;
    if (!Look(temp, remote, tempThere, targetSize)) {
      outcome_.message = QStringLiteral("サーバーでファイル名を変更できたかどうか確認できませんでした。") + CR +
                         Bracketed(indexPath) + CR + first + CR +
                         QStringLiteral("送信したファイルは『%1』として残っているか、すでに置き換わっています。").arg(temp);
      if (IsIndexName(indexPath)) outcome_.serverState = ServerIndexUnknown();
      return false;
    }
    if (!tempThere && targetSize == size) return true;  // the server did rename it; only the reply was lost
    if (!tempThere) {
      outcome_.message = QStringLiteral("送信したファイルがサーバーで見つかりません。") + CR + Bracketed(indexPath) +
                         CR + first;
      return false;
    }
    if (targetSize >= 0) {
      error_.Clear();
      if (!ftp_.DeleteFile(remote)) {
        outcome_.message = QStringLiteral("サーバーでファイル名を変更できませんでした。") + CR + Bracketed(indexPath) +
                           CR + first + CR + error_.text;
        return false;
      }
    }
    error_.Clear();
    if (ftp_.RenameFile(temp, remote)) return true;
    const QString second = error_.text;
    if (Look(temp, remote, tempThere, targetSize) && !tempThere && targetSize == size) return true;
    outcome_.message = QStringLiteral("サーバーでファイル名を変更できませんでした。") + CR + Bracketed(indexPath) + CR +
                       second;
    if (targetSize < 0)
      outcome_.message += CR + QStringLiteral("古い『%1』はサーバーから削除され、新しい内容は『%2』にあります。")
                                   .arg(remote, temp);
    if (IsIndexName(indexPath) && targetSize < 0) outcome_.serverState = ServerIndexRemoved();
    return false;
  }

  static QString ServerIndexUnknown() {
    return QStringLiteral("サーバーの更新定義ファイルが新しいものに置き換わったかどうかは確認できませんでした。");
  }
  static QString ServerIndexRemoved() {
    return QStringLiteral("サーバーの更新定義ファイルは削除されたままです。もう一度実行してください。");
  }

  void Delete(const QStringList& deletions) {
    // Files first, then folders from the deepest up, so each is empty by then.
    QStringList files, folders;
    for (const QString& d : deletions) (d.endsWith(QLatin1Char('\\')) ? folders : files) << d;
    std::sort(folders.begin(), folders.end(),
              [](const QString& a, const QString& b) { return a.count(QLatin1Char('\\')) > b.count(QLatin1Char('\\')); });
    for (const QString& f : files + folders) {
      if (IsIndexName(f)) continue;
      const QString remote = RemoteRelativePath(f);
      error_.Clear();
      const bool ok = f.endsWith(QLatin1Char('\\')) ? ftp_.RemoveDir(remote) != 0 : ftp_.DeleteFile(remote) != 0;
      if (ok) outcome_.deleted += 1;
      else outcome_.notDeleted << f;
    }
  }

  McWinFTP& ftp_;
  const UploadHooks& hooks_;
  LastError error_;
  UploadProgress progress_;
  UploadOutcome outcome_;
  bool cancelled_ = false;
};

}  // namespace

QString RemoteRelativePath(const QString& indexPath) {
  QString rel = indexPath;
  rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
  while (rel.startsWith(QLatin1Char('/'))) rel.remove(0, 1);
  while (rel.endsWith(QLatin1Char('/'))) rel.chop(1);
  return rel;
}

bool OpenProfileSession(McWinFTP& ftp, const Profile& profile, const QString& password, QString& message) {
  RemoteServer server;
  QString why;
  if (!ParseServerText(profile.server, server, &why)) {
    message = QStringLiteral("接続先サーバの指定が正しくありません。") + CR + why;
    return false;
  }
  LastError error(ftp);
  ftp.SetRemoteHost(profile.server.trimmed());
  ftp.SetUser(profile.userid.trimmed());
  ftp.SetPassword(password);
  ftp.SetPassiveFlag(true);
  ftp.SetTrustedCertificate(profile.servercert.trimmed());
  ftp.OpenSession();
  if (ftp.hFTP() == 0) {
    message = QStringLiteral("サーバーに接続できませんでした。") + CR + error.text;
    return false;
  }
  return true;
}

bool EnterServerFolder(McWinFTP& ftp, const QString& dirserver, QString& message) {
  LastError error(ftp);
  QString folder = dirserver.trimmed();
  folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (folder.isEmpty()) return true;
  // An absolute folder is taken from the server's root; "//" survives the
  // one leading separator that the directory property removes.
  const bool absolute = folder.startsWith(QLatin1Char('/'));
  const QString target = absolute ? JoinRemotePath(QStringLiteral("/"), folder)
                                  : JoinRemotePath(ftp.CurDir(), folder);
  if (!ftp.DirectoryExists(target)) {
    // Create the missing levels one by one.
    QString path;
    for (const QString& part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
      path += QLatin1Char('/') + part;
      error.Clear();
      if (ftp.DirectoryExists(path)) continue;
      error.Clear();
      if (!ftp.CreateDir(path)) {
        message = QStringLiteral("サーバーに送信先ディレクトリを作成できませんでした。") + CR + Bracketed(path) + CR +
                  error.text;
        return false;
      }
    }
  }
  error.Clear();
  ftp.SetCurDir(QLatin1Char('/') + target);
  if (error.number != 0 || ftp.CurDir() != target) {
    message = QStringLiteral("送信先ディレクトリに移動できませんでした。") + CR + Bracketed(dirserver) + CR + error.text;
    return false;
  }
  return true;
}

void RemoveStaleIndexDownloads(const QString& copyPath, int olderThanSeconds) {
  const QFileInfo copy(copyPath);
  QDir dir = copy.absoluteDir();
  const QString prefix = QLatin1Char('.') + copy.fileName() + QStringLiteral(".part.");
  const QDateTime limit = QDateTime::currentDateTimeUtc().addSecs(-olderThanSeconds);
  for (const QFileInfo& f : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
    if (!f.fileName().startsWith(prefix)) continue;
    if (f.lastModified().toUTC() <= limit) QFile::remove(f.absoluteFilePath());
  }
}

bool FetchServerIndex(McWinFTP& ftp, const QString& copyPath, QString& message, const IndexFetchLimits& limits) {
  // Downloads that a killed run left behind; a running one is younger than
  // the deadline that bounds it.
  RemoveStaleIndexDownloads(copyPath, limits.deadlineSeconds + 60);
  LastError error(ftp);
  QElapsedTimer clock;
  clock.start();
  enum class Stop { None, TooLarge, TooSlow } stop = Stop::None;
  ftp.SetProgressHandler([&](qint64 bytes) {
    if (bytes > limits.maxBytes) stop = Stop::TooLarge;
    else if (clock.elapsed() > qint64(limits.deadlineSeconds) * 1000) stop = Stop::TooSlow;
    return stop == Stop::None;
  });
  const bool got = ftp.GetFile(QStringLiteral("index.fet"), copyPath, false, 2) != 0;
  ftp.SetProgressHandler(nullptr);
  if (got) return true;
  const QString head = QStringLiteral("サーバの更新定義ファイルを受信できませんでした。") + CR;
  if (stop == Stop::TooLarge) {
    message = head + QStringLiteral("%1 バイトを超えたため中止しました。").arg(limits.maxBytes);
    return false;
  }
  if (stop == Stop::TooSlow) {
    message = head + QStringLiteral("%1 秒以内に終わらなかったため中止しました。").arg(limits.deadlineSeconds);
    return false;
  }
  const qint32 number = error.number;
  const QString why = error.text;
  // Only the server's "no such file" means that nothing has been published
  // yet: FTP answers 550, SFTP reports the refusal without a code. Even
  // then the folder's listing must show no index.fet. Any other failure
  // (a broken connection, TLS, a time-out, a full disk) stops the run.
  const bool sftp = ftp.RemoteHost().trimmed().startsWith(QLatin1String("sftp://"), Qt::CaseInsensitive);
  const bool noSuchFile =
      (number == 12003 && (sftp || why.startsWith(QLatin1String("550")))) || number == 2;
  if (!noSuchFile) {
    message = head + why;
    return false;
  }
  error.Clear();
  bool listed = false;
  ftp.FindFile(QString());
  for (; !ftp.RemoteFile().SearchEnd; ftp.NextFile())
    if (ftp.RemoteFile().FileName == QLatin1String("index.fet")) listed = true;
  if (error.number != 0 || listed) {
    message = head + why + (error.number != 0 ? CR + error.text : QString());
    return false;
  }
  FileError writeError;
  if (WriteFileAtomically(copyPath, QByteArray(), &writeError)) return true;
  message = QStringLiteral("サーバの更新定義ファイルの写しを書き込めません。") + CR + Bracketed(copyPath);
  return false;
}

UploadOutcome UploadChanges(McWinFTP& ftp, const QString& datDir, const QStringList& uploads,
                            const QStringList& deletions, const UploadHooks& hooks, const QList<CaseRename>& renames) {
  Uploader uploader(ftp, hooks);
  return uploader.Run(datDir, uploads, deletions, renames);
}

}  // namespace lm
