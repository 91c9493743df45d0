// Publishing a script's DAT tree to the server: the work behind the main
// window's upload operation, free of windows so that other front ends can
// drive it too.
//
// The order keeps the server consistent for its clients at every moment:
// missing folders first, then every changed file under a temporary name that
// is renamed into place once its size on the server is right, then the
// deletions the author confirmed, and the update definition files last. A
// run that is cancelled or fails before the end leaves the server's
// index.fet as it was, so clients keep seeing a consistent old state, and
// the next run finishes the job.
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "profiles/profile.h"
#include "sync/publish_record.h"

namespace lm {

class McWinFTP;

struct UploadProgress {
  int filesDone = 0;
  int filesTotal = 0;
  qint64 bytesDone = 0;
  qint64 bytesTotal = 0;
  QString current;  // the file being sent, as its path below DAT
};

struct UploadHooks {
  // Called often while the run goes on; false cancels it.
  std::function<bool(const UploadProgress&)> progress;
  // Asked once before `count` server entries are deleted; false keeps them.
  std::function<bool(int count)> confirmDeletions;
  // Asked before each file of the list is sent, with its size in bytes and
  // last-write time in seconds as they are now: false when that is not the
  // file the plan (and index.fet) saw, which stops the run before the index
  // files are sent.
  std::function<bool(const QString& indexPath, qint64 size, qint64 seconds)> asPlanned;
  // Asked once the files were sent and the deletions made, before the index
  // files: false, with the reason in `why`, stops the run there and leaves
  // the server's index files as they were.
  std::function<bool(QString& why)> checkBeforeIndex;
  // What becomes of indextmp.fet: sent after index.fet when DAT holds one;
  // not sent; or not sent and the server's one deleted before index.fet is
  // sent, since it would describe an older index.fet (a failed deletion
  // stops the run with the server's index files as they were).
  enum class TmpIndex { SendIfPresent, Skip, DeleteOnServer } tmpIndex = TmpIndex::SendIfPresent;
};

struct UploadOutcome {
  enum Status { Done, Cancelled, Failed } status = Failed;
  QString message;         // why it failed; empty when done
  int filesSent = 0;       // index files included
  qint64 bytesSent = 0;
  int deleted = 0;
  QStringList notDeleted;  // server entries whose deletion the server refused
  QStringList sentOrder;   // remote paths in the order they were put in place
  // What each file of the list that reached the server held, by its path
  // below DAT ("img/a.bmp"): the size, the last-write time and the SHA-256
  // of the bytes sent. The file did not change while it was read and sent.
  QHash<QString, PublishedFile> sent;
  // What is true of the server's index.fet when the run failed and it is not
  // the old one any more (or may not be); empty when it is unchanged.
  QString serverState;
};

// Opens `ftp` with the profile's server, user and the given password.
// False with a message when the server text is bad or the login fails.
bool OpenProfileSession(McWinFTP& ftp, const Profile& profile, const QString& password, QString& message);

// Makes the profile's server folder the session's current directory,
// creating it (and its missing parents) when needed.
bool EnterServerFolder(McWinFTP& ftp, const QString& dirserver, QString& message);

// Bounds of the server index download: its size and the whole time it may
// take (the session's stall limit applies as well).
struct IndexFetchLimits {
  qint64 maxBytes = 32 * 1024 * 1024;
  int deadlineSeconds = 120;
};

// Fetches the server's index.fet (from the current directory) into
// `copyPath`. Only a server that answers "no such file" and whose folder
// listing holds no index.fet has none: it gets an empty copy (everything is
// new). Any other failure is reported in `message`. Downloads left by a
// killed run beside `copyPath` are removed first.
bool FetchServerIndex(McWinFTP& ftp, const QString& copyPath, QString& message,
                      const IndexFetchLimits& limits = IndexFetchLimits());

// Removes the temporary downloads of the server index (".indexserver.fet.part.*"
// beside `copyPath`) that are older than `olderThanSeconds`.
void RemoveStaleIndexDownloads(const QString& copyPath, int olderThanSeconds);

// A server entry renamed to a name that differs in letter case only
// (comparison paths: "\IMG\" to "\img\", "\Readme.txt" to "\readme.txt").
struct CaseRename {
  QString from;
  QString to;
  bool operator==(const CaseRename& o) const { return from == o.from && to == o.to; }
};

// Renames the entries of `renames` in their order, sends the entries of
// `uploads` from `datDir` (paths as the comparison gives them: "\img\",
// "\img\a.bmp"), deletes those of `deletions` when the hook agrees, and
// sends datDir's index.fet and, when present, indextmp.fet last.
UploadOutcome UploadChanges(McWinFTP& ftp, const QString& datDir, const QStringList& uploads,
                            const QStringList& deletions, const UploadHooks& hooks,
                            const QList<CaseRename>& renames = {});

// The remote path of a comparison path: "\img\a.bmp" gives "img/a.bmp".
QString RemoteRelativePath(const QString& indexPath);

}  // namespace lm
