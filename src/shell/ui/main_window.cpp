#include "shell/ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QGroupBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QUrl>

#include "profiles/profile_store.h"
#include "shell/about_text.h"
#include "profiles/vendor_link.h"
#include "sync/ui/compare_operation.h"
#include "sync/ui/upload_operation.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/ui/ui_look.h"

namespace lm {
namespace {

template <class W>
W* Place(W* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(TwipRect(left, top, width, height));
  return widget;
}

// The window's Japanese font ("ＭＳ ゴシック" 9 pt on the original platform,
// 12 pixels at 96 dpi).
QFont GothicFont(bool proportional = false) {
  QFont f;
  f.setFamily(proportional ? QStringLiteral("IPAPGothic") : QStringLiteral("IPAGothic"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(12);
  return f;
}

// "Arial Black" at the given pixel size; a heavy sans-serif where it is missing.
QFont BlackFont(int pixelSize) {
  QFont f;
  f.setFamily(QStringLiteral("Arial Black"));  // fontconfig substitutes where it is missing
  f.setStyleHint(QFont::SansSerif);
  f.setWeight(QFont::Black);
  f.setPixelSize(pixelSize);
  return f;
}

QLabel* ColouredLabel(QWidget* parent, const QString& text, const QFont& font, QColor colour) {
  auto* label = new QLabel(text, parent);
  label->setFont(font);
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, colour);
  label->setPalette(p);
  label->setAutoFillBackground(false);  // transparent
  return label;
}

void SetBackground(QWidget* widget, QColor colour) {
  QPalette p = widget->palette();
  p.setColor(QPalette::Base, colour);
  p.setColor(QPalette::Window, colour);
  widget->setPalette(p);
}

// Option buttons and check boxes with the narrow gap between mark and caption
// of the original platform, so the long captions fit their twip widths.
class NarrowLabelStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_RadioButtonLabelSpacing || metric == PM_CheckBoxLabelSpacing) return 3;
    // The option buttons are 13 pixels high: a mark that fits them whole.
    if (metric == PM_ExclusiveIndicatorWidth || metric == PM_ExclusiveIndicatorHeight) return 12;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

}  // namespace

// ---- FIND ------------------------------------------------------------------

FIND::FIND(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("FIND"));
  setWindowTitle(QStringLiteral("Loftmark"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  setFont(GothicFont());
  BuildMenu();
  BuildControls();
  setAcceptDrops(true);
  installEventFilter(this);
  // Fixed single border: the client area is 6195 x 5835 twips below the menu bar.
  setFixedSize(413, 389 + menuBar()->sizeHint().height());
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void FIND::BuildMenu() {
  // Menus and their entries carry their names as objectName.
  auto menu = [this](const QString& caption, const char* name) {
    QMenu* m = menuBar()->addMenu(caption);
    m->setObjectName(QLatin1String(name));
    m->menuAction()->setObjectName(QLatin1String(name));
    return m;
  };
  auto entry = [](QMenu* m, const QString& caption, const char* name) {
    QAction* a = m->addAction(caption);
    a->setObjectName(QLatin1String(name));
    return a;
  };
  QMenu* file = menu(QStringLiteral("ファイル(&F)"), "m_file");
  mNew_ = entry(file, QStringLiteral("新規プロファイルの追加(&N)"), "m_new");
  mOpenArchiveFolder_ = entry(file, QStringLiteral("アーカイブの保存先を開く"), "m_openarcdir");
  mExit_ = entry(file, QStringLiteral("終了(&X)"), "m_exit");
  QMenu* settei = menu(QStringLiteral("設定(&S)"), "m_settei");
  mSetProfile_ = entry(settei, QStringLiteral("現在のプロファイルの設定(&T)"), "m_setprofile");
  mVerifyServer_ = entry(settei, QStringLiteral("サーバーの内容を確認(&V)"), "m_verify");
  QMenu* help = menu(QStringLiteral("ヘルプ(&H)"), "m_help");
  mReadme_ = entry(help, QStringLiteral("READMEを開く(&R)"), "m_readme");
  mAbout_ = entry(help, QStringLiteral("バージョン情報(&A)"), "m_about");

  connect(mNew_, &QAction::triggered, this, [this] { Command5_Click(); });
  connect(mExit_, &QAction::triggered, this, [this] { Command3_Click(); });
  connect(mOpenArchiveFolder_, &QAction::triggered, this, [] { OpenArchiveFolder(); });
  connect(mSetProfile_, &QAction::triggered, this, [this] { Command4_Click(); });
  connect(mVerifyServer_, &QAction::triggered, this, [this] { RunServerCheckOperation(this); });
  connect(mReadme_, &QAction::triggered, this, [] { OpenReadme(); });
  connect(mAbout_, &QAction::triggered, this, [this] { ShowAbout(); });
}

void FIND::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(413, 389);
  setCentralWidget(client);

  // The title art lies under everything else: the grey band, the white and
  // blue "Loftmark" and the version.
  auto* shape2 = Place(new QFrame(client), "Shape2", 240, 360, 4575, 195);
  shape2->setAutoFillBackground(true);
  SetBackground(shape2, QColor(224, 224, 224));
  Place(ColouredLabel(client, QStringLiteral(" Loftmark"), BlackFont(27), Qt::white), "Label10",
        1020, -60, 2715, 495);
  Place(ColouredLabel(client, QStringLiteral(" Loftmark"), BlackFont(27), QColor(0, 0, 255)),
        "Label15", 1080, 0, 2715, 495);
  lblVersion_ = Place(ColouredLabel(client, QStringLiteral("VerX.XX"), BlackFont(16),
                                    QColor(255, 255, 128)),
                      "LblVersion", 3480, 180, 1215, 375);
  // A thin dark edge keeps the light-yellow version readable on the light
  // window background.
  auto* edge = new QGraphicsDropShadowEffect(lblVersion_);
  edge->setColor(QColor(64, 64, 64));
  edge->setOffset(1, 1);
  edge->setBlurRadius(0);
  lblVersion_->setGraphicsEffect(edge);

  // Frames draw their border through the middle of the caption, so the
  // controls placed near a frame's top edge lie inside it.
  client->setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; padding: 0px 1px; }"));

  // Frame2: the script information file, the next update, the index lines.
  frame2_ = Place(new QGroupBox(client), "Frame2", 240, 1680, 5655, 2415);
  frame2_->setAcceptDrops(true);
  check1_ = Place(new QCheckBox(QStringLiteral("indextmp.fetを作成する (通常は必要ありません。)"),
                                frame2_),
                  "Check1", 120, 1260, 5415, 255);
  text1_ = Place(new DigitBox(frame2_), "Text1", 1740, 660, 555, 315);
  text1_->setMaxLength(4);
  text2_ = Place(new DigitBox(frame2_), "Text2", 2580, 660, 375, 315);
  text3_ = Place(new DigitBox(frame2_), "Text3", 3240, 660, 375, 315);
  text5_ = Place(new DigitBox(frame2_), "Text5", 4080, 660, 375, 315);
  text6_ = Place(new DigitBox(frame2_), "Text6", 4740, 660, 375, 315);
  for (DigitBox* box : {text2_, text3_, text5_, text6_}) box->setMaxLength(2);
  list1_ = Place(new QListWidget(frame2_), "List1", 120, 1500, 5415, 780);
  SetBackground(list1_, QColor(192, 192, 192));
  list1_->viewport()->setAcceptDrops(true);
  list1_->viewport()->installEventFilter(this);
  text4_ = Place(new QLineEdit(frame2_), "Text4", 120, 300, 5415, 270);
  text4_->setReadOnly(true);  // written only by the program
  SetBackground(text4_, QColor(192, 192, 192));
  text4_->setAcceptDrops(true);
  text4_->installEventFilter(this);
  Place(new QLabel(QStringLiteral("※時刻は24時間表記で指定してください。"), frame2_), "Label9", 120,
        1020, 3495, 195);
  Place(new QLabel(QStringLiteral("年"), frame2_), "Label1", 2340, 720, 255, 195);
  Place(new QLabel(QStringLiteral("月"), frame2_), "Label2", 3000, 720, 375, 195);
  Place(new QLabel(QStringLiteral("日"), frame2_), "Label3", 3660, 720, 375, 195);
  Place(new QLabel(QStringLiteral("次回更新予定日時"), frame2_), "Label4", 120, 720, 1755, 195);
  Place(new QLabel(QStringLiteral("時"), frame2_), "Label7", 4500, 720, 375, 195);
  Place(new QLabel(QStringLiteral("分"), frame2_), "Label8", 5160, 720, 375, 195);
  for (QLineEdit* box : {static_cast<QLineEdit*>(text1_), static_cast<QLineEdit*>(text2_),
                         static_cast<QLineEdit*>(text3_), static_cast<QLineEdit*>(text5_),
                         static_cast<QLineEdit*>(text6_), text4_})
    box->installEventFilter(this);
  frame2_->installEventFilter(this);

  // Frame3: the profiles.
  frame3_ = Place(new QGroupBox(QStringLiteral("対象スクリプトのプロファイル"), client), "Frame3",
                  240, 660, 5655, 975);
  frame4_ = Place(new QGroupBox(frame3_), "Frame4", 4380, 120, 1155, 795);
  command5_ = Place(new QPushButton(QStringLiteral("新規追加"), frame4_), "Command5", 120, 180,
                    915, 255);
  command6_ = Place(new QPushButton(QStringLiteral("削除"), frame4_), "Command6", 120, 480, 915,
                    255);
  combo2_ = Place(new QComboBox(frame3_), "Combo2", 180, 300, 3195, 300);
  combo2_->setEditable(false);
  command4_ = Place(new QPushButton(QStringLiteral("設定"), frame3_), "Command4", 3420, 300, 735,
                    315);

  // Frame1: the operations.
  frame1_ = Place(new QGroupBox(client), "Frame1", 240, 4140, 4155, 1455);
  combo1_ = Place(new QComboBox(frame1_), "Combo1", 420, 780, 3435, 300);
  combo1_->setFont(GothicFont(true));
  combo1_->setEnabled(false);
  option3_ = Place(new QRadioButton(QStringLiteral("修正されたファイルをサーバーにアップロード"),
                                    frame1_),
                   "Option3", 180, 1140, 3915, 195);
  option3_->setEnabled(false);  // enabled while the current profile names a server
  option2_ = Place(new QRadioButton(QStringLiteral("更新定義ファイルと配布用アーカイブを作成"),
                                    frame1_),
                   "Option2", 180, 540, 3735, 195);
  option1_ = Place(new QRadioButton(QStringLiteral("更新定義ファイル(*.fet)のみを作成"), frame1_),
                   "Option1", 180, 240, 3795, 195);
  option1_->setChecked(true);

  command3_ = Place(new QPushButton(QStringLiteral("終了"), client), "Command3", 4560, 5040,
                    1275, 375);
  command1_ = Place(new QPushButton(QStringLiteral("処理の実行"), client), "Command1", 4560,
                    4560, 1275, 375);
  command1_->setDefault(true);
  buildView_ = BuildRunWindow(this, combo1_, command1_, list1_);
  runWaiter_ = std::make_unique<WindowRunWaiter>(this, list1_);

  image1_ = Place(new LogoImage(client), "Image1", 4860, 0, 1050, 645);
  image1_->setPixmap(LogoPixmap());
  image1_->setCursor(Qt::PointingHandCursor);

  auto* narrow = new NarrowLabelStyle();
  narrow->setParent(this);
  for (QWidget* w : std::initializer_list<QWidget*>{option1_, option2_, option3_, check1_})
    w->setStyle(narrow);
  // The two long option captions need one pixel less per character than the
  // window's font to fit their widths whole.
  QFont optionFont = GothicFont();
  optionFont.setPixelSize(11);
  for (QWidget* w : std::initializer_list<QWidget*>{option1_, option2_, option3_})
    w->setFont(optionFont);

  // The frames' style sheet hands its widgets the application's font, so
  // every control that has no font of its own gets the window's font here.
  for (QWidget* w : client->findChildren<QWidget*>())
    if (!w->testAttribute(Qt::WA_SetFont)) w->setFont(font());

  // Labels take no focus; frames neither. The remaining order is the window's.
  QWidget* order[] = {combo2_, command4_, command5_, command6_, text4_,   text1_,
                      text2_,  text3_,    text5_,    text6_,    check1_,  list1_,
                      option1_, option2_, combo1_,   option3_,  command1_, command3_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(command3_, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(command4_, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(command5_, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(command6_, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(combo2_, &QComboBox::currentIndexChanged, this, [this](int i) { Combo2_Click(i); });
  connect(check1_, &QCheckBox::toggled, this, [this] { Check1_Click(); });
  connect(option1_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) combo1_->setEnabled(false);
  });
  connect(option2_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) combo1_->setEnabled(true);
  });
  connect(option3_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) combo1_->setEnabled(false);
  });
  connect(image1_, &LogoImage::clicked, this, [this] { Image1_Click(); });
}

