// The publish run against real servers on 127.0.0.1 (pyftpdlib for FTP,
// OpenSSH's sshd for SFTP): trees whose names share prefixes, one-character
// names, empty files, Shift-JIS names and blanks; changes the index cannot
// show; hostile server indexes; a reply lost after a rename; the check of
// the server afterwards and on demand. After every run the server folder
// holds exactly what index.fet lists, or the run failed and the server's
// index.fet is the old one.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>

#include "index/index_writer.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "sync/ftp_test_server.h"
#include "sync/local_tree.h"
#include "sync/mc_win_ftp.h"
#include "sync/profile_scope.h"
#include "sync/publish.h"
#include "sync/publish_record.h"
#include "sync/ssh_test_server.h"
#include "sync/sync_test_print.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace {

using namespace lm;
using lmtest::FtpTestServer;

class QuietView final : public IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override {}
  void AddListLine(const QString&) override {}
};

// Answers every question with yes and records what was asked.
class YesQuestions final : public PublishQuestions {
 public:
  bool Password(const Profile& profile, QString& password) override {
    password = profile.password;
    return true;
  }
  bool TrustNewCertificate(const QString&) override { return false; }
  bool TrustChangedCertificate(const QString&, const QString&) override { return false; }
  bool TrustNewHostKey(const QString&, const QString&) override { return true; }
  bool RewriteStaleIndex(int count, const QString& first, QString& why) override {
    staleCount = count;
    staleFirst = first;
    if (!rewrite) {
      why = QStringLiteral("stale");
      return false;
    }
    return rewrite();
  }
  bool ConfirmPlan(const PublishPlan& p) override {
    plan = p;
    return true;
  }
  bool ConfirmDeletions(int) override { return true; }
  bool Progress(const UploadProgress& p) override {
    if (onProgress) onProgress(p);
    return true;
  }

  std::function<bool()> rewrite;
  std::function<void(const UploadProgress&)> onProgress;
  int staleCount = 0;
  QString staleFirst;
  PublishPlan plan;
};

using lmtest::TreeOf;

// Puts a file on the server behind the program's back.
void WriteServerFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(f.write(bytes), bytes.size());
}

// The same by the names' own bytes (as Latin-1 texts), read with the
// system's directory calls, since the names need not be UTF-8.
void RawTree(const QByteArray& root, const QByteArray& rel, std::map<QString, QByteArray>& out) {
  DIR* d = ::opendir((root + (rel.isEmpty() ? QByteArray() : "/" + rel)).constData());
  ASSERT_NE(d, nullptr);
  while (const dirent* e = ::readdir(d)) {
    const QByteArray name(e->d_name);
    if (name == "." || name == "..") continue;
    const QByteArray child = rel.isEmpty() ? name : rel + "/" + name;
    const QByteArray full = root + "/" + child;
    struct stat st {};
    ASSERT_EQ(::stat(full.constData(), &st), 0);
    if (S_ISDIR(st.st_mode)) {
      out[QString::fromLatin1(child + "/")] = QByteArray();
      RawTree(root, child, out);
    } else {
      QByteArray bytes;
      const int fd = ::open(full.constData(), O_RDONLY);
      ASSERT_GE(fd, 0);
      char buf[4096];
      for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) bytes.append(buf, n);
      ::close(fd);
      out[QString::fromLatin1(child)] = bytes;
    }
  }
  ::closedir(d);
}

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.WriteFile(QStringLiteral("scripts/sample.ugu"), "ugu");
    tree.MakeDir(QStringLiteral("scripts/SAMPLE/DAT"));
  }

  QString Dat(const QString& rel = QString()) const {
    return tree.Path(QStringLiteral("scripts/SAMPLE/DAT")) + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
  }
  void File(const QString& rel, const QByteArray& bytes) {
    tree.WriteFile(QStringLiteral("scripts/SAMPLE/DAT/") + rel, bytes);
  }
  void WriteIndex() {
    QuietView view;
    ASSERT_EQ(WriteIndexFiles(Dat() + QLatin1Char('/'), QStringLiteral("2026 12 31 9 0 "), 1, view), 0);
  }
  ScriptLayout Layout() const {
    ScriptLayout layout;
    QString message;
    CheckScriptLayout(tree.Path(QStringLiteral("scripts/sample.ugu")), layout, message);
    return layout;
  }

  // Runs `change` once, when the upload reaches the file `path`.
  void ChangeWhenSending(const QString& path, std::function<void()> change) {
    auto done = std::make_shared<bool>(false);
    questions.onProgress = [path, change, done](const UploadProgress& p) {
      if (*done || p.current != path) return;
      *done = true;
      change();
    };
  }
  // From now on DAT stays as it is, and a stale index is written anew when
  // the run asks.
  void RewriteStaleIndex() {
    questions.onProgress = nullptr;
    questions.rewrite = [this] {
      WriteIndex();
      return true;
    };
  }

  // The server folder equals DAT (index files included, the left-out names
  // aside), byte for byte.
  void ExpectServerEqualsDat(const QString& serverFolder) {
    std::map<QString, QByteArray> dat = TreeOf(Dat());
    EXPECT_EQ(TreeOf(serverFolder), dat);
  }

  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
  lmtest::CurrentProfileScope scope{tree.Path(), 4};
  YesQuestions questions;
};

