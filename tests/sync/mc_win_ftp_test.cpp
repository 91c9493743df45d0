// McWinFTP against a real FTP server on 127.0.0.1 (pyftpdlib), started and
// stopped for each test with its own root directory and user.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <functional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "sync/sync_test_print.h"

#include "sync/ftp_test_server.h"
#include "sync/file_bytes.h"
#include "sync/mc_win_ftp.h"

namespace {

using lm::McWinFTP;
using lmtest::FtpTestServer;

struct Raised {
  qint32 number;
  QString text;
};

// Records every FTPFrr the object raises.
struct ErrorLog {
  explicit ErrorLog(McWinFTP& ftp) {
    QObject::connect(&ftp, &McWinFTP::FTPFrr,
                     [this](qint32 n, const QString& t) { raised.push_back({n, t}); });
  }
  std::vector<Raised> raised;
};

using lmtest::ReadAll;
using lmtest::WriteAll;

// Every byte value, CR and LF in every neighbourhood, over 3 MB so that the
// transfer spans many socket reads and writes.
QByteArray AllByteValues() {
  QByteArray b;
  for (int round = 0; round < 12000; ++round)
    for (int i = 0; i < 256; ++i) b.append(static_cast<char>(i));
  b.append("\r\n\n\r");
  return b;
}

class FtpSessionTest : public ::testing::Test {
 protected:
  void Connect(McWinFTP& ftp, bool passive = true) {
    ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
    ftp.SetRemotePort(server.Port());
    ftp.SetUser(QString::fromLatin1(FtpTestServer::kUser));
    ftp.SetPassword(QString::fromLatin1(FtpTestServer::kPassword));
    ftp.SetPassiveFlag(passive);
    ftp.SetTimeoutSeconds(10);
    ftp.OpenSession();
    ASSERT_NE(ftp.hFTP(), 0u) << "login failed";
  }
  bool ServerSaw(const QString& command) const { return server.Commands().contains(command); }
  bool ServerSawPrefix(const QString& prefix) const {
    for (const QString& c : server.Commands())
      if (c.startsWith(prefix)) return true;
    return false;
  }

  FtpTestServer server;
};

TEST(FtpObject, FreshObjectDefaults) {
  McWinFTP ftp;
  EXPECT_EQ(ftp.RemotePort(), 21);
  EXPECT_FALSE(ftp.PassiveFlag());
  EXPECT_EQ(ftp.ConnectionFlags(), 0u);
  EXPECT_EQ(ftp.RemoteHost(), QString());
  EXPECT_EQ(ftp.User(), QString());
  EXPECT_EQ(ftp.Password(), QString());
  EXPECT_NE(ftp.hInternet(), 0u);
  EXPECT_EQ(ftp.hFTP(), 0u);
  EXPECT_EQ(ftp.ClassName(), QStringLiteral("McWinFTP Class Module"));
  EXPECT_EQ(ftp.Version(), QStringLiteral("0.9 b"));
  EXPECT_FALSE(ftp.Copyright().isEmpty());
  ftp.SetPassiveFlag(true);
  EXPECT_TRUE(ftp.PassiveFlag());
  EXPECT_EQ(ftp.ConnectionFlags(), 0x08000000u);
  ftp.SetPassiveFlag(false);
  EXPECT_EQ(ftp.ConnectionFlags(), 0u);
}

TEST(FtpObject, ListingEntryFields) {
  struct Case {
    uint32_t attributes, high, low;
    int32_t type;
    double size;
  } cases[] = {
      {16, 0, 0, 16, 0},
      {17, 0, 0, 0, 0},            // a read-only directory is not a plain directory
      {128, 0, 1024, 0, 1024},
      {128, 1, 705032704, 0, 5000000000.0},
      {128, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 18446744073709551615.0},
  };
  McWinFTP ftp;
  for (const Case& c : cases) {
    lm::FtpFindData d;
    d.name = QStringLiteral("entry");
    d.attributes = c.attributes;
    d.sizeHigh = c.high;
    d.sizeLow = c.low;
    d.lastWrite = QDateTime(QDate(2004, 2, 19), QTime(6, 10, 5), Qt::UTC);
    ftp.RemoteFile().SearchEnd = true;
    ftp.FillRemoteFile(d);
    EXPECT_EQ(ftp.RemoteFile().FileType, c.type) << c.attributes;
    EXPECT_EQ(ftp.RemoteFile().FileSize, c.size) << c.high << ":" << c.low;
    EXPECT_FALSE(ftp.RemoteFile().SearchEnd);
    EXPECT_EQ(ftp.RemoteFile().FileDate, d.lastWrite);
  }
}

TEST(FtpObject, UnknownHostRaises12007AndStaysDisconnected) {
  McWinFTP ftp;
  ErrorLog log(ftp);
  ftp.SetRemoteHost(QStringLiteral("no-such-host.invalid"));
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 12007);
  EXPECT_EQ(log.raised[0].text, QStringLiteral("サーバー名を解決できませんでした。"));
}

