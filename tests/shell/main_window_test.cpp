// The main window FIND after the real start-up, driven with Qt Test on the
// offscreen platform. Message boxes go to the scripted fake.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QDialog>
#include <QDesktopServices>
#include <QMessageBox>
#include <QAction>
#include <functional>
#include <QUrl>

#include <curl/curl.h>

#include "profiles/profile_store.h"
#include "profiles/vendor_link.h"
#include "shell/about_text.h"
#include "shell/instance_guard.h"
#include "shell/ui/main_window.h"
#include "shell/ui/startup.h"
#include "support/empty_profiles.h"
#include "support/file_drop.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "support/window_session.h"
#include "util/app_globals.h"
#include "util/text_file.h"

namespace {

using lm::currentProfile;
using lm::lastProfile;
using lm::profileTable;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lmtest::ResetProfiles();
    lm::makeTmpIndex = 0;
    programFolder = tree.MakeDir("bin");
    executable = tree.WriteFile("bin/loftmark", "#!");
    runtime = tree.MakeDir("run");
    session = std::make_unique<lmtest::WindowSession>(programFolder, runtime);
    previousOpener = lm::SetUrlOpener([this](const QString& url) {
      opened << url;
      return 42;
    });
  }

  void TearDown() override {
    lmtest::WindowSession::End(window);
    lm::SetUrlOpener(previousOpener);
    session.reset();
  }

  void Start() {
    lm::StartupHooks hooks;
    hooks.endProcess = [this] { ++ended; };
    window = lm::StartLoftmark(executable, hooks);
    ASSERT_NE(window, nullptr);
  }

  void Activate() {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  // A regular script NAME.UGU beside NAME/DAT/mio00.euu, with an index file
  // when `nextUpdate` is given.
  QString MakeScript(const QString& name, const QString& nextUpdate = QString()) {
    const QString ugu = tree.WriteFile("scripts/" + name + ".UGU", "x");
    tree.WriteFile("scripts/" + name + "/DAT/mio00.euu", "x");
    tree.WriteFile("scripts/" + name + "/DAT/data/one.txt", "hello");
    if (!nextUpdate.isEmpty())
      tree.WriteFile("scripts/" + name + "/DAT/index.fet",
                     ("#NextUpdate " + nextUpdate + " \r\n").toLatin1());
    return ugu;
  }

  // Writes lfup.ini with one profile per (name, ugu) pair.
  void WriteSettings(const QList<QPair<QString, QString>>& profiles, int defaultIndex = -1) {
    QByteArray ini;
    for (int i = 0; i < profiles.size(); ++i) {
      const QByteArray n = QString::asprintf("%03d", i).toLatin1();
      ini += "profile(" + n + ")=" + profiles[i].first.toUtf8() + "\r\n";  // ASCII names only
      ini += "ugu(" + n + ")=" + profiles[i].second.toUtf8() + "\r\n";
      ini += "default(" + n + ")=" + (i == defaultIndex ? "1" : "0") + "\r\n";
    }
    tree.WriteFile("bin/lfup.ini", ini);
  }

  template <class T>
  T* Find(const char* name) const {
    T* w = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  QStringList ComboTexts(QComboBox* box) const {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
  }

  QStringList ListTexts() const {
    QStringList out;
    auto* list = Find<QListWidget>("List1");
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
  }

  QStringList Boxes() const {
    QStringList out;
    for (const char* n : {"Text1", "Text2", "Text3", "Text5", "Text6"})
      out << Find<QLineEdit>(n)->text();
    return out;
  }

  void Drop(QWidget* target, const QStringList& files) { lmtest::DropFiles(target, files); }

  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
  QString programFolder, executable, runtime;
  std::unique_ptr<lmtest::WindowSession> session;
  lm::UrlOpener previousOpener;
  QStringList opened;
  int ended = 0;
  std::unique_ptr<lm::FIND> window;
};

// ---- start-up ----

TEST_F(MainWindowTest, StartsWithDefaultProfileWithoutSettingsFile) {
  Start();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Loftmark");
  EXPECT_EQ(ComboTexts(Find<QComboBox>("Combo2")), QStringList({"Default"}));
  EXPECT_EQ(Find<QComboBox>("Combo2")->currentIndex(), 0);
  EXPECT_EQ(currentProfile, 0);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), "");
  EXPECT_EQ(Find<QLineEdit>("Text1")->text(), QString::number(QDate::currentDate().year()));

  auto* combo1 = Find<QComboBox>("Combo1");
  EXPECT_EQ(ComboTexts(combo1), QStringList({"Quilletｽｸﾘﾌﾟﾄﾊﾟｯｹｰｼﾞ形式(QSC)", "LHA形式(LZH)",
                                             "LHA自己解凍形式(EXE)", "全ての種類のﾊﾟｯｹｰｼﾞを作成"}));
  EXPECT_EQ(combo1->currentText(), "Quilletｽｸﾘﾌﾟﾄﾊﾟｯｹｰｼﾞ形式(QSC)");
  EXPECT_FALSE(combo1->isEnabled());
  EXPECT_FALSE(Find<QCheckBox>("Check1")->isChecked());
  EXPECT_EQ(lm::makeTmpIndex, 0);
  EXPECT_EQ(Find<QLabel>("LblVersion")->text(), "Ver.0.54");
  EXPECT_TRUE(Find<QRadioButton>("Option1")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>("Option3")->isEnabled());
  EXPECT_EQ(lm::timeZoneBias, lm::ReadTimeZoneBias());
  EXPECT_EQ(lm::programDir, programFolder);
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(MainWindowTest, ListsProfilesInTableOrderAndSelectsTheFirst) {
  const QString a = MakeScript("ALPHA", "2030 4 5 6 7");
  const QString b = MakeScript("BETA", "2031 1 2 3 4");
  const QString c = MakeScript("GAMMA");
  WriteSettings({{"alpha", a}, {"beta", b}, {"gamma", c}}, 2);
  Start();
  auto* combo2 = Find<QComboBox>("Combo2");
  EXPECT_EQ(ComboTexts(combo2), QStringList({"alpha", "beta", "gamma"}));
  EXPECT_EQ(combo2->currentIndex(), 0);
  EXPECT_EQ(currentProfile, 0);
  EXPECT_EQ(lastProfile, 2);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), a);
  EXPECT_EQ(Boxes(), QStringList({"2030", "4", "5", "6", "7"}));
}

