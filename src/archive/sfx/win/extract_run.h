// Extracting the members into the install folder. A file that exists
// already is replaced through a temporary file renamed into place only
// after its CRC checked out; a new file is written under its own name and
// removed again when its data is bad or the run is cancelled, and the
// run's list in the install folder names it meanwhile, so that a later run
// removes it if this one is killed. Either way a failure leaves no
// half-written file. Every path goes to Windows in the "\\?\" form, so
// deep trees and long folder names pass the old 260-character limit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "self_archive.h"
#include "switches.h"

namespace sfxw {

enum class OverwriteChoice { kOverwrite, kOverwriteAll, kSkip, kSkipAll, kCancel };
enum class InUseChoice { kRetry, kSkip, kCancel };

class ExtractObserver {
 public:
  virtual ~ExtractObserver() = default;
  // Called before each member and while its data is written; false cancels.
  virtual bool Progress(std::size_t index, std::size_t count, uint64_t doneBytes, uint64_t totalBytes,
                        const std::wstring& name) = 0;
  // A file of that name exists already (asked only in OverwriteMode::kAsk).
  virtual OverwriteChoice AskOverwrite(const std::wstring& path) = 0;
  // The file stays in use by another program after a few tries; kSkip
  // from an observer that cannot ask counts the member as failed.
  virtual InUseChoice AskInUse(const std::wstring& path) = 0;
  // True when the observer asks the user (a skipped file in use is then
  // the user's choice, not a failure).
  virtual bool Interactive() const = 0;
};

struct ExtractResult {
  std::vector<std::wstring> files;    // files extracted, relative to the folder
  std::vector<std::wstring> skipped;  // existing files kept by the user's choice
  std::vector<std::wstring> failed;   // "name: reason" for each member not extracted
  bool cancelled = false;
  bool ok() const { return failed.empty() && !cancelled; }
};

// Creates `dir` (absolute, either form) and every missing parent. False
// when that fails.
bool MakeFolders(const std::wstring& dir);

ExtractResult ExtractAll(const SelfArchive& archive, const std::wstring& dir, OverwriteMode mode,
                         ExtractObserver& observer);

// A result code of the archive library as a short Japanese reason.
std::wstring ReasonText(int resultCode);

}  // namespace sfxw