TEST(FtpObject, RefusedConnectionRaisesGenericText) {
  // A port that was free a moment ago: nothing listens there.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  McWinFTP ftp;
  ErrorLog log(ftp);
  ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
  ftp.SetRemotePort(ntohs(a.sin_port));
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 12029);
  EXPECT_EQ(log.raised[0].text, QStringLiteral("エラーが発生しています。"));
}

TEST_F(FtpSessionTest, LoginGoodAndBad) {
  {
    McWinFTP ftp;
    ErrorLog log(ftp);
    Connect(ftp);
    EXPECT_TRUE(log.raised.empty());
    EXPECT_TRUE(ServerSaw(QStringLiteral("USER loftuser")));
  }
  McWinFTP bad;
  ErrorLog log(bad);
  bad.SetRemoteHost(QStringLiteral("127.0.0.1"));
  bad.SetRemotePort(server.Port());
  bad.SetUser(QStringLiteral("loftuser"));
  bad.SetPassword(QStringLiteral("wrong"));
  bad.OpenSession();
  EXPECT_EQ(bad.hFTP(), 0u);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 12003);
  EXPECT_TRUE(log.raised[0].text.startsWith(QStringLiteral("530 "))) << log.raised[0].text.toStdString();
  // The failed object can still log in once the password is right.
  log.raised.clear();
  bad.SetPassword(QString::fromLatin1(FtpTestServer::kPassword));
  bad.OpenSession();
  EXPECT_NE(bad.hFTP(), 0u);
  EXPECT_TRUE(log.raised.empty());
}

TEST_F(FtpSessionTest, CurrentDirectoryIsTheServersAndLeadingSeparatorIsDropped) {
  QDir().mkpath(server.Root("pub/x"));
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp);
  EXPECT_EQ(ftp.CurDir(), QStringLiteral("/"));

  // Each new directory is checked on the server (by its absolute path)
  // before it is kept.
  struct Case {
    const char* set;
    const char* sent;
    const char* now;
  } cases[] = {
      {"/pub/x", "CWD /pub/x", "/pub/x"},
      {"..", "CWD /pub", "/pub"},
      {"\\x", "CWD /pub/x", "/pub/x"},  // relative to the current remote directory
      {"/../..", "CWD /", "/"},
      {"pub", "CWD /pub", "/pub"},
  };
  for (const Case& c : cases) {
    ftp.SetCurDir(QString::fromUtf8(c.set));
    EXPECT_TRUE(ServerSaw(QString::fromUtf8(c.sent))) << c.set;
    EXPECT_EQ(ftp.CurDir(), QString::fromUtf8(c.now)) << c.set;
  }
  EXPECT_TRUE(log.raised.empty());

  // The directory stays in effect for later transfers on the same session.
  WriteAll(server.Work("up.txt"), "hello");
  ASSERT_EQ(ftp.PutFile(server.Work("up.txt"), QStringLiteral("in-pub.txt"), 0), 1);
  EXPECT_EQ(ReadAll(server.Root("pub/in-pub.txt")), QByteArray("hello"));

  // A directory name with a quote is kept whole.
  QDir().mkpath(server.Root(QStringLiteral("pub/say \"hi\"")));
  ftp.SetCurDir(QStringLiteral("say \"hi\""));
  EXPECT_EQ(ftp.CurDir(), QStringLiteral("/pub/say \"hi\""));
  ftp.SetCurDir(QStringLiteral(".."));
  EXPECT_TRUE(log.raised.empty());

  // A refused change reports the server's reply and keeps the directory.
  ftp.SetCurDir(QStringLiteral("missing"));
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 12003);
  EXPECT_TRUE(log.raised[0].text.startsWith(QStringLiteral("550 "))) << log.raised[0].text.toStdString();
  EXPECT_EQ(ftp.CurDir(), QStringLiteral("/pub"));
}

