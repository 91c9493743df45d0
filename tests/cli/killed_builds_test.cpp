// Builds killed (SIGKILL, as kill -9) at many moments: after each archiver
// command and after each archive moved to its name (LOFTMARK_TEST_CRASH
// makes the program kill itself there), and in the middle of a long
// library call (the test kills it once the library's partial file has
// grown). At every such moment each archive name holds the earlier archive
// or the complete new one; the next build on the folder removes or puts
// back what the killed one left and says so.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include "cli/concurrent_support.h"

namespace {

using clitest::BuildsTest;

const QStringList kKinds = {QStringLiteral(".lzh"), QStringLiteral(".exe"), QStringLiteral(".qsc")};

class KilledBuilds : public BuildsTest {
 protected:
  void SetUp() override {
    BuildsTest::SetUp();
    out = QStringLiteral("dist/k");
    const clitest::Result first = Build(sample, out, QStringLiteral("sample"), next1);
    ASSERT_EQ(first.code, 0) << first.err.toStdString();
    for (const QString& ext : kKinds) earlier[ext] = tree.ReadFile(out + QStringLiteral("/sample") + ext);
  }

  // The names after a kill: each holds the earlier archive or a complete new
  // one (of next2); returns how many are new.
  int CheckNames() {
    int fresh = 0;
    for (const QString& ext : kKinds) {
      const QByteArray now = tree.ReadFile(out + QStringLiteral("/sample") + ext);
      if (now == earlier[ext]) continue;
      ++fresh;
      EXPECT_EQ(Mismatch(out, QStringLiteral("sample"), sample, next2, {ext}), QString()) << ext.toStdString();
    }
    return fresh;
  }

  // The next build cleans up and makes complete archives; its notes name
  // what it found.
  void NextBuildCleansUp(const char* expectNote) {
    const clitest::Result r = Build(sample, out, QStringLiteral("sample"), next1);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(expectNote))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("中断された処理の作業フォルダ『") + bin + QStringLiteral("/builds/build-")))
        << r.err.toStdString();
    CheckArchives(out, QStringLiteral("sample"), sample, next1);
    EXPECT_EQ(DeadWorkFolders(), QStringList());
    for (const QString& entry : lmtest::EntriesOf(tree.Path(sample.dat)))
      EXPECT_FALSE(entry.startsWith(QStringLiteral(".index"))) << entry.toStdString();
    for (const QString& ext : kKinds) earlier[ext] = tree.ReadFile(out + QStringLiteral("/sample") + ext);
  }

  QStringList Hidden() const {
    QStringList hidden;
    for (const QString& entry : lmtest::EntriesOf(tree.Path(out)))
      if (entry.startsWith(QLatin1Char('.'))) hidden << entry;
    return hidden;
  }

  QString out;
  std::map<QString, QByteArray> earlier;
};

TEST_F(KilledBuilds, AfterEachArchiverCommandAndEachMoveTheNamesHoldWholeArchives) {
  // Type all of a script without attachments: the script, install.txt, the
  // deletion, "$", the executable, "$" deleted, the unpacking, the cabinet.
  const char* const kPartial = "作成途中のアーカイブ";
  const char* const kPlaced = "を作成済みの内容で置きました。";
  const char* const kWork = "作業フォルダ";
  const struct {
    const char* point;
    int fresh;         // archives already moved to their names
    const char* note;  // what the next run says besides the working folder
  } points[] = {{"step1", 0, kPartial}, {"step2", 0, kPartial},  {"step3", 0, kPartial},  {"step4", 0, kPartial},
                {"step5", 0, kPartial}, {"step6", 0, kPartial},  {"step7", 0, kPartial},  {"step8", 0, kPartial},
                {"commit1", 1, kPlaced}, {"commit2", 2, kPlaced}, {"commit3", 3, kWork}};
  for (const auto& p : points) {
    SCOPED_TRACE(p.point);
    QProcessEnvironment crash;
    crash.insert(QStringLiteral("LOFTMARK_TEST_CRASH"), QString::fromLatin1(p.point));
    const clitest::Result killed = Build(sample, out, QStringLiteral("sample"), next2, crash);
    ASSERT_EQ(killed.code, -1) << "not killed: " << killed.err.toStdString();
    EXPECT_EQ(CheckNames(), p.fresh);
    EXPECT_FALSE(Hidden().isEmpty()) << "the killed build left no staging folder";
    EXPECT_FALSE(DeadWorkFolders().isEmpty()) << "the killed build left no working folder";
    // The staging folder of a run killed among the moves holds the rest,
    // which the next run moves to their names; any other is removed.
    NextBuildCleansUp(p.note);
  }
}

