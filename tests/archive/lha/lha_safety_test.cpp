// Damaged and hostile archives: truncated and bit-flipped archives end in
// result codes (these tests also run under AddressSanitizer and UBSan), and
// members with absolute or climbing paths never write outside the output
// directory.
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

#include "lha_craft.h"
#include "lha_test_support.h"

namespace {

using namespace lhatest;

std::string MakeSampleArchive(const TempDir& t, const char* sw) {
  WriteFile(t.Path("in/a.txt"), TextBytes(60000, 41));
  WriteFile(t.Path("in/sub/b.bin"), RandomBytes(3000, 42));
  WriteFile(t.Path("in/sub/c.txt"), TextBytes(5000, 43));
  const std::string arc = t.Path(std::string("sample") + sw + ".lzh");
  EXPECT_EQ(RunCmd("a " + arc + " " + t.Path("in") + "/ *.* -xr2 " + sw).code, 0);
  return ReadFile(arc);
}

// Every file below `dir` must be one the original tree has with its content.
void ExpectOnlyIntactFiles(const std::string& dir, const std::map<std::string, std::string>& original) {
  for (const auto& [path, digest] : Snapshot(dir)) {
    if (digest == "<dir>") continue;
    auto it = original.find(path);
    ASSERT_NE(it, original.end()) << "unexpected file " << path;
    EXPECT_EQ(digest, it->second) << "damaged data written to " << path;
  }
}

class LhaDamagedArchive : public ::testing::TestWithParam<const char*> {};

TEST_P(LhaDamagedArchive, TruncationGivesResultCodes) {
  TempDir t;
  const std::string good = MakeSampleArchive(t, GetParam());
  const auto original = Snapshot(t.Path("in"));
  const std::string bad = t.Path("bad.lzh");
  int nonZero = 0, cuts = 0;
  for (std::size_t cut = 0; cut < good.size(); cut += 1 + cut / 6) {
    WriteFile(bad, good.substr(0, cut));
    const std::string out = t.Path("out");
    fs::remove_all(out);
    const int e = RunCmd("e " + bad + " " + out + "/ *.* -xr2 -jyc -jyo").code;
    RunCmd("l " + bad);
    const int check = Library::Get().CheckArchive(bad.c_str(), 4);
    List(bad);
    ++cuts;
    // Only a cut exactly at the end mark leaves a whole archive.
    if (e != 0) ++nonZero;
    if (e != 0) {
      EXPECT_EQ(check, 0) << "cut at " << cut;
    }
    ExpectOnlyIntactFiles(out, original);
  }
  EXPECT_GE(nonZero, cuts - 1);
}

TEST_P(LhaDamagedArchive, FlippedBitsGiveResultCodesAndNoDamagedFiles) {
  TempDir t;
  const std::string good = MakeSampleArchive(t, GetParam());
  const auto original = Snapshot(t.Path("in"));
  const std::string bad = t.Path("bad.lzh");
  std::mt19937 rng(77);
  int detected = 0;
  const int rounds = 150;
  for (int round = 0; round < rounds; ++round) {
    std::string b = good;
    const std::size_t at = round < 60 ? rng() % std::min<std::size_t>(b.size(), 200) : rng() % b.size();
    b[at] = static_cast<char>(b[at] ^ (1 << (rng() % 8)));
    WriteFile(bad, b);
    const std::string out = t.Path("out");
    fs::remove_all(out);
    const auto r = RunCmd("e " + bad + " " + out + "/ *.* -xr2 -jyc -jyo");
    RunCmd("t " + bad);
    List(bad);
    if (r.code != 0) ++detected;
    if (r.code != 0) {
      EXPECT_EQ(Library::Get().CheckArchive(bad.c_str(), 4), 0) << "flip at " << at;
    }
    ExpectOnlyIntactFiles(out, original);
  }
  // Nearly every flip is caught by a header checksum or a CRC; a flip in a
  // time stamp or an attribute is not.
  EXPECT_GT(detected, rounds * 8 / 10);
}

INSTANTIATE_TEST_SUITE_P(Methods, LhaDamagedArchive, ::testing::Values("-o5", "-o7"),
                         [](const auto& test) { return std::string(test.param + 1); });

TEST(LhaSafety, GarbageAndHostileHeadersAreRefused) {
  TempDir t;
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string huge = CraftArchive({{"a.txt", "abc"}});
  huge[7] = '\xff';  // packed size far beyond the file
  huge[8] = '\xff';
  std::string level3 = CraftArchive({{"a.txt", "abc"}});
  level3[20] = 3;
  const std::string method = CraftArchive({{"a.txt", "abc", 2, false, "-lh9-"}});
  // The 64-bit size extension marks a member of 4 GiB or more.
  std::string large = std::string("\x42", 1);
  for (uint64_t v : {uint64_t{3}, uint64_t{0x100000000}}) {
    for (int i = 0; i < 8; ++i) large += static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  const std::string big = CraftArchive({{"big.bin", "abc", 2, false, "", large}});
  WriteFile(t.Path("big.lzh"), big);
  EXPECT_EQ(RunCmd("e " + t.Path("big.lzh") + " " + t.Path("o") + "/ -x").code, ARC_ERROR_VERSION);
  const std::vector<Case> cases = {
      {"random", RandomBytes(5000, 1)},
      {"short", std::string("\x20\x00-lh5-", 7)},
      {"size past end", huge},
      {"level 3", level3},
  };
  for (const Case& c : cases) {
    WriteFile(t.Path("x.lzh"), c.bytes);
    EXPECT_NE(RunCmd("e " + t.Path("x.lzh") + " " + t.Path("o") + "/ -x").code, 0) << c.name;
    EXPECT_EQ(Library::Get().CheckArchive(t.Path("x.lzh").c_str(), 4), 0) << c.name;
  }
  WriteFile(t.Path("m.lzh"), method);
  EXPECT_EQ(RunCmd("e " + t.Path("m.lzh") + " " + t.Path("o") + "/ -x").code, ARC_ERROR_METHOD);
  EXPECT_FALSE(fs::exists(t.Path("o/a.txt")));
}

// Members whose paths leave the output directory, beside honest ones.
std::string HostileArchive(int level) {
  return CraftArchive({{"good.txt", "fine", level},
                       {"..\\evil.txt", "escaped", level},
                       {"sub\\..\\..\\evil2.txt", "escaped", level},
                       {"/tmp/lhatest-absolute.txt", "escaped", level},
                       {"\\abs2.txt", "escaped", level},
                       {"C:\\drive.txt", "escaped", level},
                       {"..", "", level, true},
                       {"ok\\inner.txt", "inner", level}});
}

TEST(LhaSafety, ExtractRefusesMembersThatLeaveTheOutputDirectory) {
  for (int level : {0, 1, 2}) {
    TempDir t;
    WriteFile(t.Path("h.lzh"), HostileArchive(level));
    const std::string out = t.Path("box/out");
    fs::create_directories(out);
    const auto r = RunCmd("e " + t.Path("h.lzh") + " " + out + "\\ *.* -xr2 -jyc -jyo");
    EXPECT_EQ(r.code, ARC_ERROR_HEADER_BROKEN) << r.output;
    EXPECT_EQ(ReadFile(out + "/good.txt"), "fine");
    EXPECT_EQ(ReadFile(out + "/ok/inner.txt"), "inner");
    // A leading separator is dropped, as other LHA tools drop it: those
    // members land inside the output directory.
    EXPECT_EQ(ReadFile(out + "/tmp/lhatest-absolute.txt"), "escaped");
    EXPECT_EQ(ReadFile(out + "/abs2.txt"), "escaped");
    // Nothing else, anywhere in the temporary tree or at the absolute path.
    EXPECT_EQ(Snapshot(t.Path("box")).size(), 7u) << "level " << level;
    EXPECT_FALSE(fs::exists("/tmp/lhatest-absolute.txt"));
    EXPECT_FALSE(fs::exists("/abs2.txt"));
    EXPECT_FALSE(fs::exists(t.Path("box/evil.txt")));
    EXPECT_FALSE(fs::exists(t.Path("evil2.txt")));
  }
}

TEST(LhaSafety, ExtractDoesNotFollowASymbolicLinkOutOfTheOutputDirectory) {
  TempDir t;
  fs::create_directories(t.Path("outside"));
  fs::create_directories(t.Path("out"));
  fs::create_symlink(t.Path("outside"), t.Path("out/link"));
  WriteFile(t.Path("l.lzh"), CraftArchive({{"link\\planted.txt", "x"}, {"LINK\\other.txt", "y"}}));
  const auto r = RunCmd("e " + t.Path("l.lzh") + " " + t.Path("out") + "/ -x");
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(fs::is_empty(t.Path("outside")));
}

TEST(LhaSafety, AMemberWithABadCrcLeavesTheExistingFileAlone) {
  TempDir t;
  std::string arc = CraftArchive({{"keep.txt", "new data"}});
  arc[arc.size() - 2] ^= 1;  // damage the data, not the header
  WriteFile(t.Path("c.lzh"), arc);
  WriteFile(t.Path("out/keep.txt"), "old data");
  EXPECT_EQ(RunCmd("e " + t.Path("c.lzh") + " " + t.Path("out") + "/ -x -jyo").code, ARC_ERROR_FILE_CRC);
  EXPECT_EQ(ReadFile(t.Path("out/keep.txt")), "old data");
  EXPECT_EQ(Snapshot(t.Path("out")).size(), 1u) << "no temporary file is left";
}

}  // namespace
