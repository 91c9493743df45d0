// compare and publish: the comparison with a server's index (its questions
// answered by --yes or refused), and the upload to a real FTP server on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <filesystem>

#include <QDate>
#include <QDeadlineTimer>
#include <QProcess>
#include <QDir>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>


#include "cli/cli_fixture.h"
#include "sync/ftp_test_server.h"
#include "sync/file_bytes.h"
#include "sync/port_printing_server.h"
#include "sync/ssh_test_server.h"
#include "sync/test_certificate.h"
#include "sync/vsftpd_test_server.h"

namespace {

using clitest::CommandLineTest;

QString Future() { return QString::number(QDate::currentDate().year() + 1) + QStringLiteral(" 4 1 9 0"); }

class SyncCommands : public CommandLineTest {
 protected:
  void WriteIndex() {
    const clitest::Result r = Loftmark({"index", "--script", "scripts/Sample.ugu", "--next", Future()});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
  }

  // The local index with readme.txt missing, mio00.euu newer and an entry
  // the script no longer has.
  QByteArray ServerIndex() {
    QByteArray server;
    for (const QByteArray& line : tree.ReadFile("scripts/Sample/DAT/index.fet").split('\n')) {
      if (line.isEmpty() || line.contains("readme.txt")) continue;
      server += line.contains("+mio00.euu") ? QByteArray("209912312359f00000+mio00.euu\r") : line;
      server += '\n';
    }
    return server + "209912312359f00001+old.txt\r\n";
  }
};

TEST_F(SyncCommands, CompareListsUploadsAndDeletionsAndAsksAboutNewerServerFiles) {
  WriteIndex();
  const QString question = QStringLiteral("mio00.euu");
  struct Case {
    QStringList args;
    const char* serverFile;  // where the server's index lies
  } cases[] = {
      {{"compare", "--script", "scripts/Sample.ugu", "--server-index", "server.fet"}, "server.fet"},
      {{"compare", "--script", "scripts/Sample.ugu"}, "bin/indexserver.fet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serverFile);
    tree.WriteFile(QString::fromLatin1(c.serverFile), ServerIndex());

    // The server's copy is newer: the window asks; without --yes the command refuses.
    const clitest::Result refused = Loftmark(c.args);
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.out.isEmpty()) << refused.out.toStdString();
    EXPECT_TRUE(refused.err.startsWith(QStringLiteral("loftmark: "))) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(question)) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--yes"))) << refused.err.toStdString();

    const clitest::Result yes = Loftmark(c.args + QStringList{"--yes"});
    EXPECT_EQ(yes.code, 0) << yes.err.toStdString();
    EXPECT_TRUE(yes.err.isEmpty()) << yes.err.toStdString();
    EXPECT_TRUE(yes.out.endsWith(QStringLiteral("追加ファイル一覧 (2)\n\\mio00.euu\n\\readme.txt\n"
                                                 "削除対象一覧 (1)\n\\old.txt\n")))
        << yes.out.toStdString();
  }

