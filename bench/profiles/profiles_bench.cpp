// How long the settings file and the file checks take at the table's limits:
// a full lfup.ini (101 profiles, 51 attachments each) loaded and saved, the
// script check with a lower-case layout, and FileExists with a wildcard in
// a directory of 10 000 files.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "util/app_globals.h"
#include "util/cfile.h"
#include "util/message_box.h"

namespace {

void Touch(const QString& path) {
  QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
  QFile f(path);
  f.open(QIODevice::WriteOnly);
}

struct FullTable {
  QTemporaryDir prog;
  QTemporaryDir scripts;
  FullTable() {
    lm::SetExecutableDirForTesting(prog.path());
    for (int n = 0; n < lm::kProfileCapacity; ++n) {
      const QString name = QStringLiteral("script%1").arg(n, 3, 10, QLatin1Char('0'));
      const QString ugu = scripts.path() + QLatin1Char('/') + name + QStringLiteral(".ugu");
      Touch(ugu);
      Touch(scripts.path() + QLatin1Char('/') + name + QStringLiteral("/dat/MIO00.EUU"));  // found by case
      lm::Profile& p = lm::profileTable[static_cast<size_t>(n)];
      p.Clear();
      p.profile = QStringLiteral("プロファイル%1").arg(n);
      p.ugu = ugu;
      p.dirarc = scripts.path();
      p.addfilecnt = lm::kAttachmentCapacity;
      for (int k = 0; k < lm::kAttachmentCapacity; ++k) p.addfile[static_cast<size_t>(k)] = QStringLiteral("/files/添付%1").arg(k);
    }
    lm::lastProfile = lm::kProfileCapacity - 1;
    lm::programDir = prog.path();
    lm::SaveProfiles();
  }
};

FullTable& Table() {
  static FullTable table;
  return table;
}

void BM_LoadFullSettingsFile(benchmark::State& state) {
  Table();
  for (auto _ : state) {
    lm::LoadProfiles();
    benchmark::DoNotOptimize(lm::lastProfile);
  }
}
BENCHMARK(BM_LoadFullSettingsFile)->Unit(benchmark::kMillisecond);

void BM_SaveFullSettingsFile(benchmark::State& state) {
  Table();
  lm::LoadProfiles();
  for (auto _ : state) lm::SaveProfiles();
}
BENCHMARK(BM_SaveFullSettingsFile)->Unit(benchmark::kMillisecond);

void BM_CheckScriptFileCaseFolded(benchmark::State& state) {
  const QString ugu = Table().scripts.path() + QStringLiteral("/script050.ugu");
  QString message;
  int16_t nonRegular = 0;
  for (auto _ : state) benchmark::DoNotOptimize(lm::CheckScriptFile(ugu, message, nonRegular));
}
BENCHMARK(BM_CheckScriptFileCaseFolded)->Unit(benchmark::kMicrosecond);

void BM_FileExistsWildcardInLargeDirectory(benchmark::State& state) {
  static QTemporaryDir dir;
  static bool filled = false;
  if (!filled) {
    for (int i = 0; i < 10000; ++i) Touch(dir.path() + QStringLiteral("/file%1.dat").arg(i));
    filled = true;
  }
  const lm::cFile f;
  const QString pattern = dir.path() + QStringLiteral("/*.zip");  // no match: the whole listing is read
  for (auto _ : state) benchmark::DoNotOptimize(f.FileExists(pattern));
}
BENCHMARK(BM_FileExistsWildcardInLargeDirectory)->Unit(benchmark::kMillisecond);

}  // namespace