// ---- what other windows change ---------------------------------------------

void FIND::SetProfileEntryText(int index, const QString& text) {
  if (index >= 0 && index < combo2_->count()) combo2_->setItemText(index, text);
}

void FIND::AppendProfileEntry(const QString& text) { combo2_->addItem(text); }

void FIND::RefreshMainWindow() { lm::RefreshMainWindow(*this); }

// ---- MainWindowView --------------------------------------------------------

int FIND::SelectedProfileEntry() const { return combo2_->currentIndex(); }

void FIND::SelectProfileEntry(int index) {
  // Every re-showing of the current profile passes here first.
  UpdateUploadOption();
  if (index < 0 || index >= combo2_->count()) return;
  combo2_->setCurrentIndex(index);  // a change runs Combo2_Click
}

void FIND::RemoveProfileEntry(int index) {
  if (index < 0 || index >= combo2_->count()) return;
  const QSignalBlocker block(combo2_);
  combo2_->removeItem(index);
  combo2_->setCurrentIndex(-1);
}

void FIND::SetScriptFileText(const QString& text) { text4_->setText(text); }

DigitBox* FIND::DateBoxAt(DateBox box) const {
  switch (box) {
    case DateBox::Year: return text1_;
    case DateBox::Month: return text2_;
    case DateBox::Day: return text3_;
    case DateBox::Hour: return text5_;
    case DateBox::Minute: return text6_;
  }
  return nullptr;
}

