// Size and speed of our LZH encoder on three corpora (text, a script
// package, binaries), side by side: -lh5- and -lh7- with the quick parse
// (ParseMode::kLazy), the optimal parse with the earlier version's
// settings (the baseline row), the default (ParseMode::kOptimal) and the
// fast mode (ParseMode::kFast), beside jlha (-lh5-) and gzip -9; archives
// written on the clock with one and two packing threads; decoding speed by
// our reader and by lhasa; then the goals.
//
//   bench_lha [corpus-dir [text|package|binaries]]
//
// With a folder the corpora are kept there and reused by the next run; the
// second argument, or LHA_BENCH_CORPUS, runs one corpus only;
// LHA_BENCH_ROUNDS sets the rounds of the CPU figures (3).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "archive/lha/crc16.h"
#include "archive/lha/lha_archive.h"
#include "archive/lha/lha_prepack.h"
#include "archive/lha/lha_header.h"
#include "archive/lha/lzh_codec.h"
#include "archive/lha/lzh_encoders.h"
#include "bench_run.h"
#include "lha_corpora.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using lhabench::Corpus;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::string ReadFile(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The ways of our encoder, in the order they are measured and shown: per
// method the quick parse, the optimal parse as the earlier version set it
// (the baseline row), the default and the fast mode.
enum Role { kQuick, kBefore, kDefault, kFastMode, kRoles };
struct Variant {
  const char* label;
  int bits;
  lha::ParseMode parse;
  bool before;       // the optimal parse with the earlier version's settings
  const char* file;  // archive name suffix
  Role role;
};
const Variant kVariants[] = {
    {"lh5 quick", 13, lha::ParseMode::kLazy, false, "lh5-quick", kQuick},
    {"lh5 earlier default", 13, lha::ParseMode::kOptimal, true, "lh5-before", kBefore},
    {"lh5 default", 13, lha::ParseMode::kOptimal, false, "lh5-default", kDefault},
    {"lh5 fast", 13, lha::ParseMode::kFast, false, "lh5-fast", kFastMode},
    {"lh7 quick", 16, lha::ParseMode::kLazy, false, "lh7-quick", kQuick},
    {"lh7 earlier default", 16, lha::ParseMode::kOptimal, true, "lh7-before", kBefore},
    {"lh7 default", 16, lha::ParseMode::kOptimal, false, "lh7-default", kDefault},
    {"lh7 fast", 16, lha::ParseMode::kFast, false, "lh7-fast", kFastMode},
};
constexpr int kVariantCount = 8;
// The variant of `role` for the method of variant `k`.
int Of(int k, Role role) { return k / kRoles * kRoles + role; }

// The settings of the optimal parse in the earlier version.
lha::OptimalTuning EarlierTuning() {
  lha::OptimalTuning t;
  t.firstPasses = 3;
  t.passes = 1;
  t.niceLength = 128;
  t.niceLengthWide = 128;
  t.treeDepth = 32;
  t.treeDepthShort = 32;
  t.sampleEvery = 1;
  t.insertToNiceLength = false;
  return t;
}

lha::EncoderOptions OptionsOf(const Variant& v) {
  static const lha::OptimalTuning before = EarlierTuning();
  lha::EncoderOptions o;
  o.dictionaryBits = v.bits;
  o.parse = v.parse;
  if (v.before) o.tuning = &before;
  return o;
}

// Archives written on the clock: which variant, with how many threads.
struct Writing {
  int variant;
  int threads;
};
const Writing kWritings[] = {{0, 1}, {2, 1}, {2, 2}, {3, 1}, {4, 1}, {6, 1}, {6, 2}, {7, 1}};
constexpr int kWritingCount = 8;
// The archives that are decoded: the quick parse's and the default's.
bool Decoded(int k) { return kVariants[k].role == kQuick || kVariants[k].role == kDefault; }

struct Decoding {
  std::uint64_t archiveBytes = 0;
  double ours = 0, lhasa = 0;  // processor seconds, best of 5 and of 3
  bool failed = false;
};

// The figures of one part of a corpus (its headers, its backgrounds, ...).
struct Part {
  std::size_t files = 0;
  std::uint64_t original = 0;
  std::uint64_t packed[kVariantCount] = {};
};

