// The chooser windows openform and SetDir and the functions that set them up,
// driven through Qt Test on real directory trees.
#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include <QApplication>
#include <QComboBox>
#include <functional>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "support/scripted_message_box.h"
#include "util/scoped_env.h"
#include "support/temp_tree.h"
#include "util/message_box.h"
#include "util/ui/chooser_windows.h"
#include "util/ui/ui_look.h"

namespace {

using lm::CR;

QString Quoted(const QString& p) { return QStringLiteral("『") + p + QStringLiteral("』"); }

// A double click as a user makes it: press and release, then the double click.
void DoubleClick(QWidget* viewport, const QPoint& at) {
  QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
  QTest::mousePress(viewport, Qt::LeftButton, {}, at, 10);
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
}

QTreeWidgetItem* FindDirItem(QTreeWidget* tree, const QString& caption) {
  const auto items = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
  return items.isEmpty() ? nullptr : items.front();
}

void ClickDirItem(QTreeWidget* tree, const QString& caption) {
  QTreeWidgetItem* item = FindDirItem(tree, caption);
  ASSERT_NE(item, nullptr) << caption.toStdString();
  tree->scrollToItem(item);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

void DoubleClickDirItem(QTreeWidget* tree, const QString& caption) {
  QTreeWidgetItem* item = FindDirItem(tree, caption);
  ASSERT_NE(item, nullptr) << caption.toStdString();
  tree->scrollToItem(item);
  DoubleClick(tree->viewport(), tree->visualItemRect(item).center());
}

QRect FileItemRect(QListWidget* list, const QString& name) {
  const auto items = list->findItems(name, Qt::MatchExactly);
  EXPECT_EQ(items.size(), 1) << name.toStdString();
  if (items.isEmpty()) return {};
  list->scrollToItem(items.front());
  return list->visualItemRect(items.front());
}

bool LooksNormal(QWidget* w) {
  return w->isEnabled() &&
         w->palette().color(QPalette::Base) != QColor(QRgb(lm::kDialogGrey));
}
bool LooksDimmed(QWidget* w) {
  return !w->isEnabled() && w->palette().color(QPalette::Disabled, QPalette::Base) ==
                                QColor(QRgb(lm::kDialogGrey));
}

class ChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lm::pickedFile = QStringLiteral("<before>");
    lm::chooserResult = QStringLiteral("<before>");
  }
  void TearDown() override {
    for (lm::ChooserWindow* w : {static_cast<lm::ChooserWindow*>(&lm::OpenFormWindow()),
                                 static_cast<lm::ChooserWindow*>(&lm::SetDirWindow())})
      w->hide();
    lm::SetScriptFileCheck(nullptr);
  }
  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
};

// ---------------------------------------------------------------- set-up

