// Compression size and speed of our -lh5- and -lh7- beside jlha (-lh5-) and
// gzip -9, file by file, and decoding speed beside lhasa, on a corpus of
// at least 8 MB that this program builds in a temporary directory.
//
//   bench_lha [corpus-dir]   (the directory is kept when given)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive/lha/crc16.h"
#include "archive/lha/lha_archive.h"
#include "archive/lha/lzh_codec.h"
#include "util/cp932/cp932.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::string ReadFile(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& p, const std::string& s) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(s.data(), static_cast<std::streamsize>(s.size()));
}

int Shell(const std::string& cmd, std::string* out = nullptr) {
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  std::string o;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.append(buf, n);
  const int st = pclose(p);
  if (out) *out = o;
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// ------------------------------------------------------------ the corpus

// Japanese prose in Shift-JIS: a word-level Markov chain over the project's
// own Japanese documents, so the text has real vocabulary and repetition
// without being a copy of one file.
std::string ShiftJisText(std::size_t size, unsigned seed) {
  std::string source;
  source += ReadFile(LM_SOURCE_DIR "/README.md");
  // The program's own sources hold its Japanese messages and captions.
  for (const auto& e : std::filesystem::recursive_directory_iterator(LM_SOURCE_DIR "/src")) {
    if (e.is_regular_file() && (e.path().extension() == ".cpp" || e.path().extension() == ".h"))
      source += ReadFile(e.path().string());
  }
  if (source.size() < 1000) source = "日本語の文章です。スクリプトの配布用アーカイブを作成します。";
  // Tokens: runs of one character class.
  std::vector<std::string> tokens;
  std::string cur;
  auto cls = [](unsigned char c) { return c < 0x80 ? (std::isalnum(c) ? 1 : 2) : 3; };
  int curCls = 0;
  for (std::size_t i = 0; i < source.size();) {
    const unsigned char c = static_cast<unsigned char>(source[i]);
    const std::size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    const int k = cls(c);
    if (k != curCls || k == 2 || cur.size() > 12) {
      if (!cur.empty()) tokens.push_back(cur);
      cur.clear();
      curCls = k;
    }
    cur += source.substr(i, len);
    i += len;
  }
  std::map<std::string, std::vector<std::size_t>> next;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) next[tokens[i]].push_back(i + 1);
  std::mt19937 rng(seed);
  std::string utf8;
  std::size_t at = rng() % tokens.size();
  while (utf8.size() < size * 11 / 10) {
    utf8 += tokens[at];
    const auto& n = next[tokens[at]];
    at = n.empty() || rng() % 20 == 0 ? rng() % tokens.size() : n[rng() % n.size()];
  }
  std::string sjis;
  for (std::size_t i = 0; i < utf8.size() && sjis.size() < size;) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const std::size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    std::string piece;
    if (cp932::FromUtf8(utf8.substr(i, len), piece)) sjis += piece;
    i += len;
  }
  return sjis;
}

// C++ source: the project's own sources and the standard library's headers.
std::string CppSource(std::size_t size) {
  std::string s;
  std::vector<fs::path> files;
  for (const char* root : {LM_SOURCE_DIR "/src", "/usr/include/c++/12/bits", "/usr/include/c++/12"}) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (it->is_regular_file()) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    if (s.size() >= size) break;
    s += ReadFile(f.string());
  }
  s.resize(std::min(s.size(), size));
  return s;
}