struct Result {
  Corpus corpus;
  std::map<std::string, Part> parts;
  std::uint64_t packed[kVariantCount] = {};
  double seconds[kVariantCount] = {};  // median of the rounds
  std::uint64_t jlha = 0, gzip = 0;
  double jlhaSeconds = 0, gzipSeconds = 0;  // processor time
  double jlhaWall = 0;                      // time on the clock
  std::size_t jlhaMissing = 0;
  Decoding decoding[kVariantCount];
  double writeWall[kWritingCount] = {};  // lha::WriteArchive on the clock
  double writeCpu[kWritingCount] = {};   // its processor time, all threads, in the same round
  std::vector<std::string> faults;  // round trips that did not give the file back
};

std::string ArchivePath(const Result& r, const std::string& work, const Variant& v) {
  return work + "/" + r.corpus.key + "-" + v.file + ".lzh";
}

std::uint64_t Stored(std::uint64_t packed, std::uint64_t original) { return std::min(packed, original); }

// Decodes `packed` and tells whether it gives `data` back.
bool RoundTrips(const Variant& v, const std::string& data, const std::vector<std::uint8_t>& packed) {
  std::size_t at = 0;
  bool same = true;
  const auto status =
      lha::DecodeLzh(v.bits, packed.data(), packed.size(), data.size(), [&](const std::uint8_t* d, std::size_t n) {
        same = same && at + n <= data.size() && std::memcmp(data.data() + at, d, n) == 0;
        at += n;
        return true;
      });
  return status == lha::DecodeStatus::kOk && same && at == data.size();
}

int Rounds() {
  const char* r = std::getenv("LHA_BENCH_ROUNDS");
  return r && std::atoi(r) > 0 ? std::atoi(r) : 3;
}

// Every file packed on its own by each variant, one encoder per variant
// kept from file to file as a packing thread keeps it. Processor time is
// the median of the rounds; sizes and round trips come from the first.
void Compress(Result& r) {
  const Corpus& c = r.corpus;
  const int rounds = Rounds();
  std::vector<std::vector<double>> times(kVariantCount);
  for (int round = 0; round < rounds; ++round) {
    std::vector<std::unique_ptr<lha::LzhEncoder>> encoders;
    for (int k = 0; k < kVariantCount; ++k) encoders.push_back(std::make_unique<lha::LzhEncoder>());
    double spent[kVariantCount] = {};
    for (const auto& name : c.files) {
      const std::string path = c.dir + "/" + name;
      const std::string data = ReadFile(path);
      Part& part = r.parts[lhabench::CorpusPart(name)];
      if (round == 0) {
        ++part.files;
        part.original += data.size();
      }
      // The ways one after another on the same file, so that a busy moment
      // of the machine hits them alike.
      for (int k = 0; k < kVariantCount; ++k) {
        const Variant& v = kVariants[k];
        const double t0 = lhabench::ThreadCpuSeconds();
        const auto packed =
            encoders[k]->Encode(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), OptionsOf(v));
        lha::Crc16(data.data(), data.size());
        spent[k] += lhabench::ThreadCpuSeconds() - t0;
        if (round > 0) continue;
        r.packed[k] += Stored(packed.size(), data.size());
        part.packed[k] += Stored(packed.size(), data.size());
        if (!RoundTrips(v, data, packed)) r.faults.push_back(std::string(v.label) + ": " + name);
      }
    }
    for (int k = 0; k < kVariantCount; ++k) times[k].push_back(spent[k]);
  }
  for (int k = 0; k < kVariantCount; ++k) {
    std::sort(times[k].begin(), times[k].end());
    r.seconds[k] = times[k][times[k].size() / 2];
  }
}

// gzip -9 over the whole corpus in one run, on hard links (copies where
// links fail) in a folder of its own so the corpus stays as it is.
void Gzip(Result& r, const std::string& work) {
  const std::string dir = work + "/gzip-" + r.corpus.key;
  fs::create_directories(dir);
  std::vector<std::string> argv{"gzip", "-9", "-n", "-f", "--"};
  for (const auto& name : r.corpus.files) {
    std::error_code ec;
    fs::create_hard_link(r.corpus.dir + "/" + name, dir + "/" + name, ec);
    if (ec) fs::copy_file(r.corpus.dir + "/" + name, dir + "/" + name);
    argv.push_back(name);
  }
  std::string messages;
  const int rc = lhabench::Run(argv, dir, &messages, &r.gzipSeconds);
  if (rc != 0) throw std::runtime_error("gzip -9 failed (exit " + std::to_string(rc) + "): " + messages);
  for (const auto& name : r.corpus.files) {
    r.gzip += Stored(fs::file_size(dir + "/" + name + ".gz"), fs::file_size(r.corpus.dir + "/" + name));
  }
  fs::remove_all(dir);
}

