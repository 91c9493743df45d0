// The settings window SETTING driven through Qt Test, with a recording
// stand-in for the main window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QScreen>
#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "profiles/profile_store.h"
#include "profiles/ui/settings_host.h"
#include "profiles/ui/settings_window.h"
#include "support/empty_profiles.h"
#include "support/file_drop.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/text_file.h"
#include "util/ui/chooser_windows.h"
#include "util/ui/typing_limit.h"

namespace {

using lm::addingProfile;
using lm::CR;
using lm::currentProfile;
using lm::lastProfile;
using lm::profileTable;

QString Quoted(const QString& p) { return QStringLiteral("『") + p + QStringLiteral("』"); }

// Stands in for the main window: Combo2 as a list of names.
class RecordingHost : public lm::SettingsHost {
 public:
  QStringList entries;
  int refreshes = 0;
  int refreshedProfile = -1;
  void SetProfileEntryText(int index, const QString& text) override { entries[index] = text; }
  void AppendProfileEntry(const QString& text) override { entries << text; }
  void RefreshMainWindow() override {
    ++refreshes;
    refreshedProfile = currentProfile;
  }
};

class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lmtest::ResetProfiles();
    lm::SetExecutableDirForTesting(tree.Path("prog"));
    tree.MakeDir("prog");
    lm::programDir = tree.Path("prog");
    profileTable[0].profile = "P0";
    profileTable[0].ugu = MakeScript("FIRST");
    host.entries = QStringList{"P0"};
  }
  void TearDown() override {
    lmtest::ResetProfiles();
    lm::programDir.clear();
    lm::OpenFormWindow().hide();
    lm::SetDirWindow().hide();
  }

  // A regular UGU script NAME.UGU with NAME/DAT/mio00.euu.
  QString MakeScript(const QString& name) {
    const QString ugu = tree.WriteFile("scripts/" + name + ".UGU", "x");
    tree.WriteFile("scripts/" + name + "/DAT/mio00.euu", "x");
    return ugu;
  }

  template <class T = QLineEdit>
  T* Get(const char* name) {
    T* w = window.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* Box(const char* name) { return Get<QLineEdit>(name); }
  QPushButton* Button(const char* name) { return Get<QPushButton>(name); }
  QListWidget* List1() { return Get<QListWidget>("List1"); }

  // Opens the window through `open` (which blocks while it is shown) and
  // runs `act` inside it; the window is closed by force if `act` leaves it open.
  void RunModal(const std::function<void()>& open, const std::function<void()>& act) {
    bool leftOpen = false;
    QTimer::singleShot(0, &window, [&] {
      act();
      if (window.isVisible()) {
        leftOpen = true;
        window.done(0);
      }
    });
    open();
    actLeftWindowOpen = leftOpen;
  }

  // Types into a box as the user does: focus, select all, type.
  void Type(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    bool ascii = true;
    for (const QChar c : text) ascii = ascii && c.unicode() < 0x80;
    if (ascii)
      QTest::keyClicks(box, text);
    else
      box->insert(text);  // what an input method commits
  }

  void DropFiles(QWidget* target, const QStringList& files) { lmtest::DropFiles(target, files); }

  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
  RecordingHost host;
  lm::SETTING window{host};
  bool actLeftWindowOpen = false;
};

// ---------------------------------------------------------------- the window's controls

