// The progress procedure of UnLHA32.DLL and Cab32.DLL: what it is told
// while a command packs, that its cancel stops the command without leaving
// a partial archive, and that a command without one is unchanged.
#include <dlfcn.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "archive/common/archiver_api.h"
#include "archive/common/result_codes.h"
#include "archiver_test_support.h"
#include "support/temp_tree.h"
#include "util/cp932/cp932.h"

namespace {

using lmtest::BinDir;
using lmtest::RunTool;

struct Library {
  const char* file;
  const char* prefix;
  // The packing command for (archive, folder): the one the builds use.
  std::string (*command)(const std::string& archive, const std::string& dir);
  const char* extension;
  const char* reader;  // an independent reader and its listing switch
  const char* readerList;
};

std::string LhaCommand(const std::string& archive, const std::string& dir) {
  return "a " + archive + " " + dir + "\\ *.* -xr2";
}
std::string CabCommand(const std::string& archive, const std::string& dir) {
  return "-a -r " + archive + " " + dir + "\\ *.*";
}

const Library kLibraries[] = {
    {"UnLHA32.DLL", "Unlha", LhaCommand, ".lzh", "lhasa", "-l"},
    {"Cab32.DLL", "Cab", CabCommand, ".cab", "cabextract", "-l"},
};

// One report as the procedure saw it.
struct Seen {
  std::string member;
  uint64_t memberDone, memberTotal, commandDone, commandTotal;
};

struct Recorder {
  std::vector<Seen> seen;
  uint64_t cancelAt = UINT64_MAX;  // cancel once the command has read this much
  int callsAfterCancel = 0;
  bool cancelled = false;
};

int Record(const ArchiverProgress* p, void* user) {
  auto* r = static_cast<Recorder*>(user);
  if (r->cancelled) ++r->callsAfterCancel;
  r->seen.push_back({p->memberName, p->memberDone, p->memberTotal, p->commandDone, p->commandTotal});
  if (p->commandDone >= r->cancelAt) r->cancelled = true;
  return r->cancelled ? 1 : 0;
}

class ArchiverProgressTest : public ::testing::TestWithParam<Library> {
 protected:
  void SetUp() override {
    const Library& lib = GetParam();
    ASSERT_TRUE(lmtest::HaveLibrary(lib.file)) << lib.file << " is not built in " << LM_BIN_DIR;
    ASSERT_TRUE(lmtest::HaveTool(QString::fromLatin1(lib.reader))) << lib.reader << " is not installed";
    handle_ = ::dlopen((BinDir() + QLatin1Char('/') + QString::fromLatin1(lib.file)).toUtf8().constData(),
                       RTLD_NOW | RTLD_NODELETE);
    ASSERT_NE(handle_, nullptr) << ::dlerror();
    run_ = reinterpret_cast<decltype(run_)>(::dlsym(handle_, lib.prefix));
    setProc_ = reinterpret_cast<decltype(setProc_)>(::dlsym(handle_, (std::string(lib.prefix) + "SetProgressProc").c_str()));
    ASSERT_TRUE(run_ && setProc_);
    FillTree();
  }
  void TearDown() override {
    if (setProc_) setProc_(nullptr, nullptr);
    if (handle_) ::dlclose(handle_);
  }

  // Files of several sizes: a large one packed in a stream, small ones,
  // an empty one, names that share a prefix, Japanese names with a 0x5C
  // trail byte.
  void FillTree() {
    QByteArray large;
    large.reserve(3 << 20);
    uint32_t x = 12345;
    for (int i = 0; i < (3 << 20); ++i) {
      x = x * 1103515245u + 12345u;
      large.append(char((i % 97 < 60) ? 'a' + (i % 13) : char(x >> 24)));
    }
    sizes_[QStringLiteral("SRC/big.bin")] = uint64_t(large.size());
    tree_.WriteFile(QStringLiteral("SRC/big.bin"), large);
    const std::pair<QString, int> small[] = {
        {QStringLiteral("SRC/a.txt"), 100},        {QStringLiteral("SRC/ab.txt"), 70000},
        {QStringLiteral("SRC/表/ソ.txt"), 5000},  {QStringLiteral("SRC/empty.txt"), 0},
        {QStringLiteral("SRC/d/x"), 1},
    };
    for (const auto& [rel, size] : small) {
      tree_.WriteFile(rel, QByteArray(size, 'q'));
      sizes_[rel] = uint64_t(size);
    }
  }

