// The main window FIND: the profile list, the script information file of the
// current profile, the five next-update boxes, the three operations and the
// execute button "処理の実行".
//
// Every control carries its name as objectName (Combo2, Text1, Option2, ...).
// Positions and sizes come from the window's twip layout (15 twips = 1 pixel).
#pragma once

#include <functional>
#include <memory>

#include <QMainWindow>

#include "archive/ui/build_run_window.h"
#include "index/index_writer.h"
#include "profiles/profile_actions.h"
#include "profiles/ui/settings_host.h"
#include "profiles/ui/settings_window.h"
#include "shell/ui/digit_box.h"
#include "shell/ui/logo_image.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QListWidget;
class QMimeData;
class QPushButton;
class QRadioButton;

namespace lm {

class FIND : public QMainWindow,
             public MainWindowView,
             public NextUpdateBoxes,
             public IndexRunView,
             public SettingsHost {
  Q_OBJECT
 public:
  explicit FIND(QWidget* parent = nullptr);

  // SettingsHost: what the settings window changes in the profile list, and
  // the refresh it runs after its confirm and cancel.
  void SetProfileEntryText(int index, const QString& text) override;
  void AppendProfileEntry(const QString& text) override;
  void RefreshMainWindow() override;

  // The settings window SETTING, created on first use and kept (hidden)
  // until the program ends.
  SETTING& SettingsWindow();

  // Runs when the window closes (the shutdown of the program); once only.
  void SetUnloadHandler(std::function<void()> handler) { unload_ = std::move(handler); }

  // Controls that start-up fills.
  QComboBox* Combo1() const { return combo1_; }
  QComboBox* Combo2() const { return combo2_; }
  QCheckBox* Check1() const { return check1_; }
  QLabel* LblVersion() const { return lblVersion_; }

  // MainWindowView
  int SelectedProfileEntry() const override;
  void SelectProfileEntry(int index) override;
  void RemoveProfileEntry(int index) override;
  void SetScriptFileText(const QString& text) override;
  void SetNextUpdateText(DateBox box, const QString& text) override;
  // NextUpdateBoxes
  QString BoxText(DateBox box) const override;
  void FocusBox(DateBox box) override;
  // IndexRunView
  void SetExecuteEnabled(bool enabled) override;
  void ClearList() override;
  void AddListLine(const QString& line) override;
  void AddListLines(const QStringList& lines) override;

  // Event handlers, named after their controls.
  void Command1_Click();
  void Combo2_Click(int index);
  void Check1_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  // Help menu: the README in the desktop's viewer, the version information.
  static void OpenReadme();
  void ShowAbout();
  void Command6_Click();
  void Image1_Click();
  void DropFiles(const QMimeData* mime);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // "設定": edit the current profile in the settings window.
  void EditCurrentProfile();
  // "新規追加": add a profile through the settings window.
  void AddNewProfile();
  // Option3: compare the local index with the server's and upload the changes.
  void CompareWithServerIndex();
  // Option3 is enabled while the current profile names a server.
  void UpdateUploadOption();

  void BuildControls();
  void BuildMenu();
  DigitBox* DateBoxAt(DateBox box) const;

  QGroupBox* frame1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QGroupBox* frame3_ = nullptr;
  QGroupBox* frame4_ = nullptr;
  QCheckBox* check1_ = nullptr;
  DigitBox* text1_ = nullptr;
  DigitBox* text2_ = nullptr;
  DigitBox* text3_ = nullptr;
  DigitBox* text5_ = nullptr;
  DigitBox* text6_ = nullptr;
  QLineEdit* text4_ = nullptr;
  QListWidget* list1_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QComboBox* combo2_ = nullptr;
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QRadioButton* option3_ = nullptr;
  QPushButton* command1_ = nullptr;
  QPushButton* command3_ = nullptr;
  QPushButton* command4_ = nullptr;
  QPushButton* command5_ = nullptr;
  QPushButton* command6_ = nullptr;
  LogoImage* image1_ = nullptr;
  QLabel* lblVersion_ = nullptr;
  QAction* mNew_ = nullptr;
  QAction* mExit_ = nullptr;
  QAction* mOpenArchiveFolder_ = nullptr;
  QAction* mReadme_ = nullptr;
  QAction* mAbout_ = nullptr;
  QAction* mSetProfile_ = nullptr;
  QAction* mVerifyServer_ = nullptr;

  // The archive build's view of this window: Combo1's text, the wait cursor
  // and an execute button that stays disabled while a build runs.
  BuildRunWindow buildView_{nullptr, nullptr, nullptr};
  std::unique_ptr<SETTING> settings_;
  std::function<void()> unload_;
  bool unloaded_ = false;
};

}  // namespace lm
