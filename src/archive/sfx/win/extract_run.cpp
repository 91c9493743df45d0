#include "extract_run.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "archive/common/result_codes.h"
#include "member_paths.h"
#include "win_text.h"

namespace sfxw {
namespace {

enum class Made { kFailed, kCreated, kExisted };

// How often a rename refused because the file is in use is tried before
// the user is asked (or, unattended, the member fails), and the pause
// before the first retry; each further pause is longer.
constexpr int kInUseTries = 4;
constexpr DWORD kInUsePauseMs = 250;

bool IsFolder(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// `dir` in the long form; its missing parents are made first.
Made MakeFolder(const std::wstring& dir) {
  if (CreateDirectoryW(dir.c_str(), nullptr)) return Made::kCreated;
  if (GetLastError() == ERROR_PATH_NOT_FOUND) {
    const std::size_t slash = dir.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < RootLength(dir)) return Made::kFailed;
    if (MakeFolder(dir.substr(0, slash)) == Made::kFailed) return Made::kFailed;
    if (CreateDirectoryW(dir.c_str(), nullptr)) return Made::kCreated;
  }
  // Already there, or a root that cannot be created.
  return IsFolder(dir) ? Made::kExisted : Made::kFailed;
}

FILETIME UnixToFileTime(int64_t t) {
  const uint64_t ticks = static_cast<uint64_t>(t + 11644473600LL) * 10000000ULL;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime; }

int64_t FileTimeToUnix(const FILETIME& ft) { return static_cast<int64_t>(Ticks(ft) / 10000000ULL) - 11644473600LL; }

bool InUseError(DWORD e) {
  return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED ||
         e == ERROR_USER_MAPPED_FILE;
}

// One run of the extraction: the folders it touched, the temporary file
// being written, and the choices made so far.
class Run {
 public:
  Run(const SelfArchive& archive, const std::wstring& dir, OverwriteMode mode, ExtractObserver& observer)
      : archive_(archive), dir_(LongForm(dir)), mode_(mode), observer_(observer) {}

  ExtractResult Go() {
    const auto& members = archive_.members();
    for (const SelfMember& sm : members) total_ += sm.m.originalSize;
    Touch(dir_, false);
    for (std::size_t i = 0; i < members.size() && !result_.cancelled; ++i) One(i);
    if (journal_ != INVALID_HANDLE_VALUE) {
      CloseHandle(journal_);
      DeleteFileW(journalPath_.c_str());
    }
    return std::move(result_);
  }

 private:
  void Fail(const std::wstring& rel, const std::wstring& why) { result_.failed.push_back(Shown(rel).append(L": ").append(why)); }

