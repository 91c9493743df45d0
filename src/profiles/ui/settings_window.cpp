#include "profiles/ui/settings_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "profiles/profile_actions.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "profiles/settings_rules.h"
#include "profiles/ui/settings_host.h"
#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/ui/chooser_windows.h"
#include "util/ui/typing_limit.h"
#include "util/ui/ui_look.h"

namespace lm {

namespace {

// The local files of a drop, in the order given.
QStringList DroppedFiles(const QMimeData* data) {
  QStringList files;
  if (!data) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& rect) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromUtf8(name));
  label->setGeometry(rect);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QLineEdit* MakeBox(QWidget* parent, const char* name, const QRect& rect, int maxLength = 0) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(rect);
  if (maxLength > 0) SetTypingLimit(box, maxLength);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setGeometry(rect);
  button->setAutoDefault(false);
  return button;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption, const QRect& rect) {
  auto* frame = new QGroupBox(caption, parent);
  frame->setObjectName(QString::fromUtf8(name));
  frame->setGeometry(rect);
  return frame;
}

int16_t CheckPickedScript(const QString& path, QString& message) {
  int16_t nonRegular = 0;
  return CheckScriptFile(path, message, nonRegular);
}

}  // namespace

SETTING::SETTING(SettingsHost& host, QWidget* parent) : QDialog(parent), host_(host) {
  setObjectName(QStringLiteral("SETTING"));
  setWindowTitle(QStringLiteral("Loftmarkの設定"));
  setModal(true);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  ApplyDialogLook(this);
  setFixedSize(Twips(9015), Twips(7035));

  // Frame3: the profile name and the script information file.
  QGroupBox* frame3 = MakeFrame(this, "Frame3", QStringLiteral("更新定義の設定（必須）"),
                                TwipRect(120, 60, 5655, 1695));
  QLabel* label9 = MakeLabel(frame3, "Label9", QStringLiteral("プロファイル名"), TwipRect(180, 300, 1575, 255));
  profileBox_ = MakeBox(frame3, "Txtプロファイル", TwipRect(1560, 240, 1455, 270), 50);
  QLabel* label15 =
      MakeLabel(frame3, "Label15", QStringLiteral("スクリプト名、全角可"), TwipRect(3120, 300, 1995, 195));
  QLabel* label5 =
      MakeLabel(frame3, "Label5", QStringLiteral("更新定義ファイルの位置"), TwipRect(180, 660, 2295, 255));
  scriptBox_ = MakeBox(frame3, "Txt更新定義ファイル", TwipRect(180, 840, 4515, 255));
  scriptBox_->setReadOnly(true);
  SetGreyBackground(scriptBox_);
  QPushButton* command3 = MakeButton(frame3, "Command3", QStringLiteral("参照"), TwipRect(4740, 840, 795, 315));
  QLabel* label14 = MakeLabel(
      frame3, "Label14",
      QStringLiteral("※このフレーム内に更新定義ファイル(UGU)をドロップすることで設定できます。"),
      TwipRect(180, 1200, 5355, 375));
  // Its two lines fit 375 twips in a font of 12-pixel lines; a font with
  // taller lines gets the height it needs, so the second line is not cut.
  const int needed = label14->fontMetrics()
                         .boundingRect(QRect(0, 0, label14->width(), 10000), Qt::TextWordWrap | Qt::AlignLeft,
                                       label14->text())
                         .height();
  if (needed > label14->height()) label14->resize(label14->width(), needed);

  // Frame2: the distribution archive.
  QGroupBox* frame2 = MakeFrame(
      this, "Frame2", QStringLiteral("配布用アーカイブ関連の設定(空白の場合自動設定となります)"),
      TwipRect(120, 1860, 5655, 5055));
  MakeLabel(frame2, "Label6", QStringLiteral("配布用アーカイブファイル名(QSC/LZH/EXE:拡張子は不要です)"),
            TwipRect(240, 300, 5295, 255));
  arcName_ = MakeBox(frame2, "TxtArcName", TwipRect(180, 480, 1755, 255), 20);
  // Archive names are typed directly, half-width: no input method.
  arcName_->setAttribute(Qt::WA_InputMethodEnabled, false);
  arcName_->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
  MakeLabel(frame2, "Label8", QStringLiteral("配布用アーカイブ作成先ディレクトリ"), TwipRect(180, 840, 4455, 255));
  arcDirect_ = MakeBox(frame2, "TxtArcDirect", TwipRect(180, 1020, 4455, 270));
  QPushButton* command8 = MakeButton(frame2, "Command8", QStringLiteral("参照"), TwipRect(4680, 1020, 795, 315));
  MakeLabel(frame2, "Label7", QStringLiteral("添付するファイル・添付するディレクトリ"),
            TwipRect(180, 1440, 4215, 255));
  list1_ = new QListWidget(frame2);
  list1_->setObjectName(QStringLiteral("List1"));
  list1_->setGeometry(TwipRect(180, 1620, 4455, 960));
  QPushButton* command4 = MakeButton(frame2, "Command4", QStringLiteral("追加"), TwipRect(4680, 1680, 795, 315));
  command5_ = MakeButton(frame2, "Command5", QStringLiteral("削除"), TwipRect(4680, 2040, 795, 315));
  command5_->setEnabled(false);
  MakeLabel(frame2, "Label12", QStringLiteral("※上のリストに添付したいファイルをドロップしてください。"),
            TwipRect(180, 2580, 5175, 255));

  // Frame5 inside Frame2: the self-extractor.
  QGroupBox* frame5 = MakeFrame(frame2, "Frame5", QStringLiteral("自己解凍ファイル関連(EXE)の設定（任意）"),
                                TwipRect(180, 3000, 5235, 1875));
  MakeLabel(frame5, "Label10", QStringLiteral("自己解凍時のウインドウタイトル(半角40字以内)"),
            TwipRect(120, 360, 4215, 195));
  exeWinTitle_ = MakeBox(frame5, "TxtExeWinTitle", TwipRect(120, 540, 3495, 270), 40);
  MakeLabel(frame5, "Label11", QStringLiteral("初期表示解凍先ディレクトリ"), TwipRect(120, 840, 3435, 255));
  exeViewDir_ = MakeBox(frame5, "TxtExeViewDir", TwipRect(120, 1020, 3975, 270), 64);
  QPushButton* command6 = MakeButton(frame5, "Command6", QStringLiteral("参照"), TwipRect(4080, 1020, 795, 315));
  MakeLabel(frame5, "Label13", QStringLiteral("自己解凍時に自動的に開くドキュメント"),
            TwipRect(120, 1320, 5235, 195));
  autoView_ = MakeBox(frame5, "TxtAutoView", TwipRect(120, 1500, 2415, 270), 64);
  MakeLabel(frame5, "Label16", QStringLiteral("(添付ファイルから選択)"), TwipRect(2520, 1560, 2175, 195));

  // Frame1: the account of the upload.
  QGroupBox* frame1 = MakeFrame(this, "Frame1", QStringLiteral("FTP関連の設定"), TwipRect(5880, 4320, 3015, 2595));
  MakeLabel(frame1, "Label2", QStringLiteral("接続先サーバ"), TwipRect(120, 420, 1515, 195));
  server_ = MakeBox(frame1, "TxtServer", TwipRect(120, 600, 2715, 270));
  MakeLabel(frame1, "Label1", QStringLiteral("ユーザーID"), TwipRect(120, 900, 1455, 195));
  userId_ = MakeBox(frame1, "TxtUserID", TwipRect(120, 1080, 2055, 270));
  MakeLabel(frame1, "Label3", QStringLiteral("パスワード"), TwipRect(120, 1380, 1215, 195));
  password_ = MakeBox(frame1, "TxtPassword", TwipRect(120, 1560, 2055, 270));
  MakeLabel(frame1, "Label4", QStringLiteral("送信先ディレクトリ"), TwipRect(120, 1860, 1755, 255));
  dirServer_ = MakeBox(frame1, "TxtDirServer", TwipRect(120, 2040, 2715, 270));
  for (QLineEdit* box : {server_, userId_, password_, dirServer_}) SetEntryLook(box, true);
  password_->setEchoMode(QLineEdit::Password);
  keyring_ = new QCheckBox(QStringLiteral("パスワードをキーリングに保存"), frame1);
  keyring_->setObjectName(QStringLiteral("ChkKeyring"));
  keyring_->setGeometry(TwipRect(120, 2340, 2835, 225));
  server_->setToolTip(QStringLiteral("ホスト名、または ftp:// ftps:// sftp:// で始まるアドレス（:ポート番号 可）"));

  // Frame4: the three commands.
  QGroupBox* frame4 = MakeFrame(this, "Frame4", QString(), TwipRect(6780, 60, 2115, 1695));
  QPushButton* command1 = MakeButton(frame4, "Command1", QStringLiteral("決定"), TwipRect(420, 300, 1275, 375));
  command1->setDefault(true);
  command1->setAutoDefault(true);
  QPushButton* command9 = MakeButton(frame4, "Command9", QStringLiteral("適用"), TwipRect(420, 720, 1275, 375));
  command9->setEnabled(false);  // never enabled
  QPushButton* command2 = MakeButton(frame4, "Command2", QStringLiteral("取り消し"), TwipRect(420, 1140, 1275, 375));

  const QList<QWidget*> order = {profileBox_, scriptBox_, command3,   arcName_, arcDirect_,
                                 command8,    list1_,     command4,   command5_, exeWinTitle_,
                                 exeViewDir_, command6,   autoView_,  server_,  userId_,
                                 password_,   dirServer_, keyring_,   command1, command9, command2};
  for (int i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);

  // Drop targets: everything in Frame3 takes a script information file, List1 attachments.
  scriptDropTargets_ = {frame3, label9, label15, label5, label14, command3, profileBox_, scriptBox_};
  for (QWidget* target : scriptDropTargets_) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
  }
  list1_->setAcceptDrops(true);
  list1_->viewport()->setAcceptDrops(true);
  list1_->viewport()->installEventFilter(this);

  selectAllBoxes_ = {profileBox_, scriptBox_, arcName_, arcDirect_, exeWinTitle_, exeViewDir_, autoView_};
  // What is typed must fit lfup.ini, which is Shift-JIS.
  for (QLineEdit* box : {profileBox_, arcName_, arcDirect_, exeWinTitle_, exeViewDir_, autoView_, server_, userId_,
                         password_, dirServer_})
    RefuseNonShiftJisTyping(box);
  for (QLineEdit* box : selectAllBoxes_) box->installEventFilter(this);

  connect(command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(command5_, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
  connect(list1_, &QListWidget::itemClicked, this, [this] { List1_Click(); });
  connect(list1_, &QListWidget::currentRowChanged, this, [this] { List1_Click(); });

  InstallScriptPickerCheck();
}

// ---------------------------------------------------------------- commands of the main window

void SETTING::EditCurrentProfile() {
  if (!CurrentProfile()) return;
  addingProfile = 0;
  FillSettingsWindow();
  ShowModally();
}

void SETTING::AddProfile() {
  if (lastProfile >= kProfileCapacity - 1) {
    // The table has no room for another profile.
    MsgBox(QStringLiteral("プロファイルはこれ以上追加できません。") + CR +
               QStringLiteral("登録できるプロファイルは最大１０１件です。"),
           style::OkOnly);
    return;
  }
  ClearSettingsWindow();
  lastProfile = static_cast<int16_t>(lastProfile + 1);
  addingProfile = 1;
  currentProfile = lastProfile;
  CurrentProfile()->Clear();
  ShowModally();
}

void SETTING::ShowModally() {
  if (isVisible()) return;
  profileBox_->setFocus(Qt::OtherFocusReason);
  PlaceInScreenCentre();
  exec();
}

void SETTING::PlaceInScreenCentre() {
  // The centre of the screen the main window is on (the primary one when
  // it has none), not the centre of the main window.
  QScreen* screen = parentWidget() ? parentWidget()->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize frame = frameGeometry().size();
  move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void SETTING::Hide() { done(QDialog::Accepted); }

// ---------------------------------------------------------------- boxes

void SETTING::FillSettingsWindow() {
  const Profile* current = CurrentProfile();
  if (!current) return;
  const Profile& p = *current;
  profileBox_->setText(p.profile);
  scriptBox_->setText(p.ugu);
  arcDirect_->setText(p.dirarc);
  arcName_->setText(p.namearc);
  list1_->clear();
  for (int i = 0; i < p.addfilecnt && i < kAttachmentCapacity; ++i) list1_->addItem(p.addfile[i]);
  exeWinTitle_->setText(p.exewintitle);
  exeViewDir_->setText(p.exeviewdir);
  autoView_->setText(p.autoview);
  server_->setText(p.server);
  userId_->setText(p.userid);
  password_->setText(p.password);
  dirServer_->setText(p.dirserver);
  keyring_->setChecked(p.keyring == QLatin1String("1"));
  command5_->setEnabled(false);
}

void SETTING::ClearSettingsWindow() {
  for (QLineEdit* box : {profileBox_, scriptBox_, arcName_, arcDirect_, exeWinTitle_, exeViewDir_,
                         autoView_, server_, userId_, password_, dirServer_})
    box->clear();
  keyring_->setChecked(false);
  list1_->clear();
  command5_->setEnabled(false);
}

QStringList SETTING::AttachmentEntries() const {
  QStringList entries;
  for (int i = 0; i < list1_->count(); ++i) entries << list1_->item(i)->text();
  return entries;
}

int16_t SETTING::ApplySettingsWindow() {
  SettingsTexts texts;
  texts.profile = profileBox_->text();
  texts.ugu = scriptBox_->text();
  texts.arcName = arcName_->text();
  texts.arcDirect = arcDirect_->text();
  texts.attachments = AttachmentEntries();
  texts.exeWinTitle = exeWinTitle_->text();
  texts.exeViewDir = exeViewDir_->text();
  texts.autoView = autoView_->text();
  texts.server = server_->text();
  texts.userid = userId_->text();
  texts.password = password_->text();
  texts.dirserver = dirServer_->text();
  texts.keyring = keyring_->isChecked();

  const int16_t status = CheckSettings(texts, [this](SettingsBox box) {
    QWidget* target = profileBox_;
    switch (box) {
      case SettingsBox::Profile: target = profileBox_; break;
      case SettingsBox::ScriptFile: target = scriptBox_; break;
      case SettingsBox::ArcName: target = arcName_; break;
      case SettingsBox::ArcDirect: target = arcDirect_; break;
      case SettingsBox::Attachments: target = list1_; break;
      case SettingsBox::ExeWinTitle: target = exeWinTitle_; break;
      case SettingsBox::ExeViewDir: target = exeViewDir_; break;
      case SettingsBox::AutoView: target = autoView_; break;
      case SettingsBox::Server: target = server_; break;
      case SettingsBox::UserId: target = userId_; break;
      case SettingsBox::Password: target = password_; break;
      case SettingsBox::DirServer: target = dirServer_; break;
    }
    target->setFocus(Qt::OtherFocusReason);
  });
  Profile* current = CurrentProfile();
  if (status != 0 || !current) return -1;

  Profile& p = *current;
  StoreSettings(texts, p);
  if (addingProfile == 0) {
    host_.SetProfileEntryText(currentProfile, p.profile);
  } else {
    host_.AppendProfileEntry(p.profile);
    // The profile is in the list now; a second store only renames it.
    addingProfile = 0;
  }
  return 0;
}

// ---------------------------------------------------------------- drops

QString SETTING::DropScriptFile(const QStringList& files) { return CheckDroppedScriptFile(files); }

int16_t SETTING::DropAttachments(const QStringList& files) {
  QStringList entries = AttachmentEntries();
  const int before = static_cast<int>(entries.size());
  const int16_t status = AddDroppedAttachments(entries, files);
  for (int i = before; i < entries.size(); ++i) list1_->addItem(entries[i]);
  return status;
}

// ---------------------------------------------------------------- buttons

void SETTING::Command1_Click() {
  if (ApplySettingsWindow() != 0) return;
  // A confirmed profile reaches lfup.ini at once: a command run a moment
  // later sees it, and a crash does not lose it. A failure is reported by
  // the save; the profile stays in the table for the save at close.
  SaveProfiles();
  host_.RefreshMainWindow();
  Hide();
}

void SETTING::Command2_Click() {
  if (addingProfile == 1) {
    // The appended profile leaves the table again.
    lastProfile = static_cast<int16_t>(lastProfile - 1);
    currentProfile = 0;
    addingProfile = 0;
  }
  host_.RefreshMainWindow();
  Hide();
}

void SETTING::reject() { Command2_Click(); }

void SETTING::PointAtScriptFolder(ChooserWindow& chooser) const {
  // The script being edited, else the current profile's; when neither folder
  // is there the chooser stays where it was last (home at first).
  const Profile* current = CurrentProfile();
  for (const QString& ugu : {TrimBlanks(scriptBox_->text()), current ? TrimBlanks(current->ugu) : QString()}) {
    if (ugu.isEmpty()) continue;
    const QString dir = ResolveExisting(DirOf(ugu));
    if (!dir.isEmpty() && chooser.PointAt(dir)) return;
  }
}

void SETTING::Command3_Click() {
  PointAtScriptFolder(OpenFormWindow());
  ShowModal(OpenFormWindow());
  if (!pickedFile.isEmpty()) scriptBox_->setText(pickedFile);
}

void SETTING::ChooseDirectoryFor(QLineEdit* box) {
  QString t = TrimBlanks(box->text());
  if (t.isEmpty() || !cFile().DirExists(t)) t = DefaultArchiveFolder();
  const QString real = ResolveExisting(t);
  SetDirWindow().PointAt(real.isEmpty() ? NativePath(t) : real);
  PrepareChooser(2);
  ShowModal(SetDirWindow());
  if (!chooserResult.isEmpty()) box->setText(chooserResult);
}

void SETTING::Command8_Click() { ChooseDirectoryFor(arcDirect_); }

void SETTING::Command6_Click() { ChooseDirectoryFor(exeViewDir_); }

void SETTING::Command4_Click() {
  // The list takes no more entries than a drop may bring.
  if (list1_->count() >= kMaxAttachmentEntries) {
    MsgBox(AttachmentLimitMessage(), style::OkOnly);
    return;
  }
  PrepareChooser(0);
  PointAtScriptFolder(SetDirWindow());
  ShowModal(SetDirWindow());
  if (!chooserResult.isEmpty()) list1_->addItem(chooserResult);
}

void SETTING::Command5_Click() {
  const int row = list1_->currentRow();
  if (row >= 0) delete list1_->takeItem(row);
  list1_->setCurrentRow(-1);
  command5_->setEnabled(false);
}

void SETTING::List1_Click() { command5_->setEnabled(list1_->currentRow() >= 0); }

// ---------------------------------------------------------------- events

bool SETTING::event(QEvent* event) {
  if (event->type() == QEvent::Show) profileBox_->setFocus(Qt::ActiveWindowFocusReason);
  return QDialog::event(event);
}

bool SETTING::eventFilter(QObject* watched, QEvent* event) {
  const bool onList = watched == list1_->viewport();
  const bool onScriptTarget = scriptDropTargets_.contains(qobject_cast<QWidget*>(watched));
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
      if (!onList && !onScriptTarget) break;
      auto* drop = static_cast<QDropEvent*>(event);
      // Dragged text goes on to the box itself; only files are taken here.
      if (!drop->mimeData() || !drop->mimeData()->hasUrls()) break;
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      if (event->type() != QEvent::Drop) return true;
      const QStringList files = DroppedFiles(drop->mimeData());
      if (onList)
        DropAttachments(files);
      else
        scriptBox_->setText(DropScriptFile(files));  // also when refused: the box empties
      return true;
    }
    case QEvent::FocusIn:
      if (auto* box = qobject_cast<QLineEdit*>(watched); box && selectAllBoxes_.contains(box)) {
        // After the click that gave the focus has placed the cursor.
        QTimer::singleShot(0, box, [box] { SelectAllText(*box); });
      }
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- the script file picker

void InstallScriptPickerCheck() { SetScriptFileCheck(CheckPickedScript); }

void PointScriptPickerAtProfiles() {
  openform& picker = OpenFormWindow();
  for (int i = 0; i <= lastProfile && i < kProfileCapacity; ++i) {
    const QString& ugu = profileTable[i].ugu;
    if (ugu.isEmpty()) continue;
    QString name;
    FileNameOf(ugu, name);
    const QString dir = ResolveExisting(DirOf(ugu));
    if (!dir.isEmpty()) picker.PointAt(dir, name);
  }
}

}  // namespace lm
