// Hand-made archives for the tests: members with any name, header level 0,
// 1 or 2, stored (-lh0-) data, so that tests can build what no honest
// writer would (escaping paths, damaged headers).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "archive/lha/crc16.h"
#include "archive/lha/lha_header.h"

namespace lhatest {

struct CraftMember {
  std::string name;  // code page 932 bytes, "\" between levels
  std::string data;
  int level = 2;
  bool directory = false;
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
    if (m.level == 2) {
      lha::Member h;
      std::memcpy(h.method, m.directory ? "-lhd-" : "-lh0-", 6);
      h.name = m.name;
      h.packedSize = m.data.size();
      h.originalSize = m.data.size();
      h.crc = crc;
      h.mtime = unixTime;
      const auto bytes = lha::BuildLevel2Header(h);
      out.append(bytes.begin(), bytes.end());
      out += m.data;
      continue;
    }
    // Levels 0 and 1: base header with the name and a checksum.
    std::string b;
    b += m.directory ? "-lhd-" : "-lh0-";
    const uint32_t dos = lha::UnixToDosTime(unixTime);
    std::string ext;
    if (m.level == 1) {
      // The file name goes into the base header; no extension but the end.
      Put16(ext, 0);
    }
    Put32(b, static_cast<uint32_t>(m.data.size() + (m.level == 1 ? 0 : 0)));
    Put32(b, static_cast<uint32_t>(m.data.size()));
    Put32(b, dos);
    b += static_cast<char>(m.level == 1 ? 0x20 : 0x20);
    b += static_cast<char>(m.level);
    b += static_cast<char>(m.name.size());
    b += m.name;
    Put16(b, crc);
    if (m.level == 1) {
      b += 'M';
      Put16(b, 0);  // no extended headers
    }
    uint8_t sum = 0;
    for (char c : b) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    out += static_cast<char>(b.size());
    out += static_cast<char>(sum);
    out += b;
    out += m.data;
  }
  out += '\0';
  return out;
}

}  // namespace lhatest
