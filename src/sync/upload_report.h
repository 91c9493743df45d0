// The texts of an upload run that every front end shows alike: the totals
// of what will be sent, the question before deletions, the outcome; and the
// server's copy of the index kept after a finished run.
#pragma once

#include <QString>

#include "sync/server_upload.h"

namespace lm {

// "1,234 バイト"
QString ByteCountText(qint64 n);

// "送信 N 件 (B バイト)　削除 M 件" for the comparison's upload and delete
// lists, the files' sizes read from `datDir`.
QString UploadTotalsText(const QString& datDir);

// The question asked before `count` server entries are deleted.
QString DeletionQuestion(int count);

// The message of a finished, cancelled or failed run, and its box style.
QString UploadOutcomeText(const UploadOutcome& outcome);
int UploadOutcomeStyle(const UploadOutcome& outcome);

// After a finished run the server holds datDir's index.fet: it becomes the
// server's copy in the program folder.
void KeepServerIndexCopy(const QString& datDir);

// The DAT directory (with trailing "/") of the current profile's script.
QString DatDirOfCurrentProfile();

}  // namespace lm
