// Walking an archive through a FileSource: where the archive of a
// self-extracting file lies, its member headers in order, and the checked
// data of one member. Free of POSIX and of exceptions, so that the archive
// reader of the library and the Windows self-extractor share one copy.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/lha/lha_header.h"
#include "archive/lha/lzh_codec.h"

namespace lha {

// Trailer that the self-extractor's writer appends after the archive: the
// magic followed by the archive's offset in the file (64-bit little-endian).
inline constexpr char kSfxMagic[8] = {'L', 'M', 'S', 'F', 'X', 'A', 'R', '1'};
inline constexpr std::size_t kSfxTrailerSize = 16;

// The archive's extent in a file of `fileSize` bytes: after the stub and
// before the trailer when the file carries our trailer, else the whole file.
void LocateArchive(const FileSource& src, uint64_t fileSize, uint64_t& start, uint64_t& end);

// Reads every header between `start` and `end` into `members` (those read
// before a failure stay). Returns 0 or a result code: ARC_ERROR_FILE_STYLE
// (not an LHA archive), ARC_ERROR_HEADER_BROKEN, ARC_ERROR_HEADER_CRC,
// ARC_ERROR_VERSION, ARC_ERROR_CANNOT_READ.
int ReadMembers(const FileSource& src, uint64_t start, uint64_t end, std::vector<Member>& members);

// Decodes one member into `sink` and checks its CRC. Returns 0,
// ARC_ERROR_METHOD, ARC_ERROR_HUFFMAN_CODE, ARC_ERROR_FILE_CRC,
// ARC_ERROR_CANNOT_READ, ARC_ERROR_MORE_HEAP_MEMORY or
// ARC_ERROR_CANNOT_WRITE (the sink failed). Directories give 0.
int DecodeMember(const FileSource& src, const Member& m, const ByteSink& sink);

}  // namespace lha
