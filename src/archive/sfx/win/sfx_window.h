// The installer window: install folder with a folder browser, OK and
// Cancel, a progress bar during extraction, the questions on the way.
#pragma once

#include "self_archive.h"
#include "switches.h"

namespace sfxw {

// Runs the window until the user is done; returns the exit code.
// `mode` other than kAsk answers the overwrite question without asking.
int RunWindow(const SelfArchive& archive, const std::wstring& folder, OverwriteMode mode, bool openDocument);

}  // namespace sfxw
