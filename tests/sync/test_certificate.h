// Certificates made at test time by the openssl command, for the TLS test
// servers: self-signed ones, and a certificate authority of the test's own
// with certificates it issues for given host names or addresses.
#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace lmtest {

inline QString RunTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) {
    ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().constData();
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

// A self-signed certificate and its SHA-256 fingerprint as openssl prints it.
struct Certificate {
  QString cert, key, sha256;
};

inline QString OpensslCommand() {
  const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
  if (openssl.isEmpty()) ADD_FAILURE() << "the openssl command is missing (scripts/install-deps.sh installs it)";
  return openssl;
}

// The SHA-256 fingerprint of a certificate file as openssl prints it
// ("AB:CD:...").
inline QString CertificateSha256(const QString& cert) {
  const QString out = RunTool(OpensslCommand(), {QStringLiteral("x509"), QStringLiteral("-in"), cert,
                                                 QStringLiteral("-noout"), QStringLiteral("-fingerprint"),
                                                 QStringLiteral("-sha256")});
  return out.section(QLatin1Char('='), 1).trimmed();
}

// A self-signed certificate; `name` is the file stem inside `dir`.
inline Certificate MakeCertificate(const QString& dir, const QString& name = QStringLiteral("cert")) {
  const QString openssl = OpensslCommand();
  if (openssl.isEmpty()) return {};
  Certificate c{dir + QLatin1Char('/') + name + QStringLiteral(".pem"),
                dir + QLatin1Char('/') + name + QStringLiteral("-key.pem"), {}};
  RunTool(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                QStringLiteral("-nodes"), QStringLiteral("-keyout"), c.key, QStringLiteral("-out"), c.cert,
                QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=loftmark-test")});
  c.sha256 = CertificateSha256(c.cert);
  return c;
}

// A certificate authority of the test's own (its certificate is the file a
// client is told to trust), and a certificate it issues for `subjectAltName`
// ("IP:127.0.0.1", "DNS:other.example").
inline Certificate MakeAuthority(const QString& dir) {
  const QString openssl = OpensslCommand();
  if (openssl.isEmpty()) return {};
  Certificate ca{dir + QStringLiteral("/ca.pem"), dir + QStringLiteral("/ca-key.pem"), {}};
  RunTool(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                    QStringLiteral("-nodes"), QStringLiteral("-keyout"), ca.key, QStringLiteral("-out"), ca.cert,
                    QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=Loftmark Test Authority"), QStringLiteral("-addext"),
                    QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                    QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
  ca.sha256 = CertificateSha256(ca.cert);
  return ca;
}

inline Certificate IssueCertificate(const Certificate& ca, const QString& dir, const QString& name,
                                    const QString& subjectAltName) {
  const QString openssl = OpensslCommand();
  if (openssl.isEmpty()) return {};
  Certificate c{dir + QLatin1Char('/') + name + QStringLiteral(".pem"),
                dir + QLatin1Char('/') + name + QStringLiteral("-key.pem"), {}};
  const QString request = dir + QLatin1Char('/') + name + QStringLiteral(".csr");
  const QString extensions = dir + QLatin1Char('/') + name + QStringLiteral(".ext");
  QFile ext(extensions);
  if (!ext.open(QIODevice::WriteOnly)) return {};
  ext.write(("subjectAltName=" + subjectAltName + "\nbasicConstraints=CA:FALSE\n"
             "extendedKeyUsage=serverAuth\n").toUtf8());
  ext.close();
  RunTool(openssl, {QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                    QStringLiteral("-nodes"), QStringLiteral("-keyout"), c.key, QStringLiteral("-out"), request,
                    QStringLiteral("-subj"), QStringLiteral("/CN=") + subjectAltName.section(QLatin1Char(':'), 1)});
  RunTool(openssl, {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                    QStringLiteral("-CA"), ca.cert, QStringLiteral("-CAkey"), ca.key, QStringLiteral("-CAcreateserial"),
                    QStringLiteral("-out"), c.cert, QStringLiteral("-days"), QStringLiteral("2"),
                    QStringLiteral("-extfile"), extensions});
  c.sha256 = CertificateSha256(c.cert);
  return c;
}

}  // namespace lmtest
