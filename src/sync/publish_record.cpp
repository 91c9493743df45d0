#include "sync/publish_record.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

#include "sync/safe_names.h"
#include "util/text_file.h"

namespace lm {
namespace {

const QByteArray kMagic = "#Loftmark published files 1";

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
  if (lines.isEmpty() || lines[0] != kMagic) return record;
  for (const QByteArray& line : lines) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    // sha256 size seconds path (the path last, so it may hold blanks)
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < 4 || parts[0].size() != 64) continue;
    bool okSize = false, okSeconds = false;
    PublishedFile f;
    f.sha256 = parts[0];
    f.size = parts[1].toLongLong(&okSize);
    f.seconds = parts[2].toLongLong(&okSeconds);
    const qsizetype offset = parts[0].size() + parts[1].size() + parts[2].size() + 3;
    const QString file = QString::fromUtf8(line.mid(offset));
    if (!okSize || !okSeconds || f.size < 0 || !IsSafeRelative(file)) continue;
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
    out += f.sha256 + ' ' + QByteArray::number(f.size) + ' ' + QByteArray::number(f.seconds) + ' ' + p.toUtf8() + '\n';
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