void FIND::SetNextUpdateText(DateBox box, const QString& text) {
  if (DigitBox* b = DateBoxAt(box)) b->setText(text);
}

// ---- NextUpdateBoxes / IndexRunView ----------------------------------------

QString FIND::BoxText(DateBox box) const {
  DigitBox* b = DateBoxAt(box);
  return b ? b->text() : QString();
}

void FIND::FocusBox(DateBox box) {
  if (DigitBox* b = DateBoxAt(box)) {
    b->setFocus(Qt::OtherFocusReason);
    SelectAllText(*b);
  }
}

void FIND::SetExecuteEnabled(bool enabled) { buildView_.SetExecuteEnabled(enabled); }
void FIND::ClearList() { list1_->clear(); }
void FIND::AddListLine(const QString& line) { list1_->addItem(line); }
void FIND::AddListLines(const QStringList& lines) { list1_->addItems(lines); }

// ---- handlers --------------------------------------------------------------

void FIND::Command1_Click() {
  // Exactly one operation runs; the messages come from the operation.
  if (option1_->isChecked()) {
    WriteIndexForProfile(0, *this, *this);
  } else if (option2_->isChecked()) {
    // The index files first; the archives only when they were written.
    RunOption2(*this, *this, buildView_);
  } else if (option3_->isChecked() && option3_->isEnabled()) {
    CompareWithServerIndex();
  }
}