// jlha -lh5- over the whole corpus in one run (one Java start-up), the
// sizes read from its archive.
void Jlha(Result& r, const std::string& work) {
  const std::string arc = work + "/" + r.corpus.key + "-jlha.lzh";
  std::vector<std::string> argv{"jlha", "ao5q", arc};
  argv.insert(argv.end(), r.corpus.files.begin(), r.corpus.files.end());
  std::string messages;
  const auto t0 = Clock::now();
  const int rc = lhabench::Run(argv, r.corpus.dir, &messages, &r.jlhaSeconds);
  r.jlhaWall = Seconds(t0, Clock::now());
  lha::ArchiveReader reader;
  if (rc != 0 || reader.Open(arc) != 0) {
    throw std::runtime_error("jlha failed (exit " + std::to_string(rc) + "): " + messages);
  }
  std::map<std::string, std::uint64_t> sizes;
  for (const auto& e : reader.entries()) sizes[e.path] = e.m.packedSize;
  for (const auto& name : r.corpus.files) {
    const auto it = sizes.find(name);
    if (it == sizes.end()) {
      ++r.jlhaMissing;
      continue;
    }
    r.jlha += Stored(it->second, fs::file_size(r.corpus.dir + "/" + name));
  }
  fs::remove(arc);
}

// What jlha takes for a one-byte file: the Java start-up alone, processor
// time and time on the clock, the better of two runs.
std::pair<double, double> JlhaStartup(const std::string& work) {
  const std::string file = work + "/one-byte";
  std::ofstream(file) << "x";
  double cpu = 1e9, wall = 1e9;
  for (int round = 0; round < 2; ++round) {
    const auto t0 = Clock::now();
    double used = 0;
    lhabench::Run({"jlha", "ao5q", work + "/one-byte.lzh", "one-byte"}, work, nullptr, &used);
    wall = std::min(wall, Seconds(t0, Clock::now()));
    cpu = std::min(cpu, used);
    fs::remove(work + "/one-byte.lzh");
  }
  fs::remove(file);
  return {cpu, wall};
}

// Archives written by lha::WriteArchive, as the program writes them, with
// one packing thread and with two. Timed on the clock, the best of three
// runs, with the processor time of that run.
void WriteArchives(Result& r, const std::string& work) {
  std::vector<lha::NewMember> members;
  for (const auto& name : r.corpus.files) members.push_back({name, r.corpus.dir + "/" + name, false});
  for (int w = 0; w < kWritingCount; ++w) {
    const Variant& v = kVariants[kWritings[w].variant];
    lha::WriteOptions wo;
    wo.dictionaryBits = v.bits;
    wo.parse = v.parse;
    wo.threads = kWritings[w].threads;
    r.writeWall[w] = 1e9;
    for (int round = 0; round < 3; ++round) {
      std::string report, failed;
      const double cpu0 = lhabench::ProcessCpuSeconds();
      const auto t0 = Clock::now();
      const int rc = lha::WriteArchive(ArchivePath(r, work, v), nullptr, {}, members, wo, report, failed);
      const double wall = Seconds(t0, Clock::now());
      if (wall < r.writeWall[w]) {
        r.writeWall[w] = wall;
        r.writeCpu[w] = lhabench::ProcessCpuSeconds() - cpu0;
      }
      if (rc != 0) throw std::runtime_error("WriteArchive failed with " + std::to_string(rc) + " at " + failed);
    }
  }
}

