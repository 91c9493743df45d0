// The record of the last successful publish of a script to one server
// folder: for every file sent or kept, its path below DAT, its size in
// bytes, its stamp (times to the nanosecond) and its SHA-256. The next publish
// compares DAT with it, so a file that changed is sent even when the
// index's minute and KiB fields cannot show the change.
//
// One record per profile, server and server folder, kept beside lfup.ini
// and replaced through a temporary file and a rename.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include "profiles/profile.h"

namespace lm {

// What tells whether a file changed without reading it: its size, its
// last-write time to the nanosecond, its change time (moved by every write,
// even when the last-write time is set back afterwards) and its inode (a
// file saved by replacing it is another one).
struct FileStamp {
  qint64 size = -1;  // -1: not a readable regular file, or not known
  qint64 modifiedSec = 0, modifiedNsec = 0;
  qint64 changedSec = 0, changedNsec = 0;
  quint64 inode = 0;
  bool known() const { return size >= 0; }
  bool operator==(const FileStamp& o) const {
    return size == o.size && modifiedSec == o.modifiedSec && modifiedNsec == o.modifiedNsec &&
           changedSec == o.changedSec && changedNsec == o.changedNsec && inode == o.inode;
  }
};
FileStamp StampOf(const QString& path);

struct PublishedFile {
  qint64 size = 0;
  qint64 seconds = 0;  // last-write time, seconds since the epoch
  QByteArray sha256;   // hex, lower case
  // The stamp the file had while its bytes were read; unknown in records
  // written by older versions.
  FileStamp stamp;
  // The file had not been written for a while when its bytes were read, so
  // a later write cannot leave the same stamp: an equal stamp then means
  // equal bytes. A file written just before (within the coarseness of file
  // system clocks) is read again by the next run instead.
  bool settled = false;
};

// Reads a file's bytes for their SHA-256 and takes its stamp around the
// read; false when it cannot be read or changed meanwhile.
bool HashSteadyFile(const QString& path, PublishedFile& file);

// Whether a file with `stamp`, read from `readAtNs` (wall clock,
// nanoseconds since the epoch) on, counts as settled.
bool SettledStamp(const FileStamp& stamp, qint64 readAtNs);
qint64 WallClockNs();

struct PublishRecord {
  QHash<QString, PublishedFile> files;  // by path below DAT, "/" between levels
};

// The record's file for the profile's server and folder, in `dir` (the
// folder of lfup.ini).
QString PublishRecordPath(const QString& dir, const Profile& profile);

// Reads a record; a missing file gives an empty record. Lines that cannot be
// read (or name a path that could leave DAT) are left out: the files they
// named are then sent again.
PublishRecord ReadPublishRecord(const QString& path);
bool WritePublishRecord(const QString& path, const Profile& profile, const PublishRecord& record,
                        QString* error = nullptr);

// SHA-256 of a file's bytes (hex, lower case); empty when it cannot be read.
QByteArray FileSha256(const QString& path);

}  // namespace lm
