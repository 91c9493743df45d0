// LHA member headers: reading levels 0, 1 and 2, writing level 2.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lha {

struct Member {
  char method[6] = "-lh0-";
  uint64_t packedSize = 0;    // size of the packed data (extension headers not included)
  uint64_t originalSize = 0;
  int64_t mtime = 0;          // Unix time
  uint16_t crc = 0;           // CRC-16 of the original data
  int level = 2;
  uint8_t osId = 'M';
  // Member path in code page 932 as stored, levels separated by "\"; no
  // trailing separator, also for directories.
  std::string name;
  uint16_t dosAttribute = 0x20;
  bool hasUnixMode = false;
  uint16_t unixMode = 0;
  bool isSymlink = false;
  // False for a level-0 header that ends before its CRC field: the data is
  // then not checked.
  bool hasCrc = true;
  // An empty -lh0- member that its writer marked as a directory (the MS-DOS
  // directory attribute, or a name ending in a separator), as some Amiga
  // archivers store an empty directory.
  bool directoryEntry = false;
  // The name of the UTF-16 name extensions (0x44 file, 0x45 directory) in
  // UTF-8, levels separated by "/"; empty when the header has none.
  std::string utf8Name;
  // Where the member lies in its file.
  uint64_t headerOffset = 0;
  uint64_t headerLength = 0;
  uint64_t dataOffset = 0;

  bool IsDirectory() const { return HasMethod('h', 'd') || directoryEntry; }
  // True for the method "-l<kind><id>-". Written out byte by byte: a method
  // name as a string constant in the Windows self-extractor would be taken
  // for the archive's first header by readers that scan the file for one.
  bool HasMethod(char kind, char id) const {
    return method[0] == '-' && method[1] == 'l' && method[2] == kind && method[3] == id && method[4] == '-';
  }
};

// Random-access reading of the archive file.
class FileSource {
 public:
  explicit FileSource(std::FILE* f) : f_(f) {}
  // Reads exactly `n` bytes at `offset`; false on a short read.
  bool ReadAt(uint64_t offset, void* buf, std::size_t n) const;
  // Reads up to `n` bytes; the count read.
  std::size_t ReadSome(uint64_t offset, void* buf, std::size_t n) const;
  std::FILE* file() const { return f_; }

 private:
  std::FILE* f_;
};

// Reads the header at `offset`. Returns 0 with `m` filled, 1 at the end of
// the archive (a zero byte or the end of the file), otherwise a result code
// (ARC_ERROR_HEADER_BROKEN, ARC_ERROR_HEADER_CRC, ARC_ERROR_VERSION, ...).
int ReadHeader(const FileSource& src, uint64_t offset, uint64_t fileSize, Member& m);

// A level-2 header for `m` (method, sizes, time, CRC, name, attribute);
// the header's own CRC is filled in.
std::vector<uint8_t> BuildLevel2Header(const Member& m);

// Converting between Unix time and the packed MS-DOS date and time (local
// time), low word time, high word date.
uint32_t UnixToDosTime(int64_t t);
int64_t DosToUnixTime(uint32_t dos);

}  // namespace lha
