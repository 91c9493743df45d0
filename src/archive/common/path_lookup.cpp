#include "archive/common/path_lookup.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

namespace arc {
namespace {

std::string AsciiLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string JoinLevel(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The entry of `dir` that stands for `name`, or "" when there is none.
std::string MatchLevel(const std::string& dir, const std::string& name) {
  struct stat st {};
  if (::lstat(JoinLevel(dir.empty() ? "." : dir, name).c_str(), &st) == 0) return name;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return {};
  const std::string want = AsciiLower(name);
  std::string best;
  while (const dirent* e = ::readdir(d)) {
    const std::string candidate = e->d_name;
    if (AsciiLower(candidate) == want && (best.empty() || candidate < best)) best = candidate;
  }
  ::closedir(d);
  return best;
}

}  // namespace

bool ResolveExisting(const std::string& path, std::string& real) {
  std::string cur = !path.empty() && path[0] == '/' ? "/" : "";
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = std::min(path.find('/', start), path.size());
    const std::string level = path.substr(start, slash - start);
    start = slash + 1;
    if (level.empty()) continue;
    if (level == "." || level == "..") {
      cur = JoinLevel(cur, level);
      continue;
    }
    const std::string found = MatchLevel(cur, level);
    if (found.empty()) return false;
    cur = JoinLevel(cur, found);
  }
  real = cur;
  return true;
}

bool ResolveForCreate(const std::string& path, std::string& real) {
  if (ResolveExisting(path, real)) return true;
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos) {
    real = trimmed;
    return true;
  }
  std::string parent;
  if (!ResolveExisting(slash == 0 ? "/" : trimmed.substr(0, slash), parent)) return false;
  real = JoinLevel(parent, trimmed.substr(slash + 1));
  return true;
}

}  // namespace arc
