// Figures for the server synchronisation.
//
//  - CompareIndexFiles on a local and a server index of 10 000 entries each
//    (a tree of 100 directories of 99 files; a tenth of the files changed,
//    a few added and removed), beside the pairing done the plain way (every
//    local entry against every server entry) on the same parsed entries.
//  - McWinFTP uploading and downloading a 64 MiB file to a pyftpdlib server
//    on 127.0.0.1 (the Python server bounds these figures), binary and ASCII,
//    passive and active.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "sync/check_differ.h"
#include "sync/mc_win_ftp.h"
#include "util/text_file.h"

namespace {

using namespace lm;

struct IndexFiles {
  QTemporaryDir dir;
  QString local, server;
};

IndexFiles& Files() {
  static IndexFiles* files = [] {
    auto* f = new IndexFiles;
    QStringList local{QStringLiteral("#NextUpdate 2004 3 1 9 0 "), QStringLiteral("#FieldInfo date 12 attr 1 size 5")};
    QStringList server = local;
    for (int d = 0; d < 100; ++d) {
      const QString dirLine = QStringLiteral("200402200130d00000+dir%1").arg(d, 3, 10, QLatin1Char('0'));
      local << dirLine;
      server << dirLine;
      for (int i = 0; i < 99; ++i) {
        const QString name = QStringLiteral("|+file%1.dat").arg(i, 3, 10, QLatin1Char('0'));
        const bool changed = (d * 99 + i) % 10 == 0;
        local << (changed ? QStringLiteral("200403011200f00013") : QStringLiteral("200402190610f00012")) + name;
        if (i < 97 || d % 2) server << QStringLiteral("200402190610f00012") + name;  // some added locally
      }
      if (d % 3 == 0) server << QStringLiteral("200402190610f00001|+removed.dat");
    }
    f->local = f->dir.path() + QStringLiteral("/index.fet");
    f->server = f->dir.path() + QStringLiteral("/indexserver.fet");
    WriteTextLines(f->local, local);
    WriteTextLines(f->server, server);
    return f;
  }();
  return *files;
}

void BM_CompareIndexFiles(benchmark::State& state) {
  IndexFiles& f = Files();
  for (auto _ : state) {
    if (CompareIndexFiles(f.local, f.server) != 0) state.SkipWithError("comparison failed");
    benchmark::DoNotOptimize(uploadList.size());
  }
  state.counters["local"] = static_cast<double>(localEntries.size());
  state.counters["server"] = static_cast<double>(serverEntries.size());
  state.counters["uploads"] = static_cast<double>(uploadList.size());
  state.counters["deletions"] = static_cast<double>(deleteList.size());
}
BENCHMARK(BM_CompareIndexFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

// The pairing alone, by path lookup (what CollectUploads/CollectDeletions do)...
void BM_PairingByLookup(benchmark::State& state) {
  IndexFiles& f = Files();
  CompareIndexFiles(f.local, f.server);
  for (auto _ : state) {
    CollectUploads();
    CollectDeletions();
    benchmark::DoNotOptimize(deleteList.size());
  }
}
BENCHMARK(BM_PairingByLookup)->Unit(benchmark::kMillisecond)->UseRealTime();

// ...and the plain way, every local entry against every server entry.
void BM_PairingPlainLoops(benchmark::State& state) {
  IndexFiles& f = Files();
  CompareIndexFiles(f.local, f.server);
  for (auto _ : state) {
    qsizetype matches = 0, missing = 0;
    for (const IndexEntry& l : std::as_const(localEntries)) {
      bool found = false;
      for (const IndexEntry& s : std::as_const(serverEntries))
        if (s.path == l.path) found = true, ++matches;
      if (!found) ++missing;
    }
    for (const IndexEntry& s : std::as_const(serverEntries)) {
      bool found = false;
      for (const IndexEntry& l : std::as_const(localEntries))
        if (l.path == s.path) found = true;
      if (!found) ++missing;
    }
    benchmark::DoNotOptimize(matches + missing);
  }
}
BENCHMARK(BM_PairingPlainLoops)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// ---- FTP over loopback ----

struct Server {
  QTemporaryDir root, work;
  QProcess process;
  int port = 0;
  Server() {
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(LM_SOURCE_DIR "/tests/sync/ftp_test_server.py"), QStringLiteral("--root"),
                   root.path(), QStringLiteral("--user"), QStringLiteral("bench"), QStringLiteral("--password"),
                   QStringLiteral("bench"), QStringLiteral("--log"), work.path() + QStringLiteral("/log")});
    QByteArray out;
    while (!out.contains('\n') && process.waitForReadyRead(15000)) out += process.readAllStandardOutput();
    if (out.startsWith("PORT ")) port = out.mid(5).trimmed().toInt();
    QFile payload(work.path() + QStringLiteral("/payload.bin"));
    payload.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    for (int i = 0; i < 64; ++i) payload.write(block);
  }
  ~Server() {
    process.terminate();
    process.waitForFinished(5000);
  }
};

Server& TheServer() {
  static Server server;
  return server;
}

void BM_FtpTransfer(benchmark::State& state) {
  Server& server = TheServer();
  if (server.port == 0) {
    state.SkipWithError("FTP test server did not start");
    return;
  }
  const bool upload = state.range(0) == 1;
  const int32_t mode = static_cast<int32_t>(state.range(1));
  McWinFTP ftp;
  ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
  ftp.SetRemotePort(server.port);
  ftp.SetUser(QStringLiteral("bench"));
  ftp.SetPassword(QStringLiteral("bench"));
  ftp.SetPassiveFlag(state.range(2) == 1);
  ftp.OpenSession();
  if (ftp.hFTP() == 0) {
    state.SkipWithError("login failed");
    return;
  }
  const QString local = server.work.path() + QStringLiteral("/payload.bin");
  const QString back = server.work.path() + QStringLiteral("/back.bin");
  if (!upload) ftp.PutFile(local, QStringLiteral("payload.bin"), 2);
  for (auto _ : state) {
    const int32_t ok = upload ? ftp.PutFile(local, QStringLiteral("payload.bin"), mode)
                              : ftp.GetFile(QStringLiteral("payload.bin"), back, false, mode);
    if (!ok) state.SkipWithError("transfer failed");
  }
  state.SetBytesProcessed(state.iterations() * 64LL * 1024 * 1024);
  ftp.CloseSession();
}
// Arguments: upload (1) or download (0); transfer mode (2 binary, 1 ASCII); passive (1) or active (0).
BENCHMARK(BM_FtpTransfer)
    ->ArgNames({"upload", "mode", "passive"})
    ->Args({1, 2, 1})
    ->Args({0, 2, 1})
    ->Args({1, 1, 1})
    ->Args({0, 1, 1})
    ->Args({1, 2, 0})
    ->Args({0, 2, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

