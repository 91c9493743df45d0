// Publishing a DAT tree to a pyftpdlib server on 127.0.0.1: the first run
// sends everything, the update run after 10 changed files must send only
// those and index.fet. Prints time, files and bytes of both runs, and the
// plain transfer rate of one 30 MB file on the same server as a baseline
// (the Python server bounds all of these figures). The same tree then goes
// through the whole publish run (scan, listing, record, check afterwards)
// and the check on demand.
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "index/index_writer.h"
#include "sync/check_differ.h"
#include "sync/mc_win_ftp.h"
#include "profiles/script_check.h"
#include "sync/publish.h"
#include "sync/server_upload.h"
#include "util/app_globals.h"
#include "util/message_box.h"

namespace {

using namespace lm;

class QuietView : public IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override {}
  void AddListLine(const QString&) override {}
};

void WriteFile(const QString& path, qint64 size, int seed, const QDateTime& time) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  QByteArray bytes(size, '\0');
  for (qint64 i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 977) & 0xFF);
  f.write(bytes);
  f.setFileTime(time, QFileDevice::FileModificationTime);
}

struct Run {
  double seconds = 0;
  UploadOutcome outcome;
};

Run Publish(const QString& dat, int port, const QString& work) {
  QElapsedTimer clock;
  clock.start();
  QuietView view;
  WriteIndexFiles(dat + QLatin1Char('/'), QStringLiteral("2026 12 31 9 0 "), 1, view);
  McWinFTP ftp;
  Profile p;
  p.server = QStringLiteral("ftp://127.0.0.1:%1").arg(port);
  p.userid = QStringLiteral("bench");
  p.dirserver = QStringLiteral("/dat");
  QString message;
  Run run;
  if (!OpenProfileSession(ftp, p, QStringLiteral("bench"), message) || !EnterServerFolder(ftp, p.dirserver, message) ||
      !FetchServerIndex(ftp, work + QStringLiteral("/indexserver.fet"), message) ||
      CompareIndexFiles(dat + QStringLiteral("/index.fet"), work + QStringLiteral("/indexserver.fet")) != 0) {
    std::fprintf(stderr, "cannot prepare the run: %s\n", message.toLocal8Bit().constData());
    return run;
  }
  UploadHooks hooks;
  hooks.confirmDeletions = [](int) { return true; };
  run.outcome = UploadChanges(ftp, dat, uploadList, deleteList, hooks);
  run.seconds = clock.nsecsElapsed() / 1e9;
  return run;
}

void Print(const char* what, const Run& run) {
  std::printf("%-28s %8.2f s  %5d files  %12lld bytes  %7.1f MB/s  %s\n", what, run.seconds, run.outcome.filesSent,
              static_cast<long long>(run.outcome.bytesSent),
              run.seconds > 0 ? run.outcome.bytesSent / run.seconds / 1e6 : 0.0,
              run.outcome.status == UploadOutcome::Done ? "done" : run.outcome.message.toLocal8Bit().constData());
}

// The publish run as the window and the command line use it: answers yes.
class Yes final : public PublishQuestions {
 public:
  bool Password(const Profile&, QString& password) override {
    password = QStringLiteral("bench");
    return true;
  }
  bool TrustNewCertificate(const QString&) override { return false; }
  bool TrustChangedCertificate(const QString&, const QString&) override { return false; }
  bool TrustNewHostKey(const QString&, const QString&) override { return false; }
  bool RewriteStaleIndex(int, const QString&, QString& why) override {
    why = QStringLiteral("stale index");
    return false;
  }
  bool ConfirmPlan(const PublishPlan&) override { return true; }
  bool ConfirmDeletions(int) override { return true; }
  bool Progress(const UploadProgress&) override { return true; }
};

void PrintPublish(const char* what, const PublishResult& r, double seconds) {
  std::printf("%-28s %8.2f s  %5d files  %12lld bytes  %7.1f MB/s  %s\n", what, seconds, r.upload.filesSent,
              static_cast<long long>(r.upload.bytesSent), seconds > 0 ? r.upload.bytesSent / seconds / 1e6 : 0.0,
              r.ok() ? "done" : r.message.toLocal8Bit().constData());
}

