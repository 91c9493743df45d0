// Reading the files that become archive members: opened without waiting
// (a FIFO or device in a file's place is refused, never blocks), read in
// pieces, and closed on every path.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace lha {

// Opens a regular file for reading. Returns the descriptor and its status,
// or -1 with a result code.
int OpenSource(const std::string& path, struct stat& st, int& rc);

// Reads from `fd` as a ByteSource does: up to `n` bytes, 0 at the end or on
// an error (which `failed` records).
std::size_t ReadSome(int fd, uint8_t* buf, std::size_t n, bool& failed);

// Closes a descriptor when it goes out of scope.
struct FdCloser {
  int fd;
  ~FdCloser() { ::close(fd); }
};

}  // namespace lha
