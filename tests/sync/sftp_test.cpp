// SFTP against OpenSSH's sshd on 127.0.0.1 with keys made at test time: the
// host key is checked against a known-hosts file (an unknown one is refused
// unless the author accepts it, and is then added), the user logs in with
// a key, and every operation of the session class works on the server.
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "index/index_writer.h"
#include "sync/check_differ.h"
#include "sync/mc_win_ftp.h"
#include "sync/server_upload.h"
#include "sync/ssh_test_server.h"
#include "sync/sync_test_print.h"

namespace {

using lm::McWinFTP;
using lmtest::SshTestServer;

struct Raised {
  qint32 number;
  QString text;
};

QString CurrentUser() {
  const QByteArray user = qgetenv("USER");
  return user.isEmpty() ? QStringLiteral("root") : QString::fromLocal8Bit(user);
}

class SftpTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(server.Port(), 0); }
  void Prepare(McWinFTP& ftp) {
    ftp.SetRemoteHost(QStringLiteral("sftp://127.0.0.1:%1").arg(server.Port()));
    ftp.SetUser(CurrentUser());
    ftp.SetPrivateKeyFile(server.UserKey());
    ftp.SetKnownHostsPath(server.KnownHosts());
    ftp.SetTimeoutSeconds(10);
    QObject::connect(&ftp, &McWinFTP::FTPFrr, [this](qint32 n, const QString& t) { raised.push_back({n, t}); });
  }
  SshTestServer server;
  std::vector<Raised> raised;
};

TEST_F(SftpTest, AnUnknownHostKeyIsRefusedUntilTheAuthorAcceptsIt) {
  McWinFTP ftp;
  Prepare(ftp);
  QString askedHost, askedFingerprint;
  ftp.SetHostKeyApprover([&](const QString& host, const QString& fingerprint) {
    askedHost = host;
    askedFingerprint = fingerprint;
    return false;
  });
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  EXPECT_EQ(askedHost, QStringLiteral("127.0.0.1"));
  EXPECT_TRUE(askedFingerprint.startsWith(QStringLiteral("SHA256:"))) << askedFingerprint.toStdString();
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].number, 12157);
  EXPECT_FALSE(QFile::exists(server.KnownHosts()) && QFile(server.KnownHosts()).size() > 0);

  // Accepted once: added to the known hosts, and not asked again.
  raised.clear();
  ftp.SetHostKeyApprover([](const QString&, const QString&) { return true; });
  ftp.OpenSession();
  ASSERT_NE(ftp.hFTP(), 0u) << (raised.empty() ? std::string() : raised[0].text.toStdString());
  ftp.CloseSession();
  EXPECT_GT(QFile(server.KnownHosts()).size(), 0);
  int asked = 0;
  ftp.SetHostKeyApprover([&](const QString&, const QString&) { return ++asked, false; });
  ftp.OpenSession();
  EXPECT_NE(ftp.hFTP(), 0u);
  EXPECT_EQ(asked, 0);
}

TEST_F(SftpTest, AHostKeyTrustedForOneConnectionPassesWithoutBeingWrittenDown) {
  McWinFTP ftp;
  Prepare(ftp);
  ftp.SetHostKeyApprover([](const QString&, const QString&) { return false; });
  ftp.OpenSession();
  ASSERT_EQ(ftp.hFTP(), 0u);
  const QString fingerprint = ftp.PresentedHostKey();
  ASSERT_TRUE(fingerprint.startsWith(QStringLiteral("SHA256:"))) << fingerprint.toStdString();
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_TRUE(raised[0].text.contains(fingerprint)) << raised[0].text.toStdString();

  // Another key's fingerprint does not open; this one does, and nothing is asked or kept.
  struct Case {
    QString trust;
    bool opens;
  } cases[] = {
      {QStringLiteral("SHA256:") + QString(43, QLatin1Char('A')), false},
      {fingerprint, true},
      {fingerprint.mid(7), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trust.toStdString());
    raised.clear();
    int asked = 0;
    ftp.SetHostKeyApprover([&](const QString&, const QString&) { return ++asked, false; });
    ftp.SetTrustOnce(c.trust);
    ftp.OpenSession();
    EXPECT_EQ(ftp.hFTP() != 0, c.opens);
    EXPECT_EQ(asked, c.opens ? 0 : 1);
    EXPECT_EQ(ftp.PresentedHostKey(), c.opens ? QString() : fingerprint);
    ftp.CloseSession();
  }
  EXPECT_FALSE(QFile::exists(server.KnownHosts()) && QFile(server.KnownHosts()).size() > 0);

  // A changed key (known_hosts names another one) is refused with the new
  // key's fingerprint, unless that one is trusted for the connection.
  QFile userKey(server.UserKey() + QStringLiteral(".pub"));
  ASSERT_TRUE(userKey.open(QIODevice::ReadOnly));
  const QByteArray otherKey = userKey.readAll().split(' ').mid(0, 2).join(' ');
  QFile known(server.KnownHosts());
  ASSERT_TRUE(known.open(QIODevice::WriteOnly));
  known.write("[127.0.0.1]:" + QByteArray::number(server.Port()) + ' ' + otherKey + '\n');
  known.close();
  for (const QString& trust : {QString(), fingerprint}) {
    raised.clear();
    ftp.SetTrustOnce(trust);
    ftp.OpenSession();
    EXPECT_EQ(ftp.hFTP() != 0, !trust.isEmpty());
    if (trust.isEmpty()) {
      ASSERT_EQ(raised.size(), 1u);
      EXPECT_TRUE(raised[0].text.contains(QStringLiteral("一致しません"))) << raised[0].text.toStdString();
      EXPECT_TRUE(raised[0].text.contains(fingerprint)) << raised[0].text.toStdString();
    }
    ftp.CloseSession();
  }
}

