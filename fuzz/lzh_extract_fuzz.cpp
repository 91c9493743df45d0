// Extraction of any archive into a scratch folder with paths, as the
// self-extractor does: nothing may land outside the output folder and no
// temporary file may be left behind, whatever the archive holds.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/lha/command_parts.h"
#include "archive/lha/lha_archive.h"
#include "archive/lha/lha_commands.h"
#include "fuzz_support.h"

namespace {

std::string LastLevel(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Every name a member path gives to something on disk: each of its levels
// (folders made on the way too) and, for a link stored as "link|target",
// the link's levels and the target's.
void AddLevels(std::string path, std::vector<std::string>& names) {
  std::replace(path.begin(), path.end(), '|', '/');
  for (std::string& level : lha::SplitSlashes(path)) names.push_back(std::move(level));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string box = fuzzsupport::Scratch() + "/box";
  fuzzsupport::RemoveTree(box);
  ::mkdir(box.c_str(), 0755);
  ::mkdir((box + "/out").c_str(), 0755);
  const std::string archive = box + "/a.lzh";
  fuzzsupport::WriteBytes(archive, data, size);

  std::string report;
  lha::ExtractAll(archive, box + "/out/", true, nullptr, report);

  // Member names may themselves look like temporary files; those are no
  // leftovers, nor are the folders on their paths. A damaged header ends the
  // listing but keeps (and extracts) the members before it, so they count
  // whatever Open returns.
  std::vector<std::string> memberNames;
  lha::ArchiveReader reader;
  reader.Open(archive);
  for (const lha::Entry& e : reader.entries()) AddLevels(e.path, memberNames);
  std::vector<std::string> found;
  fuzzsupport::ListTree(box, "", found);
  for (const std::string& p : found) {
    if (p != "/a.lzh" && p != "/out" && p.rfind("/out/", 0) != 0) fuzzsupport::Fail("written outside the output folder:", p);
    const std::string leaf = LastLevel(p);
    if (leaf.rfind(".lha-", 0) == 0) {
      const bool member = std::find(memberNames.begin(), memberNames.end(), leaf) != memberNames.end();
      if (!member) fuzzsupport::Fail("temporary file left:", p);
    }
  }
  // Nothing beside the box either.
  std::vector<std::string> top;
  fuzzsupport::ListTree(fuzzsupport::Scratch(), "", top);
  for (const std::string& p : top) {
    if (p != "/box" && p.rfind("/box/", 0) != 0) fuzzsupport::Fail("written beside the output folder:", p);
  }
  return 0;
}
