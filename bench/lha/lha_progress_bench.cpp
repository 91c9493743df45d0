// The cost of the progress procedure and how fast a cancel stops a command.
//
//   bench_lha_progress [megabytes]   (default 200)
//
// 1. Packing time of a set of files (a tenth of the size, at least 16 MB)
//    without and with a procedure that counts, alternating, median of 3
//    (processor and clock time).
// 2. Cancel latency on the whole set (3,000 files of many sizes plus a few
//    large ones): a second thread sets the cancel flag at a given moment,
//    as the dialog's button does; the latency runs from that moment to the
//    command's return (work file removed).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/common/progress_meter.h"
#include "archive/common/result_codes.h"
#include "archive/lha/lha_commands.h"
#include "support/script_data.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double CpuSeconds() {
  rusage ru{};
  ::getrusage(RUSAGE_SELF, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

std::atomic<bool> g_cancel{false};
std::atomic<uint64_t> g_calls{0};

int CountingProc(const ArchiverProgress*, void*) {
  g_calls.fetch_add(1, std::memory_order_relaxed);
  return g_cancel.load(std::memory_order_relaxed) ? 1 : 0;
}

int Pack(const fs::path& src, const fs::path& archive) {
  std::string report;
  return lha::RunCommand("a " + archive.string() + " " + src.string() + "/ *.* -xr2", lha::CommandEnv{}, report);
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
  const fs::path root = fs::temp_directory_path() / ("lha-progress-bench-" + std::to_string(::getpid()));
  const uint64_t smallMb = std::max<uint64_t>(16, megabytes / 10);
  std::printf("Making %llu MB and %llu MB of files in %s ...\n", (unsigned long long)smallMb,
              (unsigned long long)megabytes, root.c_str());
  benchdata::MakeScriptData(root / "small", smallMb << 20, 300, "d", "f");
  benchdata::MakeScriptData(root / "big", megabytes << 20, 3000, "d", "f");

  std::printf("\nPacking %llu MB without and with a counting progress procedure (median of 3, alternating)\n",
              (unsigned long long)smallMb);
  std::vector<double> cpu[2], wall[2];
  uint64_t calls = 0;
  for (int round = 0; round < 3; ++round) {
    for (int with = 0; with < 2; ++with) {
      arc::SetThreadProgress(with ? CountingProc : nullptr, nullptr);
      g_calls = 0;
      const fs::path arc = root / "small.lzh";
      fs::remove(arc);
      const double c0 = CpuSeconds();
      const auto t0 = Clock::now();
      const int rc = Pack(root / "small", arc);
      wall[with].push_back(std::chrono::duration<double>(Clock::now() - t0).count());
      cpu[with].push_back(CpuSeconds() - c0);
      if (rc != 0) {
        std::fprintf(stderr, "packing failed: 0x%X\n", rc);
        return 1;
      }
      if (with) calls = g_calls;
    }
  }
  arc::SetThreadProgress(nullptr, nullptr);
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  std::printf("  %-26s %10s %10s\n", "", "CPU s", "clock s");
  std::printf("  %-26s %10.2f %10.2f\n", "without a procedure", median(cpu[0]), median(wall[0]));
  std::printf("  %-26s %10.2f %10.2f   (%llu calls)\n", "with a counting procedure", median(cpu[1]),
              median(wall[1]), (unsigned long long)calls);
  std::printf("  difference                 %+9.1f%% %+9.1f%%\n", 100.0 * (median(cpu[1]) / median(cpu[0]) - 1),
              100.0 * (median(wall[1]) / median(wall[0]) - 1));

  std::printf("\nCancel latency on %llu MB (from the cancel to the command's return)\n",
              (unsigned long long)megabytes);
  for (const double at : {0.5, 2.0, 5.0}) {
    const fs::path arc = root / "big.lzh";
    fs::remove(arc);
    g_cancel = false;
    arc::SetThreadProgress(CountingProc, nullptr);
    Clock::time_point cancelledAt;
    std::thread clicker([&] {
      std::this_thread::sleep_for(std::chrono::duration<double>(at));
      cancelledAt = Clock::now();
      g_cancel = true;
    });
    const int rc = Pack(root / "big", arc);
    const auto end = Clock::now();
    clicker.join();
    arc::SetThreadProgress(nullptr, nullptr);
    const bool left = fs::exists(arc);
    if (rc == ARC_ERROR_USER_CANCEL) {
      std::printf("  cancel after %.1f s: stopped %.3f s later (code 0x%X), archive left: %s\n", at,
                  std::chrono::duration<double>(end - cancelledAt).count(), rc, left ? "yes" : "no");
    } else {
      std::printf("  cancel after %.1f s: the command had already ended (code 0x%X)\n", at, rc);
    }
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