void FIND::Combo2_Click(int index) {
  if (index < 0) return;  // the list was left without a selection
  currentProfile = static_cast<int16_t>(index);
  lm::RefreshMainWindow(*this);
}

void FIND::Check1_Click() { makeTmpIndex = check1_->isChecked() ? 1 : 0; }

void FIND::Command3_Click() { close(); }

void FIND::Command4_Click() { EditCurrentProfile(); }

SETTING& FIND::SettingsWindow() {
  if (!settings_) settings_ = std::make_unique<SETTING>(*this, this);
  return *settings_;
}

void FIND::EditCurrentProfile() { SettingsWindow().EditCurrentProfile(); }

void FIND::AddNewProfile() { SettingsWindow().AddProfile(); }

void FIND::CompareWithServerIndex() {
  // With a server the operation fetches the server's index and can publish
  // the changes; without one it compares with the copy already at hand.
  const Profile* current = CurrentProfile();
  const bool server = current && ProfileHasServer(*current);
  if (server) RunUploadOperation(this, this, this);
  else RunCompareOperation(this);
}

void FIND::UpdateUploadOption() {
  const Profile* current = CurrentProfile();
  const bool server = current && ProfileHasServer(*current);
  option3_->setEnabled(server);
  if (!server && option3_->isChecked()) option1_->setChecked(true);
}

