// The "e" and "x" commands and ExtractAll, which the self-extractor uses:
// writing members below an output directory, never outside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <vector>

#include "archive/common/progress_meter.h"
#include "archive/common/result_codes.h"
#include "archive/lha/command_parts.h"
#include "archive/lha/lha_archive.h"
#include "util/pathfind/path_find.h"
#include "util/text/visible_text.h"

namespace lha {
namespace {

// True when a path has no level but "." and empty ones.
bool NamesNothing(const std::string& path) {
  for (const std::string& p : SplitSlashes(path)) {
    if (!p.empty() && p != ".") return false;
  }
  return true;
}

// The levels of a member path made safe for writing below the output
// directory; false when the path climbs out of it or names a drive. A
// leading separator is dropped, as other LHA tools drop it ("\\dir\\file"
// is written to dir/file below the output directory).
bool SafeLevels(const std::string& path, bool withPaths, std::vector<std::string>& levels) {
  levels.clear();
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  for (const std::string& p : SplitSlashes(path)) {
    if (p.empty() || p == ".") continue;
    if (p == "..") return false;
    levels.push_back(p);
  }
  if (levels.empty()) return false;
  // A drive letter ("C:") makes a Windows path absolute.
  if (levels[0].size() >= 2 && levels[0][1] == ':' && std::isalpha(static_cast<unsigned char>(levels[0][0]))) {
    return false;
  }
  if (!withPaths) levels.erase(levels.begin(), levels.end() - 1);
  return true;
}

// Walks (and creates) the directories of `levels` below `root`, never
// through a symbolic link. Returns 0 and the directory's path.
int MakeDirectories(pathfind::FolderIndex& index, const std::string& root, const std::vector<std::string>& levels,
                    std::size_t count, std::string& dir) {
  dir = root;
  for (std::size_t i = 0; i < count; ++i) {
    std::string found;
    if (index.Find(dir, levels[i], found)) {
      const std::string next = pathfind::Join(dir, found);
      struct stat st {};
      if (::lstat(next.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ARC_ERROR_MAKEDIRECTORY;
      dir = next;
    } else {
      const std::string next = pathfind::Join(dir, levels[i]);
      if (::mkdir(next.c_str(), 0777) != 0 && errno != EEXIST) return ARC_ERROR_MAKEDIRECTORY;
      struct stat st {};
      if (::lstat(next.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ARC_ERROR_MAKEDIRECTORY;
      index.Added(dir, levels[i]);
      dir = next;
    }
  }
  return 0;
}

int ExtractFile(pathfind::FolderIndex& index, const ArchiveReader& reader, const Entry& e, const std::string& dir,
                const std::string& leaf, arc::ProgressMeter& meter) {
  if (!meter.BeginMember(e.m.name, e.m.originalSize)) return ARC_ERROR_USER_CANCEL;
  std::string found;
  std::string target = pathfind::Join(dir, leaf);
  const bool existed = index.Find(dir, leaf, found);
  if (existed) {
    target = pathfind::Join(dir, found);
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ARC_ERROR_FILE_OPEN;
  }
  std::string tmp;
  mode_t newMode = 0644;
  const int fd = MakeTempFile(dir, tmp, &newMode);
  if (fd < 0) return ARC_ERROR_FILE_OPEN;
  // A cancel stops the member at its next block; the partial file goes.
  const ByteSink sink = [fd, &meter](const uint8_t* d, std::size_t n) {
    if (!meter.Add(n)) return false;
    while (n > 0) {
      const ssize_t w = ::write(fd, d, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      d += w;
      n -= static_cast<std::size_t>(w);
    }
    return true;
  };
  int rc = reader.Extract(e, sink);
  if (meter.Cancelled()) rc = ARC_ERROR_USER_CANCEL;
  if (rc == 0) {
    // The stored Unix permissions within what the umask allows; a DOS
    // read-only attribute takes the write bits away.
    mode_t mode = newMode;
    if (e.m.hasUnixMode) mode &= (e.m.unixMode & 0777);
    if (e.m.dosAttribute & 0x01) mode &= ~0222;
    if (mode != newMode) fchmod(fd, mode | S_IRUSR);
    const struct timespec times[2] = {{e.m.mtime, 0}, {e.m.mtime, 0}};
    futimens(fd, times);
  }
  if (::close(fd) != 0 && rc == 0) rc = ARC_ERROR_CANNOT_WRITE;
  if (rc == 0 && ::rename(tmp.c_str(), target.c_str()) != 0) rc = ARC_ERROR_CANNOT_WRITE;
  if (rc != 0) ::unlink(tmp.c_str());
  if (rc == 0 && !existed) index.Added(dir, leaf);
  return rc;
}

// True when a link in a folder `depth` levels below the output directory
// that points at `target` stays inside it. Only leading ".." levels are
// taken: after a name, ".." would climb out of wherever that name leads,
// which may itself be a link.
bool LinkStaysInside(std::size_t depth, const std::string& target) {
  if (target.empty() || target[0] == '/') return false;
  if (target.size() >= 2 && target[1] == ':' && std::isalpha(static_cast<unsigned char>(target[0]))) return false;
  bool named = false;
  for (const std::string& p : SplitSlashes(target)) {
    if (p.empty() || p == ".") continue;
    if (p == "..") {
      if (named || depth == 0) return false;
      --depth;
    } else {
      named = true;
    }
  }
  return named;
}

// A Unix symbolic link, stored as "link|target": created when its target
// stays inside the output directory, in place of an entry of that name.
int ExtractLink(pathfind::FolderIndex& index, const std::string& root, const Entry& e, bool withPaths,
                std::string& report) {
  const std::size_t bar = e.path.find('|');
  const std::string target = e.path.substr(bar + 1);
  std::vector<std::string> levels;
  if (!SafeLevels(e.path.substr(0, bar), withPaths, levels) || !LinkStaysInside(levels.size() - 1, target)) {
    report += "refused (link leads out of the output directory): " + visible::Escape(e.path) + "\r\n";
    return ARC_ERROR_HEADER_BROKEN;
  }
  std::string dir;
  if (int rc = MakeDirectories(index, root, levels, levels.size() - 1, dir)) return rc;
  std::string found;
  std::string place = pathfind::Join(dir, levels.back());
  const bool existed = index.Find(dir, levels.back(), found);
  if (existed) {
    place = pathfind::Join(dir, found);
    struct stat st {};
    if (::lstat(place.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ARC_ERROR_FILE_OPEN;
  }
  // Made under a fresh name, then renamed over what was there.
  for (unsigned n = 0;; ++n) {
    const std::string tmp = pathfind::Join(dir, ".lha-link-" + std::to_string(::getpid()) + "-" + std::to_string(n));
    if (::symlink(target.c_str(), tmp.c_str()) == 0) {
      if (::rename(tmp.c_str(), place.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return ARC_ERROR_CANNOT_WRITE;
      }
      break;
    }
    if (errno != EEXIST || n > 1000) return ARC_ERROR_CANNOT_WRITE;
  }
  if (!existed) index.Added(dir, levels.back());
  return 0;
}

using SkipFn = bool (*)(const std::string&);

int ExtractMembers(const ArchiveReader& reader, const std::string& outDirWord, bool withPaths,
                   const std::vector<std::string>& patterns, SkipFn skip, std::string& report) {
  std::string root;
  const std::string out = arc::ToSlashes(outDirWord);
  if (out.empty()) {
    root = ".";
  } else if (!pathfind::ResolveExisting(out, root)) {
    // Create the output directory without asking.
    std::string cur = out[0] == '/' ? "/" : "";
    for (const std::string& p : SplitSlashes(out)) {
      if (p.empty()) continue;
      cur = pathfind::Join(cur, p);
      if (::mkdir(cur.c_str(), 0777) != 0 && errno != EEXIST) {
        report += "cannot create " + out + "\r\n";
        return ARC_ERROR_MAKEDIRECTORY;
      }
    }
    root = cur;
  }
  struct stat rst {};
  if (::stat(root.c_str(), &rst) != 0 || !S_ISDIR(rst.st_mode)) {
    report += "not a directory: " + out + "\r\n";
    return ARC_ERROR_MAKEDIRECTORY;
  }
  int first = 0;
  auto note = [&](int rc) {
    if (first == 0) first = rc;
  };
  std::vector<std::pair<std::string, int64_t>> dirTimes;
  // Each output directory is listed once for the whole command.
  pathfind::FolderIndex index;
  std::vector<const Entry*> chosen;
  for (const Entry& e : reader.entries()) {
    if (skip && skip(e.path)) continue;
    if (!patterns.empty()) {
      bool any = false;
      for (const std::string& p : patterns) any = any || NameMatches(p, e.path);
      if (!any) continue;
    }
    chosen.push_back(&e);
  }
  // The command's total for the progress procedure: the original sizes of
  // the files to be written.
  arc::ProgressMeter meter;
  if (meter.Active()) {
    uint64_t total = 0;
    for (const Entry* e : chosen)
      if (!e->m.isSymlink && !e->m.IsDirectory()) total += e->m.originalSize;
    meter.SetCommandTotal(total);
  }
  for (const Entry* chosenEntry : chosen) {
    const Entry& e = *chosenEntry;
    if (e.m.isSymlink) {
      const int rc = ExtractLink(index, root, e, withPaths, report);
      if (rc) {
        report += "failed: " + visible::Escape(e.path) + "\r\n";
        note(rc);
      } else {
        report += "linked " + visible::Escape(e.path) + "\r\n";
      }
      continue;
    }
    std::vector<std::string> levels;
    // A directory entry without a name (some level-0 writers add one for the
    // output directory itself) has nothing to create.
    if (e.m.IsDirectory() && NamesNothing(e.path)) continue;
    if (!SafeLevels(e.path, withPaths, levels)) {
      report += "refused (path leaves the output directory): " + visible::Escape(e.path) + "\r\n";
      note(ARC_ERROR_HEADER_BROKEN);
      continue;
    }
    if (e.m.IsDirectory()) {
      if (!withPaths) continue;
      std::string dir;
      const int rc = MakeDirectories(index, root, levels, levels.size(), dir);
      if (rc) {
        report += "cannot create directory: " + visible::Escape(e.path) + "\r\n";
        note(rc);
        continue;
      }
      dirTimes.emplace_back(dir, e.m.mtime);
      continue;
    }
    std::string dir;
    int rc = MakeDirectories(index, root, levels, levels.size() - 1, dir);
    if (rc == 0) rc = ExtractFile(index, reader, e, dir, levels.back(), meter);
    // A cancelled command stops here: what it wrote so far stays, the member
    // it was writing does not.
    if (rc == ARC_ERROR_USER_CANCEL) {
      report += "cancelled: " + visible::Escape(e.path) + "\r\n";
      return rc;
    }
    if (rc) {
      report += "failed: " + visible::Escape(e.path) + "\r\n";
      note(rc);
    } else {
      report += "extracted " + visible::Escape(e.path) + "\r\n";
    }
  }
  // Directory times last: writing files into them changes them.
  for (auto it = dirTimes.rbegin(); it != dirTimes.rend(); ++it) {
    const struct timespec times[2] = {{it->second, 0}, {it->second, 0}};
    utimensat(AT_FDCWD, it->first.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
  return first;
}

}  // namespace

int CommandExtract(const Words& w, const Switches& sw, bool alwaysPaths, std::string& report) {
  const std::string archive = ArchivePath(w.archive, true);
  ArchiveReader reader;
  int damage = 0;
  if (int rc = OpenForReading(reader, archive, damage, report)) return rc;
  const bool withPaths = alwaysPaths || sw.x > 0;
  const int rc = ExtractMembers(reader, w.dir, withPaths, w.names, nullptr, report);
  return rc ? rc : damage;
}

int ExtractAll(const std::string& archivePath, const std::string& outDir, bool withPaths,
               bool (*skip)(const std::string& utf8Path), std::string& report) {
  ArchiveReader reader;
  int damage = 0;
  if (int rc = OpenForReading(reader, archivePath, damage, report)) return rc;
  const int rc = ExtractMembers(reader, outDir, withPaths, {}, skip, report);
  return rc ? rc : damage;
}

}  // namespace lha
