#include "archive/lha/lha_commands.h"

#include <algorithm>
#include <cctype>

#include "archive/common/result_codes.h"
#include "archive/lha/command_parts.h"
#include "archive/lha/lha_archive.h"
#include "util/pathfind/path_find.h"
#include "util/text/visible_text.h"

namespace lha {

void ParseSwitch(const std::string& sw, Switches& s) {
  std::size_t i = 1;
  while (i < sw.size()) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(sw[i++])));
    // Option groups whose letters are not single switches: confirmation
    // settings (-jyc, -jyo), self-extractor settings (-gw4gx2), work folder.
    if (c == 'j' || c == 'g' || c == 'w') return;
    int value = -1;
    while (i < sw.size() && std::isdigit(static_cast<unsigned char>(sw[i]))) {
      value = std::min(9999, (value < 0 ? 0 : value) * 10 + (sw[i] - '0'));
      ++i;
    }
    switch (c) {
      case 'x': s.x = value < 0 ? 1 : value; break;
      case 'r': s.r = value < 0 ? 1 : value; break;
      case 'a': s.hidden = value != 0; break;
      case 'f': s.fast = value != 0; break;
      case 'o':
        if (value == 5) s.dictionaryBits = 13;
        if (value == 6) s.dictionaryBits = 15;
        if (value == 7) s.dictionaryBits = 16;
        break;
      default: break;  // other switches of the classic command set change nothing here
    }
  }
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::string AsciiLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> SplitSlashes(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '/') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  parts.push_back(cur);
  return parts;
}

std::string ArchivePath(const std::string& word, bool addExtension) {
  std::string w = arc::ToSlashes(word);
  const std::size_t slash = w.rfind('/');
  const std::string leaf = slash == std::string::npos ? w : w.substr(slash + 1);
  if (addExtension && leaf.find('.') == std::string::npos) w += ".lzh";
  std::string real;
  if (pathfind::ResolveExisting(w, real)) return real;
  // A new archive: resolve its directory.
  const std::size_t s2 = w.rfind('/');
  if (s2 != std::string::npos && s2 > 0) {
    std::string dir;
    if (pathfind::ResolveExisting(w.substr(0, s2), dir)) return pathfind::Join(dir, w.substr(s2 + 1));
  }
  return w;
}

Words Classify(const arc::ParsedCommand& cmd) {
  Words w;
  for (std::size_t i = 0; i < cmd.words.size(); ++i) {
    const std::string& word = cmd.words[i];
    if (i == 0) {
      w.command = AsciiLower(word);
    } else if (i == 1) {
      w.archive = word;
    } else if (!w.haveDir && arc::EndsWithSeparator(word)) {
      w.dir = arc::ToSlashes(word);
      w.haveDir = true;
    } else {
      w.names.push_back(word);
    }
  }
  return w;
}

bool NameMatches(const std::string& pattern, const std::string& memberPath) {
  const std::string p = arc::ToSlashes(pattern);
  if (p.find('/') != std::string::npos) {
    return HasWildcard(p) ? arc::WildcardMatch(p, memberPath) : SameMemberName(p, memberPath);
  }
  const std::size_t slash = memberPath.rfind('/');
  const std::string leaf = slash == std::string::npos ? memberPath : memberPath.substr(slash + 1);
  if (HasWildcard(p)) return arc::WildcardMatch(p, leaf);
  return SameMemberName(p, memberPath);
}

int OpenForReading(ArchiveReader& reader, const std::string& archive, int& damage, std::string& report) {
  damage = 0;
  const int rc = reader.Open(archive);
  if (rc == 0) return 0;
  const bool damagedLater = rc == ARC_ERROR_HEADER_BROKEN || rc == ARC_ERROR_HEADER_CRC ||
                            rc == ARC_ERROR_CANNOT_READ || rc == ARC_ERROR_VERSION;
  if (!damagedLater || reader.entries().empty()) {
    report += "cannot read the archive " + archive + "\r\n";
    return rc;
  }
  const Entry& last = reader.entries().back();
  report += "damaged header at offset " + std::to_string(last.m.dataOffset + last.m.packedSize) + " after " +
            visible::Escape(last.path) + ": only the members before it are read\r\n";
  damage = rc;
  return 0;
}

namespace {

int CommandDelete(const Words& w, std::string& report) {
  const std::string archive = ArchivePath(w.archive, true);
  ArchiveReader reader;
  if (int rc = reader.Open(archive)) {
    report += "cannot read the archive " + archive + "\r\n";
    return rc;
  }
  std::vector<std::string> names = w.names;
  if (w.haveDir) names.push_back(w.dir);
  std::vector<bool> keep(reader.entries().size(), true);
  int removed = 0;
  for (std::size_t i = 0; i < keep.size(); ++i) {
    const std::string& path = reader.entries()[i].path;
    for (const std::string& n : names) {
      std::string p = arc::ToSlashes(n);
      while (p.size() > 1 && p.back() == '/') p.pop_back();
      if (HasWildcard(p) ? arc::WildcardMatch(p, path) : SameMemberName(p, path)) {
        keep[i] = false;
        ++removed;
        report += "deleted " + visible::Escape(path) + "\r\n";
        break;
      }
    }
  }
  if (removed == 0) return 0;
  std::string failed;
  return WriteArchive(archive, &reader, keep, {}, WriteOptions{}, report, failed);
}

int CommandList(const Words& w, bool test, std::string& report) {
  const std::string archive = ArchivePath(w.archive, true);
  ArchiveReader reader;
  int damage = 0;
  if (int rc = OpenForReading(reader, archive, damage, report)) return rc;
  int first = 0;
  for (const Entry& e : reader.entries()) {
    // The method and the name come from the archive: escaped, so that no
    // byte of them can end the line or forge another one.
    std::string line = visible::Escape(std::string_view(e.m.method, 5)) + " " +
                       std::to_string(e.m.originalSize) + " " + std::to_string(e.m.packedSize) + " " +
                       visible::Escape(e.path);
    if (test) {
      const int rc = reader.Extract(e, [](const uint8_t*, std::size_t) { return true; });
      line += rc ? " ERROR" : " OK";
      if (rc && !first) first = rc;
    }
    report += line + "\r\n";
  }
  return first ? first : damage;
}

}  // namespace

int RunCommand(const std::string& utf8Line, const CommandEnv& env, std::string& report) {
  const arc::ParsedCommand cmd = arc::ParseCommand(utf8Line);
  Switches sw;
  for (const std::string& s : cmd.switches) ParseSwitch(s, sw);
  const Words w = Classify(cmd);
  if (w.command.empty()) {
    report += "no command\r\n";
    return ARC_ERROR_COMMAND_NAME;
  }
  if (w.archive.empty()) {
    report += "no archive named\r\n";
    return ARC_ERROR_NOT_ARC_FILE;
  }
  if (w.command == "a" || w.command == "u") return CommandAdd(w, sw, report);
  if (w.command == "d") return CommandDelete(w, report);
  if (w.command == "e") return CommandExtract(w, sw, false, report);
  if (w.command == "x") return CommandExtract(w, sw, true, report);
  if (w.command == "s") return CommandSfx(w, env, report);
  if (w.command == "l" || w.command == "v") return CommandList(w, false, report);
  if (w.command == "t") return CommandList(w, true, report);
  report += "unknown command: " + w.command + "\r\n";
  return ARC_ERROR_COMMAND_NAME;
}

}  // namespace lha
