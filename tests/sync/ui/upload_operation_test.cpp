// The upload operation from the main window, driven through Qt Test on the
// offscreen platform against a real FTP server on 127.0.0.1.
#include <functional>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "index/index_writer.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "sync/ftp_test_server.h"
#include "sync/test_certificate.h"
#include "sync/profile_scope.h"
#include "sync/sync_test_print.h"
#include "sync/ui/frm_test_fet.h"
#include "sync/ui/upload_operation.h"
#include "sync/vsftpd_test_server.h"
#include "util/text_file.h"

namespace {

using namespace lm;
using lmtest::FtpTestServer;

QStringList Items(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

class QuietView final : public IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override {}
  void AddListLine(const QString&) override {}
};

class UploadOperationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.WriteFile(QStringLiteral("scripts/sample.ugu"), "ugu");
    tree.WriteFile(QStringLiteral("scripts/SAMPLE/DAT/mio00.euu"), "mio");
    tree.WriteFile(QStringLiteral("scripts/SAMPLE/DAT/img/title.bmp"), "bitmap");
    WriteIndex();
    Profile& p = scope.Current();
    p.ugu = tree.Path(QStringLiteral("scripts/sample.ugu"));
    p.server = QStringLiteral("ftp://127.0.0.1:%1").arg(server.Port());
    p.userid = QString::fromLatin1(FtpTestServer::kUser);
    p.password = QString::fromLatin1(FtpTestServer::kPassword);
    p.dirserver = QStringLiteral("/site/dat");
  }

  // index.fet as the writer makes it from DAT.
  void WriteIndex() {
    QuietView view;
    ASSERT_EQ(WriteIndexFiles(tree.Path(QStringLiteral("scripts/SAMPLE/DAT/")), QStringLiteral("2026 12 31 9 0 "), 1, view),
              0);
  }

  // Runs the operation; `answer` looks at the result window and presses one
  // of its buttons. Returns whether the window was shown.
  bool Run(const std::function<void(FrmTestFet&)>& answer) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* window = qobject_cast<FrmTestFet*>(QApplication::activeModalWidget());
      if (!window) return;
      shown = true;
      answer(*window);
    });
    RunUploadOperation(nullptr);
    QCoreApplication::processEvents();
    return shown;
  }

  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
  lmtest::CurrentProfileScope scope{tree.Path(), 0};
  FtpTestServer server;
};

TEST_F(UploadOperationTest, ShowsTheComparisonWithTotalsAndUploadsOnRequest) {
  EXPECT_TRUE(Run([](FrmTestFet& w) {
    // Nothing on the server yet: everything is new.
    EXPECT_EQ(Items(w.List(2)), QStringList{});
    EXPECT_EQ(Items(w.List(3)), (QStringList{QStringLiteral("\\img\\"), QStringLiteral("\\img\\title.bmp"),
                                            QStringLiteral("\\mio00.euu")}));
    auto* totals = w.findChild<QLabel*>(QStringLiteral("LblTotals"));
    ASSERT_TRUE(totals);
    EXPECT_TRUE(totals->isVisible());
    EXPECT_EQ(totals->text(), QStringLiteral("送信 2 件 (9 バイト)　削除 0 件"));
    EXPECT_FALSE(w.findChild<QPushButton*>(QStringLiteral("Command2"))->isVisible());
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CmdUpload")), Qt::LeftButton);
  }));
  ASSERT_FALSE(boxes.Texts().isEmpty());
  EXPECT_TRUE(boxes.Texts().last().startsWith(QStringLiteral("アップロードが完了しました。")))
      << boxes.Texts().last().toStdString();
  EXPECT_EQ(tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/img/title.bmp")),
            [&] {
              QFile f(server.Root(QStringLiteral("site/dat/img/title.bmp")));
              return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
            }());
  EXPECT_TRUE(QFile::exists(server.Root(QStringLiteral("site/dat/index.fet"))));
  // The program's copy of the server's index is now the index just sent.
  EXPECT_EQ(tree.ReadFile(QStringLiteral("indexserver.fet")),
            tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/index.fet")));

  // The result window is back in its comparison look for the next use.
  EXPECT_TRUE(FrmTestFetWindow().findChild<QPushButton*>(QStringLiteral("Command2"))->isVisibleTo(&FrmTestFetWindow()));
}

TEST_F(UploadOperationTest, CancelInTheResultWindowSendsNothing) {
  EXPECT_TRUE(Run([](FrmTestFet& w) {
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CmdCancel")), Qt::LeftButton);
  }));
  EXPECT_TRUE(boxes.Texts().isEmpty());
  EXPECT_FALSE(QFile::exists(server.Root(QStringLiteral("site/dat/index.fet"))));
  EXPECT_FALSE(QFile::exists(server.Root(QStringLiteral("site/dat/mio00.euu"))));
}

TEST_F(UploadOperationTest, CancelInTheProgressDialogLeavesTheServerIndexAlone) {
  EXPECT_TRUE(Run([](FrmTestFet& w) {
    // As soon as the progress dialog is up, its キャンセル is pressed.
    QTimer::singleShot(0, [] {
      for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* progress = qobject_cast<QProgressDialog*>(top); progress && progress->isVisible()) progress->cancel();
    });
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CmdUpload")), Qt::LeftButton);
  }));
  ASSERT_FALSE(boxes.Texts().isEmpty());
  EXPECT_TRUE(boxes.Texts().last().startsWith(QStringLiteral("アップロードを中止しました。")))
      << boxes.Texts().last().toStdString();
  EXPECT_FALSE(QFile::exists(server.Root(QStringLiteral("site/dat/index.fet"))));

  // The next run sends everything and finishes the job.
  boxes.Clear();
  EXPECT_TRUE(Run([](FrmTestFet& w) {
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CmdUpload")), Qt::LeftButton);
  }));
  ASSERT_FALSE(boxes.Texts().isEmpty());
  EXPECT_TRUE(boxes.Texts().last().startsWith(QStringLiteral("アップロードが完了しました。")));
  EXPECT_TRUE(QFile::exists(server.Root(QStringLiteral("site/dat/index.fet"))));
}