TEST_F(SettingsWindowTest, ControlsCaptionsLimitsAndStates) {
  EXPECT_EQ(window.objectName(), "SETTING");
  EXPECT_EQ(window.windowTitle(), "Loftmarkの設定");
  EXPECT_EQ(window.size(), QSize(601, 469));
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);

  const struct {
    const char* name;
    const char* caption;
  } frames[] = {{"Frame3", "更新定義の設定（必須）"},
                {"Frame2", "配布用アーカイブ関連の設定(空白の場合自動設定となります)"},
                {"Frame5", "自己解凍ファイル関連(EXE)の設定（任意）"},
                {"Frame1", "FTP関連の設定"},
                {"Frame4", ""}};
  for (const auto& f : frames) EXPECT_EQ(Get<QGroupBox>(f.name)->title(), QString::fromUtf8(f.caption));
  EXPECT_EQ(Get<QGroupBox>("Frame5")->parentWidget()->objectName(), "Frame2");

  const struct {
    const char* name;
    const char* caption;
  } labels[] = {{"Label9", "プロファイル名"},
                {"Label15", "スクリプト名、全角可"},
                {"Label5", "更新定義ファイルの位置"},
                {"Label14", "※このフレーム内に更新定義ファイル(UGU)をドロップすることで設定できます。"},
                {"Label6", "配布用アーカイブファイル名(QSC/LZH/EXE:拡張子は不要です)"},
                {"Label8", "配布用アーカイブ作成先ディレクトリ"},
                {"Label7", "添付するファイル・添付するディレクトリ"},
                {"Label12", "※上のリストに添付したいファイルをドロップしてください。"},
                {"Label10", "自己解凍時のウインドウタイトル(半角40字以内)"},
                {"Label11", "初期表示解凍先ディレクトリ"},
                {"Label13", "自己解凍時に自動的に開くドキュメント"},
                {"Label16", "(添付ファイルから選択)"},
                {"Label2", "接続先サーバ"},
                {"Label1", "ユーザーID"},
                {"Label3", "パスワード"},
                {"Label4", "送信先ディレクトリ"}};
  for (const auto& l : labels) EXPECT_EQ(Get<QLabel>(l.name)->text(), QString::fromUtf8(l.caption)) << l.name;

  const struct {
    const char* name;
    const char* caption;
    bool enabled;
  } buttons[] = {{"Command3", "参照", true},  {"Command8", "参照", true},     {"Command4", "追加", true},
                 {"Command5", "削除", false}, {"Command6", "参照", true},     {"Command1", "決定", true},
                 {"Command9", "適用", false}, {"Command2", "取り消し", true}};
  for (const auto& b : buttons) {
    EXPECT_EQ(Button(b.name)->text(), QString::fromUtf8(b.caption)) << b.name;
    EXPECT_EQ(Button(b.name)->isEnabled(), b.enabled) << b.name;
  }
  EXPECT_TRUE(Button("Command1")->isDefault());

  const struct {
    const char* name;
    int maxLength;
  } limits[] = {{"Txtプロファイル", 50}, {"TxtArcName", 20}, {"TxtExeWinTitle", 40}, {"TxtExeViewDir", 64},
                {"TxtAutoView", 64}};
  for (const auto& l : limits) {
    QLineEdit* box = Box(l.name);
    EXPECT_EQ(lm::TypingLimit(box), l.maxLength) << l.name;
    box->clear();
    QTest::keyClicks(box, QString(l.maxLength + 5, QLatin1Char('a')));
    EXPECT_EQ(box->text().size(), l.maxLength) << l.name;
  }

  EXPECT_TRUE(Box("Txt更新定義ファイル")->isReadOnly());
  EXPECT_TRUE(Box("Txt更新定義ファイル")->isEnabled());
  EXPECT_FALSE(Box("TxtArcName")->testAttribute(Qt::WA_InputMethodEnabled));
  // The upload's account is edited here; the password is not shown.
  for (const char* name : {"TxtServer", "TxtUserID", "TxtPassword", "TxtDirServer"})
    EXPECT_TRUE(Box(name)->isEnabled()) << name;
  EXPECT_EQ(Box("TxtPassword")->echoMode(), QLineEdit::Password);

  // Tab order.
  const char* order[] = {"Txtプロファイル", "Txt更新定義ファイル", "Command3", "TxtArcName", "TxtArcDirect",
                         "Command8",       "List1",             "Command4", "Command5",   "TxtExeWinTitle",
                         "TxtExeViewDir",  "Command6",          "TxtAutoView", "TxtServer", "TxtUserID",
                         "TxtPassword",    "TxtDirServer",      "ChkKeyring", "Command1", "Command9",
                         "Command2"};
  QWidget* w = Get<QWidget>(order[0]);
  for (size_t i = 1; i < std::size(order); ++i) {
    w = w->nextInFocusChain();
    while (w->objectName().isEmpty() || w->parentWidget()->inherits("QAbstractScrollArea") ||
           w->inherits("QGroupBox") || w->inherits("QLabel"))
      w = w->nextInFocusChain();
    EXPECT_EQ(w->objectName(), QString::fromUtf8(order[i])) << i;
  }
}

// ---------------------------------------------------------------- adding a profile

TEST_F(SettingsWindowTest, AddedProfileIsListedAndReachesTheSettingsFile) {
  const QString ugu = MakeScript("SECOND");
  RunModal([&] { window.AddProfile(); },
           [&] {
             EXPECT_EQ(lastProfile, 1);
             EXPECT_EQ(currentProfile, 1);
             EXPECT_EQ(addingProfile, 1);
             EXPECT_EQ(window.focusWidget(), Box("Txtプロファイル"));
             Type(Box("Txtプロファイル"), "二番目");
             DropFiles(Get<QWidget>("Frame3"), {ugu});
             Type(Box("TxtArcName"), "second");
             QTest::keyClick(Box("TxtArcName"), Qt::Key_Return);  // the default button
           });
  EXPECT_FALSE(actLeftWindowOpen);
  EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join("|").toStdString();
  EXPECT_EQ(host.entries, (QStringList{"P0", "二番目"}));
  EXPECT_EQ(host.refreshes, 1);
  EXPECT_EQ(host.refreshedProfile, 1);
  EXPECT_EQ(lastProfile, 1);
  EXPECT_EQ(profileTable[1].profile, "二番目");
  EXPECT_EQ(profileTable[1].ugu, ugu);
  EXPECT_EQ(profileTable[1].namearc, "second");

  // After closing and starting again the profile comes back from lfup.ini.
  lm::SaveProfiles();
  lmtest::ResetProfiles();
  lm::LoadProfiles();
  ASSERT_EQ(lastProfile, 1);
  EXPECT_EQ(profileTable[0].profile, "P0");
  EXPECT_EQ(profileTable[1].profile, "二番目");
  EXPECT_EQ(profileTable[1].ugu, ugu);
  EXPECT_EQ(profileTable[1].namearc, "second");
}

