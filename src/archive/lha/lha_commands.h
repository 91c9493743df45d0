// The command interpreter behind Unlha(): one command line in, a report
// and a result code out.
//
// Commands (the first word; switches may stand anywhere; a word ending in
// "\" or "/" is the base or output directory; "\" and "/" both separate):
//   a archive [basedir\] names...   add or replace members
//   d archive names...              delete members (absent names are no error)
//   e archive [outdir\] [names...]  extract (with paths when -x is given)
//   x archive [outdir\] [names...]  extract with paths
//   s archivebase [outdir\]         make outdir\archivebase.exe from archivebase.lzh
//   l / v archive                   list members
//   t archive                       test every member's CRC
// Switches: -x[0|1] store/extract paths relative to the base directory;
// -r[n] recurse into subdirectories (with -x, directories become members);
// -o5, -o6, -o7 write -lh5- (default), -lh6- or -lh7-; -f[1] packs in the
// fast mode (the quick parse with blocks cut where new trees pay for
// themselves: a few per cent larger, several times less processor time;
// -f0 the default, the smallest output); -a[1] include hidden (dot) files;
// -j..., -g..., -w... are accepted and need nothing here.
#pragma once

#include <string>

namespace lha {

struct CommandEnv {
  // The self-extractor stub that the "s" command puts in front of the archive.
  std::string stubPath;
};

// Runs one command line given in UTF-8. Appends a UTF-8 report (lines ended
// by CR LF) and returns 0 or a result code of result_codes.h.
int RunCommand(const std::string& utf8Line, const CommandEnv& env, std::string& report);

// Extracts every member of the archive at `archivePath` into `outDir`, with
// paths, refusing members whose paths are absolute or climb out of
// `outDir`. Members for which `skip` returns true are left out. Returns 0
// or the first failure's result code (the other members are still tried).
int ExtractAll(const std::string& archivePath, const std::string& outDir, bool withPaths,
               bool (*skip)(const std::string& utf8Path), std::string& report);

}  // namespace lha
