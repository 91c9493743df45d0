#include "archive/lha/lha_source_file.h"

#include <fcntl.h>

#include <cerrno>

#include "archive/common/result_codes.h"

namespace lha {

int OpenSource(const std::string& path, struct stat& st, int& rc) {
  // Not waiting on open: a FIFO or device put in a file's place is refused.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  rc = ARC_ERROR_FILE_OPEN;
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  // The level-2 header holds 32-bit sizes.
  if (static_cast<uint64_t>(st.st_size) > 0xFFFFFFFFull) {
    ::close(fd);
    rc = ARC_ERROR_VERSION;
    return -1;
  }
  rc = 0;
  return fd;
}

std::size_t ReadSome(int fd, uint8_t* buf, std::size_t n, bool& failed) {
  for (;;) {
    const ssize_t got = ::read(fd, buf, n);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed = true;
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

}  // namespace lha
