#include "archive/lha/lha_header.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "archive/common/result_codes.h"
#include "archive/lha/crc16.h"

namespace lha {
namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

bool ValidMethod(const uint8_t* p) { return p[0] == '-' && p[4] == '-'; }

// Extended headers of levels 1 and 2: each is type, data, size of the next.
struct ExtResult {
  std::string fileName;
  bool haveFileName = false;
  std::string dirName;
  bool haveUnixTime = false;
  uint32_t unixTime = 0;
  bool haveCrcField = false;
  uint64_t crcFieldOffset = 0;  // from the start of the header
  uint16_t headerCrc = 0;
  bool largeSize = false;
  std::string utf16File, utf16Dir;  // UTF-16LE bytes of the extensions 0x44 and 0x45
  bool haveUtf16File = false, haveUtf16Dir = false;
};

// One extended header: `e` points at its type byte, `size` counts type,
// data and the next-size field.
void ParseExtension(const uint8_t* e, std::size_t size, std::size_t offsetInHeader, Member& m, ExtResult& ext) {
  const uint8_t type = e[0];
  const uint8_t* data = e + 1;
  const std::size_t dataLen = size - 3;
  switch (type) {
    case 0x00:
      if (dataLen >= 2) {
        ext.haveCrcField = true;
        ext.crcFieldOffset = offsetInHeader + 1;
        ext.headerCrc = Get16(data);
      }
      break;
    case 0x01:
      ext.fileName.assign(reinterpret_cast<const char*>(data), dataLen);
      ext.haveFileName = true;
      break;
    case 0x3F:  // a comment of its own: not part of the name
      break;
    case 0x02:
      ext.dirName.assign(reinterpret_cast<const char*>(data), dataLen);
      break;
    case 0x40:
      if (dataLen >= 2) m.dosAttribute = Get16(data);
      break;
    case 0x42:
      ext.largeSize = true;
      break;
    case 0x44:
      ext.utf16File.assign(reinterpret_cast<const char*>(data), dataLen);
      ext.haveUtf16File = true;
      break;
    case 0x45:
      ext.utf16Dir.assign(reinterpret_cast<const char*>(data), dataLen);
      ext.haveUtf16Dir = true;
      break;
    case 0x50:
      if (dataLen >= 2) {
        m.hasUnixMode = true;
        m.unixMode = Get16(data);
      }
      break;
    case 0x54:
      if (dataLen >= 4) {
        ext.haveUnixTime = true;
        ext.unixTime = Get32(data);
      }
      break;
    default:
      break;
  }
}

// True when the last byte of `s` is a separator of its own, not the second
// byte of a double-byte character.
bool EndsWithSeparatorByte(const std::string& s) {
  if (s.empty()) return false;
  const unsigned char last = static_cast<unsigned char>(s.back());
  if (last == 0xFF || last == '/') return true;
  if (last != '\\') return false;
  std::size_t i = 0;
  while (i + 1 < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    i += ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
  }
  return i == s.size() - 1;
}

// UTF-16LE to UTF-8, up to a NUL; separators (U+FFFF, "\\", "/") become
// "/". An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::string& bytes) {
  std::string out;
  const std::size_t n = bytes.size() / 2;
  auto unit = [&](std::size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  };
  for (std::size_t i = 0; i < n; ++i) {
    uint32_t c = unit(i);
    if (c == 0) break;
    if (c == 0xFFFF || c == '\\' || c == '/') {
      out += '/';
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A stored name part as UTF-8 with "/" between levels, when it is ASCII.
bool AsciiPart(const std::string& stored, std::string& out) {
  out.clear();
  for (char c : stored) {
    const uint8_t b = static_cast<uint8_t>(c);
    if (b == 0) break;
    if (b == 0xFF || c == '\\') {
      out += '/';
    } else if (b >= 0x80) {
      return false;
    } else {
      out += c;
    }
  }
  return true;
}

// The UTF-8 path of the UTF-16 name extensions; a part that has no UTF-16
// form is taken from the stored name when that is ASCII. Empty when the
// header has no UTF-16 name or a part cannot be known.
std::string Utf8NameOf(const ExtResult& ext, const std::string& storedFile) {
  if (!ext.haveUtf16File && !ext.haveUtf16Dir) return {};
  std::string dir, file;
  if (ext.haveUtf16Dir) {
    dir = Utf16ToUtf8(ext.utf16Dir);
  } else if (!AsciiPart(ext.dirName, dir)) {
    return {};
  }
  if (ext.haveUtf16File) {
    file = Utf16ToUtf8(ext.utf16File);
  } else if (!AsciiPart(storedFile, file)) {
    return {};
  }
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  while (!file.empty() && file.back() == '/') file.pop_back();
  if (dir.empty()) return file;
  if (file.empty()) return dir;
  return dir + "/" + file;
}

std::string StripTrailingSeparators(std::string s) {
  while (EndsWithSeparatorByte(s)) s.pop_back();
  return s;
}

// A name field up to its first NUL: some writers (Amiga tools) put a
// comment after the name, separated by a NUL.
std::string NameBeforeComment(std::string s) {
  const std::size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}

// Level 0 and 1 names: LHa for UNIX separates levels by 0xFF there.
std::string WithBackslashes(std::string s) {
  for (char& c : s) {
    if (static_cast<uint8_t>(c) == 0xFF) c = '\\';
  }
  return s;
}

// Directory extension: levels separated by 0xFF (some writers use "\" or
// "/"), usually with a trailing separator.
std::string JoinPath(const std::string& dir, const std::string& file) {
  std::string d;
  for (char c : dir) d.push_back(static_cast<uint8_t>(c) == 0xFF ? '\\' : c);
  d = StripTrailingSeparators(d);
  if (d.empty()) return file;
  if (file.empty()) return d;
  return d + "\\" + file;
}

// Levels 2 and 3: the whole header is extensions behind a fixed part. Level
// 2 gives its total at 0 and sizes in two bytes; level 3 (a 4 at 0) its
// total at 24 and sizes in four bytes.
int ReadLongHeader(const FileSource& src, uint64_t offset, uint64_t fileSize, const uint8_t* base, std::size_t got,
                   int level, Member& m, ExtResult& ext) {
  const std::size_t width = level == 2 ? 2 : 4;
  const std::size_t fixed = level == 2 ? 26 : 32;
  if (got < fixed || (level == 3 && Get16(base) != 4)) return ARC_ERROR_HEADER_BROKEN;
  const uint64_t total = level == 2 ? Get16(base) : Get32(base + 24);
  if (total < fixed || total > (1u << 20) || offset + total > fileSize) return ARC_ERROR_HEADER_BROKEN;
  const auto sizeAt = [&](const uint8_t* p) -> uint64_t { return width == 2 ? Get16(p) : Get32(p); };
  std::vector<uint8_t> hdr(static_cast<std::size_t>(total));
  if (!src.ReadAt(offset, hdr.data(), hdr.size())) return ARC_ERROR_CANNOT_READ;
  m.packedSize = Get32(hdr.data() + 7);
  m.mtime = static_cast<int64_t>(Get32(hdr.data() + 15));
  m.crc = Get16(hdr.data() + 21);
  m.osId = hdr[23];
  std::size_t pos = fixed;
  uint64_t size = sizeAt(hdr.data() + fixed - width);
  while (size != 0) {
    if (size < 1 + width || pos + size > hdr.size()) return ARC_ERROR_HEADER_BROKEN;
    // ParseExtension takes the size as if its size field were two bytes.
    ParseExtension(hdr.data() + pos, static_cast<std::size_t>(size - (width - 2)), pos, m, ext);
    pos += static_cast<std::size_t>(size);
    size = sizeAt(hdr.data() + pos - width);
  }
  if (ext.haveCrcField) {
    hdr[ext.crcFieldOffset] = 0;
    hdr[ext.crcFieldOffset + 1] = 0;
    if (Crc16(hdr.data(), hdr.size()) != ext.headerCrc) return ARC_ERROR_HEADER_CRC;
  }
  m.headerLength = total;
  m.name = JoinPath(ext.dirName, NameBeforeComment(ext.fileName));
  return 0;
}

}  // namespace

bool FileSource::ReadAt(uint64_t offset, void* buf, std::size_t n) const {
  return ReadSome(offset, buf, n) == n;
}

std::size_t FileSource::ReadSome(uint64_t offset, void* buf, std::size_t n) const {
  if (fseeko(f_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
  return std::fread(buf, 1, n, f_);
}

int ReadHeader(const FileSource& src, uint64_t offset, uint64_t fileSize, Member& m) {
  m = Member{};
  m.headerOffset = offset;
  if (offset >= fileSize) return 1;
  uint8_t base[256 + 2];
  const std::size_t got = src.ReadSome(offset, base, std::min<uint64_t>(sizeof(base), fileSize - offset));
  if (got == 0) return ARC_ERROR_CANNOT_READ;
  if (base[0] == 0) return 1;
  if (got < 22) return ARC_ERROR_HEADER_BROKEN;
  const int level = base[20];
  if (!ValidMethod(base + 2)) return ARC_ERROR_HEADER_BROKEN;
  std::memcpy(m.method, base + 2, 5);
  m.method[5] = 0;
  m.level = level;
  m.originalSize = Get32(base + 11);
  ExtResult ext;
  std::string storedFile;  // the file part of the name as stored

  if (level == 0 || level == 1) {
    const std::size_t baseLen = static_cast<std::size_t>(base[0]) + 2;
    if (baseLen > got || baseLen < 22 || (level == 1 && baseLen < 24)) return ARC_ERROR_HEADER_BROKEN;
    uint8_t sum = 0;
    for (std::size_t i = 2; i < baseLen; ++i) sum = static_cast<uint8_t>(sum + base[i]);
    if (sum != base[1]) return ARC_ERROR_HEADER_CRC;
    const std::size_t nameLen = base[21];
    if (22 + nameLen > baseLen) return ARC_ERROR_HEADER_BROKEN;
    const std::string name =
        WithBackslashes(NameBeforeComment(std::string(reinterpret_cast<const char*>(base + 22), nameLen)));
    m.mtime = DosToUnixTime(Get32(base + 15));
    m.dosAttribute = base[19];
    uint64_t packed = Get32(base + 7);
    if (22 + nameLen + 2 <= baseLen) {
      m.crc = Get16(base + 22 + nameLen);
    } else {
      m.hasCrc = false;  // a level-0 header that ends with the name
    }
    uint64_t extTotal = 0;
    if (level == 1) {
      if (22 + nameLen + 5 > baseLen) return ARC_ERROR_HEADER_BROKEN;
      m.osId = base[22 + nameLen + 2];
      uint16_t size = Get16(base + baseLen - 2);
      uint64_t pos = offset + baseLen;
      std::vector<uint8_t> e;
      while (size != 0) {
        if (size < 3 || pos + size > fileSize) return ARC_ERROR_HEADER_BROKEN;
        e.resize(size);
        if (!src.ReadAt(pos, e.data(), size)) return ARC_ERROR_CANNOT_READ;
        ParseExtension(e.data(), size, 0, m, ext);
        extTotal += size;
        pos += size;
        size = Get16(e.data() + size - 2);
      }
      if (extTotal > packed) return ARC_ERROR_HEADER_BROKEN;
      packed -= extTotal;
      ext.haveCrcField = false;  // level 1 headers are covered by the checksum only
    } else if (22 + nameLen + 2 < baseLen && base[22 + nameLen + 2] == 'U') {
      // LHa for UNIX's level-0 extension: 'U', a minor version, the Unix
      // time, mode, uid and gid.
      m.osId = 'U';
      const uint8_t* u = base + 22 + nameLen + 2;
      if (22 + nameLen + 2 + 12 <= baseLen) {
        ext.haveUnixTime = true;
        ext.unixTime = Get32(u + 2);
        m.hasUnixMode = true;
        m.unixMode = Get16(u + 6);
      }
    }
    m.headerLength = baseLen + extTotal;
    m.packedSize = packed;
    storedFile = ext.haveFileName ? WithBackslashes(NameBeforeComment(ext.fileName)) : name;
    m.name = JoinPath(ext.dirName, storedFile);
  } else if (level == 2 || level == 3) {
    if (int rc = ReadLongHeader(src, offset, fileSize, base, got, level, m, ext)) return rc;
    storedFile = NameBeforeComment(ext.fileName);
  } else {
    return ARC_ERROR_VERSION;
  }
  if (ext.largeSize) return ARC_ERROR_VERSION;
  if (ext.haveUnixTime) m.mtime = ext.unixTime;
  m.utf8Name = Utf8NameOf(ext, storedFile);
  if (m.HasMethod('h', '0') && m.originalSize == 0 && m.packedSize == 0 && !m.name.empty() &&
      ((m.dosAttribute & 0x10) || EndsWithSeparatorByte(m.name))) {
    m.directoryEntry = true;
  }
  m.name = StripTrailingSeparators(m.name);
  m.dataOffset = offset + m.headerLength;
  if (m.dataOffset + m.packedSize > fileSize) return ARC_ERROR_HEADER_BROKEN;
  // Unix symbolic links are stored as directory entries named "link|target".
  if (m.IsDirectory() && m.name.find('|') != std::string::npos) m.isSymlink = true;
  return 0;
}

std::vector<uint8_t> BuildLevel2Header(const Member& m) {
  // Split at "\" bytes that are separators, not the second byte of a
  // double-byte character ("ソ" is 0x83 0x5C).
  std::vector<std::string> levels(1);
  for (std::size_t i = 0; i < m.name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(m.name[i]);
    if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < m.name.size()) {
      levels.back() += m.name.substr(i, 2);
      ++i;
    } else if (c == '\\') {
      levels.emplace_back();
    } else {
      levels.back() += static_cast<char>(c);
    }
  }
  std::string file;
  if (!m.IsDirectory()) {
    file = levels.back();
    levels.pop_back();
  }
  std::string dir;  // levels separated by 0xFF
  for (const std::string& l : levels) {
    if (l.empty()) continue;
    dir += l;
    dir += static_cast<char>(0xFF);
  }
  std::vector<uint8_t> h;
  h.reserve(64 + m.name.size());
  Put16(h, 0);  // total size, filled in below
  h.insert(h.end(), m.method, m.method + 5);
  Put32(h, static_cast<uint32_t>(m.packedSize));
  Put32(h, static_cast<uint32_t>(m.originalSize));
  Put32(h, static_cast<uint32_t>(m.mtime));
  h.push_back(0x20);
  h.push_back(2);
  Put16(h, m.crc);
  h.push_back(m.osId);
  // Extensions, each preceded by its size (the size field in front of the
  // first one belongs to the base header).
  std::vector<std::vector<uint8_t>> exts;
  exts.push_back({0x00, 0, 0});  // header CRC
  if (!file.empty()) {
    std::vector<uint8_t> e{0x01};
    e.insert(e.end(), file.begin(), file.end());
    exts.push_back(e);
  }
  if (!dir.empty()) {
    std::vector<uint8_t> e{0x02};
    e.insert(e.end(), dir.begin(), dir.end());
    exts.push_back(e);
  }
  exts.push_back({0x40, static_cast<uint8_t>(m.dosAttribute), static_cast<uint8_t>(m.dosAttribute >> 8)});
  std::size_t crcOffset = 0;
  for (const auto& e : exts) {
    Put16(h, static_cast<uint16_t>(e.size() + 2));
    if (e[0] == 0x00) crcOffset = h.size() + 1;
    h.insert(h.end(), e.begin(), e.end());
  }
  Put16(h, 0);
  // A header whose size ends in a zero byte would read as the end mark.
  if ((h.size() & 0xFF) == 0) h.push_back(0);
  h[0] = static_cast<uint8_t>(h.size());
  h[1] = static_cast<uint8_t>(h.size() >> 8);
  const uint16_t crc = Crc16(h.data(), h.size());
  h[crcOffset] = static_cast<uint8_t>(crc);
  h[crcOffset + 1] = static_cast<uint8_t>(crc >> 8);
  return h;
}

uint32_t UnixToDosTime(int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  if (!localtime_r(&tt, &tm) || tm.tm_year < 80) return (1u << 21) | (1u << 16);  // 1980-01-01
  if (tm.tm_year > 207) tm.tm_year = 207;
  const uint32_t date = static_cast<uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return (date << 16) | time;
}

int64_t DosToUnixTime(uint32_t dos) {
  std::tm tm{};
  const uint32_t date = dos >> 16, time = dos & 0xFFFF;
  tm.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_hour = static_cast<int>((time >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
  tm.tm_isdst = -1;
  if (tm.tm_mon < 0) tm.tm_mon = 0;
  if (tm.tm_mday < 1) tm.tm_mday = 1;
  return static_cast<int64_t>(std::mktime(&tm));
}

}  // namespace lha