void FIND::Command5_Click() { AddNewProfile(); }

void FIND::Command6_Click() { DeleteSelectedProfile(*this); }

void FIND::Image1_Click() { OpenVendorPage(); }

void FIND::DropFiles(const QMimeData* mime) {
  QStringList files;
  if (mime) {
    for (const QUrl& url : mime->urls())
      if (url.isLocalFile()) files << url.toLocalFile();
  }
  DropScriptOnMainWindow(files, *this);
}

// ---- events ----------------------------------------------------------------

void FIND::closeEvent(QCloseEvent* event) {
  // The unload handler never cancels the closing and runs once.
  event->accept();
  if (unloaded_) return;
  unloaded_ = true;
  if (unload_) unload_();
}

void FIND::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Enter anywhere in the window runs the default button "処理の実行",
      // also on another focused button (the space bar presses that one).
      if (command1_->isEnabled()) command1_->click();
      event->accept();
      return;
    case Qt::Key_Escape:
      command3_->click();  // the cancel button "終了"
      event->accept();
      return;
    default:
      QMainWindow::keyPressEvent(event);
  }
}

bool FIND::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      if (e->mimeData() && e->mimeData()->hasUrls()) {
        e->acceptProposedAction();
        return true;
      }
      return false;
    }
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      e->acceptProposedAction();
      DropFiles(e->mimeData());
      return true;
    }
    case QEvent::FocusIn:
      if (auto* box = qobject_cast<QLineEdit*>(watched)) {
        // Let the box take the focus first, then select its whole text.
        QLineEdit* target = box;
        box->event(event);
        SelectAllText(*target);
        return true;
      }
      return false;
    default:
      return QMainWindow::eventFilter(watched, event);
  }
}

// ---- help menu -------------------------------------------------------------

void FIND::OpenReadme() {
  const QString readme = ReadmePath();
  if (readme.isEmpty()) {
    QString where;
    for (const QString& path : DocumentCandidates(QStringLiteral("README.md"))) where += CR + Bracketed(path);
    MsgBox(QStringLiteral("READMEが見つかりません。") + where, style::Exclamation, kAppTitle);
  } else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(readme))) {
    MsgBox(QStringLiteral("READMEを開けません。") + CR + Bracketed(readme), style::Exclamation, kAppTitle);
  }
}

void FIND::ShowAbout() {
  QMessageBox box(this);
  box.setObjectName(QStringLiteral("About"));
  box.setWindowTitle(QStringLiteral("バージョン情報"));
  box.setIcon(QMessageBox::Information);
  QString html = AboutText(lblVersion_->text()).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
  // Links to the documents that came with the program, where they are.
  QStringList links;
  for (const QString& path : {ReadmePath(), LicencePath()}) {
    if (path.isEmpty()) continue;
    links << QStringLiteral("<a href=\"") + QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("\">") +
                 QFileInfo(path).fileName().toHtmlEscaped() + QStringLiteral("</a>");
  }
  if (!links.isEmpty()) html += QStringLiteral("<br><br>") + links.join(QStringLiteral("&nbsp;&nbsp;"));
  box.setTextFormat(Qt::RichText);
  box.setTextInteractionFlags(Qt::TextBrowserInteraction);
  box.setText(html);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

}  // namespace lm
