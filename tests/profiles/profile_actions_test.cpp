// The main window's profile actions, driven through a recording view.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include "profiles/profile_actions.h"
#include "profiles/profile_store.h"
#include "support/empty_profiles.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace {

using lm::currentProfile;
using lm::lastProfile;
using lm::profileTable;

// Records what the actions do to the window; Combo2 is a list of names.
class RecordingView : public lm::MainWindowView {
 public:
  QStringList entries;
  int selected = -1;
  QString scriptText = QStringLiteral("<untouched>");
  QString boxes[lm::kNextUpdateBoxCount] = {"y", "m", "d", "h", "n"};
  int selectionEvents = 0;

  int SelectedProfileEntry() const override { return selected; }
  void SelectProfileEntry(int index) override {
    if (index < 0 || index >= entries.size() || index == selected) return;
    selected = index;
    ++selectionEvents;  // the window's selection handler
    currentProfile = static_cast<int16_t>(index);
    lm::RefreshMainWindow(*this);
  }
  void RemoveProfileEntry(int index) override {
    entries.removeAt(index);
    selected = -1;
  }
  void SetScriptFileText(const QString& text) override { scriptText = text; }
  void SetNextUpdateText(lm::DateBox box, const QString& text) override { boxes[static_cast<int>(box)] = text; }
  QStringList Boxes() const { return QStringList(std::begin(boxes), std::end(boxes)); }
};

class ProfileActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lmtest::ResetProfiles();
    // The delete command saves the profiles: into this test's folder.
    lm::SetExecutableDirForTesting(tree.Path());
    lm::programDir = tree.Path();
  }
  void TearDown() override {
    lmtest::ResetProfiles();
    lm::programDir.clear();
    lm::SetExecutableDirForTesting(QString());
  }

  // A regular UGU script NAME.UGU with NAME/DAT/mio00.euu; returns its path.
  QString MakeScript(const QString& name, const QByteArray& indexFet = QByteArray()) {
    const QString ugu = tree.WriteFile(name + ".UGU", "x");
    tree.WriteFile(name + "/DAT/mio00.euu", "x");
    if (!indexFet.isNull()) tree.WriteFile(name + "/DAT/index.fet", indexFet);
    return ugu;
  }

  void UseProfiles(const QStringList& names) {
    for (int i = 0; i < names.size(); ++i) profileTable[i].profile = names[i];
    lastProfile = static_cast<int16_t>(names.size() - 1);
    view.entries = names;
    view.selected = 0;
  }

  lmtest::TempTree tree;
  RecordingView view;
  lmtest::ScriptedMessageBox boxes;
};

// ---- SplitAtBlanks ----

TEST(SplitAtBlanksTest, SplitsAtEveryBlank) {
  struct Case {
    QString text;
    QStringList parts;
  };
  const Case cases[] = {
      {"2004 3 1 9 0 ", {"2004", "3", "1", "9", "0"}},  // trailing blank adds no part
      {"2004 3 1 9 0", {"2004", "3", "1", "9", "0"}},
      {"a  b", {"a", "", "b"}},                          // two blanks: an empty part
      {" a", {"", "a"}},
      {"a", {"a"}},
      {" ", {""}},
      {"  ", {"", ""}},
      {"ab cd", {"ab", "cd"}},
  };
  for (const auto& c : cases) {
    lm::SplitParts parts;
    int32_t count = -1;
    EXPECT_EQ(lm::SplitAtBlanks(c.text, parts, count), 0) << c.text.toStdString();
    ASSERT_EQ(count, c.parts.size()) << c.text.toStdString();
    for (int i = 0; i < count; ++i) EXPECT_EQ(parts[i], c.parts[i]) << c.text.toStdString();
  }
}

TEST(SplitAtBlanksTest, EmptyTextIsRefused) {
  lm::SplitParts parts;
  int32_t count = 7;
  EXPECT_EQ(lm::SplitAtBlanks(QString(), parts, count), -9);
  EXPECT_EQ(count, 0);
}

