// Process-wide values set at start-up and read across the program.
#pragma once

#include <cstdint>

#include <QString>

namespace lm {

// The directory of the program's executable, without a trailing separator.
// LoadProfiles records it. The files the program writes for itself are not
// built from it but from ConfigFolder() and CacheFolder() (app_folders.h),
// which use it while the folder is writable.
extern QString programDir;

// 1 when the index writer also writes indextmp.fet; follows the main window's
// check box Check1.
extern int16_t makeTmpIndex;

// Minutes with UTC = local time + bias (Japan: -540), read once at start-up.
extern int16_t timeZoneBias;

// The directory that holds the running executable (from /proc/self/exe). A
// test may replace it with SetExecutableDirForTesting.
QString ExecutableDir();
void SetExecutableDirForTesting(const QString& dir);

// The standard (not daylight-saving) bias of the local time zone in minutes,
// UTC = local + bias, from glibc's `timezone` after tzset().
int16_t ReadTimeZoneBias();

}  // namespace lm
