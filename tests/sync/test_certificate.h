// A self-signed certificate made at test time by the openssl command, for
// FTPS test servers.
#pragma once

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

inline Certificate MakeCertificate(const QString& dir) {
  const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
  if (openssl.isEmpty()) {
    ADD_FAILURE() << "the openssl command is missing (scripts/install-deps.sh installs it)";
    return {};
  }
  Certificate c{dir + QStringLiteral("/cert.pem"), dir + QStringLiteral("/key.pem"), {}};
  RunTool(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                QStringLiteral("-nodes"), QStringLiteral("-keyout"), c.key, QStringLiteral("-out"), c.cert,
                QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=loftmark-test")});
  const QString out = RunTool(openssl, {QStringLiteral("x509"), QStringLiteral("-in"), c.cert, QStringLiteral("-noout"),
                                    QStringLiteral("-fingerprint"), QStringLiteral("-sha256")});
  c.sha256 = out.section(QLatin1Char('='), 1).trimmed();
  return c;
}

}  // namespace lmtest
