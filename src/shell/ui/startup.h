// The program's start-up and shutdown around the main window FIND.
#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QStringList>

namespace lm {

class FIND;

// Steps that windows built elsewhere add to the start-up, and the end of the
// process after the shutdown. The first two get the main window, which is
// already shown.
struct StartupHooks {
  std::function<void(FIND&)> clearSettingsWindow;  // empties the settings window's boxes
  std::function<void(FIND&)> profilesLoaded;       // right after the profiles are loaded
  std::function<void()> endProcess;                // after saving, when the window closed
};

// The archive types of Combo1, in their order; the archive builder recognises
// the choice by these texts.
extern const QStringList kArchiveTypes;
// The version shown in LblVersion.
extern const QString kVersionText;

// Runs the start-up for the executable at `executablePath`: the marker, the
// test for a running copy (nullptr then: nothing shown, nothing saved), the
// time-zone bias, the main window with its lists, the profiles, and the first
// profile shown. The window is shown; closing it saves the profiles once,
// gives up the marker and the lock and calls hooks.endProcess. A `scriptFile`
// (the program started with a .ugu or .psn file, as the desktop opens one)
// then becomes the current profile's script as a file dropped on the window
// does, with the same checks and messages.
std::unique_ptr<FIND> StartLoftmark(const QString& executablePath, const StartupHooks& hooks = {},
                                    const QString& scriptFile = QString());

// The shutdown that closing the main window runs: saves the profiles, gives
// up the marker and the running-copy lock.
void ShutdownLoftmark();

}  // namespace lm
