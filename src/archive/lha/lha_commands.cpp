#include "archive/lha/lha_commands.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "archive/common/command_line.h"
#include "archive/common/result_codes.h"
#include "archive/lha/lha_archive.h"
#include "util/cp932/cp932.h"
#include "util/text/visible_text.h"

namespace lha {
namespace {

struct Switches {
  int x = -1;  // -1 not given
  int r = 0;
  int dictionaryBits = 13;
  bool hidden = false;
};

void ParseSwitch(const std::string& sw, Switches& s) {
  std::size_t i = 1;
  while (i < sw.size()) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(sw[i++])));
    // Option groups whose letters are not single switches: confirmation
    // settings (-jyc, -jyo), self-extractor settings (-gw4gx2), work folder.
    if (c == 'j' || c == 'g' || c == 'w') return;
    int value = -1;
    while (i < sw.size() && std::isdigit(static_cast<unsigned char>(sw[i]))) {
      value = std::min(9999, (value < 0 ? 0 : value) * 10 + (sw[i] - '0'));
      ++i;
    }
    switch (c) {
      case 'x': s.x = value < 0 ? 1 : value; break;
      case 'r': s.r = value < 0 ? 1 : value; break;
      case 'a': s.hidden = value != 0; break;
      case 'o':
        if (value == 5) s.dictionaryBits = 13;
        if (value == 6) s.dictionaryBits = 15;
        if (value == 7) s.dictionaryBits = 16;
        break;
      default: break;  // other switches of the classic command set change nothing here
    }
  }
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::vector<std::string> SplitSlashes(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '/') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  parts.push_back(cur);
  return parts;
}

// Name of an entry of `dir` that equals `name`: exactly, otherwise the
// first without regard to ASCII case (as the Windows file system finds it).
bool FindEntry(const std::string& dir, const std::string& name, std::string& found) {
  struct stat st {};
  if (::lstat(Join(dir.empty() ? "." : dir, name).c_str(), &st) == 0) {
    found = name;
    return true;
  }
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  const std::string want = Lower(name);
  std::vector<std::string> hits;
  while (dirent* e = ::readdir(d)) {
    if (Lower(e->d_name) == want) hits.emplace_back(e->d_name);
  }
  ::closedir(d);
  if (hits.empty()) return false;
  std::sort(hits.begin(), hits.end());
  found = hits.front();
  return true;
}

// An existing path for `path` ("/" separated), each level looked up by
// FindEntry. "" stands for the current directory.
bool Resolve(const std::string& path, std::string& real) {
  if (path.empty()) {
    real.clear();
    return true;
  }
  std::vector<std::string> parts = SplitSlashes(path);
  std::string cur = path[0] == '/' ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& p = parts[i];
    if (p.empty()) continue;
    if (p == "." || p == "..") {
      cur = Join(cur, p);
      continue;
    }
    std::string found;
    if (!FindEntry(cur, p, found)) return false;
    cur = Join(cur, found);
  }
  real = cur.empty() ? "." : cur;
  return true;
}

// ---------------------------------------------------------------- adding

struct AddContext {
  const Switches& sw;
  std::vector<NewMember>& out;
  struct stat archiveStat {};
  bool archiveExists = false;
  std::string badName;  // a name code page 932 cannot hold
};

bool IsArchiveItself(const AddContext& ctx, const struct stat& st) {
  return ctx.archiveExists && st.st_dev == ctx.archiveStat.st_dev && st.st_ino == ctx.archiveStat.st_ino;
}

// Adds a member whose stored name is `storedUtf8` ("\" between levels).
bool AddMember(AddContext& ctx, const std::string& storedUtf8, const std::string& fsPath, bool isDir) {
  NewMember nm;
  if (!cp932::FromUtf8(storedUtf8, nm.storedName)) {
    ctx.badName = fsPath;
    return false;
  }
  nm.sourcePath = fsPath;
  nm.isDirectory = isDir;
  ctx.out.push_back(std::move(nm));
  return true;
}

