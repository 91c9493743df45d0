// Which certificate an FTPS session accepts, against vsftpd on 127.0.0.1
// with certificates made by the test: self-signed ones, and ones issued by a
// certificate authority of the test's own for 127.0.0.1 and for another host
// name. A pinned certificate passes only itself; without a pin the
// authority and the host name decide; a certificate trusted for one
// connection passes beside the pin. Every refusal happens in the handshake,
// before the server sees a login.
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "sync/curl_ftp_session.h"
#include "sync/mc_win_ftp.h"
#include "sync/sync_test_print.h"
#include "sync/test_certificate.h"
#include "sync/vsftpd_test_server.h"

namespace {

using lm::McWinFTP;
using lmtest::Certificate;
using lmtest::VsftpdTestServer;

struct Raised {
  qint32 number;
  QString text;
};

int Logins(const QStringList& commands) {
  int n = 0;
  for (const QString& c : commands)
    if (c.startsWith(QLatin1String("USER")) || c.startsWith(QLatin1String("PASS"))) ++n;
  return n;
}

class CertificateTrust : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString dir = server.Work(QString()).chopped(1);
    ca = lmtest::MakeAuthority(dir);
    forThisHost = lmtest::IssueCertificate(ca, dir, QStringLiteral("local"), QStringLiteral("IP:127.0.0.1"));
    forOtherHost = lmtest::IssueCertificate(ca, dir, QStringLiteral("other"), QStringLiteral("DNS:other.example"));
    selfA = lmtest::MakeCertificate(dir, QStringLiteral("selfA"));
    selfB = lmtest::MakeCertificate(dir, QStringLiteral("selfB"));
    for (const Certificate* c : {&ca, &forThisHost, &forOtherHost, &selfA, &selfB}) ASSERT_FALSE(c->sha256.isEmpty());
  }

  // Opens a session to the server with the given trust settings; the
  // signals it raised are kept in `raised`.
  void Open(McWinFTP& ftp, bool trustAuthority, const QString& pin, const QString& once) {
    raised.clear();
    ftp.SetRemoteHost(server.Url());
    ftp.SetUser(QString::fromLatin1(VsftpdTestServer::kUser));
    ftp.SetPassword(QString::fromLatin1(VsftpdTestServer::kPassword));
    ftp.SetPassiveFlag(true);
    ftp.SetTimeoutSeconds(10);
    ftp.SetCertificateAuthorities(trustAuthority ? ca.cert : QString());
    ftp.SetTrustedCertificate(pin);
    ftp.SetTrustOnce(once);
    ftp.OpenSession();
  }

  VsftpdTestServer server;
  Certificate ca, forThisHost, forOtherHost, selfA, selfB;
  std::vector<Raised> raised;
};

TEST_F(CertificateTrust, APinnedCertificatePassesOnlyItselfAndRefusalsComeBeforeTheLogin) {
  enum Outcome { Opens, RefusedFirstTime, RefusedChanged };
  struct Case {
    const char* what;
    const Certificate* presented;
    bool trustAuthority;  // the test's authority stands in for the system's store
    const Certificate* pinned;
    const Certificate* once;
    Outcome outcome;
  } cases[] = {
      {"authority and host name vouch", &forThisHost, true, nullptr, nullptr, Opens},
      {"authority vouches, another host's name", &forOtherHost, true, nullptr, nullptr, RefusedFirstTime},
      {"pinned, another host's certificate from a trusted authority", &forOtherHost, true, &selfA, nullptr,
       RefusedChanged},
      {"pinned, a certificate the authority issued for this host", &forThisHost, true, &selfA, nullptr,
       RefusedChanged},
      {"pinned, another self-signed certificate", &selfB, false, &selfA, nullptr, RefusedChanged},
      {"pinned self-signed certificate", &selfA, false, &selfA, nullptr, Opens},
      {"pinned certificate with another host's name", &forOtherHost, true, &forOtherHost, nullptr, Opens},
      {"self-signed, nothing pinned", &selfA, false, nullptr, nullptr, RefusedFirstTime},
      {"self-signed, trusted for this connection", &selfA, false, nullptr, &selfA, Opens},
      {"changed, the new one trusted for this connection", &selfB, false, &selfA, &selfB, Opens},
      {"another host's name, another certificate trusted for this connection", &forOtherHost, true, nullptr,
       &selfA, RefusedFirstTime},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.Restart({c.presented->cert, c.presented->key});
    ASSERT_GT(server.Port(), 0);
    const int loginsBefore = Logins(server.Commands());
    McWinFTP ftp;
    QObject::connect(&ftp, &McWinFTP::FTPFrr, [this](qint32 n, const QString& t) { raised.push_back({n, t}); });
    // The pin as the profile keeps it (openssl's form); the one-time trust as
    // typed on the command line.
    Open(ftp, c.trustAuthority, c.pinned ? c.pinned->sha256 : QString(),
         c.once ? QStringLiteral("SHA256:") + c.once->sha256 : QString());
    if (c.outcome == Opens) {
      EXPECT_NE(ftp.hFTP(), 0u);
      for (const Raised& r : raised) ADD_FAILURE() << r.number << " " << r.text.toStdString();
      EXPECT_EQ(ftp.PresentedCertificate(), QString());
      EXPECT_FALSE(ftp.CertificateChanged());
      EXPECT_GT(Logins(server.Commands()), loginsBefore);
      continue;
    }
    EXPECT_EQ(ftp.hFTP(), 0u);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].number, 12157);
    EXPECT_EQ(ftp.PresentedCertificate(), c.presented->sha256);
    EXPECT_TRUE(raised[0].text.contains(c.presented->sha256)) << raised[0].text.toStdString();
    EXPECT_EQ(ftp.CertificateChanged(), c.outcome == RefusedChanged);
    if (c.outcome == RefusedChanged) {
      EXPECT_TRUE(raised[0].text.startsWith(QStringLiteral("サーバーの証明書が変わっています。")))
          << raised[0].text.toStdString();
      EXPECT_TRUE(raised[0].text.contains(c.pinned->sha256)) << raised[0].text.toStdString();
    } else {
      EXPECT_TRUE(raised[0].text.startsWith(QStringLiteral("サーバーの証明書を確認できませんでした。")))
          << raised[0].text.toStdString();
    }
    // Neither the user name nor the password reached the server.
    EXPECT_EQ(Logins(server.Commands()), loginsBefore) << server.Commands().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(server.Commands().contains(QStringLiteral("AUTH TLS")));
  }
}

