// The profile settings window SETTING ("Loftmarkの設定"): edits one profile —
// its name and script information file, the archive settings, the
// attachments, the self-extractor options and the upload account (server,
// user, password or its place in the keyring, server folder).
//
// EditCurrentProfile and AddProfile are the main window's "設定" and
// "新規追加" commands; both show the window modally and return when it is
// hidden again. Confirming ("決定") checks every box, stores the profile at
// currentProfile, updates the main window's profile list and saves the
// profiles to lfup.ini; cancelling ("取り消し", Esc or the frame's close box)
// stores nothing and removes a profile that "新規追加" appended.
#pragma once

#include <cstdint>

#include <QDialog>
#include <QStringList>

class QGroupBox;
class QLabel;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace lm {

class SettingsHost;

class ChooserWindow;

class SETTING final : public QDialog {
  Q_OBJECT
 public:
  explicit SETTING(SettingsHost& host, QWidget* parent = nullptr);

  // "設定": addingProfile := 0, boxes from profile currentProfile, shown modally.
  void EditCurrentProfile();
  // "新規追加": refuses when the table is full; otherwise appends an empty
  // profile, clears the boxes and shows the window modally.
  void AddProfile();

  void FillSettingsWindow();
  void ClearSettingsWindow();
  // 0 when every box passed and the profile was stored; -1 otherwise.
  int16_t ApplySettingsWindow();
  // The dropped script information file that passed the check, or "".
  QString DropScriptFile(const QStringList& files);
  // 0 when the dropped files were processed, -1 when refused as a whole.
  int16_t DropAttachments(const QStringList& files);

  QStringList AttachmentEntries() const;

  // Button handlers, public so that the main window's tests can drive them.
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();
  void Command8_Click();
  void List1_Click();

  // Esc and the frame's close box act as "取り消し".
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // Shows the window modally (or, for a window already shown, leaves it as it is).
  void ShowModally();
  // Moves the window to the centre of the screen.
  void PlaceInScreenCentre();
  void ChooseDirectoryFor(QLineEdit* box);
  // Opens a chooser at the folder of the script in question.
  void PointAtScriptFolder(ChooserWindow& chooser) const;
  void Hide();

  SettingsHost& host_;
  QLineEdit* profileBox_ = nullptr;
  QLineEdit* scriptBox_ = nullptr;
  QLineEdit* arcName_ = nullptr;
  QLineEdit* arcDirect_ = nullptr;
  QListWidget* list1_ = nullptr;
  QLineEdit* exeWinTitle_ = nullptr;
  QLineEdit* exeViewDir_ = nullptr;
  QLineEdit* autoView_ = nullptr;
  QLineEdit* server_ = nullptr;
  QLineEdit* userId_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* dirServer_ = nullptr;
  QCheckBox* keyring_ = nullptr;
  QPushButton* command5_ = nullptr;
  QList<QWidget*> scriptDropTargets_;
  QList<QLineEdit*> selectAllBoxes_;
};

// Points the script file picker openform at the profiles' script files
// (profiles 0..lastProfile in table order whose ugu is not empty), so that it
// opens at the last valid one. Runs right after the profiles are loaded.
void PointScriptPickerAtProfiles();

// Makes openform validate its choice with the script information file check.
void InstallScriptPickerCheck();

}  // namespace lm
