#include "extract_run.h"

#include <windows.h>

#include "archive/common/result_codes.h"
#include "member_paths.h"

namespace sfxw {
namespace {

bool IsFolder(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

FILETIME UnixToFileTime(int64_t t) {
  const uint64_t ticks = static_cast<uint64_t>(t + 11644473600LL) * 10000000ULL;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

// The folder holding `path`; a drive's root keeps its separator ("C:\\"),
// since "C:" alone names the drive's current folder.
std::wstring Parent(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, slash);
}

// Writes one member's data to a new temporary file in `folder`; returns 0
// with `tmp` named, or a result code with nothing left behind.
int WriteTemporary(const SelfArchive& archive, const lha::Member& m, const std::wstring& folder,
                   ExtractObserver& observer, std::size_t index, std::size_t count, uint64_t& done,
                   uint64_t total, const std::wstring& name, std::wstring& tmp, bool& cancelled) {
  wchar_t buf[MAX_PATH + 16];
  if (GetTempFileNameW(folder.c_str(), L"lfx", 0, buf) == 0) return ARC_ERROR_TMP_OPEN;
  tmp = buf;
  const HANDLE h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileW(tmp.c_str());
    return ARC_ERROR_FILE_OPEN;
  }
  int rc = archive.Decode(m, [&](const uint8_t* d, std::size_t n) {
    while (n > 0) {
      const DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
      DWORD written = 0;
      if (!WriteFile(h, d, chunk, &written, nullptr) || written != chunk) return false;
      d += chunk;
      n -= chunk;
      done += chunk;
    }
    if (!observer.Progress(index, count, done, total, name)) {
      cancelled = true;
      return false;
    }
    return true;
  });
  if (rc == 0) {
    const FILETIME ft = UnixToFileTime(m.mtime);
    SetFileTime(h, nullptr, nullptr, &ft);
  }
  if (!CloseHandle(h) && rc == 0) rc = ARC_ERROR_CANNOT_WRITE;
  if (rc != 0) DeleteFileW(tmp.c_str());
  return rc;
}

}  // namespace

bool MakeFolders(const std::wstring& dir) {
  if (dir.empty() || IsFolder(dir)) return true;
  const std::wstring parent = Parent(dir);
  if (!parent.empty() && parent != dir && !MakeFolders(parent)) {
    return false;
  }
  return CreateDirectoryW(dir.c_str(), nullptr) || IsFolder(dir);
}

std::wstring ReasonText(int rc) {
  switch (rc) {
    case ARC_ERROR_FILE_CRC: return L"CRC が一致しません (データが壊れています)";
    case ARC_ERROR_HUFFMAN_CODE: return L"圧縮データが壊れています";
    case ARC_ERROR_METHOD: return L"対応していない圧縮方法です";
    case ARC_ERROR_CANNOT_READ: return L"書庫を読めません (ファイルが途中で切れています)";
    case ARC_ERROR_CANNOT_WRITE: return L"書き込めません (ディスクの空きか書き込み権限を確かめてください)";
    case ARC_ERROR_FILE_OPEN: return L"ファイルを作成できません";
    case ARC_ERROR_TMP_OPEN: return L"作業ファイルを作成できません";
    case ARC_ERROR_MORE_HEAP_MEMORY: return L"メモリが足りません";
    case ARC_ERROR_MAKEDIRECTORY: return L"フォルダを作成できません";
    case ARC_ERROR_HEADER_BROKEN:
    case ARC_ERROR_HEADER_CRC: return L"書庫のヘッダが壊れているか、書庫が途中で切れています";
    case ARC_ERROR_VERSION: return L"対応していない形式のヘッダです";
    default: break;
  }
  wchar_t code[32];
  wsprintfW(code, L"エラー 0x%X", rc);
  return code;
}

ExtractResult ExtractAll(const SelfArchive& archive, const std::wstring& dir, ExtractObserver& observer) {
  ExtractResult result;
  const auto& members = archive.members();
  uint64_t total = 0, done = 0;
  for (const SelfMember& sm : members) total += sm.m.originalSize;
  bool overwriteAll = false;
  for (std::size_t i = 0; i < members.size() && !result.cancelled; ++i) {
    const SelfMember& sm = members[i];
    std::wstring rel;
    const PathVerdict verdict = SafeRelativePath(sm.name, rel);
    if (verdict == PathVerdict::kOptionFile) continue;
    if (verdict == PathVerdict::kRefused) {
      result.failed.push_back(sm.name + L": インストール先フォルダの外を指す名前か、Windows で使えない名前のため展開しません");
      continue;
    }
    if (!observer.Progress(i, members.size(), done, total, rel)) {
      result.cancelled = true;
      break;
    }
    const std::wstring target = JoinPath(dir, rel);
    if (sm.m.isSymlink) {
      result.failed.push_back(rel + L": シンボリックリンクは展開できません");
      continue;
    }
    if (sm.m.IsDirectory()) {
      if (!MakeFolders(target)) result.failed.push_back(rel + L": " + ReasonText(ARC_ERROR_MAKEDIRECTORY));
      continue;
    }
    const std::wstring folder = Parent(target);
    if (!MakeFolders(folder)) {
      result.failed.push_back(rel + L": " + ReasonText(ARC_ERROR_MAKEDIRECTORY));
      continue;
    }
    if (IsFolder(target)) {
      result.failed.push_back(rel + L": 同じ名前のフォルダがあります");
      continue;
    }
    if (!overwriteAll && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
      const OverwriteChoice c = observer.AskOverwrite(target);
      if (c == OverwriteChoice::kCancel) {
        result.cancelled = true;
        break;
      }
      if (c == OverwriteChoice::kSkip) {
        result.skipped.push_back(rel);
        done += sm.m.originalSize;
        continue;
      }
      if (c == OverwriteChoice::kOverwriteAll) overwriteAll = true;
    }
    std::wstring tmp;
    bool cancelled = false;
    const int rc = WriteTemporary(archive, sm.m, folder, observer, i, members.size(), done, total, rel, tmp,
                                  cancelled);
    if (cancelled) {
      result.cancelled = true;
      break;
    }
    if (rc != 0) {
      result.failed.push_back(rel + L": " + ReasonText(rc));
      continue;
    }
    // A read-only file in the way would refuse the rename.
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      DeleteFileW(tmp.c_str());
      result.failed.push_back(rel + L": " + ReasonText(ARC_ERROR_CANNOT_WRITE));
      continue;
    }
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    result.files.push_back(rel);
  }
  return result;
}

}  // namespace sfxw
