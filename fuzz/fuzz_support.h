// Helpers shared by the fuzz targets: a scratch folder of the process, files
// written whole, the entries below a folder, and a message box sink that
// answers every question without a window.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "util/text/visible_text.h"

namespace fuzzsupport {

inline void WriteBytes(const std::string& path, const uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) std::abort();
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) std::abort();
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

// Every entry below `dir` (links not followed), as paths relative to it.
inline void ListTree(const std::string& dir, const std::string& rel, std::vector<std::string>& out) {
  DIR* d = ::opendir((dir + rel).c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string child = rel + "/" + name;
    out.push_back(child);
    struct stat st {};
    if (::lstat((dir + child).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ListTree(dir, child, out);
  }
  ::closedir(d);
}

// Removes `path` and everything below it (links not followed); the folder
// itself too unless `keepTop`.
inline void RemoveTree(const std::string& path, bool keepTop = false) {
  std::vector<std::string> entries;
  ListTree(path, "", entries);
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const std::string p = path + *it;
    ::chmod(p.c_str(), 0700);
    if (::rmdir(p.c_str()) != 0) ::unlink(p.c_str());
  }
  if (!keepTop) ::rmdir(path.c_str());
}

// A folder of this process below $TMPDIR (or /tmp), made once and removed
// when the process ends normally. The path lives on the heap so that it
// outlives every static destructor that might still need it.
inline const std::string& Scratch() {
  static const std::string* const dir = [] {
    const char* base = std::getenv("TMPDIR");
    auto* path = new std::string(std::string(base && *base ? base : "/tmp") + "/lm-fuzz-XXXXXX");
    if (!::mkdtemp(path->data())) std::abort();
    std::atexit([] { RemoveTree(Scratch()); });
    return path;
  }();
  return *dir;
}

[[noreturn]] inline void Fail(const char* what, const std::string& detail = {}) {
  // The detail often shows the input: its NUL and control bytes are written
  // as escapes so that the report shows all of it.
  std::fprintf(stderr, "fuzz check failed: %s %s\n", what, visible::Escape(detail).c_str());
  std::abort();
}

}  // namespace fuzzsupport
