#include "util/app_globals.h"

#include <ctime>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace lm {

QString programDir;
int16_t makeTmpIndex = 0;
int16_t timeZoneBias = 0;

namespace {
QString g_exeDirOverride;
}

void SetExecutableDirForTesting(const QString& dir) { g_exeDirOverride = dir; }

QString ExecutableDir() {
  if (!g_exeDirOverride.isEmpty()) return g_exeDirOverride;
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return QStringLiteral(".");
  buf[n] = '\0';
  return QFileInfo(QFile::decodeName(buf)).absolutePath();
}

int16_t ReadTimeZoneBias() {
  tzset();
  // glibc's `timezone` is seconds west of UTC for standard time: UTC = local + timezone.
  return static_cast<int16_t>(timezone / 60);
}

}  // namespace lm
