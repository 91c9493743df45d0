// Publishing a DAT tree to a real FTP server (pyftpdlib on 127.0.0.1): the
// index written by our writer, the server's index fetched, the comparison
// run, and the changes sent, with the server's tree checked afterwards.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>

#include "index/index_writer.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "sync/check_differ.h"
#include "sync/ftp_test_server.h"
#include "sync/local_tree.h"
#include "sync/mc_win_ftp.h"
#include "sync/server_upload.h"
#include "sync/sync_test_print.h"

namespace {

using namespace lm;
using lmtest::FtpTestServer;

class QuietView : public IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override {}
  void AddListLine(const QString&) override {}
};

using lmtest::TreeOf;

class ServerUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dat = tree.MakeDir(QStringLiteral("script/DAT"));
    QDir().mkpath(server.Root(QStringLiteral("pub")));
  }

  void File(const QString& rel, const QByteArray& bytes, int day = 1) {
    tree.WriteFile(QStringLiteral("script/DAT/") + rel, bytes);
    tree.SetModified(QStringLiteral("script/DAT/") + rel, QDateTime(QDate(2026, 3, day), QTime(12, 0)));
  }

  // One whole run as the main window does it; `prepare` may adjust the hooks.
  UploadOutcome Run(UploadHooks hooks = {}, const QString& password = QString::fromLatin1(FtpTestServer::kPassword)) {
    QuietView view;
    EXPECT_EQ(WriteIndexFiles(dat + QLatin1Char('/'), QStringLiteral("2026 12 31 9 0 "), 1, view), 0);
    McWinFTP ftp;
    ftp.SetTimeoutSeconds(10);
    Profile p;
    p.server = QStringLiteral("ftp://127.0.0.1:%1").arg(server.Port());
    p.userid = QString::fromLatin1(FtpTestServer::kUser);
    p.dirserver = QStringLiteral("/pub/dat");
    QString message;
    if (!OpenProfileSession(ftp, p, password, message)) {
      UploadOutcome failed;
      failed.message = message;
      return failed;
    }
    EXPECT_TRUE(EnterServerFolder(ftp, p.dirserver, message)) << message.toStdString();
    const QString copy = tree.Path(QStringLiteral("indexserver.fet"));
    EXPECT_TRUE(FetchServerIndex(ftp, copy, message)) << message.toStdString();
    EXPECT_EQ(CompareIndexFiles(dat + QStringLiteral("/index.fet"), copy), 0);
    lastUploads = uploadList;
    if (!hooks.confirmDeletions) hooks.confirmDeletions = [this](int n) { confirmed.push_back(n); return true; };
    return UploadChanges(ftp, dat, uploadList, deleteList, hooks);
  }

  std::map<QString, QByteArray> ServerTree() const { return TreeOf(server.Root(QStringLiteral("pub/dat"))); }
  std::map<QString, QByteArray> LocalTree() const { return TreeOf(dat); }

  // The STOR commands in the order the server received them (file names only).
  QStringList Stored() const {
    QStringList out;
    for (const QString& c : server.Commands())
      if (c.startsWith(QLatin1String("STOR "))) out << c.mid(5);
    return out;
  }
  QStringList RenamedTo() const {
    QStringList out;
    for (const QString& c : server.Commands())
      if (c.startsWith(QLatin1String("RNTO "))) out << c.mid(5);
    return out;
  }

  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
  FtpTestServer server;
  QString dat;
  QStringList lastUploads;
  std::vector<int> confirmed;
};

