#include "util/pathfind/path_find.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "util/pathfind/name_fold.h"

namespace pathfind {
namespace {

bool Exists(const std::string& dir, const std::string& name) {
  struct stat st {};
  return ::lstat(Join(dir.empty() ? "." : dir, name).c_str(), &st) == 0;
}

bool IsDotLevel(const std::string& n) { return n == "." || n == ".."; }

// Calls `each` with every name of directory `dir` but "." and "..".
template <typename Each>
bool ListDirectory(const std::string& dir, Each each) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  while (const dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (!IsDotLevel(n)) each(n);
  }
  ::closedir(d);
  return true;
}

// Keeps the first in byte order of the names that share one folded form.
void Keep(std::unordered_map<std::string, std::string>& names, const std::string& n) {
  auto [it, inserted] = names.emplace(FoldName(n), n);
  if (!inserted && n < it->second) it->second = n;
}

}  // namespace

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool FindEntry(const std::string& dir, const std::string& name, std::string& found) {
  if (Exists(dir, name)) {
    found = name;
    return true;
  }
  const std::string want = FoldName(name);
  std::string best;
  ListDirectory(dir, [&](const std::string& n) {
    if ((best.empty() || n < best) && FoldName(n) == want) best = n;
  });
  if (best.empty()) return false;
  found = best;
  return true;
}

bool ResolveExisting(const std::string& path, std::string& real) {
  std::string cur = !path.empty() && path[0] == '/' ? "/" : "";
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    const std::string level = path.substr(start, slash - start);
    start = slash + 1;
    if (level.empty()) continue;
    std::string found = level;
    if (!IsDotLevel(level) && !FindEntry(cur, level, found)) return false;
    cur = Join(cur, found);
  }
  real = cur;
  return true;
}

bool ResolveForCreate(const std::string& path, std::string& real) {
  if (ResolveExisting(path, real)) return true;
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos) {
    real = trimmed;
    return true;
  }
  std::string parent;
  if (!ResolveExisting(slash == 0 ? "/" : trimmed.substr(0, slash), parent)) return false;
  real = Join(parent, trimmed.substr(slash + 1));
  return true;
}

FolderIndex::Names& FolderIndex::Listing(const std::string& dir) {
  auto it = dirs_.find(dir);
  if (it != dirs_.end()) return it->second;
  Names& names = dirs_[dir];
  ++listings_;
  ListDirectory(dir, [&](const std::string& n) { Keep(names, n); });
  return names;
}

bool FolderIndex::Find(const std::string& dir, const std::string& name, std::string& found) {
  const Names& names = Listing(dir);
  const auto it = names.find(FoldName(name));
  if (it == names.end()) {
    // Not there when listed: made since by someone else, or absent.
    if (!Exists(dir, name)) return false;
    found = name;
    return true;
  }
  // An exact match wins over another spelling, as in FindEntry.
  found = it->second != name && Exists(dir, name) ? name : it->second;
  return true;
}

void FolderIndex::Added(const std::string& dir, const std::string& name) {
  const auto it = dirs_.find(dir);
  if (it != dirs_.end()) Keep(it->second, name);
}

}  // namespace pathfind