TEST_F(MainWindowTest, SelectingAProfileShowsItsScriptAndNextUpdate) {
  const QString a = MakeScript("ALPHA", "2030 4 5 6 7");
  const QString b = MakeScript("BETA", "2031 1 2 3 4");
  const QString c = MakeScript("GAMMA");  // no index.fet
  WriteSettings({{"alpha", a}, {"beta", b}, {"gamma", c}});
  Start();
  auto* combo2 = Find<QComboBox>("Combo2");
  combo2->setCurrentIndex(1);
  EXPECT_EQ(currentProfile, 1);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), b);
  EXPECT_EQ(Boxes(), QStringList({"2031", "1", "2", "3", "4"}));

  combo2->setCurrentIndex(2);
  EXPECT_EQ(currentProfile, 2);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), c);
  const QDateTime now = QDateTime::currentDateTime();
  EXPECT_EQ(Boxes()[0], QString::number(now.date().year()));
  EXPECT_EQ(Boxes()[1], QString::number(now.date().month()));
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(MainWindowTest, ProfileOfAnUnmountedScriptSurvivesAStartAndClose) {
  // Every field of a profile, the Japanese ones included, as the program writes them.
  const QString kept = MakeScript("KEPT");
  const QString gone = MakeScript("GONE");
  const QString dist = tree.MakeDir(QStringLiteral("scripts/配布 先"));
  QStringList stored;
  auto profile = [&](int n, const QString& name, const QString& ugu) {
    const QString nnn = QString::asprintf("%03d", n);
    auto line = [&](const QString& key, const QString& value) { stored << key + "(" + nnn + ")=" + value; };
    line("profile", name);
    line("ugu", ugu);
    line("namearc", QStringLiteral("作品") + nnn);
    line("dirarc", dist);
    line("addarc", "-jp");
    line("addfilecnt", "2");
    line("addfile", "000" + tree.Path("scripts/readme.txt"));
    line("addfile", QStringLiteral("001/お知らせ/"));
    line("default", n == 0 ? "1" : "0");
    for (const char* key : {"exewintitle", "exeviewdir", "autoview", "server", "userid", "password", "dirserver"})
      line(QLatin1String(key), QLatin1String(key) + QStringLiteral("の値") + nnn);
  };
  profile(0, QStringLiteral("残る"), kept);
  profile(1, QStringLiteral("消えた"), gone);
  ASSERT_TRUE(lm::WriteTextLines(tree.Path("bin/lfup.ini"), stored));

  // The disk holding GONE is not there at start-up: the folder is renamed.
  ASSERT_TRUE(QDir().rename(tree.Path("scripts/GONE"), tree.Path("scripts/GONE.away")));
  ASSERT_TRUE(QFile::rename(gone, gone + ".away"));
  Start();
  ASSERT_EQ(boxes.Shown().size(), 1u);  // one message names the profile
  EXPECT_EQ(boxes.Shown()[0].style, 48);
  EXPECT_TRUE(boxes.Texts()[0].contains(QStringLiteral("消えた　『") + gone + QStringLiteral("』")));
  EXPECT_FALSE(boxes.Texts()[0].contains(QStringLiteral("残る")));
  EXPECT_EQ(ComboTexts(Find<QComboBox>("Combo2")), QStringList({QStringLiteral("残る"), QStringLiteral("消えた")}));

  // Selected, it shows its path; the index run says the file is missing.
  boxes.Clear();
  Find<QComboBox>("Combo2")->setCurrentIndex(1);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), gone);
  const QStringList nextUpdate = {QString::number(QDate::currentDate().year() + 1), "1", "2", "3", "4"};
  int k = 0;
  for (const char* n : {"Text1", "Text2", "Text3", "Text5", "Text6"}) Find<QLineEdit>(n)->setText(nextUpdate[k++]);
  QTest::mouseClick(Find<QPushButton>("Command1"), Qt::LeftButton);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_TRUE(boxes.Texts()[0].startsWith(QStringLiteral("スクリプト情報ファイル（UGU/PSNファイル）が存在しません。")))
      << boxes.Texts()[0].toStdString();
  Find<QComboBox>("Combo2")->setCurrentIndex(0);
  window->close();
  window.reset();
  lm::ReleaseInstanceGuard();
  lm::ReleaseInstanceLock();

  // The disk is back: the next start finds everything as it was, with no message.
  ASSERT_TRUE(QDir().rename(tree.Path("scripts/GONE.away"), tree.Path("scripts/GONE")));
  ASSERT_TRUE(QFile::rename(gone + ".away", gone));
  boxes.Clear();
  lmtest::ResetProfiles();
  Start();
  EXPECT_TRUE(boxes.Shown().empty());
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(tree.Path("bin/lfup.ini"), lines));
  EXPECT_EQ(lines, stored);
  EXPECT_EQ(profileTable[1].ugu, gone);
  EXPECT_EQ(profileTable[1].namearc, QStringLiteral("作品001"));
  EXPECT_EQ(profileTable[1].addfilecnt, 2);
  EXPECT_EQ(profileTable[1].exewintitle, QStringLiteral("exewintitleの値001"));
}

TEST_F(MainWindowTest, StartupStepsOfOtherWindowsRunInTheirPlace) {
  const QString a = MakeScript("ALPHA");
  WriteSettings({{"alpha", a}, {"beta", a}});
  QStringList steps;
  lm::StartupHooks hooks;
  hooks.clearSettingsWindow = [&](lm::FIND& w) {
    steps << QStringLiteral("clear visible=%1 profiles=%2 entries=%3")
                 .arg(w.isVisible())
                 .arg(lastProfile + 1)
                 .arg(w.Combo2()->count());
  };
  hooks.profilesLoaded = [&](lm::FIND& w) {
    steps << QStringLiteral("loaded profiles=%1 entries=%2 combo1=%3")
                 .arg(lastProfile + 1)
                 .arg(w.Combo2()->count())
                 .arg(w.Combo1()->count());
  };
  window = lm::StartLoftmark(executable, hooks);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(steps, QStringList({"clear visible=1 profiles=1 entries=0",
                                "loaded profiles=2 entries=0 combo1=4"}));
}

// ---- layout ----

