// Hand-made archives for the tests: members with any name, header level 0,
// 1, 2 or 3, stored (-lh0-) or hand-packed data, so that tests can build what no honest
// writer would (escaping paths, damaged headers).
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "archive/lha/crc16.h"
#include "archive/lha/lha_header.h"

namespace lhatest {

struct CraftMember {
  CraftMember() = default;
  // The fields in order, {"name", "data", level, directory, method,
  // extension}; the later ones are set by name.
  CraftMember(std::string n, std::string d = {}, int l = 2, bool dir = false, std::string meth = {},
              std::string ext = {})
      : name(std::move(n)), data(std::move(d)), level(l), directory(dir), method(std::move(meth)),
        extension(std::move(ext)) {}

  std::string name;  // code page 932 bytes, "\" between levels
  std::string data;
  int level = 2;
  bool directory = false;
  std::string method;  // "" for -lh0- (-lhd- for a directory)
  std::string extension;  // one more level-2 extension: type byte and data
  // Packed bytes written in place of `data` (whose size and CRC the header
  // still gives): data hand-encoded for `method`.
  std::string packed;
  // Level 0: LHa for UNIX's extension after the CRC ('U', a minor version,
  // this Unix time, mode, uid, gid); 0 for none.
  uint32_t unixStamp = 0;
  // Levels 0 and 1: the MS-DOS attribute byte.
  uint8_t attribute = 0x20;
  // Level 0: the header ends with the name, without the CRC field.
  bool noCrc = false;
};

inline void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

inline std::string CraftArchive(const std::vector<CraftMember>& members, uint32_t unixTime = 1700000000) {
  std::string out;
  for (const CraftMember& m : members) {
    const uint16_t crc = lha::Crc16(m.data.data(), m.data.size());
    const std::string method = !m.method.empty() ? m.method : m.directory ? "-lhd-" : "-lh0-";
    const std::string& body = m.packed.empty() ? m.data : m.packed;
    if (m.level == 2 || m.level == 3) {
      // Level 2 keeps the whole name in the file-name extension (a
      // directory in the directory extension), exactly as given: no writer
      // of ours would produce an absolute or climbing name. Level 3 puts the
      // folders in the directory extension, 0xFF after each, as its writers
      // do, and has 32-bit sizes: the header's total at 24.
      const bool three = m.level == 3;
      std::string dir = m.directory ? m.name : "", file = m.directory ? "" : m.name;
      if (three && !m.directory && m.name.rfind('\\') != std::string::npos) {
        dir = m.name.substr(0, m.name.rfind('\\'));
        file = m.name.substr(m.name.rfind('\\') + 1);
      }
      if (three) {
        for (char& c : dir) c = c == '\\' ? '\xff' : c;
      }
      std::vector<std::string> exts = {std::string("\0\0\0", 3)};
      if (!m.directory) exts.push_back("\x01" + file);
      if (!dir.empty()) exts.push_back("\x02" + dir + "\xff");
      if (!m.extension.empty()) exts.push_back(m.extension);
      const auto putSize = [&](std::string& h, std::size_t v) {
        if (three) {
          Put32(h, static_cast<uint32_t>(v));
        } else {
          Put16(h, static_cast<uint32_t>(v));
        }
      };
      std::string h;
      Put16(h, three ? 4 : 0);
      h += method;
      Put32(h, static_cast<uint32_t>(body.size()));
      Put32(h, static_cast<uint32_t>(m.data.size()));
      Put32(h, unixTime);
      h += '\x20';
      h += static_cast<char>(m.level);
      Put16(h, crc);
      h += three ? 'U' : 'M';
      if (three) Put32(h, 0);  // total, filled in below
      std::size_t crcAt = 0;
      for (const std::string& e : exts) {
        putSize(h, e.size() + (three ? 4 : 2));
        if (e[0] == '\0') crcAt = h.size() + 1;
        h += e;
      }
      putSize(h, 0);
      if (three) {
        for (int i = 0; i < 4; ++i) h[24 + i] = static_cast<char>(h.size() >> (8 * i));
      } else {
        if ((h.size() & 0xFF) == 0) h += '\0';
        h[0] = static_cast<char>(h.size() & 0xFF);
        h[1] = static_cast<char>(h.size() >> 8);
      }
      const uint16_t hc = lha::Crc16(h.data(), h.size());
      h[crcAt] = static_cast<char>(hc & 0xFF);
      h[crcAt + 1] = static_cast<char>(hc >> 8);
      out += h;
      out += body;
      continue;
    }
    // Levels 0 and 1: base header with the name and a checksum.
    std::string b;
    b += method;
    const uint32_t dos = lha::UnixToDosTime(unixTime);
    Put32(b, static_cast<uint32_t>(body.size()));
    Put32(b, static_cast<uint32_t>(m.data.size()));
    Put32(b, dos);
    b += static_cast<char>(m.attribute);
    b += static_cast<char>(m.level);
    b += static_cast<char>(m.name.size());
    b += m.name;
    if (!m.noCrc) Put16(b, crc);
    if (m.level == 0 && m.unixStamp != 0) {
      b += 'U';
      b += '\0';
      Put32(b, m.unixStamp);
      Put16(b, 0644);
      Put16(b, 1000);
      Put16(b, 1000);
    }
    if (m.level == 1) {
      b += 'M';
      Put16(b, 0);  // no extended headers
    }
    uint8_t sum = 0;
    for (char c : b) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    out += static_cast<char>(b.size());
    out += static_cast<char>(sum);
    out += b;
    out += body;
  }
  out += '\0';
  return out;
}

}  // namespace lhatest
