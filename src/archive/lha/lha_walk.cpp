#include "archive/lha/lha_walk.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "archive/common/result_codes.h"
#include "archive/lha/crc16.h"
#include "archive/lha/early_methods.h"

namespace lha {

void LocateArchive(const FileSource& src, uint64_t fileSize, uint64_t& start, uint64_t& end) {
  start = 0;
  end = fileSize;
  if (fileSize < kSfxTrailerSize) return;
  uint8_t t[kSfxTrailerSize];
  if (!src.ReadAt(fileSize - kSfxTrailerSize, t, sizeof t) || std::memcmp(t, kSfxMagic, 8) != 0) return;
  uint64_t off = 0;
  for (int i = 7; i >= 0; --i) off = (off << 8) | t[8 + i];
  if (off < fileSize - kSfxTrailerSize) {
    start = off;
    end = fileSize - kSfxTrailerSize;
  }
}

int ReadMembers(const FileSource& src, uint64_t start, uint64_t end, std::vector<Member>& members) {
  if (end == start) return ARC_ERROR_FILE_STYLE;
  uint64_t offset = start;
  for (;;) {
    Member m;
    const int rc = ReadHeader(src, offset, end, m);
    if (rc == 1) {
      // A file that ends at once, but not as an empty archive (a lone zero
      // byte) does, is no archive: a zero first byte alone proves nothing.
      if (members.empty() && end - start > 1) return ARC_ERROR_FILE_STYLE;
      return 0;
    }
    if (rc != 0) {
      if (members.empty() && (rc == ARC_ERROR_HEADER_BROKEN || rc == ARC_ERROR_HEADER_CRC)) {
        // The first header decides whether this is an archive at all.
        uint8_t head[7] = {};
        src.ReadSome(start, head, sizeof head);
        if (!(head[2] == '-' && head[3] == 'l' && head[6] == '-')) return ARC_ERROR_FILE_STYLE;
      }
      return rc;
    }
    offset = m.dataOffset + m.packedSize;
    members.push_back(m);
  }
}

int DecodeMember(const FileSource& src, const Member& m, const ByteSink& sink) {
  if (m.IsDirectory()) return 0;
  uint16_t crc = 0;
  if (m.HasMethod('h', '0') || m.HasMethod('z', '4')) {
    if (m.packedSize != m.originalSize) return ARC_ERROR_HEADER_BROKEN;
    constexpr std::size_t kBuf = std::size_t{1} << 16;
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[kBuf]);
    if (!buf) return ARC_ERROR_MORE_HEAP_MEMORY;
    uint64_t left = m.packedSize, at = m.dataOffset;
    while (left > 0) {
      const std::size_t n = left < kBuf ? static_cast<std::size_t>(left) : kBuf;
      if (!src.ReadAt(at, buf.get(), n)) return ARC_ERROR_CANNOT_READ;
      crc = Crc16(buf.get(), n, crc);
      if (!sink(buf.get(), n)) return ARC_ERROR_CANNOT_WRITE;
      left -= n;
      at += n;
    }
  } else {
    const int bits = DictionaryBits(m.method);
    const bool early = bits == 0 && IsEarlyMethod(m.method);
    if (bits == 0 && !early) return ARC_ERROR_METHOD;
    const ByteSink crcSink = [&](const uint8_t* d, std::size_t n) {
      crc = Crc16(d, n, crc);
      return sink(d, n);
    };
    // Read in pieces as the decoder asks; a short read ends the input
    // (the decoder then reports the data as damaged).
    uint64_t at = m.dataOffset, left = m.packedSize;
    bool readFailed = false;
    const ByteSource source = [&](uint8_t* buf, std::size_t n) -> std::size_t {
      const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(n, left));
      if (want == 0) return 0;
      const std::size_t got = src.ReadSome(at, buf, want);
      if (got < want) readFailed = true;
      at += got;
      left -= got;
      return got;
    };
    const DecodeStatus st =
        early ? DecodeEarlyMethod(m.method, source, m.originalSize, crcSink) : DecodeLzh(bits, source, m.originalSize, crcSink);
    if (readFailed && st != DecodeStatus::kSinkFailed) return ARC_ERROR_CANNOT_READ;
    if (st == DecodeStatus::kSinkFailed) return ARC_ERROR_CANNOT_WRITE;
    if (st != DecodeStatus::kOk) return ARC_ERROR_HUFFMAN_CODE;
  }
  return !m.hasCrc || crc == m.crc ? 0 : ARC_ERROR_FILE_CRC;
}

}  // namespace lha