  // Without the server's index: the comparison's message.
  const clitest::Result missing = Loftmark({"compare", "--script", "scripts/Sample.ugu", "--server-index", "none.fet"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_TRUE(missing.err.endsWith(QStringLiteral("loftmark: 更新定義ファイルが存在しません。\n"))) << missing.err.toStdString();
}

TEST_F(SyncCommands, PublishSendsTheChangesOnlyWhenToldTo) {
  lmtest::FtpTestServer server;
  ASSERT_GT(server.Port(), 0);
  const QByteArray account = "server(000)=ftp://127.0.0.1:" + QByteArray::number(server.Port()) +
                             "\r\nuserid(000)=" + lmtest::FtpTestServer::kUser + "\r\ndirserver(000)=pub\r\n";
  const QByteArray script = "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() + "\r\n";
  tree.WriteFile("bin/lfup.ini", script + account + "password(000)=" + lmtest::FtpTestServer::kPassword + "\r\n");
  WriteIndex();

  const clitest::Result dry = Loftmark({"publish", "--profile", "Sample", "--dry-run"});
  EXPECT_EQ(dry.code, 0) << dry.err.toStdString();
  EXPECT_TRUE(dry.out.contains(QStringLiteral("追加ファイル一覧 (4)\n"))) << dry.out.toStdString();
  EXPECT_TRUE(dry.out.contains(QStringLiteral("\\shell\\descript.txt\n削除対象一覧 (0)\n送信 3 件 (69 バイト)　削除 0 件\n"))) << dry.out.toStdString();
  EXPECT_FALSE(QFile::exists(server.Root("pub/index.fet")));

  const clitest::Result unconfirmed = Loftmark({"publish", "--profile", "Sample"});
  EXPECT_EQ(unconfirmed.code, 1);
  EXPECT_TRUE(unconfirmed.err.contains(QStringLiteral("アップロードしますか？"))) << unconfirmed.err.toStdString();
  EXPECT_TRUE(unconfirmed.err.contains(QStringLiteral("--yes"))) << unconfirmed.err.toStdString();
  EXPECT_FALSE(QFile::exists(server.Root("pub/index.fet")));

  const clitest::Result sent = Loftmark({"publish", "--profile", "Sample", "--yes"});
  EXPECT_EQ(sent.code, 0) << sent.err.toStdString();
  EXPECT_TRUE(sent.err.isEmpty()) << sent.err.toStdString();
  EXPECT_TRUE(sent.out.contains(QStringLiteral("アップロードが完了しました。"))) << sent.out.toStdString();
  const QByteArray index = tree.ReadFile("scripts/Sample/DAT/index.fet");
  QFile sentIndex(server.Root("pub/index.fet"));
  ASSERT_TRUE(sentIndex.open(QIODevice::ReadOnly));
  EXPECT_EQ(sentIndex.readAll(), index);
  QFile sentFile(server.Root("pub/shell/descript.txt"));
  ASSERT_TRUE(sentFile.open(QIODevice::ReadOnly));
  EXPECT_EQ(sentFile.readAll(), tree.ReadFile("scripts/Sample/DAT/shell/descript.txt"));
  EXPECT_EQ(tree.ReadFile("bin/indexserver.fet"), index);

  // Nothing changed since: nothing but the index files to send.
  const clitest::Result again = Loftmark({"publish", "--profile", "Sample", "--dry-run"});
  EXPECT_TRUE(again.out.contains(QStringLiteral("追加ファイル一覧 (0)\n削除対象一覧 (0)\n"))) << again.out.toStdString();

  // Without a password anywhere the command names the option, never waits
  // on standard input; with it the password comes from there.
  tree.WriteFile("bin/lfup.ini", script + account);
  const clitest::Result noPassword = Loftmark({"publish", "--profile", "Sample", "--dry-run"});
  EXPECT_EQ(noPassword.code, 1);
  EXPECT_TRUE(noPassword.err.contains(QStringLiteral("--password-stdin"))) << noPassword.err.toStdString();
  const clitest::Result fromStdin =
      Loftmark({"publish", "--profile", "Sample", "--dry-run", "--password-stdin"},
               QByteArray(lmtest::FtpTestServer::kPassword) + "\n");
  EXPECT_EQ(fromStdin.code, 0) << fromStdin.err.toStdString();

  // A profile without a server.
  tree.WriteFile("bin/lfup.ini", script);
  const clitest::Result noServer = Loftmark({"publish", "--profile", "Sample", "--yes"});
  EXPECT_EQ(noServer.code, 1);
  EXPECT_EQ(noServer.err, QStringLiteral("loftmark: 接続先サーバが設定されていません。\n"));
}

// DAT changed after index.fet was written: publish stops naming the count
// and the first entry, unless --reindex --next writes the index first;
// verify checks the server on demand.
TEST_F(SyncCommands, AStaleIndexStopsPublishUnlessReindexedAndVerifyChecksTheServer) {
  lmtest::FtpTestServer server;
  ASSERT_GT(server.Port(), 0);
  tree.WriteFile("bin/lfup.ini", "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() +
                                     "\r\nserver(000)=ftp://127.0.0.1:" + QByteArray::number(server.Port()) +
                                     "\r\nuserid(000)=" + lmtest::FtpTestServer::kUser + "\r\npassword(000)=" +
                                     lmtest::FtpTestServer::kPassword + "\r\ndirserver(000)=pub\r\n");
  WriteIndex();
  tree.WriteFile("scripts/Sample/DAT/added.txt", "added");

  const clitest::Result stale = Loftmark({"publish", "--profile", "Sample", "--yes"});
  EXPECT_EQ(stale.code, 1);
  EXPECT_TRUE(stale.err.contains(QStringLiteral("(1 件、最初は『\\added.txt』)"))) << stale.err.toStdString();
  EXPECT_TRUE(stale.err.contains(QStringLiteral("--reindex"))) << stale.err.toStdString();
  EXPECT_FALSE(QFile::exists(server.Root("pub/index.fet")));

  const clitest::Result noNext = Loftmark({"publish", "--profile", "Sample", "--yes", "--reindex"});
  EXPECT_EQ(noNext.code, 2);

  const clitest::Result sent = Loftmark({"publish", "--profile", "Sample", "--yes", "--reindex", "--next", Future()});
  EXPECT_EQ(sent.code, 0) << sent.err.toStdString();
  QFile added(server.Root("pub/added.txt"));
  ASSERT_TRUE(added.open(QIODevice::ReadOnly));
  EXPECT_EQ(added.readAll(), QByteArray("added"));
  EXPECT_TRUE(tree.ReadFile("scripts/Sample/DAT/index.fet").contains("+added.txt"));

  const clitest::Result fine = Loftmark({"verify", "--profile", "Sample"});
  EXPECT_EQ(fine.code, 0) << fine.err.toStdString();
  EXPECT_TRUE(fine.out.contains(QStringLiteral("サーバーの内容は更新定義ファイルと一致しています。"))) << fine.out.toStdString();
  ASSERT_TRUE(QFile::remove(server.Root("pub/added.txt")));
  const clitest::Result broken = Loftmark({"verify", "--profile", "Sample"});
  EXPECT_EQ(broken.code, 1);
  EXPECT_TRUE(broken.err.contains(QStringLiteral("ありません: \\added.txt"))) << broken.err.toStdString();
}

TEST_F(SyncCommands, TerminationCancelsThePublishAndKeepsTheServersIndex) {
  lmtest::FtpTestServer server;
  ASSERT_GT(server.Port(), 0);
  const auto writeSettings = [&] {
    tree.WriteFile("bin/lfup.ini", "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() +
                                       "\r\nserver(000)=ftp://127.0.0.1:" + QByteArray::number(server.Port()) +
                                       "\r\nuserid(000)=" + lmtest::FtpTestServer::kUser + "\r\npassword(000)=" +
                                       lmtest::FtpTestServer::kPassword + "\r\n");
  };
  writeSettings();
  WriteRandomFiles(QStringLiteral("scripts/Sample/DAT/data"), 60);
  WriteIndex();

  QProcess p;
  Start(p, program, {"publish", "--profile", "Sample", "--yes"});
  // Wait until the first data arrive on the server, then stop the run.
  QDeadlineTimer deadline(60000);
  while (!QDir(server.Root("data")).exists() ||
         QDir(server.Root("data")).entryList(QDir::Files | QDir::Hidden).isEmpty()) {
    ASSERT_FALSE(deadline.hasExpired());
    ASSERT_EQ(p.state(), QProcess::Running) << "the upload ended before it could be interrupted";
    QThread::msleep(1);
  }
  p.terminate();
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1);
  const QString err = QString::fromUtf8(p.readAllStandardError());
  EXPECT_TRUE(err.endsWith(QStringLiteral("loftmark: アップロードを中止しました。\nサーバーの更新定義ファイルは変更されていません。\n"
                                          "もう一度実行すると残りを送信します。\n")))
      << err.toStdString();
  EXPECT_FALSE(QFile::exists(server.Root("index.fet")));
  EXPECT_LT(QDir(server.Root("data")).entryList(QDir::Files | QDir::Hidden).size(), 60);

  // The next run finishes the job. The single-threaded test server is
  // started afresh on the same folder first, so that a connection the
  // stopped run left behind cannot hold it up.
  server.RestartWith({});
  ASSERT_GT(server.Port(), 0);
  writeSettings();
  const clitest::Result again = Loftmark({"publish", "--profile", "Sample", "--yes"});
  EXPECT_EQ(again.code, 0) << again.err.toStdString();
  QFile sent(server.Root("index.fet"));
  ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
  EXPECT_EQ(sent.readAll(), tree.ReadFile("scripts/Sample/DAT/index.fet"));
}

// verify --url: the published copy checked over HTTP as users download it;
// no FTP server, no password.
TEST_F(SyncCommands, VerifyWithAUrlChecksTheServedFilesOverHttp) {
  tree.WriteFile("bin/lfup.ini", "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() + "\r\n");
  WriteIndex();
  // The published copy: DAT as the web server holds it.
  const QString www = tree.MakeDir(QStringLiteral("www"));
  std::filesystem::copy(QFile::encodeName(tree.Path("scripts/Sample/DAT")).toStdString(),
                        QFile::encodeName(www + QStringLiteral("/pub")).toStdString(),
                        std::filesystem::copy_options::recursive);
  QProcess process;
  const int port = lmtest::StartPortPrintingServer(
      process, {QStringLiteral(LM_SOURCE_DIR "/tests/sync/http_test_server.py"), QStringLiteral("--root"), www});
  ASSERT_GT(port, 0);
  const QString url = QStringLiteral("http://127.0.0.1:%1/pub").arg(port);

  const clitest::Result fine = Loftmark({"verify", "--profile", "Sample", "--url", url});
  EXPECT_EQ(fine.code, 0) << fine.err.toStdString();
  EXPECT_TRUE(fine.err.isEmpty()) << fine.err.toStdString();
  EXPECT_TRUE(fine.out.contains(QStringLiteral("index.fet のとおりに公開されています。"))) << fine.out.toStdString();

  ASSERT_TRUE(QFile::remove(www + QStringLiteral("/pub/shell/descript.txt")));
  const clitest::Result missing = Loftmark({"verify", "--profile", "Sample", "--url", url});
  EXPECT_EQ(missing.code, 1);
  EXPECT_TRUE(missing.out.isEmpty()) << missing.out.toStdString();
  EXPECT_TRUE(missing.err.contains(QStringLiteral("一致しません (1 件)"))) << missing.err.toStdString();
  EXPECT_TRUE(missing.err.contains(QStringLiteral("サーバにありません (HTTP 404): 『\\shell\\descript.txt』")))
      << missing.err.toStdString();

  // Not an http or https address: a usage error before anything is read.
  const clitest::Result ftp = Loftmark({"verify", "--profile", "Sample", "--url", "ftp://127.0.0.1/pub"});
  EXPECT_EQ(ftp.code, 2);
  EXPECT_TRUE(ftp.err.contains(QStringLiteral("--url"))) << ftp.err.toStdString();

  // --url belongs to verify only, and checks no FTPS certificate to trust.
  EXPECT_EQ(Loftmark({"compare", "--profile", "Sample", "--url", url}).code, 2);
  const clitest::Result trust = Loftmark({"verify", "--profile", "Sample", "--url", url, "--trust", "SHA256:00"});
  EXPECT_EQ(trust.code, 2);
  EXPECT_TRUE(trust.err.contains(QStringLiteral("--trust"))) << trust.err.toStdString();

  process.kill();
  process.waitForFinished(5000);
}

TEST_F(SyncCommands, PublishTrustsACertificateOnlyForTheRunThatNamesIt) {
  const lmtest::Certificate pinned = lmtest::MakeCertificate(tree.Path(), QStringLiteral("pinned"));
  const lmtest::Certificate presented = lmtest::MakeCertificate(tree.Path(), QStringLiteral("presented"));
  ASSERT_FALSE(pinned.sha256.isEmpty() || presented.sha256.isEmpty());
  lmtest::VsftpdTestServer server({presented.cert, presented.key});
  ASSERT_GT(server.Port(), 0);
  WriteIndex();
  const QString hint = QStringLiteral("--trust SHA256:") + presented.sha256;
  struct Case {
    const char* what;
    QString servercert;
    QStringList trust;
    int code;
    QString says;  // in the error output; empty for a run that succeeds
  } cases[] = {
      {"first time", QString(), {}, 1, QStringLiteral("サーバーの証明書を確認できませんでした。")},
      {"changed", pinned.sha256, {}, 1, QStringLiteral("サーバーの証明書が変わっています。")},
      {"changed, the presented one trusted for the run", pinned.sha256, {"--trust", "SHA256:" + presented.sha256}, 0,
       QString()},
      {"first time, trusted in another form", QString(),
       {"--trust", "sha256:" + presented.sha256.toLower().remove(QLatin1Char(':'))}, 0, QString()},
      {"changed, the old one named", pinned.sha256, {"--trust", "SHA256:" + pinned.sha256}, 1,
       QStringLiteral("サーバーの証明書が変わっています。")},
      {"no fingerprint", QString(), {"--trust", "yes"}, 2, QStringLiteral("--trust")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QByteArray settings = "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() +
                                "\r\nserver(000)=" + server.Url().toUtf8() + "\r\nuserid(000)=anonymous\r\n"
                                "password(000)=pw\r\ndirserver(000)=pub/site\r\nservercert(000)=" +
                                c.servercert.toUtf8() + "\r\n";
    tree.WriteFile("bin/lfup.ini", settings);
    const int loginsBefore = server.Commands().filter(QRegularExpression(QStringLiteral("^(USER|PASS) "))).size();
    const clitest::Result r = Loftmark(QStringList{"publish", "--profile", "Sample", "--dry-run"} + c.trust);
    EXPECT_EQ(r.code, c.code) << r.err.toStdString();
    const int logins = server.Commands().filter(QRegularExpression(QStringLiteral("^(USER|PASS) "))).size();
    if (c.code == 0) {
      EXPECT_TRUE(r.out.contains(QStringLiteral("追加ファイル一覧"))) << r.out.toStdString();
      EXPECT_GT(logins, loginsBefore);
    } else {
      EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
      EXPECT_EQ(logins, loginsBefore) << "the server saw a login";
    }
    if (c.code == 1) {
      EXPECT_TRUE(r.err.contains(hint)) << r.err.toStdString();
    }
    // verify trusts and refuses the same way (the empty server folder then
    // fails its check, after the login).
    const clitest::Result v = Loftmark(QStringList{"verify", "--profile", "Sample"} + c.trust);
    const int verifyLogins = server.Commands().filter(QRegularExpression(QStringLiteral("^(USER|PASS) "))).size();
    if (c.code == 0) {
      EXPECT_GT(verifyLogins, logins) << v.err.toStdString();
      EXPECT_FALSE(v.err.contains(QStringLiteral("--trust"))) << v.err.toStdString();
    } else {
      EXPECT_EQ(v.code, c.code) << v.err.toStdString();
      EXPECT_TRUE(v.err.contains(c.says)) << v.err.toStdString();
      EXPECT_EQ(verifyLogins, logins) << "the server saw a login";
      if (c.code == 1) {
        EXPECT_TRUE(v.err.contains(hint)) << v.err.toStdString();
      }
    }
    // The command line never keeps a certificate.
    EXPECT_EQ(tree.ReadFile("bin/lfup.ini"), settings);
  }
}

TEST_F(SyncCommands, PublishOverSftpLogsInWithTheUsersKeyWithoutAPassword) {
  lmtest::SshTestServer server;
  ASSERT_GT(server.Port(), 0);
  // A home of its own with the key the server authorizes and no known hosts.
  const QString home = tree.MakeDir(QStringLiteral("home"));
  QDir().mkpath(home + QStringLiteral("/.ssh"));
  for (const char* suffix : {"", ".pub"}) {
    ASSERT_TRUE(QFile::copy(server.UserKey() + QLatin1String(suffix),
                            home + QStringLiteral("/.ssh/id_ed25519") + QLatin1String(suffix)));
  }
  QFile::setPermissions(home + QStringLiteral("/.ssh/id_ed25519"), QFile::ReadOwner | QFile::WriteOwner);
  QProcessEnvironment env;
  env.insert(QStringLiteral("HOME"), home);
  const QByteArray user = qgetenv("USER").isEmpty() ? QByteArray("root") : qgetenv("USER");
  tree.WriteFile("bin/lfup.ini", "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() +
                                     "\r\nserver(000)=sftp://127.0.0.1:" + QByteArray::number(server.Port()) +
                                     "\r\nuserid(000)=" + user + "\r\ndirserver(000)=" + server.Root().toUtf8() +
                                     "/pub\r\n");
  WriteIndex();

  // The host key is not known: refused, its fingerprint named with --trust.
  const clitest::Result unknown = Loftmark({"publish", "--profile", "Sample", "--dry-run"}, QByteArray(), env);
  EXPECT_EQ(unknown.code, 1);
  const QRegularExpressionMatch hint =
      QRegularExpression(QStringLiteral("--trust (SHA256:[A-Za-z0-9+/]{43})")).match(unknown.err);
  ASSERT_TRUE(hint.hasMatch()) << unknown.err.toStdString();
  EXPECT_FALSE(unknown.err.contains(QStringLiteral("--password-stdin"))) << unknown.err.toStdString();

  // Trusted for the run: the key logs in, nothing is read from standard input.
  const clitest::Result sent =
      Loftmark({"publish", "--profile", "Sample", "--yes", "--trust", hint.captured(1)}, QByteArray(), env);
  EXPECT_EQ(sent.code, 0) << sent.err.toStdString();
  EXPECT_TRUE(sent.out.contains(QStringLiteral("アップロードが完了しました。"))) << sent.out.toStdString();
  EXPECT_EQ(lmtest::ReadAll(server.Root(QStringLiteral("pub/index.fet"))), tree.ReadFile("scripts/Sample/DAT/index.fet"));
  EXPECT_FALSE(QFile::exists(home + QStringLiteral("/.ssh/known_hosts")) &&
               QFile(home + QStringLiteral("/.ssh/known_hosts")).size() > 0);

  // Without the key the refusal says how to give a password.
  QFile::remove(home + QStringLiteral("/.ssh/id_ed25519"));
  QFile::remove(home + QStringLiteral("/.ssh/id_ed25519.pub"));
  const clitest::Result noKey =
      Loftmark({"publish", "--profile", "Sample", "--dry-run", "--trust", hint.captured(1)}, QByteArray(), env);
  EXPECT_EQ(noKey.code, 1);
  EXPECT_TRUE(noKey.err.contains(QStringLiteral("--password-stdin"))) << noKey.err.toStdString();
}

}  // namespace
