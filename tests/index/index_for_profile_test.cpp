// The execute command's index run for the current profile: its checks, the
// DAT directory of each layout, the execute button and the profile update.
#include <QFileInfo>
#include <gtest/gtest.h>

#include "index/index_fakes.h"
#include "index/index_writer.h"
#include "profiles/profile_store.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/app_globals.h"

namespace {

const QString kNoScript = QStringLiteral("更新定義情報を作成するべきUGU/PSNファイルが指定されていません。");
const QString kDone = QStringLiteral("更新定義ファイルを出力しました。");

class IndexForProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedProfile_ = lm::profileTable[2];
    savedCurrent_ = lm::currentProfile;
    savedLast_ = lm::lastProfile;
    savedTmp_ = lm::makeTmpIndex;
    lm::makeTmpIndex = 0;
    // Profile 2 in use and current.
    lm::lastProfile = 2;
    lm::currentProfile = 2;
    lm::profileTable[2].Clear();
  }
  void TearDown() override {
    lm::profileTable[2] = savedProfile_;
    lm::currentProfile = savedCurrent_;
    lm::lastProfile = savedLast_;
    lm::makeTmpIndex = savedTmp_;
  }
  QString& Ugu() { return lm::profileTable[2].ugu; }
  // A script whose DAT lies in a directory named after it.
  QString RegularScript(const QString& file = QStringLiteral("SAMPLE.UGU"),
                        const QString& dat = QStringLiteral("SAMPLE/DAT"),
                        const QString& proof = QStringLiteral("mio00.euu")) {
    tree_.WriteFile(dat + QLatin1Char('/') + proof, "proof");
    return tree_.WriteFile(file, "script");
  }

  lmtest::TempTree tree_;
  lmtest::ScriptedMessageBox boxes_;
  lmtest::FakeRunView view_;
  lmtest::FakeDateBoxes future_{QStringLiteral("2090"), QStringLiteral("03"), QStringLiteral("01"),
                                QStringLiteral("09"), QStringLiteral("05")};

 private:
  lm::Profile savedProfile_;
  int16_t savedCurrent_ = 0;
  int16_t savedLast_ = 0;
  int16_t savedTmp_ = 0;
};

TEST_F(IndexForProfileTest, ProfileWithoutScriptFileIsRefusedBeforeAnythingElse) {
  for (const QString& ugu : {QString(), QStringLiteral("  \u3000 ")}) {
    Ugu() = ugu;
    lmtest::FakeDateBoxes wrong{QString(), QString(), QString(), QString(), QString()};
    boxes_.Clear();
    EXPECT_EQ(lm::WriteIndexForProfile(0, wrong, view_), -1);
    EXPECT_EQ(boxes_.Texts(), QStringList{kNoScript});
    EXPECT_EQ(boxes_.Shown()[0].style, 0);
    EXPECT_TRUE(wrong.focused.empty());  // the date boxes are not read
    EXPECT_TRUE(view_.enabledCalls.empty());  // Command1 untouched
  }
}

TEST_F(IndexForProfileTest, RegularScriptWritesIntoItsDatAndStoresTheTrimmedPath) {
  const QString script = RegularScript();
  tree_.WriteFile(QStringLiteral("SAMPLE/DAT/a.txt"));
  Ugu() = QStringLiteral("  ") + script + QStringLiteral(" ");
  EXPECT_EQ(lm::WriteIndexForProfile(0, future_, view_), 0);
  const QByteArray index = tree_.ReadFile(QStringLiteral("SAMPLE/DAT/index.fet"));
  EXPECT_TRUE(index.startsWith("#NextUpdate 2090 3 1 9 5 \r\n#FieldInfo date 12 attr 1 size 5\r\n"))
      << index.toStdString();
  EXPECT_EQ(view_.list.size(), 2);  // a.txt and mio00.euu
  EXPECT_EQ(boxes_.Texts(), QStringList{kDone});
  EXPECT_EQ(Ugu(), script);
  EXPECT_EQ(view_.enabledCalls, (std::vector<bool>{false, true}));
}

