// The archives a library has opened for listing: the table behind its
// OpenArchive, FindFirst, FindNext and CloseArchive entry points, shared by
// UnLHA32.DLL and Cab32.DLL (each library keeps one table of its own).
//
// A handle is an opaque pointer the table gave out; a handle it did not give
// out, or one already closed, is refused (-1), never followed. The table is
// locked for the whole of each call, so a close on one thread cannot free an
// archive that a find on another is reading.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/common/archiver_api.h"

namespace arc {

// What a library read from an archive when it was opened: each member's
// record and its path (UTF-8, "/" or "\" between levels), in archive order.
struct ArchiveListing {
  std::vector<ArchiveInfo> members;
  std::vector<std::string> paths;
};

class OpenArchives {
 public:
  OpenArchives();
  ~OpenArchives();
  OpenArchives(const OpenArchives&) = delete;
  OpenArchives& operator=(const OpenArchives&) = delete;

  // Keeps `listing` and returns its handle; nullptr when memory runs out.
  HARC Open(ArchiveListing listing);

  // Starts a search at the first member matching `wildName` (code page 932;
  // nullptr or "" stands for "*.*"). A pattern with a "\" or "/" is matched
  // against the member's whole path, any other against its last level;
  // Windows wildcard rules, letter case ignored. 0 with `info` filled (when
  // not null), -1 when no member matches, the pattern is no text, or the
  // handle is not open.
  int FindFirst(HARC harc, const char* wildName, ArchiveInfo* info);
  // The next member matching the pattern of the last FindFirst; as FindFirst.
  int FindNext(HARC harc, ArchiveInfo* info);
  // Forgets the archive: 0, or -1 when the handle is not open.
  int Close(HARC harc);

 private:
  struct Archive;
  Archive* Lookup(HARC harc);  // with mutex_ held
  static int FindFrom(Archive& archive, ArchiveInfo* info);

  std::mutex mutex_;
  std::vector<std::unique_ptr<Archive>> open_;
};

}  // namespace arc