TEST_F(ChooserTest, PrepareChooserSetsEachModeAndRefusesOthers) {
  lm::SetDir& w = lm::SetDirWindow();
  struct Case {
    int16_t mode;
    bool fileEntry, option1Enabled, option2Enabled, option1Selected;
  };
  const Case cases[] = {{0, true, true, true, true}, {1, true, true, false, true}, {2, false, false, true, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(lm::PrepareChooser(c.mode), 0);
    EXPECT_EQ(c.fileEntry ? LooksNormal(w.Text1()) : LooksDimmed(w.Text1()), true) << c.mode;
    EXPECT_EQ(c.fileEntry ? LooksNormal(w.File1()) : LooksDimmed(w.File1()), true) << c.mode;
    EXPECT_EQ(w.Option1()->isEnabled(), c.option1Enabled) << c.mode;
    EXPECT_EQ(w.Option2()->isEnabled(), c.option2Enabled) << c.mode;
    EXPECT_EQ(w.Option1()->isChecked(), c.option1Selected) << c.mode;
    EXPECT_EQ(w.Option2()->isChecked(), !c.option1Selected) << c.mode;
  }
  // Any other mode changes nothing: the window stays in mode 2.
  for (int16_t mode : {int16_t(5), int16_t(-1), int16_t(3)}) {
    EXPECT_EQ(lm::PrepareChooser(mode), -1);
    EXPECT_TRUE(LooksDimmed(w.Text1()));
    EXPECT_FALSE(w.Option1()->isEnabled());
    EXPECT_TRUE(w.Option2()->isChecked());
  }
}

TEST_F(ChooserTest, SetChooserKindSwitchesTheFileEntryOnly) {
  lm::SetDir& w = lm::SetDirWindow();
  ASSERT_EQ(lm::PrepareChooser(1), 0);
  EXPECT_EQ(lm::SetChooserKind(1), 0);
  EXPECT_TRUE(LooksDimmed(w.Text1()));
  EXPECT_TRUE(LooksDimmed(w.File1()));
  EXPECT_TRUE(w.Option1()->isChecked());  // the option buttons are not touched
  EXPECT_FALSE(w.Option2()->isEnabled());
  EXPECT_EQ(lm::SetChooserKind(2), -1);
  EXPECT_TRUE(LooksDimmed(w.Text1()));
  EXPECT_EQ(lm::SetChooserKind(0), 0);
  EXPECT_TRUE(LooksNormal(w.Text1()));
  EXPECT_TRUE(LooksNormal(w.File1()));
}

TEST_F(ChooserTest, OptionClicksSwitchTheLook) {
  lm::SetDir& w = lm::SetDirWindow();
  lm::PrepareChooser(0);
  w.show();
  QTest::mouseClick(w.Option2(), Qt::LeftButton);
  EXPECT_TRUE(w.Option2()->isChecked());
  EXPECT_TRUE(LooksDimmed(w.Text1()));
  QTest::mouseClick(w.Option1(), Qt::LeftButton);
  EXPECT_TRUE(w.Option1()->isChecked());
  EXPECT_TRUE(LooksNormal(w.File1()));
}

TEST(DriveListTest, OffersRealMountPointsRootFirst) {
  const QStringList drives = lm::MountPointsForDriveList();
  ASSERT_FALSE(drives.isEmpty());
  EXPECT_EQ(drives.front(), "/");
  EXPECT_EQ(drives.size(), QSet<QString>(drives.begin(), drives.end()).size());  // no duplicates
  if (QDir(QDir::homePath()).exists() && QDir::homePath() != "/") {
    EXPECT_TRUE(drives.contains(QDir::homePath()));
  }
  for (const QString& d : drives) {
    EXPECT_FALSE(d.startsWith("/proc") || d.startsWith("/sys") || d.startsWith("/dev")) << d.toStdString();
    EXPECT_TRUE(d == "/" || !d.endsWith('/')) << d.toStdString();
    EXPECT_TRUE(QFileInfo(d).isDir()) << d.toStdString();
  }
}

// ---------------------------------------------------------------- shared list behaviour

TEST_F(ChooserTest, FileListFollowsTheDirectoryAndTheFilePattern) {
  tree.WriteFile("s/SAMPLE.UGU");
  tree.WriteFile("s/other.psn");
  tree.WriteFile("s/Mixed.Ugu");
  tree.WriteFile("s/readme.txt");
  tree.WriteFile("s/.hidden.ugu");
  tree.MakeDir("s/sub.ugu");
  tree.WriteFile("s/sub.ugu/inner.psn");
  lm::openform& w = lm::OpenFormWindow();
  ASSERT_TRUE(w.PointAt(tree.Path("s"), "typed"));
  EXPECT_EQ(w.Dir1Path(), tree.Path("s"));
  EXPECT_EQ(w.Text1()->text(), "typed");
  // Only PSN/UGU files, in any letter case, no directories, no hidden files.
  EXPECT_EQ(w.File1Names(), (QStringList{"Mixed.Ugu", "other.psn", "SAMPLE.UGU"}));

  w.show();
  DoubleClickDirItem(w.Dir1(), "sub.ugu");  // opening a directory: File1 follows, Text1 empties
  EXPECT_EQ(w.Dir1Path(), tree.Path("s/sub.ugu"));
  EXPECT_EQ(w.File1Names(), QStringList{"inner.psn"});
  EXPECT_EQ(w.Text1()->text(), "");

  QTest::mouseClick(w.File1()->viewport(), Qt::LeftButton, {}, FileItemRect(w.File1(), "inner.psn").center());
  EXPECT_EQ(w.Text1()->text(), "inner.psn");

  // SetDir lists every file.
  lm::SetDir& s = lm::SetDirWindow();
  ASSERT_TRUE(s.PointAt(tree.Path("s")));
  EXPECT_EQ(s.File1Names(), (QStringList{"Mixed.Ugu", "other.psn", "readme.txt", "SAMPLE.UGU"}));
}

TEST_F(ChooserTest, DirectoryTreeShowsTheChainAndTheSubdirectories) {
  tree.MakeDir("a/b/c1");
  tree.MakeDir("a/b/C2");
  tree.MakeDir("a/b/.hidden");
  lm::SetDir& w = lm::SetDirWindow();
  ASSERT_TRUE(w.PointAt(tree.Path("a/b")));
  EXPECT_NE(FindDirItem(w.Dir1(), "/"), nullptr);
  EXPECT_NE(FindDirItem(w.Dir1(), "a"), nullptr);
  QTreeWidgetItem* b = FindDirItem(w.Dir1(), "b");
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->childCount(), 2);
  EXPECT_EQ(b->child(0)->text(0), "c1");
  EXPECT_EQ(b->child(1)->text(0), "C2");
  EXPECT_EQ(w.Dir1Highlighted(), tree.Path("a/b"));  // the opened directory until another is clicked
  EXPECT_FALSE(w.PointAt(tree.Path("nowhere")));
  EXPECT_EQ(w.Dir1Path(), tree.Path("a/b"));
}