TEST_F(SettingsWindowTest, CancelledNewProfileLeavesTheTableAgain) {
  profileTable[1].profile = "stale";  // the record beyond lastProfile
  const std::function<void()> cancels[] = {
      [&] { QTest::mouseClick(Button("Command2"), Qt::LeftButton); },
      [&] { QTest::keyClick(&window, Qt::Key_Escape); },
      [&] { window.close(); },  // the frame's close box
  };
  for (const auto& cancel : cancels) {
    host.refreshes = 0;
    RunModal([&] { window.AddProfile(); },
             [&] {
               EXPECT_EQ(Box("Txtプロファイル")->text(), "");
               EXPECT_EQ(profileTable[1].profile, "");  // the new record starts empty
               Type(Box("Txtプロファイル"), "discarded");
               cancel();
             });
    EXPECT_FALSE(actLeftWindowOpen);
    EXPECT_EQ(lastProfile, 0);
    EXPECT_EQ(currentProfile, 0);
    EXPECT_EQ(addingProfile, 0);
    EXPECT_EQ(host.entries, QStringList{"P0"});
    EXPECT_EQ(host.refreshes, 1);
    EXPECT_EQ(host.refreshedProfile, 0);
    EXPECT_EQ(profileTable[0].profile, "P0");
  }
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(SettingsWindowTest, FullTableRefusesAnotherProfile) {
  for (int i = 1; i <= 100; ++i) profileTable[i].profile = QString::number(i);
  lastProfile = 100;
  currentProfile = 7;
  window.AddProfile();  // returns at once: nothing is shown
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(lastProfile, 100);
  EXPECT_EQ(currentProfile, 7);
  EXPECT_EQ(addingProfile, 0);
  EXPECT_EQ(profileTable[100].profile, "100");
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].style, 0);
  EXPECT_EQ(boxes.Shown()[0].title, "Loftmark");
}

// ---------------------------------------------------------------- editing a profile

TEST_F(SettingsWindowTest, NoCurrentProfileOpensNothing) {
  for (int16_t index : {int16_t(-1), int16_t(1)}) {
    currentProfile = index;
    window.EditCurrentProfile();  // returns at once
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.ApplySettingsWindow(), -1);
    EXPECT_EQ(lastProfile, 0);
    EXPECT_EQ(host.entries, QStringList{"P0"});
  }
}

TEST_F(SettingsWindowTest, EditingStoresEveryField) {
  const QString out = tree.MakeDir("out");
  const QString view = tree.MakeDir("view");
  const QString doc = tree.WriteFile("docs/README.TXT", "r");
  const QString gone = tree.Path("docs/gone.txt");
  const QString other = MakeScript("OTHER");
  lastProfile = 1;
  currentProfile = 1;
  host.entries = QStringList{"P0", "old"};
  lm::Profile& p = profileTable[1];
  p.profile = "old";
  p.ugu = profileTable[0].ugu;
  p.dirarc = "/nowhere/old";
  p.addarc = "-keep";
  p.namearc = "oldarc";
  p.addfile[0] = gone;
  p.addfilecnt = 1;
  p.exewintitle = "old title";
  p.exeviewdir = "C:\\old";
  p.autoview = "";
  p.server = "ftp.example";
  p.userid = "me";
  p.password = "secret";
  p.dirserver = "/pub";

  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             EXPECT_EQ(addingProfile, 0);
             EXPECT_EQ(Box("Txtプロファイル")->text(), "old");
             EXPECT_EQ(Box("TxtArcDirect")->text(), "/nowhere/old");
             EXPECT_EQ(window.AttachmentEntries(), QStringList{gone});
             EXPECT_EQ(Box("TxtPassword")->text(), "secret");
             EXPECT_EQ(Box("TxtServer")->text(), "ftp.example");
             Type(Box("Txtプロファイル"), " renamed ");
             DropFiles(Box("Txt更新定義ファイル"), {other});
             Type(Box("TxtArcName"), "newarc");
             Type(Box("TxtArcDirect"), out);
             DropFiles(List1()->viewport(), {doc, view});
             Type(Box("TxtExeWinTitle"), "タイトル");
             Type(Box("TxtExeViewDir"), view);
             Type(Box("TxtAutoView"), "readme.txt");
             QTest::mouseClick(Button("Command1"), Qt::LeftButton);
           });
  EXPECT_FALSE(actLeftWindowOpen);
  // The attachment that vanished is dropped from the profile with its message.
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("下記のファイルまたはディレクトリが存在しません。リストから削除します。") +
                                       CR + Quoted(gone)});
  EXPECT_EQ(p.profile, "renamed");
  EXPECT_EQ(p.ugu, other);
  EXPECT_EQ(p.namearc, "newarc");
  EXPECT_EQ(p.dirarc, out);
  EXPECT_EQ(p.addarc, "-keep");
  ASSERT_EQ(p.addfilecnt, 2);
  EXPECT_EQ(p.addfile[0], doc);
  EXPECT_EQ(p.addfile[1], view);
  EXPECT_EQ(p.exewintitle, "タイトル");
  EXPECT_EQ(p.exeviewdir, view);
  EXPECT_EQ(p.autoview, "readme.txt");
  EXPECT_EQ(p.server, "ftp.example");
  EXPECT_EQ(p.userid, "me");
  EXPECT_EQ(p.password, "secret");
  EXPECT_EQ(p.dirserver, "/pub");
  EXPECT_EQ(host.entries, (QStringList{"P0", "renamed"}));
  EXPECT_EQ(lastProfile, 1);
  EXPECT_EQ(host.refreshes, 1);

  // Cancelling an edit stores nothing and keeps the profile current.
  host.refreshes = 0;
  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             Type(Box("Txtプロファイル"), "not kept");
             QTest::mouseClick(Button("Command2"), Qt::LeftButton);
           });
  EXPECT_EQ(p.profile, "renamed");
  EXPECT_EQ(currentProfile, 1);
  EXPECT_EQ(lastProfile, 1);
  EXPECT_EQ(host.refreshes, 1);
}

// ---------------------------------------------------------------- lfup.ini

