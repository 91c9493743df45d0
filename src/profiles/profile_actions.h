// What the main window does with the profile table: show the current
// profile, read its next planned update back from DAT\INDEX.FET, take a
// dropped script information file, delete a profile.
//
// The window itself is a Qt widget; the operations here reach it only through
// MainWindowView, so they run (and are tested) without widgets.
#pragma once

#include <array>
#include <cstdint>

#include <QString>
#include <QStringList>

#include "profiles/date_box.h"

namespace lm {

// The parts of the main window that the profile actions read and change.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  // Combo2: the selected list position, -1 when none.
  virtual int SelectedProfileEntry() const = 0;
  // Combo2: selects entry `index`. When this changes the selection, the
  // window runs its selection handler (current profile := index, refresh);
  // when the entry is already selected nothing else happens.
  virtual void SelectProfileEntry(int index) = 0;
  // Combo2: removes entry `index` and leaves the list without a selection.
  virtual void RemoveProfileEntry(int index) = 0;
  // Text4: the script information file of the current profile.
  virtual void SetScriptFileText(const QString& text) = 0;
  // One of the next-update boxes.
  virtual void SetNextUpdateText(DateBox box, const QString& text) = 0;
};

// Shows profile currentProfile in the window: selects its entry, shows its
// script information file and its next planned update (or the present
// time). Always 0.
int16_t RefreshMainWindow(MainWindowView& view);

// Reads the "#NextUpdate" value of the script's DAT\INDEX.FET. `path` is a
// script information file that passed CheckScriptFile, `nonRegular` what the
// check returned. 0 with `value` set; -1 when the file cannot be opened; -2
// when it holds no "#NextUpdate" line or only an empty value.
int16_t ReadIndexNextUpdate(const QString& path, int16_t nonRegular, QString& value);

// Fills the next-update boxes from a value such as "2004 3 1 9 0", or with the
// present local date and time when the value is empty. A value that does not
// consist of numbers, or that has more parts than SplitAtBlanks holds, leaves
// every box unchanged.
void ShowNextUpdate(const QString& value, MainWindowView& view);

constexpr int kSplitPartCapacity = 21;  // parts 0..20
using SplitParts = std::array<QString, kSplitPartCapacity>;

// Splits `text` at every blank (two blanks in a row give an empty part; a
// trailing blank adds no empty part). 0; -9 for an empty text; -2 when the
// text has more than 21 parts (the first 21 are stored, `count` is 21).
int16_t SplitAtBlanks(const QString& text, SplitParts& parts, int32_t& count);

// A file dropped on the main window: a single UGU/PSN file that passes the
// script check becomes the current profile's script information file.
// Anything else is refused with a message. Always 0.
int16_t DropScriptOnMainWindow(const QStringList& files, MainWindowView& view);

// Removes profile `index` (0..lastProfile) and closes the gap; the caller has
// made sure that more than one profile exists. Always 0.
int16_t DeleteProfile(int16_t index);

// The delete command "削除": refuses to delete the only profile, asks, then
// deletes the selected profile, selects profile 0 and saves the profiles.
void DeleteSelectedProfile(MainWindowView& view);

// Selects the whole text of a text box (a QLineEdit or anything with the
// same two members), as the boxes do when they gain the focus.
template <class TextBox>
void SelectAllText(TextBox& box) {
  box.setSelection(0, static_cast<int>(box.text().size()));
}

}  // namespace lm