class FtpPublishTest : public PublishTest {
 protected:
  void SetUp() override {
    PublishTest::SetUp();
    StartServer({});
  }
  void StartServer(const QStringList& options) {
    server = std::make_unique<FtpTestServer>();
    if (!options.isEmpty()) server->RestartWith(options);
    ASSERT_GT(server->Port(), 0);
    profile.server = QStringLiteral("ftp://127.0.0.1:%1").arg(server->Port());
    profile.userid = QString::fromLatin1(FtpTestServer::kUser);
    profile.password = QString::fromLatin1(FtpTestServer::kPassword);
    profile.dirserver = QStringLiteral("/site/dat");
    profile.profile = QStringLiteral("Sample");
  }
  QString Site(const QString& rel = QString()) const {
    return server->Root(QStringLiteral("site/dat")) + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
  }
  PublishResult Publish() { return PublishScript(profile, Layout(), questions); }

  Profile profile;
  std::unique_ptr<FtpTestServer> server;
};

struct TreeCase {
  const char* name;
  std::vector<const char*> files;  // a trailing "/" makes an empty folder
};

const TreeCase kTrees[] = {
    {"se and se2", {"se/a.wav", "se2/a.wav", "se2/b.wav"}},
    {"img and img 2", {"img/title.bmp", "img 2/title.bmp", "img.txt"}},
    {"A and A-B", {"A/x.txt", "A-B/y.txt", "A-B/A/z"}},
    {"x and x.y", {"x/in.txt", "x.y", "x/x.y/deep"}},
    {"one character", {"a", "b/c", "b/d/e", "f/"}},
    {"empty files", {"empty", "sub/empty", "sub/"}},
    {"blanks", {"a b/c d", "a b c/e", "a/ f"}},
};

void MakeTree(PublishTest& t, const TreeCase& c, const std::function<void(const QString&, const QByteArray&)>& file,
              lmtest::TempTree& tree) {
  for (const char* f : c.files) {
    const QString rel = QString::fromUtf8(f);
    if (rel.endsWith(QLatin1Char('/'))) {
      tree.MakeDir(QStringLiteral("scripts/SAMPLE/DAT/") + rel);
    } else {
      file(rel, rel.contains(QStringLiteral("empty")) ? QByteArray() : rel.toUtf8() + QByteArray(100, '.'));
    }
  }
  (void)t;
}

TEST_F(FtpPublishTest, EveryTreeReachesTheServerAsItIs) {
  for (const TreeCase& c : kTrees) {
    SCOPED_TRACE(c.name);
    QDir(Dat()).removeRecursively();
    QDir(server->Root()).removeRecursively();
    QDir().mkpath(server->Root());
    QFile::remove(tree.Path(QStringLiteral("indexserver.fet")));
    for (const QString& f : QDir(tree.Path()).entryList({QStringLiteral("lfup-published-*")}, QDir::Files))
      QFile::remove(tree.Path(f));
    tree.MakeDir(QStringLiteral("scripts/SAMPLE/DAT"));
    MakeTree(*this, c, [this](const QString& rel, const QByteArray& b) { File(rel, b); }, tree);
    WriteIndex();
    const PublishResult first = Publish();
    ASSERT_EQ(first.status, PublishResult::Done) << first.message.toStdString();
    EXPECT_TRUE(first.differences.isEmpty());
    ExpectServerEqualsDat(Site());
    // Nothing changed: nothing but the index files is sent.
    const PublishResult again = Publish();
    ASSERT_EQ(again.status, PublishResult::Done) << again.message.toStdString();
    EXPECT_TRUE(questions.plan.files.isEmpty()) << questions.plan.files.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(questions.plan.deletions.isEmpty());
    // The check on demand agrees.
    const PublishResult check = VerifyServer(profile, Layout(), questions);
    EXPECT_EQ(check.status, PublishResult::Done) << check.message.toStdString();
  }
}

// A change within the same minute that keeps the size: the index cannot
// show it, the record of the last publish does.
TEST_F(FtpPublishTest, AChangeTheIndexCannotShowIsSentAnyway) {
  File(QStringLiteral("news.txt"), "version 1");
  File(QStringLiteral("img/a.bmp"), "bitmap");
  const QDateTime minute(QDate(2026, 3, 1), QTime(12, 0, 10));
  tree.SetModified(QStringLiteral("scripts/SAMPLE/DAT/news.txt"), minute);
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);
  const QByteArray indexBefore = tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/index.fet"));

  File(QStringLiteral("news.txt"), "version 2");
  tree.SetModified(QStringLiteral("scripts/SAMPLE/DAT/news.txt"), minute.addSecs(20));
  WriteIndex();
  ASSERT_EQ(tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/index.fet")), indexBefore);
  const PublishResult update = Publish();
  ASSERT_EQ(update.status, PublishResult::Done) << update.message.toStdString();
  EXPECT_EQ(questions.plan.files, QStringList{QStringLiteral("\\news.txt")});
  ExpectServerEqualsDat(Site());

  // Touched without a change: the SHA-256 says it is the same.
  tree.SetModified(QStringLiteral("scripts/SAMPLE/DAT/news.txt"), minute.addSecs(30));
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);
  EXPECT_TRUE(questions.plan.files.isEmpty());

  // Removed from DAT: deleted on the server, and the check agrees.
  QFile::remove(Dat(QStringLiteral("img/a.bmp")));
  QDir(Dat()).rmdir(QStringLiteral("img"));
  WriteIndex();
  const PublishResult removal = Publish();
  ASSERT_EQ(removal.status, PublishResult::Done) << removal.message.toStdString();
  EXPECT_EQ(questions.plan.deletions, (QStringList{QStringLiteral("\\img\\"), QStringLiteral("\\img\\a.bmp")}));
  ExpectServerEqualsDat(Site());
}

