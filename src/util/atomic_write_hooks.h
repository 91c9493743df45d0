// A seam for tests of the file replacement: the rename call can be swapped
// for one that fails on demand, to reach the paths that put files back.
#pragma once

namespace lm {

using RenameFunction = int (*)(const char* from, const char* to);

// Makes the file replacement rename through `fn` (nullptr: the system's
// rename) and returns the function used before.
RenameFunction SetRenameFunctionForTests(RenameFunction fn);

}  // namespace lm