  // A folder of the install tree is about to be used: temporary files that
  // a killed run left in it are removed (those of a run still going are
  // open without sharing, so their deletion fails and they stay), and in
  // the install folder the new file that a killed run's list names.
  void Touch(const std::wstring& folder, bool created) {
    for (const std::wstring& f : cleaned_) {
      if (f == folder) return;
    }
    cleaned_.push_back(folder);
    if (created) return;
    WIN32_FIND_DATAW fd;
    const HANDLE h =
        FindFirstFileExW(JoinPath(folder, L"~lfx*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring path = JoinPath(folder, fd.cFileName);
      if (IsTemporaryName(fd.cFileName)) {
        DeleteFileW(path.c_str());
      } else if (folder == dir_ && IsJournalName(fd.cFileName)) {
        Recover(path);
      }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }

  // The list of a killed run: the file it names is removed if it was made
  // after the list was last written (so never a file that was there
  // before), then the list. A list still open belongs to a run that goes
  // on: it cannot be opened, and stays.
  void Recover(const std::wstring& list) {
    WIN32_FILE_ATTRIBUTE_DATA listData, have;
    std::FILE* f = _wfopen(list.c_str(), L"rb");
    if (!f || !GetFileAttributesExW(list.c_str(), GetFileExInfoStandard, &listData)) {
      if (f) std::fclose(f);
      return;
    }
    std::wstring text(kMaxLongPath + 1, L'\0');
    text.resize(std::fread(text.data(), sizeof(wchar_t), text.size(), f));
    std::fclose(f);
    std::wstring rel;
    // Timestamps of the file system may trail each other a little.
    constexpr uint64_t kSlack = 2 * 10000000ULL;
    if (ReadJournalRecord(text, rel)) {
      const std::wstring file = JoinPath(dir_, rel);
      if (GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &have) &&
          !(have.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          Ticks(have.ftCreationTime) + kSlack >= Ticks(listData.ftLastWriteTime)) {
        DeleteFileW(file.c_str());
      }
    }
    DeleteFileW(list.c_str());
  }

  // Records that the new file `rel` is about to be made (or, empty, that
  // no file is being written under its own name). False when the list
  // cannot be written: the member then goes through a temporary file.
  bool Journal(const std::wstring& rel) {
    if (journal_ == INVALID_HANDLE_VALUE) {
      if (journalFailed_ || rel.empty()) return false;
      journalPath_ = JoinPath(dir_, JournalName(GetCurrentProcessId(), serial_++));
      journal_ = CreateFileW(journalPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (journal_ == INVALID_HANDLE_VALUE) {
        journalFailed_ = true;
        return false;
      }
    }
    // The path with its ending zero, always at the start of the list.
    const DWORD size = static_cast<DWORD>((rel.size() + 1) * sizeof(wchar_t));
    OVERLAPPED at{};
    DWORD written = 0;
    return WriteFile(journal_, rel.c_str(), size, &written, &at) && written == size;
  }

  bool Folder(const std::wstring& folder) {
    if (folder == lastFolder_) return true;
    const Made made = MakeFolder(folder);
    if (made == Made::kFailed) return false;
    Touch(folder, made == Made::kCreated);
    lastFolder_ = folder;
    return true;
  }

  void One(std::size_t i) {
    const SelfMember& sm = archive_.members()[i];
    std::wstring rel;
    const PathVerdict verdict = SafeRelativePath(sm.name, rel);
    if (verdict == PathVerdict::kOptionFile) return;
    if (verdict == PathVerdict::kRefused) {
      Fail(sm.name, L"インストール先フォルダの外を指す名前か、Windows で使えない名前のため展開しません");
      return;
    }
    const std::wstring target = JoinPath(dir_, rel);
    const std::wstring folder = FolderOf(target);
    // The temporary file beside it has a name of 24 characters.
    if (verdict == PathVerdict::kTooLong || target.size() >= kMaxLongPath || folder.size() + 26 >= kMaxLongPath) {
      Fail(sm.name, L"パスが長すぎて Windows では扱えないため展開しません");
      return;
    }
    if (!observer_.Progress(i, archive_.members().size(), done_, total_, rel)) {
      result_.cancelled = true;
      return;
    }
    if (sm.m.isSymlink) {
      Fail(rel, L"シンボリックリンクは展開できません");
      return;
    }
    if (sm.m.IsDirectory()) {
      const Made made = MakeFolder(target);
      if (made == Made::kFailed) {
        Fail(rel, ReasonText(ARC_ERROR_MAKEDIRECTORY));
      } else {
        Touch(target, made == Made::kCreated);
      }
      return;
    }
    if (!Folder(folder)) {
      Fail(rel, ReasonText(ARC_ERROR_MAKEDIRECTORY));
      return;
    }
    // A file that is not there yet is written under its own name, which
    // spares the rename and the second look-up of a temporary name; the
    // list in the install folder lets a later run remove it if this run
    // is killed while writing it.
    if (Journal(rel)) {
      const HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        Write(i, sm, rel, h, target, std::wstring());
        return;
      }
      // There already (or not to be made here): the list must not name it.
      if (!Journal(std::wstring())) {
        CloseHandle(journal_);
        DeleteFileW(journalPath_.c_str());
        journal_ = INVALID_HANDLE_VALUE;
        journalFailed_ = true;
      }
    }
    if (mode_ != OverwriteMode::kAll) {
      WIN32_FILE_ATTRIBUTE_DATA have;
      if (GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &have)) {
        if (have.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Fail(rel, L"同じ名前のフォルダがあります");
          return;
        }
        bool keep = mode_ == OverwriteMode::kNone ||
                    (mode_ == OverwriteMode::kNewer && FileTimeToUnix(have.ftLastWriteTime) >= sm.m.mtime);
        if (mode_ == OverwriteMode::kAsk) {
          switch (observer_.AskOverwrite(ShortForm(target))) {
            case OverwriteChoice::kCancel: result_.cancelled = true; return;
            case OverwriteChoice::kSkipAll: mode_ = OverwriteMode::kNone; [[fallthrough]];
            case OverwriteChoice::kSkip: keep = true; break;
            case OverwriteChoice::kOverwriteAll: mode_ = OverwriteMode::kAll; break;
            case OverwriteChoice::kOverwrite: break;
          }
        }
        if (keep) {
          result_.skipped.push_back(rel);
          done_ += sm.m.originalSize;
          return;
        }
      }
    }
    std::wstring tmp;
    const HANDLE h = CreateTemporary(folder, tmp);
    if (h == INVALID_HANDLE_VALUE) {
      Fail(rel, ReasonText(ARC_ERROR_TMP_OPEN));
      return;
    }
    Write(i, sm, rel, h, target, tmp);
  }

  // A new temporary file in `folder`, opened without sharing.
  HANDLE CreateTemporary(const std::wstring& folder, std::wstring& tmp) {
    for (int attempt = 0; attempt < 64; ++attempt) {
      tmp = JoinPath(folder, TemporaryName(GetCurrentProcessId(), serial_++));
      const HANDLE h = CreateFileW(tmp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
      if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
  }

  // Writes the member into the open file `h`: the temporary file `tmp`,
  // renamed to `target` once the data checked out, or (`tmp` empty) the
  // new file `target` itself, removed again when the data is bad.
  void Write(std::size_t i, const SelfMember& sm, const std::wstring& rel, HANDLE h, const std::wstring& target,
             const std::wstring& tmp) {
    bool cancelled = false;
    DWORD writeError = 0;
    const std::size_t count = archive_.members().size();
    int rc = archive_.Decode(sm.m, [&](const uint8_t* d, std::size_t n) {
      while (n > 0) {
        const DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!WriteFile(h, d, chunk, &written, nullptr) || written != chunk) {
          writeError = GetLastError();
          return false;
        }
        d += chunk;
        n -= chunk;
        done_ += chunk;
      }
      if (!observer_.Progress(i, count, done_, total_, rel)) {
        cancelled = true;
        return false;
      }
      return true;
    });
    if (rc == ARC_ERROR_CANNOT_WRITE && (writeError == ERROR_DISK_FULL || writeError == ERROR_HANDLE_DISK_FULL)) {
      rc = ARC_ERROR_DISK_SPACE;
    }
    if (rc == 0) {
      const FILETIME ft = UnixToFileTime(sm.m.mtime);
      SetFileTime(h, nullptr, nullptr, &ft);
    }
    if (rc == 0 && !cancelled && !tmp.empty()) rc = Place(h, tmp, target, rel);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (rc == 0 && !cancelled) {
      // A whole new file is the user's now: the list no longer names it.
      if (tmp.empty()) Journal(std::wstring());
      result_.files.push_back(rel);
      return;
    }
    DeleteFileW(tmp.empty() ? target.c_str() : tmp.c_str());
    if (cancelled || rc == ARC_ERROR_USER_CANCEL) {
      result_.cancelled = true;
    } else if (rc == ARC_ERROR_USER_SKIP) {
      result_.skipped.push_back(rel);
    } else if (rc == ARC_ERROR_ALREADY_EXIST) {
      Fail(rel, L"同じ名前のフォルダがあります");
    } else if (rc == ARC_ERROR_READ_ONLY) {
      Fail(rel, L"ほかのプログラムが使用中のため書き込めません");
    } else {
      Fail(rel, ReasonText(rc));
    }
  }

  // Renames the open temporary file to `target`, replacing a file there.
  // A file in use is tried again a few times, then the observer decides.
  int Place(HANDLE& h, const std::wstring& tmp, const std::wstring& target, const std::wstring& rel) {
    std::vector<uint8_t> buf(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
    for (int tries = 1;; ++tries) {
      // The rename through the open handle saves opening the file again;
      // a system that does not take it there gets the plain rename, which
      // needs the handle closed (it was opened without sharing).
      if (h != INVALID_HANDLE_VALUE &&
          SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buf.size()))) {
        return 0;
      }
      DWORD e = GetLastError();
      if (h == INVALID_HANDLE_VALUE || !InUseError(e)) {
        if (h != INVALID_HANDLE_VALUE) {
          CloseHandle(h);
          h = INVALID_HANDLE_VALUE;
        }
        if (MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
        e = GetLastError();
      }
      const DWORD a = GetFileAttributesW(target.c_str());
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return ARC_ERROR_ALREADY_EXIST;
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY)) {
        // A read-only file in the way refuses the rename: the new copy replaces it.
        SetFileAttributesW(target.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
        continue;
      }
      if (!InUseError(e)) return ARC_ERROR_CANNOT_WRITE;
      if (tries < kInUseTries) {
        Sleep(kInUsePauseMs * tries);
        continue;
      }
      switch (observer_.AskInUse(rel)) {
        case InUseChoice::kRetry: tries = 0; continue;
        case InUseChoice::kSkip: return observer_.Interactive() ? ARC_ERROR_USER_SKIP : ARC_ERROR_READ_ONLY;
        case InUseChoice::kCancel: return ARC_ERROR_USER_CANCEL;
      }
    }
  }

  const SelfArchive& archive_;
  const std::wstring dir_;
  OverwriteMode mode_;
  ExtractObserver& observer_;
  ExtractResult result_;
  uint64_t total_ = 0, done_ = 0;
  std::wstring lastFolder_;
  std::vector<std::wstring> cleaned_;
  uint32_t serial_ = GetTickCount();
  HANDLE journal_ = INVALID_HANDLE_VALUE;
  std::wstring journalPath_;
  bool journalFailed_ = false;
};

}  // namespace

bool MakeFolders(const std::wstring& dir) { return dir.empty() || MakeFolder(LongForm(dir)) != Made::kFailed; }

std::wstring ReasonText(int rc) {
  switch (rc) {
    case ARC_ERROR_FILE_CRC: return L"CRC が一致しません (データが壊れています)";
    case ARC_ERROR_HUFFMAN_CODE: return L"圧縮データが壊れています";
    case ARC_ERROR_METHOD: return L"対応していない圧縮方法です";
    case ARC_ERROR_CANNOT_READ: return L"書庫を読めません (ファイルが途中で切れています)";
    case ARC_ERROR_CANNOT_WRITE: return L"書き込めません (ディスクの空きか書き込み権限を確かめてください)";
    case ARC_ERROR_DISK_SPACE: return L"ディスクの空きが足りません";
    case ARC_ERROR_FILE_OPEN: return L"ファイルを作成できません";
    case ARC_ERROR_TMP_OPEN: return L"作業ファイルを作成できません";
    case ARC_ERROR_MORE_HEAP_MEMORY: return L"メモリが足りません";
    case ARC_ERROR_MAKEDIRECTORY: return L"フォルダを作成できません";
    case ARC_ERROR_HEADER_BROKEN:
    case ARC_ERROR_HEADER_CRC: return L"書庫のヘッダが壊れています";
    case ARC_ERROR_VERSION: return L"対応していない形式のヘッダです";
    case ARC_ERROR_FILE_STYLE: return L"書庫の形が見つかりません";
    default: return L"書庫を読めません";
  }
}

ExtractResult ExtractAll(const SelfArchive& archive, const std::wstring& dir, OverwriteMode mode,
                         ExtractObserver& observer) {
  Run run(archive, dir, mode, observer);
  return run.Go();
}

}  // namespace sfxw
