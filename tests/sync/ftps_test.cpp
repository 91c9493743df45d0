// FTPS (explicit TLS) against pyftpdlib's TLS handler on 127.0.0.1, with a
// self-signed certificate made at test time by the openssl command: refused
// until the author trusts its fingerprint, then used with control and data
// connections protected.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include "sync/ftp_test_server.h"
#include "sync/test_certificate.h"
#include "sync/mc_win_ftp.h"
#include "sync/sync_test_print.h"

namespace {

using lm::McWinFTP;
using lmtest::Certificate;
using lmtest::FtpTestServer;
using lmtest::MakeCertificate;

struct Raised {
  qint32 number;
  QString text;
};

class FtpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cert = MakeCertificate(server.Work(QString()).chopped(1));
    ASSERT_FALSE(cert.sha256.isEmpty());
    server.RestartWith({QStringLiteral("--tls-cert"), cert.cert, QStringLiteral("--tls-key"), cert.key});
    ASSERT_NE(server.Port(), 0);
  }
  void Prepare(McWinFTP& ftp, const QString& scheme = QStringLiteral("ftps")) {
    ftp.SetRemoteHost(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(server.Port()));
    ftp.SetUser(QString::fromLatin1(FtpTestServer::kUser));
    ftp.SetPassword(QString::fromLatin1(FtpTestServer::kPassword));
    ftp.SetPassiveFlag(true);
    ftp.SetTimeoutSeconds(10);
    QObject::connect(&ftp, &McWinFTP::FTPFrr, [this](qint32 n, const QString& t) { raised.push_back({n, t}); });
  }

  FtpTestServer server;
  Certificate cert;
  std::vector<Raised> raised;
};

TEST_F(FtpsTest, AnUntrustedCertificateIsRefusedUntilItsFingerprintIsTrusted) {
  McWinFTP ftp;
  Prepare(ftp);
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].number, 12157);
  EXPECT_TRUE(raised[0].text.contains(cert.sha256)) << raised[0].text.toStdString();
  EXPECT_EQ(ftp.PresentedCertificate(), cert.sha256);
  // The password never reached the server.
  EXPECT_FALSE(server.Commands().contains(QStringLiteral("PASS ***")));

  // Another fingerprint does not open the door.
  raised.clear();
  ftp.SetTrustedCertificate(QStringLiteral("00:11:22:33"));
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  EXPECT_EQ(raised.size(), 1u);

  // Trusted by its fingerprint (colons and case do not matter): transfers
  // run with control and data connections protected.
  raised.clear();
  ftp.SetTrustedCertificate(cert.sha256.toLower().remove(QLatin1Char(':')));
  ftp.OpenSession();
  ASSERT_NE(ftp.hFTP(), 0u);
  QFile local(server.Work(QStringLiteral("up.bin")));
  ASSERT_TRUE(local.open(QIODevice::WriteOnly));
  local.write(QByteArray(100000, 's'));
  local.close();
  EXPECT_EQ(ftp.PutFile(local.fileName(), QStringLiteral("secure.bin"), 2), 1);
  EXPECT_EQ(ftp.GetFile(QStringLiteral("secure.bin"), server.Work(QStringLiteral("back.bin")), false, 2), 1);
  QFile back(server.Work(QStringLiteral("back.bin")));
  ASSERT_TRUE(back.open(QIODevice::ReadOnly));
  EXPECT_EQ(back.readAll(), QByteArray(100000, 's'));
  for (const Raised& r : raised) ADD_FAILURE() << r.number << " " << r.text.toStdString();
  const QStringList commands = server.Commands();
  EXPECT_TRUE(commands.contains(QStringLiteral("AUTH TLS")));
  EXPECT_TRUE(commands.contains(QStringLiteral("PROT P")));

  // With the certificate trusted, a wrong password is a refused login, not
  // a certificate question.
  raised.clear();
  ftp.SetPassword(QStringLiteral("wrong"));
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].number, 12003);
  EXPECT_TRUE(raised[0].text.startsWith(QStringLiteral("530"))) << raised[0].text.toStdString();
  EXPECT_EQ(ftp.PresentedCertificate(), QString());
}

TEST_F(FtpsTest, PlainFtpToAServerThatRequiresTlsIsRefusedByTheServer) {
  McWinFTP ftp;
  Prepare(ftp, QStringLiteral("ftp"));
  ftp.OpenSession();
  EXPECT_EQ(ftp.hFTP(), 0u);
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0].number, 12003);
}

}  // namespace
