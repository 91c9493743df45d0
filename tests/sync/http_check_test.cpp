// The HTTP check against real HTTP and HTTPS servers on 127.0.0.1: a tree
// with Shift-JIS names (a 0x5C trail byte), blanks, sibling folders that
// share a prefix, a one-character name and an empty file, served as the
// bytes the index names; servers that refuse HEAD; hostile indexes.
#include "sync/http_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "sync/port_printing_server.h"
#include "sync/test_certificate.h"

namespace lm {
namespace {

// Writes bytes to a file whose name is given as raw bytes (Shift-JIS on the
// server side), creating its folders.
void PutRaw(const QByteArray& root, const QByteArray& rel, const QByteArray& bytes) {
  const QByteArray path = root + '/' + rel;
  qsizetype slash = path.indexOf('/', root.size() + 1);
  while (slash > 0) {
    ::mkdir(path.left(slash).constData(), 0755);
    slash = path.indexOf('/', slash + 1);
  }
  std::ofstream out(path.toStdString(), std::ios::binary);
  out.write(bytes.constData(), bytes.size());
  ASSERT_TRUE(out.good()) << path.constData();
}

void PutFile(const QString& path, qsizetype size) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
  f.write(QByteArray(size, 'x'));
}

QByteArray Line(char attr, int kib, const QByteArray& tree) {
  return "202001010000" + QByteArray(1, attr) + QByteArray::number(kib).rightJustified(5, '0') + tree + "\r\n";
}

const QByteArray kHeader = "#NextUpdate 2020 1 1 0 0 \r\n#FieldInfo date 12 attr 1 size 5\r\n";

// One file of the tree: its path on the server (Shift-JIS bytes), the same
// path for the local DAT, its size.
struct TreeFile {
  QByteArray serverPath;
  QString localPath;
  qsizetype size;
};

// se and se2 share a prefix; 表 (95 5C) and ソ (83 5C) end in a 0x5C byte.
const QList<TreeFile> kTree = {
    {"a b/x y.txt", QStringLiteral("a b/x y.txt"), 10},
    {"e", QStringLiteral("e"), 0},
    {"se/a.wav", QStringLiteral("se/a.wav"), 2000},
    {"se2/a.wav", QStringLiteral("se2/a.wav"), 5},
    {"\x95\x5C/\x83\x5C.txt", QStringLiteral("表/ソ.txt"), 3000},
    {"big.bin", QStringLiteral("big.bin"), 5000},
};

QByteArray TreeIndex() {
  return kHeader + Line('d', 0, "+a b") + Line('f', 0, "|+x y.txt") + Line('f', 4, "+big.bin") + Line('f', 0, "+e") +
         Line('d', 0, "+se") + Line('f', 1, "|+a.wav") + Line('d', 0, "+se2") + Line('f', 0, "|+a.wav") +
         Line('d', 0, "+\x95\x5C") + Line('f', 2, "|+\x83\x5C.txt");
}

class HttpServer {
 public:
  int Start(const QString& root, const QStringList& flags) {
    QStringList args{QStringLiteral(LM_SOURCE_DIR "/tests/sync/http_test_server.py"), QStringLiteral("--root"), root};
    args += flags;
    port_ = lmtest::StartPortPrintingServer(process_, args);
    return port_;
  }
  ~HttpServer() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  QString Url(const QString& scheme, const QString& folder) const {
    return QStringLiteral("%1://127.0.0.1:%2/%3").arg(scheme).arg(port_).arg(folder);
  }

 private:
  QProcess process_;
  int port_ = 0;
};

class HttpCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    serverRoot_ = dir_.path() + QStringLiteral("/www");
    pub_ = QStringLiteral("pub dir");  // a blank in the base path, sent as %20
    dat_ = dir_.path() + QStringLiteral("/script/DAT");
    QDir().mkpath(serverRoot_ + QLatin1Char('/') + pub_);
    for (const TreeFile& f : kTree) {
      PutRaw(Served(), f.serverPath, QByteArray(f.size, 'x'));
      PutFile(dat_ + QLatin1Char('/') + f.localPath, f.size);
    }
    PutRaw(Served(), "index.fet", TreeIndex());
    QFile local(dat_ + QStringLiteral("/index.fet"));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write(TreeIndex());
  }

  // QTemporaryDir cannot remove names that are not UTF-8 (the server's
  // Shift-JIS names); the bytes are removed as they are.
  void TearDown() override { std::filesystem::remove_all(std::filesystem::path(QFile::encodeName(dir_.path()).toStdString())); }

  QByteArray Served() const { return QFile::encodeName(serverRoot_ + QLatin1Char('/') + pub_); }

  HttpCheckInput Input(const HttpServer& server, const QString& scheme = QStringLiteral("http")) const {
    return HttpCheckInput{server.Url(scheme, QStringLiteral("pub%20dir")), dat_ + QStringLiteral("/index.fet"), dat_};
  }

  static HttpCheckOptions Quick() {
    HttpCheckOptions o;
    o.stallSeconds = 10;
    o.fileDeadlineSeconds = 20;
    o.index.deadlineSeconds = 30;
    return o;
  }

  QTemporaryDir dir_;
  QString serverRoot_, pub_, dat_;
};

