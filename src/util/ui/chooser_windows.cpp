#include "util/ui/chooser_windows.h"

#include <QPushButton>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include "util/cfile.h"
#include "util/message_box.h"
#include "util/ui/ui_look.h"

namespace lm {

QString pickedFile;
QString chooserResult;

namespace {

QLabel* InstructionLabel(QWidget* parent, const QString& caption, const QRect& rect) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QStringLiteral("Label4"));
  label->setGeometry(rect);
  label->setWordWrap(true);
  return label;
}

}  // namespace

// ---------------------------------------------------------------- openform

openform::openform(QWidget* parent)
    : ChooserWindow(parent, QStringLiteral("openform"), QStringLiteral("ファイルを開く")) {
  setFixedSize(Twips(6450), Twips(4125));
  InstructionLabel(this, QStringLiteral("追加するペルソナのPSN/UGUファイルを指定してください。"),
                   QRect(8, 6, 414, 18));
  BuildLists(QRect(8, 28, 200, 16), QRect(8, 44, 200, 22), QRect(8, 70, 200, 196),
             QRect(216, 28, 206, 16), QRect(216, 44, 206, 122), QRect(216, 172, 206, 16),
             QRect(216, 188, 206, 24), QRect(216, 242, 100, 26), QRect(322, 242, 100, 26),
             QStringLiteral("開く"), QStringLiteral("キャンセル"));
  SetFilePattern(QStringLiteral("*.psn;*.ugu"));
}

void openform::Command1_Click() {
  if (Text1()->text().isEmpty()) {
    MsgBox(QStringLiteral("PSN/UGUファイルが指定されていません。"), style::OkOnly);
    return;
  }
  if (OpenTypedDirectory()) return;  // a folder typed in is opened, as in any file dialog
  StopTimer();
  GuardedAccept([this] { AcceptChoice(); });
}

void openform::File1_DblClick() {
  pickedFile.clear();
  GuardedAccept([this] { AcceptChoice(); });
}

void openform::AcceptChoice() {
  const QString path = FilePathFromText1();
  pickedFile.clear();
  QString message;
  int16_t status = 0;
  if (check_) {
    status = check_(path, message);
  } else if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
    status = -1;
    message = QStringLiteral("指定のファイルが存在しません。") + CR + Bracketed(path);
  }
  if (status != 0) {
    MsgBox(message, style::OkOnly);
    return;
  }
  pickedFile = path;
  done(QDialog::Accepted);
}

void openform::Command2_Click() {
  StopTimer();
  pickedFile.clear();
  done(QDialog::Rejected);
}

// ---------------------------------------------------------------- SetDir

SetDir::SetDir(QWidget* parent)
    : ChooserWindow(parent, QStringLiteral("SetDir"),
                    QStringLiteral("ディレクトリ、またはファイルの指定")) {
  setFixedSize(Twips(6330), Twips(4095));
  InstructionLabel(this, QStringLiteral("ディレクトリ、またはファイルを指定してください。"),
                   QRect(8, 4, 406, 18));
  frame1_ = new QGroupBox(this);
  frame1_->setObjectName(QStringLiteral("Frame1"));
  frame1_->setGeometry(216, 22, 198, 52);
  option1_ = new QRadioButton(QStringLiteral("ファイルを指定"), frame1_);
  option1_->setObjectName(QStringLiteral("Option1"));
  option1_->setGeometry(10, 6, 180, 20);
  option2_ = new QRadioButton(QStringLiteral("ディレクトリを指定"), frame1_);
  option2_->setObjectName(QStringLiteral("Option2"));
  option2_->setGeometry(10, 27, 180, 20);
  BuildLists(QRect(8, 26, 200, 16), QRect(8, 42, 200, 22), QRect(8, 68, 200, 198),
             QRect(216, 78, 198, 16), QRect(216, 94, 198, 104), QRect(216, 200, 198, 16),
             QRect(216, 216, 198, 24), QRect(216, 244, 96, 26), QRect(318, 244, 96, 26),
             QStringLiteral("決定"), QStringLiteral("取り消し"));
  // File1 lists every file on a white background.
  QPalette pal = File1()->palette();
  pal.setColor(QPalette::Base, Qt::white);
  File1()->setPalette(pal);
  // Text1 comes first (the window opens with the focus in it), the file or
  // directory choice after the two commands.
  setTabOrder(Command2(), option1_);
  setTabOrder(option1_, option2_);
  connect(option1_, &QRadioButton::clicked, this, [this] { SetKind(0); });
  connect(option2_, &QRadioButton::clicked, this, [this] { SetKind(1); });
  Prepare(0);
}

