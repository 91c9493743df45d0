// Finding existing files and directories for the archiver libraries the way
// Windows finds them: names match without regard to letter case.
//
// Paths here are UTF-8 with "/" between levels (turn "\" into "/" first,
// ToSlashes). Each level is matched exactly when an entry of that name
// exists, otherwise against the directory's entries without regard to ASCII
// letter case (the first such entry in name order), as the program's own
// resolver does for every lookup of an existing entry.
#pragma once

#include <string>

namespace arc {

// The existing entry that `path` names, with every level spelt as on disk
// ("" means the current directory and resolves to ""). False when a level
// does not exist.
bool ResolveExisting(const std::string& path, std::string& real);

// The path to use when creating `path`: an existing entry whose name differs
// only in case is returned as it exists; otherwise the resolved parent
// directory with the last level as given. False when the parent directory
// does not exist.
bool ResolveForCreate(const std::string& path, std::string& real);

}  // namespace arc