std::string Joined(const HttpCheckResult& r) {
  return (r.message + QLatin1Char('\n') + r.differences.join(QLatin1Char('\n'))).toStdString();
}

// Every way a server may answer for sizes gives the same clean result.
TEST_F(HttpCheckTest, EveryFileMatchesWhateverWayTheServerGivesSizes) {
  const struct {
    const char* name;
    QStringList flags;
  } cases[] = {
      {"HEAD", {}},
      {"ranged GET where HEAD is refused", {QStringLiteral("--refuse-head")}},
      {"range ignored, whole file cut off", {QStringLiteral("--refuse-head"), QStringLiteral("--ignore-range")}},
      {"HEAD without a length, then a ranged GET", {QStringLiteral("--head-no-length")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpServer server;
    ASSERT_NE(server.Start(serverRoot_, c.flags), 0);
    const HttpCheckResult r = CheckServerOverHttp(Input(server), Quick());
    EXPECT_TRUE(r.ok()) << Joined(r);
    EXPECT_EQ(r.filesChecked, kTree.size());
  }
}

// Each fault on the server is named once, with the file it concerns.
TEST_F(HttpCheckTest, DifferencesOnTheServerAreNamed) {
  const struct {
    const char* name;
    QByteArray serverPath;  // removed when `size` is negative, else rewritten to `size` bytes
    qsizetype size;
    bool withDat;
    QString expected;
  } cases[] = {
      {"missing", "se/a.wav", -1, true, QStringLiteral("サーバにありません (HTTP 404): 『\\se\\a.wav』")},
      {"missing, Shift-JIS", "\x95\x5C/\x83\x5C.txt", -1, true, QStringLiteral("『\\表\\ソ.txt』")},
      {"wrong KiB", "big.bin", 9000, false, QStringLiteral("サイズが違います: 『\\big.bin』 (index.fet 4 KiB、サーバ 9000 バイト)")},
      {"same KiB, other bytes, DAT known", "se/a.wav", 2001, true,
       QStringLiteral("サイズが違います: 『\\se\\a.wav』 (ローカル 2000 バイト、サーバ 2001 バイト)")},
      {"empty file grown", "e", 1, true, QStringLiteral("『\\e』 (ローカル 0 バイト、サーバ 1 バイト)")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();  // a fresh tree
    const QByteArray path = Served() + '/' + c.serverPath;
    if (c.size < 0) ASSERT_EQ(::unlink(path.constData()), 0);
    else PutRaw(Served(), c.serverPath, QByteArray(c.size, 'y'));
    for (const QStringList& flags : {QStringList(), QStringList{QStringLiteral("--refuse-head")}}) {
      HttpServer server;
      ASSERT_NE(server.Start(serverRoot_, flags), 0);
      HttpCheckInput input = Input(server);
      if (!c.withDat) input.datDir.clear();
      const HttpCheckResult r = CheckServerOverHttp(input, Quick());
      EXPECT_TRUE(r.completed) << Joined(r);
      ASSERT_EQ(r.differences.size(), 1) << Joined(r);
      EXPECT_TRUE(r.differences[0].contains(c.expected)) << Joined(r);
    }
  }
}

TEST_F(HttpCheckTest, ADifferenceBetweenTheLocalAndTheServedIndexIsReported) {
  const QByteArray localOnly = TreeIndex() + Line('f', 0, "+new.txt");
  QFile local(dat_ + QStringLiteral("/index.fet"));
  ASSERT_TRUE(local.open(QIODevice::WriteOnly | QIODevice::Truncate));
  local.write(localOnly);
  local.close();
  HttpServer server;
  ASSERT_NE(server.Start(serverRoot_, {}), 0);
  HttpCheckResult r = CheckServerOverHttp(Input(server), Quick());
  ASSERT_EQ(r.differences.size(), 1) << Joined(r);
  EXPECT_EQ(r.differences[0], QStringLiteral("サーバの index.fet に記載がありません: 『\\new.txt』"));

  // Only the next-update line differs.
  ASSERT_TRUE(local.open(QIODevice::WriteOnly | QIODevice::Truncate));
  local.write(QByteArray(TreeIndex()).replace("2020 1 1 0 0", "2021 1 1 0 0"));
  local.close();
  r = CheckServerOverHttp(Input(server), Quick());
  ASSERT_EQ(r.differences.size(), 1) << Joined(r);
  EXPECT_TRUE(r.differences[0].contains(QStringLiteral("一致しません"))) << Joined(r);
}

// A served index that names a way out of the folder, or hides a control
// character, stops the check before any file is asked for.
TEST_F(HttpCheckTest, AHostileServedIndexStopsTheCheckNamingTheName) {
  const struct {
    const char* name;
    QByteArray lines;
    QString shown;
  } cases[] = {
      {"parent", Line('f', 0, "+..\\..\\victim.txt"), QStringLiteral("..")},
      {"parent as a folder", Line('d', 0, "+..") + Line('f', 0, "|+passwd"), QStringLiteral("『..』")},
      {"absolute", Line('f', 0, "+/etc/passwd"), QStringLiteral("/etc/passwd")},
      {"drive", Line('f', 0, "+C:evil"), QStringLiteral("C:evil")},
      {"escape", Line('f', 0, "+a\x1b[2Jb"), QStringLiteral("\\x1B")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PutRaw(Served(), "index.fet", TreeIndex() + c.lines);
    HttpServer server;
    ASSERT_NE(server.Start(serverRoot_, {}), 0);
    HttpCheckInput input = Input(server);
    input.localIndexPath.clear();
    const HttpCheckResult r = CheckServerOverHttp(input, Quick());
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.filesChecked, 0);
    EXPECT_TRUE(r.message.contains(c.shown)) << Joined(r);
    EXPECT_FALSE(r.message.contains(QChar(0x1B))) << Joined(r);
  }
}

TEST_F(HttpCheckTest, AnEndlessIndexIsCutAtItsCap) {
  HttpServer server;
  ASSERT_NE(server.Start(serverRoot_, {QStringLiteral("--endless")}), 0);
  HttpCheckOptions o = Quick();
  o.index.maxBytes = 4 * 1024 * 1024;
  const HttpCheckResult r = CheckServerOverHttp(Input(server), o);
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.message.contains(QStringLiteral("4194304 バイトを超えたため中止しました。"))) << Joined(r);
}

// Bytes keep coming, too slowly for the stall limit to end it: the overall
// deadline does.
TEST_F(HttpCheckTest, ATricklingIndexEndsAtTheDeadline) {
  HttpServer server;
  ASSERT_NE(server.Start(serverRoot_, {QStringLiteral("--trickle")}), 0);
  HttpCheckOptions o = Quick();
  o.index.deadlineSeconds = 2;
  const HttpCheckResult r = CheckServerOverHttp(Input(server), o);
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.message.contains(QStringLiteral("2 秒以内に終わらなかったため中止しました。"))) << Joined(r);
}

TEST_F(HttpCheckTest, AMissingIndexOrServerStopsWithItsReason) {
  ASSERT_EQ(::unlink((Served() + "/index.fet").constData()), 0);
  auto server = std::make_unique<HttpServer>();
  ASSERT_NE(server->Start(serverRoot_, {}), 0);
  const HttpCheckInput input = Input(*server);
  HttpCheckResult r = CheckServerOverHttp(input, Quick());
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.message.contains(QStringLiteral("サーバに index.fet がありません (HTTP 404)。"))) << Joined(r);

  // Nobody listens on the port any more.
  server.reset();
  r = CheckServerOverHttp(input, Quick());
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.message.startsWith(QStringLiteral("サーバの更新定義ファイルを受信できませんでした。"))) << Joined(r);
}

