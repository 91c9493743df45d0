// The scan of a DAT tree and the pieces of an entry line.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "index/index_writer.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/path_resolver.h"

namespace lm {
namespace {

QString Quoted(const QString& path) {
  return QStringLiteral("『") + path + QStringLiteral("』");
}

QString SystemFailure(int err, const QString& path) {
  return QString::fromLocal8Bit(std::strerror(err)) + CR + Quoted(path);
}

// A character that would break the line structure or the tree name of an
// index line: control characters (a CR or LF would split the line), "\"
// (the level separator of relative paths) and "|" (the depth marker).
// Windows file names cannot hold any of them.
QChar BadNameChar(const QString& name) {
  for (const QChar c : name) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == QLatin1Char('\\') ||
        c == QLatin1Char('|')) {
      return c;
    }
  }
  return QChar();
}

QString ShowChar(QChar c) {
  if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
    return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
  }
  return QString(c);
}

// Floors a time given in seconds and nanoseconds to whole seconds.
std::time_t WholeSeconds(const struct timespec& ts) { return ts.tv_sec; }

}  // namespace

bool IsLeftOutName(const QString& name) {
  static const char* const kNames[] = {"INDEX.FET", "INDEXTMP.FET", "LASTUPDATE", "UPDATE.LOG",
                                       "MIRROR.FET"};
  for (const char* n : kNames) {
    if (NamesEqualIgnoringCase(name, QLatin1String(n))) return true;
  }
  return false;
}

int16_t CountSeparators(const QString& text) {
  return static_cast<int16_t>(text.count(QLatin1Char('\\')));
}

QString Bars(int n) { return n <= 0 ? QString() : QString(n, QLatin1Char('|')); }

QString UtcStampOf(std::time_t secondsSinceEpoch, int biasMinutes) {
  struct tm local {};
  if (!localtime_r(&secondsSinceEpoch, &local)) return QString();
  // The local calendar time, read as if it were UTC, moved by the bias.
  std::time_t shifted = timegm(&local) + static_cast<std::time_t>(biasMinutes) * 60;
  struct tm utc {};
  if (!gmtime_r(&shifted, &utc)) return QString();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min);
  return QString::fromLatin1(buf);
}

QString UtcStamp(const QString& path) {
  const QString real = ResolveExisting(path);
  if (real.isEmpty()) return QString();
  struct stat st {};
  if (::stat(QFile::encodeName(real).constData(), &st) != 0) return QString();
  return UtcStampOf(WholeSeconds(st.st_mtim), timeZoneBias);
}