TEST_F(ChooserTest, DriveThatCannotBeListedIsRefusedAndTheListGoesBack) {
  tree.WriteFile("d/file.txt");
  lm::SetDir& w = lm::SetDirWindow();
  w.SetDrives({"/", tree.Path(), tree.Path("unplugged")});
  ASSERT_TRUE(w.PointAt(tree.Path("d"), "file.txt"));
  EXPECT_EQ(w.Drive1()->currentText(), tree.Path());
  w.show();

  w.Drive1()->setCurrentIndex(2);  // a mount point without a medium
  EXPECT_EQ(boxes.Texts(), QStringList{"ドライブの準備ができていません。"});
  EXPECT_EQ(boxes.Shown()[0].style, 0);
  EXPECT_EQ(boxes.Shown()[0].title, "Loftmark");
  EXPECT_EQ(w.Drive1()->currentText(), tree.Path());
  EXPECT_EQ(w.Dir1Path(), tree.Path("d"));
  EXPECT_EQ(w.Text1()->text(), "");

  boxes.Clear();
  w.Drive1()->setCurrentIndex(0);  // a drive that is ready opens its root
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(w.Dir1Path(), "/");
  w.SetDrives(lm::MountPointsForDriveList());
}

// ---------------------------------------------------------------- openform

class OpenFormTest : public ChooserTest {
 protected:
  void SetUp() override {
    ChooserTest::SetUp();
    good = tree.WriteFile("s/GOOD.UGU");
    bad = tree.WriteFile("s/BAD.UGU");
    // Stands in for the script information file check.
    lm::SetScriptFileCheck([this](const QString& path, QString& message) -> int16_t {
      checked << path;
      if (path == good) return 0;
      message = QStringLiteral("invalid ") + path;
      return -2;
    });
    w = &lm::OpenFormWindow();
    ASSERT_TRUE(w->PointAt(tree.Path("s")));
    w->show();
  }
  QString good, bad;
  QStringList checked;
  lm::openform* w = nullptr;
};