// The author renamed a folder changing only its letter case, on a server
// that finds names without regard to case: the result window's totals name
// the rename, and afterwards the server holds the folder under its new name
// with its file, nothing deleted.
TEST_F(UploadOperationTest, ACaseOnlyRenameIsShownAndCarriedOut) {
  server.RestartWith({QStringLiteral("--case-insensitive")});
  scope.Current().server = QStringLiteral("ftp://127.0.0.1:%1").arg(server.Port());
  const auto upload = [](FrmTestFet& w) {
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CmdUpload")), Qt::LeftButton);
  };
  ASSERT_TRUE(Run(upload));
  ASSERT_TRUE(
      QDir(tree.Path(QStringLiteral("scripts/SAMPLE/DAT"))).rename(QStringLiteral("img"), QStringLiteral("IMG")));
  WriteIndex();
  boxes.Clear();
  QString totals;
  EXPECT_TRUE(Run([&](FrmTestFet& w) {
    totals = w.findChild<QLabel*>(QStringLiteral("LblTotals"))->text();
    upload(w);
  }));
  EXPECT_TRUE(totals.endsWith(QStringLiteral("名前の変更 1 件"))) << totals.toStdString();
  ASSERT_FALSE(boxes.Texts().isEmpty());
  EXPECT_TRUE(boxes.Texts().last().startsWith(QStringLiteral("アップロードが完了しました。")))
      << boxes.Texts().last().toStdString();
  EXPECT_TRUE(QFileInfo(server.Root(QStringLiteral("site/dat/IMG/title.bmp"))).isFile());
  EXPECT_FALSE(QFileInfo::exists(server.Root(QStringLiteral("site/dat/img"))));
}

TEST_F(UploadOperationTest, AWrongPasswordIsReportedWithTheServersReply) {
  scope.Current().password = QStringLiteral("wrong");
  EXPECT_FALSE(Run([](FrmTestFet&) {}));
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_TRUE(boxes.Texts()[0].contains(QStringLiteral("530"))) << boxes.Texts()[0].toStdString();
}

TEST_F(UploadOperationTest, WithoutAStoredPasswordItIsAskedForInJapanese) {
  scope.Current().password.clear();
  // Declined: the operation ends quietly. Typed: it logs in with it, and the
  // result window (cancelled here) shows the comparison.
  for (const bool type : {false, true}) {
    boxes.Clear();
    QString label;
    QStringList buttons;
    bool resultShown = false;
    QTimer::singleShot(0, [&] {
      auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(ask, nullptr);
      EXPECT_EQ(ask->objectName(), QStringLiteral("PasswordPrompt"));
      EXPECT_EQ(ask->textEchoMode(), QLineEdit::Password);
      label = ask->labelText();
      for (QPushButton* b : ask->findChildren<QPushButton*>()) buttons << b->text();
      if (!type) {
        ask->reject();
        return;
      }
      QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<FrmTestFet*>(QApplication::activeModalWidget());
        resultShown = w != nullptr;
        if (w) QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("CmdCancel")), Qt::LeftButton);
      });
      ask->setTextValue(QString::fromLatin1(FtpTestServer::kPassword));
      ask->accept();
    });
    RunUploadOperation(nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(label, QStringLiteral("『ftp://127.0.0.1:%1』のパスワードを入力してください。").arg(server.Port()));
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(resultShown, type);
  }
}

