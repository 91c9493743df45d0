// What the commands of lha_commands.h share: the switches, the words of a
// command line and the naming of the archive. Internal to the library.
#pragma once

#include <string>
#include <vector>

#include "archive/common/command_line.h"
#include "archive/lha/lha_archive.h"
#include "archive/lha/lha_commands.h"

namespace lha {

struct Switches {
  int x = -1;  // -1 not given
  int r = 0;
  int dictionaryBits = 13;
  bool hidden = false;
  bool fast = false;  // -f: the fast mode of the encoder
};

// Reads one switch word ("-x1", "-r2", "-o7", "-a", ...) into `s`.
void ParseSwitch(const std::string& sw, Switches& s);

struct Words {
  std::string command;
  std::string archive;
  std::string dir;  // base or output directory, "" when none
  bool haveDir = false;
  std::vector<std::string> names;
};

Words Classify(const arc::ParsedCommand& cmd);

bool HasWildcard(const std::string& s);
std::string AsciiLower(std::string s);
std::vector<std::string> SplitSlashes(const std::string& path);

// The archive named in a command: looked up without regard to case when it
// exists; ".lzh" is added to a name without extension when `addExtension`.
std::string ArchivePath(const std::string& word, bool addExtension);

// Opens an archive whose members are to be read (listed, tested,
// extracted). Members before a damaged header stay readable: then 0 is
// returned with the damage's code in `damage` and a line in the report that
// says where the archive is damaged. Otherwise the failure's code.
int OpenForReading(ArchiveReader& reader, const std::string& archive, int& damage, std::string& report);

int CommandAdd(const Words& w, const Switches& sw, std::string& report);
int CommandExtract(const Words& w, const Switches& sw, bool alwaysPaths, std::string& report);
int CommandSfx(const Words& w, const CommandEnv& env, std::string& report);

// True when the command's name `pattern` selects the member `memberPath`.
bool NameMatches(const std::string& pattern, const std::string& memberPath);

}  // namespace lha
