/* The C entry points of the archiver libraries UnLHA32.DLL and Cab32.DLL.
 *
 * Both libraries export the same family of functions under their own prefix
 * ("Unlha", "Cab"); the wrappers load them with dlopen/dlsym by these names.
 * Texts cross the interface in code page 932. A window handle is an opaque
 * pointer (0 when there is no window); an archive handle is opaque too, 0 on
 * failure. BOOL results are non-zero for true. */
#ifndef LOFTMARK_ARCHIVER_API_H
#define LOFTMARK_ARCHIVER_API_H

#include <stdint.h>

#include "archive/common/archive_info.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* ARC_HWND;
typedef void* HARC;

/* Progress of the command running on the calling thread. memberName is the
 * member being written (code page 932, NUL-terminated, valid during the
 * call); the byte counts are of input read: of that member and of the whole
 * command (commandTotal is known before the first member). */
typedef struct ArchiverProgress {
  const char* memberName;
  uint64_t memberDone;
  uint64_t memberTotal;
  uint64_t commandDone;
  uint64_t commandTotal;
} ArchiverProgress;

/* Called at the start of each member and after every 64 KiB of input read.
 * A non-zero result cancels the command: it stops at the next block, removes
 * what it was writing, leaves earlier archives as they were and returns
 * ARC_ERROR_USER_CANCEL. */
typedef int (*ARC_PROGRESS_PROC)(const ArchiverProgress* progress, void* user);

#define LM_DECLARE_ARCHIVER_API(P)                                                      \
  int P(ARC_HWND hwnd, const char* cmdLine, char* output, uint32_t outputSize);         \
  uint16_t P##GetVersion(void);                                                         \
  int P##GetRunning(void);                                                              \
  int P##GetBackGroundMode(void);                                                       \
  int P##SetBackGroundMode(int backgroundMode);                                         \
  int P##GetCursorMode(void);                                                           \
  int P##SetCursorMode(int cursorMode);                                                 \
  int P##CheckArchive(const char* archivePath, int mode);                               \
  HARC P##OpenArchive(ARC_HWND hwnd, const char* archivePath, uint32_t mode);            \
  int P##FindFirst(HARC harc, const char* wildName, ArchiveInfo* info);                 \
  int P##FindNext(HARC harc, ArchiveInfo* info);                                        \
  int P##CloseArchive(HARC harc);                                                       \
  int P##ConfigDialog(ARC_HWND hwnd, char* optionBuffer, int mode);                     \
  int P##SetProgressProc(ARC_PROGRESS_PROC proc, void* user);

LM_DECLARE_ARCHIVER_API(Unlha)
LM_DECLARE_ARCHIVER_API(Cab)

#ifdef __cplusplus
}
#endif

#endif
