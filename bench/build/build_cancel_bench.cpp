// How fast a cancelled build ends, and that it puts everything back.
//
//   bench_build_cancel [megabytes [files]]   (default 200 MB in 3,000 files)
//
// Makes a script of that size in a temporary folder (files of 1 KB to 130 KB
// of text-like and noisy data in 40 folders, the rest in files of up to
// 16 MB), builds every archive type once (the earlier archives), then builds
// again and cancels at a few moments, each within a different step: the
// script's LZH add, the self-extractor, the unpacking for the package and
// the package itself. The cancel goes through RequestBuildCancel from
// another thread, as the progress dialog's button does. Printed for each:
// the time from the cancel to the build's end, the step it hit, and whether
// the earlier archives are the same bytes and nothing is left behind (no
// staging or working folder, no partial file).
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "archive/build_driver.h"
#include "archive/build_progress.h"
#include "archive/build_workspace.h"
#include "profiles/profile_store.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "support/script_data.h"

namespace {

using Clock = std::chrono::steady_clock;

const QString kAll = QStringLiteral("全ての種類のﾊﾟｯｹｰｼﾞを作成");

// Answers every box with OK and keeps the last text.
class QuietBoxes final : public lm::MessageBoxSink {
 public:
  int Show(const QString& text, int, const QString&) override {
    last = text;
    return lm::button::OK;
  }
  QString last;
};

QByteArray Digest(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(&f);
  return hash.result();
}

QStringList Entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The step a build is in, as the step listener hears it.
struct StepWatch {
  std::mutex mutex;
  std::condition_variable changed;
  QString step;  // "LZH a", "LZH s", "CAB", ...
  Clock::time_point began;
  int count = 0;
};

QString StepKey(const QString& text) {
  const QString words = lm::ArchiverStepWords(text);
  const QString command = text.section(QLatin1Char('\n'), 1, 1);
  if (command.isEmpty()) return words;
  if (text.contains(QStringLiteral("Cab32"), Qt::CaseInsensitive)) return QStringLiteral("CAB");
  return QStringLiteral("LZH ") + command.section(QLatin1Char(' '), 0, 0);
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it is made, also into a file
  const quint64 megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
  const int count = argc > 2 ? std::atoi(argv[2]) : 3000;

  QTemporaryDir root;
  const QString prog = root.path() + QStringLiteral("/prog dir");
  QDir().mkpath(prog);
  for (const char* name : {"UnLHA32.DLL", "Cab32.DLL", "lfsfx", "lfsfxw.exe"})
    QFile::link(QStringLiteral(LM_BIN_DIR "/") + QLatin1String(name), prog + QLatin1Char('/') + QLatin1String(name));
  lm::programDir = prog;
  lm::SetExecutableDirForTesting(prog);

  const QString s = root.path() + QStringLiteral("/s");
  QDir().mkpath(s + QStringLiteral("/Sample/DAT"));
  int files = 0;
  std::printf("Making %llu MB in about %d files in %s ...\n", (unsigned long long)megabytes, count, qPrintable(s));
  {
    QFile ugu(s + QStringLiteral("/Sample.ugu"));
    ugu.open(QIODevice::WriteOnly);
    ugu.write("[script]\r\n");
    QFile proof(s + QStringLiteral("/Sample/DAT/mio00.euu"));
    proof.open(QIODevice::WriteOnly);
    proof.write("proof");
  }
  files = benchdata::MakeScriptData((s + QStringLiteral("/Sample/DAT")).toStdString(), megabytes << 20, count,
                                   "フォルダ", "ファイル");
  const QString arc = root.path() + QStringLiteral("/arc");
  QDir().mkpath(arc);
  lm::Profile& p = lm::profileTable[0];
  p.profile = QStringLiteral("Sample");
  p.ugu = s + QStringLiteral("/Sample.ugu");
  p.dirarc = arc;
  p.namearc = QStringLiteral("sample");
  lm::lastProfile = 0;
  lm::currentProfile = 0;

  QuietBoxes boxes;
  lm::SetMessageBoxSink(&boxes);
  StepWatch watch;
  const int listener = lm::AddBuildStepListener([&watch](const QString& text, int, int) {
    std::lock_guard<std::mutex> lock(watch.mutex);
    watch.step = StepKey(text);
    watch.began = Clock::now();
    ++watch.count;
    watch.changed.notify_all();
  });

  std::printf("%d files. The earlier archives: a whole build of every type ...\n", files);
  const auto t0 = Clock::now();
  lm::BeginBuildSteps(0);
  lm::BuildArchives(kAll, 0);
  const double whole = Seconds(Clock::now() - t0);
  if (boxes.last != QStringLiteral("配布用アーカイブを作成しました。")) {
    std::fprintf(stderr, "the build failed: %s\n", qPrintable(boxes.last));
    return 1;
  }
  const QStringList archives = {QStringLiteral("sample.exe"), QStringLiteral("sample.lzh"), QStringLiteral("sample.qsc")};
  std::map<QString, QByteArray> digests;
  for (const QString& a : archives) digests[a] = Digest(arc + QLatin1Char('/') + a);
  std::printf("  whole build: %.1f s (lzh %.0f MB, exe %.0f MB, qsc %.0f MB)\n\n", whole,
              double(QFileInfo(arc + QStringLiteral("/sample.lzh")).size()) / 1e6,
              double(QFileInfo(arc + QStringLiteral("/sample.exe")).size()) / 1e6,
              double(QFileInfo(arc + QStringLiteral("/sample.qsc")).size()) / 1e6);

  struct Moment {
    const char* step;  // the step key to wait for
    double after;      // seconds into it
  };
  const Moment moments[] = {{"LZH a", 0.0}, {"LZH a", 3.0}, {"LZH s", 0.05}, {"LZH e", 0.3}, {"CAB", 0.1}, {"CAB", 0.5},
                           {"CAB", 5.0}};
  std::printf("Cancel latency (from RequestBuildCancel to the end of BuildArchives)\n");
  std::printf("  %-22s %-10s %10s   %s\n", "cancelled", "hit", "latency s", "afterwards");
  double worst = 0;
  bool allClean = true;
  for (const Moment& m : moments) {
    {
      std::lock_guard<std::mutex> lock(watch.mutex);
      watch.step.clear();
      watch.count = 0;
    }
    std::atomic<bool> ended{false};
    Clock::time_point cancelledAt{};
    QString hit;
    std::thread clicker([&] {
      std::unique_lock<std::mutex> lock(watch.mutex);
      // The script's own add is the LZH step after the attachments: the
      // first "a" of the build.
      while (!ended && watch.step != QLatin1String(m.step)) watch.changed.wait_for(lock, std::chrono::milliseconds(5));
      if (ended) return;
      const auto at = watch.began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(m.after));
      lock.unlock();
      while (!ended && Clock::now() < at) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (ended) return;
      lock.lock();
      hit = watch.step;
      cancelledAt = Clock::now();
      lm::RequestBuildCancel();
    });
    lm::BeginBuildSteps(0);
    lm::BuildArchives(kAll, 0);
    const auto end = Clock::now();
    ended = true;
    watch.changed.notify_all();
    clicker.join();
    QString label = QStringLiteral("%1 + %2 s").arg(QLatin1String(m.step)).arg(m.after);
    if (cancelledAt == Clock::time_point{}) {
      std::printf("  %-22s the build ended before the moment (%s)\n", qPrintable(label), qPrintable(boxes.last));
      continue;
    }
    const double latency = Seconds(end - cancelledAt);
    worst = std::max(worst, latency);
    // Put back: the same archives, byte for byte, nothing else beside them,
    // no working folder of a build.
    QStringList problems;
    if (boxes.last != QStringLiteral("アーカイブの作成を中止しました。")) problems << QStringLiteral("said: ") + boxes.last;
    if (Entries(arc) != archives) problems << QStringLiteral("archive folder: ") + Entries(arc).join(QLatin1Char(' '));
    for (const QString& a : archives)
      if (Digest(arc + QLatin1Char('/') + a) != digests[a]) problems << a + QStringLiteral(" changed");
    const QStringList builds = Entries(lm::BuildWorkRoot() + QStringLiteral("/builds"));
    if (!builds.isEmpty()) problems << QStringLiteral("working folders: ") + builds.join(QLatin1Char(' '));
    allClean = allClean && problems.isEmpty();
    std::printf("  %-22s %-10s %10.3f   %s\n", qPrintable(label), qPrintable(hit), latency,
                problems.isEmpty() ? "earlier archives intact, nothing left" : qPrintable(problems.join(QStringLiteral("; "))));
  }
  std::printf("\n  worst latency %.3f s; %s\n", worst, allClean ? "every cancelled build put everything back" : "NOT CLEAN");
  lm::RemoveBuildStepListener(listener);
  lm::SetMessageBoxSink(nullptr);
  return allClean ? 0 : 1;
}