TEST_F(UploadOperationTest, AnUntrustedCertificateIsShownAndKeptOnlyWhenTrusted) {
  const lmtest::Certificate cert = lmtest::MakeCertificate(tree.Path());
  ASSERT_FALSE(cert.sha256.isEmpty());
  server.RestartWith({QStringLiteral("--tls-cert"), cert.cert, QStringLiteral("--tls-key"), cert.key});
  scope.Current().server = QStringLiteral("ftps://127.0.0.1:%1").arg(server.Port());

  // Not trusted: the question names the fingerprint, nothing is kept.
  boxes.Answer(button::No);
  EXPECT_FALSE(Run([](FrmTestFet&) {}));
  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[0].style, 36);
  EXPECT_TRUE(boxes.Texts()[0].contains(cert.sha256)) << boxes.Texts()[0].toStdString();
  EXPECT_EQ(scope.Current().servercert, QString());

  // Trusted: kept in the profile, and the comparison window follows.
  boxes.Clear();
  boxes.Answer(button::Yes);
  EXPECT_TRUE(Run([](FrmTestFet& w) {
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CmdCancel")), Qt::LeftButton);
  }));
  EXPECT_EQ(scope.Current().servercert, cert.sha256);
  // The next run asks nothing.
  boxes.Clear();
  EXPECT_TRUE(Run([](FrmTestFet& w) {
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CmdCancel")), Qt::LeftButton);
  }));
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(UploadOperationTest, AChangedCertificateIsAskedAboutWithNoAsTheDefault) {
  const lmtest::Certificate pinned = lmtest::MakeCertificate(tree.Path(), QStringLiteral("pinned"));
  const lmtest::Certificate changed = lmtest::MakeCertificate(tree.Path(), QStringLiteral("changed"));
  ASSERT_FALSE(pinned.sha256.isEmpty() || changed.sha256.isEmpty());
  lmtest::VsftpdTestServer tls({changed.cert, changed.key});
  ASSERT_GT(tls.Port(), 0);
  Profile& p = scope.Current();
  p.server = tls.Url();
  p.userid = QString::fromLatin1(lmtest::VsftpdTestServer::kUser);
  p.dirserver = QStringLiteral("pub/site");
  p.servercert = pinned.sha256;

  // Declined: the question names both certificates, いいえ is its default,
  // the pin stays, and the server never saw a login.
  boxes.Answer(button::No);
  EXPECT_FALSE(Run([](FrmTestFet&) {}));
  ASSERT_EQ(boxes.Shown().size(), 2u);
  const lmtest::ShownBox& question = boxes.Shown()[0];
  EXPECT_EQ(question.style, style::YesNo + style::Exclamation + style::DefaultSecond);
  EXPECT_TRUE(question.text.startsWith(QStringLiteral("サーバーの証明書が変わっています。"))) << question.text.toStdString();
  EXPECT_TRUE(question.text.contains(pinned.sha256) && question.text.contains(changed.sha256))
      << question.text.toStdString();
  EXPECT_EQ(scope.Current().servercert, pinned.sha256);
  for (const QString& command : tls.Commands()) EXPECT_FALSE(command.startsWith(QLatin1String("USER"))) << command.toStdString();

  // Trusted: the new certificate is pinned and the comparison follows.
  boxes.Clear();
  boxes.Answer(button::Yes);
  EXPECT_TRUE(Run([](FrmTestFet& w) {
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("CmdCancel")), Qt::LeftButton);
  }));
  EXPECT_EQ(scope.Current().servercert, changed.sha256);
  EXPECT_TRUE(QFileInfo(tls.Root(QStringLiteral("pub/site"))).isDir());
}

