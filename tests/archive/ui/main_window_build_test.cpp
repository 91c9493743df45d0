// The archive build started from the main window FIND as a user starts it:
// Option2, an archive type in Combo1, the next-update date typed into the
// boxes, Enter.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "archive/build_driver.h"
#include "archive/build_progress.h"
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
  // The キャンセル button of the build's progress dialog when the dialog is
  // up, else null.
  QPushButton* ShownCancelButton() {
    auto* dialog = window_.findChild<QProgressDialog*>(QStringLiteral("BuildProgress"));
    if (!dialog || !dialog->isVisible()) return nullptr;
    return dialog->findChild<QPushButton*>();
  }

  template <typename W>
  W* Child(const char* name) {
    W* w = window_.findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // Option2, the type, a valid next-update date typed into the boxes, Enter.
  void StartBuild(const QString& type) {
    QTest::mouseClick(Child<QRadioButton>("Option2"), Qt::LeftButton);
    QComboBox* combo1 = Child<QComboBox>("Combo1");
    ASSERT_TRUE(combo1->isEnabled());
    combo1->setCurrentIndex(combo1->findText(type));
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
  }
  QStringList ListLines() {
    QStringList out;
    auto* list = Child<QListWidget>("List1");
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
  }
  // The three archives of the sample with their bytes.
  std::map<QString, QByteArray> Archives() const {
    std::map<QString, QByteArray> out;
    for (const char* file : {"sample.lzh", "sample.exe", "sample.qsc"}) {
      QFile f(Arc(QLatin1String(file)));
      if (f.open(QIODevice::ReadOnly)) out[QLatin1String(file)] = f.readAll();
    }
    return out;
  }
  lm::FIND window_;
};

// Hears the build's steps for the length of a test.
class StepListener {
 public:
  explicit StepListener(lm::BuildStepListener listener) : id_(lm::AddBuildStepListener(std::move(listener))) {}
  ~StepListener() { lm::RemoveBuildStepListener(id_); }

 private:
  int id_;
};

// The texts start-up puts into Combo1 are the ones the driver recognises.
TEST(MainWindowArchiveTypes, Combo1HoldsTheTextsTheDriverKnows) {
  EXPECT_EQ(lm::kArchiveTypes, lm::ArchiveTypeTexts());
}

