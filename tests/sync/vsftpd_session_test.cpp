// The session class against vsftpd on 127.0.0.1, which stores names as the
// bytes the client sends: Shift-JIS names (with a 0x5C trail byte, which is
// also the byte of "\"), one-character names, blanks and empty files go up,
// come back in listings and downloads, are renamed and removed, in passive
// and active mode and over TLS (passive only: active FTPS is refused before
// anything is sent).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "sync/file_bytes.h"
#include "sync/mc_win_ftp.h"
#include "sync/sync_test_print.h"
#include "sync/test_certificate.h"
#include "sync/vsftpd_test_server.h"
#include "util/text_file.h"

namespace {

using lm::McWinFTP;
using lmtest::VsftpdTestServer;

QByteArray Sjis(const QString& text) {
  QByteArray out;
  EXPECT_TRUE(lm::EncodeCp932(text, out)) << text.toStdString();
  return out;
}

using lmtest::ReadAll;
using lmtest::WriteAll;

// The names of a listing started with FindFile, read to its end.
QStringList Listed(McWinFTP& ftp, const QString& search) {
  QStringList names;
  for (ftp.FindFile(search); !ftp.RemoteFile().SearchEnd; ftp.NextFile()) names << ftp.RemoteFile().FileName;
  names.sort();
  return names;
}

struct Mode {
  const char* what;
  bool tls;
  bool passive;
};

class VsftpdSession : public ::testing::TestWithParam<Mode> {};

TEST_P(VsftpdSession, ShiftJisAndAwkwardNamesMakeTheRoundTrip) {
  const Mode mode = GetParam();
  lmtest::Certificate cert;
  std::unique_ptr<VsftpdTestServer> server;
  if (mode.tls) {
    QTemporaryDir certDir;
    cert = lmtest::MakeCertificate(certDir.path());
    ASSERT_FALSE(cert.sha256.isEmpty());
    server = std::make_unique<VsftpdTestServer>(VsftpdTestServer::Tls{cert.cert, cert.key});
  } else {
    server = std::make_unique<VsftpdTestServer>();
  }
  ASSERT_GT(server->Port(), 0);

  McWinFTP ftp;
  std::vector<QString> raised;
  QObject::connect(&ftp, &McWinFTP::FTPFrr, [&](qint32 n, const QString& t) {
    raised.push_back(QString::number(n) + QLatin1Char(' ') + t);
  });
  ftp.SetRemoteHost(server->Url());
  ftp.SetUser(QString::fromLatin1(VsftpdTestServer::kUser));
  ftp.SetPassword(QString::fromLatin1(VsftpdTestServer::kPassword));
  ftp.SetPassiveFlag(mode.passive);
  ftp.SetTimeoutSeconds(10);
  ftp.SetTrustedCertificate(cert.sha256);
  ftp.OpenSession();
  ASSERT_NE(ftp.hFTP(), 0u) << (raised.empty() ? std::string() : raised.back().toStdString());
  ftp.SetCurDir(QStringLiteral("pub"));
  EXPECT_EQ(ftp.CurDir(), QStringLiteral("/pub"));

  struct File {
    QString remote;  // below /pub
    QByteArray content;
  } files[] = {
      {QStringLiteral("表.txt"), "hyou\r\n"},           // 0x95 0x5C
      {QStringLiteral("ソ"), "so"},                     // 0x83 0x5C, one character
      {QStringLiteral("a"), ""},                        // one character, empty
      {QStringLiteral("予定 表.dat"), QByteArray(70000, '\x5c')},
      {QStringLiteral("ソース/能力/表"), "deep"},       // folders with 0x5C trail bytes
      {QStringLiteral("ソース/能力/x y"), ""},
  };
  ASSERT_EQ(ftp.CreateDir(QStringLiteral("ソース")), 1);
  ASSERT_EQ(ftp.CreateDir(QStringLiteral("ソース/能力")), 1);
  for (const File& f : files) {
    SCOPED_TRACE(f.remote.toStdString());
    const QString local = server->Work(QStringLiteral("up/") + f.remote);
    WriteAll(local, f.content);
    EXPECT_EQ(ftp.PutFile(local, f.remote, 2), 1) << (raised.empty() ? std::string() : raised.back().toStdString());
    // On the server's disk under the Shift-JIS bytes of the name.
    EXPECT_EQ(server->ReadFile("pub/" + Sjis(f.remote)), f.content);
    qint64 size = -1;
    EXPECT_EQ(ftp.RemoteFileSize(f.remote, size), 1);
    EXPECT_EQ(size, f.content.size());
    const QString back = server->Work(QStringLiteral("down/") + QString::number(&f - files));
    QDir().mkpath(QFileInfo(back).absolutePath());
    EXPECT_EQ(ftp.GetFile(f.remote, back, false, 2), 1) << (raised.empty() ? std::string() : raised.back().toStdString());
    EXPECT_EQ(ReadAll(back), f.content);
  }
  EXPECT_EQ(server->NamesIn("pub"),
            (QList<QByteArray>{"a", Sjis(QStringLiteral("ソ")), Sjis(QStringLiteral("ソース")),
                               Sjis(QStringLiteral("表.txt")), Sjis(QStringLiteral("予定 表.dat"))}));
  EXPECT_EQ(Listed(ftp, QString()), (QStringList{QStringLiteral("a"), QStringLiteral("ソ"), QStringLiteral("ソース"),
                                                 QStringLiteral("予定 表.dat"), QStringLiteral("表.txt")}));
  EXPECT_EQ(Listed(ftp, QStringLiteral("ソース/能力")), (QStringList{QStringLiteral("x y"), QStringLiteral("表")}));
  EXPECT_EQ(Listed(ftp, QStringLiteral("/pub/ソース/能力/表")), QStringList{QStringLiteral("表")});
  EXPECT_EQ(Listed(ftp, QStringLiteral("*.txt")), QStringList{QStringLiteral("表.txt")});
  ftp.FindFile(QStringLiteral("ソース"));
  // Listing a folder lists its contents; the folder itself shows in its parent.
  EXPECT_EQ(ftp.RemoteFile().FileName, QStringLiteral("能力"));
  EXPECT_EQ(ftp.RemoteFile().FileType, 16);

  // Into a folder and back out by name, rename, delete, remove.
  ftp.SetCurDir(QStringLiteral("ソース"));
  EXPECT_EQ(ftp.CurDir(), QStringLiteral("/pub/ソース"));
  EXPECT_EQ(ftp.RenameFile(QStringLiteral("/pub/表.txt"), QStringLiteral("能力/表2.txt")), 1);
  EXPECT_EQ(server->NamesIn("pub/" + Sjis(QStringLiteral("ソース/能力"))),
            (QList<QByteArray>{"x y", Sjis(QStringLiteral("表")), Sjis(QStringLiteral("表2.txt"))}));
  for (const QString& name : {QStringLiteral("能力/表"), QStringLiteral("能力/x y"), QStringLiteral("能力/表2.txt")})
    EXPECT_EQ(ftp.DeleteFile(name), 1) << name.toStdString();
  EXPECT_EQ(ftp.RemoveDir(QStringLiteral("能力")), 1);
  // One leading "/" is dropped (the path is taken relative); "//" reaches the root.
  ftp.SetCurDir(QStringLiteral("//pub"));
  EXPECT_EQ(ftp.CurDir(), QStringLiteral("/pub"));
  EXPECT_EQ(ftp.RemoveDir(QStringLiteral("ソース")), 1);
  EXPECT_EQ(ftp.DeleteFile(QStringLiteral("ソ")), 1);
  EXPECT_EQ(server->NamesIn("pub"), (QList<QByteArray>{"a", Sjis(QStringLiteral("予定 表.dat"))}));
  for (const QString& r : raised) ADD_FAILURE() << r.toStdString();
  if (HasFailure()) ADD_FAILURE() << server->Log().toStdString();

  // A name the server does not have is refused with the server's own reply.
  raised.clear();
  EXPECT_EQ(ftp.DeleteFile(QStringLiteral("表.txt")), 0);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_TRUE(raised[0].startsWith(QStringLiteral("12003 550"))) << raised[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, VsftpdSession,
                         ::testing::Values(Mode{"Passive", false, true}, Mode{"Active", false, false},
                                           Mode{"Tls", true, true}),
                         [](const ::testing::TestParamInfo<Mode>& p) { return std::string(p.param.what); });

TEST(VsftpdTls, ActiveModeIsRefusedBeforeAnythingIsSent) {
  QTemporaryDir certDir;
  const lmtest::Certificate cert = lmtest::MakeCertificate(certDir.path());
  VsftpdTestServer server({cert.cert, cert.key});
  ASSERT_GT(server.Port(), 0);
  McWinFTP ftp;
  std::vector<QString> raised;
  QObject::connect(&ftp, &McWinFTP::FTPFrr, [&](qint32 n, const QString& t) {
    raised.push_back(QString::number(n) + QLatin1Char(' ') + t);
  });
  ftp.SetRemoteHost(server.Url());
  ftp.SetPassiveFlag(false);
  ftp.SetTrustedCertificate(cert.sha256);
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  EXPECT_EQ(raised, std::vector<QString>{QStringLiteral("12004 FTPS はパッシブモードでだけ使えます。")});
  EXPECT_EQ(server.Commands(), QStringList());
}

TEST(VsftpdFixture, FilesPutOnTheServerSideCanBeReplacedAndDeletedByTheServer) {
  VsftpdTestServer server;
  ASSERT_GT(server.Port(), 0);
  ASSERT_TRUE(server.MakeFolder("pub/old"));
  ASSERT_TRUE(server.WriteFile("pub/old/" + Sjis(QStringLiteral("表")), "old"));
  ASSERT_TRUE(server.WriteFile("pub/index.fet", "old index"));
  McWinFTP ftp;
  ftp.SetRemoteHost(server.Url());
  ftp.SetUser(QString::fromLatin1(VsftpdTestServer::kUser));
  ftp.SetPassword(QString::fromLatin1(VsftpdTestServer::kPassword));
  ftp.SetPassiveFlag(true);
  ftp.SetTimeoutSeconds(10);
  ftp.OpenSession();
  ASSERT_NE(ftp.hFTP(), 0u);
  WriteAll(server.Work(QStringLiteral("index.fet")), "new index");
  EXPECT_EQ(ftp.PutFile(server.Work(QStringLiteral("index.fet")), QStringLiteral("/pub/index.fet"), 2), 1);
  EXPECT_EQ(ReadAll(server.Root(QStringLiteral("pub/index.fet"))), QByteArray("new index"));
  EXPECT_EQ(ftp.DeleteFile(QStringLiteral("/pub/old/表")), 1);
  EXPECT_EQ(ftp.RemoveDir(QStringLiteral("/pub/old")), 1);
  // The server's root itself is read-only, and the session cannot leave it.
  EXPECT_EQ(ftp.CreateDir(QStringLiteral("/top")), 0);
  EXPECT_EQ(ftp.CreateDir(QStringLiteral("/../../escaped")), 0);
  EXPECT_FALSE(QFileInfo::exists(server.Root(QStringLiteral("top"))));
  EXPECT_FALSE(QFileInfo::exists(server.Root(QStringLiteral("../escaped"))));
  const QStringList commands = server.Commands();
  EXPECT_TRUE(commands.contains(QStringLiteral("USER anonymous"))) << commands.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