TEST_F(CertificateTrust, APinnedSessionMovesDataOverProtectedConnections) {
  server.Restart({selfA.cert, selfA.key});
  ASSERT_GT(server.Port(), 0);
  McWinFTP ftp;
  QObject::connect(&ftp, &McWinFTP::FTPFrr, [this](qint32 n, const QString& t) { raised.push_back({n, t}); });
  // The pin as an author may paste it: lower case, without colons.
  Open(ftp, false, selfA.sha256.toLower().remove(QLatin1Char(':')), QString());
  ASSERT_NE(ftp.hFTP(), 0u);
  QDir().mkpath(server.Work(QString()));
  QFile local(server.Work(QStringLiteral("up.bin")));
  ASSERT_TRUE(local.open(QIODevice::WriteOnly));
  local.write(QByteArray(300000, 's'));
  local.close();
  EXPECT_EQ(ftp.PutFile(local.fileName(), QStringLiteral("/pub/secure.bin"), 2), 1)
      << (raised.empty() ? QString() : raised.back().text).toStdString();
  EXPECT_EQ(ftp.GetFile(QStringLiteral("/pub/secure.bin"), server.Work(QStringLiteral("back.bin")), false, 2), 1);
  QFile back(server.Work(QStringLiteral("back.bin")));
  ASSERT_TRUE(back.open(QIODevice::ReadOnly));
  EXPECT_EQ(back.readAll(), QByteArray(300000, 's'));
  ftp.FindFile(QStringLiteral("/pub/*"));
  EXPECT_EQ(ftp.RemoteFile().FileName, QStringLiteral("secure.bin"));
  for (const Raised& r : raised) ADD_FAILURE() << r.number << " " << r.text.toStdString();
  const QStringList commands = server.Commands();
  EXPECT_TRUE(commands.contains(QStringLiteral("PROT P"))) << commands.join(QLatin1Char('\n')).toStdString();
}

TEST(Fingerprint, BothShownFormsReadAsTheSameBytesAndAnythingElseAsNone) {
  const QByteArray bytes = QByteArray::fromHex("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
  const QString hex = QStringLiteral("00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:"
                                     "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF");
  const QString base64 = QString::fromLatin1(bytes.toBase64(QByteArray::OmitTrailingEquals));
  struct Case {
    QString text;
    QByteArray expected;
  } cases[] = {
      {hex, bytes},
      {hex.toLower(), bytes},
      {QString(hex).remove(QLatin1Char(':')), bytes},
      {QStringLiteral("SHA256:") + hex, bytes},
      {QStringLiteral("sha256:") + hex, bytes},
      {QStringLiteral("  ") + hex + QStringLiteral(" "), bytes},
      {QStringLiteral("SHA256:") + base64, bytes},
      {QStringLiteral("SHA256:") + base64 + QLatin1Char('='), bytes},
      {base64, bytes},
      {QString(), {}},
      {QStringLiteral("SHA256:"), {}},
      {hex.left(hex.size() - 3), {}},                      // one byte short
      {hex + QStringLiteral(":00"), {}},                   // one byte long
      {QStringLiteral("SHA256:") + base64.left(40), {}},   // cut
      {QStringLiteral("SHA256:") + base64 + QStringLiteral("AAAA"), {}},
      {QStringLiteral("00:11:22:GG"), {}},
      {QStringLiteral("SHA256:表") + base64.mid(1), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    EXPECT_EQ(lm::FingerprintBytes(c.text), c.expected);
  }
}

}  // namespace