struct TransferCase {
  bool passive;
  int32_t mode;
};

class FtpTransferTest : public FtpSessionTest, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(FtpTransferTest, UploadAndDownloadInTheRequestedType) {
  const TransferCase c = GetParam();
  const bool ascii = c.mode == 1;
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp, c.passive);
  const QByteArray original = ascii ? QByteArray("line one\r\nline two\nline three\r\n")
                                    : AllByteValues();
  WriteAll(server.Work("local.dat"), original);

  ASSERT_EQ(ftp.PutFile(server.Work("local.dat"), QStringLiteral("remote.dat"), c.mode), 1);
  ASSERT_EQ(ftp.GetFile(QStringLiteral("remote.dat"), server.Work("back.dat"), false, c.mode), 1);
  EXPECT_TRUE(log.raised.empty());

  const QStringList commands = server.Commands();
  EXPECT_TRUE(commands.contains(ascii ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I")));
  EXPECT_FALSE(commands.contains(ascii ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A")));
  EXPECT_EQ(commands.contains(QStringLiteral("PASV")), c.passive);
  EXPECT_EQ(ServerSawPrefix(QStringLiteral("PORT 127,0,0,1,")), !c.passive);

  if (ascii) {
    // The server stored text (its own LF line ends), and the text comes
    // back with CR LF line ends.
    EXPECT_EQ(ReadAll(server.Root("remote.dat")), QByteArray("line one\nline two\nline three\n"));
    EXPECT_EQ(ReadAll(server.Work("back.dat")),
              QByteArray("line one\r\nline two\r\nline three\r\n"));
  } else {
    EXPECT_EQ(ReadAll(server.Root("remote.dat")), original);
    EXPECT_EQ(ReadAll(server.Work("back.dat")), original);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpTransferTest,
                         ::testing::Values(TransferCase{true, 1}, TransferCase{true, 0},
                                           TransferCase{true, 2}, TransferCase{true, 7},
                                           TransferCase{false, 1}, TransferCase{false, 2}));

TEST_F(FtpSessionTest, GetFileHonoursFailIfExistsAndLeavesNothingBehindOnFailure) {
  WriteAll(server.Root("news.txt"), "from server");
  WriteAll(server.Work("dl/news.txt"), "local copy");
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp);

  EXPECT_EQ(ftp.GetFile(QStringLiteral("news.txt"), server.Work("dl/news.txt"), true, 2), 0);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 80);
  EXPECT_EQ(log.raised[0].text, QStringLiteral("ファイルが存在します。"));
  EXPECT_EQ(ReadAll(server.Work("dl/news.txt")), QByteArray("local copy"));

  log.raised.clear();
  EXPECT_EQ(ftp.GetFile(QStringLiteral("news.txt"), server.Work("dl/news.txt"), false, 2), 1);
  EXPECT_EQ(ReadAll(server.Work("dl/news.txt")), QByteArray("from server"));

  // A remote file that does not exist: the server's refusal, and the local
  // file that was there stays untouched, with no stray partial file.
  EXPECT_EQ(ftp.GetFile(QStringLiteral("absent.txt"), server.Work("dl/news.txt"), false, 2), 0);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 12003);
  EXPECT_TRUE(log.raised[0].text.startsWith(QStringLiteral("550 ")));
  EXPECT_EQ(ReadAll(server.Work("dl/news.txt")), QByteArray("from server"));
  EXPECT_EQ(QDir(server.Work("dl")).entryList(QDir::Files | QDir::Hidden).size(), 1);

  // The session is still usable after the refusals.
  EXPECT_EQ(ftp.GetFile(QStringLiteral("news.txt"), server.Work("dl/second.txt"), true, 2), 1);
}

TEST_F(FtpSessionTest, PutFileOfAMissingLocalFileReportsTheSystemText) {
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp);
  EXPECT_EQ(ftp.PutFile(server.Work("nothing-here.txt"), QStringLiteral("x.txt"), 2), 0);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 2);
  EXPECT_EQ(log.raised[0].text, QStringLiteral("指定されたファイルが見つかりません。"));
  EXPECT_FALSE(QFile::exists(server.Root("x.txt")));
  EXPECT_FALSE(ServerSawPrefix(QStringLiteral("STOR")));
}

