// The Windows self-extractor: its stub's size, and the time it takes under
// wine to extract a 50 MB script beside the Linux stub on the very same
// archive (the ratio is wine's and the Windows build's cost together), and
// to extract 10,000 small files beside a plain Windows program that only
// creates the same files, both under wine (the ratio is the stub's own
// cost per file: reading and checking the member, its date, the list of
// the file being written).
//
//   bench_sfx [work-dir]   (the directory is kept when given)
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/common/archiver_api.h"
#include "archive/lha/sfx_restub.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadFile(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& p, const std::string& s) {
  fs::create_directories(fs::path(p).parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(s.data(), static_cast<std::streamsize>(s.size()));
}

int Shell(const std::string& cmd) {
  const int st = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// 50 MB in 60 files: half text that compresses, half random bytes.
void MakeScript(const std::string& root) {
  std::mt19937 rng(12345);
  static const char* words[] = {"member ", "header ", "script ", "persona ", "update ", "index\r\n", "0x8017 ",
                                "dat\\", "file ", "the ", "Quillet "};
  for (int i = 0; i < 60; ++i) {
    std::string data;
    const std::size_t size = 50u * 1000 * 1000 / 60;
    data.reserve(size);
    if (i % 2 == 0) {
      while (data.size() < size) data += words[rng() % (sizeof words / sizeof words[0])];
      data.resize(size);
    } else {
      while (data.size() < size) data += static_cast<char>(rng());
    }
    WriteFile(root + "/SAMPLE/dat/part" + std::to_string(i / 10) + "/file" + std::to_string(i) + ".bin", data);
  }
  WriteFile(root + "/Sample.ugu", "script");
}

bool SameTree(const std::string& a, const std::string& b) {
  return Shell("diff -r " + Quote(a) + " " + Quote(b)) == 0;
}

double TimeRun(const std::string& cmd, int& rc) {
  const auto t0 = Clock::now();
  rc = Shell(cmd);
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::string WineProgram() {
  for (const char* name : {"wine64", "wine"}) {
    if (Shell(std::string("command -v ") + name) == 0) return name;
  }
  return "/usr/lib/wine/wine64";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string bin = LM_BIN_DIR;
  const bool keep = argc > 1;
  std::string work = keep ? argv[1] : (fs::temp_directory_path() / ("bench-sfx-" + std::to_string(getpid()))).string();
  fs::create_directories(work);
  const std::string stub = ReadFile(bin + "/lfsfxw.exe");
  std::printf("Windows stub lfsfxw.exe: %zu bytes (limit 63488; readers scan the first 65536)\n", stub.size());
  std::printf("Linux stub lfsfx:        %zu bytes\n", ReadFile(bin + "/lfsfx").size());

  void* lib = dlopen((bin + "/UnLHA32.DLL").c_str(), RTLD_NOW);
  auto unlha = lib ? reinterpret_cast<decltype(&::Unlha)>(dlsym(lib, "Unlha")) : nullptr;
  if (!unlha) {
    std::fprintf(stderr, "cannot load UnLHA32.DLL from %s\n", bin.c_str());
    return 1;
  }
  MakeScript(work + "/src");
  // Builds work/<name>.exe from the files that `what` names below `base`.
  const auto buildExe = [&](const std::string& name, const std::string& base, const std::string& what) {
    std::vector<char> out(1 << 16);
    const std::string add = "a " + work + "/" + name + ".lzh " + base + "\\ " + what + " -xr2";
    const std::string make = "s " + work + "/" + name + " " + work + "/";
    if (unlha(nullptr, add.c_str(), out.data(), static_cast<uint32_t>(out.size())) != 0 ||
        unlha(nullptr, make.c_str(), out.data(), static_cast<uint32_t>(out.size())) != 0) {
      std::fprintf(stderr, "building %s failed: %s\n", name.c_str(), out.data());
      return false;
    }
    return true;
  };
  if (!buildExe("dist", work + "/src", "Sample.ugu SAMPLE\\dat\\*.*")) return 1;
  const std::string exe = work + "/dist.exe";
  const std::string native = lhatest::Restub(ReadFile(exe), ReadFile(bin + "/lfsfx"));
  WriteFile(work + "/dist-linux", native);
  fs::permissions(work + "/dist-linux", fs::perms::owner_all);
  std::printf("archive: %.1f MB of script in a %.1f MB self-extracting file\n", 50.0,
              static_cast<double>(fs::file_size(exe)) / 1e6);

  const std::string wine = WineProgram();
  if (Shell("command -v " + wine) != 0) {
    std::printf("skipped: wine is not installed, so the Windows stub cannot run here\n");
    if (!keep) fs::remove_all(work);
    return 0;
  }
  const std::string env = "WINEPREFIX=" + Quote(work + "/wine-prefix") + " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
  // The prefix is made by a first run that is not timed.
  int rc = 0;
  const double setup = TimeRun(env + wine + " " + Quote(exe) + " /S /D=Z:" + work + "/warm", rc);
  std::printf("wine prefix set-up and first run: %.2f s (not counted)\n", setup);
  // The wine server stays up for the timed runs: otherwise whichever run
  // comes first after a pause pays for starting it and wine's services
  // (seconds), and the two programs compared would not be timed alike.
  Shell(env + "sh -c 'w=$(command -v wineserver || echo /usr/lib/wine/wineserver); $w -k; $w -w; $w -p'");
  double winBest = 1e9, linBest = 1e9;
  bool ok = rc == 0;
  for (int round = 0; round < 3; ++round) {
    fs::remove_all(work + "/w");
    fs::remove_all(work + "/l");
    winBest = std::min(winBest, TimeRun(env + wine + " " + Quote(exe) + " /S /D=Z:" + work + "/w", rc));
    ok = ok && rc == 0 && SameTree(work + "/src", work + "/w");
    linBest = std::min(linBest, TimeRun(Quote(work + "/dist-linux") + " --dir " + Quote(work + "/l") + " --yes --no-open", rc));
    ok = ok && rc == 0 && SameTree(work + "/src", work + "/l");
  }
  // 10,000 files of 4,000 bytes, 100 to a folder.
  constexpr int kFiles = 10000, kSize = 4000, kPer = 100;
  for (int i = 0; i < kFiles; ++i) {
    std::string data(kSize, 'x');
    for (int k = 0; k < kSize; k += 97) data[static_cast<std::size_t>(k)] = static_cast<char>('a' + (i + k) % 26);
    WriteFile(work + "/many/part" + std::to_string(i / kPer) + "/file" + std::to_string(i) + ".txt", data);
  }
  if (!buildExe("many", work + "/many", "*.*")) return 1;
  double manyBest = 1e9, plainBest = 1e9;
  for (int round = 0; round < 3; ++round) {
    fs::remove_all(work + "/mw");
    fs::remove_all(work + "/mp");
    manyBest = std::min(manyBest, TimeRun(env + wine + " " + Quote(work + "/many.exe") + " /S /D=Z:" + work + "/mw", rc));
    ok = ok && rc == 0 && SameTree(work + "/many", work + "/mw");
    plainBest = std::min(plainBest, TimeRun(env + wine + " " + Quote(LM_PLAIN_CREATE_EXE) + " Z:" + work + "/mp " +
                                                std::to_string(kFiles) + " " + std::to_string(kSize) + " " +
                                                std::to_string(kPer),
                                            rc));
    ok = ok && rc == 0;
  }
  // Wine's start-up alone, for reading the figures: the stub without an archive.
  const double startup = TimeRun(env + wine + " " + Quote(bin + "/lfsfxw.exe") + " /S", rc);
  Shell(env + "sh -c 'wineserver -k 2>/dev/null || /usr/lib/wine/wineserver -k'");
  std::printf("extraction of 50 MB, best of 3:\n");
  std::printf("  Windows stub under wine: %.2f s (%.1f MB/s)\n", winBest, 50.0 / winBest);
  std::printf("  Linux stub:              %.2f s (%.1f MB/s)\n", linBest, 50.0 / linBest);
  std::printf("  ratio wine / Linux:      %.2f\n", winBest / linBest);
  std::printf("  wine start-up alone:     %.2f s\n", startup);
  std::printf("10,000 files of 4,000 bytes in 100 folders, best of 3, both under wine:\n");
  std::printf("  Windows stub:                 %.2f s\n", manyBest);
  std::printf("  plain creation loop:          %.2f s\n", plainBest);
  std::printf("  ratio stub / plain (goal < 2): %.2f\n", manyBest / plainBest);
  std::printf("trees identical to the source: %s\n", ok ? "yes" : "NO");
  if (!keep) fs::remove_all(work);
  return ok ? 0 : 1;
}