// HTTPS: a certificate from a CA the check is told about is accepted; the
// same server without that CA is refused.
TEST_F(HttpCheckTest, HttpsChecksTheCertificate) {
  const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
  ASSERT_FALSE(openssl.isEmpty()) << "the openssl command is missing (scripts/install-deps.sh installs it)";
  const QString d = dir_.path();
  const auto tool = [&](const QStringList& args) { lmtest::RunTool(openssl, args); };
  const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
  tool(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
       QStringList{QStringLiteral("-keyout"), d + QStringLiteral("/ca.key"), QStringLiteral("-out"),
                   d + QStringLiteral("/ca.pem"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=loftmark test CA")});
  tool(QStringList{QStringLiteral("req")} + ec +
       QStringList{QStringLiteral("-keyout"), d + QStringLiteral("/leaf.key"), QStringLiteral("-out"),
                   d + QStringLiteral("/leaf.csr"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")});
  QFile ext(d + QStringLiteral("/ext.cnf"));
  ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
  ext.write("subjectAltName=IP:127.0.0.1\n");
  ext.close();
  tool({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), d + QStringLiteral("/leaf.csr"),
        QStringLiteral("-CA"), d + QStringLiteral("/ca.pem"), QStringLiteral("-CAkey"), d + QStringLiteral("/ca.key"),
        QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), d + QStringLiteral("/leaf.pem"),
        QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), ext.fileName()});

  HttpServer server;
  ASSERT_NE(server.Start(serverRoot_, {QStringLiteral("--tls"), d + QStringLiteral("/leaf.pem"),
                                       d + QStringLiteral("/leaf.key"), QStringLiteral("--refuse-head")}),
            0);
  HttpCheckOptions o = Quick();
  o.caFile = d + QStringLiteral("/ca.pem");
  HttpCheckResult r = CheckServerOverHttp(Input(server, QStringLiteral("https")), o);
  EXPECT_TRUE(r.ok()) << Joined(r);
  EXPECT_EQ(r.filesChecked, kTree.size());

  // The environment variable names the same CA.
  qputenv("LOFTMARK_CA_FILE", o.caFile.toLocal8Bit());
  r = CheckServerOverHttp(Input(server, QStringLiteral("https")), Quick());
  qunsetenv("LOFTMARK_CA_FILE");
  EXPECT_TRUE(r.ok()) << Joined(r);

  // The system's CAs do not know the test CA: refused, nothing checked.
  r = CheckServerOverHttp(Input(server, QStringLiteral("https")), Quick());
  EXPECT_FALSE(r.completed);
  EXPECT_EQ(r.filesChecked, 0);
  EXPECT_TRUE(r.message.startsWith(QStringLiteral("サーバの更新定義ファイルを受信できませんでした。"))) << Joined(r);
}

TEST(HttpFileUrl, LevelsAreJoinedBySlashAndTheirShiftJisBytesEncoded) {
  const struct {
    QString base, path;
    QByteArray url;
  } cases[] = {
      {QStringLiteral("http://h/pub"), QStringLiteral("\\img\\title.bmp"), "http://h/pub/img/title.bmp"},
      {QStringLiteral("http://h/pub/"), QStringLiteral("\\a b\\x~y_z-1.txt"), "http://h/pub/a%20b/x~y_z-1.txt"},
      {QStringLiteral("https://h:8443/a%20b"), QStringLiteral("\\表\\ソ.txt"), "https://h:8443/a%20b/%95%5C/%83%5C.txt"},
      {QStringLiteral("http://h"), QStringLiteral("\\e"), "http://h/e"},
      {QStringLiteral("http://h/"), QStringLiteral("\\100%+#?.txt"), "http://h/100%25%2B%23%3F.txt"},
  };
  for (const auto& c : cases) {
    QByteArray url;
    QString why;
    EXPECT_TRUE(HttpFileUrl(c.base, c.path, url, &why)) << why.toStdString();
    EXPECT_EQ(url, c.url);
  }
  for (const QString& bad : {QStringLiteral("\\..\\x"), QStringLiteral("\\a\x01"), QStringLiteral("\\"),
                             QStringLiteral("\\\u00e9\u0301")}) {
    QByteArray url;
    EXPECT_FALSE(HttpFileUrl(QStringLiteral("http://h/"), bad, url)) << bad.toStdString();
  }
}

TEST(HttpFileUrl, OnlyHttpAndHttpsFolderAddressesAreUsable) {
  for (const QString& good : {QStringLiteral("http://127.0.0.1:8080/pub/"), QStringLiteral("HTTPS://example.org"),
                              QStringLiteral("http://h/a%20b")})
    EXPECT_TRUE(IsUsableBaseUrl(good)) << good.toStdString();
  for (const QString& bad :
       {QStringLiteral("ftp://h/"), QStringLiteral("file:///etc"), QStringLiteral("http://"), QStringLiteral("http:///x"),
        QStringLiteral("http://h/a b"), QStringLiteral("http://h/?q"), QStringLiteral("http://h/#f"),
        QStringLiteral("http://h/\u8868"), QStringLiteral("h/pub")})
    EXPECT_FALSE(IsUsableBaseUrl(bad)) << bad.toStdString();
}

}  // namespace
}  // namespace lm