TEST_F(FtpSessionTest, RenameDeleteAndDirectories) {
  WriteAll(server.Root("old.txt"), "content");
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp);

  EXPECT_EQ(ftp.CreateDir(QStringLiteral("newdir")), 1);
  EXPECT_TRUE(QFileInfo(server.Root("newdir")).isDir());
  EXPECT_EQ(ftp.RenameFile(QStringLiteral("old.txt"), QStringLiteral("newdir/renamed.txt")), 1);
  EXPECT_FALSE(QFile::exists(server.Root("old.txt")));
  EXPECT_EQ(ReadAll(server.Root("newdir/renamed.txt")), QByteArray("content"));
  EXPECT_EQ(ftp.DeleteFile(QStringLiteral("newdir/renamed.txt")), 1);
  EXPECT_FALSE(QFile::exists(server.Root("newdir/renamed.txt")));
  EXPECT_EQ(ftp.RemoveDir(QStringLiteral("newdir")), 1);
  EXPECT_FALSE(QFileInfo::exists(server.Root("newdir")));
  EXPECT_TRUE(log.raised.empty());

  // Refused commands: each reports 12003 with the server's own reply.
  struct Refusal {
    const char* what;
    std::function<int32_t()> run;
  } refusals[] = {
      {"delete missing", [&] { return ftp.DeleteFile(QStringLiteral("gone.txt")); }},
      {"rename missing", [&] { return ftp.RenameFile(QStringLiteral("gone.txt"), QStringLiteral("b")); }},
      {"remove missing dir", [&] { return ftp.RemoveDir(QStringLiteral("nodir")); }},
      {"create in missing dir", [&] { return ftp.CreateDir(QStringLiteral("a/b/c")); }},
  };
  for (const Refusal& r : refusals) {
    log.raised.clear();
    EXPECT_EQ(r.run(), 0) << r.what;
    ASSERT_EQ(log.raised.size(), 1u) << r.what;
    EXPECT_EQ(log.raised[0].number, 12003) << r.what;
    EXPECT_TRUE(log.raised[0].text.startsWith(QStringLiteral("550 "))) << r.what << ": "
                                                                      << log.raised[0].text.toStdString();
  }
}

TEST_F(FtpSessionTest, CommandTextCannotSmuggleASecondCommand) {
  WriteAll(server.Root("keep.txt"), "keep");
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp);
  EXPECT_EQ(ftp.DeleteFile(QStringLiteral("x\r\nDELE keep.txt")), 0);
  EXPECT_EQ(log.raised.size(), 1u);
  EXPECT_TRUE(QFile::exists(server.Root("keep.txt")));
  EXPECT_FALSE(ServerSaw(QStringLiteral("DELE keep.txt")));
  // A name that Shift-JIS cannot hold is refused before it reaches the server.
  log.raised.clear();
  EXPECT_EQ(ftp.CreateDir(QStringLiteral("emoji-\U0001F600")), 0);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 1113);
  EXPECT_FALSE(ServerSawPrefix(QStringLiteral("MKD")));
}

struct Listed {
  QString name;
  double size;
  int32_t type;
  QDateTime date;
};

std::vector<Listed> ListAll(McWinFTP& ftp, const QString& search) {
  std::vector<Listed> out;
  ftp.FindFile(search);
  for (int guard = 0; !ftp.RemoteFile().SearchEnd && guard < 1000; ++guard) {
    const lm::FTPFile& f = ftp.RemoteFile();
    out.push_back({f.FileName, f.FileSize, f.FileType, f.FileDate});
    ftp.NextFile();
  }
  std::sort(out.begin(), out.end(), [](const Listed& a, const Listed& b) { return a.name < b.name; });
  return out;
}