// A file saved again within the same second as the published version,
// with the same size: whole seconds cannot tell them apart, the record's
// finer stamp can. A record written by an older version (whole seconds)
// still works: its files are read again and compared.
TEST_F(FtpPublishTest, ASameSecondEditOfTheSameSizeIsSent) {
  File(QStringLiteral("news.txt"), "version 1");
  const QString news = Dat(QStringLiteral("news.txt"));
  const auto setTime = [&](long nsec) {
    const struct timespec times[2] = {{1772366410, nsec}, {1772366410, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(news).constData(), times, 0), 0);
  };
  setTime(100'000'000);
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);

  // Saved again half a second later in the same second.
  const auto saveAndPublish = [&](const QByteArray& bytes, const QStringList& sent) {
    File(QStringLiteral("news.txt"), bytes);
    setTime(600'000'000);
    const PublishResult r = Publish();
    ASSERT_EQ(r.status, PublishResult::Done) << r.message.toStdString();
    EXPECT_EQ(questions.plan.files, sent);
    ExpectServerEqualsDat(Site());
  };
  saveAndPublish("version 2", {QStringLiteral("\\news.txt")});

  // The record as an older version wrote it: the same file is found unchanged
  // by its bytes, a changed one is sent.
  const QStringList records = QDir(tree.Path()).entryList({QStringLiteral("lfup-published-*")}, QDir::Files);
  ASSERT_EQ(records.size(), 1);
  const QString recordPath = tree.Path() + QLatin1Char('/') + records[0];
  QByteArray record;
  ASSERT_TRUE(ReadFileBytes(recordPath, record));
  QList<QByteArray> lines = record.split('\n');
  ASSERT_EQ(lines[0], QByteArray("#Loftmark published files 2"));
  QByteArray old = "#Loftmark published files 1\n";
  for (const QByteArray& line : lines.mid(1)) {
    const QList<QByteArray> parts = line.split(' ');
    if (line.startsWith('#') || parts.size() < 7) continue;
    old += parts[0] + ' ' + parts[1] + ' ' + parts[2].left(parts[2].indexOf('.')) + ' ' +
           line.mid(line.indexOf(' ' + parts[5] + ' ' + parts[6]) + 3) + '\n';
  }
  ASSERT_TRUE(old.contains(" 1772366410 news.txt\n")) << old.toStdString();
  ASSERT_TRUE(WriteFileAtomically(recordPath, old));
  saveAndPublish("version 2", {});
  ASSERT_TRUE(WriteFileAtomically(recordPath, old));
  saveAndPublish("version 3", {QStringLiteral("\\news.txt")});
}

