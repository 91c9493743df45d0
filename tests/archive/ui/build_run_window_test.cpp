// The main window's side of a build: a window with the archive type list and
// an execute button that runs RunOption2 through BuildRunWindow, driven with
// Qt Test. While the build runs the wait cursor is shown and the button
// takes no second command.
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "archive/build_test_support.h"
#include "archive/ui/build_run_window.h"
#include "index/index_writer.h"

namespace {

using lmtest::kMade;

class FutureDate final : public lm::NextUpdateBoxes {
 public:
  QString BoxText(lm::DateBox box) const override {
    return box == lm::DateBox::Year ? QString::number(QDate::currentDate().year() + 1) : QStringLiteral("1");
  }
  void FocusBox(lm::DateBox) override {}
};

// The index writer enables the execute button through the view, as the main
// window does.
class IndexList final : public lm::IndexRunView {
 public:
  explicit IndexList(lm::BuildRunWindow& view) : view_(view) {}
  void SetExecuteEnabled(bool enabled) override { view_.SetExecuteEnabled(enabled); }
  void ClearList() override {}
  void AddListLine(const QString&) override {}

 private:
  lm::BuildRunWindow& view_;
};

class BuildRunWindowTest : public lmtest::ArchiveBuildTest {
 protected:
  void SetUp() override {
    ArchiveBuildTest::SetUp();
    sample_ = lmtest::MakeSampleScript(tree_, false, QStringLiteral("Sample.ugu"));
    lmtest::UseSampleProfile(sample_, QString());
    auto* layout = new QVBoxLayout(&window_);
    combo1_ = new QComboBox(&window_);
    combo1_->addItems(lm::ArchiveTypeTexts());
    command1_ = new QPushButton(QStringLiteral("処理の実行"), &window_);
    layout->addWidget(combo1_);
    layout->addWidget(command1_);
    view_ = lm::BuildRunWindow(&window_, combo1_, command1_);
    QObject::connect(command1_, &QPushButton::clicked, [this] {
      ++clicks_;
      lm::RunOption2(date_, indexList_, view_);
    });
    window_.show();
  }

  QWidget window_;
  QComboBox* combo1_ = nullptr;
  QPushButton* command1_ = nullptr;
  lm::BuildRunWindow view_{&window_, nullptr, nullptr};
  FutureDate date_;
  IndexList indexList_{view_};
  int clicks_ = 0;
};

TEST_F(BuildRunWindowTest, TheWaitCursorShowsAndTheButtonIsHeldWhileTheBuildRuns) {
  combo1_->setCurrentIndex(2);  // "LHA自己解凍形式(EXE)"
  bool waitCursor = false, buttonEnabled = true;
  boxes_.react = [&](const QString& text, int) {
    if (text == kMade) {
      waitCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
      buttonEnabled = command1_->isEnabled();
      QTest::mouseClick(command1_, Qt::LeftButton);  // a second command goes nowhere
    }
    return 0;
  };
  QTest::mouseClick(command1_, Qt::LeftButton);
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(boxes_.Texts(), QStringList({lmtest::Missing(sample_.missing), kMade}));
  EXPECT_TRUE(waitCursor);
  EXPECT_FALSE(buttonEnabled);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(command1_->isEnabled());
  EXPECT_TRUE(lmtest::Exists(Arc(QStringLiteral("sample.exe"))));
  EXPECT_EQ(recorder_.commands.size(), 10);
}

TEST_F(BuildRunWindowTest, NoSelectedTypeBuildsTheLzhArchiveOnly) {
  combo1_->setCurrentIndex(-1);
  EXPECT_EQ(view_.ArchiveTypeText(), QString());
  QTest::mouseClick(command1_, Qt::LeftButton);
  EXPECT_EQ(boxes_.Texts().last(), kMade);
  EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList{QStringLiteral("sample.lzh")});
}

}  // namespace