TEST_F(MainWindowTest, EveryControlHasItsKindContainerAndPlace) {
  Start();
  struct Case {
    const char* name;
    const char* kind;
    const char* container;
    QRect twips;
  };
  const Case cases[] = {
      {"Frame2", "QGroupBox", "client", {240, 1680, 5655, 2415}},
      {"Check1", "QCheckBox", "Frame2", {120, 1260, 5415, 255}},
      {"Text1", "lm::DigitBox", "Frame2", {1740, 660, 555, 315}},
      {"Text2", "lm::DigitBox", "Frame2", {2580, 660, 375, 315}},
      {"Text3", "lm::DigitBox", "Frame2", {3240, 660, 375, 315}},
      {"Text5", "lm::DigitBox", "Frame2", {4080, 660, 375, 315}},
      {"Text6", "lm::DigitBox", "Frame2", {4740, 660, 375, 315}},
      {"List1", "QListWidget", "Frame2", {120, 1500, 5415, 780}},
      {"Text4", "QLineEdit", "Frame2", {120, 300, 5415, 270}},
      {"Label9", "QLabel", "Frame2", {120, 1020, 3495, 195}},
      {"Label1", "QLabel", "Frame2", {2340, 720, 255, 195}},
      {"Label2", "QLabel", "Frame2", {3000, 720, 375, 195}},
      {"Label3", "QLabel", "Frame2", {3660, 720, 375, 195}},
      {"Label4", "QLabel", "Frame2", {120, 720, 1755, 195}},
      {"Label7", "QLabel", "Frame2", {4500, 720, 375, 195}},
      {"Label8", "QLabel", "Frame2", {5160, 720, 375, 195}},
      {"Frame3", "QGroupBox", "client", {240, 660, 5655, 975}},
      {"Frame4", "QGroupBox", "Frame3", {4380, 120, 1155, 795}},
      {"Command5", "QPushButton", "Frame4", {120, 180, 915, 255}},
      {"Command6", "QPushButton", "Frame4", {120, 480, 915, 255}},
      {"Combo2", "QComboBox", "Frame3", {180, 300, 3195, 300}},
      {"Command4", "QPushButton", "Frame3", {3420, 300, 735, 315}},
      {"Frame1", "QGroupBox", "client", {240, 4140, 4155, 1455}},
      {"Combo1", "QComboBox", "Frame1", {420, 780, 3435, 300}},
      {"Option3", "QRadioButton", "Frame1", {180, 1140, 3915, 195}},
      {"Option2", "QRadioButton", "Frame1", {180, 540, 3735, 195}},
      {"Option1", "QRadioButton", "Frame1", {180, 240, 3795, 195}},
      {"Command3", "QPushButton", "client", {4560, 5040, 1275, 375}},
      {"Command1", "QPushButton", "client", {4560, 4560, 1275, 375}},
      {"Image1", "lm::LogoImage", "client", {4860, 0, 1050, 645}},
      {"Label10", "QLabel", "client", {1020, -60, 2715, 495}},
      {"Label15", "QLabel", "client", {1080, 0, 2715, 495}},
      {"LblVersion", "QLabel", "client", {3480, 180, 1215, 375}},
      {"Shape2", "QFrame", "client", {240, 360, 4575, 195}},
  };
  for (const auto& c : cases) {
    QWidget* w = window->findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(w, nullptr) << c.name;
    EXPECT_STREQ(w->metaObject()->className(), c.kind) << c.name;
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(c.container)) << c.name;
    const QRect px(c.twips.x() / 15, c.twips.y() / 15, c.twips.width() / 15,
                   c.twips.height() / 15);
    EXPECT_EQ(w->geometry(), px) << c.name;
  }
  EXPECT_EQ(window->centralWidget()->size(), QSize(413, 389));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());  // fixed border
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainWindowTest, CaptionsAndMenus) {
  Start();
  const QPair<const char*, QString> captions[] = {
      {"Check1", "indextmp.fetを作成する (通常は必要ありません。)"},
      {"Command5", "新規追加"},
      {"Command6", "削除"},
      {"Command4", "設定"},
      {"Option3", "修正されたファイルをサーバーにアップロード"},
      {"Option2", "更新定義ファイルと配布用アーカイブを作成"},
      {"Option1", "更新定義ファイル(*.fet)のみを作成"},
      {"Command3", "終了"},
      {"Command1", "処理の実行"},
  };
  for (const auto& [name, text] : captions)
    EXPECT_EQ(Find<QAbstractButton>(name)->text(), text) << name;
  const QPair<const char*, QString> labels[] = {
      {"Label9", "※時刻は24時間表記で指定してください。"},
      {"Label1", "年"},
      {"Label2", "月"},
      {"Label3", "日"},
      {"Label4", "次回更新予定日時"},
      {"Label7", "時"},
      {"Label8", "分"},
      {"Label10", " Loftmark"},
      {"Label15", " Loftmark"},
  };
  for (const auto& [name, text] : labels) EXPECT_EQ(Find<QLabel>(name)->text(), text) << name;
  EXPECT_EQ(Find<QGroupBox>("Frame3")->title(), "対象スクリプトのプロファイル");
  EXPECT_EQ(Find<QLineEdit>("Text1")->maxLength(), 4);
  for (const char* n : {"Text2", "Text3", "Text5", "Text6"})
    EXPECT_EQ(Find<QLineEdit>(n)->maxLength(), 2) << n;
  EXPECT_TRUE(Find<QLineEdit>("Text4")->isReadOnly());
  EXPECT_FALSE(Find<QComboBox>("Combo2")->isEditable());
  EXPECT_EQ(Find<QLineEdit>("Text4")->palette().color(QPalette::Base), QColor(192, 192, 192));
  EXPECT_EQ(Find<QListWidget>("List1")->palette().color(QPalette::Base), QColor(192, 192, 192));
  EXPECT_EQ(Find<QLabel>("Label15")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(Find<QLabel>("LblVersion")->palette().color(QPalette::WindowText),
            QColor(255, 255, 128));
  EXPECT_EQ(Find<QLabel>("Image1")->pixmap().size(), QSize(70, 43));
  EXPECT_EQ(Find<QLabel>("Image1")->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(Find<QPushButton>("Command1")->isDefault());

  const QPair<const char*, QString> actions[] = {
      {"m_file", "ファイル(&F)"},
      {"m_new", "新規プロファイルの追加(&N)"},
      {"m_openarcdir", "アーカイブの保存先を開く"},
      {"m_exit", "終了(&X)"},
      {"m_settei", "設定(&S)"},
      {"m_setprofile", "現在のプロファイルの設定(&T)"},
      {"m_verify", "サーバーの内容を確認(&V)"},
      {"m_help", "ヘルプ(&H)"},
      {"m_readme", "READMEを開く(&R)"},
      {"m_about", "バージョン情報(&A)"},
  };
  for (const auto& [name, text] : actions) {
    QAction* a = Find<QAction>(name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(a->text(), text) << name;
  }
  const auto menus = window->menuBar()->actions();
  ASSERT_EQ(menus.size(), 3);
  EXPECT_EQ(menus[0]->menu()->actions()[0]->objectName(), "m_new");
  EXPECT_EQ(menus[0]->menu()->actions()[1]->objectName(), "m_openarcdir");
  EXPECT_EQ(menus[0]->menu()->actions()[2]->objectName(), "m_exit");
  EXPECT_EQ(menus[1]->menu()->actions()[0]->objectName(), "m_setprofile");
  EXPECT_EQ(menus[1]->menu()->actions()[1]->objectName(), "m_verify");
  EXPECT_EQ(menus[2]->menu()->actions()[0]->objectName(), "m_readme");
  EXPECT_EQ(menus[2]->menu()->actions()[1]->objectName(), "m_about");
}

// Records what the desktop is asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QStringList opened;
 public slots:
  void Open(const QUrl& url) { opened << url.toString(); }
};

QByteArray FileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// The text of the version box, read as it is shown.
QString AboutBoxText(QAction* about) {
  QString text;
  QString title;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    text = box->text();
    title = box->windowTitle();
    box->accept();
  });
  about->trigger();
  EXPECT_EQ(title, QStringLiteral("バージョン情報"));
  return text;
}

