#include "member_paths.h"

#include <cwctype>
#include <vector>

namespace sfxw {
namespace {

bool IsReservedDevice(std::wstring level) {
  // "CON", "con.txt", "COM1 " all name the device on Windows.
  const std::size_t dot = level.find(L'.');
  if (dot != std::wstring::npos) level.resize(dot);
  while (!level.empty() && level.back() == L' ') level.pop_back();
  for (wchar_t& c : level) c = static_cast<wchar_t>(std::towupper(c));
  static const wchar_t* const kNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* n : kNames) {
    if (level == n) return true;
  }
  return level.size() == 4 && (level.compare(0, 3, L"COM") == 0 || level.compare(0, 3, L"LPT") == 0) &&
         level[3] >= L'0' && level[3] <= L'9';
}

bool ForbiddenLevel(const std::wstring& level) {
  for (wchar_t c : level) {
    if (c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|') {
      return true;
    }
  }
  // Windows drops trailing dots and blanks, so ". ." and "..." behave as
  // "." or ".." or nothing.
  std::wstring trimmed = level;
  while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' ')) trimmed.pop_back();
  return trimmed.empty() || IsReservedDevice(level);
}

}  // namespace

PathVerdict SafeRelativePath(const std::wstring& name, std::wstring& relative) {
  relative.clear();
  if (name.empty()) return PathVerdict::kRefused;
  if (name[0] == L'\\' || name[0] == L'/') return PathVerdict::kRefused;  // absolute or UNC
  std::vector<std::wstring> levels(1);
  for (wchar_t c : name) {
    if (c == L'\\' || c == L'/') {
      levels.emplace_back();
    } else {
      levels.back().push_back(c);
    }
  }
  if (levels.size() == 1 && levels[0] == L"$") return PathVerdict::kOptionFile;
  for (const std::wstring& level : levels) {
    if (level.empty()) continue;  // "a\\b" and a trailing separator
    if (ForbiddenLevel(level)) return PathVerdict::kRefused;
    if (!relative.empty()) relative += L'\\';
    relative += level;
  }
  return relative.empty() ? PathVerdict::kRefused : PathVerdict::kOk;
}

std::wstring JoinPath(const std::wstring& dir, const std::wstring& relative) {
  if (dir.empty()) return relative;
  if (dir.back() == L'\\' || dir.back() == L'/') return dir + relative;
  return dir + L'\\' + relative;
}

}  // namespace sfxw
