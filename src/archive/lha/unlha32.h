/* UnLHA32.DLL: the LHA archiver library of this program.
 *
 * The C entry points are those of archiver_api.h with the prefix "Unlha".
 * Texts cross the interface in code page 932. Archives are written with
 * level-2 headers (-lh5- by default, -lh7- with the switch -o7, -lh0- when
 * packing would not make a member smaller, -lhd- for directories), packed
 * with a price-based parse. The switch -f of the "a" command packs in the
 * fast mode instead: a quick lazy-matching parse whose blocks still end
 * where a new set of Huffman trees pays for itself (a few per cent larger,
 * a fraction of the processor time; -f0 or no switch: the default). A
 * file over 4 MiB is parsed in segments, two at a time on a machine with
 * two cores or more; the archive is the same whatever the number of
 * threads, and memory stays within 16 MB. Archives are read with headers of levels 0 to
 * 3 and the methods -lh0-, -lh1-, -lh4- .. -lh7-, -lzs-, -lz4-, -lz5- and
 * -lhd-; names in the Unix form of level 0 (0xFF between levels, the Unix
 * time extension) and names followed by a NUL and a comment are read as
 * their tools meant them; a leading separator is dropped. A Unix symbolic
 * link is created when its target stays inside the output directory. The
 * command set and switches are described in lha_commands.h.
 *
 * Result codes (result_codes.h) and when they come:
 *   0                           success; also "d" of names that are not in the archive
 *   ARC_ERROR_METHOD 0x8009     a member packed with a method this library cannot unpack
 *   ARC_ERROR_VERSION 0x800B    a header level above 3, a member of 4 GiB or more
 *                               (in an archive or as a file to add: the level-2 header
 *                               holds 32-bit sizes)
 *   ARC_ERROR_UNKNOWN_TYPE 0x8008  a file name that code page 932 cannot hold; a source
 *                               named or selected that is neither a file nor a directory
 *                               (a FIFO or device is never opened)
 *   ARC_ERROR_FILE_CRC 0x800C   a member's data does not match its CRC
 *   ARC_ERROR_FILE_OPEN 0x800D  a file or directory to add cannot be read or its path is
 *                               too long (the command fails; no archive is written), an
 *                               extracted file cannot be created, the self-extractor
 *                               stub is missing
 *   ARC_ERROR_NOT_EXIST 0x800F  a name of the "a" command matches no file, or its base
 *                               directory does not exist
 *   ARC_ERROR_MAKEDIRECTORY 0x8012  an output directory cannot be created, or a path
 *                               level is a file or a symbolic link
 *   ARC_ERROR_CANNOT_WRITE 0x8013  writing the archive or an extracted file failed
 *   ARC_ERROR_HUFFMAN_CODE 0x8014  packed data that cannot be decoded
 *   ARC_ERROR_HEADER_CRC 0x8016    a header checksum or CRC does not match
 *   ARC_ERROR_HEADER_BROKEN 0x8017 a header that cannot be read or points past the end
 *                               of the file; a member whose path names a drive or climbs
 *                               out of the output directory with "..", or a link whose
 *                               target leaves it (refused, nothing written)
 *   ARC_ERROR_ARC_FILE_OPEN 0x8018 the archive cannot be opened, or is not a regular file
 *                               (a FIFO or device is refused without waiting on it)
 *   ARC_ERROR_NOT_ARC_FILE 0x8019  no archive named in the command
 *   ARC_ERROR_CANNOT_READ 0x801A   reading the archive failed
 *   ARC_ERROR_FILE_STYLE 0x801B    the file is not an LHA archive (UnlhaCheckArchive is
 *                               true only for an archive whose headers and data all
 *                               read without a fault)
 *   ARC_ERROR_COMMAND_NAME 0x801C  no command or an unknown command
 *   ARC_ERROR_MORE_HEAP_MEMORY 0x801D  out of memory
 *   ARC_ERROR_ALREADY_RUNNING 0x801F  a command is already running in this process
 *   ARC_ERROR_TMP_OPEN 0x8025      the temporary file beside the archive cannot be made
 *
 * A damaged header after intact members: "l", "t", "e" and "x" work on the
 * members before it, the report names where the damage starts, and the
 * result is the damage's code. Every member is tried; the result is the
 * first failure's code, and the report names each member that failed.
 *
 * Extraction overwrites existing files and creates directories without
 * asking; a member is written to a temporary file first and only renamed
 * into place when its CRC matched, so a damaged member leaves nothing
 * behind. Writing an archive goes through a temporary file as well. */
#ifndef LOFTMARK_UNLHA32_H
#define LOFTMARK_UNLHA32_H

#include "archive/common/archiver_api.h"
#include "archive/common/result_codes.h"

/* Version reported by UnlhaGetVersion, in hundredths (1.00). */
#define UNLHA32_VERSION 100

#endif