TEST(SplitAtBlanksTest, HoldsTwentyOnePartsAndRefusesMore) {
  QStringList many;
  for (int i = 0; i < 21; ++i) many << QString::number(i);
  lm::SplitParts parts;
  int32_t count = 0;
  EXPECT_EQ(lm::SplitAtBlanks(many.join(' '), parts, count), 0);
  EXPECT_EQ(count, 21);
  EXPECT_EQ(parts[20], "20");

  many << "21";
  EXPECT_EQ(lm::SplitAtBlanks(many.join(' '), parts, count), -2);
  EXPECT_EQ(count, 21);
  EXPECT_EQ(parts[20], "20");
}

// ---- ShowNextUpdate ----

TEST_F(ProfileActionsTest, ShowNextUpdateFillsTheBoxesWithPlainNumbers) {
  struct Case {
    QString value;
    QStringList expected;
  };
  const Case cases[] = {
      {"2004 3 1 9 0 ", {"2004", "3", "1", "9", "0"}},
      {" 2004 03 01 09 05", {"2004", "3", "1", "9", "5"}},  // no leading zeros
      {"2004.9 3.2 1 9 5", {"2004", "3", "1", "9", "5"}},   // truncated
      {"2004 3 1", {"2004", "3", "1", "h", "n"}},           // missing parts keep their boxes
      {"2004 3 1 9 0 7 8", {"2004", "3", "1", "9", "0"}},   // extra parts are not shown
  };
  for (const auto& c : cases) {
    RecordingView v;
    lm::ShowNextUpdate(c.value, v);
    EXPECT_EQ(v.Boxes(), c.expected) << c.value.toStdString();
  }
}

TEST_F(ProfileActionsTest, ShowNextUpdateLeavesTheBoxesAloneForDamagedValues) {
  QStringList tooMany;
  for (int i = 0; i < 22; ++i) tooMany << "1";
  const QString values[] = {"2004 x 1 9 0", "2004 3 1 9 abc", "２００４ 3 1 9 0", "2004  3 1 9",
                            "1e3 1 1 1 1", "99999999999 1 1 1 1", tooMany.join(' ')};
  for (const QString& value : values) {
    RecordingView v;
    lm::ShowNextUpdate(value, v);
    EXPECT_EQ(v.Boxes(), QStringList({"y", "m", "d", "h", "n"})) << value.toStdString();
  }
}

TEST_F(ProfileActionsTest, ShowNextUpdateWithoutValueShowsThePresentTime) {
  for (const QString& value : {QString(), QStringLiteral("   ")}) {
    RecordingView v;
    const QDateTime before = QDateTime::currentDateTime();
    lm::ShowNextUpdate(value, v);
    const QDateTime after = QDateTime::currentDateTime();
    const QDateTime shown(QDate(v.boxes[0].toInt(), v.boxes[1].toInt(), v.boxes[2].toInt()),
                          QTime(v.boxes[3].toInt(), v.boxes[4].toInt()));
    ASSERT_TRUE(shown.isValid()) << v.Boxes().join(' ').toStdString();
    // The boxes hold the minute of the call: not after it, less than a minute before.
    EXPECT_LE(shown, after);
    EXPECT_LT(shown.secsTo(before), 60);
    for (const QString& b : v.Boxes()) EXPECT_FALSE(b.startsWith('0') && b.size() > 1);
  }
}

// ---- ReadIndexNextUpdate ----

TEST_F(ProfileActionsTest, ReadIndexNextUpdateTakesTheFirstNextUpdateLine) {
  const QString ugu = MakeScript("SAMPLE",
                                 "#NextUpdate 2004 3 1 9 0 \r\n+ d 000\r\n#NextUpdate 1999 1 1 1 1\r\n");
  QString value;
  EXPECT_EQ(lm::ReadIndexNextUpdate(ugu, 0, value), 0);
  EXPECT_EQ(value, "2004 3 1 9 0");
}

