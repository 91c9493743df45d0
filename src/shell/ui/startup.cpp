#include "shell/ui/startup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QSignalBlocker>
#include <QStringList>

#include "archive/archive_types.h"
#include "profiles/profile_actions.h"
#include "profiles/profile_store.h"
#include "profiles/ui/settings_window.h"
#include "shell/instance_guard.h"
#include "shell/version.h"
#include "shell/ui/main_window.h"
#include "util/app_globals.h"
#include "util/message_box.h"

namespace lm {

const QStringList kArchiveTypes = ArchiveTypeTexts();

const QString kVersionText = QStringLiteral("Ver." LM_VERSION);

void ShutdownLoftmark() {
  SaveProfiles();  // reports its own failure; the closing goes on
  ReleaseInstanceGuard();
  ReleaseInstanceLock();
}

std::unique_ptr<FIND> StartLoftmark(const QString& executablePath, const StartupHooks& hooks,
                                    const QString& scriptFile) {
  const int16_t marker = AcquireInstanceGuard();
  if (AnotherInstanceRunning(executablePath)) {
    // A second copy ends silently. It gives up the marker only if this call
    // created it (the running copy did not hold one).
    if (marker == 0) ReleaseInstanceGuard();
    return nullptr;
  }
  timeZoneBias = ReadTimeZoneBias();

  auto window = std::make_unique<FIND>();
  FIND& w = *window;
  w.Combo1()->clear();
  w.Combo2()->clear();
  w.Combo1()->addItems(kArchiveTypes);
  w.Combo1()->setCurrentIndex(0);
  w.Combo1()->setEnabled(false);
  w.LblVersion()->setText(kVersionText);
  w.Check1()->setChecked(false);
  makeTmpIndex = 0;
  w.show();

  // The settings window empties its boxes, and after the profiles are loaded
  // the script picker opens at the last valid profile's file; a test may put
  // steps of its own in their place.
  if (hooks.clearSettingsWindow) {
    hooks.clearSettingsWindow(w);
  } else {
    w.SettingsWindow().ClearSettingsWindow();
  }
  LoadProfiles();
  if (hooks.profilesLoaded) {
    hooks.profilesLoaded(w);
  } else {
    PointScriptPickerAtProfiles();
  }

  {
    // Filling the list selects nothing yet; selecting entry 0 afterwards is
    // what runs the selection handler, as a choice by the user would.
    const QSignalBlocker quiet(w.Combo2());
    for (int i = 0; i <= lastProfile && i < kProfileCapacity; ++i)
      w.Combo2()->addItem(TrimBlanks(profileTable[i].profile));
    w.Combo2()->setCurrentIndex(-1);
  }
  w.Combo2()->setCurrentIndex(0);
  currentProfile = 0;
  w.RefreshMainWindow();
  w.Combo2()->setFocus(Qt::OtherFocusReason);
  w.update();

  // Profiles whose script was not found stay listed; one message names them
  // all, so the author can mount the disk, fix the path or delete them.
  const QString unfound = UnfoundProfilesMessage();
  if (!unfound.isEmpty()) MsgBox(unfound, style::Exclamation, kAppTitle);

  if (!scriptFile.isEmpty()) DropScriptOnMainWindow({QFileInfo(scriptFile).absoluteFilePath()}, w);

  std::function<void()> endProcess = hooks.endProcess;
  w.SetUnloadHandler([endProcess] {
    ShutdownLoftmark();
    if (endProcess) endProcess();
  });
  return window;
}

}  // namespace lm
