// The comparison result window and the Option3 operation, driven through
// Qt Test on the offscreen platform.
#include <functional>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "sync/check_differ.h"
#include "sync/profile_scope.h"
#include "sync/sync_test_print.h"
#include "sync/ui/compare_operation.h"
#include "sync/ui/frm_test_fet.h"
#include "util/text_file.h"

namespace {

using namespace lm;

QStringList Items(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

QStringList IndexLines(std::initializer_list<const char*> lines) {
  QStringList out{QStringLiteral("#NextUpdate 2004 3 1 9 0 "),
                  QStringLiteral("#FieldInfo date 12 attr 1 size 5")};
  for (const char* l : lines) out << QString::fromUtf8(l);
  return out;
}

QString L(const char* s) { return QString::fromUtf8(s); }

TEST(FrmTestFetWindow, CaptionControlsAndLayout) {
  FrmTestFet window;
  EXPECT_EQ(window.objectName(), QStringLiteral("FrmTestFet"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("実験"));
  EXPECT_EQ(window.size(), QSize(445, 348));

  const char* captions[] = {"ローカルのファイル一覧", "サーバのファイル一覧", "追加ファイル一覧", "削除対象一覧"};
  int previousTop = -1;
  for (int i = 1; i <= 4; ++i) {
    auto* label = window.findChild<QLabel*>(QStringLiteral("Label%1").arg(i));
    auto* list = window.findChild<QListWidget*>(QStringLiteral("List%1").arg(i));
    ASSERT_TRUE(label && list) << i;
    EXPECT_EQ(list, window.List(i));
    EXPECT_EQ(label->text(), QString::fromUtf8(captions[i - 1]));
    EXPECT_EQ(label->x(), 28);
    EXPECT_EQ(list->geometry(), QRect(28, label->y() + 16, 381, 52)) << i;
    EXPECT_GT(label->y(), previousTop);  // top to bottom: Label1, List1, Label2, ...
    previousTop = list->y();
  }
  auto* close = window.findChild<QPushButton*>(QStringLiteral("Command2"));
  ASSERT_TRUE(close);
  EXPECT_EQ(close->text(), QStringLiteral("閉じる"));
  EXPECT_EQ(close->geometry(), QRect(180, 308, 73, 29));
  EXPECT_GT(close->y(), previousTop);

  // Tab order: List1, List2, List3, Command2, List4.
  QWidget* expected[] = {window.List(2), window.List(3), close, window.List(4)};
  QWidget* at = window.List(1);
  for (QWidget* next : expected) {
    at = at->nextInFocusChain();
    while (at->focusPolicy() == Qt::NoFocus) at = at->nextInFocusChain();
    EXPECT_EQ(at, next);
  }
}

class CompareOperationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.WriteFile(QStringLiteral("scripts/sample.ugu"), "ugu");
    tree.WriteFile(QStringLiteral("scripts/SAMPLE/DAT/mio00.euu"), "mio");
    scope.Current().ugu = tree.Path(QStringLiteral("scripts/sample.ugu"));
  }
  void WriteIndex(const QString& rel, const QStringList& lines) {
    FileError error;
    ASSERT_TRUE(WriteTextLines(tree.Path(rel), lines, &error)) << error.message.toStdString();
  }
  void WriteBoth(const QStringList& local, const QStringList& server) {
    WriteIndex(QStringLiteral("scripts/SAMPLE/DAT/index.fet"), local);
    WriteIndex(QStringLiteral("indexserver.fet"), server);
  }

  // Runs the operation; while the modal window is up, `inspect` looks at it,
  // then "閉じる" is clicked. Returns whether the window was shown at all.
  bool RunAndClose(const std::function<void(FrmTestFet&)>& inspect) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* window = qobject_cast<FrmTestFet*>(QApplication::activeModalWidget());
      if (!window) return;
      shown = true;
      EXPECT_TRUE(window->isVisible());
      EXPECT_TRUE(window->isModal());
      inspect(*window);
      QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
    });
    RunCompareOperation(nullptr);
    QCoreApplication::processEvents();  // let an unused timer fire and find nothing
    return shown;
  }

  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
  lmtest::CurrentProfileScope scope{tree.Path(), 0};
};