TEST_F(OpenFormTest, AcceptsAValidScriptFile) {
  w->Text1()->setText("GOOD.UGU");
  w->Timer1()->start(1000);
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(lm::pickedFile, good);
  EXPECT_FALSE(w->isVisible());
  EXPECT_FALSE(w->Timer1()->isActive());
  EXPECT_EQ(w->Timer1()->interval(), 0);
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(OpenFormTest, EmptyNameInvalidOrMissingFileKeepTheWindowOpen) {
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(boxes.Texts(), QStringList{"PSN/UGUファイルが指定されていません。"});
  EXPECT_TRUE(checked.isEmpty());

  w->Text1()->setText("BAD.UGU");
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  w->Text1()->setText("MISSING.UGU");
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(boxes.Texts().mid(1), (QStringList{"invalid " + bad, "invalid " + tree.Path("s/MISSING.UGU")}));
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(lm::pickedFile, "");
}

TEST_F(OpenFormTest, WithoutACheckAMissingFileIsRefused) {
  lm::SetScriptFileCheck(nullptr);
  w->Text1()->setText("MISSING.UGU");
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("指定のファイルが存在しません。") + CR +
                                       Quoted(tree.Path("s/MISSING.UGU"))});
  EXPECT_TRUE(w->isVisible());
}

TEST_F(OpenFormTest, FaultDuringTheCheckShowsTheErrorBoxAndStays) {
  lm::SetScriptFileCheck([](const QString&, QString&) -> int16_t {
    throw std::system_error(std::make_error_code(std::errc::permission_denied), "Permission denied");
  });
  w->Text1()->setText("GOOD.UGU");
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].title, "ファイルを開けません");
  EXPECT_TRUE(boxes.Shown()[0].text.endsWith(QStringLiteral("( %1)").arg(EACCES)))
      << boxes.Shown()[0].text.toStdString();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(lm::pickedFile, "");
}

TEST_F(OpenFormTest, DoubleClickAcceptsWithoutTheOpenButton) {
  DoubleClick(w->File1()->viewport(), FileItemRect(w->File1(), "BAD.UGU").center());
  EXPECT_TRUE(w->isVisible());  // the validation message, the window stays
  EXPECT_EQ(boxes.Texts(), QStringList{"invalid " + bad});
  EXPECT_EQ(lm::pickedFile, "");

  DoubleClick(w->File1()->viewport(), FileItemRect(w->File1(), "GOOD.UGU").center());
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(lm::pickedFile, good);
  EXPECT_EQ(w->Text1()->text(), "GOOD.UGU");
}

TEST_F(OpenFormTest, CancelAfterAnEarlierPickLeavesNothingPicked) {
  w->Text1()->setText("GOOD.UGU");
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  ASSERT_EQ(lm::pickedFile, good);
  w->show();
  QTest::mouseClick(w->Command2(), Qt::LeftButton);
  EXPECT_EQ(lm::pickedFile, "");
  EXPECT_FALSE(w->isVisible());
  // Esc and the close box act as cancel too.
  for (int way = 0; way < 2; ++way) {
    lm::pickedFile = "<before>";
    w->show();
    if (way == 0)
      QTest::keyClick(w, Qt::Key_Escape);
    else
      w->close();
    EXPECT_EQ(lm::pickedFile, "") << way;
    EXPECT_FALSE(w->isVisible()) << way;
  }
}

TEST_F(OpenFormTest, ShownModallyUntilAccepted) {
  w->hide();
  QTimer::singleShot(0, [this] {
    w->Text1()->setText("GOOD.UGU");
    QTest::mouseClick(w->Command1(), Qt::LeftButton);
  });
  lm::ShowModal(*w);  // returns once the window hides itself
  EXPECT_EQ(lm::pickedFile, good);
  // The next showing finds the same directory and name.
  EXPECT_EQ(w->Dir1Path(), tree.Path("s"));
  EXPECT_EQ(w->Text1()->text(), "GOOD.UGU");
}