// The record keeps the whole stamp, names with blanks included, and reads
// what an older version wrote; only a file read well after its last write
// counts as settled.
TEST(PublishRecordTest, StampsSurviveTheRecordAndOnlyOldWritesSettle) {
  lmtest::TempTree dir;
  Profile profile;
  profile.profile = QStringLiteral("P");
  PublishRecord record;
  const QByteArray sha(64, 'a');
  record.files.insert(QStringLiteral("a b/c d.txt"),
                      PublishedFile{5, 1772366410, sha, FileStamp{5, 1772366410, 7, 1772366411, 999999999, 42}, true});
  record.files.insert(QStringLiteral("x"), PublishedFile{0, 9, sha, FileStamp{}, true});
  const QString path = PublishRecordPath(dir.Path(), profile);
  ASSERT_TRUE(WritePublishRecord(path, profile, record));
  const PublishRecord back = ReadPublishRecord(path);
  ASSERT_EQ(back.files.size(), 2);
  const PublishedFile& f = back.files[QStringLiteral("a b/c d.txt")];
  EXPECT_EQ(f.sha256, sha);
  EXPECT_TRUE(f.stamp == record.files[QStringLiteral("a b/c d.txt")].stamp);
  EXPECT_TRUE(f.settled);
  EXPECT_EQ(f.seconds, 1772366410);
  // Not known: written as not settled, so that it is read again.
  EXPECT_FALSE(back.files[QStringLiteral("x")].settled);

  dir.WriteFile(QStringLiteral("old.txt"), "#Loftmark published files 1\n" + sha + " 3 1700000000 dir/a b.txt\n");
  const PublishRecord old = ReadPublishRecord(dir.Path(QStringLiteral("old.txt")));
  ASSERT_EQ(old.files.size(), 1);
  const PublishedFile& o = old.files[QStringLiteral("dir/a b.txt")];
  EXPECT_EQ(o.size, 3);
  EXPECT_EQ(o.seconds, 1700000000);
  EXPECT_FALSE(o.stamp.known());
  EXPECT_FALSE(o.settled);

  struct Case {
    qint64 modified, changed, readAt;  // seconds
    bool settled;
  } const cases[] = {
      {100, 100, 104, true}, {100, 100, 103, false}, {100, 102, 104, false}, {102, 100, 104, false}, {100, 100, 100, false},
  };
  for (const Case& c : cases) {
    const FileStamp stamp{1, c.modified, 0, c.changed, 0, 1};
    EXPECT_EQ(SettledStamp(stamp, c.readAt * 1'000'000'000), c.settled) << c.modified << " " << c.changed << " " << c.readAt;
  }
  EXPECT_FALSE(SettledStamp(FileStamp{}, 1'000'000'000'000'000'000));
}

// The author saves a file again while the run is still sending others: the
// server keeps what was sent, and the next run must not take the new
// content for the one on the server, however its size and minute look.
TEST_F(FtpPublishTest, AFileChangedAfterItWasSentIsSentByTheNextRun) {
  File(QStringLiteral("news.txt"), "version 1");
  File(QStringLiteral("zz.txt"), "later file");
  WriteIndex();
  ChangeWhenSending(QStringLiteral("\\zz.txt"), [this] {
    File(QStringLiteral("news.txt"), "version 2");
    tree.SetModified(QStringLiteral("scripts/SAMPLE/DAT/news.txt"), QDateTime::currentDateTime().addSecs(120));
  });
  const PublishResult first = Publish();
  ASSERT_EQ(first.status, PublishResult::Done) << first.message.toStdString();
  ASSERT_EQ(tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/news.txt")), QByteArray("version 2"));
  EXPECT_EQ(lmtest::TreeOf(Site())[QStringLiteral("news.txt")], QByteArray("version 1"));

  RewriteStaleIndex();
  const PublishResult next = Publish();
  ASSERT_EQ(next.status, PublishResult::Done) << next.message.toStdString();
  EXPECT_EQ(questions.plan.files, QStringList{QStringLiteral("\\news.txt")});
  ExpectServerEqualsDat(Site());
}

// A file that changes after DAT was scanned and before it is sent: what
// would reach the server is not what index.fet describes, so the run stops
// before the index files and says which file changed; the next run sends it.
TEST_F(FtpPublishTest, AFileChangedBeforeItIsSentStopsTheRunBeforeTheIndex) {
  File(QStringLiteral("a.txt"), "first");
  File(QStringLiteral("b.txt"), "second");
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);
  const QByteArray serverIndex = lmtest::TreeOf(Site())[QStringLiteral("index.fet")];
  File(QStringLiteral("a.txt"), "first, changed");
  File(QStringLiteral("b.txt"), "second, changed");
  WriteIndex();
  ChangeWhenSending(QStringLiteral("\\a.txt"),
                    [this] { File(QStringLiteral("b.txt"), "second, changed again and longer"); });
  const PublishResult r = Publish();
  ASSERT_EQ(tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/b.txt")), QByteArray("second, changed again and longer"));
  EXPECT_EQ(r.status, PublishResult::Failed);
  EXPECT_TRUE(r.message.contains(QStringLiteral("\\b.txt"))) << r.message.toStdString();
  EXPECT_TRUE(r.message.contains(QStringLiteral("変更"))) << r.message.toStdString();
  EXPECT_EQ(lmtest::TreeOf(Site())[QStringLiteral("index.fet")], serverIndex);

  RewriteStaleIndex();
  const PublishResult next = Publish();
  ASSERT_EQ(next.status, PublishResult::Done) << next.message.toStdString();
  ExpectServerEqualsDat(Site());
}

// The author changes only the letter case of names. A server that finds
// names without regard to case (as Windows servers do) holds one entry for
// the old and the new name: deleting the old name must not delete what was
// just sent, and the server must end up with the names as DAT spells them.
// A server that tells case apart gets the same result.
TEST_F(FtpPublishTest, NamesThatChangeOnlyInCaseArriveOnEveryServer) {
  for (const bool insensitive : {true, false}) {
    SCOPED_TRACE(insensitive ? "case-insensitive server" : "case-sensitive server");
    StartServer(insensitive ? QStringList{QStringLiteral("--case-insensitive")} : QStringList());
    QDir(Dat()).removeRecursively();
    for (const QString& f : QDir(tree.Path()).entryList({QStringLiteral("lfup-published-*")}, QDir::Files))
      QFile::remove(tree.Path(f));
    File(QStringLiteral("Readme.txt"), "read me");
    File(QStringLiteral("IMG/a.bmp"), "bitmap a");
    File(QStringLiteral("IMG/Sub/b.txt"), "b");
    File(QStringLiteral("keep.txt"), "kept");
    WriteIndex();
    const PublishResult first = Publish();
    ASSERT_EQ(first.status, PublishResult::Done) << first.message.toStdString();

    ASSERT_TRUE(QDir(Dat()).rename(QStringLiteral("Readme.txt"), QStringLiteral("readme.txt")));
    ASSERT_TRUE(QDir(Dat()).rename(QStringLiteral("IMG"), QStringLiteral("img")));
    ASSERT_TRUE(QDir(Dat(QStringLiteral("img"))).rename(QStringLiteral("Sub"), QStringLiteral("sub")));
    WriteIndex();
    const PublishResult renamed = Publish();
    ASSERT_EQ(renamed.status, PublishResult::Done) << renamed.message.toStdString();
    EXPECT_EQ(questions.plan.renames,
              (QList<CaseRename>{{QStringLiteral("\\IMG\\"), QStringLiteral("\\img\\")},
                                 {QStringLiteral("\\img\\Sub\\"), QStringLiteral("\\img\\sub\\")},
                                 {QStringLiteral("\\Readme.txt"), QStringLiteral("\\readme.txt")}}));
    EXPECT_TRUE(questions.plan.deletions.isEmpty()) << questions.plan.deletions.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(questions.plan.TotalsText().endsWith(QStringLiteral("名前の変更 3 件")));
    ExpectServerEqualsDat(Site());
    EXPECT_EQ(VerifyServer(profile, Layout(), questions).status, PublishResult::Done);

    const PublishResult again = Publish();
    ASSERT_EQ(again.status, PublishResult::Done) << again.message.toStdString();
    EXPECT_TRUE(questions.plan.files.isEmpty()) << questions.plan.files.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(questions.plan.deletions.isEmpty()) << questions.plan.deletions.join(QLatin1Char(' ')).toStdString();
    ExpectServerEqualsDat(Site());
  }
}

// Servers that do less than they say: each run either ends with the server
// folder equal to DAT, or fails naming why, with the server's index.fet the
// one before the run and no temporary file left behind; a run on a well
// behaved server afterwards repairs everything.
struct OddServerCase {
  const char* name;
  std::vector<const char*> options;
  bool done;            // the run can succeed on this server
  const char* because;  // a part of the failure's message
};

const OddServerCase kOddServers[] = {
    {"no SIZE command", {"--no-size"}, true, ""},
    {"no SIZE, no MLSD", {"--no-size", "--no-mlst"}, true, ""},
    {"stores half of each file", {"--truncate-stor"}, false, "大きさ"},
    {"drops the connection during an upload", {"--drop-stor", "b.bmp"}, false, "\\img\\b.bmp"},
    // The server's own reply to the upload is what the author needs to read.
    {"refuses an upload", {"--fail-stor", "b.bmp"}, false, "553 Could not create file"},
};

TEST_F(FtpPublishTest, OddServersEndEqualOrFailNamingWhy) {
  for (const OddServerCase& c : kOddServers) {
    SCOPED_TRACE(c.name);
    QStringList options;
    for (const char* o : c.options) options << QString::fromUtf8(o);
    StartServer({});
    QDir(Dat()).removeRecursively();
    for (const QString& f : QDir(tree.Path()).entryList({QStringLiteral("lfup-published-*")}, QDir::Files))
      QFile::remove(tree.Path(f));
    File(QStringLiteral("a.txt"), "first");
    File(QStringLiteral("img/b.bmp"), QByteArray(300000, 'b'));
    File(QStringLiteral("z/empty"), "");
    WriteIndex();
    const PublishResult first = Publish();
    ASSERT_EQ(first.status, PublishResult::Done) << first.message.toStdString();
    const QByteArray serverIndex = lmtest::TreeOf(Site())[QStringLiteral("index.fet")];

    server->RestartWith(options);
    profile.server = QStringLiteral("ftp://127.0.0.1:%1").arg(server->Port());
    File(QStringLiteral("a.txt"), "first, changed");
    File(QStringLiteral("img/b.bmp"), QByteArray(200000, 'c'));
    File(QStringLiteral("new.txt"), "new");
    WriteIndex();
    const PublishResult r = Publish();
    const std::map<QString, QByteArray> after = lmtest::TreeOf(Site());
    if (c.done) {
      EXPECT_EQ(r.status, PublishResult::Done) << r.message.toStdString();
      ExpectServerEqualsDat(Site());
    } else {
      EXPECT_EQ(r.status, PublishResult::Failed);
      EXPECT_TRUE(r.message.contains(QString::fromUtf8(c.because))) << r.message.toStdString();
      EXPECT_EQ(after.at(QStringLiteral("index.fet")), serverIndex);
    }
    for (const auto& [rel, bytes] : after) EXPECT_FALSE(rel.endsWith(QStringLiteral(".lmpart"))) << rel.toStdString();

    server->RestartWith({});
    profile.server = QStringLiteral("ftp://127.0.0.1:%1").arg(server->Port());
    const PublishResult repair = Publish();
    ASSERT_EQ(repair.status, PublishResult::Done) << repair.message.toStdString();
    ExpectServerEqualsDat(Site());
  }
}

// pyftpdlib takes every name for UTF-8 and stores a Shift-JIS one under
// another name, as a server set to UTF-8 names does: the files arrive, but
// not where index.fet says. The index files are not sent, and the message
// says why.
TEST_F(FtpPublishTest, AServerThatChangesShiftJisNamesNeverGetsTheIndex) {
  File(QStringLiteral("a.txt"), "a");
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);
  const QByteArray serverIndex = lmtest::TreeOf(Site())[QStringLiteral("index.fet")];
  File(QStringLiteral("表/ソ.txt"), "sjis");
  WriteIndex();
  const PublishResult r = Publish();
  EXPECT_EQ(r.status, PublishResult::Failed);
  EXPECT_TRUE(r.message.contains(QStringLiteral("更新定義ファイルを送信しませんでした"))) << r.message.toStdString();
  EXPECT_TRUE(r.message.contains(QStringLiteral("Shift-JIS"))) << r.message.toStdString();
  EXPECT_EQ(lmtest::TreeOf(Site())[QStringLiteral("index.fet")], serverIndex);
}

// Names as long as a file system allows (255 bytes): the temporary name an
// upload goes through must not be longer than the name itself may be.
TEST_F(FtpPublishTest, NamesOfTheLongestLengthArrive) {
  const QString longest(255, QLatin1Char('n'));
  File(longest, "longest");
  File(QStringLiteral("sub/") + QString(250, QLatin1Char('s')), "almost");
  File(QStringLiteral("a.txt"), "a");
  WriteIndex();
  const PublishResult r = Publish();
  ASSERT_EQ(r.status, PublishResult::Done) << r.message.toStdString();
  ExpectServerEqualsDat(Site());
}

// A published file that DAT now holds as a folder of the same name, and a
// published folder that became a file: the old entry is removed first, so
// the new one can take its place. An entry that was never published stays
// and stops the run, naming it.
TEST_F(FtpPublishTest, AFileThatBecameAFolderAndAFolderThatBecameAFileArrive) {
  File(QStringLiteral("x"), "file x");
  File(QStringLiteral("y/in.txt"), "in y");
  File(QStringLiteral("y/deeper/z.txt"), "in y/deeper");
  File(QStringLiteral("a.txt"), "a");
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);

  QFile::remove(Dat(QStringLiteral("x")));
  File(QStringLiteral("x/in.txt"), "now in folder x");
  QDir(Dat(QStringLiteral("y"))).removeRecursively();
  File(QStringLiteral("y"), "now a file");
  WriteIndex();
  const PublishResult r = Publish();
  ASSERT_EQ(r.status, PublishResult::Done) << r.message.toStdString();
  ExpectServerEqualsDat(Site());
  EXPECT_EQ(VerifyServer(profile, Layout(), questions).status, PublishResult::Done);

  // Someone else's folder where DAT has a file: left alone, and named.
  QDir().mkpath(Site(QStringLiteral("foreign")));
  File(QStringLiteral("foreign"), "mine");
  WriteIndex();
  const std::map<QString, QByteArray> before = lmtest::TreeOf(Site());
  const PublishResult refused = Publish();
  EXPECT_EQ(refused.status, PublishResult::Failed);
  EXPECT_TRUE(refused.message.contains(QStringLiteral("\\foreign"))) << refused.message.toStdString();
  EXPECT_EQ(lmtest::TreeOf(Site()), before);
}

TEST_F(FtpPublishTest, AStaleIndexIsNeverSent) {
  File(QStringLiteral("a.txt"), "a");
  WriteIndex();
  File(QStringLiteral("b.txt"), "b");
  const PublishResult refused = Publish();
  EXPECT_EQ(refused.status, PublishResult::Failed);
  EXPECT_EQ(questions.staleCount, 1);
  EXPECT_EQ(questions.staleFirst, QStringLiteral("\\b.txt"));
  EXPECT_FALSE(QFile::exists(Site(QStringLiteral("index.fet"))));

  questions.rewrite = [this] {
    WriteIndex();
    return true;
  };
  const PublishResult sent = Publish();
  ASSERT_EQ(sent.status, PublishResult::Done) << sent.message.toStdString();
  ExpectServerEqualsDat(Site());
}

// indextmp.fet is written only when asked; one left by an earlier run
// describes an older DAT. It is not sent, the server's twin of the old
// index goes, and DAT's stale file stays untouched; written again, it is
// sent once more.
TEST_F(FtpPublishTest, AnIndextmpLeftFromAnEarlierIndexIsNeitherSentNorKeptOnTheServer) {
  struct TmpIndexScope {
    ~TmpIndexScope() { makeTmpIndex = 0; }
  } resetTmpIndex;
  File(QStringLiteral("a.txt"), "a");
  makeTmpIndex = 1;
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);
  ASSERT_TRUE(QFile::exists(Site(QStringLiteral("indextmp.fet"))));
  ExpectServerEqualsDat(Site());

  makeTmpIndex = 0;
  File(QStringLiteral("b"), "b");
  WriteIndex();
  const QByteArray stale = tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/indextmp.fet"));
  const PublishResult r = Publish();
  ASSERT_EQ(r.status, PublishResult::Done) << r.message.toStdString();
  EXPECT_TRUE(r.message.contains(QStringLiteral("indextmp.fet"))) << r.message.toStdString();
  EXPECT_FALSE(QFile::exists(Site(QStringLiteral("indextmp.fet"))));
  EXPECT_EQ(tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/indextmp.fet")), stale);
  std::map<QString, QByteArray> dat = lmtest::TreeOf(Dat());
  dat.erase(QStringLiteral("indextmp.fet"));
  EXPECT_EQ(lmtest::TreeOf(Site()), dat);

  // Nothing on the server to delete: the stale file is still not sent.
  const PublishResult again = Publish();
  ASSERT_EQ(again.status, PublishResult::Done) << again.message.toStdString();
  EXPECT_FALSE(QFile::exists(Site(QStringLiteral("indextmp.fet"))));

  makeTmpIndex = 1;
  WriteIndex();
  const PublishResult fresh = Publish();
  ASSERT_EQ(fresh.status, PublishResult::Done) << fresh.message.toStdString();
  EXPECT_FALSE(fresh.message.contains(QStringLiteral("indextmp.fet"))) << fresh.message.toStdString();
  ExpectServerEqualsDat(Site());

  // Deleted from DAT by the author: the server's twin goes with it.
  QFile::remove(Dat(QStringLiteral("indextmp.fet")));
  const PublishResult removed = Publish();
  ASSERT_EQ(removed.status, PublishResult::Done) << removed.message.toStdString();
  ExpectServerEqualsDat(Site());
}

// The server's index dates a file later than the author's and the author
// keeps the server's version: sending index.fet would claim the author's
// version is there, and the next run would take it as published. Nothing
// is sent, the next run asks again, and a yes sends everything.
TEST_F(FtpPublishTest, AFileKeptAsTheServerHasItSendsNothingAndIsAskedAgain) {
  File(QStringLiteral("a.txt"), "a");
  File(QStringLiteral("news.txt"), "author's");
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);
  // Someone put a newer news.txt on the server, with an index that says so.
  QByteArray serverIndex = lmtest::TreeOf(Site())[QStringLiteral("index.fet")];
  const qsizetype at = serverIndex.indexOf("+news.txt");
  ASSERT_GT(at, 0);
  const qsizetype lineStart = serverIndex.lastIndexOf('\n', at) + 1;
  serverIndex.replace(lineStart, 12, "209901010000");
  WriteServerFile(Site(QStringLiteral("index.fet")), serverIndex);
  WriteServerFile(Site(QStringLiteral("news.txt")), "the server's, longer");
  File(QStringLiteral("a.txt"), "a, changed");
  WriteIndex();
  const std::map<QString, QByteArray> before = lmtest::TreeOf(Site());

  for (int run = 0; run < 2; ++run) {
    boxes.Clear();
    boxes.Answer(button::No);
    const PublishResult r = Publish();
    EXPECT_EQ(r.status, PublishResult::Failed);
    EXPECT_TRUE(r.message.contains(QStringLiteral("\\news.txt"))) << r.message.toStdString();
    ASSERT_EQ(boxes.Shown().size(), 1u) << run;
    EXPECT_TRUE(boxes.Shown()[0].text.contains(QStringLiteral("\\news.txt")));
    EXPECT_EQ(lmtest::TreeOf(Site()), before) << run;
  }

  boxes.Clear();
  boxes.Answer(button::Yes);
  const PublishResult yes = Publish();
  ASSERT_EQ(yes.status, PublishResult::Done) << yes.message.toStdString();
  EXPECT_EQ(boxes.Shown().size(), 1u);
  ExpectServerEqualsDat(Site());
}

