/* Result codes of the archiver libraries' command and query functions.
 * 0 is success; every failure is one of these codes. The wrappers turn them
 * into the messages the user sees. */
#ifndef LOFTMARK_RESULT_CODES_H
#define LOFTMARK_RESULT_CODES_H

#define ARC_OK 0
#define ARC_ERROR_DISK_SPACE 0x8005          /* not enough disk space to extract */
#define ARC_ERROR_READ_ONLY 0x8006           /* extraction target is read-only */
#define ARC_ERROR_USER_SKIP 0x8007           /* extraction skipped by the user */
#define ARC_ERROR_UNKNOWN_TYPE 0x8008        /* member type not binary or text */
#define ARC_ERROR_METHOD 0x8009              /* packing method not supported */
#define ARC_ERROR_PASSWORD_FILE 0x800A       /* member is password protected */
#define ARC_ERROR_VERSION 0x800B             /* archive format version not supported */
#define ARC_ERROR_FILE_CRC 0x800C            /* member checksum does not match */
#define ARC_ERROR_FILE_OPEN 0x800D           /* a file could not be opened while extracting */
#define ARC_ERROR_MORE_FRESH 0x800E          /* a newer file exists at the target */
#define ARC_ERROR_NOT_EXIST 0x800F           /* file does not exist */
#define ARC_ERROR_ALREADY_EXIST 0x8010       /* file already exists at the target */
#define ARC_ERROR_TOO_MANY_FILES 0x8011      /* too many members */
#define ARC_ERROR_MAKEDIRECTORY 0x8012       /* a directory could not be created */
#define ARC_ERROR_CANNOT_WRITE 0x8013        /* write error while extracting or writing */
#define ARC_ERROR_HUFFMAN_CODE 0x8014        /* compressed data is corrupt */
#define ARC_ERROR_COMMENT_HEADER 0x8015      /* comment header is corrupt */
#define ARC_ERROR_HEADER_CRC 0x8016          /* header checksum does not match */
#define ARC_ERROR_HEADER_BROKEN 0x8017       /* header is corrupt */
#define ARC_ERROR_ARC_FILE_OPEN 0x8018       /* archive could not be opened */
#define ARC_ERROR_NOT_ARC_FILE 0x8019        /* no archive name given */
#define ARC_ERROR_CANNOT_READ 0x801A         /* read error on the archive */
#define ARC_ERROR_FILE_STYLE 0x801B          /* the file is not an archive of this format */
#define ARC_ERROR_COMMAND_NAME 0x801C        /* the command line is wrong */
#define ARC_ERROR_MORE_HEAP_MEMORY 0x801D    /* out of working memory */
#define ARC_ERROR_ENOUGH_MEMORY 0x801E       /* out of global memory */
#define ARC_ERROR_ALREADY_RUNNING 0x801F     /* a command is already running */
#define ARC_ERROR_USER_CANCEL 0x8020         /* cancelled by the user */
#define ARC_ERROR_TMP_OPEN 0x8025            /* work file could not be opened */

#endif
