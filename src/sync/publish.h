// Publishing a script to its server folder, and checking the server
// afterwards: the one use case behind the main window's upload operation,
// its check menu entry and the commands publish and verify. The front ends
// only answer the questions of PublishQuestions and show the result.
//
// The plan is made from what is really there: the DAT tree scanned now
// (paths, sizes in bytes, times in seconds), the server folder listed level
// by level, and the record of the last successful publish to that folder
// (size, time and SHA-256 of each file), so that a changed file is sent even
// when the minute and KiB fields of index.fet cannot show the change. The
// server's index.fet is fetched and shown beside it. After the upload the
// server folder is listed again and must hold every entry index.fet lists,
// files with their sizes, and nothing that the run deleted.
#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "index/index_writer.h"
#include "profiles/profile.h"
#include "profiles/script_check.h"
#include "sync/check_differ.h"
#include "sync/remote_tree.h"
#include "sync/server_upload.h"
#include "sync/session_trust.h"

namespace lm {

class McWinFTP;

struct PublishPlan {
  QStringList folders;    // "\img\": folders missing on the server
  QStringList files;      // "\img\a.bmp": files to send
  QStringList deletions;  // "\old.txt", "\olddir\": published before, gone from DAT
  QStringList leftovers;  // "img/.a.bmp.lmpart": temporary files of an interrupted run
  // Published entries whose names DAT now spells in another letter case
  // only, renamed on the server before anything is sent.
  QList<CaseRename> renames;
  qint64 bytes = 0;       // of the files to send
  // What the window's four lists show: the entries of the local and of the
  // server's index.fet, and the uploads and deletions above.
  IndexComparison shown;
  // "送信 N 件 (B バイト)　削除 M 件", and "　名前の変更 K 件" when there are renames
  QString TotalsText() const;
};

// The questions a run asks; the window asks the author, the command line
// answers from its options. The questions of trust (a new or changed
// certificate, an unknown host key) come from TrustQuestions.
class PublishQuestions : public TrustQuestions {
 public:
  // The password of the profile's server; false stops the run silently.
  // Empty for SFTP logs in with the user's key or the SSH agent.
  virtual bool Password(const Profile& profile, QString& password) = 0;
  // DAT differs from what index.fet lists (`count` entries, the first in
  // DAT's order named). True once the front end has written index.fet
  // again; false stops the run with the message `why`.
  virtual bool RewriteStaleIndex(int count, const QString& firstPath, QString& why) = 0;
  // The plan; true goes ahead.
  virtual bool ConfirmPlan(const PublishPlan& plan) = 0;
  // Before `count` server entries are deleted; false keeps them.
  virtual bool ConfirmDeletions(int count) = 0;
  // Often while the upload runs; false cancels it.
  virtual bool Progress(const UploadProgress& progress) = 0;
};

struct PublishOptions {
  bool dryRun = false;  // stop after the plan has been shown
  IndexFetchLimits fetch;
  // Settings of the session beyond the profile's (a key file, a known-hosts
  // file, a shorter time limit), applied before it connects.
  std::function<void(McWinFTP&)> configure;
  // "SHA256:..." of one certificate or host key trusted for this run only,
  // without a question and without being kept anywhere.
  QString trustOnce;
};

struct PublishResult {
  enum Status { Done, Previewed, Cancelled, Failed } status = Failed;
  QString message;          // what to tell the author; empty for a silent stop
  UploadOutcome upload;     // the upload's own outcome, when it ran
  QStringList differences;  // what the server's check found wrong
  PublishPlan plan;
  // When the session could not be opened: true, and the certificate
  // ("SHA256:...") or host key the server presented when it was the one
  // refused, so that a front end can say how to trust it.
  bool notConnected = false;
  QString presented;
  bool ok() const { return status == Done || status == Previewed; }
};

// One entry of DAT as the index lists it, and the difference between DAT
// and index.fet: the number of entries that differ and the first of them.
struct IndexDrift {
  int count = 0;
  QString first;
};
bool CompareDatWithIndex(const std::vector<ScanEntry>& scan, const QString& indexPath, IndexDrift& drift,
                         QString& message);

// Scans DAT and keeps what the index lists (the left-out names directly in
// DAT dropped), in the index's order. False with `message` on failure.
bool ScanListedEntries(const QString& datDir, std::vector<ScanEntry>& listed, QString& message);

// The whole publish run. `profile` may gain a trusted certificate.
PublishResult PublishScript(Profile& profile, const ScriptLayout& layout, PublishQuestions& questions,
                            const PublishOptions& options = PublishOptions());

// Checks the server folder against the server's index.fet (and the sizes
// the last publish recorded), without changing anything on the server.
PublishResult VerifyServer(Profile& profile, const ScriptLayout& layout, PublishQuestions& questions,
                           const PublishOptions& options = PublishOptions());

// The folder beside lfup.ini where the records of published files are kept.
QString PublishRecordDir();

}  // namespace lm