// Server indexes whose names would reach outside the folder: the run stops
// naming the name, and nothing on the server changes, inside the folder or
// outside it.
TEST_F(FtpPublishTest, HostileServerIndexesChangeNothing) {
  const char* const lines[] = {
      "202001010000f00000+..\\..\\victim.txt", "202001010000f00000+..",   "202001010000d00000+/etc",
      "202001010000f00000+C:\\victim.txt",     "202001010000f00000+C:x",  "202001010000f00000+\\\\srv\\share\\x",
      "202001010000f00000+evil\x1b[2J.txt",
  };
  File(QStringLiteral("a.txt"), "a");
  WriteIndex();
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    QDir().mkpath(Site());
    QByteArray index = "#NextUpdate 2026 1 1 0 0 \r\n#FieldInfo date 12 attr 1 size 5\r\n";
    index += QByteArray(line) + "\r\n";
    QFile f(Site(QStringLiteral("index.fet")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(index);
    f.close();
    QFile victim(server->Root(QStringLiteral("victim.txt")));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("keep me");
    victim.close();
    const std::map<QString, QByteArray> before = TreeOf(server->Root());
    const PublishResult r = Publish();
    EXPECT_EQ(r.status, PublishResult::Failed);
    EXPECT_TRUE(r.message.contains(QStringLiteral("使えない名前"))) << r.message.toStdString();
    EXPECT_FALSE(r.message.contains(QChar(0x1B)));
    EXPECT_EQ(TreeOf(server->Root()), before);
  }
}

TEST_F(FtpPublishTest, APathListedAThousandTimesIsDeletedOnce) {
  File(QStringLiteral("a.txt"), "a");
  WriteIndex();
  QDir().mkpath(Site());
  QByteArray index = "#NextUpdate 2026 1 1 0 0 \r\n#FieldInfo date 12 attr 1 size 5\r\n";
  for (int i = 0; i < 1000; ++i) index += "202001010000f00000+old.txt\r\n";
  tree.WriteFile(QStringLiteral("unused"), QByteArray());
  QFile f(Site(QStringLiteral("index.fet")));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(index);
  f.close();
  QFile old(Site(QStringLiteral("old.txt")));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.close();
  const PublishResult r = Publish();
  ASSERT_EQ(r.status, PublishResult::Done) << r.message.toStdString();
  EXPECT_EQ(questions.plan.deletions, QStringList{QStringLiteral("\\old.txt")});
  EXPECT_EQ(r.upload.deleted, 1);
  ExpectServerEqualsDat(Site());
}

TEST_F(FtpPublishTest, ALocalIndexThatClimbsOutOfDatReadsNothing) {
  File(QStringLiteral("a.txt"), "a");
  tree.WriteFile(QStringLiteral("secret.txt"), "secret");
  tree.WriteFile(QStringLiteral("scripts/SAMPLE/DAT/index.fet"),
                 "#NextUpdate 2026 1 1 0 0 \r\n#FieldInfo date 12 attr 1 size 5\r\n"
                 "202001010000f00000+..\\..\\..\\secret.txt\r\n");
  const PublishResult r = Publish();
  EXPECT_EQ(r.status, PublishResult::Failed);
  EXPECT_TRUE(r.message.contains(QStringLiteral("..\\..\\..\\secret.txt"))) << r.message.toStdString();
  EXPECT_TRUE(TreeOf(server->Root()).empty());
}

// The connection drops right after the server renamed index.fet into
// place: the client learns from the folder's listing that the rename
// happened and deletes nothing.
TEST_F(FtpPublishTest, ALostReplyAfterTheRenameDeletesNothing) {
  StartServer({QStringLiteral("--drop-after-rnto"), QStringLiteral("index.fet")});
  File(QStringLiteral("a.txt"), "a");
  WriteIndex();
  const PublishResult r = Publish();
  ASSERT_EQ(r.status, PublishResult::Done) << r.message.toStdString();
  EXPECT_TRUE(server->Commands().contains(QStringLiteral("DROPPED after RNTO")));
  for (const QString& c : server->Commands()) EXPECT_FALSE(c.startsWith(QStringLiteral("DELE"))) << c.toStdString();
  ExpectServerEqualsDat(Site());
}

// A download failure that is not "no such file" is no empty server.
TEST_F(FtpPublishTest, AFailedIndexDownloadStopsTheRun) {
  File(QStringLiteral("a.txt"), "a");
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);
  const std::map<QString, QByteArray> before = TreeOf(server->Root());
  server->RestartWith({QStringLiteral("--fail-retr"), QStringLiteral("index.fet")});
  profile.server = QStringLiteral("ftp://127.0.0.1:%1").arg(server->Port());
  File(QStringLiteral("b.txt"), "b");
  WriteIndex();
  const PublishResult r = Publish();
  EXPECT_EQ(r.status, PublishResult::Failed);
  EXPECT_TRUE(r.message.contains(QStringLiteral("451"))) << r.message.toStdString();
  EXPECT_EQ(TreeOf(server->Root()), before);
}

