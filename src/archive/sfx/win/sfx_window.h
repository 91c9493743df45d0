// The installer window: install folder with a folder browser, OK and
// Cancel, a progress bar during extraction, the questions on the way.
#pragma once

#include "self_archive.h"

namespace sfxw {

// Runs the window until the user is done; returns the exit code.
int RunWindow(const SelfArchive& archive, const std::wstring& folder, bool openDocument);

}  // namespace sfxw