TEST_F(MainWindowTest, VersionBoxNamesTheLicenceAndEveryLibraryWithItsVersion) {
  Start();
  const QString text = AboutBoxText(Find<QAction>("m_about"));
  // The versions as the libraries themselves report them here.
  const curl_version_info_data* curl = curl_version_info(CURLVERSION_NOW);
  QStringList parts = {QStringLiteral("Loftmark Ver.0.54"),
                       QStringLiteral("Loftmark は MIT ライセンスで公開されています。"),
                       QStringLiteral("Copyright (c) 2026 The Loftmark authors"),
                       QStringLiteral("UnLHA32.DLL"),
                       QStringLiteral("Cab32.DLL"),
                       QStringLiteral("Qt  ") + QString::fromLatin1(qVersion()) + QStringLiteral("（GNU LGPL v3）"),
                       QStringLiteral("libcurl  ") + QString::fromLatin1(curl->version) + QStringLiteral("（curl ライセンス"),
                       QStringLiteral("QtKeychain  0."),
                       QStringLiteral("libgcab  1."),
                       QStringLiteral("GLib  2."),
                       QStringLiteral("GNU C ライブラリ  ")};
  // What libcurl was built with: the TLS library and the SSH library.
  if (curl->ssl_version) parts << QString::fromLatin1(curl->ssl_version).section(QLatin1Char('/'), 0, 0) + QStringLiteral("  ");
  if (curl->libssh_version)
    parts << QString::fromLatin1(curl->libssh_version).replace(QLatin1Char('/'), QStringLiteral("  ")) +
                 QStringLiteral("（BSD");
  for (const QString& part : parts) EXPECT_TRUE(text.contains(part)) << part.toStdString() << "\n" << text.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("定められていません")));
  // No line names a library without a version.
  EXPECT_FALSE(text.contains(QStringLiteral("  ?（"))) << text.toStdString();
  // Which folders hold lfup.ini and the working files: the writable program
  // folder here.
  EXPECT_TRUE(text.contains(QStringLiteral("設定ファイル (lfup.ini): ") + programFolder)) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("プログラムのフォルダに保存します"))) << text.toStdString();

  // The version text itself names each archiver library with its version
  // as found beside the program.
  const QString about = lm::AboutText(QStringLiteral("Ver.0.54"));
  EXPECT_TRUE(about.contains(QStringLiteral("UnLHA32.DLL  見つかりません")));  // the test's program folder has none
  lm::SetExecutableDirForTesting(QStringLiteral(LM_BIN_DIR));
  lm::programDir = QStringLiteral(LM_BIN_DIR);
  EXPECT_TRUE(lm::AboutText(QStringLiteral("Ver.0.54")).contains(QStringLiteral("UnLHA32.DLL  1.00（Loftmark の一部、MIT ライセンス）")))
      << lm::AboutText(QStringLiteral("Ver.0.54")).toStdString();
  lm::SetExecutableDirForTesting(programFolder);
  lm::programDir = programFolder;
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(MainWindowTest, ReadmeIsTheOneBesideTheProgramThenTheInstalledOne) {
  Start();
  const QString installed = QStringLiteral("/usr/share/doc/loftmark/README.md");
  EXPECT_EQ(lm::DocumentCandidates(QStringLiteral("README.md")), (QStringList{programFolder + "/README.md", installed}));

  // Nothing beside the program: the installed package's README when there
  // is one on this machine, else a message naming both places.
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
  Find<QAction>("m_readme")->trigger();
  if (QFileInfo(installed).isFile()) {
    EXPECT_EQ(recorder.opened, QStringList{QUrl::fromLocalFile(installed).toString()});
    EXPECT_TRUE(boxes.Shown().empty());
  } else {
    EXPECT_TRUE(recorder.opened.isEmpty());
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].style, 48);
    EXPECT_EQ(boxes.Texts()[0], QStringLiteral("READMEが見つかりません。\r『") + programFolder +
                                    QStringLiteral("/README.md』\r『") + installed + QStringLiteral("』"));
  }
  boxes.Clear();
  recorder.opened.clear();

  // The README the build put beside the program wins, and the version box
  // links it and the licence; the source tree's README is never opened.
  tree.WriteFile("bin/README.md", "# Loftmark\n");
  tree.WriteFile("bin/LICENSE", "MIT License\n");
  Find<QAction>("m_readme")->trigger();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(recorder.opened, QStringList{QUrl::fromLocalFile(programFolder + "/README.md").toString()});
  EXPECT_TRUE(boxes.Shown().empty());
  const QString text = AboutBoxText(Find<QAction>("m_about"));
  EXPECT_TRUE(text.contains(QUrl::fromLocalFile(programFolder + "/README.md").toString(QUrl::FullyEncoded) + "\">README.md</a>"))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QUrl::fromLocalFile(programFolder + "/LICENSE").toString(QUrl::FullyEncoded) + "\">LICENSE</a>"))
      << text.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral(LM_SOURCE_DIR))) << text.toStdString();

  // The build ships both documents into its program folder.
  EXPECT_EQ(FileBytes(QStringLiteral(LM_BIN_DIR "/README.md")), FileBytes(QStringLiteral(LM_SOURCE_DIR "/README.md")));
  EXPECT_EQ(FileBytes(QStringLiteral(LM_BIN_DIR "/LICENSE")), FileBytes(QStringLiteral(LM_SOURCE_DIR "/LICENSE")));
}

TEST_F(MainWindowTest, TabGoesThroughTheControlsInOrder) {
  Start();
  Activate();
  const char* order[] = {"Combo2", "Command4", "Command5", "Command6", "Text4", "Text1",
                         "Text2",  "Text3",    "Text5",    "Text6",    "Check1", "List1",
                         "Option1", "Command1", "Command3"};
  Find<QWidget>("Combo2")->setFocus(Qt::OtherFocusReason);
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    ASSERT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(order[i]));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "Command3");
}