TEST_F(FtpPublishTest, TheCheckNamesWhatIsMissingOrWrongAndLeftovers) {
  File(QStringLiteral("a.txt"), "a");
  File(QStringLiteral("img/b.bmp"), QByteArray(3000, 'b'));
  // A download a killed run left behind is removed by the next run.
  tree.WriteFile(QStringLiteral(".indexserver.fet.part.AbC123"), "partial");
  tree.SetModified(QStringLiteral(".indexserver.fet.part.AbC123"), QDateTime::currentDateTime().addSecs(-3600));
  WriteIndex();
  ASSERT_EQ(Publish().status, PublishResult::Done);
  EXPECT_FALSE(QFile::exists(tree.Path(QStringLiteral(".indexserver.fet.part.AbC123"))));

  QFile::remove(Site(QStringLiteral("a.txt")));
  QFile b(Site(QStringLiteral("img/b.bmp")));
  ASSERT_TRUE(b.open(QIODevice::WriteOnly));
  b.write(QByteArray(2999, 'b'));
  b.close();
  QFile temp(Site(QStringLiteral("img/.b.bmp.lmpart")));
  ASSERT_TRUE(temp.open(QIODevice::WriteOnly));
  temp.close();
  const PublishResult check = VerifyServer(profile, Layout(), questions);
  EXPECT_EQ(check.status, PublishResult::Failed);
  EXPECT_EQ(check.differences, (QStringList{QStringLiteral("ありません: \\a.txt"),
                                            QStringLiteral("大きさが違います: \\img\\b.bmp (ローカル 3000 バイト、サーバー 2999 バイト)"),
                                            QStringLiteral("一時ファイルが残っています: \\img\\.b.bmp.lmpart")}));

  // The next publish repairs all of it.
  const PublishResult repair = Publish();
  ASSERT_EQ(repair.status, PublishResult::Done) << repair.message.toStdString();
  EXPECT_EQ(questions.plan.files, (QStringList{QStringLiteral("\\a.txt"), QStringLiteral("\\img\\b.bmp")}));
  ExpectServerEqualsDat(Site());
  EXPECT_EQ(VerifyServer(profile, Layout(), questions).status, PublishResult::Done);
}