// Runs once the execute command's Option2 builds the archives through
// RunOption2 (the main window's BuildSelectedArchives is still empty).
TEST_F(MainWindowBuildTest, Option2WithATypeAndEnterBuildsTheArchives) {
  StartBuild(lm::kArchiveTypeAll);

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

TEST_F(MainWindowBuildTest, List1ShowsTheArchivesWrittenAfterTheIndexEntries) {
  StartBuild(lm::kArchiveTypeAll);
  const QStringList lines = ListLines();
  ASSERT_GE(lines.size(), 4);
  QStringList expected;
  for (const char* file : {"sample.lzh", "sample.exe", "sample.qsc"}) {
    const QString path = Arc(QLatin1String(file));
    expected << path + QStringLiteral("  ") + QLocale::c().toString(QFileInfo(path).size()) + QStringLiteral(" バイト");
  }
  EXPECT_EQ(lines.mid(lines.size() - 3), expected);
  EXPECT_TRUE(lines.first().contains(QStringLiteral("mio00.euu")) || !lines.first().contains(QStringLiteral("バイト")));

  // A failed build lists nothing more.
  const int before = static_cast<int>(lines.size());
  ASSERT_TRUE(QFile::remove(sample_.scriptFile));
  StartBuild(lm::kArchiveTypeLzh);
  EXPECT_LE(ListLines().size(), before);
  for (const QString& line : ListLines()) EXPECT_FALSE(line.contains(QStringLiteral(" バイト")) && !expected.contains(line));
}

TEST_F(MainWindowBuildTest, BuildRunsOffTheWindowThreadWhichKeepsTurning) {
  // The first archiver command takes 1.5 s on the build's thread.
  std::atomic<bool> onWindowThread{true};
  std::atomic<int> commands{0};
  lm::SetArchiverCommandTrace([&](const QString&, const QString&) {
    onWindowThread = onWindowThread && QThread::currentThread() == qApp->thread();
    if (++commands == 1) QThread::msleep(1500);
  });
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(20);
  bool dialogSeen = false;
  bool cursorHeld = false;
  bool buttonHeld = false;
  QString label;
  int range = 0;
  int value = -1;
  QTimer::singleShot(1100, [&] {
    auto* dialog = window_.findChild<QProgressDialog*>(QStringLiteral("BuildProgress"));
    dialogSeen = dialog && dialog->isVisible();
    if (dialog) {
      label = dialog->labelText();
      range = dialog->maximum();
      value = dialog->value();
    }
    cursorHeld = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    buttonHeld = !Child<QPushButton>("Command1")->isEnabled();
  });
  StartBuild(lm::kArchiveTypeLzh);
  lm::SetArchiverCommandTrace(nullptr);
  ticker.stop();
  // A bar of known length: the index, one command per attachment (the missing
  // one included) and three more; the index is done.
  // Each step is 100 units of the bar; the LZH step's part moves by bytes.
  EXPECT_EQ(range, (1 + lm::profileTable[0].addfilecnt + 3) * 100);
  EXPECT_GE(value, 100);
  EXPECT_LT(value, 200);
  EXPECT_FALSE(onWindowThread);   // the archiver steps ran elsewhere
  EXPECT_GE(ticks, 5);            // the window's events went on meanwhile
  EXPECT_TRUE(dialogSeen);
  // The step in words, not the archiver's command line.
  EXPECT_TRUE(label.startsWith(QStringLiteral("LZHアーカイブに追加しています"))) << label.toStdString();
  EXPECT_FALSE(label.contains(QStringLiteral("UnLHA32.DLL")) || label.contains(QStringLiteral("-x"))) << label.toStdString();
  EXPECT_TRUE(cursorHeld);
  EXPECT_TRUE(buttonHeld);
  EXPECT_EQ(boxes_.Texts().last(), kMade);
  EXPECT_TRUE(Child<QPushButton>("Command1")->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Message boxes of the build come up on the window's thread, in their order.
class ThreadRecordingBoxes final : public lm::MessageBoxSink {
 public:
  int Show(const QString& text, int, const QString&) override {
    texts << text;
    allOnWindowThread = allOnWindowThread && QThread::currentThread() == qApp->thread();
    return lm::button::OK;
  }
  QStringList texts;
  bool allOnWindowThread = true;
};

TEST_F(MainWindowBuildTest, MessageBoxesOfTheBuildAppearOnTheWindowThread) {
  ThreadRecordingBoxes recording;
  lm::MessageBoxSink* previous = lm::CurrentMessageBoxSink();
  lm::SetMessageBoxSink(&recording);
  StartBuild(lm::kArchiveTypeExe);
  lm::SetMessageBoxSink(previous);
  EXPECT_EQ(recording.texts, QStringList({lmtest::Missing(sample_.missing), kMade}));
  EXPECT_TRUE(recording.allOnWindowThread);
}

// The build's first message box is a real modal window left open for 4.5 s
// (longer than QProgressDialog's own four-second timer); the build's next
// archiver command then takes 2.5 s.
class SlowModalBoxes final : public lm::MessageBoxSink {
 public:
  explicit SlowModalBoxes(QWidget* window) : window_(window) {}
  int Show(const QString& text, int, const QString&) override {
    texts << text;
    if (texts.size() > 1) return lm::button::OK;
    QDialog box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    QTimer::singleShot(900, &box, [this] { progressOverBox = ProgressVisible(); });
    QTimer::singleShot(4400, &box, [this] { progressOverBox = progressOverBox || ProgressVisible(); });
    QTimer::singleShot(4500, &box, &QDialog::accept);
    box.exec();
    answered = true;
    QTimer::singleShot(900, [this] { progressAfterBox = ProgressVisible(); });
    return lm::button::OK;
  }
  bool ProgressVisible() const {
    auto* dialog = window_->findChild<QProgressDialog*>(QStringLiteral("BuildProgress"));
    return dialog && dialog->isVisible();
  }
  QStringList texts;
  std::atomic<bool> answered{false};
  bool progressOverBox = true;
  bool progressAfterBox = false;

 private:
  QWidget* window_;
};

TEST_F(MainWindowBuildTest, TheProgressDialogWaitsForAnOpenMessageBoxOfTheBuild) {
  SlowModalBoxes boxes(&window_);
  lm::MessageBoxSink* previous = lm::CurrentMessageBoxSink();
  lm::SetMessageBoxSink(&boxes);
  std::atomic<bool> slowed{false};
  lm::SetArchiverCommandTrace([&](const QString&, const QString&) {
    if (boxes.answered && !slowed.exchange(true)) QThread::msleep(2500);
  });
  StartBuild(lm::kArchiveTypeExe);
  lm::SetArchiverCommandTrace(nullptr);
  lm::SetMessageBoxSink(previous);
  ASSERT_EQ(boxes.texts, QStringList({lmtest::Missing(sample_.missing), kMade}));
  ASSERT_TRUE(slowed);
  // Over the open box the dialog would hide the question; after it, the
  // still running build shows it.
  EXPECT_FALSE(boxes.progressOverBox);
  EXPECT_TRUE(boxes.progressAfterBox);
}

TEST_F(MainWindowBuildTest, CancelAtEachStepLeavesTheEarlierArchivesAndNothingElse) {
  // A first build leaves the earlier archives and tells the steps of a build.
  QStringList steps;
  {
    StepListener record([&](const QString& text, int, int) { steps << text; });
    StartBuild(lm::kArchiveTypeAll);
  }
  ASSERT_EQ(boxes_.Texts().last(), kMade);
  ASSERT_EQ(steps.first(), lm::IndexStepText());
  ASSERT_EQ(steps.size(), 1 + ExpectedCommands(true, true, QString()).size());
  const std::map<QString, QByteArray> earlier = Archives();
  ASSERT_EQ(earlier.size(), 3u);

  for (int at = 1; at <= steps.size(); ++at) {
    SCOPED_TRACE(steps[at - 1].toStdString());
    boxes_.shown.clear();
    int seen = 0;
    QStringList ran;
    StepListener cancel([&](const QString& text, int, int) {
      ran << text;
      if (++seen == at) lm::RequestBuildCancel();
    });
    StartBuild(lm::kArchiveTypeAll);
    EXPECT_EQ(ran.size(), at);  // nothing is started after the cancel
    EXPECT_EQ(boxes_.Texts().last(), QStringLiteral("アーカイブの作成を中止しました。"));
    EXPECT_FALSE(boxes_.Texts().contains(kMade));
    EXPECT_EQ(Archives(), earlier);
    EXPECT_FALSE(lmtest::Exists(Arc(QStringLiteral("sample.cab"))));
    EXPECT_EQ(QDir(sample_.arcDir).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{QStringLiteral("sample.exe"), QStringLiteral("sample.lzh"), QStringLiteral("sample.qsc")}));
    EXPECT_TRUE(QDir(prog_ + QStringLiteral("/temp")).isEmpty());
    EXPECT_FALSE(lmtest::Exists(prog_ + QStringLiteral("/install.txt")));
    EXPECT_FALSE(lmtest::Exists(prog_ + QStringLiteral("/$")));
    EXPECT_FALSE(lm::BuildCancelled());  // the next build runs normally
    EXPECT_TRUE(Child<QPushButton>("Command1")->isEnabled());
  }
}

TEST_F(MainWindowBuildTest, CancelButtonOfTheProgressDialogStopsTheBuild) {
  const std::map<QString, QByteArray> none = Archives();
  std::atomic<int> steps{0};
  StepListener slow([&](const QString&, int, int) {
    if (++steps == 3) QThread::msleep(1500);
  });
  QTimer::singleShot(1100, [&] {
    QPushButton* cancel = ShownCancelButton();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("キャンセル"));
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  StartBuild(lm::kArchiveTypeAll);
  EXPECT_EQ(steps, 3);
  EXPECT_EQ(boxes_.Texts().last(), QStringLiteral("アーカイブの作成を中止しました。"));
  EXPECT_EQ(Archives(), none);
}

// キャンセル stops the archiver command that runs (at its next report), and
// the dialog stays up saying so until the build has put everything back.
TEST_F(MainWindowBuildTest, CancelStopsTheRunningArchiverAndTheDialogSaysSoUntilTheBuildEnds) {
  const std::map<QString, QByteArray> none = Archives();
  std::atomic<int> reports{0};
  // Each report of the library takes a while: the LZH command runs for seconds.
  const int slow = lm::AddBuildBytesListener([&](const lm::BuildBytes&) {
    ++reports;
    QThread::msleep(400);
  });
  int reportsAtClick = -1;
  bool visibleAfter = false, buttonEnabledAfter = true;
  QString labelAfter;
  QTimer::singleShot(1100, [&] {
    QPushButton* cancel = ShownCancelButton();
    ASSERT_NE(cancel, nullptr);
    auto* dialog = window_.findChild<QProgressDialog*>(QStringLiteral("BuildProgress"));
    reportsAtClick = reports;
    QTest::mouseClick(cancel, Qt::LeftButton);
    QTimer::singleShot(100, [&, dialog, cancel] {
      visibleAfter = dialog->isVisible();
      labelAfter = dialog->labelText();
      buttonEnabledAfter = cancel->isEnabled();
    });
  });
  StartBuild(lm::kArchiveTypeAll);
  lm::RemoveBuildBytesListener(slow);
  EXPECT_GE(reportsAtClick, 1);
  EXPECT_LE(reports, reportsAtClick + 1);  // the command stopped at its next report
  EXPECT_TRUE(visibleAfter);
  EXPECT_EQ(labelAfter, QStringLiteral("中止しています…"));
  EXPECT_FALSE(buttonEnabledAfter);
  EXPECT_EQ(boxes_.Texts().last(), QStringLiteral("アーカイブの作成を中止しました。"));
  EXPECT_EQ(Archives(), none);
}

// Records the folders the desktop is asked to open.
class FolderOpener : public QObject {
  Q_OBJECT
 public:
  QStringList opened;
 public slots:
  void Open(const QUrl& url) { opened << url.toLocalFile(); }
};

TEST_F(MainWindowBuildTest, MenuOpensTheArchiveFolder) {
  FolderOpener opener;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "Open");
  auto* action = window_.findChild<QAction*>(QStringLiteral("m_openarcdir"));
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), QStringLiteral("アーカイブの保存先を開く"));
  action->trigger();
  lm::profileTable[0].dirarc.clear();  // no folder of its own: the program folder
  action->trigger();
  lm::profileTable[0].dirarc = tree_.Path(QStringLiteral("unplugged"));
  action->trigger();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(opener.opened, (QStringList{sample_.arcDir, lm::programDir}));
  EXPECT_EQ(boxes_.Texts(), QStringList{QStringLiteral("アーカイブの保存先『") + tree_.Path(QStringLiteral("unplugged")) +
                                        QStringLiteral("』が存在しません。")});
}

}  // namespace

#include "main_window_build_test.moc"
