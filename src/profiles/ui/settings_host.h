// What the settings window needs from the main window: its profile list
// Combo2 (one entry per profile, a list position is a table index) and the
// refresh of the current profile's display.
#pragma once

#include <QString>

namespace lm {

class SettingsHost {
 public:
  virtual ~SettingsHost() = default;
  // Combo2: entry `index` takes `text` (a renamed profile).
  virtual void SetProfileEntryText(int index, const QString& text) = 0;
  // Combo2: `text` becomes a new last entry (a new profile).
  virtual void AppendProfileEntry(const QString& text) = 0;
  // Shows profile currentProfile in the main window.
  virtual void RefreshMainWindow() = 0;
};

}  // namespace lm