// Every archive decoded by our reader and by lhasa, the rounds going over
// the archives in turn so that a slow moment of the machine does not fall
// on one of them only.
void Decode(Result& r, const std::string& work) {
  for (int k = 0; k < kVariantCount; ++k) {
    if (!Decoded(k)) continue;
    r.decoding[k].archiveBytes = fs::file_size(ArchivePath(r, work, kVariants[k]));
    r.decoding[k].ours = r.decoding[k].lhasa = 1e9;
  }
  for (int round = 0; round < 5; ++round) {
    for (int k = 0; k < kVariantCount; ++k) {
      if (!Decoded(k)) continue;
      Decoding& d = r.decoding[k];
      const double t0 = lhabench::ThreadCpuSeconds();
      lha::ArchiveReader reader;
      int rc = reader.Open(ArchivePath(r, work, kVariants[k]));
      for (const auto& e : reader.entries()) {
        rc |= reader.Extract(e, [](const std::uint8_t*, std::size_t) { return true; });
      }
      d.ours = std::min(d.ours, lhabench::ThreadCpuSeconds() - t0);
      if (rc != 0 || reader.entries().size() != r.corpus.files.size()) d.failed = true;
    }
  }
  for (int round = 0; round < 3; ++round) {
    for (int k = 0; k < kVariantCount; ++k) {
      if (!Decoded(k)) continue;
      double used = 0;
      const int rc = lhabench::Run({"lhasa", "tq", ArchivePath(r, work, kVariants[k])}, {}, nullptr, &used);
      r.decoding[k].lhasa = std::min(r.decoding[k].lhasa, used);
      if (rc != 0) r.decoding[k].failed = true;
    }
  }
  for (const Variant& v : kVariants) {
    std::error_code ec;
    fs::remove(ArchivePath(r, work, v), ec);
  }
}

// ------------------------------------------------------------ printing

std::string Thousands(std::uint64_t n) {
  std::string s = std::to_string(n);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3) s.insert(static_cast<std::size_t>(i), ",");
  return s;
}

std::string Format(const char* fmt, double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, x);
  return buf;
}

double Change(std::uint64_t now, std::uint64_t before) { return before ? (100.0 * now / before - 100.0) : 0; }

void Row(const std::string& label, const std::vector<Result>& results,
         const std::function<std::string(const Result&)>& cell) {
  std::printf("  %-34s", label.c_str());
  for (const auto& r : results) std::printf(" %16s", cell(r).c_str());
  std::printf("\n");
}

void Header(const std::string& title, const std::vector<Result>& results) {
  std::printf("\n%-36s", title.c_str());
  for (const auto& r : results) std::printf(" %16s", r.corpus.key.c_str());
  std::printf("\n");
}