struct ListingCase {
  bool passive;
  bool machineListings;  // false: the server offers only LIST in the "ls -l" form
};

class FtpListingTest : public FtpSessionTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(FtpListingTest, ListsEntriesWithDirectoriesAndHugeSizes) {
  QDir().mkpath(server.Root("sub"));
  WriteAll(server.Root("a.txt"), "abc");
  WriteAll(server.Root("sub/inner.txt"), "12345");
  {
    // A sparse file of 5 000 000 000 bytes: over 4 GiB, no disk space used.
    const QByteArray big = QFile::encodeName(server.Root("big.bin"));
    int fd = ::open(big.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5000000000LL), 0);
    ::close(fd);
  }
  {
    struct timeval tv[2];
    tv[0].tv_sec = tv[1].tv_sec = QDateTime(QDate(2004, 2, 19), QTime(6, 10, 7), Qt::UTC).toSecsSinceEpoch();
    tv[0].tv_usec = tv[1].tv_usec = 0;
    ASSERT_EQ(::utimes(QFile::encodeName(server.Root("a.txt")).constData(), tv), 0);
  }
  const ListingCase param = GetParam();
  if (!param.machineListings) server.RestartWith({QStringLiteral("--no-mlst")});
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp, param.passive);

  const auto all = ListAll(ftp, QString());
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].name, QStringLiteral("a.txt"));
  EXPECT_EQ(all[0].size, 3.0);
  EXPECT_EQ(all[0].type, 0);
  // "ls -l" shows an old file's day without its time.
  EXPECT_EQ(all[0].date, QDateTime(QDate(2004, 2, 19), param.machineListings ? QTime(6, 10, 7) : QTime(0, 0),
                                   Qt::UTC));
  EXPECT_EQ(all[1].name, QStringLiteral("big.bin"));
  EXPECT_EQ(all[1].size, 5000000000.0);
  EXPECT_EQ(all[1].type, 0);
  EXPECT_EQ(all[2].name, QStringLiteral("sub"));
  EXPECT_EQ(all[2].type, 16);

  // NextFile past the end raises nothing and changes nothing.
  EXPECT_TRUE(ftp.RemoteFile().SearchEnd);
  ftp.NextFile();
  ftp.NextFile();
  EXPECT_TRUE(ftp.RemoteFile().SearchEnd);
  EXPECT_TRUE(log.raised.empty());

  struct Search {
    const char* search;
    std::vector<const char*> names;
  } searches[] = {
      {"*.txt", {"a.txt"}},
      {"sub", {"inner.txt"}},
      {"sub/*.t?t", {"inner.txt"}},
      {"a.txt", {"a.txt"}},
      {"b*", {"big.bin"}},
  };
  for (const Search& s : searches) {
    const auto got = ListAll(ftp, QString::fromUtf8(s.search));
    ASSERT_EQ(got.size(), s.names.size()) << s.search;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].name, QString::fromUtf8(s.names[i])) << s.search;
  }
  EXPECT_TRUE(log.raised.empty());
  EXPECT_EQ(ServerSawPrefix(QStringLiteral("PORT ")), !param.passive);
  EXPECT_EQ(ServerSawPrefix(QStringLiteral("MLSD")), param.machineListings);
  EXPECT_EQ(ServerSawPrefix(QStringLiteral("LIST")), !param.machineListings);
}

INSTANTIATE_TEST_SUITE_P(PassiveActiveMlsdList, FtpListingTest,
                         ::testing::Values(ListingCase{true, true}, ListingCase{false, true},
                                           ListingCase{true, false}, ListingCase{false, false}));

TEST_F(FtpSessionTest, EmptyListingEndsSilentlyAndAMissingDirectoryIsRefused) {
  QDir().mkpath(server.Root("empty"));
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp);
  ftp.FindFile(QStringLiteral("empty"));
  EXPECT_TRUE(ftp.RemoteFile().SearchEnd);
  ftp.FindFile(QStringLiteral("*.none"));
  EXPECT_TRUE(ftp.RemoteFile().SearchEnd);
  EXPECT_TRUE(log.raised.empty());

  ftp.FindFile(QStringLiteral("no-such-dir"));
  EXPECT_TRUE(ftp.RemoteFile().SearchEnd);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 12003);
}