TEST_F(CompareOperationTest, ShowsTheFourListsInTheirOrderAndHidesOnClose) {
  WriteBoth(IndexLines({"200403011200f00001+zz.txt", "200403011200d00000+data",
                        "200403011200f00002|+img01.bmp", "200403011200f00001+aa.txt"}),
            IndexLines({"200403011200d00000+data", "200403011200f00001|+img01.bmp",
                        "200403011200f00001+old.txt", "200403011200f00001+gone.txt"}));
  FrmTestFet* seen = nullptr;
  EXPECT_TRUE(RunAndClose([&](FrmTestFet& w) {
    seen = &w;
    EXPECT_EQ(Items(w.List(1)),
              (QStringList{L("\\zz.txt"), L("\\data\\"), L("\\data\\img01.bmp"), L("\\aa.txt")}));
    EXPECT_EQ(Items(w.List(2)),
              (QStringList{L("\\data\\"), L("\\data\\img01.bmp"), L("\\old.txt"), L("\\gone.txt")}));
    EXPECT_EQ(Items(w.List(3)), (QStringList{L("\\aa.txt"), L("\\data\\img01.bmp"), L("\\zz.txt")}));
    EXPECT_EQ(Items(w.List(4)), (QStringList{L("\\gone.txt"), L("\\old.txt")}));
  }));
  ASSERT_TRUE(seen);
  EXPECT_FALSE(seen->isVisible());  // hidden, not destroyed
  EXPECT_EQ(seen, &FrmTestFetWindow());
  EXPECT_TRUE(boxes.Shown().empty());

  // The next comparison reuses the window: cleared and refilled, not appended to.
  WriteBoth(IndexLines({"200403011200f00001+only.txt"}), IndexLines({}));
  EXPECT_TRUE(RunAndClose([&](FrmTestFet& w) {
    EXPECT_EQ(&w, seen);
    EXPECT_EQ(Items(w.List(1)), QStringList{L("\\only.txt")});
    EXPECT_EQ(Items(w.List(2)), QStringList{});
    EXPECT_EQ(Items(w.List(3)), QStringList{L("\\only.txt")});
    EXPECT_EQ(Items(w.List(4)), QStringList{});
  }));
}

TEST_F(CompareOperationTest, HeaderOnlyFilesStillOpenTheWindowWithEmptyLists) {
  WriteBoth(IndexLines({}), IndexLines({}));
  EXPECT_TRUE(RunAndClose([](FrmTestFet& w) {
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(w.List(i)->count(), 0) << i;
  }));
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(CompareOperationTest, ControlCharactersInNamesStopTheComparisonAndAreShownEscaped) {
  WriteBoth(IndexLines({"200403011200f00001+name.txt"}),
            IndexLines({"200403011200f00001+evil\x1B[2J.txt", "200403011200f00001+bell\x07.txt"}));
  EXPECT_FALSE(RunAndClose([](FrmTestFet&) {}));
  ASSERT_FALSE(boxes.Shown().empty());
  EXPECT_TRUE(boxes.Texts()[0].contains(L("『evil\\x1B[2J.txt』"))) << boxes.Texts()[0].toStdString();
  EXPECT_FALSE(boxes.Texts()[0].contains(QChar(0x1B)));
  EXPECT_TRUE(deleteList.isEmpty());
}

TEST_F(CompareOperationTest, TheQuestionForANewerServerFileComesBeforeTheWindow) {
  WriteBoth(IndexLines({"200403011200f00001+news.txt"}), IndexLines({"200404011200f00001+news.txt"}));
  boxes.Answer(button::No);
  EXPECT_TRUE(RunAndClose([](FrmTestFet& w) {
    EXPECT_EQ(Items(w.List(1)), QStringList{L("\\news.txt")});
    EXPECT_EQ(Items(w.List(2)), QStringList{L("\\news.txt")});
    EXPECT_EQ(w.List(3)->count(), 0);
    EXPECT_EQ(w.List(4)->count(), 0);
  }));
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].style, 36);
}

TEST_F(CompareOperationTest, AMissingServerCopyShowsTheMessagesAndNoWindow) {
  WriteIndex(QStringLiteral("scripts/SAMPLE/DAT/index.fet"), IndexLines({"200403011200f00001+aa.txt"}));
  EXPECT_FALSE(RunAndClose([](FrmTestFet&) {}));
  EXPECT_EQ(boxes.Texts(), (QStringList{QStringLiteral("サーバの更新定義ファイルが存在しません。"),
                                        QStringLiteral("更新定義ファイルが存在しません。")}));
}

}  // namespace
