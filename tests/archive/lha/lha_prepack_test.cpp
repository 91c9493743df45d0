// Archives written with files packed ahead on worker threads are the
// same, byte for byte, as archives written one file at a time, whatever
// the mix of members and wherever a large one falls; a member that cannot
// be read fails the write the same way and leaves the older archive as it
// was. The workers go on past a slow member, and stop at the bounds of
// what they hold for the writer.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "archive/common/result_codes.h"
#include "archive/lha/crc16.h"
#include "archive/lha/lha_archive.h"
#include "archive/lha/lha_prepack.h"
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

// Many small files with large ones among them: one packed ahead but slow
// (below the limit of files packed ahead) and one streamed by the writer
// (above it), at the start, in the middle or at the end.
struct LargeAmongSmall {
  const char* name;
  std::vector<std::size_t> largeAt;  // positions among the small files
};

TEST(LhaPrepack, LargeMembersAmongManySmallGiveTheSameArchiveWithAnyThreads) {
  const std::size_t slow = lha::MemberPrepacker::kMaxSize / 2;
  const std::size_t streamed = lha::MemberPrepacker::kMaxSize + 50000;
  const LargeAmongSmall cases[] = {
      {"large first", {0, 1}},
      {"large in the middle", {30, 45}},
      {"large side by side", {40, 41}},
      {"large last", {60, 60}},
  };
  for (const LargeAmongSmall& c : cases) {
    SCOPED_TRACE(c.name);
    Tree t;  // for its folder; its members are not used
    std::vector<lha::NewMember> members;
    auto add = [&](const std::string& name, const std::string& bytes) {
      WriteFile(t.root + "/" + name, bytes);
      members.push_back({name, t.root + "/" + name, false});
    };
    for (std::size_t i = 0; i <= 60; ++i) {
      if (i == c.largeAt[0]) add("slow.txt", TextBytes(slow, 500));
      if (i == c.largeAt[1]) add("streamed.txt", TextBytes(streamed, 501) + RandomBytes(4000, 502));
      if (i < 60) add("s" + std::to_string(i) + (i % 3 == 2 ? ".bin" : ".txt"),
                      i % 3 == 2 ? RandomBytes(500 + i * 13, i) : TextBytes(2000 + i * 271, i));
    }
    const std::string one = t.tmp.Path("one.lzh");
    ASSERT_EQ(Write(one, nullptr, members, 1, 13), 0);
    const std::string expected = ReadFile(one);
    for (int threads : {2, 4}) {
      SCOPED_TRACE(threads);
      const std::string many = t.tmp.Path("many.lzh");
      ASSERT_EQ(Write(many, nullptr, members, threads, 13), 0);
      EXPECT_TRUE(ReadFile(many) == expected);
    }
  }
}