// ---- handlers ----

TEST_F(MainWindowTest, OptionsSwitchCombo1) {
  Start();
  auto* combo1 = Find<QComboBox>("Combo1");
  QTest::mouseClick(Find<QRadioButton>("Option2"), Qt::LeftButton);
  EXPECT_TRUE(Find<QRadioButton>("Option2")->isChecked());
  EXPECT_TRUE(combo1->isEnabled());
  QTest::mouseClick(Find<QRadioButton>("Option1"), Qt::LeftButton);
  EXPECT_TRUE(Find<QRadioButton>("Option1")->isChecked());
  EXPECT_FALSE(combo1->isEnabled());
  QTest::mouseClick(Find<QRadioButton>("Option3"), Qt::LeftButton);  // disabled
  EXPECT_TRUE(Find<QRadioButton>("Option1")->isChecked());
}

TEST_F(MainWindowTest, Option3IsEnabledWhileTheCurrentProfileNamesAServer) {
  const QString ugu = MakeScript("UP");
  QByteArray ini = "profile(000)=local\r\nugu(000)=" + ugu.toUtf8() + "\r\ndefault(000)=1\r\n";
  ini += "profile(001)=remote\r\nugu(001)=" + ugu.toUtf8() + "\r\ndefault(001)=0\r\n";
  ini += "server(001)=ftps://ftp.example.jp\r\n";
  tree.WriteFile("bin/lfup.ini", ini);
  Start();
  auto* option3 = Find<QRadioButton>("Option3");
  EXPECT_FALSE(option3->isEnabled());
  Find<QComboBox>("Combo2")->setCurrentIndex(1);
  EXPECT_TRUE(option3->isEnabled());
  QTest::mouseClick(option3, Qt::LeftButton);
  EXPECT_TRUE(option3->isChecked());
  // Back to a profile without a server: the option is disabled and left.
  Find<QComboBox>("Combo2")->setCurrentIndex(0);
  EXPECT_FALSE(option3->isEnabled());
  EXPECT_TRUE(Find<QRadioButton>("Option1")->isChecked());
}

TEST_F(MainWindowTest, DateBoxesTakeOnlyDigitsAndBackspace) {
  Start();
  auto* text1 = Find<QLineEdit>("Text1");
  text1->clear();
  text1->setFocus();
  QTest::keyClicks(text1, "2a-0");
  // A full-width digit, as a keyboard layout would deliver it.
  QKeyEvent fullWidth(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("１"));
  QApplication::sendEvent(text1, &fullWidth);
  QTest::keyClick(text1, Qt::Key_Space);
  QTest::keyClicks(text1, "0.");
  EXPECT_EQ(text1->text(), "200");
  QTest::keyClick(text1, Qt::Key_Backspace);
  EXPECT_EQ(text1->text(), "20");
  QTest::keyClicks(text1, "0567");
  EXPECT_EQ(text1->text(), "2005");  // at most four

  for (const char* n : {"Text2", "Text3", "Text5", "Text6"}) {
    auto* box = Find<QLineEdit>(n);
    box->clear();
    QTest::keyClicks(box, "x123");
    EXPECT_EQ(box->text(), "12") << n;
  }
}

TEST_F(MainWindowTest, PastingIntoADateBoxKeepsOnlyDigits) {
  Start();
  auto* text1 = Find<QLineEdit>("Text1");
  auto* text2 = Find<QLineEdit>("Text2");
  QApplication::clipboard()->setText("2a0b3c9d8");
  text1->clear();
  QTest::keySequence(text1, QKeySequence::Paste);
  EXPECT_EQ(text1->text(), "2039");
  text2->clear();
  QApplication::clipboard()->setText("１２x");
  QTest::keySequence(text2, QKeySequence::Paste);
  EXPECT_EQ(text2->text(), "");
}

TEST_F(MainWindowTest, FocusSelectsTheWholeText) {
  Start();
  Activate();
  auto* text3 = Find<QLineEdit>("Text3");
  text3->setText("17");
  text3->deselect();
  Find<QWidget>("Text2")->setFocus(Qt::OtherFocusReason);
  text3->setFocus(Qt::OtherFocusReason);
  EXPECT_EQ(text3->selectedText(), "17");
  auto* text4 = Find<QLineEdit>("Text4");
  text4->setText("/some/path.ugu");
  text4->setFocus(Qt::OtherFocusReason);
  EXPECT_EQ(text4->selectedText(), "/some/path.ugu");
}

TEST_F(MainWindowTest, Check1FollowsMakeTmpIndex) {
  Start();
  auto* check1 = Find<QCheckBox>("Check1");
  QTest::mouseClick(check1, Qt::LeftButton, {}, QPoint(6, check1->height() / 2));
  EXPECT_TRUE(check1->isChecked());
  EXPECT_EQ(lm::makeTmpIndex, 1);
  QTest::mouseClick(check1, Qt::LeftButton, {}, QPoint(6, check1->height() / 2));
  EXPECT_FALSE(check1->isChecked());
  EXPECT_EQ(lm::makeTmpIndex, 0);
}

// ---- drops ----

TEST_F(MainWindowTest, ValidScriptDroppedOnEachTargetBecomesTheProfilesScript) {
  const QString first = MakeScript("FIRST");
  WriteSettings({{"one", first}, {"two", first}});
  Start();
  Find<QComboBox>("Combo2")->setCurrentIndex(1);
  QWidget* targets[] = {window.get(), Find<QWidget>("Frame2"),
                        Find<QListWidget>("List1")->viewport(), Find<QWidget>("Text4")};
  int n = 0;
  for (QWidget* target : targets) {
    const QString ugu = MakeScript(QStringLiteral("DROP%1").arg(n++), "2040 1 2 3 4");
    Drop(target, {ugu});
    EXPECT_TRUE(boxes.Shown().empty()) << target->objectName().toStdString();
    EXPECT_EQ(profileTable[1].ugu, ugu);
    EXPECT_EQ(profileTable[1].profile, "two");
    EXPECT_EQ(profileTable[0].ugu, first);
    EXPECT_EQ(Find<QLineEdit>("Text4")->text(), ugu);
    EXPECT_EQ(Boxes(), QStringList({"2040", "1", "2", "3", "4"}));
    EXPECT_EQ(ComboTexts(Find<QComboBox>("Combo2")), QStringList({"one", "two"}));
  }
}