// SFTP: the same trees, with Shift-JIS names whose second byte is 0x5C,
// which sshd stores as the bytes sent.
TEST_F(PublishTest, SftpTreesWithEmptyFilesAndShiftJisNames) {
  lmtest::SshTestServer ssh;
  ASSERT_NE(ssh.Port(), 0);
  Profile profile;
  profile.profile = QStringLiteral("Sample");
  profile.server = QStringLiteral("sftp://127.0.0.1:%1").arg(ssh.Port());
  const QByteArray user = qgetenv("USER");
  profile.userid = user.isEmpty() ? QStringLiteral("root") : QString::fromLocal8Bit(user);
  profile.dirserver = ssh.Root(QStringLiteral("site/dat"));
  PublishOptions options;
  options.configure = [&ssh](McWinFTP& ftp) {
    ftp.SetPrivateKeyFile(ssh.UserKey());
    ftp.SetKnownHostsPath(ssh.KnownHosts());
    ftp.SetTimeoutSeconds(10);
  };
  std::vector<TreeCase> trees(std::begin(kTrees), std::end(kTrees));
  trees.push_back({"Shift-JIS 0x5C", {"表/ソ.txt", "表 2/表", "ソ/a", "十/empty"}});
  for (const TreeCase& c : trees) {
    SCOPED_TRACE(c.name);
    QDir(Dat()).removeRecursively();
    QDir(ssh.Root(QStringLiteral("site"))).removeRecursively();
    for (const QString& f : QDir(tree.Path()).entryList({QStringLiteral("lfup-published-*")}, QDir::Files))
      QFile::remove(tree.Path(f));
    tree.MakeDir(QStringLiteral("scripts/SAMPLE/DAT"));
    MakeTree(*this, c, [this](const QString& rel, const QByteArray& b) { File(rel, b); }, tree);
    WriteIndex();
    const PublishResult r = PublishScript(profile, Layout(), questions, options);
    ASSERT_EQ(r.status, PublishResult::Done) << r.message.toStdString();
    // The server stores Shift-JIS bytes: compare the names as bytes.
    std::map<QString, QByteArray> want;
    for (const auto& [rel, bytes] : TreeOf(Dat())) {
      QByteArray sjis;
      ASSERT_TRUE(EncodeCp932(rel, sjis));
      want[QString::fromLatin1(sjis)] = bytes;
    }
    std::map<QString, QByteArray> got;
    RawTree(QFile::encodeName(ssh.Root(QStringLiteral("site/dat"))), QByteArray(), got);
    EXPECT_EQ(got, want);
    EXPECT_EQ(VerifyServer(profile, Layout(), questions, options).status, PublishResult::Done);
  }
}

}  // namespace
