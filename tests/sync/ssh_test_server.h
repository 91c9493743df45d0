// Starts and stops a real SSH server (OpenSSH's sshd) on 127.0.0.1 for one
// test: a free port, a host key and a user key made at test time, the user
// key authorized for the user running the tests, and the built-in SFTP
// server. sshd needs its privilege-separation directory /run/sshd and is run
// by its absolute path in the foreground (-D), logging to standard error.
#pragma once

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "sync/local_port.h"

namespace lmtest {

class SshTestServer {
 public:
  SshTestServer() {
    const QString sshd = QStringLiteral("/usr/sbin/sshd");
    if (!QFile::exists(sshd)) {
      ADD_FAILURE() << "sshd is missing (scripts/install-deps.sh installs openssh-server)";
      return;
    }
    QDir().mkpath(QStringLiteral("/run/sshd"));
    const QString dir = work_.path();
    if (!KeyGen(dir + QStringLiteral("/host_key")) || !KeyGen(dir + QStringLiteral("/user_key"))) return;
    QFile::copy(dir + QStringLiteral("/user_key.pub"), dir + QStringLiteral("/authorized_keys"));
    QDir().mkpath(Root());
    port_ = FreeLocalPort();
    QFile config(dir + QStringLiteral("/sshd_config"));
    if (!config.open(QIODevice::WriteOnly)) return;
    config.write(QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/host_key\n"
                                "AuthorizedKeysFile %2/authorized_keys\nPidFile none\nStrictModes no\n"
                                "UsePAM no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                "PubkeyAuthentication yes\nPermitRootLogin yes\n"
                                "Subsystem sftp internal-sftp\nLogLevel VERBOSE\n")
                     .arg(port_)
                     .arg(dir)
                     .toUtf8());
    config.close();
    process_.setProgram(sshd);
    process_.setArguments({QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config.fileName()});
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start();
    if (!process_.waitForStarted(10000)) {
      ADD_FAILURE() << "cannot start sshd";
      port_ = 0;
      return;
    }
    // Ready once it accepts connections.
    for (int i = 0; i < 100; ++i) {
      if (AcceptsConnections(port_)) return;
      if (process_.state() == QProcess::NotRunning) break;
      QThread::msleep(50);
    }
    ADD_FAILURE() << "sshd did not start: " << process_.readAll().constData();
    port_ = 0;
  }
  ~SshTestServer() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  int Port() const { return port_; }
  QString UserKey() const { return work_.path() + QStringLiteral("/user_key"); }
  QString KnownHosts() const { return work_.path() + QStringLiteral("/known_hosts"); }
  // A folder for the test's remote files, and a scratch folder for local ones.
  QString Root(const QString& rel = QString()) const {
    const QString root = work_.path() + QStringLiteral("/remote");
    return rel.isEmpty() ? root : root + QLatin1Char('/') + rel;
  }
  QString Work(const QString& rel) const { return work_.path() + QStringLiteral("/local/") + rel; }
  QString Log() { return QString::fromUtf8(process_.readAll()); }

 private:
  static bool KeyGen(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                                           QStringLiteral("-N"), QString(), QStringLiteral("-f"), path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
      ADD_FAILURE() << "ssh-keygen failed (openssh-client missing?): " << p.readAllStandardError().constData();
      return false;
    }
    return true;
  }

  QTemporaryDir work_;
  QProcess process_;
  int port_ = 0;
};

}  // namespace lmtest
