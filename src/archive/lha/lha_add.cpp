// The "a" and "u" commands: gathering the named files and writing them
// into a new or updated archive.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "archive/common/result_codes.h"
#include "archive/lha/command_parts.h"
#include "archive/lha/lha_archive.h"
#include "util/cp932/cp932.h"
#include "util/pathfind/path_find.h"

namespace lha {
namespace {

struct AddContext {
  const Switches& sw;
  std::vector<NewMember>& out;
  std::string& report;
  struct stat archiveStat {};
  bool archiveExists = false;
};

bool IsArchiveItself(const AddContext& ctx, const struct stat& st) {
  return ctx.archiveExists && st.st_dev == ctx.archiveStat.st_dev && st.st_ino == ctx.archiveStat.st_ino;
}

// Fails the command for a source it cannot take whole: a file or folder left
// out quietly would make an archive that lacks it while reporting success.
int Refuse(AddContext& ctx, int code, const std::string& why, const std::string& path) {
  ctx.report += why + ": " + path + "\r\n";
  return code;
}

// The failure for a source that stat() or opendir() refused with `err`.
int Unreadable(AddContext& ctx, int err, const std::string& path) {
  if (err == ENAMETOOLONG) return Refuse(ctx, ARC_ERROR_FILE_OPEN, "path too long", path);
  return Refuse(ctx, ARC_ERROR_FILE_OPEN, std::string("cannot read (") + std::strerror(err) + ")", path);
}

// Adds a member whose stored name is `storedUtf8` ("\" between levels).
int AddMember(AddContext& ctx, const std::string& storedUtf8, const std::string& fsPath, bool isDir) {
  NewMember nm;
  if (!cp932::FromUtf8(storedUtf8, nm.storedName)) {
    return Refuse(ctx, ARC_ERROR_UNKNOWN_TYPE, "name cannot be written in Shift-JIS", fsPath);
  }
  nm.sourcePath = fsPath;
  nm.isDirectory = isDir;
  ctx.out.push_back(std::move(nm));
  return 0;
}

// Adds the files of `dir` that match `pattern` and, when recursing, the
// subdirectories and their files. Returns 0 or the failure's code: a folder
// that cannot be listed, an entry that cannot be examined, a selected entry
// that is neither a file nor a folder (a FIFO or device is never opened), a
// name that cannot be stored.
int Walk(AddContext& ctx, const std::string& dir, const std::string& storedPrefix, const std::string& pattern,
         int& matched) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return Unreadable(ctx, errno, dir);
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (!e) break;
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    if (n[0] == '.' && !ctx.sw.hidden) continue;  // hidden entries stay out unless -a
    names.push_back(n);
  }
  const int listErr = errno;
  ::closedir(d);
  if (listErr != 0) return Unreadable(ctx, listErr, dir);
  std::sort(names.begin(), names.end());
  const bool withPaths = ctx.sw.x > 0;
  const bool recurse = ctx.sw.r > 0;
  std::vector<std::string> subdirs;
  for (const std::string& n : names) {
    const std::string full = pathfind::Join(dir, n);
    const bool selected = arc::WildcardMatch(pattern, n);
    struct stat st {}, lst {};
    if (::lstat(full.c_str(), &lst) != 0 || ::stat(full.c_str(), &st) != 0) {
      if (selected || recurse) return Unreadable(ctx, errno, full);
      continue;
    }
    if (S_ISREG(st.st_mode)) {
      if (!selected || IsArchiveItself(ctx, st)) continue;
      if (int rc = AddMember(ctx, withPaths ? storedPrefix + n : n, full, false)) return rc;
      ++matched;
    } else if (S_ISDIR(st.st_mode)) {
      // Links to folders are not followed: they could lead round in a circle.
      if (recurse && !S_ISLNK(lst.st_mode)) subdirs.push_back(n);
    } else if (selected) {
      return Refuse(ctx, ARC_ERROR_UNKNOWN_TYPE, "not a regular file", full);
    }
  }
  for (const std::string& n : subdirs) {
    const std::string full = pathfind::Join(dir, n);
    if (withPaths) {
      if (int rc = AddMember(ctx, storedPrefix + n, full, true)) return rc;
      ++matched;
    }
    if (int rc = Walk(ctx, full, storedPrefix + n + "\\", pattern, matched)) return rc;
  }
  return 0;
}

// The stored form of a directory part written in the command: its levels
// as written, without empty, "." and ".." levels, "\" between them.
std::string StoredPrefix(const std::string& dirText) {
  std::string prefix;
  for (const std::string& p : SplitSlashes(dirText)) {
    if (p.empty() || p == "." || p == "..") continue;
    prefix += p + "\\";
  }
  return prefix;
}

