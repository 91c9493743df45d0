// Times a whole index run (scan, sort, Shift-JIS encoding, both files
// written) over a DAT tree of 10 000 entries, beside a plain walk that only
// lists and stats the same tree.
//
//   bench_index [parent-directory] [rounds]
//
// The tree is built in a temporary directory below the parent (the system's
// temporary directory by default) and removed at the end.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "index/index_writer.h"
#include "util/app_globals.h"
#include "util/message_box.h"

namespace {

class NullView final : public lm::IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override { lines = 0; }
  void AddListLine(const QString&) override { ++lines; }
  int lines = 0;
};

class CountingSink final : public lm::MessageBoxSink {
 public:
  int Show(const QString& text, int, const QString&) override {
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    ++shown;
    return lm::button::OK;
  }
  int shown = 0;
};

// Builds `entries` entries below `dat`: about one in six a directory, at
// most six levels deep, names in ASCII and in Japanese, files of up to
// 200 KB (sparse, so that building stays quick), times spread over years.
void BuildTree(const std::string& dat, int entries) {
  std::mt19937 rng(20040301);
  struct Dir {
    std::string path;
    int depth;
  };
  std::vector<Dir> dirs{{dat, 0}};
  std::vector<std::string> made;
  static const char* const kJapanese[] = {"画像", "データ", "会話", "設定", "音声", "表情"};
  for (int i = 0; i < entries; ++i) {
    const Dir parent = dirs[rng() % dirs.size()];
    const bool japanese = rng() % 3 == 0;
    const bool makeDir = parent.depth < 6 && rng() % 6 == 0;
    std::string name = japanese ? std::string(kJapanese[rng() % 6]) : std::string(makeDir ? "dir" : "file");
    name += std::to_string(i);
    if (!makeDir) name += japanese ? ".txt" : ".dat";
    const std::string path = parent.path + "/" + name;
    made.push_back(path);
    if (makeDir) {
      if (::mkdir(path.c_str(), 0755) != 0) std::perror(path.c_str());
      dirs.push_back({path, parent.depth + 1});
    } else {
      const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
      if (fd < 0) {
        std::perror(path.c_str());
        continue;
      }
      if (::ftruncate(fd, static_cast<off_t>(rng() % 200000)) != 0) std::perror(path.c_str());
      ::close(fd);
    }
  }
  // Times spread over several years, as in a tree edited over time (and
  // after the directories got their last entries).
  for (const std::string& path : made) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(1000000000 + rng() % 300000000);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) std::perror(path.c_str());
  }
}

// The baseline: list every directory and stat every entry, nothing else.
long PlainWalk(const std::string& root) {
  long count = 0;
  std::vector<std::string> pending{root};
  while (!pending.empty()) {
    const std::string dir = pending.back();
    pending.pop_back();
    DIR* d = ::opendir(dir.c_str());
    if (!d) continue;
    const int fd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
      if (e->d_name[0] == '.') continue;
      struct stat st {};
      if (::fstatat(fd, e->d_name, &st, 0) != 0) continue;
      ++count;
      if (S_ISDIR(st.st_mode)) pending.push_back(dir + "/" + e->d_name);
    }
    ::closedir(d);
  }
  return count;
}