TEST_F(FtpSessionTest, ANewListingOrCloseSessionAbandonsTheOldOne) {
  WriteAll(server.Root("one.txt"), "1");
  WriteAll(server.Root("two.txt"), "2");
  McWinFTP ftp;
  Connect(ftp);
  ftp.FindFile(QString());
  ASSERT_FALSE(ftp.RemoteFile().SearchEnd);
  ftp.FindFile(QStringLiteral("two.txt"));
  EXPECT_EQ(ftp.RemoteFile().FileName, QStringLiteral("two.txt"));
  ftp.NextFile();
  EXPECT_TRUE(ftp.RemoteFile().SearchEnd);

  ftp.FindFile(QString());
  ASSERT_FALSE(ftp.RemoteFile().SearchEnd);
  ftp.CloseSession();
  ErrorLog log(ftp);
  ftp.NextFile();  // the listing went with the session
  EXPECT_TRUE(ftp.RemoteFile().SearchEnd);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].number, 6);
}

TEST_F(FtpSessionTest, ObjectsUsedAfterCloseSessionFailThroughTheEvent) {
  WriteAll(server.Root("f.txt"), "f");
  WriteAll(server.Work("local.txt"), "l");
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp);
  ftp.CloseSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  EXPECT_TRUE(ServerSaw(QStringLiteral("QUIT")));

  struct Use {
    const char* what;
    std::function<bool()> failed;
  } uses[] = {
      {"PutFile", [&] { return ftp.PutFile(server.Work("local.txt"), QStringLiteral("p.txt"), 2) == 0; }},
      {"GetFile", [&] { return ftp.GetFile(QStringLiteral("f.txt"), server.Work("g.txt"), false, 2) == 0; }},
      {"RenameFile", [&] { return ftp.RenameFile(QStringLiteral("f.txt"), QStringLiteral("r.txt")) == 0; }},
      {"DeleteFile", [&] { return ftp.DeleteFile(QStringLiteral("f.txt")) == 0; }},
      {"CreateDir", [&] { return ftp.CreateDir(QStringLiteral("d")) == 0; }},
      {"RemoveDir", [&] { return ftp.RemoveDir(QStringLiteral("d")) == 0; }},
      {"CurDir", [&] { return ftp.CurDir().isEmpty(); }},
      {"SetCurDir", [&] { ftp.SetCurDir(QStringLiteral("x")); return true; }},
      {"FindFile", [&] { ftp.FindFile(QString()); return ftp.RemoteFile().SearchEnd; }},
  };
  for (const Use& u : uses) {
    log.raised.clear();
    EXPECT_TRUE(u.failed()) << u.what;
    ASSERT_EQ(log.raised.size(), 1u) << u.what;
    EXPECT_EQ(log.raised[0].number, 6) << u.what;
    EXPECT_EQ(log.raised[0].text, QStringLiteral("ハンドルが無効です。")) << u.what;
  }
  EXPECT_EQ(ReadAll(server.Root("f.txt")), QByteArray("f"));
  EXPECT_FALSE(QFile::exists(server.Work("g.txt")));
  // Closing twice is harmless, and the object can connect again.
  ftp.CloseSession();
  log.raised.clear();
  Connect(ftp);
  EXPECT_EQ(ftp.CurDir(), QStringLiteral("/"));
  EXPECT_TRUE(log.raised.empty());
}

TEST_F(FtpSessionTest, AServerThatGoesAwayMakesOperationsFailNotHang) {
  McWinFTP ftp;
  ErrorLog log(ftp);
  Connect(ftp);
  server.Stop();
  EXPECT_EQ(ftp.DeleteFile(QStringLiteral("x")), 0);
  ASSERT_EQ(log.raised.size(), 1u);
  EXPECT_EQ(log.raised[0].text, QStringLiteral("エラーが発生しています。"));
  EXPECT_EQ(ftp.CreateDir(QStringLiteral("y")), 0);
  EXPECT_EQ(log.raised.size(), 2u);
}

}  // namespace