TEST_F(MainWindowTest, RefusedDropsShowTheirMessage) {
  const QString ugu = MakeScript("ONE");
  WriteSettings({{"one", ugu}});
  Start();
  const QString text = tree.WriteFile("notes.txt", "x");
  Drop(Find<QWidget>("Frame2"), {ugu, ugu});
  Drop(Find<QListWidget>("List1")->viewport(), {text});
  EXPECT_EQ(boxes.Texts(),
            QStringList({"複数ファイルの同時登録には対応していません。",
                         QStringLiteral("ペルソナ情報ファイル（PSN/UGUファイル）ではありません。") +
                             QChar(13) + "『" + text + "』"}));
  EXPECT_EQ(profileTable[0].ugu, ugu);
}

TEST_F(MainWindowTest, AScriptFileGivenAtStartBecomesTheCurrentProfilesScript) {
  // What `loftmark FILE.ugu` (the desktop opening a script) does: the file
  // becomes the script of the profile shown first, as a drop would make it.
  const QString first = MakeScript("FIRST");
  WriteSettings({{"one", first}, {"two", first}});
  const QString given = MakeScript("GIVEN", "2041 5 6 7 8");
  lm::StartupHooks hooks;
  window = lm::StartLoftmark(executable, hooks, given);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join('|').toStdString();
  EXPECT_EQ(currentProfile, 0);
  EXPECT_EQ(profileTable[0].ugu, given);
  EXPECT_EQ(profileTable[0].profile, "one");
  EXPECT_EQ(profileTable[1].ugu, first);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), given);
  EXPECT_EQ(Boxes(), QStringList({"2041", "5", "6", "7", "8"}));
}

TEST_F(MainWindowTest, ScriptFilesGivenAtStartThatAreRefused) {
  // Each start gets the drop's checks and message; the profile keeps its script.
  const QString first = MakeScript("FIRST");
  tree.WriteFile("lonely/NODAT.ugu", "x");  // no NODAT/DAT beside it
  const QString files[] = {tree.Path("lonely/NODAT.ugu"), tree.Path("missing/GONE.psn")};
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    lmtest::ResetProfiles();
    WriteSettings({{"one", first}});
    boxes.Clear();
    lm::StartupHooks hooks;
    window = lm::StartLoftmark(executable, hooks, file);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_TRUE(boxes.Texts()[0].contains(file)) << boxes.Texts()[0].toStdString();
    EXPECT_EQ(profileTable[0].ugu, first);
    EXPECT_EQ(Find<QLineEdit>("Text4")->text(), first);
    lmtest::WindowSession::End(window);
  }
}

// ---- delete ----

TEST_F(MainWindowTest, DeletingProfilesThroughTheDeleteCommand) {
  const QString s = MakeScript("S");
  WriteSettings({{"a", s}, {"b", s}, {"c", s}, {"d", s}});
  Start();
  auto* combo2 = Find<QComboBox>("Combo2");
  auto* del = Find<QPushButton>("Command6");

  // The middle one.
  combo2->setCurrentIndex(1);
  boxes.Answer(lm::button::Yes);
  QTest::mouseClick(del, Qt::LeftButton);
  EXPECT_EQ(ComboTexts(combo2), QStringList({"a", "c", "d"}));
  EXPECT_EQ(combo2->currentIndex(), 0);
  EXPECT_EQ(currentProfile, 0);
  EXPECT_EQ(lastProfile, 2);
  EXPECT_EQ(profileTable[1].profile, "c");

  // Declined.
  combo2->setCurrentIndex(2);
  boxes.Answer(lm::button::No);
  QTest::mouseClick(del, Qt::LeftButton);
  EXPECT_EQ(ComboTexts(combo2), QStringList({"a", "c", "d"}));
  EXPECT_EQ(combo2->currentIndex(), 2);
  EXPECT_EQ(lastProfile, 2);

  // The last one.
  boxes.Answer(lm::button::Yes);
  QTest::mouseClick(del, Qt::LeftButton);
  EXPECT_EQ(ComboTexts(combo2), QStringList({"a", "c"}));
  EXPECT_EQ(lastProfile, 1);

  // Down to one, which stays.
  boxes.Answer(lm::button::Yes);
  QTest::mouseClick(del, Qt::LeftButton);
  EXPECT_EQ(ComboTexts(combo2), QStringList({"c"}));
  EXPECT_EQ(combo2->currentIndex(), 0);
  EXPECT_EQ(lastProfile, 0);
  boxes.Clear();
  QTest::mouseClick(del, Qt::LeftButton);
  EXPECT_EQ(boxes.Texts(), QStringList({"すべてのプロファイルを削除することはできません。"}));
  EXPECT_EQ(ComboTexts(combo2), QStringList({"c"}));
  EXPECT_EQ(lastProfile, 0);
}

// ---- the execute command ----

TEST_F(MainWindowTest, Option1WritesTheIndexAndListsItsEntries) {
  const QString ugu = MakeScript("WRITE");
  WriteSettings({{"w", ugu}});
  Start();
  const int year = QDate::currentDate().year() + 1;
  const QStringList values = {QString::number(year), "3", "1", "9", "5"};
  const char* names[] = {"Text1", "Text2", "Text3", "Text5", "Text6"};
  for (int i = 0; i < 5; ++i) Find<QLineEdit>(names[i])->setText(values[i]);
  QTest::mouseClick(Find<QPushButton>("Command1"), Qt::LeftButton);

  EXPECT_EQ(boxes.Texts(), QStringList({"更新定義ファイルを出力しました。"}));
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(tree.Path("scripts/WRITE/DAT/index.fet"), lines));
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines[0], QStringLiteral("#NextUpdate %1 3 1 9 5 ").arg(year));
  const QStringList shown = ListTexts();
  EXPECT_FALSE(shown.isEmpty());
  for (const QString& s : shown) EXPECT_TRUE(lines.contains(s)) << s.toStdString();
  EXPECT_TRUE(Find<QPushButton>("Command1")->isEnabled());
}