void PutLE(std::string& s, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 24-bit BMP: ImageMagick's built-in pictures scaled up when it is
// there, otherwise a synthetic picture (gradients, shapes, noise).
std::string Bmp(int w, int h, unsigned seed, const char* magickPicture, const std::string& dir) {
  const std::string out = dir + "/magick.bmp";
  if (Shell(std::string("convert ") + magickPicture + " -resize " + std::to_string(w) + "x" + std::to_string(h) +
            "! -type TrueColor BMP3:" + Quote(out)) == 0) {
    std::string b = ReadFile(out);
    fs::remove(out);
    if (b.size() > 1000) return b;
  }
  std::mt19937 rng(seed);
  const int row = (w * 3 + 3) & ~3;
  std::string s = "BM";
  PutLE(s, 54 + row * h, 4);
  PutLE(s, 0, 4);
  PutLE(s, 54, 4);
  PutLE(s, 40, 4);
  PutLE(s, w, 4);
  PutLE(s, h, 4);
  PutLE(s, 1, 2);
  PutLE(s, 24, 2);
  PutLE(s, 0, 4);
  PutLE(s, row * h, 4);
  PutLE(s, 2835, 4);
  PutLE(s, 2835, 4);
  PutLE(s, 0, 8);
  for (int y = 0; y < h; ++y) {
    std::string line;
    for (int x = 0; x < w; ++x) {
      const bool disc = (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < (h / 3) * (h / 3);
      const int n = static_cast<int>(rng() % 7) - 3;
      line += static_cast<char>(std::clamp(disc ? 200 + n : x * 255 / w + n, 0, 255));
      line += static_cast<char>(std::clamp(disc ? 40 + n : y * 255 / h + n, 0, 255));
      line += static_cast<char>(std::clamp((x + y) * 128 / (w + h) + n, 0, 255));
    }
    line.resize(row, '\0');
    s += line;
  }
  return s;
}

struct CorpusFile {
  std::string name;
  std::string kind;
};

std::vector<CorpusFile> BuildCorpus(const std::string& dir) {
  fs::create_directories(dir);
  std::vector<CorpusFile> files;
  auto add = [&](const std::string& name, const std::string& kind, const std::string& data) {
    WriteFile(dir + "/" + name, data);
    files.push_back({name, kind});
  };
  add("novel.txt", "Shift-JIS text", ShiftJisText(2500000, 1));
  add("manual.txt", "Shift-JIS text", ShiftJisText(800000, 2));
  add("source.cpp", "C++ source", CppSource(3000000));
  add("photo.bmp", "24-bit BMP", Bmp(1024, 768, 3, "rose:", dir));
  add("logo.bmp", "24-bit BMP", Bmp(800, 600, 4, "logo:", dir));
  // Already compressed: gzip output of generated text and a PNG.
  WriteFile(dir + "/tmp.txt", ShiftJisText(2500000, 5) + CppSource(600000));
  Shell("gzip -9 -c " + Quote(dir + "/tmp.txt") + " > " + Quote(dir + "/text.gz"));
  fs::remove(dir + "/tmp.txt");
  files.push_back({"text.gz", "compressed"});
  if (Shell("convert wizard: -resize 1200x1200 " + Quote(dir + "/wizard.png")) == 0) {
    files.push_back({"wizard.png", "compressed"});
  }
  std::mt19937 rng(6);
  std::string noise(600000, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  add("random.bin", "compressed", noise);
  return files;
}

// ------------------------------------------------------------ measuring

struct Row {
  std::string name, kind;
  uint64_t original = 0, lh5 = 0, lh7 = 0, gzip = 0;
  double tLh5 = 0, tLh7 = 0, tGzip = 0;
};

uint64_t Stored(uint64_t packed, uint64_t original) { return std::min(packed, original); }

}  // namespace

int main(int argc, char** argv) {
  const bool keep = argc > 1;
  std::string dir = keep ? argv[1] : (fs::temp_directory_path() / ("lha-bench-" + std::to_string(getpid()))).string();
  std::printf("Building the corpus in %s ...\n", dir.c_str());
  const auto files = BuildCorpus(dir + "/corpus");
  std::vector<Row> rows;
  uint64_t total = 0;
  for (const auto& f : files) {
    Row r;
    r.name = f.name;
    r.kind = f.kind;
    const std::string data = ReadFile(dir + "/corpus/" + f.name);
    r.original = data.size();
    total += data.size();
    for (int bits : {13, 16}) {
      lha::EncoderOptions o;
      o.dictionaryBits = bits;
      const auto t0 = Clock::now();
      const auto packed = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(data.data()), data.size(), o);
      lha::Crc16(data.data(), data.size());
      const double t = Seconds(t0, Clock::now());
      (bits == 13 ? r.lh5 : r.lh7) = Stored(packed.size(), data.size());
      (bits == 13 ? r.tLh5 : r.tLh7) = t;
    }
    const std::string gz = dir + "/" + f.name + ".gz";
    const auto t0 = Clock::now();
    Shell("gzip -9 -n -c " + Quote(dir + "/corpus/" + f.name) + " > " + Quote(gz));
    r.tGzip = Seconds(t0, Clock::now());
    r.gzip = fs::file_size(gz);
    fs::remove(gz);
    rows.push_back(r);
  }

  // jlha: one run over the whole corpus (the Java start-up is counted once).
  uint64_t jlhaTotal = 0;
  double tJlha = 0;
  std::map<std::string, uint64_t> jlhaSize;
  {
    const std::string arc = dir + "/jlha.lzh";
    std::string names;
    for (const auto& f : files) names += " " + Quote(f.name);
    const auto t0 = Clock::now();
    const int rc = Shell("cd " + Quote(dir + "/corpus") + " && jlha ao5q " + Quote(arc) + names);
    tJlha = Seconds(t0, Clock::now());
    lha::ArchiveReader reader;
    if (rc == 0 && reader.Open(arc) == 0) {
      for (const auto& e : reader.entries()) {
        jlhaSize[e.path] = e.m.packedSize;
        jlhaTotal += e.m.packedSize;
      }
    } else {
      std::printf("jlha did not run (exit %d): its column stays empty\n", rc);
    }
  }

  std::printf("\n%-12s %-15s %10s %10s %10s %10s %10s  %7s %7s %7s\n", "file", "kind", "original", "our lh5",
              "our lh7", "jlha lh5", "gzip -9", "t lh5", "t lh7", "t gzip");
  Row sum;
  for (const Row& r : rows) {
    std::printf("%-12s %-15s %10llu %10llu %10llu %10llu %10llu  %6.2fs %6.2fs %6.2fs\n", r.name.c_str(),
                r.kind.c_str(), (unsigned long long)r.original, (unsigned long long)r.lh5,
                (unsigned long long)r.lh7, (unsigned long long)jlhaSize[r.name], (unsigned long long)r.gzip,
                r.tLh5, r.tLh7, r.tGzip);
    sum.original += r.original;
    sum.lh5 += r.lh5;
    sum.lh7 += r.lh7;
    sum.gzip += r.gzip;
    sum.tLh5 += r.tLh5;
    sum.tLh7 += r.tLh7;
    sum.tGzip += r.tGzip;
  }
  std::printf("%-12s %-15s %10llu %10llu %10llu %10llu %10llu  %6.2fs %6.2fs %6.2fs  (jlha %.2fs with JVM start)\n",
              "total", "", (unsigned long long)sum.original, (unsigned long long)sum.lh5,
              (unsigned long long)sum.lh7, (unsigned long long)jlhaTotal, (unsigned long long)sum.gzip, sum.tLh5,
              sum.tLh7, sum.tGzip, tJlha);

  // Decoding: our reader over our archive (CRC checked) beside "lhasa t".
  std::printf("\nDecoding (every member, CRC checked):\n");
  for (int bits : {13, 16}) {
    const std::string arc = dir + (bits == 13 ? "/ours-lh5.lzh" : "/ours-lh7.lzh");
    std::vector<lha::NewMember> members;
    for (const auto& f : files) members.push_back({f.name, dir + "/corpus/" + f.name, false});
    lha::WriteOptions wo;
    wo.dictionaryBits = bits;
    std::string report, failed;
    if (lha::WriteArchive(arc, nullptr, {}, members, wo, report, failed) != 0) {
      std::printf("could not write %s\n", arc.c_str());
      continue;
    }
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
      const auto t0 = Clock::now();
      lha::ArchiveReader reader;
      int rc = reader.Open(arc);
      for (const auto& e : reader.entries()) {
        rc |= reader.Extract(e, [](const uint8_t*, std::size_t) { return true; });
      }
      best = std::min(best, Seconds(t0, Clock::now()));
      if (rc) std::printf("our decoder failed: %d\n", rc);
    }
    double lhasa = 1e9;
    for (int round = 0; round < 3; ++round) {
      const auto t0 = Clock::now();
      const int rc = Shell("lhasa tq " + Quote(arc));
      lhasa = std::min(lhasa, Seconds(t0, Clock::now()));
      if (rc) std::printf("lhasa t failed: %d\n", rc);
    }
    std::printf("  %s archive %llu bytes: ours %.3fs (%.0f MB/s), lhasa t %.3fs (%.0f MB/s)\n",
                bits == 13 ? "-lh5-" : "-lh7-", (unsigned long long)fs::file_size(arc), best, total / best / 1e6,
                lhasa, total / lhasa / 1e6);
  }

  std::printf("\nGoals:\n");
  std::printf("  our lh5 <= jlha lh5:      %llu vs %llu  %s\n", (unsigned long long)sum.lh5,
              (unsigned long long)jlhaTotal, jlhaTotal == 0 ? "(no jlha)" : sum.lh5 <= jlhaTotal ? "met" : "NOT met");
  std::printf("  our lh7 <= gzip -9:       %llu vs %llu  %s\n", (unsigned long long)sum.lh7,
              (unsigned long long)sum.gzip, sum.lh7 <= sum.gzip ? "met" : "NOT met");
  std::printf("  lh5 time <= gzip -9 time: %.2fs vs %.2fs  %s\n", sum.tLh5, sum.tGzip,
              sum.tLh5 <= sum.tGzip ? "met" : "NOT met");
  std::printf("  lh7 time <= gzip -9 time: %.2fs vs %.2fs  %s\n", sum.tLh7, sum.tGzip,
              sum.tLh7 <= sum.tGzip ? "met" : "NOT met");
  if (!keep) fs::remove_all(dir);
  return 0;
}