// The same tree through PublishScript (DAT scanned, the server folder
// listed, the record of the last publish, the check afterwards), then
// VerifyServer on its own.
void PublishRuns(const QString& work, int port) {
  const QString dat = work + QStringLiteral("/script/DAT");
  QFile ugu(work + QStringLiteral("/script/bench.ugu"));
  QDir().mkpath(work + QStringLiteral("/script"));
  ugu.open(QIODevice::WriteOnly);
  ugu.close();
  const QDateTime first(QDate(2026, 3, 1), QTime(12, 0));
  for (int i = 0; i < 1000; ++i)
    WriteFile(dat + QStringLiteral("/d%1/f%2.bin").arg(i / 40, 2, 10, QLatin1Char('0')).arg(i, 4, 10, QLatin1Char('0')),
              30000, i, first);
  programDir = work;
  Profile p;
  p.profile = QStringLiteral("bench");
  p.server = QStringLiteral("ftp://127.0.0.1:%1").arg(port);
  p.userid = QStringLiteral("bench");
  p.dirserver = QStringLiteral("/dat2");
  const ScriptLayout layout = LayoutOf(ugu.fileName(), 1);
  Yes yes;
  QuietView view;
  auto run = [&](const char* what) {
    WriteIndexFiles(dat + QLatin1Char('/'), QStringLiteral("2026 12 31 9 0 "), 1, view);
    QElapsedTimer clock;
    clock.start();
    const PublishResult r = PublishScript(p, layout, yes);
    PrintPublish(what, r, clock.nsecsElapsed() / 1e9);
    return r;
  };
  run("publish: first run");
  const QDateTime later(QDate(2026, 3, 5), QTime(12, 0));
  for (int i = 0; i < 10; ++i)
    WriteFile(dat + QStringLiteral("/d%1/f%2.bin").arg(i * 97 / 40, 2, 10, QLatin1Char('0')).arg(i * 97, 4, 10, QLatin1Char('0')),
              30000, 5000 + i, later);
  const PublishResult update = run("publish: update (10 changed)");
  if (update.upload.filesSent != 11) std::printf("UNEXPECTED: the update sent %d files, not 11\n", update.upload.filesSent);
  QElapsedTimer clock;
  clock.start();
  const PublishResult check = VerifyServer(p, layout, yes);
  std::printf("%-28s %8.2f s  %s\n", "verify", clock.nsecsElapsed() / 1e9,
              check.ok() ? "done" : check.message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir root, work;
  QProcess server;
  server.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(LM_SOURCE_DIR "/tests/sync/ftp_test_server.py"), QStringLiteral("--root"), root.path(),
                QStringLiteral("--user"), QStringLiteral("bench"), QStringLiteral("--password"), QStringLiteral("bench"),
                QStringLiteral("--log"), work.path() + QStringLiteral("/log")});
  QByteArray out;
  while (!out.contains('\n') && server.waitForReadyRead(15000)) out += server.readAllStandardOutput();
  if (!out.startsWith("PORT ")) {
    std::fprintf(stderr, "the FTP test server did not start\n");
    return 1;
  }
  const int port = out.mid(5).trimmed().toInt();

  // 1 000 files of 30 000 bytes in 25 folders of 40: 30 MB.
  const QString dat = work.path() + QStringLiteral("/DAT");
  const QDateTime first(QDate(2026, 3, 1), QTime(12, 0));
  for (int i = 0; i < 1000; ++i)
    WriteFile(dat + QStringLiteral("/d%1/f%2.bin").arg(i / 40, 2, 10, QLatin1Char('0')).arg(i, 4, 10, QLatin1Char('0')),
              30000, i, first);

  // Baseline: one file of the same 30 MB in one transfer.
  {
    WriteFile(work.path() + QStringLiteral("/one.bin"), 30000000, 1, first);
    McWinFTP ftp;
    ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
    ftp.SetRemotePort(port);
    ftp.SetUser(QStringLiteral("bench"));
    ftp.SetPassword(QStringLiteral("bench"));
    ftp.SetPassiveFlag(true);
    ftp.OpenSession();
    QElapsedTimer clock;
    clock.start();
    const bool ok = ftp.PutFile(work.path() + QStringLiteral("/one.bin"), QStringLiteral("one.bin"), 2) != 0;
    const double s = clock.nsecsElapsed() / 1e9;
    std::printf("%-28s %8.2f s  %5d files  %12lld bytes  %7.1f MB/s  %s\n", "baseline: one 30 MB file", s, 1,
                30000000LL, 30000000 / s / 1e6, ok ? "done" : "failed");
    ftp.DeleteFile(QStringLiteral("one.bin"));
  }

  Print("first run (1000 files)", Publish(dat, port, work.path()));
  const QDateTime later(QDate(2026, 3, 5), QTime(12, 0));
  for (int i = 0; i < 10; ++i)
    WriteFile(dat + QStringLiteral("/d%1/f%2.bin").arg(i * 97 / 40, 2, 10, QLatin1Char('0')).arg(i * 97, 4, 10, QLatin1Char('0')),
              30000, 5000 + i, later);
  const Run update = Publish(dat, port, work.path());
  Print("update run (10 changed)", update);
  if (update.outcome.filesSent != 11) std::printf("UNEXPECTED: the update sent %d files, not 11\n", update.outcome.filesSent);
  PublishRuns(work.path(), port);
  server.terminate();
  server.waitForFinished(5000);
  return 0;
}