TEST_F(SettingsWindowTest, ConfirmingSavesTheSettingsFileAtOnce) {
  const QString ini = tree.Path("prog/lfup.ini");
  // Cancelled and refused confirmations write nothing.
  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             Type(Box("Txtプロファイル"), "not kept");
             QTest::mouseClick(Button("Command2"), Qt::LeftButton);
           });
  EXPECT_FALSE(QFile::exists(ini));
  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             Type(Box("Txtプロファイル"), "   ");
             QTest::mouseClick(Button("Command1"), Qt::LeftButton);
           });
  EXPECT_TRUE(actLeftWindowOpen);
  EXPECT_FALSE(QFile::exists(ini));
  boxes.Clear();

  // 決定 on an edit: the file holds the change before anything else happens.
  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             Type(Box("Txtプロファイル"), "一番目");
             Type(Box("TxtServer"), "ftp.example.jp");
             QTest::mouseClick(Button("Command1"), Qt::LeftButton);
           });
  EXPECT_FALSE(actLeftWindowOpen);
  EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join("|").toStdString();
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(ini, lines));
  EXPECT_TRUE(lines.contains(QStringLiteral("profile(000)=一番目")));
  EXPECT_TRUE(lines.contains(QStringLiteral("server(000)=ftp.example.jp")));

  // A new profile confirmed: in the file at once, the current one flagged.
  const QString ugu = MakeScript("NEW");
  RunModal([&] { window.AddProfile(); },
           [&] {
             Type(Box("Txtプロファイル"), "new");
             DropFiles(Get<QWidget>("Frame3"), {ugu});
             QTest::keyClick(Box("Txtプロファイル"), Qt::Key_Return);
           });
  ASSERT_TRUE(lm::ReadTextLines(ini, lines));
  EXPECT_TRUE(lines.contains(QStringLiteral("profile(001)=new")));
  EXPECT_TRUE(lines.contains("ugu(001)=" + ugu));
  EXPECT_TRUE(lines.contains(QStringLiteral("default(001)=1")));
  // The file replaced is kept as the copy.
  EXPECT_TRUE(QFile::exists(ini + ".bak"));

  // A save that fails is reported; the profile stays stored for the close.
  ASSERT_TRUE(QFile::remove(ini));
  ASSERT_TRUE(QDir().mkdir(ini));  // a folder where the file belongs
  boxes.Clear();
  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             Type(Box("Txtプロファイル"), "renamed");
             QTest::mouseClick(Button("Command1"), Qt::LeftButton);
           });
  EXPECT_FALSE(actLeftWindowOpen);
  EXPECT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(profileTable[1].profile, "renamed");
  EXPECT_EQ(host.entries.value(1), "renamed");
}

TEST_F(SettingsWindowTest, EnterOnAnyControlPressesTheDefaultButton) {
  // Also on another focused button: 参照 opens no chooser, 取り消し does not cancel.
  for (const char* name : {"TxtArcName", "List1", "ChkKeyring", "Command3", "Command8", "Command4", "Command2"}) {
    boxes.Clear();
    QFile::remove(tree.Path("prog/lfup.ini"));
    RunModal([&] { window.EditCurrentProfile(); },
             [&] {
               Type(Box("Txtプロファイル"), name);
               QWidget* w = Get<QWidget>(name);
               w->setFocus(Qt::TabFocusReason);
               QTest::keyClick(w, Qt::Key_Return);
             });
    EXPECT_FALSE(actLeftWindowOpen) << name;
    EXPECT_EQ(profileTable[0].profile, name);
    EXPECT_TRUE(QFile::exists(tree.Path("prog/lfup.ini"))) << name;
    EXPECT_TRUE(boxes.Shown().empty()) << name;
  }
}

TEST_F(SettingsWindowTest, TypingWhatShiftJisCannotHoldIsRefusedByName) {
  window.FillSettingsWindow();
  window.show();
  const char* boxNames[] = {"Txtプロファイル", "TxtArcDirect", "TxtExeWinTitle", "TxtExeViewDir",
                            "TxtAutoView", "TxtServer", "TxtUserID", "TxtPassword", "TxtDirServer"};
  struct Case {
    QString typed;
    QString named;  // the character the message names, empty when the typing is kept
  } cases[] = {
      {QStringLiteral("\U0001F600"), QStringLiteral("\U0001F600")},
      {QStringLiteral("a한b"), QStringLiteral("한")},
      {QStringLiteral("\uF780"), QStringLiteral("\uF780")},  // the stand-in of a kept byte is not typed
      {QStringLiteral("表ソｶﾅ"), QString()},
  };
  for (const char* name : boxNames) {
    QLineEdit* box = Box(name);
    for (const Case& c : cases) {
      boxes.Clear();
      box->setText(QStringLiteral("ab"));
      box->setFocus();
      box->setCursorPosition(1);
      QInputMethodEvent commit;  // what an input method hands over
      commit.setCommitString(c.typed);
      QApplication::sendEvent(box, &commit);
      if (c.named.isEmpty()) {
        EXPECT_EQ(box->text(), "a" + c.typed + "b") << name;
        EXPECT_TRUE(boxes.Shown().empty()) << name;
      } else {
        EXPECT_EQ(box->text(), "ab") << name;
        EXPECT_EQ(box->cursorPosition(), 1) << name;
        EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("「") + c.named +
                                             QStringLiteral("」はShift-JISで表せない文字のため入力できません。")})
            << name;
      }
    }
    // Pasting is typing too.
    boxes.Clear();
    box->setText(QStringLiteral("ab"));
    QApplication::clipboard()->setText(QStringLiteral("x\U0001F600"));
    box->end(false);
    box->paste();
    EXPECT_EQ(box->text(), "ab") << name;
    EXPECT_EQ(boxes.Shown().size(), 1u) << name;
  }
  // A kept byte of lfup.ini in a box stays, and typing beside it is taken.
  QLineEdit* title = Box("TxtExeWinTitle");
  boxes.Clear();
  title->setText(lm::DecodeCp932KeepingBytes("t\x80"));
  title->end(false);
  QTest::keyClicks(title, "x");
  EXPECT_EQ(title->text(), lm::DecodeCp932KeepingBytes("t\x80") + "x");
  EXPECT_TRUE(boxes.Shown().empty());
  window.hide();
}

