// The two chooser windows and the functions that prepare them.
//
//   openform ("ファイルを開く") picks the script information file (PSN or UGU)
//   of a persona; accepting validates it first. Its result is pickedFile.
//   SetDir ("ディレクトリ、またはファイルの指定") picks an existing file or an
//   existing directory; PrepareChooser sets it up for one of three modes.
//   Its result is chooserResult.
//
// Both windows are created on first use and only hidden afterwards, so the
// drive, directory and name persist between showings. The caller shows a
// window modally (ShowModal) and then reads the result; an empty result means
// that nothing was chosen.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>

#include "util/ui/chooser_window.h"

class QGroupBox;
class QLabel;
class QRadioButton;

namespace lm {

// Results of the two windows, empty when nothing was chosen.
extern QString pickedFile;
extern QString chooserResult;

// Validates a script information file: 0, or non-zero with the message to show.
using ScriptFileCheck = std::function<int16_t(const QString& path, QString& message)>;

class openform final : public ChooserWindow {
  Q_OBJECT
 public:
  explicit openform(QWidget* parent = nullptr);
  // The check the accept runs; without one a file only has to be readable.
  void SetScriptFileCheck(ScriptFileCheck check) { check_ = std::move(check); }

 protected:
  void Command1_Click() override;
  void Command2_Click() override;
  void File1_DblClick() override;

 private:
  void AcceptChoice();
  ScriptFileCheck check_;
};

class SetDir final : public ChooserWindow {
  Q_OBJECT
 public:
  explicit SetDir(QWidget* parent = nullptr);

  // Mode 0 file or directory, 1 file only, 2 directory only; -1 for any other
  // mode, which changes nothing.
  int16_t Prepare(int16_t mode);
  // Kind 0 file entry (Text1, File1 usable), 1 directory choice (both
  // dimmed); -1 for any other kind, which changes nothing.
  int16_t SetKind(int16_t kind);

  QRadioButton* Option1() const { return option1_; }
  QRadioButton* Option2() const { return option2_; }

 protected:
  void Command1_Click() override;
  void Command2_Click() override;
  void File1_DblClick() override;

 private:
  void AcceptChoice();
  QGroupBox* frame1_ = nullptr;
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
};

// The windows of the process, created on first use and never destroyed.
openform& OpenFormWindow();
SetDir& SetDirWindow();

// Installs the script file check of openform.
void SetScriptFileCheck(ScriptFileCheck check);

// Sets up SetDir (creating it if needed) for mode 0, 1 or 2; 0, or -1 for
// any other mode without change. Does not show the window.
int16_t PrepareChooser(int16_t mode);
// SetDir's look for kind 0 (file entry) or 1 (directory choice); 0, or -1.
int16_t SetChooserKind(int16_t kind);

// Shows a chooser modally and returns when it is hidden again.
void ShowModal(ChooserWindow& window);

}  // namespace lm
