// The three corpora of the LHA benchmark, each 15-30 MB in hundreds of
// files, built in a folder from what a Debian 12 machine with the project's
// packages has and from data generated with fixed seeds:
//   text      headers, documentation, the project's sources, Shift-JIS prose;
//   package   a script package: Shift-JIS scripts, 24-bit BMPs, 16-bit WAVs;
//   binaries  shared libraries and executables.
// The same machine gives the same corpus: file lists are sorted and picked
// with fixed seeds. A missing source fails the build with its name, never a
// smaller corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lhabench {

struct Corpus {
  std::string key;  // "text", "package" or "binaries"
  std::string title;
  std::string dir;                       // the files, all in this one folder
  std::vector<std::string> files;        // names in `dir`, sorted
  std::vector<std::string> composition;  // one line per source: what and how much
  std::uint64_t bytes = 0;
};

const std::vector<std::string>& CorpusKeys();

// Which part of its corpus a file belongs to ("headers", "backgrounds",
// "executables", ...), from the prefix of its name.
std::string CorpusPart(const std::string& fileName);

// The corpus `key` below `root` (in `root`/`key`). When the folder holds
// that corpus already, as its manifest lists it, it is used as it is;
// otherwise it is built anew. Throws std::runtime_error naming a source
// or tool that is missing.
Corpus LoadOrBuildCorpus(const std::string& root, const std::string& key);

}  // namespace lhabench