TEST_F(ServerUploadTest, FirstUploadIntoAnEmptyFolderThenAnUpdate) {
  File(QStringLiteral("mio00.euu"), "mio data");
  File(QStringLiteral("img/title.bmp"), QByteArray(70000, 'b'));
  File(QStringLiteral("img/old/gone.txt"), "will be deleted");
  File(QStringLiteral("keep.txt"), "unchanged");
  File(QStringLiteral("change.txt"), "first");

  UploadOutcome first = Run();
  ASSERT_EQ(first.status, UploadOutcome::Done) << first.message.toStdString();
  EXPECT_EQ(ServerTree(), LocalTree());
  EXPECT_EQ(first.filesSent, 6);  // five files and index.fet
  // index.fet is put in place last, after every other file.
  ASSERT_FALSE(RenamedTo().isEmpty());
  EXPECT_EQ(RenamedTo().last(), QStringLiteral("/pub/dat/index.fet"));
  EXPECT_EQ(Stored().last(), QStringLiteral(".index.fet.lmpart"));
  EXPECT_TRUE(confirmed.empty());  // nothing to delete

  // The update: one file changed, one new file in a new folder, a file and
  // a folder deleted.
  const int commandsBefore = static_cast<int>(server.Commands().size());
  File(QStringLiteral("change.txt"), "second version", 5);
  File(QStringLiteral("new/deeper/fresh.txt"), "fresh", 5);
  ASSERT_TRUE(QDir(dat + QStringLiteral("/img/old")).removeRecursively());
  UploadOutcome update = Run();
  ASSERT_EQ(update.status, UploadOutcome::Done) << update.message.toStdString();
  EXPECT_EQ(ServerTree(), LocalTree());
  EXPECT_EQ(update.sentOrder, QStringList({QStringLiteral("change.txt"), QStringLiteral("new/deeper/fresh.txt"),
                                           QStringLiteral("index.fet")}));
  ASSERT_EQ(confirmed.size(), 1u);
  EXPECT_EQ(confirmed[0], 2);  // \img\old\ and \img\old\gone.txt
  EXPECT_EQ(update.deleted, 2);
  // In the server's log of this run the new index comes after the deletions.
  const QStringList commands = server.Commands().mid(commandsBefore);
  const auto at = [&](const QString& c) { return commands.indexOf(c); };
  EXPECT_GE(at(QStringLiteral("DELE /pub/dat/img/old/gone.txt")), 0);
  EXPECT_LT(at(QStringLiteral("RMD /pub/dat/img/old")), at(QStringLiteral("RNTO /pub/dat/index.fet")));
  EXPECT_LT(at(QStringLiteral("RNTO /pub/dat/change.txt")), at(QStringLiteral("STOR .index.fet.lmpart")));
}

TEST_F(ServerUploadTest, DeletionsThatTheAuthorDeclinesStay) {
  File(QStringLiteral("a.txt"), "a");
  File(QStringLiteral("b.txt"), "b");
  ASSERT_EQ(Run().status, UploadOutcome::Done);
  QFile::remove(dat + QStringLiteral("/b.txt"));
  UploadHooks hooks;
  hooks.confirmDeletions = [](int) { return false; };
  const UploadOutcome outcome = Run(hooks);
  ASSERT_EQ(outcome.status, UploadOutcome::Done);
  EXPECT_TRUE(QFile::exists(server.Root(QStringLiteral("pub/dat/b.txt"))));
  EXPECT_EQ(outcome.deleted, 0);
}

TEST_F(ServerUploadTest, ACancelledRunLeavesTheServerIndexAndASecondRunFinishes) {
  for (int i = 0; i < 8; ++i) File(QStringLiteral("f%1.bin").arg(i), QByteArray(200000 + i, char('a' + i)));
  UploadHooks hooks;
  hooks.progress = [](const UploadProgress& p) { return p.filesDone < 3; };
  const UploadOutcome cancelled = Run(hooks);
  EXPECT_EQ(cancelled.status, UploadOutcome::Cancelled);
  EXPECT_EQ(cancelled.filesSent, 3);
  EXPECT_FALSE(QFile::exists(server.Root(QStringLiteral("pub/dat/index.fet"))));
  // No partial file is left under its real name.
  for (const auto& [rel, bytes] : ServerTree()) EXPECT_FALSE(rel.endsWith(QLatin1String(".lmpart"))) << rel.toStdString();

  const UploadOutcome second = Run();
  ASSERT_EQ(second.status, UploadOutcome::Done) << second.message.toStdString();
  EXPECT_EQ(ServerTree(), LocalTree());
}