  uint64_t TotalSize() const {
    uint64_t total = 0;
    for (const auto& [rel, size] : sizes_) total += size;
    return total;
  }

  int Pack(const QString& archive) {
    std::string line;
    EXPECT_TRUE(cp932::FromUtf8(GetParam().command(archive.toStdString(), tree_.Path(QStringLiteral("SRC")).toStdString()), line));
    std::string out(20800, '\0');
    return run_(nullptr, line.c_str(), out.data(), uint32_t(out.size()));
  }

  QString ArchivePath() const { return tree_.Path(QStringLiteral("out/pack") + QString::fromLatin1(GetParam().extension)); }

  // Entries of the output folder other than `keep`.
  QStringList Leftovers(const QString& keep = QString()) const {
    QStringList names = QDir(tree_.Path(QStringLiteral("out"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(keep);
    return names;
  }

  lmtest::TempTree tree_;
  std::map<QString, uint64_t> sizes_;
  void* handle_ = nullptr;
  int (*run_)(ARC_HWND, const char*, char*, uint32_t) = nullptr;
  int (*setProc_)(ARC_PROGRESS_PROC, void*) = nullptr;
};

TEST_P(ArchiverProgressTest, ReportsEveryFileAndTheBytesReadOfTheWholeCommand) {
  tree_.MakeDir(QStringLiteral("out"));
  Recorder rec;
  ASSERT_EQ(setProc_(Record, &rec), 1);
  ASSERT_EQ(Pack(ArchivePath()), 0);
  ASSERT_FALSE(rec.seen.empty());
  const uint64_t total = TotalSize();
  uint64_t lastDone = 0;
  std::set<std::string> members;
  for (const Seen& s : rec.seen) {
    EXPECT_EQ(s.commandTotal, total);
    EXPECT_GE(s.commandDone, lastDone) << "the command's count never goes back";
    EXPECT_LE(s.commandDone, total);
    EXPECT_LE(s.memberDone, s.memberTotal);
    lastDone = s.commandDone;
    members.insert(s.member);
  }
  // Every file is named while it is packed, in code page 932.
  for (const auto& [rel, size] : sizes_) {
    const std::string leaf = QFileInfo(rel).fileName().toStdString();
    std::string sjis;
    ASSERT_TRUE(cp932::FromUtf8(leaf, sjis));
    bool found = false;
    for (const std::string& m : members) found = found || (m.size() >= sjis.size() && m.compare(m.size() - sjis.size(), sjis.size(), sjis) == 0);
    EXPECT_TRUE(found) << rel.toStdString();
  }
  // Every byte is counted by the end.
  EXPECT_EQ(lastDone, total);
  // The LZH writer reports within a large file (it reads it in segments of
  // 1 MiB), so that a bar can move by bytes.
  if (std::string(GetParam().prefix) == "Unlha") {
    int withinBig = 0;
    for (const Seen& s : rec.seen) withinBig += s.memberTotal == sizes_[QStringLiteral("SRC/big.bin")] && s.memberDone > 0 && s.memberDone < s.memberTotal;
    EXPECT_GE(withinBig, 2);
  } else {
    // The cabinet writer hears from the procedure while it packs a large
    // file too (so that a cancel does not wait for the file's end).
    std::string big;
    ASSERT_TRUE(cp932::FromUtf8("big.bin", big));
    int aboutBig = 0;
    for (const Seen& s : rec.seen) aboutBig += s.member.size() >= big.size() && s.member.compare(s.member.size() - big.size(), big.size(), big) == 0;
    EXPECT_GE(aboutBig, 4);
  }
  const auto r = RunTool(QString::fromLatin1(GetParam().reader), {QString::fromLatin1(GetParam().readerList), ArchivePath()});
  EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
}

TEST_P(ArchiverProgressTest, CancelStopsTheCommandAndKeepsTheEarlierArchive) {
  tree_.MakeDir(QStringLiteral("out"));
  // An archive made earlier without a procedure.
  ASSERT_EQ(Pack(ArchivePath()), 0);
  QFile f(ArchivePath());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray before = f.readAll();
  f.close();

  struct Case {
    const char* what;
    uint64_t cancelAt;
  };
  const Case cases[] = {{"at the first report", 0}, {"half way", 1 << 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (bool replacing : {true, false}) {
      SCOPED_TRACE(replacing ? "replacing an archive" : "a new archive");
      const QString target = replacing ? ArchivePath() : tree_.Path(QStringLiteral("out/new") + QString::fromLatin1(GetParam().extension));
      Recorder rec;
      rec.cancelAt = c.cancelAt;
      setProc_(Record, &rec);
      EXPECT_EQ(Pack(target), ARC_ERROR_USER_CANCEL);
      setProc_(nullptr, nullptr);
      EXPECT_TRUE(rec.cancelled);
      EXPECT_EQ(rec.callsAfterCancel, 0) << "nothing is reported after the cancel";
      // Only the earlier archive remains, unchanged and readable.
      EXPECT_EQ(Leftovers(QFileInfo(ArchivePath()).fileName()), QStringList());
      QFile g(ArchivePath());
      ASSERT_TRUE(g.open(QIODevice::ReadOnly));
      EXPECT_EQ(g.readAll(), before);
      const auto r = RunTool(QString::fromLatin1(GetParam().reader), {QString::fromLatin1(GetParam().readerList), ArchivePath()});
      EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    }
  }
}

TEST_P(ArchiverProgressTest, TheProcedureBelongsToTheThreadThatSetIt) {
  tree_.MakeDir(QStringLiteral("out"));
  Recorder rec;
  rec.cancelAt = 0;  // would cancel every command it hears of
  std::thread other([&] { setProc_(Record, &rec); });
  other.join();
  EXPECT_EQ(Pack(ArchivePath()), 0);
  EXPECT_TRUE(rec.seen.empty());
}

INSTANTIATE_TEST_SUITE_P(Libraries, ArchiverProgressTest, ::testing::ValuesIn(kLibraries),
                         [](const auto& p) { return std::string(p.param.prefix); });

// UnLHA32.DLL's command and progress entry points, loaded from the build.
struct UnlhaEntries {
  void* handle = nullptr;
  int (*run)(ARC_HWND, const char*, char*, uint32_t) = nullptr;
  int (*setProc)(ARC_PROGRESS_PROC, void*) = nullptr;
  bool Load() {
    if (!lmtest::HaveLibrary("UnLHA32.DLL")) return false;
    handle = ::dlopen((BinDir() + QStringLiteral("/UnLHA32.DLL")).toUtf8().constData(), RTLD_NOW | RTLD_NODELETE);
    if (!handle) return false;
    run = reinterpret_cast<decltype(run)>(::dlsym(handle, "Unlha"));
    setProc = reinterpret_cast<decltype(setProc)>(::dlsym(handle, "UnlhaSetProgressProc"));
    return run && setProc;
  }
  ~UnlhaEntries() {
    if (handle) ::dlclose(handle);
  }
};

// The library loaded from the build, and a folder for each test's files.
class UnlhaProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lib.Load()) << ::dlerror(); }
  UnlhaEntries lib;
  lmtest::TempTree tree;
};

// The LZH archive is the same byte for byte whether or not a procedure
// listens: counting changes nothing in what is written.
TEST_F(UnlhaProgressTest, AListeningProcedureChangesNoByteOfTheArchive) {
  QByteArray data;
  for (int i = 0; i < 400000; ++i) data.append(char('a' + (i * i) % 23));
  tree.WriteFile(QStringLiteral("src/one.bin"), data);
  tree.WriteFile(QStringLiteral("src/two.txt"), QByteArray(9000, 't'));
  QByteArray archives[2];
  for (int listen = 0; listen < 2; ++listen) {
    Recorder rec;
    lib.setProc(listen ? Record : nullptr, &rec);
    const std::string arc = tree.Path(QStringLiteral("a%1.lzh").arg(listen)).toStdString();
    std::string out(4096, '\0');
    const std::string command = LhaCommand(arc, tree.Path(QStringLiteral("src")).toStdString());
    ASSERT_EQ(lib.run(nullptr, command.c_str(), out.data(), 4096), 0);
    lib.setProc(nullptr, nullptr);
    EXPECT_EQ(rec.seen.empty(), listen == 0);
    QFile f(QString::fromStdString(arc));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    archives[listen] = f.readAll();
  }
  EXPECT_EQ(archives[0], archives[1]);
}

// The self-extractor's "s" (stub and archive copied into the executable)
// and the unpacking "e" report their bytes too, and stop on a cancel
// without leaving a partial file.
TEST_F(UnlhaProgressTest, SelfExtractorAndUnpackingReportBytesAndStopOnCancel) {
  ASSERT_TRUE(lmtest::HaveLibrary("lfsfxw.exe")) << "the Windows stub is not built in " << LM_BIN_DIR;
  QByteArray big;
  uint32_t x = 99;
  for (int i = 0; i < (2 << 20); ++i) {
    x = x * 1103515245u + 12345u;
    big.append(char(x >> 24));
  }
  tree.WriteFile(QStringLiteral("src/big.bin"), big);
  tree.WriteFile(QStringLiteral("src/表/ソ.txt"), QByteArray(5000, 's'));
  tree.WriteFile(QStringLiteral("src/empty.txt"));
  const uint64_t files = uint64_t(big.size()) + 5000;
  const QString arc = tree.Path(QStringLiteral("a.lzh"));
  auto call = [&](const std::string& command) {
    std::string line;
    EXPECT_TRUE(cp932::FromUtf8(command, line));
    std::string out(4096, '\0');
    return lib.run(nullptr, line.c_str(), out.data(), uint32_t(out.size()));
  };
  ASSERT_EQ(call(LhaCommand(arc.toStdString(), tree.Path(QStringLiteral("src")).toStdString())), 0);
  const uint64_t sfxTotal = uint64_t(QFileInfo(arc).size() + QFileInfo(BinDir() + QStringLiteral("/lfsfxw.exe")).size());

  struct Case {
    const char* what;
    std::string command;
    QString out;       // the folder the command writes into
    uint64_t total;    // the bytes it reports in all
    QString written;   // a file it writes
  };
  const QString exeDir = tree.MakeDir(QStringLiteral("exe"));
  const QString unpackDir = tree.MakeDir(QStringLiteral("unpacked"));
  const Case cases[] = {
      {"self-extractor", "s  " + tree.Path(QStringLiteral("a")).toStdString() + " " + exeDir.toStdString() + "\\ -gw4gx2 -x",
       exeDir, sfxTotal, exeDir + QStringLiteral("/a.exe")},
      {"unpacking", "e " + arc.toStdString() + " " + unpackDir.toStdString() + "\\ *.*  -xr2 -jyc -jyo", unpackDir, files,
       unpackDir + QStringLiteral("/big.bin")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      Recorder rec;
      lib.setProc(Record, &rec);
      EXPECT_EQ(call(c.command), 0);
      lib.setProc(nullptr, nullptr);
      ASSERT_FALSE(rec.seen.empty());
      uint64_t last = 0;
      int within = 0;
      for (const Seen& seen : rec.seen) {
        EXPECT_EQ(seen.commandTotal, c.total);
        EXPECT_GE(seen.commandDone, last);
        EXPECT_FALSE(seen.member.empty());
        last = seen.commandDone;
        within += seen.commandDone > 0 && seen.commandDone < c.total;
      }
      EXPECT_EQ(last, c.total);
      EXPECT_GE(within, 4) << "reports within the command, not only at its ends";
      EXPECT_TRUE(QFileInfo::exists(c.written));
    }
    QDir(c.out).removeRecursively();
    QDir().mkpath(c.out);
    {
      Recorder rec;
      rec.cancelAt = 1 << 20;
      lib.setProc(Record, &rec);
      EXPECT_EQ(call(c.command), ARC_ERROR_USER_CANCEL);
      lib.setProc(nullptr, nullptr);
      EXPECT_TRUE(rec.cancelled);
      EXPECT_EQ(rec.callsAfterCancel, 0);
      // Neither the file being written nor a temporary file of it is left.
      EXPECT_FALSE(QFileInfo::exists(c.written));
      const QStringList left =
          QDir(c.out).entryList({QStringLiteral(".lha-*")}, QDir::Files | QDir::Hidden | QDir::System);
      EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
    }
  }
}

}  // namespace
