// Finding existing files and directories the way Windows finds them: names
// match without regard to letter case (the rule of name_fold.h).
//
// Paths here are UTF-8 bytes with "/" between levels (turn "\" into "/"
// first). Each level is matched exactly when an entry of that name exists,
// otherwise against the directory's entries by folded name; of several
// entries that differ only in case the first in byte order wins. No Qt: the
// archiver libraries and the self-extractor use this directly, the program
// through util/path_resolver.
#pragma once

#include <string>
#include <unordered_map>

namespace pathfind {

// `dir` and `name` with one "/" between them ("" is the current directory).
std::string Join(const std::string& dir, const std::string& name);

// The entry of directory `dir` ("" = current) that stands for `name`, as
// spelt on disk. False when there is none.
bool FindEntry(const std::string& dir, const std::string& name, std::string& found);

// The existing entry that `path` names, with every level spelt as on disk
// ("" stays ""; "." and ".." levels are kept as written). False when a level
// does not exist.
bool ResolveExisting(const std::string& path, std::string& real);

// The path to use when creating `path`: an existing entry whose name differs
// only in case is returned as it exists; otherwise the resolved parent
// directory with the last level as given. False when the parent directory
// does not exist.
bool ResolveForCreate(const std::string& path, std::string& real);

// FindEntry for many names in a few directories, as when extracting or
// adding thousands of files: each directory is listed at most once and its
// names kept in a hash table by folded name, so a command costs time linear
// in its files. Entries the caller creates are told with Added(); entries
// that others create meanwhile are still found by their exact name.
class FolderIndex {
 public:
  bool Find(const std::string& dir, const std::string& name, std::string& found);
  void Added(const std::string& dir, const std::string& name);
  // How many directories were listed (for tests of the linear cost).
  std::size_t listings() const { return listings_; }

 private:
  using Names = std::unordered_map<std::string, std::string>;  // folded name -> first name on disk
  Names& Listing(const std::string& dir);

  std::unordered_map<std::string, Names> dirs_;
  std::size_t listings_ = 0;
};

}  // namespace pathfind