TEST_F(UploadOperationTest, TheSftpPasswordPromptSaysAnEmptyPasswordMeansTheKey) {
  scope.Current().password.clear();
  struct Case {
    QString server;
    bool mentionsKey;
  } cases[] = {
      {QStringLiteral("sftp://127.0.0.1:1"), true},
      {QStringLiteral("ftp://127.0.0.1:1"), false},
      {QStringLiteral("ftps://127.0.0.1:1"), false},
  };
  for (const Case& c : cases) {
    scope.Current().server = c.server;
    QString label;
    QTimer::singleShot(0, [&] {
      auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(ask, nullptr);
      label = ask->labelText();
      ask->reject();
    });
    RunUploadOperation(nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(label.startsWith(QStringLiteral("『%1』のパスワードを入力してください。").arg(c.server)))
        << label.toStdString();
    EXPECT_EQ(label.contains(QStringLiteral("空欄のときは SSH の鍵")), c.mentionsKey) << label.toStdString();
  }
}

// The window's date boxes as the author left them.
class Boxes final : public NextUpdateBoxes {
 public:
  QString BoxText(DateBox box) const override {
    static const char* const texts[] = {"2027", "4", "1", "9", "0"};
    return QString::fromLatin1(texts[static_cast<int>(box)]);
  }
  void FocusBox(DateBox) override {}
};

TEST_F(UploadOperationTest, AStaleIndexIsWrittenFirstOnlyWhenTheAuthorSaysYes) {
  tree.WriteFile(QStringLiteral("scripts/SAMPLE/DAT/added.txt"), "added");
  Boxes dates;
  QuietView view;
  // No: nothing is sent.
  boxes.Answer(button::No);
  bool shown = false;
  QTimer::singleShot(0, [&] { shown = qobject_cast<FrmTestFet*>(QApplication::activeModalWidget()) != nullptr; });
  RunUploadOperation(nullptr, &dates, &view);
  QCoreApplication::processEvents();
  EXPECT_FALSE(shown);
  ASSERT_FALSE(boxes.Texts().isEmpty());
  EXPECT_TRUE(boxes.Texts()[0].contains(QStringLiteral("(1 件、最初は『\\added.txt』)"))) << boxes.Texts()[0].toStdString();
  EXPECT_FALSE(QFile::exists(server.Root(QStringLiteral("site/dat/index.fet"))));

  // Yes: index.fet is written with the boxes' date, then sent.
  boxes.Clear();
  boxes.Answer(button::Yes);
  QTimer::singleShot(0, [&] {
    if (auto* w = qobject_cast<FrmTestFet*>(QApplication::activeModalWidget()))
      QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("CmdUpload")), Qt::LeftButton);
  });
  RunUploadOperation(nullptr, &dates, &view);
  QCoreApplication::processEvents();
  ASSERT_FALSE(boxes.Texts().isEmpty());
  EXPECT_TRUE(boxes.Texts().last().startsWith(QStringLiteral("アップロードが完了しました。"))) << boxes.Texts().last().toStdString();
  const QByteArray index = tree.ReadFile(QStringLiteral("scripts/SAMPLE/DAT/index.fet"));
  EXPECT_TRUE(index.startsWith("#NextUpdate 2027 4 1 9 0 \r\n"));
  EXPECT_TRUE(index.contains("+added.txt"));
  QFile sent(server.Root(QStringLiteral("site/dat/added.txt")));
  EXPECT_TRUE(sent.exists());

  // The check of the server agrees, and then names a file that went missing.
  boxes.Clear();
  RunServerCheckOperation(nullptr);
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_TRUE(boxes.Texts()[0].startsWith(QStringLiteral("サーバーの内容は更新定義ファイルと一致しています。")))
      << boxes.Texts()[0].toStdString();
  ASSERT_TRUE(QFile::remove(server.Root(QStringLiteral("site/dat/added.txt"))));
  boxes.Clear();
  RunServerCheckOperation(nullptr);
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_TRUE(boxes.Texts()[0].contains(QStringLiteral("ありません: \\added.txt"))) << boxes.Texts()[0].toStdString();
  EXPECT_EQ(boxes.Shown()[0].style, 48);
}

TEST_F(UploadOperationTest, ProfilesWithoutAServerAreNotUploadTargets) {
  Profile p;
  EXPECT_FALSE(ProfileHasServer(p));
  p.server = QStringLiteral("  ");
  EXPECT_FALSE(ProfileHasServer(p));
  p.server = QStringLiteral("ftp.example.jp");
  EXPECT_TRUE(ProfileHasServer(p));
}

}  // namespace