TEST_F(OpenFormTest, TypedPathsAreTakenAsALinuxUserMeansThem) {
  // A script elsewhere, in a folder whose name holds a blank and Japanese.
  const QString far = tree.WriteFile(QStringLiteral("作品 集/MyGhost.ugu"));
  const QString home = tree.MakeDir("home");
  const QString inHome = tree.WriteFile("home/ghosts/HOME.UGU");
  const QString below = tree.WriteFile("s/sub/BELOW.UGU");
  lmtest::ScopedEnv homeEnv("HOME", QFile::encodeName(home));
  lm::SetScriptFileCheck([](const QString& path, QString& message) -> int16_t {
    if (QFileInfo(path).isFile()) return 0;
    message = QStringLiteral("missing ") + path;
    return -1;
  });
  struct Case {
    QString typed;
    QString picked;
  } cases[] = {
      {far, far},                                          // absolute: as it stands
      {QStringLiteral("~/ghosts/HOME.UGU"), inHome},       // "~" is the home folder
      {QStringLiteral("sub/BELOW.UGU"), below},            // relative to the opened folder
      {QStringLiteral("sub/../sub/BELOW.UGU"), below},
  };
  for (const Case& c : cases) {
    lm::pickedFile = "<before>";
    ASSERT_TRUE(w->PointAt(tree.Path("s")));
    w->show();
    w->Text1()->setText(c.typed);
    QTest::mouseClick(w->Command1(), Qt::LeftButton);
    EXPECT_EQ(lm::pickedFile, c.picked) << c.typed.toStdString();
    EXPECT_FALSE(w->isVisible()) << c.typed.toStdString();
  }
  EXPECT_TRUE(boxes.Shown().empty());

  // A typed folder (absolute, "~" or relative) is opened, with no message.
  const QString folders[][2] = {{tree.Path(QStringLiteral("作品 集")), tree.Path(QStringLiteral("作品 集"))},
                                {QStringLiteral("~"), home},
                                {QStringLiteral("sub"), tree.Path("s/sub")}};
  for (const auto& f : folders) {
    ASSERT_TRUE(w->PointAt(tree.Path("s")));
    w->show();
    w->Text1()->setText(f[0]);
    QTest::mouseClick(w->Command1(), Qt::LeftButton);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->Dir1Path(), f[1]);
    EXPECT_EQ(w->Text1()->text(), "");
  }
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(OpenFormTest, EnterInTheDirectoryListOnlyOpensTheFolder) {
  tree.MakeDir("s/inner");
  ASSERT_TRUE(w->PointAt(tree.Path("s")));
  ClickDirItem(w->Dir1(), "inner");
  QTest::keyClick(w->Dir1(), Qt::Key_Return);
  EXPECT_EQ(w->Dir1Path(), tree.Path("s/inner"));
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(boxes.Shown().empty());  // no "PSN/UGUファイルが指定されていません。"
  EXPECT_TRUE(checked.isEmpty());
  QTest::keyClick(w->Dir1(), Qt::Key_Enter);  // the keypad's Enter alike
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(OpenFormTest, EnterInTheNameBoxConfirms) {
  w->Text1()->setText("GOOD.UGU");
  w->Text1()->setFocus();
  QTest::keyClick(w->Text1(), Qt::Key_Return);
  EXPECT_EQ(lm::pickedFile, good);
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(checked, QStringList{good});
}

TEST_F(OpenFormTest, EnterInTheFileListChoosesOnce) {
  w->File1()->setCurrentRow(static_cast<int>(w->File1Names().indexOf("BAD.UGU")));
  QTest::keyClick(w->File1(), Qt::Key_Return);
  EXPECT_EQ(checked, QStringList{bad});  // checked once, one message, not twice
  EXPECT_EQ(boxes.Texts(), QStringList{"invalid " + bad});
  EXPECT_TRUE(w->isVisible());
}

TEST_F(ChooserTest, DriveBoxFollowsTheFolderOnView) {
  tree.MakeDir("drive/inner");
  tree.MakeDir("other");
  lm::SetDir& w = lm::SetDirWindow();
  w.SetDrives({"/", tree.Path("drive")});
  ASSERT_TRUE(w.PointAt(tree.Path("other")));
  EXPECT_EQ(w.Drive1()->currentText(), "/");
  w.show();
  struct Step {
    std::function<void()> act;
    QString drive;
  } steps[] = {
      {[&] { w.SetDir1Path(tree.Path("drive/inner")); }, tree.Path("drive")},  // browsing into the drive
      {[&] {
         ClickDirItem(w.Dir1(), "/");
         QTest::keyClick(w.Dir1(), Qt::Key_Return);
       },
       "/"},  // and out again through the directory list
      {[&] {
         lm::PrepareChooser(1);
         w.Text1()->setText(tree.Path("drive"));  // a typed folder
         QTest::mouseClick(w.Command1(), Qt::LeftButton);
       },
       tree.Path("drive")},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(w.Drive1()->currentText(), step.drive) << w.Dir1Path().toStdString();
  }
  EXPECT_TRUE(boxes.Shown().empty());
  w.SetDrives(lm::MountPointsForDriveList());
}

// ---------------------------------------------------------------- SetDir

class SetDirTest : public ChooserTest {
 protected:
  void SetUp() override {
    ChooserTest::SetUp();
    file = tree.WriteFile("top/a.txt");
    sub = tree.MakeDir("top/sub");
    w = &lm::SetDirWindow();
    ASSERT_TRUE(w->PointAt(tree.Path("top")));
    w->show();
  }
  QString file, sub;
  lm::SetDir* w = nullptr;
};

TEST_F(SetDirTest, FileChoiceAcceptsAnExistingFileOnly) {
  lm::PrepareChooser(0);
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(boxes.Texts(), QStringList{"ファイルが指定されていません。"});
  EXPECT_TRUE(w->isVisible());

  boxes.Clear();
  w->Text1()->setText("gone.txt");
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("指定のファイルが存在しません。") + CR +
                                       Quoted(tree.Path("top/gone.txt"))});
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(lm::chooserResult, "");

  QTest::mouseClick(w->File1()->viewport(), Qt::LeftButton, {}, FileItemRect(w->File1(), "a.txt").center());
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(lm::chooserResult, file);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(SetDirTest, FileDoubleClickAccepts) {
  lm::PrepareChooser(1);
  DoubleClick(w->File1()->viewport(), FileItemRect(w->File1(), "a.txt").center());
  EXPECT_EQ(lm::chooserResult, file);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(SetDirTest, DirectoryChoiceReturnsTheHighlightedDirectory) {
  lm::PrepareChooser(2);
  ClickDirItem(w->Dir1(), "sub");  // highlighted, not opened
  EXPECT_EQ(w->Dir1Path(), tree.Path("top"));
  QTest::mouseClick(w->Command1(), Qt::LeftButton);  // an empty Text1 is no error here
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(lm::chooserResult, sub);
  EXPECT_FALSE(w->isVisible());

  // Without a click the opened directory is the highlighted one.
  lm::chooserResult = "<before>";
  w->show();
  ASSERT_TRUE(w->PointAt(tree.Path("top")));
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(lm::chooserResult, tree.Path("top"));
}

TEST_F(SetDirTest, MissingDirectoryKeepsTheWindowOpen) {
  lm::PrepareChooser(0);
  QTest::mouseClick(w->Option2(), Qt::LeftButton);
  ClickDirItem(w->Dir1(), "sub");
  ASSERT_TRUE(QDir(sub).removeRecursively());  // gone while the window shows it
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("指定のディレクトリが存在しません。") + CR + Quoted(sub)});
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(lm::chooserResult, "");
}

