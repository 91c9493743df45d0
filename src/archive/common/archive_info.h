/* The record that the archiver libraries' find functions fill, shared by
 * UnLHA32.DLL, Cab32.DLL and the wrappers that read it. 558 bytes,
 * little-endian, texts in code page 932. */
#ifndef LOFTMARK_ARCHIVE_INFO_H
#define LOFTMARK_ARCHIVE_INFO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
typedef struct ArchiveInfo {
  uint32_t unpackedSize;  /* 0: member size before packing */
  uint32_t packedSize;    /* 4: member size in the archive */
  uint32_t crc;           /* 8: member checksum (CRC-16 for LHA, CRC-32 where the format has one) */
  uint32_t flag;          /* 12 */
  uint32_t osType;        /* 16 */
  uint16_t ratio;         /* 20: packing ratio in tenths of a percent */
  uint16_t date;          /* 22: bits 9-15 years since 1980, 5-8 month, 0-4 day */
  uint16_t time;          /* 24: bits 11-15 hour, 5-10 minute, 0-4 seconds / 2 */
  char fileName[513];     /* 26: member path, NUL-terminated, "\" between levels */
  char reserved[3];       /* 539 */
  char attribute[8];      /* 542: attribute letters, e.g. "-r-sha" style, NUL-padded */
  char mode[8];           /* 550: packing method, e.g. "-lh5-", NUL-padded */
} ArchiveInfo;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(ArchiveInfo) == 558, "ArchiveInfo must be 558 bytes");
}
#endif

#endif
