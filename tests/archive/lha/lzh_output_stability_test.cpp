// The packed bytes of a few generated corpora, as checksums: a change of
// the encoder that is meant only to make it faster must leave them as
// they are. A change that is meant to change the output updates the
// figures below in the same commit, and says so.
//
// The corpora are made from fixed seeds; each file is packed on its own
// (the member form) and whole archives are written with one and with
// several packing threads, so that an encoder kept from one member to the
// next is covered as well as a fresh one.
#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/lha/lha_archive.h"
#include "archive/lha/lzh_codec.h"
#include "archive/lha/lzh_encoders.h"
#include "lha_test_support.h"

namespace {

using namespace lhatest;

uint64_t Fnv(const uint8_t* p, std::size_t n, uint64_t h = 1469598103934665603ull) {
  for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

std::string Hex(uint64_t h) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

// An image of `w` x `h` 24-bit pixels: smooth gradients with a little
// noise, the backgrounds of a script package.
std::string Bitmap(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s = "BM";
  s.resize(54, '\0');
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      s += static_cast<char>((x * 3 + y + static_cast<int>(rng() % 5)) & 0xFF);
      s += static_cast<char>((y * 2 + static_cast<int>(rng() % 3)) & 0xFF);
      s += static_cast<char>(((x ^ y) >> 2) & 0xFF);
    }
  }
  return s;
}

// 16-bit samples of a sound: a few tones with noise.
std::string Wave(std::size_t samples, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s = "RIFF....WAVEfmt ";
  s.resize(44, '\0');
  for (std::size_t i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i);
    const int v = static_cast<int>(9000 * std::sin(t / 17.0) + 4000 * std::sin(t / 5.3 + seed)) +
                  static_cast<int>(rng() % 200) - 100;
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
  }
  return s;
}

// Machine code of a sort: a small set of instruction patterns with
// operands, tables of addresses and runs of padding.
std::string Code(std::size_t n, unsigned seed) {
  static const char* ops[] = {"\x48\x89\xe5", "\x48\x83\xec", "\xe8", "\x8b\x45", "\x89\x45", "\xc3", "\x0f\x1f\x44\x00\x00",
                              "\x48\x8d\x3d", "\x74", "\x75", "\xff\x15", "\x41\x57\x41\x56"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    const uint32_t r = rng();
    if (r % 50 == 0) {
      s.append(16 + r % 48, '\0');
      continue;
    }
    s += ops[r % 12];
    const uint32_t operand = (r >> 8) % 4 == 0 ? rng() : (r >> 12) % 256;
    s.append(reinterpret_cast<const char*>(&operand), 1 + (r >> 20) % 4);
  }
  s.resize(n);
  return s;
}

struct NamedFile {
  std::string name;
  std::string bytes;
};

std::vector<NamedFile> TextCorpus() {
  std::vector<NamedFile> files;
  for (int i = 0; i < 24; ++i) {
    const std::size_t size = i == 0 ? 0 : i == 1 ? 1 : static_cast<std::size_t>(37) << (i % 12);
    files.push_back({"t" + std::to_string(i) + ".txt", TextBytes(size, 100 + i)});
  }
  files.push_back({"long.txt", TextBytes(420000, 7)});  // several 128 KiB stretches
  return files;
}

std::vector<NamedFile> PackageCorpus() {
  std::vector<NamedFile> files;
  for (int i = 0; i < 6; ++i) files.push_back({"s" + std::to_string(i) + ".dic", TextBytes(3000 + i * 5111, 200 + i)});
  files.push_back({"bg0.bmp", Bitmap(160, 120, 1)});
  files.push_back({"bg1.bmp", Bitmap(320, 160, 2)});
  files.push_back({"v0.wav", Wave(40000, 3)});
  files.push_back({"v1.wav", Wave(90000, 4)});
  files.push_back({"noise.bin", RandomBytes(30000, 5)});
  files.push_back({"zeros.bin", std::string(70000, '\0')});
  return files;
}