// Adds the files of `dir` that match `pattern` and, when recursing, the
// subdirectories and their files. Returns false on a name that cannot be
// stored.
bool Walk(AddContext& ctx, const std::string& dir, const std::string& storedPrefix, const std::string& pattern,
          int& matched) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.empty() ? "." : dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      if (n[0] == '.' && !ctx.sw.hidden) continue;  // hidden entries stay out unless -a
      names.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  const bool withPaths = ctx.sw.x > 0;
  std::vector<std::string> subdirs;
  for (const std::string& n : names) {
    const std::string full = Join(dir, n);
    struct stat st {}, lst {};
    if (::stat(full.c_str(), &st) != 0 || ::lstat(full.c_str(), &lst) != 0) continue;
    if (S_ISREG(st.st_mode)) {
      if (!arc::WildcardMatch(pattern, n) || IsArchiveItself(ctx, st)) continue;
      if (!AddMember(ctx, withPaths ? storedPrefix + n : n, full, false)) return false;
      ++matched;
    } else if (S_ISDIR(st.st_mode) && !S_ISLNK(lst.st_mode) && ctx.sw.r > 0) {
      subdirs.push_back(n);
    }
  }
  for (const std::string& n : subdirs) {
    const std::string full = Join(dir, n);
    if (withPaths) {
      if (!AddMember(ctx, storedPrefix + n, full, true)) return false;
      ++matched;
    }
    if (!Walk(ctx, full, storedPrefix + n + "\\", pattern, matched)) return false;
  }
  return true;
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
// matches nothing, or ARC_ERROR_UNKNOWN_TYPE for a name code page 932
// cannot hold.
int AddName(AddContext& ctx, const std::string& baseDir, const std::string& word, std::string& report) {
  const std::string w = arc::ToSlashes(word);
  const bool absolute = !w.empty() && w[0] == '/';
  const std::size_t slash = w.rfind('/');
  const std::string dirText = slash == std::string::npos ? "" : w.substr(0, slash);
  const std::string leaf = slash == std::string::npos ? w : w.substr(slash + 1);
  std::string dirFs = absolute ? (dirText.empty() ? "/" : dirText) : Join(baseDir, dirText);
  std::string realDir;
  if (!Resolve(dirFs, realDir)) {
    report += "not found: " + word + "\r\n";
    return ARC_ERROR_NOT_EXIST;
  }
  if (dirFs.empty()) realDir.clear();
  const std::string prefix = StoredPrefix(dirText);
  int matched = 0;
  if (!HasWildcard(leaf) && !leaf.empty()) {
    std::string found;
    if (!FindEntry(realDir, leaf, found)) {
      report += "not found: " + word + "\r\n";
      return ARC_ERROR_NOT_EXIST;
    }
    const std::string full = Join(realDir, found);
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0) {
      report += "not found: " + word + "\r\n";
      return ARC_ERROR_NOT_EXIST;
    }
    if (S_ISDIR(st.st_mode)) {
      // A directory named on its own: the directory and, when recursing,
      // its content.
      if (ctx.sw.x > 0 && !AddMember(ctx, prefix + found, full, true)) return ARC_ERROR_UNKNOWN_TYPE;
      ++matched;
      if (ctx.sw.r > 0 && !Walk(ctx, full, prefix + found + "\\", "*.*", matched)) return ARC_ERROR_UNKNOWN_TYPE;
    } else if (!IsArchiveItself(ctx, st)) {
      if (!AddMember(ctx, ctx.sw.x > 0 ? prefix + found : found, full, false)) return ARC_ERROR_UNKNOWN_TYPE;
      ++matched;
    }
  } else {
    const std::string pattern = leaf.empty() ? "*.*" : leaf;
    if (!Walk(ctx, realDir, prefix, pattern, matched)) return ARC_ERROR_UNKNOWN_TYPE;
  }
  if (matched == 0) {
    report += "no file matches: " + word + "\r\n";
    return ARC_ERROR_NOT_EXIST;
  }
  return 0;
}

// The archive named in a command: looked up without regard to case when it
// exists; ".lzh" is added to a name without extension.
std::string ArchivePath(const std::string& word, bool addExtension) {
  std::string w = arc::ToSlashes(word);
  const std::size_t slash = w.rfind('/');
  const std::string leaf = slash == std::string::npos ? w : w.substr(slash + 1);
  if (addExtension && leaf.find('.') == std::string::npos) w += ".lzh";
  std::string real;
  if (Resolve(w, real)) return real;
  // A new archive: resolve its directory.
  const std::size_t s2 = w.rfind('/');
  if (s2 != std::string::npos && s2 > 0) {
    std::string dir;
    if (Resolve(w.substr(0, s2), dir)) return Join(dir, w.substr(s2 + 1));
  }
  return w;
}

struct Words {
  std::string command;
  std::string archive;
  std::string dir;  // base or output directory, "" when none
  bool haveDir = false;
  std::vector<std::string> names;
};

