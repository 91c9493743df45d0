#include "util/ui/chooser_window.h"

#include <exception>
#include <system_error>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QTimer>
#include <QTreeWidget>

#include "util/message_box.h"
#include "util/ui/ui_look.h"

namespace lm {

namespace {

constexpr int kPathRole = Qt::UserRole;

// File systems that hold no files a user would pick.
bool IsPseudoFileSystem(const QByteArray& type) {
  static const QSet<QByteArray> pseudo = {
      "proc",     "sysfs",      "tmpfs",     "devtmpfs", "devpts",     "cgroup",  "cgroup2",
      "mqueue",   "debugfs",    "tracefs",   "securityfs", "pstore",   "bpf",     "autofs",
      "hugetlbfs", "fusectl",   "configfs",  "binfmt_misc", "efivarfs", "nsfs",   "ramfs",
      "rpc_pipefs", "squashfs", "overlay",   "fuse.gvfsd-fuse", "fuse.portal", "nfsd"};
  return pseudo.contains(type);
}

bool IsSystemMount(const QString& root) {
  for (const char* prefix : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot", "/var/lib"}) {
    const QString p = QString::fromLatin1(prefix);
    if (root == p || root.startsWith(p + QLatin1Char('/'))) return true;
  }
  return false;
}

// `path` without a trailing "/" (the root stays "/").
QString WithoutTrailingSlash(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

bool IsBelow(const QString& path, const QString& mount) {
  if (mount == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
  return path == mount || path.startsWith(mount + QLatin1Char('/'));
}

QString ParentOf(const QString& path) {
  const int slash = path.lastIndexOf(QLatin1Char('/'));
  return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

}  // namespace

QStringList MountPointsForDriveList() {
  QStringList drives{QStringLiteral("/")};
  auto add = [&drives](const QString& path) {
    const QString p = WithoutTrailingSlash(QDir::cleanPath(path));
    // A single file can be mounted too (containers do it for /etc/hosts); only directories are drives.
    if (!p.isEmpty() && !drives.contains(p) && QFileInfo(p).isDir()) drives << p;
  };
  const QString home = QDir::homePath();
  if (QFileInfo(home).isDir()) add(home);
  for (const char* base : {"/media", "/mnt"}) {
    const QDir dir(QString::fromLatin1(base));
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
      const QString sub = dir.filePath(name);
      add(sub);
      // /media/<user>/<medium>: the media of the user lie one level deeper.
      for (const QString& inner :
           QDir(sub).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QStorageInfo(sub + QLatin1Char('/') + inner).rootPath() == sub + QLatin1Char('/') + inner)
          add(sub + QLatin1Char('/') + inner);
    }
  }
  QStringList others;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = WithoutTrailingSlash(volume.rootPath());
    if (IsPseudoFileSystem(volume.fileSystemType()) || IsSystemMount(root)) continue;
    others << root;
  }
  others.sort();
  for (const QString& root : others) add(root);
  return drives;
}

ChooserWindow::ChooserWindow(QWidget* parent, const QString& objectName, const QString& title)
    : QDialog(parent) {
  setObjectName(objectName);
  setWindowTitle(title);
  setModal(true);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  ApplyDialogLook(this);
}

void ChooserWindow::BuildLists(const QRect& label1, const QRect& text1, const QRect& file1,
                               const QRect& label2, const QRect& dir1, const QRect& label3,
                               const QRect& drive1, const QRect& command1, const QRect& command2,
                               const QString& accept, const QString& cancel) {
  auto label = [this](const char* name, const QString& caption, const QRect& rect) {
    auto* l = new QLabel(caption, this);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(rect);
    return l;
  };
  label("Label1", QStringLiteral("ファイル名"), label1);
  text1_ = new QLineEdit(this);
  text1_->setObjectName(QStringLiteral("Text1"));
  text1_->setGeometry(text1);
  file1_ = new QListWidget(this);
  file1_->setObjectName(QStringLiteral("File1"));
  file1_->setGeometry(file1);
  label("Label2", QStringLiteral("ディレクトリ名"), label2);
  dir1_ = new QTreeWidget(this);
  dir1_->setObjectName(QStringLiteral("Dir1"));
  dir1_->setGeometry(dir1);
  dir1_->setHeaderHidden(true);
  dir1_->setColumnCount(1);
  dir1_->setIndentation(10);
  dir1_->setExpandsOnDoubleClick(false);
  dir1_->setItemsExpandable(false);
  dir1_->setRootIsDecorated(false);
  label("Label3", QStringLiteral("ドライブ名"), label3);
  drive1_ = new QComboBox(this);
  drive1_->setObjectName(QStringLiteral("Drive1"));
  drive1_->setGeometry(drive1);
  command1_ = new QPushButton(accept, this);
  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->setGeometry(command1);
  command1_->setDefault(true);
  command2_ = new QPushButton(cancel, this);
  command2_->setObjectName(QStringLiteral("Command2"));
  command2_->setGeometry(command2);
  command2_->setAutoDefault(false);
  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(0);

  setTabOrder(text1_, file1_);
  setTabOrder(file1_, dir1_);
  setTabOrder(dir1_, drive1_);
  setTabOrder(drive1_, command1_);
  setTabOrder(command1_, command2_);

  SetDrives(MountPointsForDriveList());
  connect(drive1_, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
  connect(dir1_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (item) SetDir1Path(item->data(0, kPathRole).toString());
  });
  connect(file1_, &QListWidget::itemClicked, this, [this] { File1_Click(); });
  connect(file1_, &QListWidget::itemActivated, this, [this] {
    File1_Click();
    File1_DblClick();
  });
  dir1_->installEventFilter(this);
  file1_->installEventFilter(this);
  connect(command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(timer1_, &QTimer::timeout, this, [this] { Timer1_Timer(); });

  const QString start = QDir::homePath();
  if (!SetDir1Path(start)) SetDir1Path(QStringLiteral("/"));
  SelectDriveQuietly(DriveIndexFor(dirPath_));
}

void ChooserWindow::SetDrives(const QStringList& mountPoints) {
  const QSignalBlocker quiet(drive1_);
  drive1_->clear();
  for (const QString& mount : mountPoints) {
    const QString p = WithoutTrailingSlash(mount);
    drive1_->addItem(p, p);
  }
  SelectDriveQuietly(DriveIndexFor(dirPath_));
}

QStringList ChooserWindow::Drives() const {
  QStringList out;
  for (int i = 0; i < drive1_->count(); ++i) out << drive1_->itemData(i).toString();
  return out;
}

int ChooserWindow::DriveIndexFor(const QString& path) const {
  int best = -1;
  int bestLength = -1;
  for (int i = 0; i < drive1_->count(); ++i) {
    const QString mount = drive1_->itemData(i).toString();
    if (IsBelow(path, mount) && mount.size() > bestLength) {
      best = i;
      bestLength = static_cast<int>(mount.size());
    }
  }
  return best;
}

void ChooserWindow::SelectDriveQuietly(int index) {
  const QSignalBlocker quiet(drive1_);
  drive1_->setCurrentIndex(index);
}

bool ChooserWindow::CanList(const QString& directory) const {
  const QFileInfo info(directory);
  return info.isDir() && info.isReadable() && info.isExecutable();
}

bool ChooserWindow::PointAt(const QString& directory, const QString& name) {
  const QString dir = WithoutTrailingSlash(QDir::cleanPath(directory));
  if (dir.isEmpty() || !QDir::isAbsolutePath(dir) || !CanList(dir)) return false;
  SelectDriveQuietly(DriveIndexFor(dir));
  SetDir1Path(dir);
  text1_->setText(name);
  return true;
}

bool ChooserWindow::SetDir1Path(const QString& directory) {
  const QString dir = WithoutTrailingSlash(QDir::cleanPath(directory));
  if (dir.isEmpty() || !QDir::isAbsolutePath(dir) || !CanList(dir)) return false;
  dirPath_ = dir;
  FillDir1(dir);
  Dir1_Change();
  // The drive box shows the drive of the directory on view, wherever the
  // user went.
  SelectDriveQuietly(DriveIndexFor(dir));
  return true;
}

QString ChooserWindow::Dir1Highlighted() const {
  const QTreeWidgetItem* item = dir1_->currentItem();
  return item ? item->data(0, kPathRole).toString() : dirPath_;
}

void ChooserWindow::FillDir1(const QString& highlight) {
  const QSignalBlocker quiet(dir1_);
  dir1_->clear();
  // The chain from the root down to the opened directory, then its subdirectories.
  QStringList chain;
  for (QString p = dirPath_;; p = ParentOf(p)) {
    chain.prepend(p);
    if (p == QLatin1String("/")) break;
  }
  QTreeWidgetItem* parent = nullptr;
  QTreeWidgetItem* highlighted = nullptr;
  for (const QString& p : chain) {
    const QString caption = p == QLatin1String("/") ? p : p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
    auto* item = parent ? new QTreeWidgetItem(parent, {caption}) : new QTreeWidgetItem(dir1_, {caption});
    item->setData(0, kPathRole, p);
    if (parent) parent->setExpanded(true);
    parent = item;
    if (p == highlight) highlighted = item;
  }
  const QDir dir(dirPath_);
  for (const QString& name :
       dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
    const QString p = dirPath_ == QLatin1String("/") ? QLatin1Char('/') + name
                                                      : dirPath_ + QLatin1Char('/') + name;
    auto* item = new QTreeWidgetItem(parent, {name});
    item->setData(0, kPathRole, p);
    if (p == highlight) highlighted = item;
  }
  parent->setExpanded(true);
  dir1_->setCurrentItem(highlighted ? highlighted : parent);
}

void ChooserWindow::SetFilePattern(const QString& pattern) {
  patterns_ = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
  FillFile1(QString());
}

void ChooserWindow::FillFile1(const QString& select) {
  const QSignalBlocker quiet(file1_);
  file1_->clear();
  QDir dir(dirPath_);
  if (!patterns_.isEmpty()) dir.setNameFilters(patterns_);  // letter case ignored
  const QStringList names = dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
  file1_->addItems(names);
  const int row = static_cast<int>(names.indexOf(select));
  if (row >= 0) file1_->setCurrentRow(row);
}

QStringList ChooserWindow::File1Names() const {
  QStringList out;
  for (int i = 0; i < file1_->count(); ++i) out << file1_->item(i)->text();
  return out;
}

void ChooserWindow::Dir1_Change() {
  FillFile1(QString());
  text1_->clear();
}

void ChooserWindow::Drive1_Change() {
  const QString remembered = dirPath_;
  const QString drive = drive1_->currentData().toString();
  if (!SetDir1Path(drive)) {
    MsgBox(QStringLiteral("ドライブの準備ができていません。"), style::OkOnly);
    SelectDriveQuietly(DriveIndexFor(remembered));
  }
  text1_->clear();
}

void ChooserWindow::File1_Click() {
  if (const QListWidgetItem* item = file1_->currentItem()) text1_->setText(item->text());
}

QString ChooserWindow::FilePathFromText1() const { return PathFromTyped(text1_->text()); }

QString ChooserWindow::PathFromTyped(const QString& typed) const {
  // What a Linux user types: an absolute path stands as it is, "~" is the
  // home folder, anything else lies below the opened directory.
  if (typed.startsWith(QLatin1Char('/'))) return typed;
  if (typed == QLatin1String("~")) return QDir::homePath();
  if (typed.startsWith(QLatin1String("~/"))) return QDir::homePath() + typed.mid(1);
  // A plain name is joined as it is: at the root the opened path already ends
  // in "/", so the result holds two separators in a row ("//name"), which the
  // file system reads as one. A relative path with folders in it is cleaned
  // so that "../x" reads as the file it names.
  const QString joined = dirPath_ + QLatin1Char('/') + typed;
  return typed.contains(QLatin1Char('/')) ? QDir::cleanPath(joined) : joined;
}

bool ChooserWindow::OpenTypedDirectory() {
  const QString typed = text1_->text();
  if (typed.isEmpty()) return false;
  const QString path = PathFromTyped(typed);
  if (!QFileInfo(path).isDir()) return false;
  return SetDir1Path(path);
}

bool ChooserWindow::eventFilter(QObject* watched, QEvent* event) {
  // Enter in a list acts on that list only: in Dir1 it opens the highlighted
  // directory, in File1 it chooses the file. It never reaches the default
  // button as well.
  if (event->type() == QEvent::KeyPress && (watched == dir1_ || watched == file1_)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == dir1_) {
        if (const QTreeWidgetItem* item = dir1_->currentItem()) SetDir1Path(item->data(0, kPathRole).toString());
      } else if (file1_->currentItem()) {
        File1_Click();
        File1_DblClick();
      }
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ChooserWindow::StopTimer() {
  timer1_->stop();
  timer1_->setInterval(0);
}

void ChooserWindow::GuardedAccept(const std::function<void()>& accept) {
  try {
    accept();
  } catch (const std::system_error& e) {
    MsgBox(QString::fromLocal8Bit(e.what()) + QStringLiteral("( %1)").arg(e.code().value()),
           style::OkOnly, QStringLiteral("ファイルを開けません"));
  } catch (const std::exception& e) {
    MsgBox(QString::fromLocal8Bit(e.what()) + QStringLiteral("( 0)"), style::OkOnly,
           QStringLiteral("ファイルを開けません"));
  }
}

void ChooserWindow::RefreshLists() {
  const QString highlight = Dir1Highlighted();
  const QListWidgetItem* current = file1_->currentItem();
  const QString selected = current ? current->text() : QString();
  const QString name = text1_->text();
  // A directory that vanished gives way to its nearest existing parent.
  QString dir = dirPath_;
  while (!CanList(dir) && dir != QLatin1String("/")) dir = ParentOf(dir);
  if (dir != dirPath_) {
    SetDir1Path(dir);
    SelectDriveQuietly(DriveIndexFor(dir));
    return;
  }
  FillDir1(highlight);
  FillFile1(selected);
  text1_->setText(name);
}

void ChooserWindow::reject() { Command2_Click(); }

void ChooserWindow::showEvent(QShowEvent* event) {
  RefreshLists();
  QDialog::showEvent(event);
  // The focus starts in the name box, or where the tab order goes on from
  // it when the box is disabled (a directory choice): the first usable list.
  for (QWidget* w = text1_; w; w = w->nextInFocusChain()) {
    if (w->isEnabled() && w->isVisibleTo(this) && (w->focusPolicy() & Qt::TabFocus)) {
      w->setFocus(Qt::ActiveWindowFocusReason);
      break;
    }
    if (w->nextInFocusChain() == text1_) break;
  }
}

}  // namespace lm