TEST_F(SftpTest, TransfersListingsRenamesAndFolders) {
  McWinFTP ftp;
  Prepare(ftp);
  ftp.SetHostKeyApprover([](const QString&, const QString&) { return true; });
  ftp.OpenSession();
  ASSERT_NE(ftp.hFTP(), 0u) << (raised.empty() ? server.Log().toStdString() : raised[0].text.toStdString());
  // "//" keeps the path absolute: the property removes one leading separator.
  ftp.SetCurDir(QStringLiteral("/") + server.Root());
  EXPECT_EQ(ftp.CurDir(), server.Root());

  QDir().mkpath(server.Work(QString()));
  QFile local(server.Work(QStringLiteral("data.bin")));
  ASSERT_TRUE(local.open(QIODevice::WriteOnly));
  QByteArray bytes;
  for (int i = 0; i < 300000; ++i) bytes.append(static_cast<char>(i * 7));
  local.write(bytes);
  local.close();

  EXPECT_EQ(ftp.CreateDir(QStringLiteral("sub dir")), 1);
  EXPECT_EQ(ftp.PutFile(local.fileName(), QStringLiteral("sub dir/up.bin"), 2), 1);
  qint64 size = -1;
  EXPECT_EQ(ftp.RemoteFileSize(QStringLiteral("sub dir/up.bin"), size), 1);
  EXPECT_EQ(size, bytes.size());
  EXPECT_EQ(ftp.RenameFile(QStringLiteral("sub dir/up.bin"), QStringLiteral("sub dir/final.bin")), 1);
  EXPECT_EQ(ftp.GetFile(QStringLiteral("sub dir/final.bin"), server.Work(QStringLiteral("back.bin")), false, 2), 1);
  QFile back(server.Work(QStringLiteral("back.bin")));
  ASSERT_TRUE(back.open(QIODevice::ReadOnly));
  EXPECT_EQ(back.readAll(), bytes);

  ftp.FindFile(QString());
  ASSERT_FALSE(ftp.RemoteFile().SearchEnd);
  EXPECT_EQ(ftp.RemoteFile().FileName, QStringLiteral("sub dir"));
  EXPECT_EQ(ftp.RemoteFile().FileType, 16);
  ftp.FindFile(QStringLiteral("sub dir"));
  ASSERT_FALSE(ftp.RemoteFile().SearchEnd);
  EXPECT_EQ(ftp.RemoteFile().FileName, QStringLiteral("final.bin"));
  EXPECT_EQ(ftp.RemoteFile().FileSize, static_cast<double>(bytes.size()));
  EXPECT_TRUE(raised.empty());

  EXPECT_EQ(ftp.DeleteFile(QStringLiteral("sub dir/final.bin")), 1);
  EXPECT_EQ(ftp.RemoveDir(QStringLiteral("sub dir")), 1);
  EXPECT_FALSE(QFileInfo::exists(server.Root(QStringLiteral("sub dir"))));
  // A refused operation reports the server's answer.
  EXPECT_EQ(ftp.DeleteFile(QStringLiteral("missing.bin")), 0);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].number, 12003);
  raised.clear();
  ftp.SetCurDir(QStringLiteral("no-such-folder"));
  EXPECT_EQ(raised.size(), 1u);
  EXPECT_EQ(ftp.CurDir(), server.Root());
}