TEST_F(SettingsWindowTest, FieldsOfBytesThatAreNotShiftJisAreSavedAsTheyWere) {
  QByteArray uguBytes;
  ASSERT_TRUE(lm::EncodeCp932(profileTable[0].ugu, uguBytes));
  const QByteArray name = "profile(000)=P\x80" "0";
  const QByteArray title = "exewintitle(000)=\xFD title";
  tree.WriteFile("prog/lfup.ini", name + "\r\nugu(000)=" + uguBytes + "\r\n" + title + "\r\n");
  lm::LoadProfiles();
  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             Type(Box("TxtArcName"), "arc");
             QTest::mouseClick(Button("Command1"), Qt::LeftButton);
           });
  EXPECT_FALSE(actLeftWindowOpen);
  EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join("|").toStdString();
  const QByteArray ini = tree.ReadFile("prog/lfup.ini");
  EXPECT_TRUE(ini.contains(name + "\r\n"));
  EXPECT_TRUE(ini.contains(title + "\r\n"));
  EXPECT_TRUE(ini.contains("namearc(000)=arc\r\n"));
}

TEST_F(SettingsWindowTest, PathsThatShiftJisCannotHoldAreRefusedOnConfirming) {
  const QString odd = tree.WriteFile("docs/smile\U0001F600.txt", "x");
  const QString fine = tree.WriteFile("docs/表.txt", "x");
  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             DropFiles(List1()->viewport(), {fine, odd});
             QTest::mouseClick(Button("Command1"), Qt::LeftButton);
             EXPECT_EQ(window.focusWidget(), List1());
           });
  EXPECT_TRUE(actLeftWindowOpen);
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Shift-JISで表せない文字「\U0001F600」が含まれているため、"
                                                      "設定ファイルに保存できません。") +
                                       CR + Quoted(odd)});
  EXPECT_EQ(profileTable[0].addfilecnt, 0);
  EXPECT_FALSE(QFile::exists(tree.Path("prog/lfup.ini")));

  // A script file of such a name dropped on the window is refused the same way.
  const QString oddScript = tree.WriteFile("scripts/s\U0001F600.UGU", "x");
  tree.WriteFile("scripts/s\U0001F600/DAT/mio00.euu", "x");
  boxes.Clear();
  EXPECT_EQ(window.DropScriptFile({oddScript}), QString());
  EXPECT_EQ(boxes.Shown().size(), 1u);
  EXPECT_TRUE(boxes.Texts().value(0).contains(QStringLiteral("\U0001F600")));
}

TEST_F(SettingsWindowTest, OpensInTheCentreOfTheScreen) {
  QWidget main;
  main.setGeometry(10, 10, 200, 150);  // far from the centre
  main.show();
  lm::SETTING centred(host, &main);
  QRect where;
  QTimer::singleShot(0, &centred, [&] {
    where = centred.frameGeometry();
    centred.done(0);
  });
  centred.EditCurrentProfile();
  const QRect area = main.screen()->availableGeometry();
  EXPECT_LE(std::abs(where.center().x() - area.center().x()), 2);  // rounding of odd sizes
  EXPECT_LE(std::abs(where.center().y() - area.center().y()), 2);
}

TEST_F(SettingsWindowTest, LongStoredTextsSurviveTheTypingLimits) {
  // Values longer than the boxes' typing limits (a hand-edited lfup.ini) are
  // shown whole and stored back whole.
  lm::Profile& p = profileTable[0];
  p.profile = QString(60, QLatin1Char('n'));
  p.exeviewdir = QStringLiteral("C:\\") + QString(80, QLatin1Char('d'));
  p.exewintitle = QString(45, QLatin1Char('t'));
  window.FillSettingsWindow();
  EXPECT_EQ(Box("Txtプロファイル")->text(), p.profile);
  const lm::Profile before = p;
  EXPECT_EQ(window.ApplySettingsWindow(), 0);
  EXPECT_EQ(p.profile, before.profile);
  EXPECT_EQ(p.exeviewdir, before.exeviewdir);
  EXPECT_EQ(p.exewintitle, before.exewintitle);
  // Typing into a box that is already past its limit adds nothing.
  QLineEdit* name = Box("Txtプロファイル");
  name->setFocus();
  QApplication::processEvents();  // the select-all of the focus
  name->end(false);
  QTest::keyClicks(name, "x");
  EXPECT_EQ(name->text(), p.profile);
  QTest::keyClick(name, Qt::Key_Backspace);
  EXPECT_EQ(name->text().size(), 59);
}

