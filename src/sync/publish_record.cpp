#include "sync/publish_record.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

#include "sync/safe_names.h"
#include "util/text_file.h"

namespace lm {
namespace {

// Records of version 1 keep the last-write time in whole seconds; version 2
// keeps the whole stamp. Both are read; version 2 is written.
const QByteArray kMagicV1 = "#Loftmark published files 1";
const QByteArray kMagic = "#Loftmark published files 2";

// How long before its bytes are read a file must not have been written to
// count as settled: more than the steps of coarse file system clocks (FAT
// keeps even seconds) and the lag of the kernel's clock for file times.
constexpr qint64 kSettleNs = 3'000'000'000;

QByteArray TimeText(qint64 sec, qint64 nsec) {
  return QByteArray::number(sec) + '.' + QByteArray::number(nsec).rightJustified(9, '0');
}
bool ParseTime(const QByteArray& text, qint64& sec, qint64& nsec) {
  const qsizetype dot = text.indexOf('.');
  if (dot < 0 || text.size() - dot - 1 != 9) return false;
  bool okSec = false, okNsec = false;
  sec = text.left(dot).toLongLong(&okSec);
  nsec = text.mid(dot + 1).toLongLong(&okNsec);
  return okSec && okNsec && nsec >= 0;
}

QString Identity(const Profile& profile) {
  return profile.profile.trimmed() + QLatin1Char('\n') + profile.server.trimmed() + QLatin1Char('\n') +
         profile.dirserver.trimmed();
}

bool IsSafeRelative(const QString& path) {
  if (path.isEmpty()) return false;
  for (const QString& part : path.split(QLatin1Char('/')))
    if (!IsSafeEntryName(part)) return false;
  return true;
}

}  // namespace

QString PublishRecordPath(const QString& dir, const Profile& profile) {
  const QByteArray key = QCryptographicHash::hash(Identity(profile).toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
  return dir + QStringLiteral("/lfup-published-") + QString::fromLatin1(key) + QStringLiteral(".txt");
}

PublishRecord ReadPublishRecord(const QString& path) {
  PublishRecord record;
  QByteArray bytes;
  if (!QFile::exists(path) || !ReadFileBytes(path, bytes)) return record;
  const QList<QByteArray> lines = bytes.split('\n');
  if (lines.isEmpty() || (lines[0] != kMagic && lines[0] != kMagicV1)) return record;
  const bool v2 = lines[0] == kMagic;
  const int fields = v2 ? 6 : 3;  // before the path
  for (const QByteArray& line : lines) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    // Version 1: sha256 size seconds path; version 2: sha256 size
    // modified changed inode settled path (the path last, so it may hold
    // blanks; the times as seconds "." nanoseconds).
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < fields + 1 || parts[0].size() != 64) continue;
    bool ok = false;
    PublishedFile f;
    f.sha256 = parts[0];
    f.size = parts[1].toLongLong(&ok);
    if (!ok || f.size < 0) continue;
    if (v2) {
      FileStamp& s = f.stamp;
      bool okInode = false;
      s.inode = parts[4].toULongLong(&okInode);
      if (!ParseTime(parts[2], s.modifiedSec, s.modifiedNsec) || !ParseTime(parts[3], s.changedSec, s.changedNsec) ||
          !okInode || (parts[5] != "0" && parts[5] != "1"))
        continue;
      s.size = f.size;
      f.seconds = s.modifiedSec;
      f.settled = parts[5] == "1";
    } else {
      f.seconds = parts[2].toLongLong(&ok);
      if (!ok) continue;
    }
    qsizetype offset = 0;
    for (int i = 0; i < fields; ++i) offset += parts[i].size() + 1;
    const QString file = QString::fromUtf8(line.mid(offset));
    if (!IsSafeRelative(file)) continue;
    record.files.insert(file, f);
  }
  return record;
}

bool WritePublishRecord(const QString& path, const Profile& profile, const PublishRecord& record, QString* error) {
  QByteArray out = kMagic + '\n';
  for (const QString& line : Identity(profile).split(QLatin1Char('\n')))
    out += "# " + line.toUtf8().replace('\r', ' ') + '\n';
  QStringList paths = record.files.keys();
  std::sort(paths.begin(), paths.end());
  for (const QString& p : paths) {
    const PublishedFile& f = record.files[p];
    // A file whose stamp is not known is written with its whole second and
    // as not settled, so that the next run reads it again.
    FileStamp s = f.stamp;
    if (!s.known()) s = FileStamp{f.size, f.seconds, 0, 0, 0, 0};
    const bool settled = f.settled && f.stamp.known();
    out += f.sha256 + ' ' + QByteArray::number(f.size) + ' ' + TimeText(s.modifiedSec, s.modifiedNsec) + ' ' +
           TimeText(s.changedSec, s.changedNsec) + ' ' + QByteArray::number(s.inode) + ' ' + (settled ? "1" : "0") +
           ' ' + p.toUtf8() + '\n';
  }
  FileError fileError;
  if (WriteFileAtomically(path, out, &fileError)) return true;
  if (error) *error = fileError.message;
  return false;
}

QByteArray FileSha256(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray();
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&f)) return QByteArray();
  return hash.result().toHex();
}

}  // namespace lm

namespace lm {

FileStamp StampOf(const QString& path) {
  FileStamp s;
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return s;
  s.size = static_cast<qint64>(st.st_size);
  s.modifiedSec = static_cast<qint64>(st.st_mtim.tv_sec);
  s.modifiedNsec = static_cast<qint64>(st.st_mtim.tv_nsec);
  s.changedSec = static_cast<qint64>(st.st_ctim.tv_sec);
  s.changedNsec = static_cast<qint64>(st.st_ctim.tv_nsec);
  s.inode = static_cast<quint64>(st.st_ino);
  return s;
}

qint64 WallClockNs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool SettledStamp(const FileStamp& stamp, qint64 readAtNs) {
  if (!stamp.known()) return false;
  const qint64 modified = stamp.modifiedSec * 1'000'000'000 + stamp.modifiedNsec;
  const qint64 changed = stamp.changedSec * 1'000'000'000 + stamp.changedNsec;
  return std::max(modified, changed) < readAtNs - kSettleNs;
}

bool HashSteadyFile(const QString& path, PublishedFile& file) {
  const FileStamp before = StampOf(path);
  if (!before.known()) return false;
  const qint64 readAt = WallClockNs();
  const QByteArray sha = FileSha256(path);
  if (sha.isEmpty() || !(StampOf(path) == before)) return false;
  file.size = before.size;
  file.seconds = before.modifiedSec;
  file.sha256 = sha;
  file.stamp = before;
  file.settled = SettledStamp(before, readAt);
  return true;
}

}  // namespace lm
