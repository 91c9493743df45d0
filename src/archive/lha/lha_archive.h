// Reading and writing LHA archives as files: the member list, the data of
// one member through the decoder with its CRC checked, and writing a new
// archive from kept members and new files through a temporary file.
#pragma once

#include <cstdint>
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/lha/lha_header.h"
#include "archive/lha/lha_walk.h"
#include "archive/lha/lzh_codec.h"

namespace lha {

struct Entry {
  Member m;
  std::string path;  // UTF-8, levels separated by "/", as stored (not made safe)
};

class ArchiveReader {
 public:
  ArchiveReader() = default;
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;
  ~ArchiveReader();

  // Opens the archive and reads every header. Returns 0 or a result code:
  // ARC_ERROR_ARC_FILE_OPEN, ARC_ERROR_FILE_STYLE (not an LHA archive),
  // ARC_ERROR_HEADER_BROKEN, ARC_ERROR_HEADER_CRC, ARC_ERROR_VERSION. The
  // members read before a damaged header stay in entries(). A FIFO or device
  // is refused without waiting on it.
  int Open(const std::string& path);
  const std::vector<Entry>& entries() const { return entries_; }

  // Decodes one member into `sink` and checks its CRC. Returns 0,
  // ARC_ERROR_METHOD, ARC_ERROR_HUFFMAN_CODE, ARC_ERROR_FILE_CRC,
  // ARC_ERROR_CANNOT_READ or ARC_ERROR_CANNOT_WRITE (the sink failed).
  int Extract(const Entry& e, const ByteSink& sink) const;

  // Copies a member's header and data unchanged to `out`.
  bool CopyRaw(const Entry& e, std::FILE* out) const;

  uint64_t archiveStart() const { return start_; }

 private:
  std::FILE* f_ = nullptr;
  uint64_t size_ = 0;
  uint64_t start_ = 0;
  std::vector<Entry> entries_;
};

// Member path as stored (code page 932, "\" between levels) to UTF-8 with
// "/"; bytes that are not code page 932 are kept when they form UTF-8,
// otherwise shown as U+FFFD.
std::string StoredNameToUtf8(const std::string& stored);

// A member to write: its stored name (code page 932, "\" between levels)
// and the file or directory it comes from.
struct NewMember {
  std::string storedName;
  std::string sourcePath;  // file-system path (UTF-8)
  bool isDirectory = false;
};

struct WriteOptions {
  int dictionaryBits = 13;  // 13 = -lh5-, 15 = -lh6-, 16 = -lh7-
  ParseMode parse = ParseMode::kOptimal;
  // Threads that pack small files ahead of the writer and parse the
  // segments of a large file side by side; 0 = one per core (at most
  // four), 1 = everything in turn on the calling thread. The archive is
  // the same byte for byte either way.
  int threads = 0;
};

// Writes `target` anew: the members of `existing` whose `keep` flag is set,
// in order, each replaced in place by a new member of the same name (no
// case distinction), then the remaining new members. The archive is
// written to a temporary file beside `target` and renamed over it, so a
// failure leaves `target` as it was. Returns 0 or a result code; `report`
// gets one line per member written.
int WriteArchive(const std::string& target, const ArchiveReader* existing, const std::vector<bool>& keep,
                 const std::vector<NewMember>& added, const WriteOptions& options, std::string& report,
                 std::string& failedName);

// Creates a new file with a unique hidden name in `dir` for writing
// something that is renamed into place when complete. Returns the
// descriptor (-1 on failure), the file's path and, when asked, the
// permissions a new file gets here (0666 less the umask).
int MakeTempFile(const std::string& dir, std::string& path, mode_t* mode = nullptr);

// Name comparison used for replacing and deleting: "/" and "\" alike,
// letters without case (the rule of util/pathfind/name_fold.h).
bool SameMemberName(const std::string& a, const std::string& b);

// The key under which SameMemberName finds a name in a hash table: equal
// keys exactly for the same member name.
std::string MemberNameKey(const std::string& utf8Path);

}  // namespace lha
