// McWinFTP against servers that misbehave on purpose: every limit of the
// session must end the request with a clear error instead of waiting or
// filling memory without bound.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "sync/ftp_listing.h"
#include "sync/mc_win_ftp.h"
#include "sync/port_printing_server.h"
#include "sync/server_upload.h"
#include "sync/sync_test_print.h"

namespace {

using lm::McWinFTP;

class HostileServer {
 public:
  explicit HostileServer(const char* mode)
      : port_(lmtest::StartPortPrintingServer(
            process_, {QStringLiteral(LM_SOURCE_DIR "/tests/sync/hostile_ftp_server.py"), QString::fromLatin1(mode)})) {}
  ~HostileServer() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  int Port() const { return port_; }

 private:
  QProcess process_;  // declared before port_: started in port_'s initializer
  int port_ = 0;
};

struct Raised {
  qint32 number;
  QString text;
};

void Prepare(McWinFTP& ftp, int port, bool passive, std::vector<Raised>& raised) {
  ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
  ftp.SetRemotePort(port);
  ftp.SetUser(QStringLiteral("u"));
  ftp.SetPassword(QStringLiteral("p"));
  ftp.SetPassiveFlag(passive);
  ftp.SetTimeoutSeconds(2);
  QObject::connect(&ftp, &McWinFTP::FTPFrr, [&raised](qint32 n, const QString& t) { raised.push_back({n, t}); });
}

TEST(FtpHostileServer, AnEndlessGreetingIsCutOffWithAClearError) {
  HostileServer server("endless-reply");
  McWinFTP ftp;
  std::vector<Raised> raised;
  Prepare(ftp, server.Port(), true, raised);
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_TRUE(raised[0].text.contains(QStringLiteral("応答が長すぎます"))) << raised[0].text.toStdString();
}

TEST(FtpHostileServer, ATricklingGreetingHitsTheReplyWaitLimit) {
  HostileServer server("trickle");
  McWinFTP ftp;
  std::vector<Raised> raised;
  Prepare(ftp, server.Port(), true, raised);
  QElapsedTimer clock;
  clock.start();
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  // The whole greeting would take 34 s; the 2 s reply limit ends it long before.
  EXPECT_LT(clock.elapsed(), 15000);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].number, 12002);
}

TEST(FtpHostileServer, AHugeListingEndsAtTheListingLimit) {
  HostileServer server("huge-listing");
  McWinFTP ftp;
  std::vector<Raised> raised;
  Prepare(ftp, server.Port(), true, raised);
  ftp.SetListingLimit(4 * 1024 * 1024);
  ftp.OpenSession();
  ASSERT_NE(ftp.hFTP(), 0u);
  ftp.FindFile(QString());
  EXPECT_TRUE(ftp.RemoteFile().SearchEnd);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_TRUE(raised[0].text.contains(QStringLiteral("一覧が大きすぎます"))) << raised[0].text.toStdString();
}

TEST(FtpHostileServer, ADownloadThatStallsHitsTheStallLimit) {
  HostileServer server("stall");
  QTemporaryDir dir;
  McWinFTP ftp;
  std::vector<Raised> raised;
  Prepare(ftp, server.Port(), true, raised);
  ftp.OpenSession();
  ASSERT_NE(ftp.hFTP(), 0u);
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(ftp.GetFile(QStringLiteral("f.bin"), dir.filePath(QStringLiteral("f.bin")), false, 2), 0);
  EXPECT_LT(clock.elapsed(), 30000);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].number, 12002);
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("f.bin"))));
}

// The server's index.fet: an endless download ends at the size limit, a
// trickle that never stalls ends at the deadline; the copy stays as it was
// and no temporary download is left.
TEST(FtpHostileServer, TheServerIndexDownloadIsBoundInSizeAndTime) {
  struct Case {
    const char* mode;
    lm::IndexFetchLimits limits;
    const char* said;
  };
  const Case cases[] = {
      {"endless-index", {2 * 1024 * 1024, 60}, "バイトを超えたため中止しました"},
      {"trickle-index", {32 * 1024 * 1024, 4}, "秒以内に終わらなかったため中止しました"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    HostileServer server(c.mode);
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("indexserver.fet"));
    QFile old(copy);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old copy");
    old.close();
    McWinFTP ftp;
    std::vector<Raised> raised;
    Prepare(ftp, server.Port(), true, raised);
    ftp.OpenSession();
    ASSERT_NE(ftp.hFTP(), 0u);
    QElapsedTimer clock;
    clock.start();
    QString message;
    EXPECT_FALSE(lm::FetchServerIndex(ftp, copy, message, c.limits));
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_TRUE(message.contains(QString::fromUtf8(c.said))) << message.toStdString();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old copy"));
    old.close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
  }
}

TEST(FtpHostileServer, ActiveModeRefusesADataConnectionFromAnotherAddress) {
  HostileServer server("third-party");
  QTemporaryDir dir;
  McWinFTP ftp;
  std::vector<Raised> raised;
  Prepare(ftp, server.Port(), false, raised);
  ftp.OpenSession();
  ASSERT_NE(ftp.hFTP(), 0u);
  const QString target = dir.filePath(QStringLiteral("news.txt"));
  EXPECT_EQ(ftp.GetFile(QStringLiteral("news.txt"), target, false, 2), 0);
  EXPECT_FALSE(QFile::exists(target));
  ASSERT_FALSE(raised.empty());
  EXPECT_TRUE(raised[0].text.contains(QStringLiteral("127.0.0.2"))) << raised[0].text.toStdString();
}

TEST(FtpListingLines, OverlongAndUndecodableLinesAreRefusedCheaply) {
  // A 1.5 MB line of bytes that are not Shift-JIS: refused by its length.
  const QByteArray junk(1500 * 1024, '\x81');
  lm::FtpFindData d;
  EXPECT_FALSE(lm::ParseFtpListingLine(junk, lm::ListingFormat::LsLong, QDateTime::currentDateTimeUtc(), d));
  EXPECT_FALSE(lm::ParseFtpListingLine(junk, lm::ListingFormat::MachineFacts, QDateTime(), d));
  // Just under the limit, a well-formed line with a long undecodable name
  // still parses; the name is decoded as far as it goes.
  QByteArray line = "-rw-r--r--   1 owner group 12 Jan 02  2020 ";
  line += QByteArray(lm::kMaxListingLineBytes - line.size() - 2, 'a');
  line += "\r\n";
  ASSERT_TRUE(lm::ParseFtpListingLine(line, lm::ListingFormat::LsLong, QDateTime::currentDateTimeUtc(), d));
  EXPECT_EQ(d.sizeLow, 12u);
  // Many blanks and marks that look like fields but never complete one.
  const QByteArray blanks = QByteArray(4000, ' ') + "x";
  EXPECT_FALSE(lm::ParseFtpListingLine(blanks, lm::ListingFormat::LsLong, QDateTime::currentDateTimeUtc(), d));
  const QByteArray semis = "type=file" + QByteArray(4000, ';');
  EXPECT_FALSE(lm::ParseFtpListingLine(semis, lm::ListingFormat::MachineFacts, QDateTime(), d));
}

}  // namespace