int64_t FileSizeOf(const QString& path) {
  const QString real = ResolveExisting(path);
  if (real.isEmpty()) return -1;
  const int fd = ::open(QFile::encodeName(real).constData(),
                        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  const int r = ::fstat(fd, &st);
  ::close(fd);
  if (r != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

QString SizeField(int64_t size) {
  if (size < 0) return QStringLiteral("00000");
  int64_t kib = size / 1024;
  if (kib > 99999) kib = 99999;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%05lld", static_cast<long long>(kib));
  return QString::fromLatin1(buf);
}

QString IndexLineOf(const ScanEntry& e) {
  return e.date + e.attr + SizeField(e.size) + e.treeMarker + e.name;
}

QString TmpIndexLineOf(const ScanEntry& e) { return e.date + e.attr + e.treeMarker + e.name; }

bool RelativePathLess(const QString& a, const QString& b) {
  const auto* pa = a.utf16();  // unsigned 16-bit code units
  const auto* pb = b.utf16();
  return std::lexicographical_compare(pa, pa + a.size(), pb, pb + b.size());
}

void SortScanEntries(std::vector<ScanEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const ScanEntry& x, const ScanEntry& y) {
    return RelativePathLess(x.relativePath, y.relativePath);
  });
}

bool ScanDatTree(const QString& datDir, std::vector<ScanEntry>& entries, QString& failure) {
  entries.clear();
  failure.clear();
  const QString root = ResolveExisting(datDir);
  if (root.isEmpty() || !IsExistingDirectory(root)) {
    QString shown = NativePath(datDir);
    while (shown.size() > 1 && shown.endsWith(QLatin1Char('/'))) shown.chop(1);
    failure = SystemFailure(root.isEmpty() ? ENOENT : ENOTDIR, shown);
    return false;
  }

  struct PendingDir {
    QByteArray native;  // full path for the system calls, the file system's own bytes
    QString display;    // full path for messages
    QString relative;   // "\a\b", "" for DAT
    int depth;          // levels below DAT
  };
  std::vector<PendingDir> dirs;
  dirs.push_back({QFile::encodeName(root), root, QString(), 0});

  ScanEntry rootRecord;
  rootRecord.treeMarker = QStringLiteral("+");
  entries.push_back(rootRecord);

  // Past the bound of entries the scan goes on only to count directories,
  // so that too many directories is reported as such.
  bool tooManyEntries = false;
  int listedCount = 0;
  const int bias = timeZoneBias;

  for (std::size_t i = 0; i < dirs.size(); ++i) {
    // Copies, since `dirs` grows while this directory is listed.
    const QByteArray dirNative = dirs[i].native;
    const QString dirDisplay = dirs[i].display;
    const QString dirRelative = dirs[i].relative;
    const int depth = dirs[i].depth;
    // Every entry listed here lies one level deeper than this directory.
    const QString marker = Bars(depth) + QLatin1Char('+');

    DIR* d = ::opendir(dirNative.constData());
    if (!d) {
      failure = SystemFailure(errno, dirDisplay);
      return false;
    }
    const int dfd = ::dirfd(d);
    auto fail = [&](const QString& message) {
      ::closedir(d);
      failure = message;
      return false;
    };

    for (;;) {
      errno = 0;
      const dirent* de = ::readdir(d);
      if (!de) {
        if (errno != 0) return fail(SystemFailure(errno, dirDisplay));
        break;
      }
      // Hidden entries ("." first) are left out, and with them ".", "..".
      if (de->d_name[0] == '.') continue;

      const QString name = QFile::decodeName(de->d_name);
      const QString display = dirDisplay + QLatin1Char('/') + name;
      const QChar bad = BadNameChar(name);
      if (!bad.isNull()) {
        return fail(QStringLiteral("更新定義ファイルに書けない文字「%1」を含む名前があります。")
                        .arg(ShowChar(bad)) +
                    CR + Quoted(display));
      }

      struct stat st {};
      bool haveStat = false;
      int64_t size = -1;
      bool isDir = false;
      bool isFile = false;
      if (de->d_type == DT_REG && !tooManyEntries) {
        // One open gives the size (and proves the file readable) and the time.
        const int fd = ::openat(dfd, de->d_name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
          if (::fstat(fd, &st) == 0) {
            haveStat = true;
            size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
          }
          ::close(fd);
        }
      } else if (de->d_type == DT_DIR && tooManyEntries) {
        isDir = true;
      } else if (de->d_type == DT_REG && tooManyEntries) {
        isFile = true;
      }
      if (!isDir && !isFile) {
        if (!haveStat) {
          // Links are followed, as the user sees the tree.
          if (::fstatat(dfd, de->d_name, &st, 0) != 0) return fail(SystemFailure(errno, display));
        }
        isDir = S_ISDIR(st.st_mode);
        isFile = S_ISREG(st.st_mode);
      }
      // Sockets, pipes and device nodes are no files a script can hold.
      if (!isDir && !isFile) continue;

      const QString relative = dirRelative + QLatin1Char('\\') + name;
      if (isDir) {
        if (static_cast<int>(dirs.size()) > kMaxScanDirs) {
          return fail(QStringLiteral("DATフォルダの下のフォルダが%1個を超えています。")
                          .arg(kMaxScanDirs) +
                      CR + Quoted(root));
        }
        QByteArray childNative = dirNative;
        childNative.append('/');
        childNative.append(de->d_name);
        dirs.push_back({childNative, display, relative, depth + 1});
      }
      if (tooManyEntries) continue;
      // The names left out of the index do not count against its bound, so
      // an old index.fet cannot push a full tree over it.
      const bool counts = !(depth == 0 && IsLeftOutName(name));
      if (counts && listedCount == kMaxScanEntries) {
        tooManyEntries = true;
        continue;
      }
      if (counts) ++listedCount;

      ScanEntry e;
      e.relativePath = relative;
      e.name = name;
      e.date = UtcStampOf(WholeSeconds(st.st_mtim), bias);
      if (isDir) {
        e.attr = QStringLiteral("d");
        e.treeMarker = marker;
        e.size = 0;
      } else {
        if (!haveStat) {
          // Reached through a link or without a type from the listing: the
          // size is what an open for reading shows.
          const int fd = ::openat(dfd, de->d_name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
          if (fd >= 0) {
            struct stat fst {};
            if (::fstat(fd, &fst) == 0) size = static_cast<int64_t>(fst.st_size);
            ::close(fd);
          }
        }
        e.attr = QStringLiteral("f");
        e.treeMarker = marker;
        e.size = size;
      }
      if (e.date.isEmpty()) return fail(SystemFailure(EOVERFLOW, display));
      entries.push_back(std::move(e));
    }
    ::closedir(d);
  }

  if (tooManyEntries) {
    failure = QStringLiteral("DATフォルダの下のフォルダとファイルが合わせて%1個を超えています。")
                  .arg(kMaxScanEntries) +
              CR + Quoted(root);
    return false;
  }
  return true;
}

}  // namespace lm
