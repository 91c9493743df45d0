// compare and publish: the comparison of the local index with the server's,
// and the upload of what it found.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include <QFileInfo>

#include "profiles/password_keyring.h"
#include "profiles/profile_store.h"
#include "shell/cli/command_line.h"
#include "shell/cli/commands.h"
#include "shell/cli/interrupt_cancel.h"
#include "shell/cli/progress_line.h"
#include "sync/check_differ.h"
#include "sync/http_check.h"
#include "profiles/script_check.h"
#include "sync/curl_ftp_session.h"
#include "sync/publish.h"
#include "sync/session_trust.h"
#include "sync/upload_report.h"
#include "util/message_box.h"
#include "util/visible.h"

namespace lm::cli {
namespace {

// The two lists as the result window captions them, one path a line; names
// from a server are shown with their control characters escaped.
void PrintLists(const QStringList& uploads, const QStringList& deletions) {
  QString text = QStringLiteral("追加ファイル一覧 (%1)").arg(uploads.size());
  for (const QString& path : uploads) text += QLatin1Char('\n') + Visible(path);
  text += QLatin1Char('\n') + QStringLiteral("削除対象一覧 (%1)").arg(deletions.size());
  for (const QString& path : deletions) text += QLatin1Char('\n') + Visible(path);
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

// The command line's answers: nothing is asked of the keyboard. A host key
// or certificate that is not trusted yet is refused, so an unattended run
// never trusts a stranger; --trust SHA256:... trusts the one named for this
// run only (the refusal names the value to pass). Questions are answered
// by --yes.
class CommandQuestions final : public PublishQuestions {
 public:
  explicit CommandQuestions(CommandContext& ctx) : ctx_(ctx) {}

  bool Password(const Profile& profile, QString& password) override {
    if (!PasswordFor(ctx_, profile, password)) return false;
    keyLogin_ = password.isEmpty() && LogsInWithKey(profile);
    return true;
  }
  // True when the session was to log in with the user's key or the agent.
  bool KeyLogin() const { return keyLogin_; }

  bool TrustNewCertificate(const QString&) override { return false; }
  bool TrustChangedCertificate(const QString&, const QString&) override { return false; }
  bool TrustNewHostKey(const QString&, const QString&) override { return false; }

  bool RewriteStaleIndex(int count, const QString& firstPath, QString& why) override {
    if (!ctx_.args.isSet(QStringLiteral("reindex"))) {
      why = QStringLiteral("更新定義ファイルが DAT の内容と一致しません (%1 件、最初は%2)。").arg(count).arg(Bracketed(Visible(firstPath))) +
            CR + QStringLiteral("--reindex --next \"年 月 日 時 分\" を指定すると、index.fet を作成してから送信します。");
      return false;
    }
    if (WriteIndexFromArguments(ctx_) == kSuccess) return true;
    why = QStringLiteral("更新定義ファイルを作成できませんでした。");
    return false;
  }

  bool ConfirmPlan(const PublishPlan& plan) override {
    ctx_.sink.Flush(true);  // the questions so far and their answers
    PrintLists(plan.shown.uploads, plan.shown.deletions);
    PrintMessage(stdout, plan.TotalsText(), false);
    if (ctx_.args.isSet(QStringLiteral("dry-run"))) return true;
    return MsgBox(plan.TotalsText() + CR + QStringLiteral("アップロードしますか？"), style::YesNoQuestion) == button::Yes;
  }

  bool ConfirmDeletions(int count) override {
    return MsgBox(DeletionQuestion(count), style::YesNoQuestion) == button::Yes;
  }

  bool Progress(const UploadProgress& p) override {
    if (!line_) line_ = std::make_unique<ProgressLine>();
    line_->Show(QStringLiteral("%1 (%2 / %3)").arg(Visible(p.current), ByteCountText(p.bytesDone), ByteCountText(p.bytesTotal)),
                p.filesDone, p.filesTotal);
    return !CancelOnInterrupt::Interrupted();
  }

  void EndProgress() { line_.reset(); }

 private:
  CommandContext& ctx_;
  std::unique_ptr<ProgressLine> line_;
  bool keyLogin_ = false;
};

// A usage error when --trust names no fingerprint; kSuccess otherwise.
int CheckTrustOption(const CommandContext& ctx) {
  if (!ctx.args.isSet(QStringLiteral("trust"))) return kSuccess;
  if (!FingerprintBytes(ctx.args.value(QStringLiteral("trust"))).isEmpty()) return kSuccess;
  return UsageError(QStringLiteral("--trust には SHA256: に続けて証明書かホスト鍵の指紋 (16 進 64 桁または base64) を指定してください。"));
}

// What to do about a session that did not open: the fingerprint to pass to
// --trust, or a password when the key did not log in.
QString SessionHint(const PublishResult& result, const CommandQuestions& questions) {
  if (!result.notConnected) return QString();
  if (!result.presented.isEmpty())
    return QStringLiteral("確かめたうえでこの実行に限り信頼するには --trust %1 を指定してください。").arg(result.presented);
  if (questions.KeyLogin())
    return QStringLiteral("鍵でログインできないときは --password-stdin でパスワードを渡してください。");
  return QString();
}

// Runs publish or verify for the profile of --profile.
int RunServerCommand(CommandContext& ctx, bool publish) {
  if (ctx.args.isSet(QStringLiteral("reindex")) && !ctx.args.isSet(QStringLiteral("next")))
    return UsageError(QStringLiteral("--reindex には --next で次回更新予定日時を指定してください。"));
  if (const int rc = ChooseProfile(ctx, false); rc != kSuccess) return rc;
  // ChooseProfile made a profile in use the current one.
  Profile profile = *CurrentProfile();
  if (profile.server.trimmed().isEmpty()) return Failure(ctx, QStringLiteral("接続先サーバが設定されていません。"));
  if (const int rc = CheckTrustOption(ctx); rc != kSuccess) return rc;
  ScriptLayout layout;
  QString message;
  CheckScriptLayout(profile.ugu, layout, message);

  CommandQuestions questions(ctx);
  PublishResult result;
  {
    CancelOnInterrupt interrupt;
    PublishOptions options;
    options.dryRun = ctx.args.isSet(QStringLiteral("dry-run"));
    options.trustOnce = ctx.args.value(QStringLiteral("trust"));
    result = publish ? PublishScript(profile, layout, questions, options) : VerifyServer(profile, layout, questions, options);
    questions.EndProgress();
  }
  const bool ok = result.ok() && !ctx.sink.QuestionRefused();
  QString said = result.message;
  if (const QString hint = SessionHint(result, questions); !hint.isEmpty())
    said += (said.isEmpty() ? QString() : CR) + hint;
  if (!said.isEmpty()) ctx.sink.Add(said);
  ctx.sink.Flush(ok);
  return ok ? kSuccess : kFailed;
}

// verify --url: the script as its users download it. Only HTTP is asked
// (no FTP login, so no password); the profile names the script whose own
// index.fet is compared with the served one.
int RunHttpVerify(CommandContext& ctx) {
  const QString url = ctx.args.value(QStringLiteral("url")).trimmed();
  QString why;
  if (ctx.args.isSet(QStringLiteral("trust")))
    return UsageError(QStringLiteral("--trust は --url と一緒には使えません (HTTPS の証明書はシステムの認証局で確認します)。"));
  if (!IsUsableBaseUrl(url, &why))
    return UsageError(QStringLiteral("--url が正しくありません: ") + Bracketed(Visible(url)) + CR + why);
  if (const int rc = ChooseProfile(ctx, false); rc != kSuccess) return rc;
  const Profile profile = *CurrentProfile();
  ScriptLayout layout;
  QString message;
  if (CheckScriptLayout(profile.ugu, layout, message) != 0) return Failure(ctx, message);

  HttpCheckOptions options;
  std::unique_ptr<ProgressLine> line;
  options.progress = [&line](int done, int total, const QString& path) {
    if (!line) line = std::make_unique<ProgressLine>();
    line->Show(Visible(path), done, total);
    return !CancelOnInterrupt::Interrupted();
  };
  HttpCheckResult result;
  {
    CancelOnInterrupt interrupt;
    result = CheckServerOverHttp(HttpCheckInput{url, layout.indexPath, layout.datDir}, options);
    line.reset();
  }
  if (!result.completed) return Failure(ctx, result.message);
  if (!result.differences.isEmpty()) {
    return Failure(ctx, QStringLiteral("サーバの内容が index.fet と一致しません (%1 件)。").arg(result.differences.size()) +
                            CR + result.differences.join(CR));
  }
  ctx.sink.Add(QStringLiteral("%1 個のファイルがすべて index.fet のとおりに公開されています。").arg(result.filesChecked));
  ctx.sink.Flush(true);
  return kSuccess;
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
  PrintLists(uploadList, deleteList);
  return kSuccess;
}

int RunPublishCommand(CommandContext& ctx) { return RunServerCommand(ctx, true); }

int RunVerifyCommand(CommandContext& ctx) {
  if (ctx.args.isSet(QStringLiteral("url"))) return RunHttpVerify(ctx);
  return RunServerCommand(ctx, false);
}

}  // namespace lm::cli