TEST_F(ProfileActionsTest, ReadIndexNextUpdateFindsTheNonRegularLayout) {
  const QString ugu = tree.WriteFile("flat.UGU", "x");
  tree.WriteFile("DAT/mio00.euu", "x");
  tree.WriteFile("DAT/INDEX.FET", "#NextUpdate 2010 12 31 23 59\r\n");
  QString value;
  EXPECT_EQ(lm::ReadIndexNextUpdate(ugu, 1, value), 0);
  EXPECT_EQ(value, "2010 12 31 23 59");
  // The regular layout would look in FLAT/DAT, which does not exist.
  EXPECT_EQ(lm::ReadIndexNextUpdate(ugu, 0, value), -1);
}

TEST_F(ProfileActionsTest, ReadIndexNextUpdateStatuses) {
  struct Case {
    QByteArray content;  // null: no index file at all
    int16_t status;
  };
  const Case cases[] = {
      {QByteArray(), -1},
      {"+ d 000\r\n", -2},
      {"#nextupdate 2004 3 1 9 0\r\n", -2},  // the key is matched with its case
      {"#NextUpdate    \r\n", -2},            // an empty value
      {"#NextUpdate", -2},
      {" #NextUpdate 2004 3 1 9 0\r\n", -2},  // must start the line
      {"x\r\n#NextUpdate2004 3 1 9 0\r\n", 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    const QString ugu = MakeScript(QStringLiteral("CASE%1").arg(n++), c.content);
    QString value = "before";
    EXPECT_EQ(lm::ReadIndexNextUpdate(ugu, 0, value), c.status) << c.content.toStdString();
  }
}

// ---- RefreshMainWindow ----

TEST_F(ProfileActionsTest, RefreshShowsTheScriptAndItsNextUpdate) {
  const QString ugu = MakeScript("SAMPLE", "#NextUpdate 2004 3 1 9 0 \r\n");
  UseProfiles({"zero", "one"});
  profileTable[1].ugu = ugu;
  currentProfile = 1;
  EXPECT_EQ(lm::RefreshMainWindow(view), 0);
  EXPECT_EQ(view.selected, 1);
  EXPECT_EQ(view.scriptText, ugu);
  EXPECT_EQ(view.Boxes(), QStringList({"2004", "3", "1", "9", "0"}));
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(ProfileActionsTest, RefreshWithoutValidScriptShowsThePresentTimeSilently) {
  const QString broken = tree.WriteFile("BROKEN.UGU", "x");  // no DAT proof file
  const QString noIndex = MakeScript("NOINDEX");
  for (const QString& ugu : {QString(), broken, noIndex}) {
    UseProfiles({"only"});
    profileTable[0].ugu = ugu;
    RecordingView v;
    v.entries = {"only"};
    v.selected = 0;
    lm::RefreshMainWindow(v);
    EXPECT_EQ(v.scriptText, ugu);
    EXPECT_EQ(v.boxes[0], QString::number(QDate::currentDate().year())) << ugu.toStdString();
  }
  EXPECT_TRUE(boxes.Shown().empty());
}

// ---- DropScriptOnMainWindow ----

TEST_F(ProfileActionsTest, DroppedScriptBecomesTheCurrentProfilesScript) {
  const QString ugu = MakeScript("NEW", "#NextUpdate 2020 2 29 12 30\r\n");
  UseProfiles({"a", "b", "c"});
  profileTable[2].namearc = "keep";
  profileTable[2].ugu = "old";
  currentProfile = 2;
  view.selected = 2;
  lm::DropScriptOnMainWindow({ugu}, view);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(profileTable[2].ugu, ugu);
  EXPECT_EQ(profileTable[2].profile, "c");
  EXPECT_EQ(profileTable[2].namearc, "keep");
  EXPECT_EQ(view.entries, QStringList({"a", "b", "c"}));
  EXPECT_EQ(view.scriptText, ugu);
  EXPECT_EQ(view.Boxes(), QStringList({"2020", "2", "29", "12", "30"}));
}

TEST_F(ProfileActionsTest, RefusedDropsChangeNothing) {
  const QString valid = MakeScript("GOOD");
  const QString text = tree.WriteFile("readme.txt", "x");
  const QString invalid = tree.WriteFile("BAD.psn", "x");
  const QString odd = MakeScript(QStringLiteral("S\U0001F600"));
  struct Case {
    QStringList files;
    QString message;
  };
  const Case cases[] = {
      {{}, "対象ファイルが存在していません。"},
      {{valid, valid}, "複数ファイルの同時登録には対応していません。"},
      {{text}, QStringLiteral("ペルソナ情報ファイル（PSN/UGUファイル）ではありません。") + lm::CR +
                   "『" + text + "』"},
      {{invalid}, QString()},  // the script check's own message
      // a valid script whose path lfup.ini could not hold
      {{odd}, QStringLiteral("Shift-JISで表せない文字「\U0001F600」が含まれているため、設定ファイルに保存できません。") +
                  lm::CR + "『" + odd + "』"},
  };
  UseProfiles({"a"});
  profileTable[0].ugu = "old";
  for (const auto& c : cases) {
    boxes.Clear();
    lm::DropScriptOnMainWindow(c.files, view);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].style, 0);
    EXPECT_EQ(boxes.Shown()[0].title, "Loftmark");
    if (!c.message.isEmpty())
      EXPECT_EQ(boxes.Shown()[0].text, c.message);
    else
      EXPECT_TRUE(boxes.Shown()[0].text.contains("BAD.psn"));
    EXPECT_EQ(profileTable[0].ugu, "old");
    EXPECT_EQ(view.scriptText, "<untouched>");
  }
}