TEST_F(IndexForProfileTest, ModeOneShowsNoSuccessMessage) {
  Ugu() = RegularScript();
  EXPECT_EQ(lm::WriteIndexForProfile(1, future_, view_), 0);
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_TRUE(QFileInfo::exists(tree_.Path(QStringLiteral("SAMPLE/DAT/index.fet"))));
}

TEST_F(IndexForProfileTest, NonRegularScriptWritesIntoTheDatBesideIt) {
  tree_.WriteFile(QStringLiteral("DAT/mio00.euu"), "proof");
  Ugu() = tree_.WriteFile(QStringLiteral("SAMPLE.UGU"), "script");
  EXPECT_EQ(lm::WriteIndexForProfile(1, future_, view_), 0);
  EXPECT_TRUE(QFileInfo::exists(tree_.Path(QStringLiteral("DAT/index.fet"))));
  EXPECT_FALSE(QFileInfo::exists(tree_.Path(QStringLiteral("SAMPLE"))));
}

TEST_F(IndexForProfileTest, ScriptDirectoryInAnotherCaseIsFound) {
  Ugu() = RegularScript(QStringLiteral("sample.psn"), QStringLiteral("Sample/Dat"),
                        QStringLiteral("aya00.out"));
  EXPECT_EQ(lm::WriteIndexForProfile(1, future_, view_), 0) << boxes_.Texts().join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(QFileInfo::exists(tree_.Path(QStringLiteral("Sample/Dat/index.fet"))));
}

TEST_F(IndexForProfileTest, WrongDateBoxStopsTheRunWithItsMessageAndFocus) {
  Ugu() = RegularScript();
  lmtest::FakeDateBoxes wrong(QStringLiteral("2090"), QStringLiteral("2"), QStringLiteral("30"),
                              QStringLiteral("0"), QStringLiteral("0"));
  EXPECT_EQ(lm::WriteIndexForProfile(0, wrong, view_), -1);
  EXPECT_EQ(boxes_.Texts(), QStringList{QStringLiteral("日に誤りがあります。")});
  EXPECT_EQ(wrong.focused, std::vector<lm::DateBox>{lm::DateBox::Day});
  EXPECT_FALSE(QFileInfo::exists(tree_.Path(QStringLiteral("SAMPLE/DAT/index.fet"))));
  EXPECT_EQ(view_.enabledCalls, (std::vector<bool>{false, true}));
}

TEST_F(IndexForProfileTest, InvalidScriptShowsTheCheckMessage) {
  const QString script = tree_.WriteFile(QStringLiteral("SAMPLE.UGU"), "script");  // no DAT at all
  Ugu() = QStringLiteral(" ") + script;
  EXPECT_EQ(lm::WriteIndexForProfile(0, future_, view_), -1);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_TRUE(boxes_.Shown()[0].text.startsWith(
      QStringLiteral("このスクリプト情報ファイル（UGU/PSNファイル）は有効ではありません。")))
      << boxes_.Shown()[0].text.toStdString();
  EXPECT_EQ(boxes_.Shown()[0].style, 0);
  EXPECT_EQ(Ugu(), QStringLiteral(" ") + script);  // unchanged
  EXPECT_EQ(view_.enabledCalls, (std::vector<bool>{false, true}));
}

TEST_F(IndexForProfileTest, FailedWriteLeavesTheProfileAsItWas) {
  const QString script = RegularScript();
  tree_.WriteFile(QStringLiteral("SAMPLE/DAT/\u00A0\u2603.txt"));  // a snowman: not in Shift-JIS
  Ugu() = script + QStringLiteral("  ");
  EXPECT_EQ(lm::WriteIndexForProfile(0, future_, view_), -1);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_TRUE(boxes_.Shown()[0].text.contains(QStringLiteral("Shift-JIS")));
  EXPECT_EQ(Ugu(), script + QStringLiteral("  "));
  EXPECT_FALSE(QFileInfo::exists(tree_.Path(QStringLiteral("SAMPLE/DAT/index.fet"))));
  EXPECT_EQ(view_.enabledCalls, (std::vector<bool>{false, true}));
}

}  // namespace
