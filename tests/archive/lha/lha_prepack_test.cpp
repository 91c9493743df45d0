// Archives written with small files packed ahead on worker threads are the
// same, byte for byte, as archives written one file at a time, whatever
// the mix of members; a member that cannot be read fails the write the
// same way and leaves the older archive as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "archive/common/result_codes.h"
#include "archive/lha/lha_archive.h"
#include "lha_test_support.h"

namespace {

using namespace lhatest;

struct Tree {
  TempDir tmp;
  std::string root = tmp.Path("in");
  std::vector<lha::NewMember> members;

  void AddFile(const std::string& name, const std::string& bytes) {
    WriteFile(root + "/" + name, bytes);
    members.push_back({name, root + "/" + name, false});
  }
  void AddDir(const std::string& name) {
    fs::create_directories(root + "/" + name);
    members.push_back({name, root + "/" + name, true});
  }

  // Small text and binary files, empty ones, incompressible ones (stored),
  // files above the packed-ahead limit (streamed) and folders between them.
  Tree() {
    for (int i = 0; i < 40; ++i) {
      if (i % 9 == 4) AddDir("dir" + std::to_string(i));
      const std::string name = "f" + std::to_string(i);
      switch (i % 5) {
        case 0: AddFile(name + ".txt", TextBytes(1000 + i * 997, i)); break;
        case 1: AddFile(name + ".bin", RandomBytes(3000 + i * 31, i)); break;
        case 2: AddFile(name + ".empty", ""); break;
        case 3: AddFile(name + ".one", "x"); break;
        default: AddFile(name + ".mix", TextBytes(20000, i) + RandomBytes(5000, i + 100)); break;
      }
    }
    AddFile("large.txt", TextBytes(3 << 20, 77));  // above the limit: streamed by the writer
    AddFile("after.txt", TextBytes(5000, 78));
  }
};

int Write(const std::string& target, const lha::ArchiveReader* existing, const std::vector<lha::NewMember>& members,
          int threads, int bits, std::string* failed = nullptr) {
  lha::WriteOptions options;
  options.threads = threads;
  options.dictionaryBits = bits;
  std::string report, failedName;
  const int rc = lha::WriteArchive(target, existing, {}, members, options, report, failedName);
  if (failed) *failed = failedName;
  return rc;
}

TEST(LhaPrepack, ThreadsWriteTheSameArchiveAsOneFileAtATime) {
  Tree t;
  for (int bits : {13, 16}) {
    SCOPED_TRACE(bits);
    const std::string one = t.tmp.Path("one.lzh"), four = t.tmp.Path("four.lzh");
    ASSERT_EQ(Write(one, nullptr, t.members, 1, bits), 0);
    ASSERT_EQ(Write(four, nullptr, t.members, 4, bits), 0);
    EXPECT_TRUE(ReadFile(one) == ReadFile(four));

    // Updating: old members replaced in place by new ones of the same
    // name, the others kept, new ones after them.
    lha::ArchiveReader old;
    ASSERT_EQ(old.Open(one), 0);
    std::vector<lha::NewMember> update = {t.members[3], t.members[10], t.members.back()};
    WriteFile(t.root + "/new.txt", TextBytes(7000, 90));
    update.push_back({"new.txt", t.root + "/new.txt", false});
    const std::string u1 = t.tmp.Path("u1.lzh"), u4 = t.tmp.Path("u4.lzh");
    ASSERT_EQ(Write(u1, &old, update, 1, bits), 0);
    ASSERT_EQ(Write(u4, &old, update, 3, bits), 0);
    EXPECT_TRUE(ReadFile(u1) == ReadFile(u4));
  }
}

TEST(LhaPrepack, AnUnreadableMemberFailsTheSameWayWithThreads) {
  Tree t;
  const std::string fifo = t.root + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<lha::NewMember> members = t.members;
  members.insert(members.begin() + 20, {"pipe", fifo, false});
  members.push_back({"gone.txt", t.root + "/gone.txt", false});
  const std::string target = t.tmp.Path("keep.lzh");
  WriteFile(target, "older archive");
  for (int threads : {1, 4}) {
    std::string failed;
    EXPECT_EQ(Write(target, nullptr, members, threads, 13, &failed), ARC_ERROR_FILE_OPEN);
    EXPECT_EQ(failed, fifo);
    EXPECT_EQ(ReadFile(target), "older archive");
  }
  // Nothing left behind in the folder but the inputs and the older archive.
  std::size_t entries = 0;
  for (const auto& e : fs::directory_iterator(t.tmp.Path(""))) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);
}

}  // namespace