TEST_F(MainWindowTest, EnterRunsTheExecuteCommandFromAnyControl) {
  const QString ugu = MakeScript("ENTER");
  WriteSettings({{"e", ugu}});
  Start();
  Activate();
  Find<QLineEdit>("Text1")->setText(QString::number(QDate::currentDate().year() + 1));
  // Every control, the other buttons too: "設定" and "終了" do not open or close anything.
  for (const char* name : {"Text1", "Text6", "Text4", "Combo2", "Check1", "List1", "Option1", "Command4",
                           "Command5", "Command6", "Command3", "Command1"}) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
      boxes.Clear();
      QFile::remove(tree.Path("scripts/ENTER/DAT/index.fet"));
      QWidget* w = Find<QWidget>(name);
      w->setFocus(Qt::TabFocusReason);
      QTest::keyClick(w, key);
      EXPECT_EQ(boxes.Texts(), QStringList({"更新定義ファイルを出力しました。"})) << name;
      EXPECT_TRUE(QFile::exists(tree.Path("scripts/ENTER/DAT/index.fet"))) << name;
      EXPECT_FALSE(window->findChild<QDialog*>(QStringLiteral("SETTING")) &&
                   window->findChild<QDialog*>(QStringLiteral("SETTING"))->isVisible())
          << name;
      EXPECT_TRUE(window->isVisible()) << name;
    }
  }
  EXPECT_EQ(ended, 0);
  EXPECT_EQ(lastProfile, 0);

  // The space bar still presses a focused button: "終了" closes.
  boxes.Clear();
  Find<QPushButton>("Command3")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(Find<QPushButton>("Command3"), Qt::Key_Space);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(ended, 1);
}

TEST_F(MainWindowTest, Option2WritesTheIndexWithoutItsMessageThenBuilds) {
  // The program folder of this test holds no archiver library: the index is
  // written without its own message, then the build reports the missing
  // library (the build itself is tested with the libraries present beside
  // the archive builder).
  const QString ugu = MakeScript("TWO");
  WriteSettings({{"t", ugu}});
  Start();
  Find<QLineEdit>("Text1")->setText(QString::number(QDate::currentDate().year() + 1));
  QTest::mouseClick(Find<QRadioButton>("Option2"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>("Command1"), Qt::LeftButton);
  EXPECT_TRUE(QFile::exists(tree.Path("scripts/TWO/DAT/index.fet")));
  EXPECT_FALSE(ListTexts().isEmpty());
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, QStringLiteral("UNLHA32.DLLがインストールされていません。") + lm::CR +
                                       QStringLiteral("この機能を使用するためには、『UNLHA32.DLL』が必要です。"));
  EXPECT_EQ(boxes.Shown()[0].style, 16);
  EXPECT_TRUE(Find<QPushButton>("Command1")->isEnabled());
}

// ---- the logo ----

TEST_F(MainWindowTest, LogoClickOpensTheVendorPage) {
  Start();
  QTest::mouseClick(Find<QLabel>("Image1"), Qt::LeftButton);
  EXPECT_EQ(opened, QStringList({lm::kVendorPageUrl}));
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(programFolder + "/VENDOR.URL", lines));
  EXPECT_EQ(lines, QStringList({"[InternetShortcut]", "URL=" + lm::kVendorPageUrl,
                                "Modified = C0EBFB793596C001AB"}));
}

// ---- shutdown and the single running copy ----

TEST_F(MainWindowTest, EachWayOutSavesTheProfilesOnce) {
  const QString ugu = MakeScript("SAVE");
  const std::function<void(lm::FIND&)> ways[] = {
      [](lm::FIND& w) { QTest::mouseClick(w.findChild<QPushButton*>("Command3"), Qt::LeftButton); },
      [](lm::FIND& w) { w.findChild<QAction*>("m_exit")->trigger(); },
      [](lm::FIND& w) { QTest::keyClick(w.findChild<QWidget*>("Text1"), Qt::Key_Escape); },
      [](lm::FIND& w) { w.close(); },  // the close box
  };
  int n = 0;
  for (const auto& way : ways) {
    WriteSettings({{QStringLiteral("p%1").arg(n), ugu}});
    ended = 0;
    Start();
    QFile::remove(programFolder + "/lfup.ini");
    way(*window);
    EXPECT_FALSE(window->isVisible()) << n;
    EXPECT_EQ(ended, 1) << n;
    QStringList lines;
    ASSERT_TRUE(lm::ReadTextLines(programFolder + "/lfup.ini", lines)) << n;
    EXPECT_EQ(lines[0], QStringLiteral("profile(000)=p%1").arg(n));
    EXPECT_FALSE(lm::InstanceMarkerExists()) << n;

    // A second close writes nothing more.
    QFile::remove(programFolder + "/lfup.ini");
    window->close();
    EXPECT_FALSE(QFile::exists(programFolder + "/lfup.ini")) << n;
    EXPECT_EQ(ended, 1) << n;
    window.reset();
    ++n;
  }
}

TEST_F(MainWindowTest, SecondStartWhileRunningEndsAtOnce) {
  Start();
  EXPECT_TRUE(lm::InstanceMarkerExists());
  const int visibleBefore = static_cast<int>(QApplication::topLevelWidgets().size());
  lm::StartupHooks hooks;
  EXPECT_EQ(lm::StartLoftmark(executable, hooks), nullptr);
  EXPECT_EQ(static_cast<int>(QApplication::topLevelWidgets().size()), visibleBefore);
  EXPECT_TRUE(lm::InstanceMarkerExists());  // the first copy still holds it
  EXPECT_TRUE(boxes.Shown().empty());

  window->close();
  EXPECT_FALSE(lm::InstanceMarkerExists());
  window.reset();
  Start();  // after a normal close the next start runs
  EXPECT_TRUE(lm::InstanceMarkerExists());
}

TEST_F(MainWindowTest, EachSettingsCommandOpensTheSettingsWindowAndCancelChangesNothing) {
  Start();
  const std::function<void()> commands[] = {
      [&] { QTest::mouseClick(Find<QPushButton>("Command4"), Qt::LeftButton); },
      [&] { QTest::mouseClick(Find<QPushButton>("Command5"), Qt::LeftButton); },
      [&] { Find<QAction>("m_new")->trigger(); },
      [&] { Find<QAction>("m_setprofile")->trigger(); },
  };
  for (const auto& command : commands) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* settings = window->findChild<QDialog*>(QStringLiteral("SETTING"));
      shown = settings && settings->isVisible();
      if (settings) QTest::mouseClick(settings->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
    });
    command();
    EXPECT_TRUE(shown);
  }
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(lastProfile, 0);
  EXPECT_EQ(ComboTexts(Find<QComboBox>("Combo2")), QStringList({"Default"}));
  EXPECT_TRUE(window->isVisible());
}

// ---- what the settings window uses ----

TEST_F(MainWindowTest, ProfileListEntriesCanBeRenamedAndAppended) {
  Start();
  window->SetProfileEntryText(0, "renamed");
  window->AppendProfileEntry("added");
  EXPECT_EQ(ComboTexts(Find<QComboBox>("Combo2")), QStringList({"renamed", "added"}));
  EXPECT_EQ(Find<QComboBox>("Combo2")->currentIndex(), 0);
}

}  // namespace