TEST_F(SettingsWindowTest, SeveralFailingRulesKeepTheWindowOpen) {
  RunModal([&] { window.EditCurrentProfile(); },
           [&] {
             Type(Box("Txtプロファイル"), "   ");
             Type(Box("TxtArcName"), "my.app");
             QTest::mouseClick(Button("Command1"), Qt::LeftButton);
             EXPECT_TRUE(window.isVisible());
             EXPECT_EQ(window.focusWidget(), Box("TxtArcName"));
             QTest::mouseClick(Button("Command2"), Qt::LeftButton);
           });
  EXPECT_EQ(boxes.Texts(), (QStringList{"プロファイル名を指定してください。",
                                        "配布用アーカイブのファイル名に誤りがあります。"}));
  for (const auto& box : boxes.Shown()) EXPECT_EQ(box.style, 0);
  EXPECT_EQ(profileTable[0].profile, "P0");
  EXPECT_EQ(host.entries, QStringList{"P0"});
}

TEST_F(SettingsWindowTest, AutoViewRulesThroughTheWindow) {
  const QString readme = tree.WriteFile("x/README.TXT", "r");
  struct Case {
    QString autoView;
    QStringList attachments;
    QString message;  // empty: accepted
  };
  const Case cases[] = {
      {"readme.txt", {readme}, ""},
      {"readme.doc", {readme}, "TXTファイル、HTMLファイル以外のファイルは自動表示できません。"},
      {"index.htm", {readme}, "自動表示対象のファイルは、添付ファイルリスト上に存在しません。"},
      {"readme.txt", {tree.Path("y/README.TXT")}, "自動表示対象のファイルは、添付ファイルリスト上に存在しません。"},
  };
  for (const Case& c : cases) {
    boxes.Clear();
    profileTable[0].addfilecnt = 0;  // an earlier case stored its attachment
    window.FillSettingsWindow();
    window.DropAttachments(c.attachments);
    Box("TxtAutoView")->setText(c.autoView);
    if (c.message.isEmpty()) {
      EXPECT_EQ(window.ApplySettingsWindow(), 0) << c.autoView.toStdString();
      EXPECT_TRUE(boxes.Shown().empty());
    } else {
      EXPECT_EQ(window.ApplySettingsWindow(), -1) << c.autoView.toStdString();
      EXPECT_EQ(boxes.Texts(), QStringList{c.message});
      EXPECT_EQ(window.focusWidget(), Box("TxtAutoView"));
    }
  }
}

// ---------------------------------------------------------------- drops and the attachment list

TEST_F(SettingsWindowTest, AttachmentDropsOnTheList) {
  QStringList files;
  for (int i = 0; i < 53; ++i) files << tree.WriteFile(QStringLiteral("f/%1.txt").arg(i), "x");
  window.FillSettingsWindow();
  window.DropAttachments(files.mid(0, 48));
  ASSERT_EQ(List1()->count(), 48);

  DropFiles(List1()->viewport(), files.mid(48, 3));
  EXPECT_EQ(List1()->count(), 48);  // 51 would be too many: refused as a whole
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("ファイルは追加されませんでした。") + CR +
                                       QStringLiteral("配布用アーカイブに添付できるファイル・ディレクトリは、最大５０件です。")});
  boxes.Clear();
  DropFiles(List1()->viewport(), files.mid(48, 2));
  EXPECT_EQ(List1()->count(), 50);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(window.AttachmentEntries().mid(48), files.mid(48, 2));

  // The attachment command refuses a 51st entry with the same message, before any chooser shows.
  QTest::mouseClick(Button("Command4"), Qt::LeftButton);
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("ファイルは追加されませんでした。") + CR +
                                       QStringLiteral("配布用アーカイブに添付できるファイル・ディレクトリは、最大５０件です。")});
  EXPECT_FALSE(lm::SetDirWindow().isVisible());
  EXPECT_EQ(List1()->count(), 50);
}

TEST_F(SettingsWindowTest, ShortcutDropIsRefusedWhileTheRestIsAdded) {
  const QString a = tree.WriteFile("a.txt", "x");
  const QString link = tree.WriteFile("Start.LNK", "x");
  const QString dir = tree.MakeDir("dir");
  window.ClearSettingsWindow();
  DropFiles(List1()->viewport(), {a, link, dir});
  EXPECT_EQ(window.AttachmentEntries(), (QStringList{a, dir}));
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("ショートカットは使用できません。") + CR + Quoted(link)});
}

TEST_F(SettingsWindowTest, ScriptDropTargetsTakeOnlyAValidScript) {
  const QString ugu = MakeScript("DROPPED");
  const QString two = MakeScript("TWO");
  window.FillSettingsWindow();
  QLineEdit* script = Box("Txt更新定義ファイル");
  const char* targets[] = {"Frame3", "Label9", "Label15", "Label5", "Label14", "Command3", "Txtプロファイル",
                           "Txt更新定義ファイル"};
  for (const char* target : targets) {
    script->setText("before");
    DropFiles(Get<QWidget>(target), {ugu});
    EXPECT_EQ(script->text(), ugu) << target;
  }
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(Box("Txtプロファイル")->text(), "P0");  // the name box keeps its own text

  // Two files at once: refused, and the box empties.
  DropFiles(Get<QWidget>("Frame3"), {ugu, two});
  EXPECT_EQ(boxes.Texts(), QStringList{"複数ファイルの同時登録には対応していません。"});
  EXPECT_EQ(script->text(), "");
}

