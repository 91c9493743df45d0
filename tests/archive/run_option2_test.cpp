// The execute command's second operation: the index run, then the build of
// the chosen archives, with the main window marked busy for the whole run.
#include <QDate>
#include <gtest/gtest.h>

#include "archive/build_driver.h"
#include "archive/build_test_support.h"
#include "index/index_writer.h"

namespace {

using lmtest::ArchiveBuildTest;
using lmtest::Exists;
using lmtest::kMade;

class DateBoxes final : public lm::NextUpdateBoxes {
 public:
  explicit DateBoxes(QString year) : year_(std::move(year)) {}
  QString BoxText(lm::DateBox box) const override {
    switch (box) {
      case lm::DateBox::Year: return year_;
      case lm::DateBox::Month: return QStringLiteral("4");
      case lm::DateBox::Day: return QStringLiteral("1");
      case lm::DateBox::Hour: return QStringLiteral("9");
      case lm::DateBox::Minute: return QStringLiteral("30");
    }
    return {};
  }
  void FocusBox(lm::DateBox) override {}

 private:
  QString year_;
};

class IndexView final : public lm::IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override { lines.clear(); }
  void AddListLine(const QString& line) override { lines << line; }
  QStringList lines;
};

class ArchiveView final : public lm::ArchiveRunView {
 public:
  QString ArchiveTypeText() const override { return type; }
  void SetBuildRunning(bool running) override { busy.push_back(running); }
  QString type = lm::kArchiveTypeLzh;
  std::vector<bool> busy;
};

class RunOption2Test : public ArchiveBuildTest {
 protected:
  void SetUp() override {
    ArchiveBuildTest::SetUp();
    sample_ = lmtest::MakeSampleScript(tree_, false, QStringLiteral("Sample.ugu"));
    lmtest::UseSampleProfile(sample_, QString());
  }
  IndexView indexView_;
  ArchiveView archiveView_;
};

TEST_F(RunOption2Test, WritesTheIndexThenBuildsWithTheIndexInTheArchive) {
  DateBoxes boxes(QString::number(QDate::currentDate().year() + 1));
  bool busyDuringBuild = false;
  int16_t nested = 0;
  boxes_.react = [&](const QString& text, int) {
    if (text == kMade) {
      busyDuringBuild = lm::ArchiveBuildRunning();
      // A second command while the build runs does nothing.
      DateBoxes again(QString::number(QDate::currentDate().year() + 1));
      nested = lm::RunOption2(again, indexView_, archiveView_);
    }
    return 0;
  };
  EXPECT_EQ(lm::RunOption2(boxes, indexView_, archiveView_), 0);
  EXPECT_EQ(boxes_.Texts(), QStringList({lmtest::Missing(sample_.missing), kMade}));
  EXPECT_TRUE(busyDuringBuild);
  EXPECT_EQ(nested, 1);
  EXPECT_FALSE(lm::ArchiveBuildRunning());
  EXPECT_EQ(archiveView_.busy, std::vector<bool>({true, false}));
  EXPECT_FALSE(indexView_.lines.isEmpty());

  const lmtest::Tree lzh =
      lmtest::ExtractWithBsdtar(Arc(QStringLiteral("sample.lzh")), tree_.Path(QStringLiteral("out")));
  ASSERT_EQ(lzh.count(QStringLiteral("SAMPLE/dat/index.fet")), 1u);
  EXPECT_EQ(lzh.at(QStringLiteral("SAMPLE/dat/index.fet")),
            tree_.ReadFile(QStringLiteral("s/Sample/DAT/index.fet")));
}

TEST_F(RunOption2Test, AnIndexThatCannotBeWrittenBuildsNothing) {
  DateBoxes boxes(QStringLiteral("1999"));  // a date in the past
  EXPECT_EQ(lm::RunOption2(boxes, indexView_, archiveView_), -1);
  EXPECT_EQ(boxes_.shown.size(), 1u);  // the index writer's own message only
  EXPECT_TRUE(recorder_.commands.isEmpty());
  EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/install.txt")));
  EXPECT_EQ(archiveView_.busy, std::vector<bool>({true, false}));
  EXPECT_FALSE(lm::ArchiveBuildRunning());
}

}  // namespace