TEST_F(SetDirTest, CancelEmptiesTheResult) {
  lm::PrepareChooser(0);
  w->Text1()->setText("a.txt");
  w->Timer1()->start(1000);
  QTest::mouseClick(w->Command2(), Qt::LeftButton);
  EXPECT_EQ(lm::chooserResult, "");
  EXPECT_FALSE(w->isVisible());
  EXPECT_FALSE(w->Timer1()->isActive());
  lm::chooserResult = "<before>";
  w->show();
  QTest::keyClick(w, Qt::Key_Escape);
  EXPECT_EQ(lm::chooserResult, "");
}

TEST_F(SetDirTest, FileAtTheRootHoldsTwoSeparators) {
  lm::PrepareChooser(1);
  ASSERT_TRUE(w->PointAt("/", "no-such-file-for-a-test"));
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("指定のファイルが存在しません。") + CR +
                                       Quoted("//no-such-file-for-a-test")});
}

TEST_F(SetDirTest, TypedFolderIsTheChoiceWhereFoldersMayBeChosen) {
  const QString elsewhere = tree.MakeDir(QStringLiteral("別の 場所"));
  tree.WriteFile(QStringLiteral("別の 場所/doc.txt"));
  lm::PrepareChooser(0);
  w->Text1()->setText(elsewhere + "/");
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(lm::chooserResult, elsewhere);
  EXPECT_FALSE(w->isVisible());

  // Files only: the folder is opened to pick from; then a typed file is taken.
  lm::chooserResult = "<before>";
  ASSERT_TRUE(w->PointAt(tree.Path("top")));
  w->show();
  lm::PrepareChooser(1);
  w->Text1()->setText(elsewhere);
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->Dir1Path(), elsewhere);
  EXPECT_EQ(w->File1Names(), QStringList{"doc.txt"});
  w->Text1()->setText(file);  // absolute, in another folder
  QTest::mouseClick(w->Command1(), Qt::LeftButton);
  EXPECT_EQ(lm::chooserResult, file);
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(SetDirTest, ShownModallyUntilCancelled) {
  w->hide();
  QTimer::singleShot(0, [this] { QTest::mouseClick(w->Command2(), Qt::LeftButton); });
  lm::ShowModal(*w);
  EXPECT_EQ(lm::chooserResult, "");
}