TEST_F(SftpTest, AnUnknownUserIsRefused) {
  McWinFTP ftp;
  Prepare(ftp);
  ftp.SetUser(QStringLiteral("nobody-here"));
  ftp.SetHostKeyApprover([](const QString&, const QString&) { return true; });
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  EXPECT_EQ(raised.size(), 1u);
}

class QuietView : public lm::IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override {}
  void AddListLine(const QString&) override {}
};

TEST_F(SftpTest, PublishesADatTreeAndThenAnUpdate) {
  const QString dat = server.Work(QStringLiteral("DAT"));
  auto file = [&](const QString& rel, const QByteArray& bytes, int day) {
    const QString path = dat + QLatin1Char('/') + rel;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.setFileTime(QDateTime(QDate(2026, 3, day), QTime(12, 0)), QFileDevice::FileModificationTime);
  };
  auto run = [&] {
    QuietView view;
    EXPECT_EQ(lm::WriteIndexFiles(dat + QLatin1Char('/'), QStringLiteral("2026 12 31 9 0 "), 1, view), 0);
    McWinFTP ftp;
    Prepare(ftp);
    ftp.SetHostKeyApprover([](const QString&, const QString&) { return true; });
    QString message;
    lm::Profile p;
    p.server = QStringLiteral("sftp://127.0.0.1:%1").arg(server.Port());
    p.userid = CurrentUser();
    p.dirserver = server.Root(QStringLiteral("site/dat"));
    EXPECT_TRUE(lm::OpenProfileSession(ftp, p, QString(), message)) << message.toStdString();
    EXPECT_TRUE(lm::EnterServerFolder(ftp, p.dirserver, message)) << message.toStdString();
    const QString copy = server.Work(QStringLiteral("indexserver.fet"));
    EXPECT_TRUE(lm::FetchServerIndex(ftp, copy, message)) << message.toStdString();
    EXPECT_EQ(lm::CompareIndexFiles(dat + QStringLiteral("/index.fet"), copy), 0);
    lm::UploadHooks hooks;
    hooks.confirmDeletions = [](int) { return true; };
    return lm::UploadChanges(ftp, dat, lm::uploadList, lm::deleteList, hooks);
  };
  file(QStringLiteral("mio00.euu"), "mio", 1);
  file(QStringLiteral("img/a.bmp"), QByteArray(50000, 'a'), 1);
  file(QStringLiteral("img/b.bmp"), "b", 1);
  lm::UploadOutcome first = run();
  ASSERT_EQ(first.status, lm::UploadOutcome::Done) << first.message.toStdString();
  EXPECT_EQ(first.filesSent, 4);

  // Empty files have a size of 0 on the server too.
  file(QStringLiteral("empty.txt"), QByteArray(), 2);
  lm::UploadOutcome withEmpty = run();
  ASSERT_EQ(withEmpty.status, lm::UploadOutcome::Done) << withEmpty.message.toStdString();
  EXPECT_EQ(withEmpty.sentOrder, QStringList({QStringLiteral("empty.txt"), QStringLiteral("index.fet")}));
  EXPECT_EQ(QFileInfo(server.Root(QStringLiteral("site/dat/empty.txt"))).size(), 0);
  EXPECT_TRUE(QFileInfo(server.Root(QStringLiteral("site/dat/empty.txt"))).isFile());

  file(QStringLiteral("img/a.bmp"), QByteArray(60000, 'A'), 4);
  QFile::remove(dat + QStringLiteral("/img/b.bmp"));
  lm::UploadOutcome update = run();
  ASSERT_EQ(update.status, lm::UploadOutcome::Done) << update.message.toStdString();
  EXPECT_EQ(update.sentOrder, QStringList({QStringLiteral("img/a.bmp"), QStringLiteral("index.fet")}));
  EXPECT_EQ(update.deleted, 1);
  QFile a(server.Root(QStringLiteral("site/dat/img/a.bmp")));
  ASSERT_TRUE(a.open(QIODevice::ReadOnly));
  EXPECT_EQ(a.readAll(), QByteArray(60000, 'A'));
  EXPECT_FALSE(QFile::exists(server.Root(QStringLiteral("site/dat/img/b.bmp"))));
  QFile index(server.Root(QStringLiteral("site/dat/index.fet")));
  QFile localIndex(dat + QStringLiteral("/index.fet"));
  ASSERT_TRUE(index.open(QIODevice::ReadOnly) && localIndex.open(QIODevice::ReadOnly));
  EXPECT_EQ(index.readAll(), localIndex.readAll());
}

}  // namespace