std::vector<NamedFile> BinaryCorpus() {
  std::vector<NamedFile> files;
  for (int i = 0; i < 8; ++i) files.push_back({"lib" + std::to_string(i) + ".so", Code(4000 + i * 21000, 300 + i)});
  files.push_back({"big.so", Code(300000, 399)});
  return files;
}

// Documents built from a few paragraphs used again and again, some with
// a word changed: long repeats, where the positions inside a match taken
// as it is are only entered in the match tree.
std::vector<NamedFile> RepeatsCorpus() {
  std::vector<std::string> paragraphs;
  for (int i = 0; i < 12; ++i) paragraphs.push_back(TextBytes(80 + static_cast<std::size_t>(i) * 37, 500 + i) + "\n");
  std::vector<NamedFile> files;
  std::mt19937 rng(9);
  for (const std::size_t size : {std::size_t{30000}, std::size_t{150000}, std::size_t{300000}}) {
    std::string s;
    while (s.size() < size) {
      std::string p = paragraphs[rng() % paragraphs.size()];
      if (rng() % 3 == 0) p[rng() % p.size()] = static_cast<char>('a' + rng() % 26);
      s += p;
    }
    s.resize(size);
    files.push_back({"doc" + std::to_string(size) + ".txt", s});
  }
  return files;
}

// Every file packed on its own, sizes and packed bytes in one checksum.
uint64_t MemberChecksum(const std::vector<NamedFile>& files, int bits, lha::ParseMode parse,
                        const lha::OptimalTuning* tuning = nullptr) {
  lha::EncoderOptions o;
  o.dictionaryBits = bits;
  o.parse = parse;
  o.tuning = tuning;
  uint64_t h = Fnv(nullptr, 0);
  for (const NamedFile& f : files) {
    const auto packed = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(f.bytes.data()), f.bytes.size(), o);
    const uint64_t size = packed.size();
    h = Fnv(reinterpret_cast<const uint8_t*>(&size), sizeof size, h);
    h = Fnv(packed.data(), packed.size(), h);
  }
  return h;
}

struct MemberCase {
  const char* corpus;
  std::vector<NamedFile> (*make)();
  int bits;
  lha::ParseMode parse;
  const char* checksum;
};

const MemberCase kMemberCases[] = {
    {"text", TextCorpus, 13, lha::ParseMode::kOptimal, "0cf01712087a4678"},
    {"text", TextCorpus, 16, lha::ParseMode::kOptimal, "46b82f2d1187f9a5"},
    {"text", TextCorpus, 13, lha::ParseMode::kLazy, "ae6fe55452d1d8f7"},
    {"package", PackageCorpus, 13, lha::ParseMode::kOptimal, "eebad77ea8b19f57"},
    {"package", PackageCorpus, 16, lha::ParseMode::kOptimal, "b682a9dfd9d1b68b"},
    {"package", PackageCorpus, 16, lha::ParseMode::kLazy, "ef54d8c6bad2a875"},
    {"binaries", BinaryCorpus, 13, lha::ParseMode::kOptimal, "99b0c8ec05cc07d3"},
    {"binaries", BinaryCorpus, 16, lha::ParseMode::kOptimal, "097099abdd92e3a8"},
    {"binaries", BinaryCorpus, 13, lha::ParseMode::kLazy, "abc583cdd7d166c0"},
    {"repeats", RepeatsCorpus, 13, lha::ParseMode::kOptimal, "05b5eb0c6c334539"},
    {"repeats", RepeatsCorpus, 16, lha::ParseMode::kOptimal, "e4daa7dd55de8e26"},
    {"text", TextCorpus, 13, lha::ParseMode::kFast, "5ef9b0da389fa813"},
    {"package", PackageCorpus, 16, lha::ParseMode::kFast, "fbd4e22139e9a779"},
    {"binaries", BinaryCorpus, 13, lha::ParseMode::kFast, "3a590f164b621776"},
};