TEST_F(SettingsWindowTest, ListSelectionEnablesTheDeleteCommand) {
  window.ClearSettingsWindow();
  window.show();
  window.DropAttachments({"/a", "/b", "/c"});
  QListWidget* list = List1();
  QPushButton* del = Button("Command5");
  EXPECT_FALSE(del->isEnabled());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
  EXPECT_TRUE(del->isEnabled());
  QTest::mouseClick(del, Qt::LeftButton);
  EXPECT_EQ(window.AttachmentEntries(), (QStringList{"/a", "/c"}));
  EXPECT_FALSE(del->isEnabled());
  window.FillSettingsWindow();
  EXPECT_FALSE(del->isEnabled());
  window.hide();
}

// ---------------------------------------------------------------- the choosers from the window

TEST_F(SettingsWindowTest, AttachmentCommandAppendsTheChoice) {
  const QString file = tree.WriteFile("pick/data.bin", "x");
  lm::SetDir& chooser = lm::SetDirWindow();
  ASSERT_TRUE(chooser.PointAt(tree.Path("pick")));
  window.ClearSettingsWindow();
  QTimer::singleShot(0, &chooser, [&] {
    EXPECT_TRUE(chooser.isVisible());
    EXPECT_TRUE(chooser.Option1()->isChecked());  // mode 0
    EXPECT_TRUE(chooser.Option2()->isEnabled());
    EXPECT_EQ(chooser.Dir1Path(), tree.Path("scripts"));  // where the current profile's script lies
    chooser.Text1()->setText(file);
    QTest::mouseClick(chooser.Command1(), Qt::LeftButton);
  });
  QTest::mouseClick(Button("Command4"), Qt::LeftButton);
  EXPECT_EQ(window.AttachmentEntries(), QStringList{file});

  // Cancelling adds nothing.
  QTimer::singleShot(0, &chooser, [&] { QTest::mouseClick(chooser.Command2(), Qt::LeftButton); });
  QTest::mouseClick(Button("Command4"), Qt::LeftButton);
  EXPECT_EQ(window.AttachmentEntries(), QStringList{file});
}

TEST_F(SettingsWindowTest, DirectoryCommandsStartAtTheBoxOrTheProgramDirectory) {
  const QString out = tree.MakeDir("Out Dir/sub");
  lm::SetDir& chooser = lm::SetDirWindow();
  struct Case {
    const char* button;
    const char* box;
    QString text;
    QString start;
  };
  const Case cases[] = {
      {"Command8", "TxtArcDirect", " " + tree.Path("Out Dir") + " ", tree.Path("Out Dir")},
      {"Command8", "TxtArcDirect", "", tree.Path("prog")},
      {"Command6", "TxtExeViewDir", tree.Path("missing"), tree.Path("prog")},
      {"Command6", "TxtExeViewDir", tree.Path("out dir"), tree.Path("Out Dir")},  // letter case ignored
  };
  for (const Case& c : cases) {
    Box(c.box)->setText(c.text);
    QString startedAt;
    QTimer::singleShot(0, &chooser, [&] {
      startedAt = chooser.Dir1Path();
      EXPECT_TRUE(chooser.Option2()->isChecked());  // mode 2: directories only
      EXPECT_FALSE(chooser.Option1()->isEnabled());
      EXPECT_FALSE(chooser.Text1()->isEnabled());
      EXPECT_EQ(chooser.Text1()->text(), "");
      QTest::mouseClick(chooser.Command1(), Qt::LeftButton);
    });
    QTest::mouseClick(Button(c.button), Qt::LeftButton);
    EXPECT_EQ(startedAt, c.start) << c.button << " " << c.text.toStdString();
    EXPECT_EQ(Box(c.box)->text(), c.start);
  }
  // Cancelled: the box keeps its text.
  Box("TxtArcDirect")->setText(out);
  QTimer::singleShot(0, &chooser, [&] { QTest::keyClick(&chooser, Qt::Key_Escape); });
  QTest::mouseClick(Button("Command8"), Qt::LeftButton);
  EXPECT_EQ(Box("TxtArcDirect")->text(), out);
}

TEST_F(SettingsWindowTest, ScriptPickerValidatesWithTheScriptCheck) {
  const QString ugu = MakeScript("PICKED");
  tree.WriteFile("scripts/BROKEN.UGU", "x");
  lm::openform& picker = lm::OpenFormWindow();
  ASSERT_TRUE(picker.PointAt(tree.Path("scripts")));
  window.FillSettingsWindow();
  QTimer::singleShot(0, &picker, [&] {
    picker.Text1()->setText("BROKEN.UGU");
    QTest::mouseClick(picker.Command1(), Qt::LeftButton);
    EXPECT_TRUE(picker.isVisible());  // refused by the check
    picker.Text1()->setText("picked.ugu");
    QTest::mouseClick(picker.Command1(), Qt::LeftButton);
  });
  QTest::mouseClick(Button("Command3"), Qt::LeftButton);
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_TRUE(boxes.Texts()[0].startsWith(QStringLiteral("このスクリプト情報ファイル（UGU/PSNファイル）は有効ではありません。")));
  EXPECT_EQ(Box("Txt更新定義ファイル")->text(), tree.Path("scripts/picked.ugu"));
  EXPECT_EQ(lm::pickedFile, tree.Path("scripts/picked.ugu"));

  // Cancelled: the box keeps its text.
  QTimer::singleShot(0, &picker, [&] { QTest::mouseClick(picker.Command2(), Qt::LeftButton); });
  QTest::mouseClick(Button("Command3"), Qt::LeftButton);
  EXPECT_EQ(Box("Txt更新定義ファイル")->text(), tree.Path("scripts/picked.ugu"));
  (void)ugu;
}

