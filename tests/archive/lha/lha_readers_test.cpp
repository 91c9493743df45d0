// Archives written by UnLHA32.DLL are read byte-identically by independent
// LHA readers (lhasa, bsdtar, 7-Zip), and archives written by jlha are read
// by UnLHA32.DLL.
#include <gtest/gtest.h>

#include "lha_test_support.h"

namespace {

using namespace lhatest;

// A tree with everything the readers must agree on: compressible text over
// 1 MiB, a file large enough to be parsed in segments, incompressible
// data, data whose statistics shift (so the encoder ends blocks where they
// shift), empty files, empty directories, Japanese names.
struct Corpus {
  TempDir tmp;
  std::string root = tmp.Path("in");
  Corpus() {
    WriteFile(root + "/pkg/big.txt", TextBytes(3 << 20, 21));
    // Large enough to be parsed in segments side by side.
    WriteFile(root + "/pkg/huge.dat", TextBytes(3 << 20, 29) + RandomBytes(300000, 30) + TextBytes(2 << 20, 31));
    WriteFile(root + "/pkg/random.bin", RandomBytes(400000, 22));
    std::string gradient;
    for (int i = 0; i < 150000; ++i) gradient += static_cast<char>((i % 640) * 255 / 640 + (i / 640) % 3);
    WriteFile(root + "/pkg/shifting.dat", TextBytes(200000, 26) + RandomBytes(60000, 27) + std::string(100000, '\0') +
                                            gradient + TextBytes(131073, 28));
    WriteFile(root + "/pkg/empty.txt", "");
    WriteFile(root + "/pkg/日本語/説明書.txt", TextBytes(30000, 23));
    WriteFile(root + "/pkg/日本語/ソース.cpp", TextBytes(2000, 24));
    WriteFile(root + "/pkg/a/b/c/deep.dat", std::string(70000, 'z') + RandomBytes(100, 25));
    fs::create_directories(root + "/pkg/emptydir");
    fs::create_directories(root + "/pkg/日本語/空");
  }
};

// Expected tree as a reader that keeps names as bytes writes it: each path
// in code page 932.
std::map<std::string, std::string> AsCp932Names(const std::map<std::string, std::string>& tree) {
  std::map<std::string, std::string> out;
  for (const auto& [k, v] : tree) {
    std::string s;
    cp932::FromUtf8(k, s);
    out[s] = v;
  }
  return out;
}

class LhaReaderTest : public ::testing::TestWithParam<const char*> {};

TEST_P(LhaReaderTest, IndependentReadersExtractEveryMemberByteIdentically) {
  Corpus c;
  const std::string arc = c.tmp.Path("out.lzh");
  const auto r = RunCmd("a " + arc + " " + c.root + "\\ pkg\\*.* -xr2 " + GetParam());
  ASSERT_EQ(r.code, 0) << r.output;
  const auto want = Snapshot(c.root);
  for (const char* tool : {"lhasa", "bsdtar", "7zz"}) {
    ASSERT_TRUE(HaveTool(tool)) << tool << " missing: run scripts/install-deps.sh";
  }

  {
    EXPECT_EQ(Shell("lhasa t " + Quote(arc)).exitCode, 0);
    const std::string out = c.tmp.Path("lhasa");
    fs::create_directories(out);
    const auto x = Shell("cd " + Quote(out) + " && lhasa xq " + Quote(arc));
    EXPECT_EQ(x.exitCode, 0) << x.out;
    EXPECT_EQ(Snapshot(out), AsCp932Names(want)) << "lhasa";
  }
  {
    const std::string out = c.tmp.Path("bsdtar");
    fs::create_directories(out);
    const auto x = Shell("bsdtar -x --options hdrcharset=CP932 -f " + Quote(arc) + " -C " + Quote(out));
    EXPECT_EQ(x.exitCode, 0) << x.out;
    EXPECT_EQ(Snapshot(out), want) << "bsdtar";
  }
  {
    EXPECT_EQ(Shell("7zz t " + Quote(arc)).exitCode, 0);
    const std::string out = c.tmp.Path("7z");
    const auto x = Shell("7zz x -y -mcp=932 -o" + Quote(out) + " " + Quote(arc));
    EXPECT_EQ(x.exitCode, 0) << x.out;
    // 7-Zip takes every 0x5C byte of a name for a separator, also the second
    // byte of "ソ"; the other names must come out exactly.
    auto got = Snapshot(out);
    auto expected = AsCp932Names(want);
    const std::string so = Sjis("日本語") + "/" + Sjis("ソ").substr(0, 1);
    for (auto* m : {&got, &expected}) {
      for (auto it = m->begin(); it != m->end();) it = it->first.rfind("pkg/" + so, 0) == 0 ? m->erase(it) : std::next(it);
    }
    EXPECT_EQ(got.size(), want.size() - 1);
    EXPECT_EQ(got, expected) << "7-Zip";
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, LhaReaderTest, ::testing::Values("", "-o7"),
                         [](const auto& test) { return std::string(test.param[0] ? "lh7" : "lh5"); });

TEST(LhaReaders, ArchivesWrittenByJlhaAreReadAtEveryHeaderLevelAndMethod) {
  ASSERT_TRUE(HaveTool("jlha")) << "jlha missing: run scripts/install-deps.sh";
  TempDir t;
  const std::string src = t.Path("src");
  WriteFile(src + "/tree/text.txt", TextBytes(300000, 31));
  WriteFile(src + "/tree/random.bin", RandomBytes(50000, 32));
  WriteFile(src + "/tree/sub/empty.txt", "");
  WriteFile(src + "/tree/sub/deep/far.bin", RandomBytes(20000, 33) + std::string(40000, 'q') + RandomBytes(20000, 33));
  const auto want = Snapshot(src);
  // One jlha run per level and method (jlha is slow to start: a few only).
  const char* options[] = {"a0o5", "a1o6", "a2o7", "a2o5", "a1o7", "a0z"};
  for (const char* o : options) {
    const std::string arc = t.Path(std::string(o) + ".lzh");
    const auto made = Shell("cd " + Quote(src) + " && jlha " + o + " " + Quote(arc) + " tree");
    ASSERT_EQ(made.exitCode, 0) << made.out;
    EXPECT_NE(Library::Get().CheckArchive(arc.c_str(), 4), 0) << o;
    const std::string out = t.Path(std::string("out-") + o);
    const auto r = RunCmd("e " + arc + " " + out + "\\ *.* -xr2 -jyc -jyo");
    EXPECT_EQ(r.code, 0) << o << "\n" << r.output;
    auto got = Snapshot(out);
    // jlha does not store empty directories it was not given; compare files.
    for (auto it = got.begin(); it != got.end();) it = it->second == "<dir>" ? got.erase(it) : std::next(it);
    auto wantFiles = want;
    for (auto it = wantFiles.begin(); it != wantFiles.end();)
      it = it->second == "<dir>" ? wantFiles.erase(it) : std::next(it);
    EXPECT_EQ(got, wantFiles) << o;
  }
}

}  // namespace