// Expands one name of the command. Returns 0, ARC_ERROR_NOT_EXIST when it
// matches nothing, or the code of a source that cannot be taken whole.
int AddName(AddContext& ctx, const std::string& baseDir, const std::string& word) {
  const std::string w = arc::ToSlashes(word);
  const bool absolute = !w.empty() && w[0] == '/';
  const std::size_t slash = w.rfind('/');
  const std::string dirText = slash == std::string::npos ? "" : w.substr(0, slash);
  const std::string leaf = slash == std::string::npos ? w : w.substr(slash + 1);
  std::string dirFs = absolute ? (dirText.empty() ? "/" : dirText) : pathfind::Join(baseDir, dirText);
  std::string realDir;
  if (!pathfind::ResolveExisting(dirFs, realDir)) return Refuse(ctx, ARC_ERROR_NOT_EXIST, "not found", word);
  if (dirFs.empty()) realDir.clear();
  const std::string prefix = StoredPrefix(dirText);
  int matched = 0;
  if (!HasWildcard(leaf) && !leaf.empty()) {
    std::string found;
    if (!pathfind::FindEntry(realDir, leaf, found)) return Refuse(ctx, ARC_ERROR_NOT_EXIST, "not found", word);
    const std::string full = pathfind::Join(realDir, found);
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0) return Unreadable(ctx, errno, full);
    if (S_ISDIR(st.st_mode)) {
      // A directory named on its own: the directory and, when recursing,
      // its content.
      if (ctx.sw.x > 0) {
        if (int rc = AddMember(ctx, prefix + found, full, true)) return rc;
      }
      ++matched;
      if (ctx.sw.r > 0) {
        if (int rc = Walk(ctx, full, prefix + found + "\\", "*.*", matched)) return rc;
      }
    } else if (!S_ISREG(st.st_mode)) {
      return Refuse(ctx, ARC_ERROR_UNKNOWN_TYPE, "not a regular file", full);
    } else if (!IsArchiveItself(ctx, st)) {
      if (int rc = AddMember(ctx, ctx.sw.x > 0 ? prefix + found : found, full, false)) return rc;
      ++matched;
    }
  } else {
    const std::string pattern = leaf.empty() ? "*.*" : leaf;
    if (int rc = Walk(ctx, realDir, prefix, pattern, matched)) return rc;
  }
  if (matched == 0) return Refuse(ctx, ARC_ERROR_NOT_EXIST, "no file matches", word);
  return 0;
}

}  // namespace

int CommandAdd(const Words& w, const Switches& sw, std::string& report) {
  const std::string archive = ArchivePath(w.archive, true);
  std::string baseDir;
  if (w.haveDir) {
    if (!pathfind::ResolveExisting(w.dir, baseDir)) {
      report += "base directory not found: " + w.dir + "\r\n";
      return ARC_ERROR_NOT_EXIST;
    }
  }
  if (w.names.empty()) {
    report += "no names to add\r\n";
    return ARC_ERROR_NOT_EXIST;
  }
  std::vector<NewMember> added;
  AddContext ctx{sw, added, report};
  ctx.archiveExists = ::stat(archive.c_str(), &ctx.archiveStat) == 0;
  // A FIFO or device in the archive's place is neither read (it could block
  // for ever) nor replaced.
  if (ctx.archiveExists && !S_ISREG(ctx.archiveStat.st_mode)) {
    report += "not a regular file: " + archive + "\r\n";
    return ARC_ERROR_ARC_FILE_OPEN;
  }
  for (const std::string& name : w.names) {
    if (int rc = AddName(ctx, baseDir, name)) return rc;
  }
  // One member per name: a name given twice is stored once.
  std::vector<NewMember> unique;
  std::unordered_set<std::string> seen;
  for (NewMember& nm : added) {
    if (!seen.insert(MemberNameKey(StoredNameToUtf8(nm.storedName))).second) continue;
    unique.push_back(std::move(nm));
  }
  ArchiveReader reader;
  bool haveExisting = false;
  if (ctx.archiveExists && ctx.archiveStat.st_size > 0) {
    const int rc = reader.Open(archive);
    if (rc) {
      report += "cannot read the archive " + archive + "\r\n";
      return rc;
    }
    haveExisting = true;
  }
  WriteOptions options;
  options.dictionaryBits = sw.dictionaryBits;
  if (sw.fast) options.parse = ParseMode::kFast;
  std::string failed;
  const int rc = WriteArchive(archive, haveExisting ? &reader : nullptr, {}, unique, options, report, failed);
  if (rc) report += "failed: " + (failed.empty() ? archive : failed) + "\r\n";
  return rc;
}

}  // namespace lha
