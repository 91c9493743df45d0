// The command line of the Windows self-extractor. Two conventions are
// understood: the installers' "/S /D=<folder>" (with "/O=<mode>") and the
// switches of the Linux stub "--dir DIR --yes --no-open --overwrite MODE".
#pragma once

#include <string>
#include <vector>

namespace sfxw {

// What happens to a file that exists already.
enum class OverwriteMode {
  kAsk,    // the window asks (no switch given)
  kAll,    // replaced
  kNone,   // kept
  kNewer   // replaced only when it is older than the member
};

struct Switches {
  std::wstring folder;
  bool haveFolder = false;
  bool unattended = false;
  bool open = true;
  bool help = false;
  OverwriteMode overwrite = OverwriteMode::kAsk;
  // The first switch that cannot be used (unknown, without its value, or
  // with an empty or unknown one); empty when the line is fine.
  std::wstring error;
};

// `args` without the program's own name.
Switches ParseSwitches(const std::vector<std::wstring>& args);

// The text of "使い方".
extern const wchar_t kUsage[];

}  // namespace sfxw