// Waits (up to a minute, a guard against a fault only) until `ready`.
bool WaitFor(const std::function<bool()>& ready) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Takes every member in order, as the writer does, and checks each file's
// CRC and size; the first `streamed` ones are left to the writer.
void TakeAll(lha::MemberPrepacker& prepacker, const std::vector<lha::NewMember>& members,
             std::size_t streamed = 0) {
  for (std::size_t i = 0; i < members.size(); ++i) {
    SCOPED_TRACE(members[i].storedName);
    const lha::PrepackedMember* pre = prepacker.Take(i);
    if (i < streamed) {
      EXPECT_EQ(pre, nullptr);
      continue;
    }
    ASSERT_NE(pre, nullptr);
    const std::string bytes = ReadFile(members[i].sourcePath);
    EXPECT_EQ(pre->rc, 0);
    EXPECT_EQ(static_cast<std::size_t>(pre->st.st_size), bytes.size());
    EXPECT_EQ(pre->crc, lha::Crc16(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    if (pre->stored) {
      EXPECT_TRUE(std::string(pre->data.begin(), pre->data.end()) == bytes);
    }
  }
  EXPECT_EQ(prepacker.Held().members, 0u);
}

std::vector<std::size_t> InOrder(std::size_t n) {
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  return order;
}

// While the writer waits for a slow first member, or streams a large one
// itself, the workers pack the small files after it: far more of them
// than there are workers.
TEST(LhaPrepack, WorkersGoOnPastASlowOrStreamedMember) {
  struct Case {
    const char* name;
    std::size_t firstSize;
    std::size_t streamed;  // members the writer packs itself
  };
  const Case cases[] = {
      {"slow, packed ahead", lha::MemberPrepacker::kMaxSize, 0},
      {"streamed by the writer", lha::MemberPrepacker::kMaxSize + 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    std::vector<lha::NewMember> members;
    WriteFile(tmp.Path("first.txt"), TextBytes(c.firstSize, 7));
    members.push_back({"first.txt", tmp.Path("first.txt"), false});
    for (int i = 0; i < 100; ++i) {
      const std::string name = "small" + std::to_string(i) + ".txt";
      WriteFile(tmp.Path(name), TextBytes(3000, static_cast<unsigned>(i)));
      members.push_back({name, tmp.Path(name), false});
    }
    lha::WriteOptions options;
    lha::MemberPrepacker prepacker(members, InOrder(members.size()), options, 2);
    // The writer has taken nothing: everything started is ahead of it.
    if (c.streamed == 0) {
      EXPECT_TRUE(WaitFor([&] { return prepacker.Held().members == members.size(); }))
          << prepacker.Held().members << " started";
    } else {
      // The writer takes the first (left to it) and streams it meanwhile.
      EXPECT_EQ(prepacker.Take(0), nullptr);
      EXPECT_TRUE(WaitFor([&] { return prepacker.Held().members == members.size() - 1; }))
          << prepacker.Held().members << " started";
    }
    TakeAll(prepacker, members, c.streamed);
  }
}

// The workers stop at the bytes held for the writer (incompressible files,
// held as they are) and at the count of members ahead (empty files, no
// bytes), and go on as the writer takes them.
TEST(LhaPrepack, WorkersStopAtTheBoundsOfWhatTheyHold) {
  struct Case {
    const char* name;
    std::size_t files;
    std::size_t fileSize;
  };
  const std::size_t mib = std::size_t{1} << 20;
  const Case cases[] = {
      {"bytes held", lha::MemberPrepacker::kHeldBytes / mib + 6, mib},
      {"members ahead", lha::MemberPrepacker::kAheadMembers + 40, 0},
  };
  const int threads = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    std::vector<lha::NewMember> members;
    for (std::size_t i = 0; i < c.files; ++i) {
      const std::string name = "f" + std::to_string(i);
      WriteFile(tmp.Path(name), RandomBytes(c.fileSize, static_cast<unsigned>(i)));
      members.push_back({name, tmp.Path(name), false});
    }
    lha::WriteOptions options;
    options.parse = lha::ParseMode::kLazy;
    lha::MemberPrepacker prepacker(members, InOrder(members.size()), options, threads);
    if (c.fileSize > 0) {
      EXPECT_TRUE(WaitFor([&] { return prepacker.Held().bytes >= lha::MemberPrepacker::kHeldBytes; }));
    } else {
      EXPECT_TRUE(WaitFor([&] { return prepacker.Held().members >= lha::MemberPrepacker::kAheadMembers; }));
    }
    // Time for a worker that would not stop to go on.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const lha::MemberPrepacker::Ahead held = prepacker.Held();
    EXPECT_LE(held.bytes, lha::MemberPrepacker::kHeldBytes + threads * c.fileSize);
    EXPECT_LE(held.members, c.fileSize > 0 ? lha::MemberPrepacker::kHeldBytes / c.fileSize + threads
                                           : lha::MemberPrepacker::kAheadMembers);
    EXPECT_LT(held.members, members.size());
    TakeAll(prepacker, members);
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
