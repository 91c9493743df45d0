// Starts and stops a real FTP server (pyftpdlib on the system Python) on
// 127.0.0.1 for one test, with its own temporary root directory and user.
#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "sync/port_printing_server.h"

namespace lmtest {

class FtpTestServer {
 public:
  static constexpr const char* kUser = "loftuser";
  static constexpr const char* kPassword = "s3cret-pw";

  FtpTestServer() {
    EXPECT_TRUE(root_.isValid() && work_.isValid());
    logPath_ = work_.path() + QStringLiteral("/commands.log");
    Start({});
  }

  // Starts the server again with more options (such as "--no-mlst"); the
  // root directory stays.
  void RestartWith(const QStringList& options) {
    Stop();
    Start(options);
  }

  ~FtpTestServer() { Stop(); }

  // Ends the server (every open connection drops with it).
  void Stop() {
    if (process_.state() != QProcess::NotRunning) {
      process_.terminate();
      if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
      }
    }
  }

  int Port() const { return port_; }
  // The server's root directory and a scratch directory for local files.
  QString Root(const QString& rel = QString()) const {
    return rel.isEmpty() ? root_.path() : root_.path() + QLatin1Char('/') + rel;
  }
  QString Work(const QString& rel) const { return work_.path() + QLatin1Char('/') + rel; }

  // Every command the server has received so far, one per element.
  QStringList Commands() const {
    QFile f(logPath_);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }

 private:
  void Start(const QStringList& options) {
    port_ = StartPortPrintingServer(
        process_, QStringList{QStringLiteral(LM_SOURCE_DIR "/tests/sync/ftp_test_server.py"), QStringLiteral("--root"),
                              root_.path(), QStringLiteral("--user"), QString::fromLatin1(kUser),
                              QStringLiteral("--password"), QString::fromLatin1(kPassword), QStringLiteral("--log"),
                              logPath_} +
                      options);
  }

  QTemporaryDir root_;
  QTemporaryDir work_;
  QString logPath_;
  QProcess process_;
  int port_ = 0;
};

}  // namespace lmtest
