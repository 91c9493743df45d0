#include "document_open.h"

#include <windows.h>

#include "member_paths.h"

namespace sfxw {
namespace {

std::wstring LastLevel(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameNameNoCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

DocumentLookup FindDocument(const std::wstring& dir, const std::wstring& command,
                            const std::vector<std::wstring>& files, std::wstring& path) {
  std::wstring rel;
  if (SafeRelativePath(command, rel) != PathVerdict::kOk) return DocumentLookup::kUnsafe;
  path = JoinPath(dir, rel);
  const DWORD a = GetFileAttributesW(LongForm(path).c_str());
  if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return DocumentLookup::kFound;
  const std::wstring name = LastLevel(rel);
  int matches = 0;
  for (const std::wstring& f : files) {
    if (!SameNameNoCase(LastLevel(f), name)) continue;
    if (++matches == 1) path = JoinPath(dir, f);
  }
  if (matches == 1) return DocumentLookup::kFound;
  path.clear();
  return matches == 0 ? DocumentLookup::kNone : DocumentLookup::kSeveral;
}

}  // namespace sfxw
