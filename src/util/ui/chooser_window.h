// What the two chooser windows openform and SetDir share: the drive list
// Drive1, the directory tree Dir1, the file list File1, the name box Text1,
// the accept and cancel buttons and the refresh timer.
//
// On this platform a "drive" is a mount point a user would pick: the root
// first, then the home directory, removable media under /media and /mnt, and
// the other real file systems that are mounted. The directory tree shows the
// chain from the root down to the opened directory and that directory's
// subdirectories; a double click (or Enter) opens a directory, a single click
// only highlights it. Text1 takes a name in the opened directory, a relative
// path, an absolute path or one starting with "~". Hidden entries (names beginning with ".") are not shown.
#pragma once

#include <functional>

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace lm {

// The mount points offered as drives, the root first.
QStringList MountPointsForDriveList();

class ChooserWindow : public QDialog {
  Q_OBJECT
 public:
  // Drive1: replaces the drives offered (the opened directory is kept).
  void SetDrives(const QStringList& mountPoints);
  QStringList Drives() const;
  // The drive entry that holds `path` (the longest mount point above it).
  int DriveIndexFor(const QString& path) const;

  // Points the lists at `directory` and puts `name` in Text1 without running
  // the change handlers' messages. False (nothing changed) when the
  // directory cannot be listed.
  bool PointAt(const QString& directory, const QString& name = QString());

  // Dir1: the opened directory (no trailing "/" except the root itself).
  QString Dir1Path() const { return dirPath_; }
  // Dir1: the highlighted directory, the opened one when nothing else is.
  QString Dir1Highlighted() const;
  // Opens `directory` in Dir1 (Dir1_Change follows). False when it cannot be listed.
  bool SetDir1Path(const QString& directory);
  // File1: the file pattern (";" separates patterns, letter case ignored).
  void SetFilePattern(const QString& pattern);
  QStringList File1Names() const;

  QComboBox* Drive1() const { return drive1_; }
  QTreeWidget* Dir1() const { return dir1_; }
  QListWidget* File1() const { return file1_; }
  QLineEdit* Text1() const { return text1_; }
  QPushButton* Command1() const { return command1_; }
  QPushButton* Command2() const { return command2_; }
  QTimer* Timer1() const { return timer1_; }

  // Both lists read their directory again (the timer's work); the opened
  // directory, the highlight and the file selection are kept where they still exist.
  void RefreshLists();

  // Esc and the frame's close box act as the cancel button.
  void reject() override;

 protected:
  ChooserWindow(QWidget* parent, const QString& objectName, const QString& title);

  // Builds the controls shared by both windows; captions and geometry come
  // from the window.
  void BuildLists(const QRect& label1, const QRect& text1, const QRect& file1, const QRect& label2,
                  const QRect& dir1, const QRect& label3, const QRect& drive1,
                  const QRect& command1, const QRect& command2, const QString& accept,
                  const QString& cancel);

  // The path named in Text1 (see PathFromTyped).
  QString FilePathFromText1() const;
  // A typed path: absolute as it stands, "~" for the home folder, otherwise
  // relative to the opened directory.
  QString PathFromTyped(const QString& typed) const;
  // When Text1 names an existing directory, opens it and returns true.
  bool OpenTypedDirectory();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void StopTimer();
  // Runs `accept`; a fault inside it shows the error box and keeps the window open.
  void GuardedAccept(const std::function<void()>& accept);

  virtual void Command1_Click() = 0;
  virtual void Command2_Click() = 0;
  virtual void File1_DblClick() = 0;
  virtual void Timer1_Timer() { RefreshLists(); }

  void showEvent(QShowEvent* event) override;

 private:
  void Drive1_Change();
  void Dir1_Change();
  void File1_Click();
  void FillDir1(const QString& highlight);
  void FillFile1(const QString& select);
  bool CanList(const QString& directory) const;
  void SelectDriveQuietly(int index);

  QComboBox* drive1_ = nullptr;
  QTreeWidget* dir1_ = nullptr;
  QListWidget* file1_ = nullptr;
  QLineEdit* text1_ = nullptr;
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  QTimer* timer1_ = nullptr;
  QString dirPath_ = QStringLiteral("/");
  QStringList patterns_;
};

}  // namespace lm
