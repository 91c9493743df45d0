#include "member_paths.h"

#include <cwctype>

namespace sfxw {
namespace {

bool IsReservedDevice(std::wstring level) {
  // "CON", "con.txt", "COM1 " all name the device on Windows, and so do the
  // ports numbered with a superscript digit ("COM¹", "LPT³.txt").
  const std::size_t dot = level.find(L'.');
  if (dot != std::wstring::npos) level.resize(dot);
  while (!level.empty() && level.back() == L' ') level.pop_back();
  for (wchar_t& c : level) c = static_cast<wchar_t>(std::towupper(c));
  static const wchar_t* const kNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* n : kNames) {
    if (level == n) return true;
  }
  if (level.size() != 4 || (level.compare(0, 3, L"COM") != 0 && level.compare(0, 3, L"LPT") != 0)) return false;
  const wchar_t d = level[3];
  return (d >= L'0' && d <= L'9') || d == L'\u00B9' || d == L'\u00B2' || d == L'\u00B3';
}

bool ForbiddenLevel(const std::wstring& level) {
  for (wchar_t c : level) {
    if (c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|') {
      return true;
    }
  }
  // Windows drops trailing dots and blanks from a name, so ". ." and "..."
  // behave as "." or "..", and "a." as "a"; written through the "\\?\"
  // form they would make a file that other programs cannot open.
  const wchar_t last = level.back();
  return last == L'.' || last == L' ' || IsReservedDevice(level);
}

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsHex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); }

const wchar_t kLongPrefix[] = L"\\\\?\\";
const wchar_t kLongUnc[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& s, const wchar_t* prefix) {
  const std::wstring p(prefix);
  return s.compare(0, p.size(), p) == 0;
}

// The end of the share in "\\server\share\..." counted from `at`, the
// first character of the server's name.
std::size_t AfterShare(const std::wstring& s, std::size_t at) {
  const std::size_t server = s.find(L'\\', at);
  if (server == std::wstring::npos) return s.size();
  const std::size_t share = s.find(L'\\', server + 1);
  return share == std::wstring::npos ? s.size() : share + 1;
}

}  // namespace

PathVerdict SafeRelativePath(const std::wstring& name, std::wstring& relative) {
  relative.clear();
  if (name.empty()) return PathVerdict::kRefused;
  if (name[0] == L'\\' || name[0] == L'/') return PathVerdict::kRefused;  // absolute or UNC
  if (name == L"$") return PathVerdict::kOptionFile;
  bool tooLong = false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = name.size();
    const std::wstring level = name.substr(start, end - start);
    start = end + 1;
    if (level.empty()) continue;  // "a\\b" and a trailing separator
    if (ForbiddenLevel(level)) {
      relative.clear();
      return PathVerdict::kRefused;
    }
    if (level.size() > kMaxLevel) tooLong = true;
    if (!relative.empty()) relative += L'\\';
    relative += level;
  }
  if (relative.empty()) return PathVerdict::kRefused;
  if (tooLong) {
    relative.clear();
    return PathVerdict::kTooLong;
  }
  return PathVerdict::kOk;
}

std::wstring JoinPath(const std::wstring& dir, const std::wstring& relative) {
  if (dir.empty()) return relative;
  if (dir.back() == L'\\' || dir.back() == L'/') return dir + relative;
  return dir + L'\\' + relative;
}

std::wstring LongForm(const std::wstring& p) {
  if (StartsWith(p, kLongPrefix)) return p;
  if (p.size() >= 3 && IsLetter(p[0]) && p[1] == L':' && p[2] == L'\\') return kLongPrefix + p;
  if (p.size() > 2 && p[0] == L'\\' && p[1] == L'\\' && p[2] != L'.' && p[2] != L'?') {
    return kLongUnc + p.substr(2);
  }
  return p;
}

std::wstring ShortForm(const std::wstring& p) {
  if (StartsWith(p, kLongUnc)) return L"\\\\" + p.substr(8);
  if (StartsWith(p, kLongPrefix)) return p.substr(4);
  return p;
}

std::size_t RootLength(const std::wstring& p) {
  if (StartsWith(p, kLongUnc)) return AfterShare(p, 8);
  const std::size_t at = StartsWith(p, kLongPrefix) ? 4 : 0;
  if (p.size() >= at + 3 && IsLetter(p[at]) && p[at + 1] == L':' && p[at + 2] == L'\\') return at + 3;
  if (at == 0 && p.size() > 2 && p[0] == L'\\' && p[1] == L'\\') return AfterShare(p, 2);
  return 0;
}

namespace {

std::wstring RunFileName(uint32_t process, uint32_t serial, const wchar_t* ext) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"~lfx";
  const uint64_t v = (uint64_t{process} << 32) | serial;
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(v >> shift) & 0xF];
  return name + ext;
}

bool IsRunFileName(const std::wstring& n, const wchar_t* ext) {
  if (n.size() != 24 || n.compare(0, 4, L"~lfx") != 0 || n.compare(20, 4, ext) != 0) return false;
  for (std::size_t i = 4; i < 20; ++i) {
    if (!IsHex(n[i])) return false;
  }
  return true;
}

}  // namespace

std::wstring TemporaryName(uint32_t process, uint32_t serial) { return RunFileName(process, serial, L".tmp"); }
bool IsTemporaryName(const std::wstring& n) { return IsRunFileName(n, L".tmp"); }
std::wstring JournalName(uint32_t process, uint32_t serial) { return RunFileName(process, serial, L".lst"); }
bool IsJournalName(const std::wstring& n) { return IsRunFileName(n, L".lst"); }

bool ReadJournalRecord(const std::wstring& text, std::wstring& relative) {
  relative.clear();
  const std::size_t end = text.find(L'\0');
  if (end == 0 || end == std::wstring::npos) return false;
  const std::wstring path = text.substr(0, end);
  // Only a path that stays inside the folder, exactly as the run wrote it.
  if (SafeRelativePath(path, relative) != PathVerdict::kOk || relative != path) {
    relative.clear();
    return false;
  }
  return true;
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  return path.substr(0, slash < RootLength(path) ? slash + 1 : slash);
}

bool IsDocumentName(const std::wstring& name) {
  const std::size_t dot = name.find_last_of(L".\\/");
  if (dot == std::wstring::npos || name[dot] != L'.') return false;
  std::wstring ext = name.substr(dot + 1);
  for (wchar_t& c : ext) c = static_cast<wchar_t>(std::towlower(c));
  return ext == L"txt" || ext == L"htm" || ext == L"html";
}

std::wstring Shown(const std::wstring& text) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring out;
  for (wchar_t c : text) {
    const unsigned u = static_cast<unsigned>(c);
    if (u < 0x20 || u == 0x7F) {
      out += L"\\x";
      out += kDigits[u >> 4];
      out += kDigits[u & 0xF];
    } else if ((u >= 0x80 && u <= 0x9F) || u == 0x2028 || u == 0x2029) {
      out += L"\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(u >> shift) & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace sfxw
