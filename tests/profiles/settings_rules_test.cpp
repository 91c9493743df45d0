// The settings window's rules without the window: archive names, the two
// drops, the checks on confirm and the store into a profile.
#include <gtest/gtest.h>

#include <functional>

#include <vector>

#include "profiles/profile_store.h"
#include "profiles/settings_rules.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/text_file.h"
#include "util/message_box.h"

namespace {

using lm::CR;
using lm::SettingsBox;

const QString kNoName = QStringLiteral("プロファイル名を指定してください。");
const QString kBadArcName = QStringLiteral("配布用アーカイブのファイル名に誤りがあります。");
const QString kBadArcDir = QStringLiteral("圧縮ファイル作成ディレクトリの指定に誤りがあります。");
const QString kNoScript = QStringLiteral("更新定義ファイル(UGU/PSN)を指定してください。");
const QString kScriptMissing = QStringLiteral("更新定義ファイルが存在しません。");
const QString kNotDocument = QStringLiteral("TXTファイル、HTMLファイル以外のファイルは自動表示できません。");
const QString kNotAttached = QStringLiteral("自動表示対象のファイルは、添付ファイルリスト上に存在しません。");

QString Quoted(const QString& p) { return QStringLiteral("『") + p + QStringLiteral("』"); }

TEST(IsValidArchiveNameTest, RefusesEmptyNamesAndForbiddenCharacters) {
  struct Case {
    QString name;
    int16_t expected;
  };
  const Case cases[] = {
      {"sample", 0},           {"", -1},         {"my.app", -1},      {"my app", -1},
      {"a\\b", -1},            {"a/b", -1},      {"a:b", -1},         {"a,b", -1},
      {"a*b", -1},             {"a?b", -1},      {"a<b", -1},         {"a>b", -1},
      {"a|b", -1},             {"a\"b", -1},     {"配布用", 0},       {"ｻﾝﾌﾟﾙ_1-2", 0},
      {QStringLiteral("全角　空白"), 0},  // only the half-width blank is refused
      {".", -1},               {" ", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(lm::IsValidArchiveName(c.name), c.expected) << c.name.toStdString();
}

TEST(AutoViewDocumentTest, AcceptsTextAndWebDocumentsInAnyCase) {
  struct Case {
    QString name;
    bool expected;
  };
  const Case cases[] = {{"readme.txt", true},  {"README.TXT", true}, {"index.htm", true},
                        {"index.html", true},  {"Index.HtMl", true}, {"readme.doc", false},
                        {"index.htmx", false}, {"txt", true},        {"a.tx", false},
                        {"", false}};
  for (const Case& c : cases)
    EXPECT_EQ(lm::IsAutoViewDocument(c.name), c.expected) << c.name.toStdString();
}

TEST(ShortcutPathTest, EndsInLnkInAnyCase) {
  EXPECT_TRUE(lm::IsShortcutPath("/x/a.lnk"));
  EXPECT_TRUE(lm::IsShortcutPath("/x/A.LNK"));
  EXPECT_TRUE(lm::IsShortcutPath("/x/a.LnK"));
  EXPECT_FALSE(lm::IsShortcutPath("/x/a.lnk.txt"));
  EXPECT_FALSE(lm::IsShortcutPath("/x/alnk"));
}

class SettingsRulesTest : public ::testing::Test {
 protected:
  // A regular UGU script NAME.UGU with NAME/DAT/mio00.euu.
  QString MakeScript(const QString& name) {
    const QString ugu = tree.WriteFile(name + ".UGU", "x");
    tree.WriteFile(name + "/DAT/mio00.euu", "x");
    return ugu;
  }
  // Texts that pass every rule.
  lm::SettingsTexts ValidTexts() {
    lm::SettingsTexts t;
    t.profile = "Sample";
    t.ugu = MakeScript("SAMPLE");
    return t;
  }
  int16_t Check(const lm::SettingsTexts& t) {
    focus.clear();
    return lm::CheckSettings(t, [this](SettingsBox b) { focus.push_back(b); });
  }

  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
  std::vector<SettingsBox> focus;
};

TEST_F(SettingsRulesTest, AutoViewMustBeAnExistingAttachedFile) {
  const QString readme = tree.WriteFile("x/README.TXT", "r");
  tree.MakeDir("d/notes.txt");
  EXPECT_TRUE(lm::AutoViewIsAttached("readme.txt", {readme}));
  EXPECT_TRUE(lm::AutoViewIsAttached("readme.txt", {"  " + readme + " "}));  // entries trimmed
  EXPECT_TRUE(lm::AutoViewIsAttached("sub\\readme.txt", {readme}));          // file names compared
  EXPECT_FALSE(lm::AutoViewIsAttached("readme.txt", {tree.Path("gone/readme.txt")}));
  EXPECT_FALSE(lm::AutoViewIsAttached("notes.txt", {tree.Path("d/notes.txt")}));  // a directory
  EXPECT_FALSE(lm::AutoViewIsAttached("other.txt", {readme}));
  EXPECT_FALSE(lm::AutoViewIsAttached("readme.txt", {}));
}

TEST_F(SettingsRulesTest, DroppedScriptFileIsCheckedBeforeItIsTaken) {
  const QString ugu = MakeScript("SAMPLE");
  const QString invalid = tree.WriteFile("BROKEN.UGU", "x");
  const QString text = tree.WriteFile("notes.txt", "x");

  EXPECT_EQ(lm::CheckDroppedScriptFile({}), "");
  EXPECT_EQ(lm::CheckDroppedScriptFile({ugu, ugu}), "");
  EXPECT_EQ(lm::CheckDroppedScriptFile({text}), "");
  EXPECT_EQ(lm::CheckDroppedScriptFile({invalid}), "");
  ASSERT_EQ(boxes.Shown().size(), 4u);
  EXPECT_EQ(boxes.Texts()[0], "対象ファイルが存在していません。");
  EXPECT_EQ(boxes.Texts()[1], "複数ファイルの同時登録には対応していません。");
  EXPECT_EQ(boxes.Texts()[2],
            QStringLiteral("スクリプト情報ファイル（PSN/UGUファイル）ではありません。") + CR + Quoted(text));
  EXPECT_TRUE(boxes.Texts()[3].startsWith(
      QStringLiteral("このスクリプト情報ファイル（UGU/PSNファイル）は有効ではありません。")));
  for (const auto& box : boxes.Shown()) {
    EXPECT_EQ(box.style, 0);
    EXPECT_EQ(box.title, "Loftmark");
  }
  boxes.Clear();
  EXPECT_EQ(lm::CheckDroppedScriptFile({ugu}), ugu);
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(SettingsRulesTest, AttachmentDropKeepsTheListAtFiftyEntries) {
  QStringList list;
  for (int i = 0; i < 48; ++i) list << QStringLiteral("/f/%1").arg(i);
  const QStringList before = list;

  EXPECT_EQ(lm::AddDroppedAttachments(list, {"/a", "/b", "/c"}), -1);
  EXPECT_EQ(list, before);  // refused as a whole
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_EQ(boxes.Texts()[0], QStringLiteral("ファイルは追加されませんでした。") + CR +
                                  QStringLiteral("配布用アーカイブに添付できるファイル・ディレクトリは、最大５０件です。"));
  EXPECT_EQ(boxes.Texts()[0], lm::AttachmentLimitMessage());

  boxes.Clear();
  EXPECT_EQ(lm::AddDroppedAttachments(list, {"/a", "/b"}), 0);
  EXPECT_EQ(list.size(), 50);
  EXPECT_EQ(list.mid(48), (QStringList{"/a", "/b"}));
  EXPECT_TRUE(boxes.Shown().empty());

  EXPECT_EQ(lm::AddDroppedAttachments(list, {"/c"}), -1);
  EXPECT_EQ(list.size(), 50);
}

TEST_F(SettingsRulesTest, ShortcutsAreRefusedWhileTheRestIsAdded) {
  QStringList list{"/x"};
  EXPECT_EQ(lm::AddDroppedAttachments(list, {"/a.txt", "/Link.LNK", "/b dir", "/c.lnk", "/a.txt"}), 0);
  // Kept unchanged and in order; duplicates are not detected.
  EXPECT_EQ(list, (QStringList{"/x", "/a.txt", "/b dir", "/a.txt"}));
  EXPECT_EQ(boxes.Texts(), (QStringList{QStringLiteral("ショートカットは使用できません。") + CR + Quoted("/Link.LNK"),
                                        QStringLiteral("ショートカットは使用できません。") + CR + Quoted("/c.lnk")}));
}

TEST_F(SettingsRulesTest, ValidTextsPassWithoutMessages) {
  EXPECT_EQ(Check(ValidTexts()), 0);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_TRUE(focus.empty());
}

TEST_F(SettingsRulesTest, EachBlockingRuleShowsItsMessageAndFocusesItsBox) {
  struct Case {
    const char* what;
    std::function<void(lm::SettingsTexts&)> change;
    QString message;
    SettingsBox box;
  };
  const Case cases[] = {
      {"blank name", [](lm::SettingsTexts& t) { t.profile = QStringLiteral("  　 "); }, kNoName, SettingsBox::Profile},
      {"full stop in archive name", [](lm::SettingsTexts& t) { t.arcName = "my.app"; }, kBadArcName,
       SettingsBox::ArcName},
      {"missing archive directory", [this](lm::SettingsTexts& t) { t.arcDirect = tree.Path("nowhere"); },
       kBadArcDir, SettingsBox::ArcDirect},
      {"no script file", [](lm::SettingsTexts& t) { t.ugu = "   "; }, kNoScript, SettingsBox::ScriptFile},
      {"missing script file", [this](lm::SettingsTexts& t) { t.ugu = tree.Path("GONE.UGU"); },
       kScriptMissing, SettingsBox::ScriptFile},
      {"auto view not a document", [](lm::SettingsTexts& t) { t.autoView = "readme.doc"; }, kNotDocument,
       SettingsBox::AutoView},
      {"auto view not attached", [](lm::SettingsTexts& t) { t.autoView = "readme.txt"; }, kNotAttached,
       SettingsBox::AutoView},
  };
  for (const Case& c : cases) {
    lm::SettingsTexts t = ValidTexts();
    c.change(t);
    boxes.Clear();
    EXPECT_EQ(Check(t), -1) << c.what;
    EXPECT_EQ(boxes.Texts(), QStringList{c.message}) << c.what;
    EXPECT_EQ(focus, std::vector<SettingsBox>{c.box}) << c.what;
  }
}

TEST_F(SettingsRulesTest, SeveralFailuresShowEveryMessageInOrderAndFocusTheLast) {
  lm::SettingsTexts t = ValidTexts();
  t.profile = "   ";
  t.arcName = "my.app";
  EXPECT_EQ(Check(t), -1);
  EXPECT_EQ(boxes.Texts(), (QStringList{kNoName, kBadArcName}));
  EXPECT_EQ(focus, (std::vector<SettingsBox>{SettingsBox::Profile, SettingsBox::ArcName}));

  // All rules at once, in the order name, archive name, directory, script file, auto view.
  t.arcDirect = tree.Path("nowhere");
  t.ugu = "";
  t.autoView = "x.doc";
  boxes.Clear();
  EXPECT_EQ(Check(t), -1);
  EXPECT_EQ(boxes.Texts(), (QStringList{kNoName, kBadArcName, kBadArcDir, kNoScript, kNotDocument}));
  EXPECT_EQ(focus.back(), SettingsBox::AutoView);
}

// Every text stored in lfup.ini must fit Shift-JIS; each that does not is
// named with its character, after the window's own rules, and focuses its box.
TEST_F(SettingsRulesTest, TextsThatLfupIniCannotHoldBlockAndAreNamed) {
  const QString smile = QStringLiteral("\U0001F600");
  auto message = [&](const QString& text, const QString& c) {
    return QStringLiteral("Shift-JISで表せない文字「") + c +
           QStringLiteral("」が含まれているため、設定ファイルに保存できません。") + CR + Quoted(text);
  };
  struct Case {
    const char* what;
    std::function<void(lm::SettingsTexts&)> set;
    QString text;
    SettingsBox box;
  } cases[] = {
      {"name", [&](lm::SettingsTexts& t) { t.profile = "a" + smile; }, "a" + smile, SettingsBox::Profile},
      {"title", [&](lm::SettingsTexts& t) { t.exeWinTitle = " 한 "; }, QStringLiteral("한"), SettingsBox::ExeWinTitle},
      {"folder", [&](lm::SettingsTexts& t) { t.exeViewDir = "C:\\" + smile; }, "C:\\" + smile, SettingsBox::ExeViewDir},
      {"server", [&](lm::SettingsTexts& t) { t.server = smile; }, smile, SettingsBox::Server},
      {"user", [&](lm::SettingsTexts& t) { t.userid = smile; }, smile, SettingsBox::UserId},
      {"password", [&](lm::SettingsTexts& t) { t.password = smile; }, smile, SettingsBox::Password},
      {"server folder", [&](lm::SettingsTexts& t) { t.dirserver = smile; }, smile, SettingsBox::DirServer},
      {"attachment", [&](lm::SettingsTexts& t) { t.attachments = {"/ok.txt", "/x" + smile}; }, "/x" + smile,
       SettingsBox::Attachments},
  };
  for (const Case& c : cases) {
    boxes.Clear();
    lm::SettingsTexts t = ValidTexts();
    c.set(t);
    EXPECT_EQ(Check(t), -1) << c.what;
    const QString named = c.text.contains(smile) ? smile : QStringLiteral("한");
    EXPECT_EQ(boxes.Texts(), QStringList{message(c.text, named)}) << c.what;
    EXPECT_EQ(focus, std::vector<SettingsBox>{c.box}) << c.what;
  }
  // Bytes kept from lfup.ini may be stored again; Japanese and 0x5C kanji too.
  boxes.Clear();
  lm::SettingsTexts t = ValidTexts();
  t.exeWinTitle = lm::DecodeCp932KeepingBytes("\x80title");
  t.profile = QStringLiteral("表ソｶﾅ");
  EXPECT_EQ(Check(t), 0);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_TRUE(lm::UnstorableTextMessage(t.exeWinTitle).isEmpty());
}

TEST_F(SettingsRulesTest, ArchiveNameAndDirectoryMayStayEmpty) {
  lm::SettingsTexts t = ValidTexts();
  t.arcName = "  ";
  t.arcDirect = " ";
  EXPECT_EQ(Check(t), 0);
  t.arcName = " sample ";  // trimmed before the test
  t.arcDirect = tree.Path();
  EXPECT_EQ(Check(t), 0);
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(SettingsRulesTest, ScriptFileWarningsDoNotBlock) {
  lm::SettingsTexts t = ValidTexts();
  t.ugu = tree.WriteFile("BROKEN.UGU", "x");  // no DAT proof file
  EXPECT_EQ(Check(t), 0);
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_TRUE(boxes.Texts()[0].startsWith(
      QStringLiteral("このスクリプト情報ファイル（UGU/PSNファイル）は有効ではありません。")));
  EXPECT_TRUE(focus.empty());

  boxes.Clear();
  t.ugu = tree.WriteFile("notes.txt", "x");
  EXPECT_EQ(Check(t), 0);
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("ペルソナ情報ファイル（PSN/UGUファイル）ではありません。") +
                                       CR + Quoted(t.ugu)});
  EXPECT_TRUE(focus.empty());
}

TEST_F(SettingsRulesTest, AutoViewRules) {
  const QString readme = tree.WriteFile("x/README.TXT", "r");
  const QString page = tree.WriteFile("x/index.html", "r");
  struct Case {
    QString autoView;
    QStringList list;
    int16_t expected;
  };
  const Case cases[] = {
      {"readme.txt", {readme}, 0},
      {"index.html", {readme, page}, 0},
      {"index.htm", {page}, -1},               // passes the document test, not attached by that name
      {"readme.doc", {readme}, -1},            // not a document
      {"readme.txt", {tree.Path("gone/readme.txt")}, -1},  // only a path that no longer exists
      {"", {}, 0},
  };
  for (const Case& c : cases) {
    lm::SettingsTexts t = ValidTexts();
    t.autoView = c.autoView;
    t.attachments = c.list;
    EXPECT_EQ(Check(t), c.expected) << c.autoView.toStdString();
  }
}

TEST_F(SettingsRulesTest, StoreTakesTrimmedTextsAndDropsVanishedAttachments) {
  const QString file = tree.WriteFile("a.txt", "x");
  const QString dir = tree.MakeDir("docs");
  const QString gone = tree.Path("gone.txt");
  lm::SettingsTexts t;
  t.profile = "  名前 ";
  t.ugu = " /s/A.UGU ";
  t.arcName = " arc ";
  t.arcDirect = " /out ";
  t.attachments = {file, gone, dir};
  t.exeWinTitle = " title ";
  t.exeViewDir = " C:\\view ";
  t.autoView = " a.txt ";
  t.server = " ftp.example ";
  t.userid = " me ";
  t.password = " pw ";
  t.dirserver = " /pub ";

  lm::Profile p;
  p.addarc = "-x";
  p.addfilecnt = 5;
  for (int i = 0; i < 5; ++i) p.addfile[i] = "old";
  lm::StoreSettings(t, p);

  EXPECT_EQ(p.profile, "名前");
  EXPECT_EQ(p.ugu, "/s/A.UGU");
  EXPECT_EQ(p.namearc, "arc");
  EXPECT_EQ(p.dirarc, "/out");
  EXPECT_EQ(p.exewintitle, "title");
  EXPECT_EQ(p.exeviewdir, "C:\\view");
  EXPECT_EQ(p.autoview, "a.txt");
  EXPECT_EQ(p.server, "ftp.example");
  EXPECT_EQ(p.userid, "me");
  EXPECT_EQ(p.password, "pw");
  EXPECT_EQ(p.dirserver, "/pub");
  EXPECT_EQ(p.addarc, "-x");
  ASSERT_EQ(p.addfilecnt, 2);
  EXPECT_EQ(p.addfile[0], file);
  EXPECT_EQ(p.addfile[1], dir);
  EXPECT_EQ(p.addfile[2], "");
  EXPECT_EQ(boxes.Texts(),
            QStringList{QStringLiteral("下記のファイルまたはディレクトリが存在しません。リストから削除します。") +
                        CR + Quoted(gone)});
}

}  // namespace
