// The record of the last successful publish of a script to one server
// folder: for every file sent or kept, its path below DAT, its size in
// bytes, its last-write time in seconds and its SHA-256. The next publish
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

struct PublishedFile {
  qint64 size = 0;
  qint64 seconds = 0;  // last-write time, seconds since the epoch
  QByteArray sha256;   // hex, lower case
};

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