TEST_F(ServerUploadTest, ProgressCountsFilesAndBytes) {
  File(QStringLiteral("one.bin"), QByteArray(300000, '1'));
  File(QStringLiteral("two.bin"), QByteArray(5, '2'));
  UploadProgress last;
  qint64 maxBytes = 0;
  UploadHooks hooks;
  hooks.progress = [&](const UploadProgress& p) {
    last = p;
    maxBytes = std::max(maxBytes, p.bytesDone);
    EXPECT_LE(p.bytesDone, p.bytesTotal);
    return true;
  };
  ASSERT_EQ(Run(hooks).status, UploadOutcome::Done);
  EXPECT_EQ(last.filesTotal, 3);
  EXPECT_EQ(last.filesDone, 3);
  EXPECT_EQ(last.bytesDone, last.bytesTotal);
  EXPECT_EQ(last.bytesTotal, 300005 + QFileInfo(dat + QStringLiteral("/index.fet")).size());
}

TEST_F(ServerUploadTest, AWrongPasswordStopsBeforeAnythingIsSent) {
  File(QStringLiteral("a.txt"), "a");
  const UploadOutcome outcome = Run({}, QStringLiteral("wrong"));
  EXPECT_EQ(outcome.status, UploadOutcome::Failed);
  EXPECT_TRUE(outcome.message.contains(QStringLiteral("530"))) << outcome.message.toStdString();
  EXPECT_TRUE(Stored().isEmpty());
}

TEST(RemotePaths, ComparisonPathsAndServerTexts) {
  EXPECT_EQ(RemoteRelativePath(QStringLiteral("\\img\\a.bmp")), QStringLiteral("img/a.bmp"));
  EXPECT_EQ(RemoteRelativePath(QStringLiteral("\\img\\")), QStringLiteral("img"));

  struct Case {
    const char* text;
    bool ok;
    RemoteScheme scheme;
    const char* host;
    int port;
  } cases[] = {
      {"ftp.example.jp", true, RemoteScheme::Ftp, "ftp.example.jp", 0},
      {"ftp://ftp.example.jp:2121", true, RemoteScheme::Ftp, "ftp.example.jp", 2121},
      {"FTPS://secure.example.jp/", true, RemoteScheme::Ftps, "secure.example.jp", 0},
      {"sftp://[::1]:2222", true, RemoteScheme::Sftp, "::1", 2222},
      {"host:21", true, RemoteScheme::Ftp, "host", 21},
      {"http://example.jp", false, RemoteScheme::Ftp, "", 0},
      {"ftp://", false, RemoteScheme::Ftp, "", 0},
      {"ftp://host:99999", false, RemoteScheme::Ftp, "", 0},
      {"ftp://user@host", false, RemoteScheme::Ftp, "", 0},
      {"ftp://host/path", false, RemoteScheme::Ftp, "", 0},
  };
  for (const Case& c : cases) {
    RemoteServer s;
    ASSERT_EQ(ParseServerText(QString::fromUtf8(c.text), s), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(s.scheme, c.scheme) << c.text;
    EXPECT_EQ(s.host, QString::fromUtf8(c.host)) << c.text;
    EXPECT_EQ(s.port, c.port) << c.text;
  }
  RemoteServer sftp;
  ASSERT_TRUE(ParseServerText(QStringLiteral("sftp://h"), sftp));
  EXPECT_EQ(EffectivePort(sftp, 21), 22);
  EXPECT_EQ(JoinRemotePath(QStringLiteral("/a/b"), QStringLiteral("../c/./d/")), QStringLiteral("/a/c/d"));
  EXPECT_EQ(JoinRemotePath(QStringLiteral("/a"), QStringLiteral("/x/../../y")), QStringLiteral("/y"));
}

}  // namespace