TEST_F(ProfileActionsTest, DropAcceptsLowerCaseExtensions) {
  const QString ugu = tree.WriteFile("low.ugu", "x");
  tree.WriteFile("LOW/DAT/mio00.euu", "x");
  UseProfiles({"a"});
  lm::DropScriptOnMainWindow({ugu}, view);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(profileTable[0].ugu, ugu);
}

// ---- DeleteProfile and the delete command ----

lm::Profile Filled(const QString& tag) {
  lm::Profile p;
  p.profile = tag;
  p.ugu = tag + ".ugu";
  p.dirarc = tag + "/arc";
  p.addarc = "-x" + tag;
  p.namearc = tag + "arc";
  p.addfilecnt = 2;
  p.addfile[0] = tag + "/a";
  p.addfile[1] = tag + "/b";
  p.exewintitle = tag + " title";
  p.exeviewdir = tag + "/view";
  p.autoview = tag + ".txt";
  p.server = tag + ".server";
  p.userid = tag + "-user";
  p.password = tag + "-pw";
  p.dirserver = "/" + tag;
  return p;
}

bool SameProfile(const lm::Profile& a, const lm::Profile& b) {
  return a.profile == b.profile && a.ugu == b.ugu && a.dirarc == b.dirarc && a.addarc == b.addarc &&
         a.namearc == b.namearc && a.addfilecnt == b.addfilecnt && a.addfile == b.addfile &&
         a.exewintitle == b.exewintitle && a.exeviewdir == b.exeviewdir &&
         a.autoview == b.autoview && a.server == b.server && a.userid == b.userid &&
         a.password == b.password && a.dirserver == b.dirserver;
}

TEST_F(ProfileActionsTest, DeleteProfileClosesTheGapWithEveryField) {
  for (int i = 0; i < 4; ++i) profileTable[i] = Filled(QString("p%1").arg(i));
  lastProfile = 3;
  EXPECT_EQ(lm::DeleteProfile(1), 0);
  EXPECT_EQ(lastProfile, 2);
  EXPECT_TRUE(SameProfile(profileTable[0], Filled("p0")));
  EXPECT_TRUE(SameProfile(profileTable[1], Filled("p2")));
  EXPECT_TRUE(SameProfile(profileTable[2], Filled("p3")));
  // The record beyond the profiles in use keeps its old content.
  EXPECT_TRUE(SameProfile(profileTable[3], Filled("p3")));
}