void PrintTables(const std::vector<Result>& results, std::pair<double, double> jlhaStartup) {
  Header("Size (bytes)", results);
  Row("files", results, [](const Result& r) { return Thousands(r.corpus.files.size()); });
  Row("original", results, [](const Result& r) { return Thousands(r.corpus.bytes); });
  for (int k = 0; k < kVariantCount; ++k) {
    Row(std::string("our ") + kVariants[k].label, results, [k](const Result& r) { return Thousands(r.packed[k]); });
    if (kVariants[k].role != kQuick) {
      Row("  change vs quick", results,
          [k](const Result& r) { return Format("%+.2f %%", Change(r.packed[k], r.packed[Of(k, kQuick)])); });
    }
    if (kVariants[k].role == kDefault) {
      Row("  change vs earlier default", results,
          [k](const Result& r) { return Format("%+.2f %%", Change(r.packed[k], r.packed[Of(k, kBefore)])); });
    }
  }
  Row("jlha -lh5-", results, [](const Result& r) { return Thousands(r.jlha); });
  for (const auto& r : results) {
    if (r.jlhaMissing)
      std::printf("  (jlha left %zu files of %s out of its archive)\n", r.jlhaMissing, r.corpus.key.c_str());
  }
  Row("gzip -9", results, [](const Result& r) { return Thousands(r.gzip); });
  for (int k : {2, 6}) {
    const bool lh5 = kVariants[k].bits == 13;
    Row(std::string("our ") + kVariants[k].label + (lh5 ? " vs jlha -lh5-" : " vs gzip -9"), results,
        [k, lh5](const Result& r) { return Format("%+.2f %%", Change(r.packed[k], lh5 ? r.jlha : r.gzip)); });
  }

  Header("Compression time (CPU s)", results);
  std::printf("  (processor time, user and system, median of %d rounds: steadier than the clock on a shared machine;\n"
              "   one encoder per variant kept from file to file)\n",
              Rounds());
  for (int k = 0; k < kVariantCount; ++k) {
    Row(std::string("our ") + kVariants[k].label, results, [k](const Result& r) { return Format("%.2f", r.seconds[k]); });
    if (kVariants[k].role != kQuick) {
      Row("  time / quick", results, [k](const Result& r) {
        return Format("%.2fx", r.seconds[k] / std::max(r.seconds[Of(k, kQuick)], 1e-9));
      });
    }
  }
  Row("jlha -lh5- (one run, all threads)", results, [](const Result& r) { return Format("%.2f", r.jlhaSeconds); });
  Row("jlha -lh5- on the clock", results, [](const Result& r) { return Format("%.2f", r.jlhaWall); });
  Row("gzip -9 (one run)", results, [](const Result& r) { return Format("%.2f", r.gzipSeconds); });
  std::printf("  (jlha's Java start-up alone: %.2f s CPU, %.2f s on the clock, once per run)\n", jlhaStartup.first,
              jlhaStartup.second);

  Header("Writing the archive (clock s)", results);
  std::printf("  (lha::WriteArchive with 1 or 2 packing threads; the clock of a shared machine, best of 3)\n");
  for (int w = 0; w < kWritingCount; ++w) {
    Row(std::string("archive ") + kVariants[kWritings[w].variant].label + ", " + std::to_string(kWritings[w].threads) +
            (kWritings[w].threads == 1 ? " thread" : " threads"),
        results, [w](const Result& r) { return Format("%.2f", r.writeWall[w]); });
  }
  // Processor time over the clock of the two-thread runs: near 2 when both
  // cores were busy all along; lower when the packing threads waited, or
  // when other work on the machine took a core.
  std::printf("  (cores busy: processor time of all threads / clock, in the same run)\n");
  for (int w = 0; w < kWritingCount; ++w) {
    if (kWritings[w].threads < 2) continue;
    Row(std::string("cores busy, ") + kVariants[kWritings[w].variant].label + ", " +
            std::to_string(kWritings[w].threads) + " threads",
        results, [w](const Result& r) { return Format("%.2f", r.writeCpu[w] / r.writeWall[w]); });
  }

  Header("Decoding (MB/s of original data)", results);
  std::printf("  (per CPU second; every member, CRC checked; ours best of 5 runs, lhasa best of 3)\n");
  for (int k = 0; k < kVariantCount; ++k) {
    if (!Decoded(k)) continue;
    Row(std::string("ours, ") + kVariants[k].label + " archive", results, [k](const Result& r) {
      return Format("%.0f", r.corpus.bytes / r.decoding[k].ours / 1e6) + (r.decoding[k].failed ? " FAILED" : "");
    });
  }
  for (int k = 0; k < kVariantCount; ++k) {
    if (!Decoded(k)) continue;
    Row(std::string("lhasa tq, ") + kVariants[k].label + " archive", results,
        [k](const Result& r) { return Format("%.0f", r.corpus.bytes / r.decoding[k].lhasa / 1e6); });
  }
}

void PrintParts(const std::vector<Result>& results) {
  std::printf(
      "\nBy part (bytes of the quick parse; chg: default vs quick)\n  %-9s %-16s %6s %12s %12s %9s %12s %9s\n",
      "corpus", "part", "files", "original", "lh5 quick", "lh5 chg", "lh7 quick", "lh7 chg");
  for (const auto& r : results) {
    for (const auto& [name, p] : r.parts) {
      std::printf("  %-9s %-16s %6zu %12s %12s %9s %12s %9s\n", r.corpus.key.c_str(), name.c_str(), p.files,
                  Thousands(p.original).c_str(), Thousands(p.packed[0]).c_str(),
                  Format("%+.2f %%", Change(p.packed[2], p.packed[0])).c_str(), Thousands(p.packed[4]).c_str(),
                  Format("%+.2f %%", Change(p.packed[6], p.packed[4])).c_str());
    }
  }
}

