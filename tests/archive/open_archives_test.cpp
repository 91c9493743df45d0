// The table of open archives behind both libraries' find functions: which
// members a pattern finds, and which handles are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/common/open_archives.h"
#include "util/cp932/cp932.h"

namespace {

// A listing whose records carry the member's path in code page 932 with
// "\" between levels, as both libraries fill them.
arc::ArchiveListing Listing(const std::vector<std::string>& utf8Paths) {
  arc::ArchiveListing listing;
  for (const std::string& path : utf8Paths) {
    ArchiveInfo info;
    std::memset(&info, 0, sizeof info);
    std::string sjis;
    EXPECT_TRUE(cp932::FromUtf8(path, sjis)) << path;
    std::memcpy(info.fileName, sjis.data(), std::min(sjis.size(), sizeof info.fileName - 1));
    info.unpackedSize = static_cast<uint32_t>(listing.members.size());  // the member's position
    listing.members.push_back(info);
    listing.paths.push_back(path);
  }
  return listing;
}

// The positions of the members a search finds, in order.
std::vector<uint32_t> Found(arc::OpenArchives& table, HARC h, const char* pattern) {
  std::vector<uint32_t> found;
  ArchiveInfo info;
  for (int rc = table.FindFirst(h, pattern, &info); rc == 0; rc = table.FindNext(h, &info))
    found.push_back(info.unpackedSize);
  return found;
}

std::string Sjis(const std::string& utf8) {
  std::string sjis;
  EXPECT_TRUE(cp932::FromUtf8(utf8, sjis));
  return sjis;
}

TEST(OpenArchivesTest, PatternsMatchLastLevelsOrWholePaths) {
  arc::OpenArchives table;
  // 表 and ソ end in the byte of "\" in code page 932.
  const HARC h = table.Open(Listing({"a.txt", "b.dat", "sub/c.txt", "sub\\D.TXT", "noext", "表.txt", "ソ/x.txt",
                                     "subway/e.txt", "a", ""}));
  ASSERT_NE(h, nullptr);
  struct Case {
    std::string pattern;  // UTF-8; sent in code page 932
    std::vector<uint32_t> found;
  } cases[] = {
      {"*.*", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"*.txt", {0, 2, 3, 5, 6, 7}},
      {"*.TXT", {0, 2, 3, 5, 6, 7}},
      {"sub\\*.*", {2, 3}},
      {"sub/*.txt", {2, 3}},
      {"SUB\\c.txt", {2}},
      {"*.", {4, 8, 9}},
      {"?", {8}},
      {"?.txt", {0, 2, 3, 6, 7}},
      {"表.txt", {5}},
      {"ソ\\*.*", {6}},
      {"*\\*.txt", {2, 3, 6, 7}},
      {"*.none", {}},
      {"su", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(Found(table, h, Sjis(c.pattern).c_str()), c.found);
  }
  // No pattern, or an empty one, finds every member.
  EXPECT_EQ(Found(table, h, nullptr).size(), 10u);
  EXPECT_EQ(Found(table, h, "").size(), 10u);
  // A pattern that is no text finds nothing, and nothing after it either.
  ArchiveInfo info;
  ASSERT_EQ(table.FindFirst(h, "*.*", &info), 0);
  EXPECT_EQ(table.FindFirst(h, "\x81", &info), -1);
  EXPECT_EQ(table.FindNext(h, &info), -1);
  // After the last match FindNext keeps answering -1; a null record is allowed.
  EXPECT_EQ(table.FindFirst(h, "b.dat", nullptr), 0);
  EXPECT_EQ(table.FindNext(h, nullptr), -1);
  EXPECT_EQ(table.FindNext(h, nullptr), -1);
  // The record is the library's own, byte for byte.
  ASSERT_EQ(table.FindFirst(h, Sjis("ソ\\x.txt").c_str(), &info), 0);
  EXPECT_EQ(std::string(info.fileName), Sjis("ソ/x.txt"));
  EXPECT_EQ(table.Close(h), 0);
}

TEST(OpenArchivesTest, HandlesAreRefusedUnlessOpen) {
  arc::OpenArchives table;
  const HARC first = table.Open(Listing({"a.txt"}));
  const HARC second = table.Open(Listing({"b.txt", "c.txt"}));
  const HARC empty = table.Open(Listing({}));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(first, second);
  int stranger = 0;
  ArchiveInfo info;
  for (HARC h : {static_cast<HARC>(nullptr), static_cast<HARC>(&stranger)}) {
    EXPECT_EQ(table.FindFirst(h, "*.*", &info), -1);
    EXPECT_EQ(table.FindNext(h, &info), -1);
    EXPECT_EQ(table.Close(h), -1);
  }
  EXPECT_EQ(Found(table, empty, "*.*"), std::vector<uint32_t>{});
  // Closing one leaves the others as they were, mid-search included.
  ASSERT_EQ(table.FindFirst(second, "*.txt", &info), 0);
  EXPECT_EQ(table.Close(first), 0);
  EXPECT_EQ(table.FindNext(second, &info), 0);
  EXPECT_EQ(info.unpackedSize, 1u);
  EXPECT_EQ(table.FindFirst(first, "*.*", &info), -1);
  EXPECT_EQ(table.FindNext(first, &info), -1);
  EXPECT_EQ(table.Close(first), -1);
  EXPECT_EQ(table.Close(second), 0);
  EXPECT_EQ(table.Close(empty), 0);
}

TEST(OpenArchivesTest, ThreadsOpenSearchAndCloseTheirOwnArchives) {
  arc::OpenArchives table;
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&table, &wrong, t] {
      for (int round = 0; round < 200; ++round) {
        const HARC h = table.Open(Listing({"a.txt", "b/c.txt", "d.dat"}));
        if (Found(table, h, "*.txt") != std::vector<uint32_t>{0, 1}) ++wrong[static_cast<size_t>(t)];
        if (table.Close(h) != 0) ++wrong[static_cast<size_t>(t)];
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