Words Classify(const arc::ParsedCommand& cmd) {
  Words w;
  for (std::size_t i = 0; i < cmd.words.size(); ++i) {
    const std::string& word = cmd.words[i];
    if (i == 0) {
      w.command = Lower(word);
    } else if (i == 1) {
      w.archive = word;
    } else if (!w.haveDir && arc::EndsWithSeparator(word)) {
      w.dir = arc::ToSlashes(word);
      w.haveDir = true;
    } else {
      w.names.push_back(word);
    }
  }
  return w;
}

int CommandAdd(const Words& w, const Switches& sw, std::string& report) {
  const std::string archive = ArchivePath(w.archive, true);
  std::string baseDir;
  if (w.haveDir) {
    if (!Resolve(w.dir, baseDir)) {
      report += "base directory not found: " + w.dir + "\r\n";
      return ARC_ERROR_NOT_EXIST;
    }
  }
  if (w.names.empty()) {
    report += "no names to add\r\n";
    return ARC_ERROR_NOT_EXIST;
  }
  std::vector<NewMember> added;
  AddContext ctx{sw, added};
  ctx.archiveExists = ::stat(archive.c_str(), &ctx.archiveStat) == 0;
  for (const std::string& name : w.names) {
    const int rc = AddName(ctx, baseDir, name, report);
    if (rc == ARC_ERROR_UNKNOWN_TYPE) {
      report += "name cannot be written in Shift-JIS: " + ctx.badName + "\r\n";
    }
    if (rc) return rc;
  }
  // One member per name: a name given twice is stored once.
  std::vector<NewMember> unique;
  std::vector<std::string> seen;
  for (NewMember& nm : added) {
    const std::string u = StoredNameToUtf8(nm.storedName);
    bool dup = false;
    for (const std::string& s : seen) dup = dup || SameMemberName(s, u);
    if (dup) continue;
    seen.push_back(u);
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
  std::string failed;
  const int rc = WriteArchive(archive, haveExisting ? &reader : nullptr, {}, unique, options, report, failed);
  if (rc) report += "failed: " + (failed.empty() ? archive : failed) + "\r\n";
  return rc;
}

bool NameMatches(const std::string& pattern, const std::string& memberPath) {
  const std::string p = arc::ToSlashes(pattern);
  if (p.find('/') != std::string::npos) {
    return HasWildcard(p) ? arc::WildcardMatch(p, memberPath) : SameMemberName(p, memberPath);
  }
  const std::size_t slash = memberPath.rfind('/');
  const std::string leaf = slash == std::string::npos ? memberPath : memberPath.substr(slash + 1);
  if (HasWildcard(p)) return arc::WildcardMatch(p, leaf);
  return SameMemberName(p, memberPath);
}

int CommandDelete(const Words& w, std::string& report) {
  const std::string archive = ArchivePath(w.archive, true);
  ArchiveReader reader;
  if (int rc = reader.Open(archive)) {
    report += "cannot read the archive " + archive + "\r\n";
    return rc;
  }
  std::vector<std::string> names = w.names;
  if (w.haveDir) names.push_back(w.dir);
  std::vector<bool> keep(reader.entries().size(), true);
  int removed = 0;
  for (std::size_t i = 0; i < keep.size(); ++i) {
    const std::string& path = reader.entries()[i].path;
    for (const std::string& n : names) {
      std::string p = arc::ToSlashes(n);
      while (p.size() > 1 && p.back() == '/') p.pop_back();
      if (HasWildcard(p) ? arc::WildcardMatch(p, path) : SameMemberName(p, path)) {
        keep[i] = false;
        ++removed;
        report += "deleted " + visible::Escape(path) + "\r\n";
        break;
      }
    }
  }
  if (removed == 0) return 0;
  std::string failed;
  return WriteArchive(archive, &reader, keep, {}, WriteOptions{}, report, failed);
}

// ------------------------------------------------------------- extracting

// The levels of a member path made safe for writing below the output
// directory; false when the path is absolute or climbs out of it.
bool SafeLevels(const std::string& path, bool withPaths, std::vector<std::string>& levels) {
  levels.clear();
  if (path.empty() || path[0] == '/' || path.find('\0') != std::string::npos) return false;
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
int MakeDirectories(const std::string& root, const std::vector<std::string>& levels, std::size_t count,
                    std::string& dir) {
  dir = root;
  for (std::size_t i = 0; i < count; ++i) {
    std::string found;
    if (FindEntry(dir, levels[i], found)) {
      const std::string next = Join(dir, found);
      struct stat st {};
      if (::lstat(next.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ARC_ERROR_MAKEDIRECTORY;
      dir = next;
    } else {
      const std::string next = Join(dir, levels[i]);
      if (::mkdir(next.c_str(), 0777) != 0 && errno != EEXIST) return ARC_ERROR_MAKEDIRECTORY;
      struct stat st {};
      if (::lstat(next.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ARC_ERROR_MAKEDIRECTORY;
      dir = next;
    }
  }
  return 0;
}

int ExtractFile(const ArchiveReader& reader, const Entry& e, const std::string& dir, const std::string& leaf) {
  std::string found;
  std::string target = Join(dir, leaf);
  if (FindEntry(dir, leaf, found)) {
    target = Join(dir, found);
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ARC_ERROR_FILE_OPEN;
  }
  std::string tmp;
  mode_t newMode = 0644;
  const int fd = MakeTempFile(dir, tmp, &newMode);
  if (fd < 0) return ARC_ERROR_FILE_OPEN;
  const ByteSink sink = [fd](const uint8_t* d, std::size_t n) {
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
  return rc;
}

using SkipFn = bool (*)(const std::string&);

int ExtractMembers(const ArchiveReader& reader, const std::string& outDirWord, bool withPaths,
                   const std::vector<std::string>& patterns, SkipFn skip, std::string& report) {
  std::string root;
  const std::string out = arc::ToSlashes(outDirWord);
  if (out.empty()) {
    root = ".";
  } else if (!Resolve(out, root)) {
    // Create the output directory without asking.
    std::string cur = out[0] == '/' ? "/" : "";
    for (const std::string& p : SplitSlashes(out)) {
      if (p.empty()) continue;
      cur = Join(cur, p);
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
  for (const Entry& e : reader.entries()) {
    if (skip && skip(e.path)) continue;
    if (!patterns.empty()) {
      bool any = false;
      for (const std::string& p : patterns) any = any || NameMatches(p, e.path);
      if (!any) continue;
    }
    std::vector<std::string> levels;
    if (!SafeLevels(e.path, withPaths, levels)) {
      report += "refused (path leaves the output directory): " + visible::Escape(e.path) + "\r\n";
      note(ARC_ERROR_HEADER_BROKEN);
      continue;
    }
    if (e.m.isSymlink) {
      report += "skipped symbolic link: " + visible::Escape(e.path) + "\r\n";
      continue;
    }
    if (e.m.IsDirectory()) {
      if (!withPaths) continue;
      std::string dir;
      const int rc = MakeDirectories(root, levels, levels.size(), dir);
      if (rc) {
        report += "cannot create directory: " + visible::Escape(e.path) + "\r\n";
        note(rc);
        continue;
      }
      dirTimes.emplace_back(dir, e.m.mtime);
      continue;
    }
    std::string dir;
    int rc = MakeDirectories(root, levels, levels.size() - 1, dir);
    if (rc == 0) rc = ExtractFile(reader, e, dir, levels.back());
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

int CommandExtract(const Words& w, const Switches& sw, bool alwaysPaths, std::string& report) {
  const std::string archive = ArchivePath(w.archive, true);
  ArchiveReader reader;
  if (int rc = reader.Open(archive)) {
    report += "cannot read the archive " + archive + "\r\n";
    return rc;
  }
  const bool withPaths = alwaysPaths || sw.x > 0;
  return ExtractMembers(reader, w.dir, withPaths, w.names, nullptr, report);
}

int CommandList(const Words& w, bool test, std::string& report) {
  const std::string archive = ArchivePath(w.archive, true);
  ArchiveReader reader;
  if (int rc = reader.Open(archive)) {
    report += "cannot read the archive " + archive + "\r\n";
    return rc;
  }
  int first = 0;
  for (const Entry& e : reader.entries()) {
    // The method and the name come from the archive: escaped, so that no
    // byte of them can end the line or forge another one.
    std::string line = visible::Escape(std::string_view(e.m.method, 5)) + " " +
                       std::to_string(e.m.originalSize) + " " + std::to_string(e.m.packedSize) + " " +
                       visible::Escape(e.path);
    if (test) {
      const int rc = reader.Extract(e, [](const uint8_t*, std::size_t) { return true; });
      line += rc ? " ERROR" : " OK";
      if (rc && !first) first = rc;
    }
    report += line + "\r\n";
  }
  return first;
}

bool CopyFileBytes(int outFd, const std::string& path, uint64_t& copied) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::vector<char> buf(1 << 16);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (::write(outFd, buf.data(), static_cast<std::size_t>(n)) != n) {
      ok = false;
      break;
    }
    copied += static_cast<uint64_t>(n);
  }
  ::close(in);
  return ok;
}

int CommandSfx(const Words& w, const CommandEnv& env, std::string& report) {
  std::string base = arc::ToSlashes(w.archive);
  std::string archive = base;
  if (Lower(base).size() >= 4 && Lower(base).substr(base.size() - 4) == ".lzh") {
    base.resize(base.size() - 4);
  } else {
    archive = base + ".lzh";
  }
  archive = ArchivePath(archive, false);
  {
    ArchiveReader reader;
    if (int rc = reader.Open(archive)) {
      report += "cannot read the archive " + archive + "\r\n";
      return rc;
    }
  }
  const std::size_t slash = base.rfind('/');
  const std::string leaf = slash == std::string::npos ? base : base.substr(slash + 1);
  std::string outDir;
  if (w.haveDir) {
    if (!Resolve(w.dir, outDir)) {
      report += "output directory not found: " + w.dir + "\r\n";
      return ARC_ERROR_MAKEDIRECTORY;
    }
  } else {
    const std::size_t s = archive.rfind('/');
    outDir = s == std::string::npos ? "." : archive.substr(0, s + 1);
  }
  const std::string exe = Join(outDir, leaf + ".exe");
  if (env.stubPath.empty() || ::access(env.stubPath.c_str(), R_OK) != 0) {
    report += "self-extractor stub not found: " + env.stubPath + "\r\n";
    return ARC_ERROR_FILE_OPEN;
  }
  std::string tmp;
  mode_t newMode = 0644;
  const int fd = MakeTempFile(outDir, tmp, &newMode);
  if (fd < 0) return ARC_ERROR_TMP_OPEN;
  uint64_t stubSize = 0, archiveSize = 0;
  bool ok = CopyFileBytes(fd, env.stubPath, stubSize) && CopyFileBytes(fd, archive, archiveSize);
  if (ok) {
    uint8_t trailer[kSfxTrailerSize];
    std::memcpy(trailer, kSfxMagic, 8);
    for (int i = 0; i < 8; ++i) trailer[8 + i] = static_cast<uint8_t>(stubSize >> (8 * i));
    ok = ::write(fd, trailer, sizeof trailer) == static_cast<ssize_t>(sizeof trailer);
  }
  // Executable wherever it is readable.
  ok = ok && fchmod(fd, newMode | ((newMode & 0444) >> 2)) == 0 && fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(tmp.c_str(), exe.c_str()) != 0) {
    ::unlink(tmp.c_str());
    report += "cannot write " + exe + "\r\n";
    return ARC_ERROR_CANNOT_WRITE;
  }
  report += "made " + exe + "\r\n";
  return 0;
}

}  // namespace

int RunCommand(const std::string& utf8Line, const CommandEnv& env, std::string& report) {
  const arc::ParsedCommand cmd = arc::ParseCommand(utf8Line);
  Switches sw;
  for (const std::string& s : cmd.switches) ParseSwitch(s, sw);
  const Words w = Classify(cmd);
  if (w.command.empty()) {
    report += "no command\r\n";
    return ARC_ERROR_COMMAND_NAME;
  }
  if (w.archive.empty()) {
    report += "no archive named\r\n";
    return ARC_ERROR_NOT_ARC_FILE;
  }
  if (w.command == "a" || w.command == "u") return CommandAdd(w, sw, report);
  if (w.command == "d") return CommandDelete(w, report);
  if (w.command == "e") return CommandExtract(w, sw, false, report);
  if (w.command == "x") return CommandExtract(w, sw, true, report);
  if (w.command == "s") return CommandSfx(w, env, report);
  if (w.command == "l" || w.command == "v") return CommandList(w, false, report);
  if (w.command == "t") return CommandList(w, true, report);
  report += "unknown command: " + w.command + "\r\n";
  return ARC_ERROR_COMMAND_NAME;
}

int ExtractAll(const std::string& archivePath, const std::string& outDir, bool withPaths,
               bool (*skip)(const std::string& utf8Path), std::string& report) {
  ArchiveReader reader;
  if (int rc = reader.Open(archivePath)) {
    report += "cannot read the archive " + archivePath + "\r\n";
    return rc;
  }
  return ExtractMembers(reader, outDir, withPaths, {}, skip, report);
}

}  // namespace lha
