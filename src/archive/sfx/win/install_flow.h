// What the window and the unattended mode share: the folder proposed, the
// check of the member list, and opening the document afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "self_archive.h"

namespace sfxw {

// Exit codes of the program.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitCancelled = 3 };

// The title bar: "$WindowTitle", else the program file's name without ".exe".
std::wstring WindowTitleOf(const SelfArchive& archive);

// "$InstallDir" (blanks trimmed, environment variables expanded, relative to
// the program's folder), else the folder the program lies in.
std::wstring DefaultFolder(const SelfArchive& archive);

// A typed folder made absolute, without a trailing separator: relative to
// `base`, or to the current folder when `base` is empty (a folder given on
// the command line).
std::wstring AbsoluteFolder(const std::wstring& typed, const std::wstring& base);

// Empty when the member list and the options read cleanly, else the message
// that says what is damaged. Nothing is extracted from a damaged archive.
std::wstring DamageText(const SelfArchive& archive);

// Opens "$Command" from `dir`; empty on success, else a warning.
std::wstring OpenDocument(HWND owner, const SelfArchive& archive, const std::wstring& dir,
                          const std::vector<std::wstring>& files);

// The failed members as lines, at most `limit` of them and a count of the rest.
std::wstring FailureLines(const std::vector<std::wstring>& failed, std::size_t limit);

}  // namespace sfxw
