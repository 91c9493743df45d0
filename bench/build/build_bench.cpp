// How long a distribution build takes for a script of 600 files in 30
// directories (about 7 MiB of text-like and binary-like data), by archive
// type, from BuildArchives down to the libraries; how long the work
// directory takes to empty when it holds the unpacked script; and what the
// locks and folders that keep builds apart cost one build. The build runs
// from a program folder with links to the build's libraries and stub.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "archive/build_driver.h"
#include "archive/build_workspace.h"
#include "archive/cab_package_builder.h"
#include "profiles/profile_store.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/run_lock.h"

namespace {

// Answers every box with OK and counts the boxes that were not the success
// message.
class QuietBoxes final : public lm::MessageBoxSink {
 public:
  int Show(const QString& text, int, const QString&) override {
    if (text != QStringLiteral("配布用アーカイブを作成しました。")) ++failures;
    return lm::button::OK;
  }
  int failures = 0;
};

struct Script {
  QTemporaryDir dir;
  qint64 bytes = 0;
  int files = 0;
  QString prog;

  Script() {
    prog = dir.path() + QStringLiteral("/prog dir");
    QDir().mkpath(prog);
    for (const char* name : {"UnLHA32.DLL", "Cab32.DLL", "lfsfx", "lfsfxw.exe"}) {
      QFile::link(QStringLiteral(LM_BIN_DIR "/") + QLatin1String(name), prog + QLatin1Char('/') + QLatin1String(name));
    }
    lm::programDir = prog;
    lm::SetExecutableDirForTesting(prog);
    const QString s = dir.path() + QStringLiteral("/s");
    QDir().mkpath(s + QStringLiteral("/Sample/DAT"));
    Write(s + QStringLiteral("/Sample.ugu"), "[script]\r\n");
    Write(s + QStringLiteral("/Sample/DAT/mio00.euu"), "proof");
    uint32_t seed = 4711;
    for (int d = 0; d < 30; ++d) {
      const QString sub = s + QStringLiteral("/Sample/DAT/フォルダ%1").arg(d);
      QDir().mkpath(sub);
      for (int f = 0; f < 20; ++f) {
        QByteArray data;
        const int size = 1000 + (f * 997 % 24000);
        const bool text = f % 2 == 0;
        for (int i = 0; i < size; ++i) {
          seed = seed * 1103515245u + 12345u;
          data.append(text ? char('a' + (seed >> 16) % 8) : char(seed >> 16));
        }
        Write(sub + QStringLiteral("/ファイル%1.dat").arg(f), data);
      }
    }
    QDir().mkpath(dir.path() + QStringLiteral("/arc"));
    lm::Profile& p = lm::profileTable[0];
    p.profile = QStringLiteral("Sample");
    p.ugu = s + QStringLiteral("/Sample.ugu");
    p.dirarc = dir.path() + QStringLiteral("/arc");
    p.namearc = QStringLiteral("sample");
    lm::currentProfile = 0;
  }
  void Write(const QString& path, const QByteArray& data) {
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(data);
    bytes += data.size();
    ++files;
  }
  qint64 ArchiveBytes(const char* ext) const {
    return QFileInfo(dir.path() + QStringLiteral("/arc/sample") + QLatin1String(ext)).size();
  }
};

Script& SharedScript() {
  static Script script;
  return script;
}

void BM_BuildArchives(benchmark::State& state, const QString& type) {
  Script& s = SharedScript();
  QuietBoxes boxes;
  lm::SetMessageBoxSink(&boxes);
  for (auto _ : state) lm::BuildArchives(type, 0);
  lm::SetMessageBoxSink(nullptr);
  if (boxes.failures) state.SkipWithError("the build failed");
  state.SetBytesProcessed(state.iterations() * s.bytes);
  state.counters["files"] = s.files;
  state.counters["lzh_bytes"] = double(s.ArchiveBytes(".lzh"));
  state.counters["qsc_bytes"] = double(s.ArchiveBytes(".qsc"));
}
BENCHMARK_CAPTURE(BM_BuildArchives, lzh, QStringLiteral("LHA形式(LZH)"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BuildArchives, exe, QStringLiteral("LHA自己解凍形式(EXE)"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BuildArchives, qsc, QStringLiteral("Quilletｽｸﾘﾌﾟﾄﾊﾟｯｹｰｼﾞ形式(QSC)"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BuildArchives, all, QStringLiteral("全ての種類のﾊﾟｯｹｰｼﾞを作成"))->Unit(benchmark::kMillisecond);

// Emptying the work directory holding a copy of the script's tree; the copy
// is made again outside the timing.
void BM_ClearTempDir(benchmark::State& state) {
  Script& s = SharedScript();
  const QString work = s.prog + QStringLiteral("/temp/");
  const QString source = s.dir.path() + QStringLiteral("/s/Sample");
  for (auto _ : state) {
    state.PauseTiming();
    QDir().mkpath(work);
    for (const QString& d : QDir(source + QStringLiteral("/DAT")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      QDir().mkpath(work + d);
      for (const QString& f : QDir(source + QStringLiteral("/DAT/") + d).entryList(QDir::Files)) {
        QFile::copy(source + QStringLiteral("/DAT/") + d + QLatin1Char('/') + f, work + d + QLatin1Char('/') + f);
      }
    }
    state.ResumeTiming();
    if (lm::ClearTempDir(work) != 0) state.SkipWithError("the work directory was not emptied");
  }
  state.counters["files"] = s.files - 2;
}
BENCHMARK(BM_ClearTempDir)->Unit(benchmark::kMillisecond);

// What keeps builds apart costs each build: the two locks (script and
// archive names), the working folder with its clean-up of dead folders, the
// staging folder beside the archives, the look for leftovers there, and the
// moves of three archives to their names (small files: the moves do not
// depend on the size).
void BM_BuildIsolation(benchmark::State& state) {
  Script& s = SharedScript();
  const QString arc = s.dir.path() + QStringLiteral("/iso");
  QDir().mkpath(arc);
  const QString dat = s.dir.path() + QStringLiteral("/s/Sample/DAT");
  for (auto _ : state) {
    lm::RunLocks locks;
    if (!lm::TakeRunLocks({lm::IndexFilesResource(dat), lm::ArchiveNamesResource(arc, QStringLiteral("sample"))}, locks))
      state.SkipWithError("no locks");
    lm::BuildWorkFolder work;
    QString failed;
    if (!work.Create(failed)) state.SkipWithError("no working folder");
    lm::RecoverArchiveFolder(arc, QStringLiteral("sample"));
    lm::ArchiveStaging staging;
    if (!staging.Create(arc, QStringLiteral("sample"), failed)) state.SkipWithError("no staging folder");
    QStringList put;
    for (const char* ext : {".lzh", ".exe", ".qsc"}) {
      QFile f(staging.Path() + QStringLiteral("/sample") + QLatin1String(ext));
      f.open(QIODevice::WriteOnly);
      f.write("x");
      put << QStringLiteral("sample") + QLatin1String(ext);
    }
    if (!staging.Commit(put, {QStringLiteral("sample.cab")}, failed)) state.SkipWithError("no commit");
  }
}
BENCHMARK(BM_BuildIsolation)->Unit(benchmark::kMicrosecond);

}  // namespace