// Which of the optimal parse's settings differ from the earlier version's.
void PrintSettings() {
  const lha::OptimalTuning now, before = EarlierTuning();
  std::printf("\nThe default's settings (earlier default in brackets):\n");
  auto line = [](const char* what, int a, int b) {
    std::printf("  %-44s %4d (%d)%s\n", what, a, b, a == b ? "" : "  changed");
  };
  line("passes over the first stretch", now.firstPasses, before.firstPasses);
  line("passes over each later stretch", now.passes, before.passes);
  line("nice length, -lh5- (a match taken as it is)", now.niceLength, before.niceLength);
  line("nice length, -lh6-/-lh7-", now.niceLengthWide, before.niceLengthWide);
  line("match tree depth (nodes per position)", now.treeDepth, before.treeDepth);
  line("  ... while the longest match is shorter than", now.shortMatch, before.shortMatch);
  line("  ... up to (nodes per position)", std::max(now.treeDepth, now.treeDepthShort),
       std::max(before.treeDepth, before.treeDepthShort));
  line("positions inside a long match placed by the nice length", now.insertToNiceLength, before.insertToNiceLength);
  line("first stretch's earlier passes: one piece in", now.sampleEvery, before.sampleEvery);
  line("  pieces of (bytes)", static_cast<int>(now.samplePiece), static_cast<int>(before.samplePiece));
  std::printf("  always (no change of output): one encoder per thread, match tables not cleared between\n"
              "  members, buffers kept, distance symbol stored with each match, cost and way in one 64-bit\n"
              "  cell (four lengths per compare with AVX2), match-table entries fetched ahead of the walk,\n"
              "  Huffman lengths built on the stack (leaves sorted byte-wise), block sizes counted without codes,\n"
              "  sixteen bytes compared at a time, matches written by the tree in their stored form\n"
              "  a file over 4 MiB: parsed in 1 MiB segments, two at a time (same bytes whatever the threads)\n"
              "  fast mode: a member of at most 8,192 codes is one block (no cuts weighed)\n"
              "  not kept (too large for the +0.3 %% limit): one pass over the first stretch, costs carried\n"
              "  from the member before, hash tables sized to the member, tree depth 8, nice length 32 or 48\n"
              "  (-lh5-), a flat tree depth of 32 (package +11 %% time)\n");
}

// The goal rows as the run before this version of the encoder measured
// them (the same corpora on the same machine), shown beside today's: size
// vs earlier default, size vs quick, default CPU / quick, archive with 2
// threads / quick with 1, fast CPU / quick, fast size vs quick, decoding
// speed vs quick.
struct PreviousGoals {
  const char* method;  // "text lh5", ...
  const char* figures[7];
};
const PreviousGoals kPreviousGoals[] = {
    {"text lh5", {"+0.19 %", "-2.32 %", "3.71x", "2.50x", "1.03x", "-0.07 %", "0.98x"}},
    {"text lh7", {"+0.14 %", "-3.43 %", "2.75x", "1.94x", "1.01x", "-0.35 %", "0.99x"}},
    {"package lh5", {"+0.07 %", "-1.45 %", "2.69x", "1.63x", "1.09x", "-0.56 %", "0.96x"}},
    {"package lh7", {"+0.06 %", "-1.68 %", "2.12x", "1.18x", "1.07x", "-0.60 %", "0.95x"}},
    {"binaries lh5", {"+0.27 %", "-3.58 %", "2.05x", "1.19x", "1.09x", "-2.33 %", "0.89x"}},
    {"binaries lh7", {"+0.29 %", "-4.44 %", "1.24x", "0.75x", "1.02x", "-2.36 %", "0.87x"}},
};

const char* PreviousFigure(const std::string& method, int row) {
  for (const PreviousGoals& p : kPreviousGoals) {
    if (method == p.method) return p.figures[row];
  }
  return "-";
}