TEST_F(ProfileActionsTest, DeletingTheLastProfileOnlyShortensTheTable) {
  for (int i = 0; i < 3; ++i) profileTable[i] = Filled(QString("p%1").arg(i));
  lastProfile = 2;
  lm::DeleteProfile(2);
  EXPECT_EQ(lastProfile, 1);
  EXPECT_TRUE(SameProfile(profileTable[1], Filled("p1")));
  EXPECT_TRUE(SameProfile(profileTable[2], Filled("p2")));
}

TEST_F(ProfileActionsTest, DeleteCommandRemovesTheSelectedProfileAndSelectsTheFirst) {
  UseProfiles({"a", "b", "c", "d"});
  view.selected = 2;
  currentProfile = 2;
  boxes.Answer(lm::button::Yes);
  lm::DeleteSelectedProfile(view);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "このプロファイルを削除してもよろしいですか？");
  EXPECT_EQ(boxes.Shown()[0].style, 36);
  EXPECT_EQ(lastProfile, 2);
  EXPECT_EQ(view.entries, QStringList({"a", "b", "d"}));
  EXPECT_EQ(profileTable[2].profile, "d");
  EXPECT_EQ(view.selected, 0);
  EXPECT_EQ(currentProfile, 0);
}

TEST_F(ProfileActionsTest, DeleteCommandSavesTheProfilesAtOnce) {
  UseProfiles({"a", "b", "c"});
  for (int i = 0; i < 3; ++i) profileTable[i].ugu = MakeScript(QStringLiteral("S%1").arg(i));
  view.selected = 1;
  currentProfile = 1;
  boxes.Answer(lm::button::Yes);
  lm::DeleteSelectedProfile(view);
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(tree.Path("lfup.ini"), lines));
  const QStringList names = lines.filter(QRegularExpression(QStringLiteral("^profile\\(")));
  EXPECT_EQ(names, QStringList({"profile(000)=a", "profile(001)=c"}));
  EXPECT_TRUE(lines.contains("ugu(001)=" + profileTable[1].ugu));

  // Declined: nothing is written.
  ASSERT_TRUE(QFile::remove(tree.Path("lfup.ini")));
  view.selected = 1;
  boxes.Answer(lm::button::No);
  lm::DeleteSelectedProfile(view);
  EXPECT_FALSE(QFile::exists(tree.Path("lfup.ini")));
}

TEST_F(ProfileActionsTest, DeleteCommandKeepsTheOnlyProfile) {
  UseProfiles({"only"});
  lm::DeleteSelectedProfile(view);
  EXPECT_EQ(boxes.Texts(), QStringList({"すべてのプロファイルを削除することはできません。"}));
  EXPECT_EQ(boxes.Shown()[0].style, 0);
  EXPECT_EQ(lastProfile, 0);
  EXPECT_EQ(view.entries, QStringList({"only"}));
}

TEST_F(ProfileActionsTest, DeclinedDeleteChangesNothing) {
  UseProfiles({"a", "b"});
  view.selected = 1;
  boxes.Answer(lm::button::No);
  lm::DeleteSelectedProfile(view);
  EXPECT_EQ(lastProfile, 1);
  EXPECT_EQ(view.entries, QStringList({"a", "b"}));
  EXPECT_EQ(view.selected, 1);
  EXPECT_EQ(view.scriptText, "<untouched>");
}

TEST_F(ProfileActionsTest, DeleteWithoutSelectionDeletesNothing) {
  UseProfiles({"a", "b"});
  view.selected = -1;
  boxes.Answer(lm::button::Yes);
  lm::DeleteSelectedProfile(view);
  EXPECT_EQ(lastProfile, 1);
  EXPECT_EQ(view.entries, QStringList({"a", "b"}));
}

}  // namespace