TEST_F(SetDirTest, OpensWithTheFocusInTheNameBoxOrTheFirstUsableList) {
  struct Case {
    int mode;
    const char* focused;
  } cases[] = {{0, "Text1"}, {1, "Text1"}, {2, "Dir1"}};
  for (const Case& c : cases) {
    w->hide();
    w->Option1()->setFocus();  // where an earlier showing may have left it
    ASSERT_EQ(lm::PrepareChooser(static_cast<int16_t>(c.mode)), 0);
    QString focused;
    QTimer::singleShot(0, [&] {
      focused = w->focusWidget() ? w->focusWidget()->objectName() : QString();
      QTest::mouseClick(w->Command2(), Qt::LeftButton);
    });
    lm::ShowModal(*w);
    EXPECT_EQ(focused, c.focused) << c.mode;
  }
  // The choice between file and directory comes after the two commands.
  QWidget* next = w->Command2()->nextInFocusChain();
  while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
  EXPECT_EQ(next, w->Option1());
}

TEST_F(ChooserTest, CaptionsAndControlNames) {
  lm::openform& o = lm::OpenFormWindow();
  lm::SetDir& s = lm::SetDirWindow();
  EXPECT_EQ(o.objectName(), "openform");
  EXPECT_EQ(o.windowTitle(), "ファイルを開く");
  EXPECT_EQ(s.objectName(), "SetDir");
  EXPECT_EQ(s.windowTitle(), "ディレクトリ、またはファイルの指定");
  EXPECT_EQ(o.Command1()->text(), "開く");
  EXPECT_EQ(o.Command2()->text(), "キャンセル");
  EXPECT_EQ(s.Command1()->text(), "決定");
  EXPECT_EQ(s.Command2()->text(), "取り消し");
  EXPECT_EQ(s.Option1()->text(), "ファイルを指定");
  EXPECT_EQ(s.Option2()->text(), "ディレクトリを指定");
  for (QWidget* w : {static_cast<QWidget*>(&o), static_cast<QWidget*>(&s)})
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Text1", "File1", "Dir1", "Drive1",
                             "Command1", "Command2"})
      EXPECT_NE(w->findChild<QWidget*>(name), nullptr) << name;
  EXPECT_NE(s.findChild<QWidget*>("Frame1"), nullptr);
  EXPECT_NE(o.findChild<QTimer*>("Timer1"), nullptr);
  EXPECT_EQ(o.size(), QSize(lm::Twips(6450), lm::Twips(4125)));
  EXPECT_EQ(s.size(), QSize(lm::Twips(6330), lm::Twips(4095)));
  // Tab order: Text1, File1, Dir1, Drive1, Command1, Command2.
  QWidget* w = o.Text1();
  for (const char* name : {"File1", "Dir1", "Drive1", "Command1", "Command2"}) {
    w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
    EXPECT_EQ(w->objectName(), name);
  }
}

}  // namespace