void PrintGoals(const std::vector<Result>& results) {
  std::printf("\nGoals (\"before\": the run before this version; CPU rows in processor time, the archive row on the clock)\n");
  std::printf("  %-36s %12s %10s   %-22s %s\n", "", "now", "before", "goal", "");
  std::string method;
  int row = 0;
  auto line = [&](const std::string& what, const std::string& value, const std::string& goal, bool met) {
    std::printf("  %-36s %12s %10s   %-22s %s\n", what.c_str(), value.c_str(), PreviousFigure(method, row++),
                goal.c_str(), met ? "met" : "NOT met");
  };
  for (const auto& r : results) {
    const double sizeGoal = r.corpus.key == "package" ? -1.0 : -2.5;
    for (int k : {2, 6}) {
      const std::string m = r.corpus.key + (kVariants[k].bits == 13 ? " lh5" : " lh7");
      method = m;
      row = 0;
      const int quick = Of(k, kQuick), before = Of(k, kBefore), fast = Of(k, kFastMode);
      const double vsBefore = Change(r.packed[k], r.packed[before]);
      line(m + " size vs earlier default", Format("%+.2f %%", vsBefore), "at most +0.3 %", vsBefore <= 0.3);
      const double vsQuick = Change(r.packed[k], r.packed[quick]);
      line(m + " size vs quick", Format("%+.2f %%", vsQuick), Format("at most %+.1f %%", sizeGoal), vsQuick <= sizeGoal);
      const double cpu = r.seconds[k] / std::max(r.seconds[quick], 1e-9);
      line(m + " default CPU / quick", Format("%.2fx", cpu), "at most 3x", cpu <= 3.0);
      const int two = k == 2 ? 2 : 6, one = k == 2 ? 0 : 4;  // kWritings: default 2 threads, quick 1 thread
      const double wall = r.writeWall[two] / std::max(r.writeWall[one], 1e-9);
      line(m + " archive, 2 threads / quick 1", Format("%.2fx", wall), "at most 1.5x (clock)", wall <= 1.5);
      const double fastCpu = r.seconds[fast] / std::max(r.seconds[quick], 1e-9);
      line(m + " fast CPU / quick", Format("%.2fx", fastCpu), "at most 1.1x", fastCpu <= 1.1);
      const double fastSize = Change(r.packed[fast], r.packed[quick]);
      line(m + " fast size vs quick", Format("%+.2f %%", fastSize), "smaller", fastSize < 0);
      const double speed = r.decoding[quick].ours / r.decoding[k].ours;
      line(m + " decoding speed vs quick", Format("%.2fx", speed), "at least 0.9x", speed >= 0.9);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool keep = argc > 1;
  const std::string root =
      keep ? argv[1] : (fs::temp_directory_path() / ("lha-bench-" + std::to_string(getpid()))).string();
  std::vector<std::string> keys = lhabench::CorpusKeys();
  const char* only = argc > 2 ? argv[2] : std::getenv("LHA_BENCH_CORPUS");
  if (only && *only) {
    if (std::find(keys.begin(), keys.end(), only) == keys.end()) {
      std::fprintf(stderr, "bench_lha: no corpus named \"%s\" (text, package, binaries)\n", only);
      return 2;
    }
    keys = {only};
  }
  const std::string work = root + "/work-" + std::to_string(getpid());
  int status = 0;
  const auto start = Clock::now();
  try {
    for (const char* tool : {"gzip", "jlha", "lhasa"}) {
      if (!lhabench::HaveProgram(tool)) throw std::runtime_error(std::string("missing tool: ") + tool);
    }
    fs::create_directories(work);
    std::printf(
        "quick = ParseMode::kLazy (hash chains, lazy matching, fixed blocks of 32,768 codes);\n"
        "default = ParseMode::kOptimal; earlier default = the same with the earlier version's settings;\n"
        "fast = ParseMode::kFast, the quick parse with blocks cut where new trees pay for themselves.\n"
        "Each file packed on its own; a file that does not shrink counts as stored.\n\nCorpora in %s\n",
        root.c_str());
    std::vector<Result> results;
    for (const auto& key : keys) {
      const auto t0 = Clock::now();
      Result r;
      r.corpus = lhabench::LoadOrBuildCorpus(root, key);
      std::printf("  %s: %s files, %s bytes (ready in %.1f s)\n", r.corpus.title.c_str(),
                  Thousands(r.corpus.files.size()).c_str(), Thousands(r.corpus.bytes).c_str(),
                  Seconds(t0, Clock::now()));
      for (const auto& part : r.corpus.composition) std::printf("      %s\n", part.c_str());
      std::fflush(stdout);
      Compress(r);
      Gzip(r, work);
      Jlha(r, work);
      WriteArchives(r, work);
      Decode(r, work);
      for (const auto& f : r.faults) std::printf("  ROUND TRIP FAILED, %s\n", f.c_str());
      if (!r.faults.empty()) status = 1;
      results.push_back(std::move(r));
    }
    PrintTables(results, JlhaStartup(work));
    PrintParts(results);
    PrintSettings();
    PrintGoals(results);
    std::printf("\nWhole run: %.0f s\n", Seconds(start, Clock::now()));
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "bench_lha: %s\n", e.what());
    status = 1;
  }
  std::error_code ec;
  fs::remove_all(keep ? work : root, ec);
  return status;
}
