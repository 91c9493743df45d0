// How long the script-package steps of Cab32.DLL take through cCAB: packing a
// work directory with "-a -r cab dir\ *.*" (MSZIP), listing the cabinet with
// SetArcFile and the full archive check. The tree is a large script: 2 000
// files in 40 directories, 24 MiB of text-like and binary-like data.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "archive/archiver_wrapper.h"
#include "util/app_globals.h"

namespace {

struct Tree {
  QTemporaryDir dir;
  qint64 bytes = 0;
  Tree() {
    lm::programDir = QStringLiteral(LM_BIN_DIR);
    uint32_t seed = 12345;
    for (int d = 0; d < 40; ++d) {
      const QString sub = dir.path() + QStringLiteral("/work/SAMPLE/dat/フォルダ%1").arg(d);
      QDir().mkpath(sub);
      for (int f = 0; f < 50; ++f) {
        QByteArray data;
        const int size = 1000 + (f * 997 % 24000);
        data.reserve(size);
        const bool text = f % 2 == 0;
        for (int i = 0; i < size; ++i) {
          seed = seed * 1103515245u + 12345u;
          data.append(text ? char('a' + (seed >> 16) % 8) : char(seed >> 16));
        }
        QFile out(sub + QStringLiteral("/ファイル%1.dat").arg(f));
        out.open(QIODevice::WriteOnly);
        out.write(data);
        bytes += size;
      }
    }
  }
  QString Cab() const { return dir.path() + QStringLiteral("/package.cab"); }
  QString Work() const { return dir.path() + QStringLiteral("/work\\"); }
};

Tree& SharedTree() {
  static Tree tree;
  return tree;
}

void Pack(const Tree& t) {
  lm::cCAB cab;
  cab.SetCommandLine(QStringLiteral("-a -r ") + t.Cab() + QLatin1Char(' ') + t.Work() + QStringLiteral(" *.*"));
  if (cab.ReturnCode() != 0) qFatal("pack failed: %s", qPrintable(cab.ErrString()));
}

void BM_PackScriptTree(benchmark::State& state) {
  Tree& t = SharedTree();
  for (auto _ : state) Pack(t);
  state.SetBytesProcessed(state.iterations() * t.bytes);
  state.counters["cab_bytes"] = double(QFileInfo(t.Cab()).size());
  state.counters["tree_bytes"] = double(t.bytes);
}
BENCHMARK(BM_PackScriptTree)->Unit(benchmark::kMillisecond);

void BM_ListCabinet(benchmark::State& state) {
  Tree& t = SharedTree();
  Pack(t);
  lm::cCAB cab;
  for (auto _ : state) benchmark::DoNotOptimize(cab.SetArcFile(t.Cab()));
  state.counters["members"] = double(cab.fileList().size());
}
BENCHMARK(BM_ListCabinet)->Unit(benchmark::kMillisecond);

void BM_FullCheck(benchmark::State& state) {
  Tree& t = SharedTree();
  Pack(t);
  lm::cCAB cab;
  for (auto _ : state) {
    if (!cab.CheckArchive(t.Cab())) qFatal("check failed");
  }
  state.SetBytesProcessed(state.iterations() * t.bytes);
}
BENCHMARK(BM_FullCheck)->Unit(benchmark::kMillisecond);

}  // namespace