double Millis(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Processor time of this thread in milliseconds: unlike the wall clock it
// hardly moves when other programs load the machine.
double CpuMillis() {
  struct timespec ts {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QString parent =
      argc > 1 && argv[1][0] != '\0' ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
  const int entries = lm::kMaxScanEntries;

  QTemporaryDir tmp(parent + QStringLiteral("/lm-bench-index-XXXXXX"));
  if (!tmp.isValid()) {
    std::fprintf(stderr, "cannot create a temporary directory below %s\n", parent.toUtf8().constData());
    return 1;
  }
  const std::string dat = QFile::encodeName(tmp.path() + QStringLiteral("/DAT")).toStdString();
  ::mkdir(dat.c_str(), 0755);

  auto t0 = std::chrono::steady_clock::now();
  BuildTree(dat, entries);
  const double buildMs = Millis(std::chrono::steady_clock::now() - t0);

  CountingSink sink;
  lm::SetMessageBoxSink(&sink);
  lm::timeZoneBias = -540;
  lm::makeTmpIndex = 1;
  NullView view;
  const QString datArg = QFile::decodeName(dat.c_str()) + QLatin1Char('\\');
  const QString next = QStringLiteral("2004 3 1 9 0 ");

  // One untimed round of each warms the caches.
  const long walked = PlainWalk(dat);
  if (lm::WriteIndexFiles(datArg, next, 1, view) != 0) {
    std::fprintf(stderr, "the index run failed\n");
    return 1;
  }

  std::vector<double> walkMs;
  std::vector<double> indexMs;
  std::vector<double> walkCpu;
  std::vector<double> indexCpu;
  for (int r = 0; r < rounds; ++r) {
    double c0 = CpuMillis();
    t0 = std::chrono::steady_clock::now();
    PlainWalk(dat);
    walkMs.push_back(Millis(std::chrono::steady_clock::now() - t0));
    walkCpu.push_back(CpuMillis() - c0);
    c0 = CpuMillis();
    t0 = std::chrono::steady_clock::now();
    const int16_t status = lm::WriteIndexFiles(datArg, next, 1, view);
    indexMs.push_back(Millis(std::chrono::steady_clock::now() - t0));
    indexCpu.push_back(CpuMillis() - c0);
    if (status != 0) return 1;
  }

  // Where the processor time of a run goes: the scan alone, and the sort.
  std::vector<double> scanMs;
  std::vector<double> sortMs;
  for (int r = 0; r < rounds; ++r) {
    std::vector<lm::ScanEntry> found;
    QString failure;
    double c0 = CpuMillis();
    lm::ScanDatTree(datArg, found, failure);
    scanMs.push_back(CpuMillis() - c0);
    std::shuffle(found.begin() + 1, found.end(), std::mt19937(r));
    c0 = CpuMillis();
    lm::SortScanEntries(found);
    sortMs.push_back(CpuMillis() - c0);
  }

  const double walk = Median(walkMs);
  const double index = Median(indexMs);
  std::printf("DAT tree: %ld entries listed by the walk, %d lines in index.fet (built in %.0f ms)\n",
              walked, view.lines, buildMs);
  std::printf("rounds: %d (medians; minimum in brackets)\n", rounds);
  std::printf("plain walk (list + stat):           %8.2f ms  [%.2f]\n", walk,
              *std::min_element(walkMs.begin(), walkMs.end()));
  std::printf("index run (index.fet, indextmp.fet): %8.2f ms  [%.2f]\n", index,
              *std::min_element(indexMs.begin(), indexMs.end()));
  std::printf("ratio index run / plain walk:        %8.2f\n", index / walk);
  std::printf("processor time: walk %.2f ms, index run %.2f ms, ratio %.2f\n", Median(walkCpu),
              Median(indexCpu), Median(indexCpu) / Median(walkCpu));
  std::printf("  of which the scan:                  %8.2f ms processor time\n", Median(scanMs));
  std::printf("  of which the sort (shuffled input): %8.2f ms processor time\n", Median(sortMs));

  // Growth: processor time per entry for smaller trees of the same shape.
  // A step that grows faster than the tree shows as a rising figure.
  std::printf("processor time per entry:");
  for (const int n : {entries / 4, entries / 2, entries}) {
    const std::string smallDat =
        QFile::encodeName(tmp.path() + QStringLiteral("/DAT%1").arg(n)).toStdString();
    if (n == entries) {
      std::printf("  %d: %.2f us\n", n, Median(indexCpu) * 1000.0 / n);
      break;
    }
    ::mkdir(smallDat.c_str(), 0755);
    BuildTree(smallDat, n);
    const QString smallArg = QFile::decodeName(smallDat.c_str()) + QLatin1Char('\\');
    lm::WriteIndexFiles(smallArg, next, 1, view);
    std::vector<double> cpu;
    for (int r = 0; r < rounds; ++r) {
      const double c0 = CpuMillis();
      lm::WriteIndexFiles(smallArg, next, 1, view);
      cpu.push_back(CpuMillis() - c0);
    }
    std::printf("  %d: %.2f us,", n, Median(cpu) * 1000.0 / n);
  }
  return sink.shown == 0 ? 0 : 1;
}
