// The archive build started from the main window FIND as a user starts it:
// Option2, an archive type in Combo1, the next-update date typed into the
// boxes, Enter.
#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "archive/build_driver.h"
#include "archive/build_test_support.h"
#include "shell/ui/main_window.h"
#include "shell/ui/startup.h"

namespace {

using lmtest::kMade;

class MainWindowBuildTest : public lmtest::ArchiveBuildTest {
 protected:
  void SetUp() override {
    ArchiveBuildTest::SetUp();
    sample_ = lmtest::MakeSampleScript(tree_, false, QStringLiteral("Sample.ugu"));
    lmtest::UseSampleProfile(sample_, QString());
    window_.Combo1()->addItems(lm::kArchiveTypes);
    window_.Combo2()->addItem(lm::profileTable[0].profile);
    window_.Combo2()->setCurrentIndex(0);
    window_.RefreshMainWindow();
    window_.show();
  }
  template <typename W>
  W* Child(const char* name) {
    W* w = window_.findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  lm::FIND window_;
};

// The texts start-up puts into Combo1 are the ones the driver recognises.
TEST(MainWindowArchiveTypes, Combo1HoldsTheTextsTheDriverKnows) {
  EXPECT_EQ(lm::kArchiveTypes, lm::ArchiveTypeTexts());
}

// Runs once the execute command's Option2 builds the archives through
// RunOption2 (the main window's BuildSelectedArchives is still empty).
TEST_F(MainWindowBuildTest, Option2WithATypeAndEnterBuildsTheArchives) {
  QTest::mouseClick(Child<QRadioButton>("Option2"), Qt::LeftButton);
  QComboBox* combo1 = Child<QComboBox>("Combo1");
  ASSERT_TRUE(combo1->isEnabled());
  combo1->setCurrentIndex(combo1->findText(lm::kArchiveTypeAll));
  const std::pair<const char*, QString> dates[] = {
      {"Text1", QString::number(QDate::currentDate().year() + 1)},
      {"Text2", QStringLiteral("4")},
      {"Text3", QStringLiteral("1")},
      {"Text5", QStringLiteral("9")},
      {"Text6", QStringLiteral("30")},
  };
  QLineEdit* last = nullptr;
  for (const auto& [name, text] : dates) {
    last = Child<QLineEdit>(name);
    last->clear();
    QTest::keyClicks(last, text);
  }
  QTest::keyClick(last, Qt::Key_Return);

  EXPECT_TRUE(lmtest::Exists(tree_.Path(QStringLiteral("s/Sample/DAT/index.fet"))));

  EXPECT_EQ(boxes_.Texts(), QStringList({lmtest::Missing(sample_.missing), kMade}));
  for (const char* file : {"sample.lzh", "sample.exe", "sample.qsc"}) {
    EXPECT_TRUE(lmtest::Exists(Arc(QLatin1String(file)))) << file;
  }
  // The self-extracting file is the Windows installer program.
  QFile exe(Arc(QStringLiteral("sample.exe")));
  ASSERT_TRUE(exe.open(QIODevice::ReadOnly));
  EXPECT_TRUE(lmtest::IsWindowsSelfExtractor(exe.readAll()));
  EXPECT_FALSE(lmtest::Exists(prog_ + QStringLiteral("/install.txt")));
  EXPECT_FALSE(lm::ArchiveBuildRunning());
}

}  // namespace