TEST_F(KilledBuilds, InTheMiddleOfALongLibraryCallTheNamesHoldTheEarlierArchives) {
  // The partial file each library writes beside its archive: the LZH
  // archive of the script's tree, and the cabinet.
  for (const char* partial : {".lha-", ".cab32-"}) {
    SCOPED_TRACE(partial);
    auto build = StartBuild(sample, out, QStringLiteral("sample"), next2);
    bool killed = false;
    QDeadlineTimer deadline(120000);
    while (!killed && !deadline.hasExpired() && build->state() == QProcess::Running) {
      for (const QString& staging : Hidden()) {
        const QDir dir(tree.Path(out + QLatin1Char('/') + staging));
        for (const QFileInfo& f : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
          if (f.fileName().startsWith(QLatin1String(partial)) && f.size() > 1024 * 1024) {
            build->kill();  // SIGKILL
            killed = true;
          }
        }
      }
      QThread::msleep(5);
    }
    ASSERT_TRUE(killed) << "the library's partial file was never seen";
    build->waitForFinished(30000);
    EXPECT_EQ(CheckNames(), 0);
    NextBuildCleansUp("作成途中のアーカイブ");
  }
}

TEST_F(KilledBuilds, LeftoversOfEarlierVersionsArePutBackOrRemovedAndStrangersStay) {
  const QString dir = tree.Path(out);
  // Moved aside while the earlier program built: the LZH archive's name is
  // free (it comes back), the executable's is taken (the copy goes).
  ASSERT_TRUE(QFile::rename(dir + "/sample.lzh", dir + "/.sample.lzh.earlier"));
  tree.WriteFile(out + "/.sample.exe.earlier", "old executable");
  tree.WriteFile(out + "/.lha-0123456789ab", "partial");
  tree.WriteFile(out + "/.cab32-AbC123", "partial");
  tree.WriteFile(sample.dat + "/.index.fet.Xy12Zw", "partial index");
  tree.WriteFile(sample.dat + "/.INDEX.FET.keep.Qq34Rr", "kept index");
  // Names that only look alike, and the same kind of leftover of another
  // archive name, are not this build's.
  const QStringList strangers = {".lha-notours", ".sample.lzh.earlier.bak", ".other.lzh.earlier", ".cab32-toolong1"};
  for (const QString& s : strangers) tree.WriteFile(out + QLatin1Char('/') + s, "a stranger's");
  tree.WriteFile(sample.dat + "/.index.fet.notes", "a stranger's");

  // An index run alone cleans up the script's folder; the build the archive folder.
  const clitest::Result index = Loftmark({"index", "--script", sample.file, "--next", next2}, QByteArray(), env);
  ASSERT_EQ(index.code, 0) << index.err.toStdString();
  EXPECT_EQ(index.err.count(QStringLiteral("中断された処理の一時ファイル")), 2) << index.err.toStdString();
  EXPECT_FALSE(lmtest::Exists(tree.Path(sample.dat + "/.index.fet.Xy12Zw")));
  EXPECT_FALSE(lmtest::Exists(tree.Path(sample.dat + "/.INDEX.FET.keep.Qq34Rr")));
  EXPECT_TRUE(lmtest::Exists(tree.Path(sample.dat + "/.index.fet.notes")));

  const clitest::Result r = Build(sample, out, QStringLiteral("sample"), next1);
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(QStringLiteral("中断された処理の退避されたアーカイブ『") + dir +
                             QStringLiteral("/.sample.lzh.earlier』を『") + dir + QStringLiteral("/sample.lzh』に戻しました。")))
      << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(QStringLiteral("/.sample.exe.earlier』を削除しました"))) << r.err.toStdString();
  EXPECT_EQ(r.err.count(QStringLiteral("中断された処理の作成途中のアーカイブ")), 2) << r.err.toStdString();
  EXPECT_EQ(Mismatch(out, QStringLiteral("sample"), sample, next1), QString());
  QStringList left = Hidden();
  left.sort();
  QStringList want = strangers;
  want.sort();
  EXPECT_EQ(left, want);
}

}  // namespace