int16_t SetDir::Prepare(int16_t mode) {
  if (mode < 0 || mode > 2) return -1;
  const bool fileEntry = mode != 2;
  SetEntryLook(Text1(), fileEntry);
  SetEntryLook(File1(), fileEntry);
  option1_->setEnabled(mode != 2);
  option2_->setEnabled(mode != 1);
  (fileEntry ? option1_ : option2_)->setChecked(true);
  return 0;
}

int16_t SetDir::SetKind(int16_t kind) {
  if (kind != 0 && kind != 1) return -1;
  SetEntryLook(Text1(), kind == 0);
  SetEntryLook(File1(), kind == 0);
  return 0;
}

void SetDir::Command1_Click() {
  if (option1_->isChecked()) {
    if (Text1()->text().isEmpty()) {
      MsgBox(QStringLiteral("ファイルが指定されていません。"), style::OkOnly);
      return;
    }
    const QString typed = FilePathFromText1();
    if (QFileInfo(typed).isDir()) {
      // A folder typed in is the choice where folders may be chosen;
      // otherwise it is opened to pick a file from it.
      if (option2_->isEnabled()) {
        StopTimer();
        chooserResult = QDir::cleanPath(typed);
        done(QDialog::Accepted);
      } else {
        OpenTypedDirectory();
      }
      return;
    }
    StopTimer();
  }
  GuardedAccept([this] { AcceptChoice(); });
}

void SetDir::File1_DblClick() { GuardedAccept([this] { AcceptChoice(); }); }

void SetDir::AcceptChoice() {
  chooserResult.clear();
  const cFile files;
  const bool fileChoice = option1_->isChecked();
  const QString path = fileChoice ? FilePathFromText1() : Dir1Highlighted();
  if (fileChoice ? files.FileExists(path) : files.DirExists(path)) {
    chooserResult = path;
    done(QDialog::Accepted);
    return;
  }
  const QString missing = fileChoice ? QStringLiteral("指定のファイルが存在しません。")
                                     : QStringLiteral("指定のディレクトリが存在しません。");
  MsgBox(missing + CR + Bracketed(path), style::OkOnly);
}

void SetDir::Command2_Click() {
  StopTimer();
  chooserResult.clear();
  done(QDialog::Rejected);
}

// ---------------------------------------------------------------- set-up

namespace {
ScriptFileCheck& InstalledCheck() {
  static ScriptFileCheck check;
  return check;
}
}  // namespace

openform& OpenFormWindow() {
  // Lives until the process ends; deleting it after QApplication is gone would crash.
  static openform* window = [] {
    auto* w = new openform();
    w->SetScriptFileCheck(InstalledCheck());
    return w;
  }();
  return *window;
}

SetDir& SetDirWindow() {
  static SetDir* window = new SetDir();
  return *window;
}

void SetScriptFileCheck(ScriptFileCheck check) {
  InstalledCheck() = check;
  OpenFormWindow().SetScriptFileCheck(std::move(check));
}

int16_t PrepareChooser(int16_t mode) { return SetDirWindow().Prepare(mode); }

int16_t SetChooserKind(int16_t kind) { return SetDirWindow().SetKind(kind); }

void ShowModal(ChooserWindow& window) { window.exec(); }

}  // namespace lm