// ---- the settings window reached from the main window ----

namespace {

// Acts in the modal settings window once it is shown, then returns.
void InSettingsWindow(lm::FIND& main, std::function<void(QDialog&)> act) {
  QTimer::singleShot(0, [&main, act] {
    auto* settings = main.findChild<QDialog*>(QStringLiteral("SETTING"));
    ASSERT_NE(settings, nullptr);
    ASSERT_TRUE(settings->isVisible());
    act(*settings);
  });
}

void Press(QDialog& settings, const char* button) {
  QTest::mouseClick(settings.findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
}

}  // namespace

TEST_F(MainWindowTest, NewProfileConfirmedIsListedAndSavedAtClose) {
  const QString first = MakeScript("FIRST");
  const QString second = MakeScript("SECOND");
  WriteSettings({{"first", first}});
  Start();
  InSettingsWindow(*window, [&](QDialog& s) {
    s.findChild<QLineEdit*>(QStringLiteral("Txtプロファイル"))->setText(QStringLiteral("二番目"));
    s.findChild<QLineEdit*>(QStringLiteral("Txt更新定義ファイル"))->setText(second);
    Press(s, "Command1");
  });
  QTest::mouseClick(Find<QPushButton>("Command5"), Qt::LeftButton);
  EXPECT_EQ(ComboTexts(Find<QComboBox>("Combo2")), (QStringList{"first", QStringLiteral("二番目")}));
  EXPECT_EQ(lastProfile, 1);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), second);

  window->close();
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(tree.Path("bin/lfup.ini"), lines));
  EXPECT_TRUE(lines.contains(QStringLiteral("profile(001)=二番目")));
  EXPECT_TRUE(lines.contains("ugu(001)=" + second));
}

// What the profiles command of the built program lists from the settings
// file, run as a process of its own while the window is open.
QStringList ProfilesSeenByACommand(const QString& settings) {
  QProcess command;
  command.start(QStringLiteral(LM_BIN_DIR "/loftmark"), {QStringLiteral("profiles"), QStringLiteral("--settings"), settings});
  EXPECT_TRUE(command.waitForFinished(30000));
  EXPECT_EQ(command.exitCode(), 0) << command.readAllStandardError().toStdString();
  QStringList names;
  for (const QString& line : QString::fromUtf8(command.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
    names << line.section('\t', 1, 1);
  return names;
}

TEST_F(MainWindowTest, ConfirmedProfilesReachACommandBeforeTheWindowCloses) {
  ASSERT_TRUE(QFile::exists(QStringLiteral(LM_BIN_DIR "/loftmark"))) << "build the loftmark target first";
  const QString first = MakeScript("FIRST");
  const QString second = MakeScript("SECOND");
  WriteSettings({{"first", first}});
  Start();
  const QString ini = programFolder + "/lfup.ini";

  // A new profile, confirmed.
  InSettingsWindow(*window, [&](QDialog& s) {
    s.findChild<QLineEdit*>(QStringLiteral("Txtプロファイル"))->setText(QStringLiteral("second"));
    s.findChild<QLineEdit*>(QStringLiteral("Txt更新定義ファイル"))->setText(second);
    s.findChild<QLineEdit*>(QStringLiteral("TxtServer"))->setText(QStringLiteral("ftp.example.jp"));
    Press(s, "Command1");
  });
  QTest::mouseClick(Find<QPushButton>("Command5"), Qt::LeftButton);
  EXPECT_EQ(ProfilesSeenByACommand(ini), (QStringList{"first", "second"}));
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(ini, lines));
  EXPECT_TRUE(lines.contains(QStringLiteral("server(001)=ftp.example.jp")));

  // An edit, confirmed.
  Find<QComboBox>("Combo2")->setCurrentIndex(0);
  InSettingsWindow(*window, [](QDialog& s) {
    s.findChild<QLineEdit*>(QStringLiteral("Txtプロファイル"))->setText(QStringLiteral("renamed"));
    Press(s, "Command1");
  });
  QTest::mouseClick(Find<QPushButton>("Command4"), Qt::LeftButton);
  EXPECT_EQ(ProfilesSeenByACommand(ini), (QStringList{"renamed", "second"}));

  // A cancelled edit is not seen.
  InSettingsWindow(*window, [](QDialog& s) {
    s.findChild<QLineEdit*>(QStringLiteral("Txtプロファイル"))->setText(QStringLiteral("not kept"));
    Press(s, "Command2");
  });
  QTest::mouseClick(Find<QPushButton>("Command4"), Qt::LeftButton);
  EXPECT_EQ(ProfilesSeenByACommand(ini), (QStringList{"renamed", "second"}));

  // A deletion.
  boxes.Answer(lm::button::Yes);
  QTest::mouseClick(Find<QPushButton>("Command6"), Qt::LeftButton);
  EXPECT_EQ(ProfilesSeenByACommand(ini), QStringList{"second"});
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(ended, 0);

  // The close still saves what the window changed without confirming.
  window->close();
  EXPECT_EQ(ProfilesSeenByACommand(ini), QStringList{"second"});
}

TEST_F(MainWindowTest, NewProfileCancelledThroughTheMenuLeavesTheListAsItWas) {
  const QString first = MakeScript("FIRST");
  WriteSettings({{"first", first}});
  Start();
  InSettingsWindow(*window, [](QDialog& s) { Press(s, "Command2"); });
  window->findChild<QAction*>(QStringLiteral("m_new"))->trigger();
  EXPECT_EQ(ComboTexts(Find<QComboBox>("Combo2")), QStringList{"first"});
  EXPECT_EQ(lastProfile, 0);
  EXPECT_EQ(currentProfile, 0);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), first);
}

TEST_F(MainWindowTest, EditingTheCurrentProfileRenamesItsListEntry) {
  const QString a = MakeScript("AAA");
  const QString b = MakeScript("BBB");
  WriteSettings({{"a", a}, {"b", b}});
  Start();
  Find<QComboBox>("Combo2")->setCurrentIndex(1);
  InSettingsWindow(*window, [](QDialog& s) {
    auto* name = s.findChild<QLineEdit*>(QStringLiteral("Txtプロファイル"));
    EXPECT_EQ(name->text(), QStringLiteral("b"));
    name->setText(QStringLiteral("renamed"));
    Press(s, "Command1");
  });
  window->findChild<QAction*>(QStringLiteral("m_setprofile"))->trigger();
  EXPECT_EQ(ComboTexts(Find<QComboBox>("Combo2")), (QStringList{"a", "renamed"}));
  EXPECT_EQ(profileTable[1].profile, QStringLiteral("renamed"));
}

#include "main_window_test.moc"
