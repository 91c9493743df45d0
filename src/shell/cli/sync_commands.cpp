// compare and publish: the comparison of the local index with the server's,
// and the upload of what it found.
#include <unistd.h>

#include <cstdio>
#include <string>

#include <QFileInfo>

#include "profiles/password_keyring.h"
#include "profiles/profile_store.h"
#include "shell/cli/command_line.h"
#include "shell/cli/commands.h"
#include "shell/cli/interrupt_cancel.h"
#include "shell/cli/progress_line.h"
#include "sync/check_differ.h"
#include "sync/curl_ftp_session.h"
#include "sync/mc_win_ftp.h"
#include "sync/server_upload.h"
#include "sync/session_trust.h"
#include "sync/upload_report.h"
#include "util/message_box.h"

namespace lm::cli {
namespace {

// The two lists as the result window captions them, one path a line.
void PrintLists() {
  QString text = QStringLiteral("追加ファイル一覧 (%1)").arg(uploadList.size());
  for (const QString& path : std::as_const(uploadList)) text += QLatin1Char('\n') + path;
  text += QLatin1Char('\n') + QStringLiteral("削除対象一覧 (%1)").arg(deleteList.size());
  for (const QString& path : std::as_const(deleteList)) text += QLatin1Char('\n') + path;
  PrintMessage(stdout, text, false);
}

// The password: read from standard input with --password-stdin, else the
// profile's own or the keyring's. False (after the message) when there is none.
bool PasswordFor(CommandContext& ctx, const Profile& profile, QString& password) {
  if (ctx.args.isSet(QStringLiteral("password-stdin"))) {
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    password = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    if (password.endsWith(QLatin1Char('\r'))) password.chop(1);
    return true;
  }
  password = profile.password.trimmed();
  if (!password.isEmpty()) return true;
  QString why;
  if (profile.keyring == QLatin1String("1")) {
    if (ReadPasswordFromKeyring(KeyringAccount(profile), password, &why) == KeyringStatus::Ok) return true;
    // SFTP goes on with the key; the keyring's trouble is said only when
    // that fails as well.
    if (!LogsInWithKey(profile)) ctx.sink.Add(QStringLiteral("キーリングからパスワードを読み出せませんでした。") + CR + why);
  }
  // SFTP without a password: the user's key or the SSH agent logs in.
  password.clear();
  if (LogsInWithKey(profile)) return true;
  ctx.sink.Add(QStringLiteral("『%1』のパスワードがありません。").arg(profile.server.trimmed()) + CR +
               QStringLiteral("--password-stdin を指定すると標準入力の1行目をパスワードとして使います。"));
  return false;
}

// The command line asks nothing: a certificate or host key that is not
// trusted yet is refused (an unattended run never trusts a stranger), and
// --trust SHA256:... trusts the one named for this run only.
class RefusingTrustQuestions final : public TrustQuestions {
 public:
  bool TrustNewCertificate(const QString&) override { return false; }
  bool TrustChangedCertificate(const QString&, const QString&) override { return false; }
  bool TrustNewHostKey(const QString&, const QString&) override { return false; }
};

bool Connect(CommandContext& ctx, McWinFTP& ftp, const Profile& profile, const QString& password, QString& message) {
  ftp.SetTrustOnce(ctx.args.value(QStringLiteral("trust")));
  Profile used = profile;
  RefusingTrustQuestions questions;
  if (OpenTrustedSession(ftp, used, password, questions, message)) return true;
  const QString presented =
      !ftp.PresentedCertificate().isEmpty() ? QStringLiteral("SHA256:") + ftp.PresentedCertificate() : ftp.PresentedHostKey();
  if (!presented.isEmpty())
    message += CR + QStringLiteral("確かめたうえでこの実行に限り信頼するには --trust %1 を指定してください。").arg(presented);
  else if (password.isEmpty() && LogsInWithKey(profile))
    message += CR + QStringLiteral("鍵でログインできないときは --password-stdin でパスワードを渡してください。");
  return false;
}

// A usage error when --trust names no fingerprint; kSuccess otherwise.
int CheckTrustOption(const CommandContext& ctx) {
  if (!ctx.args.isSet(QStringLiteral("trust"))) return kSuccess;
  if (!FingerprintBytes(ctx.args.value(QStringLiteral("trust"))).isEmpty()) return kSuccess;
  return UsageError(QStringLiteral("--trust には SHA256: に続けて証明書かホスト鍵の指紋 (16 進 64 桁または base64) を指定してください。"));
}

}  // namespace

int RunCompareCommand(CommandContext& ctx) {
  if (const int rc = ChooseProfile(ctx, true); rc != kSuccess) return rc;
  int16_t status = 0;
  if (ctx.args.isSet(QStringLiteral("server-index"))) {
    const QString server = QFileInfo(ctx.args.value(QStringLiteral("server-index"))).absoluteFilePath();
    if (CompareIndexFiles(CurrentProfileIndexPath(), server) != 0) {
      MsgBox(QStringLiteral("更新定義ファイルが存在しません。"), style::OkOnly, kAppTitle);
      status = -9;
    }
  } else {
    status = CompareCurrentProfile();
  }
  const bool ok = status == 0 && !ctx.sink.QuestionRefused();
  ctx.sink.Flush(ok);
  if (!ok) return kFailed;
  PrintLists();
  return kSuccess;
}

int RunPublishCommand(CommandContext& ctx) {
  if (const int rc = ChooseProfile(ctx, false); rc != kSuccess) return rc;
  const Profile profile = profileTable[static_cast<size_t>(currentProfile)];
  if (profile.server.trimmed().isEmpty()) return Failure(ctx, QStringLiteral("接続先サーバが設定されていません。"));
  if (const int rc = CheckTrustOption(ctx); rc != kSuccess) return rc;
  QString password;
  if (!PasswordFor(ctx, profile, password)) {
    ctx.sink.Flush(false);
    return kFailed;
  }

  McWinFTP ftp;
  QString message;
  if (!Connect(ctx, ftp, profile, password, message) || !EnterServerFolder(ftp, profile.dirserver, message) ||
      !FetchServerIndex(ftp, ServerIndexCopyPath(), message))
    return Failure(ctx, message);
  if (CompareCurrentProfile() != 0 || ctx.sink.QuestionRefused()) {
    ctx.sink.Flush(false);
    return kFailed;
  }

  const QString datDir = DatDirOfCurrentProfile();
  const QString totals = UploadTotalsText(datDir);
  ctx.sink.Flush(true);  // the comparison's questions and their answers
  PrintLists();
  PrintMessage(stdout, totals, false);
  if (ctx.args.isSet(QStringLiteral("dry-run"))) return kSuccess;
  if (MsgBox(totals + CR + QStringLiteral("アップロードしますか？"), style::YesNoQuestion) != button::Yes) {
    ctx.sink.Flush(false);
    return kFailed;
  }

  UploadOutcome outcome;
  {
    UploadHooks hooks;
    ProgressLine line;
    CancelOnInterrupt interrupt;
      hooks.progress = [&line](const UploadProgress& p) {
      line.Show(QStringLiteral("%1 (%2 / %3)").arg(p.current, ByteCountText(p.bytesDone), ByteCountText(p.bytesTotal)),
                p.filesDone, p.filesTotal);
      return !CancelOnInterrupt::Interrupted();
    };
    hooks.confirmDeletions = [](int count) {
      return MsgBox(DeletionQuestion(count), style::YesNoQuestion) == button::Yes;
    };
    outcome = UploadChanges(ftp, datDir, uploadList, deleteList, hooks);
  }
  ftp.CloseSession();
  if (outcome.status == UploadOutcome::Done) KeepServerIndexCopy(datDir);
  ctx.sink.Add(UploadOutcomeText(outcome));
  const bool ok = outcome.status == UploadOutcome::Done;
  ctx.sink.Flush(ok);
  return ok ? kSuccess : kFailed;
}

}  // namespace lm::cli