TEST_F(SettingsWindowTest, PickersOpenWhereTheScriptLies) {
  const QString mine = tree.WriteFile(QStringLiteral("other place/作品/MINE.UGU"), "x");
  const QString last = tree.MakeDir("last");
  lm::openform& picker = lm::OpenFormWindow();
  lm::SetDir& chooser = lm::SetDirWindow();
  struct Case {
    std::function<void()> prepare;
    QString folder;
  } cases[] = {
      {[&] { window.FillSettingsWindow(); }, tree.Path("scripts")},                   // the current profile's
      {[&] { Box("Txt更新定義ファイル")->setText(mine); }, tree.Path(QStringLiteral("other place/作品"))},  // the one typed
      {[&] {
         window.ClearSettingsWindow();
         profileTable[0].ugu.clear();
       },
       last},  // none: where the chooser was last
  };
  for (const Case& c : cases) {
    c.prepare();
    for (lm::ChooserWindow* w : {static_cast<lm::ChooserWindow*>(&picker), static_cast<lm::ChooserWindow*>(&chooser)}) {
      ASSERT_TRUE(w->PointAt(last));
      QString shown;
      QTimer::singleShot(0, w, [&, w] {
        shown = w->Dir1Path();
        QTest::mouseClick(w->Command2(), Qt::LeftButton);
      });
      QTest::mouseClick(Button(w == &picker ? "Command3" : "Command4"), Qt::LeftButton);
      EXPECT_EQ(shown, c.folder) << w->objectName().toStdString();
    }
  }
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(SettingsWindowTest, ScriptPickerStartsAtTheLastValidProfile) {
  const QString second = MakeScript("SECOND");
  tree.WriteFile("other/THIRD.UGU", "x");
  lastProfile = 2;
  profileTable[1].ugu = second;
  profileTable[2].ugu = "";  // its script failed the check at load
  lm::openform& picker = lm::OpenFormWindow();
  picker.PointAt("/");
  lm::PointScriptPickerAtProfiles();
  EXPECT_EQ(picker.Dir1Path(), tree.Path("scripts"));
  EXPECT_EQ(picker.Text1()->text(), "SECOND.UGU");
}

TEST_F(SettingsWindowTest, BoxesSelectTheirTextWhenTheyGainFocus) {
  window.FillSettingsWindow();
  window.show();
  QApplication::setActiveWindow(&window);
  QLineEdit* name = Box("Txtプロファイル");
  QLineEdit* arc = Box("TxtArcName");
  arc->setText("archive");
  arc->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(arc->selectedText(), "archive");
  name->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
  EXPECT_EQ(name->selectedText(), "P0");
  window.hide();
}

}  // namespace

namespace {

// Every caption fits its control: labels (wrapped where they wrap), frame
// titles and button captions, in the font the window really uses.
QStringList ClippedCaptions(QWidget* window) {
  QStringList clipped;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    const QFontMetrics fm(label->font());
    const QRect need = fm.boundingRect(QRect(0, 0, label->width(), 10000),
                                       Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, label->text());
    if (need.width() > label->width() || need.height() > label->height())
      clipped << label->objectName() + QStringLiteral(" needs %1x%2, has %3x%4")
                                           .arg(need.width()).arg(need.height())
                                           .arg(label->width()).arg(label->height());
  }
  for (QGroupBox* frame : window->findChildren<QGroupBox*>()) {
    const int need = QFontMetrics(frame->font()).horizontalAdvance(frame->title()) + 16;
    if (need > frame->width()) clipped << frame->objectName() + QStringLiteral(" title");
  }
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    if (button->sizeHint().height() > button->height() + 4 ||
        QFontMetrics(button->font()).horizontalAdvance(button->text()) + 8 > button->width())
      clipped << button->objectName();
  }
  return clipped;
}

TEST(SettingsWindowLookTest, EveryCaptionFits) {
  RecordingHost host;
  lm::SETTING window(host);
  window.show();
  EXPECT_EQ(ClippedCaptions(&window).join("; ").toStdString(), "");
  EXPECT_EQ(ClippedCaptions(&lm::OpenFormWindow()).join("; ").toStdString(), "");
  EXPECT_EQ(ClippedCaptions(&lm::SetDirWindow()).join("; ").toStdString(), "");
  // With LM_SCREENSHOT_DIR set, the three windows are also saved as pictures.
  const QString dir = qEnvironmentVariable("LM_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    lm::Profile& p = profileTable[0];
    p.profile = QStringLiteral("サンプル");
    p.ugu = QStringLiteral("/home/author/scripts/SAMPLE.UGU");
    p.namearc = QStringLiteral("sample");
    p.dirarc = QStringLiteral("/home/author/dist");
    p.addfile[0] = QStringLiteral("/home/author/scripts/README.TXT");
    p.addfilecnt = 1;
    p.exewintitle = QStringLiteral("サンプルのインストール");
    p.autoview = QStringLiteral("README.TXT");
    currentProfile = lastProfile = 0;
    window.FillSettingsWindow();
    p.Clear();
    window.grab().save(dir + "/setting.png");
    lm::OpenFormWindow().show();
    lm::OpenFormWindow().grab().save(dir + "/openform.png");
    lm::SetDirWindow().show();
    lm::SetDirWindow().grab().save(dir + "/setdir.png");
    lm::OpenFormWindow().hide();
    lm::SetDirWindow().hide();
  }
  window.hide();
}

}  // namespace
