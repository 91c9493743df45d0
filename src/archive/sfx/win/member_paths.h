// Where a member may go: its stored name made a path relative to the
// install folder, or refused when it could leave that folder.
#pragma once

#include <string>

namespace sfxw {

enum class PathVerdict {
  kOk,          // `relative` holds the path, levels joined by "\"
  kOptionFile,  // the self-extractor's own option file "$": never written
  kRefused      // absolute, drive, UNC, "..", a device or a character Windows forbids
};

// `name` is the member's name in UTF-16; "\" and "/" both separate levels.
PathVerdict SafeRelativePath(const std::wstring& name, std::wstring& relative);

// `dir` + "\" + `relative`, with one separator also when `dir` is a root
// such as "C:\".
std::wstring JoinPath(const std::wstring& dir, const std::wstring& relative);

}  // namespace sfxw
