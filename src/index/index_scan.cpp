// The scan of a DAT tree and the pieces of an entry line.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include <QFile>
#include <QStringBuilder>

#include "index/index_writer.h"
#include "util/app_globals.h"
#include "util/index_line.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/text/visible_text.h"

namespace lm {
namespace {

QString SystemFailure(int err, const QString& path) {
  return QString::fromLocal8Bit(std::strerror(err)) + CR + Bracketed(path);
}

// Where a symbolic link points, as its own text says.
QString LinkTarget(int dirFd, const char* name) {
  QByteArray target(4096, '\0');
  const ssize_t n = ::readlinkat(dirFd, name, target.data(), static_cast<std::size_t>(target.size()));
  return n < 0 ? QString() : QFile::decodeName(target.left(n));
}

// A symbolic link in DAT that cannot be followed: what is wrong with it,
// where it points and the link.
QString BrokenLinkMessage(int err, const QString& link, const QString& target) {
  QString what;
  if (err == ELOOP)
    what = QStringLiteral("シンボリックリンクが循環しているため、たどれません。");
  else if (err == ENOENT || err == ENOTDIR)
    what = QStringLiteral("シンボリックリンクの指す先がありません。");
  else
    what = QStringLiteral("シンボリックリンクの指す先を読めません (%1)。").arg(QString::fromLocal8Bit(std::strerror(err)));
  return what + CR + QStringLiteral("リンク先: ") + target + CR + Bracketed(link);
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

// Whether this process may open a file for reading, judged from the
// permission bits that the scan's stat already gave, so that no file has to
// be opened. Bits that deny reading are checked once more with the system,
// since an access list may still allow it.
class ReadPermission {
 public:
  ReadPermission() : uid_(::geteuid()), gid_(::getegid()) {
    const int n = ::getgroups(0, nullptr);
    if (n > 0) {
      groups_.resize(static_cast<std::size_t>(n));
      groups_.resize(static_cast<std::size_t>(std::max(0, ::getgroups(n, groups_.data()))));
    }
  }
  bool MayRead(int dirFd, const char* name, const struct stat& st) const {
    if (uid_ == 0) return true;
    mode_t bit = S_IROTH;
    if (st.st_uid == uid_) {
      bit = S_IRUSR;
    } else if (st.st_gid == gid_ ||
               std::find(groups_.begin(), groups_.end(), st.st_gid) != groups_.end()) {
      bit = S_IRGRP;
    }
    if (st.st_mode & bit) return true;
    return ::faccessat(dirFd, name, R_OK, AT_EACCESS) == 0;
  }

 private:
  uid_t uid_;
  gid_t gid_;
  std::vector<gid_t> groups_;
};

// Year, month and day of a day count from 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

void PutDigits(char* out, int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
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
  // The local calendar time, counted as if it were UTC, moved by the bias.
  const int64_t shifted = static_cast<int64_t>(secondsSinceEpoch) + local.tm_gmtoff +
                          static_cast<int64_t>(biasMinutes) * 60;
  int64_t days = shifted / 86400;
  int64_t second = shifted % 86400;
  if (second < 0) {
    second += 86400;
    --days;
  }
  int64_t year = 0;
  int month = 0;
  int day = 0;
  CivilFromDays(days, year, month, day);
  if (year < 0 || year > 9999) return QString();  // no four-digit year
  char buf[12];
  PutDigits(buf, year, 4);
  PutDigits(buf + 4, month, 2);
  PutDigits(buf + 6, day, 2);
  PutDigits(buf + 8, second / 3600, 2);
  PutDigits(buf + 10, second % 3600 / 60, 2);
  return QString::fromLatin1(buf, 12);
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

namespace {

// The five digits of the size field, without building a text.
struct SizeDigits {
  explicit SizeDigits(int64_t size) {
    int64_t kib = size < 0 ? 0 : size / 1024;
    if (kib > 99999) kib = 99999;
    PutDigits(digits, kib, kIndexSizeWidth);
  }
  QLatin1StringView view() const { return QLatin1StringView(digits, kIndexSizeWidth); }
  char digits[kIndexSizeWidth];
};

}  // namespace

QString SizeField(int64_t size) { return SizeDigits(size).view(); }

QString IndexLineOf(const ScanEntry& e) {
  const SizeDigits size(e.size);
  return IndexEntryLine(e.date, e.attr, size.view(), e.treeMarker, e.name);
}

QString TmpIndexLineOf(const ScanEntry& e) { return TmpIndexEntryLine(e.date, e.attr, e.treeMarker, e.name); }

bool RelativePathLess(const QString& a, const QString& b) {
  // Level by level: the first differing level decides, its names compared
  // as 16-bit codes, a name before every longer name that begins with it.
  // That is the whole-path order with "\" taken as smaller than any other
  // character, so a folder's entries follow the folder directly, before a
  // sibling such as "img 2" or "img.txt" that merely extends its name.
  const qsizetype n = std::min(a.size(), b.size());
  const QChar* pa = a.constData();
  const QChar* pb = b.constData();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t x = pa[i].unicode();
    const char16_t y = pb[i].unicode();
    if (x == y) continue;
    if (x == u'\\') return true;
    if (y == u'\\') return false;
    return x < y;
  }
  return a.size() < b.size();
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
    // The device and inode of this directory and of those above it up to
    // DAT: a link to one of them would lead round in a circle.
    std::vector<std::pair<dev_t, ino_t>> path;
  };
  std::vector<PendingDir> dirs;
  {
    struct stat rootStat {};
    ::stat(QFile::encodeName(root).constData(), &rootStat);
    dirs.push_back({QFile::encodeName(root), root, QString(), 0, {{rootStat.st_dev, rootStat.st_ino}}});
  }

  ScanEntry rootRecord;
  rootRecord.treeMarker = QStringLiteral("+");
  entries.push_back(rootRecord);

  // Past the bound of entries the scan goes on only to count directories,
  // so that too many directories is reported as such.
  bool tooManyEntries = false;
  int listedCount = 0;
  const ReadPermission reader;
  std::time_t lastSeconds = 0;
  QString lastStamp;
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
    auto DisplayOf = [&dirDisplay](const QString& name) { return dirDisplay + QLatin1Char('/') + name; };
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

      // Past the bound only directories are counted.
      if (tooManyEntries && de->d_type == DT_REG) continue;
      QString name = QString::fromUtf8(de->d_name);

      // Links are followed, as the user sees the tree.
      struct stat st {};
      if (tooManyEntries && de->d_type == DT_DIR) {
        st.st_mode = S_IFDIR;
      } else if (::fstatat(dfd, de->d_name, &st, 0) != 0) {
        const int err = errno;
        struct stat link {};
        if (::fstatat(dfd, de->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode))
          return fail(BrokenLinkMessage(err, DisplayOf(name), LinkTarget(dfd, de->d_name)));
        return fail(SystemFailure(err, DisplayOf(name)));
      }
      const bool isDir = S_ISDIR(st.st_mode);
      // Links to folders are followed (an author may link shared material
      // into DAT), but not into a folder that holds the link.
      if (isDir) {
        const std::vector<std::pair<dev_t, ino_t>>& above = dirs[i].path;
        if (std::find(above.begin(), above.end(), std::make_pair(st.st_dev, st.st_ino)) != above.end())
          return fail(BrokenLinkMessage(ELOOP, DisplayOf(name), LinkTarget(dfd, de->d_name)));
      }
      // Sockets, pipes and device nodes are no files a script can hold.
      if (!isDir && !S_ISREG(st.st_mode)) continue;

      // A name whose bytes are not UTF-8 (raw Shift-JIS written by another
      // program, say) has no characters to write; it is named with its own
      // bytes, escaped where they do not show.
      if (name.toUtf8() != QByteArrayView(de->d_name)) {
        return fail(QStringLiteral("Shift-JISに変換できない名前があります（UTF-8として正しくないバイトを含みます）。") +
                    CR + Bracketed(dirDisplay + QLatin1Char('/') +
                                   QString::fromStdString(visible::Escape(de->d_name))));
      }
      const QChar bad = BadNameChar(name);
      if (!bad.isNull()) {
        return fail(QStringLiteral("更新定義ファイルに書けない文字「%1」を含む名前があります。")
                        .arg(ShowChar(bad)) +
                    CR + Bracketed(DisplayOf(name)));
      }

      QString relative = dirRelative % QLatin1Char('\\') % name;
      if (isDir) {
        if (static_cast<int>(dirs.size()) > kMaxScanDirs) {
          return fail(QStringLiteral("DATフォルダの下のフォルダが%1個を超えています。")
                          .arg(kMaxScanDirs) +
                      CR + Bracketed(root));
        }
        QByteArray childNative = dirNative;
        childNative.append('/');
        childNative.append(de->d_name);
        std::vector<std::pair<dev_t, ino_t>> path = dirs[i].path;
        path.emplace_back(st.st_dev, st.st_ino);
        dirs.push_back({childNative, DisplayOf(name), relative, depth + 1, std::move(path)});
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

      ScanEntry& e = entries.emplace_back();
      e.relativePath = std::move(relative);
      e.name = std::move(name);
      e.treeMarker = marker;
      // Entries written in the same second (a copied or unpacked tree) share one text.
      const std::time_t seconds = WholeSeconds(st.st_mtim);
      if (lastStamp.isEmpty() || seconds != lastSeconds) {
        lastSeconds = seconds;
        lastStamp = UtcStampOf(seconds, bias);
      }
      e.date = lastStamp;
      e.seconds = static_cast<int64_t>(seconds);
      if (isDir) {
        e.attr = QStringLiteral("d");
        e.size = 0;
      } else {
        e.attr = QStringLiteral("f");
        // A file this process may not read has no size it could take.
        e.size = reader.MayRead(dfd, de->d_name, st) ? static_cast<int64_t>(st.st_size) : -1;
      }
      if (e.date.isEmpty()) return fail(SystemFailure(EOVERFLOW, DisplayOf(e.name)));
    }
    ::closedir(d);
  }

  if (tooManyEntries) {
    failure = QStringLiteral("DATフォルダの下のフォルダとファイルが合わせて%1個を超えています。")
                  .arg(kMaxScanEntries) +
              CR + Bracketed(root);
    return false;
  }
  return true;
}

}  // namespace lm