TEST(LzhOutputStability, EachMemberPacksToTheRecordedBytes) {
  for (const MemberCase& c : kMemberCases) {
    SCOPED_TRACE(std::string(c.corpus) + " bits " + std::to_string(c.bits) +
                 (c.parse == lha::ParseMode::kLazy ? " lazy" : c.parse == lha::ParseMode::kFast ? " fast" : " optimal"));
    EXPECT_EQ(Hex(MemberChecksum(c.make(), c.bits, c.parse)), c.checksum);
  }
}

// The optimal parse's plain length loop (the one processors without
// 256-bit vectors take) gives the same bytes as the vector loop.
TEST(LzhOutputStability, PlainLengthLoopPacksToTheSameBytes) {
  lha::OptimalTuning plain;
  plain.wideLengthLoop = false;
  for (const MemberCase& c : kMemberCases) {
    if (c.parse != lha::ParseMode::kOptimal) continue;
    SCOPED_TRACE(std::string(c.corpus) + " bits " + std::to_string(c.bits));
    EXPECT_EQ(Hex(MemberChecksum(c.make(), c.bits, c.parse, &plain)), c.checksum);
  }
}

// With the sampled early passes, the deeper walks for short matches and
// the shorter placing of inserted positions switched off, the optimal parse packs to the bytes it packed to before
// they came: the rest of its work on speed changed no output.
TEST(LzhOutputStability, WithTheSizeTradesOffPacksAsBefore) {
  struct Case {
    const char* corpus;
    std::vector<NamedFile> (*make)();
    int bits;
    const char* checksum;
  };
  const Case cases[] = {
      {"text", TextCorpus, 13, "2146230750cd45ba"},     {"text", TextCorpus, 16, "7f63820523c034fe"},
      {"package", PackageCorpus, 13, "552020597e928d68"}, {"package", PackageCorpus, 16, "b998ea08e03a0102"},
      {"binaries", BinaryCorpus, 13, "49b48a35afe29cea"}, {"binaries", BinaryCorpus, 16, "cb0d25df38e9afa0"},
      {"repeats", RepeatsCorpus, 13, "da159b732546b02f"}, {"repeats", RepeatsCorpus, 16, "c1d4d8009594b002"},
  };
  lha::OptimalTuning before;
  before.sampleEvery = 1;
  before.treeDepthShort = before.treeDepth;
  before.insertToNiceLength = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.corpus) + " bits " + std::to_string(c.bits));
    EXPECT_EQ(Hex(MemberChecksum(c.make(), c.bits, lha::ParseMode::kOptimal, &before)), c.checksum);
  }
}

