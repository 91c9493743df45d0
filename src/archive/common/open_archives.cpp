#include "archive/common/open_archives.h"

#include <new>
#include <string_view>

#include "archive/common/command_line.h"
#include "util/cp932/cp932.h"

namespace arc {

struct OpenArchives::Archive {
  ArchiveListing listing;
  std::string pattern;       // UTF-8, "/" between levels
  bool wholePath = false;    // the pattern names levels: match whole paths
  std::size_t next = 0;
};

OpenArchives::OpenArchives() = default;
OpenArchives::~OpenArchives() = default;

HARC OpenArchives::Open(ArchiveListing listing) {
  try {
    auto archive = std::make_unique<Archive>();
    archive->listing = std::move(listing);
    for (std::string& path : archive->listing.paths) path = ToSlashes(path);
    archive->listing.paths.resize(archive->listing.members.size());
    std::lock_guard<std::mutex> lock(mutex_);
    open_.push_back(std::move(archive));
    return open_.back().get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

OpenArchives::Archive* OpenArchives::Lookup(HARC harc) {
  for (const std::unique_ptr<Archive>& a : open_)
    if (a.get() == harc) return a.get();
  return nullptr;
}

int OpenArchives::FindFrom(Archive& a, ArchiveInfo* info) {
  while (a.next < a.listing.members.size()) {
    const std::size_t i = a.next++;
    const std::string& path = a.listing.paths[i];
    const std::size_t slash = path.rfind('/');
    const std::string_view subject =
        a.wholePath || slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
    if (!WildcardMatch(a.pattern, subject)) continue;
    if (info) *info = a.listing.members[i];
    return 0;
  }
  return -1;
}

int OpenArchives::FindFirst(HARC harc, const char* wildName, ArchiveInfo* info) {
  std::lock_guard<std::mutex> lock(mutex_);
  Archive* a = Lookup(harc);
  if (!a) return -1;
  std::string pattern = "*.*";
  if (wildName && *wildName && !cp932::ToUtf8(wildName, pattern)) {
    a->next = a->listing.members.size();  // no name matches a pattern that is no text
    return -1;
  }
  a->pattern = ToSlashes(pattern);
  a->wholePath = a->pattern.find('/') != std::string::npos;
  a->next = 0;
  return FindFrom(*a, info);
}

int OpenArchives::FindNext(HARC harc, ArchiveInfo* info) {
  std::lock_guard<std::mutex> lock(mutex_);
  Archive* a = Lookup(harc);
  return a ? FindFrom(*a, info) : -1;
}

int OpenArchives::Close(HARC harc) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = open_.begin(); it != open_.end(); ++it) {
    if (it->get() == harc) {
      open_.erase(it);
      return 0;
    }
  }
  return -1;
}

}  // namespace arc