// A large input is parsed in segments, side by side on as many threads
// as it is given: the packed bytes must not depend on how many, must
// unpack to the input, and must stay within 0.1 % of the size a parse in
// one piece gives. Small segments make the cheaper cases; the last case
// takes the default settings.
TEST(LzhOutputStability, SegmentedInputPacksToTheSameBytesWhateverTheThreads) {
  struct Case {
    const char* what;
    std::string bytes;
    int bits;
    uint64_t segmentFrom;
    std::size_t segmentBytes;
    const char* checksum;
    bool nearWhole;  // checked against the parse in one piece
  };
  const lha::OptimalTuning defaults;
  const Case cases[] = {
      {"text, 96 KiB segments", TextBytes(700000, 31), 13, 200000, 96 << 10, "c25bcd92b0072b56", false},
      {"machine code, lh7, 200 KB segments", Code(900000, 32), 16, 300000, 200000, "d2ea32d0551ca3d8", false},
      {"noise between text, odd segment size", TextBytes(150000, 33) + RandomBytes(90000, 34) + TextBytes(200000, 35),
       13, 100000, 77777, "c88086d0bc42b23f", false},
      {"text and code, default settings", TextBytes(std::size_t{3} << 20, 36) + Code(std::size_t{2} << 20, 37), 13,
       defaults.segmentFrom, defaults.segmentBytes, "bd1251f6fc2a7f00", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lha::OptimalTuning tuning;
    tuning.segmentFrom = c.segmentFrom;
    tuning.segmentBytes = c.segmentBytes;
    lha::EncoderOptions o;
    o.dictionaryBits = c.bits;
    o.tuning = &tuning;
    const auto* data = reinterpret_cast<const uint8_t*>(c.bytes.data());
    std::vector<uint8_t> first;
    for (int threads : {1, 2, 4}) {
      o.threads = threads;
      lha::LzhEncoder encoder;
      const std::vector<uint8_t> packed = encoder.Encode(data, c.bytes.size(), o);
      if (threads == 1) {
        first = packed;
        std::string back;
        const auto status = lha::DecodeLzh(c.bits, packed.data(), packed.size(), c.bytes.size(),
                                           [&](const uint8_t* d, std::size_t n) {
                                             back.append(reinterpret_cast<const char*>(d), n);
                                             return true;
                                           });
        ASSERT_EQ(status, lha::DecodeStatus::kOk);
        EXPECT_TRUE(back == c.bytes) << "the packed data does not unpack to the input";
      } else {
        EXPECT_TRUE(packed == first) << threads << " threads gave other bytes than one";
      }
    }
    EXPECT_EQ(Hex(Fnv(first.data(), first.size())), c.checksum);
    if (c.nearWhole) {
      lha::OptimalTuning whole;
      whole.segmentFrom = UINT64_MAX;
      o.tuning = &whole;
      o.threads = 1;
      const std::size_t wholeSize = lha::EncodeLzh(data, c.bytes.size(), o).size();
      EXPECT_LE(static_cast<double>(first.size()), wholeSize * 1.001) << "one piece: " << wholeSize;
    }
  }
}

// The corpus as an archive written by WriteArchive: the files with one
// fixed time and mode, a folder among them, and a file large enough to be
// streamed by the writer instead of packed ahead.
std::string ArchiveChecksum(const std::vector<NamedFile>& files, int bits, int threads) {
  TempDir tmp;
  std::vector<lha::NewMember> members;
  const std::string root = tmp.Path("in");
  for (const NamedFile& f : files) {
    const std::string path = root + "/" + f.name;
    WriteFile(path, f.bytes);
    members.push_back({f.name, path, false});
  }
  fs::create_directories(root + "/sub");
  members.insert(members.begin() + 2, {"sub", root + "/sub", true});
  const std::string large = root + "/large.txt";
  WriteFile(large, TextBytes(std::size_t{5} << 19, 77));
  members.push_back({"sub\\large.txt", large, false});
  for (const lha::NewMember& m : members) {
    struct utimbuf t {1700000000, 1700000000};
    utime(m.sourcePath.c_str(), &t);
    chmod(m.sourcePath.c_str(), m.isDirectory ? 0755 : 0644);
  }
  lha::WriteOptions options;
  options.dictionaryBits = bits;
  options.threads = threads;
  std::string report, failed;
  const std::string target = tmp.Path("out.lzh");
  EXPECT_EQ(lha::WriteArchive(target, nullptr, {}, members, options, report, failed), 0) << failed;
  const std::string bytes = ReadFile(target);
  return Hex(Fnv(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

TEST(LzhOutputStability, ArchivesAreTheRecordedBytesWhateverTheThreads) {
  struct Case {
    std::vector<NamedFile> (*make)();
    int bits;
    const char* checksum;
  };
  const Case cases[] = {{TextCorpus, 13, "14f0d69c68a229a3"}, {PackageCorpus, 16, "f0664a246efd89ea"}, {BinaryCorpus, 13, "82db0dd48a086630"}};
  for (const Case& c : cases) {
    const std::vector<NamedFile> files = c.make();
    for (int threads : {1, 2, 3}) {
      SCOPED_TRACE("bits " + std::to_string(c.bits) + ", threads " + std::to_string(threads));
      EXPECT_EQ(ArchiveChecksum(files, c.bits, threads), c.checksum);
    }
  }
}

}  // namespace
