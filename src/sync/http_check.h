// The check of a published script as its users' clients see it: index.fet
// is fetched over HTTP or HTTPS from the script's public address, and every
// file it lists is asked for its size (HEAD; a ranged GET of the first byte
// where the server refuses HEAD with 405 or 501).
//
// Names in index.fet are Shift-JIS with "\" between levels. A file's address
// is the base address as given, a "/" when it does not end with one, and the
// path's levels joined by "/", each level's Shift-JIS bytes percent-encoded
// (every byte outside A-Z a-z 0-9 - . _ ~). That is what the platform's
// Windows clients send, so a server that stores the names as Shift-JIS
// bytes answers both alike. Every name of the downloaded index passes the
// name check first: an index that names "..", an absolute path or a control
// character stops the check before any address is built.
//
// TLS certificates are verified against the system's CAs. A further CA file
// (a company CA, or the test CA of the test suite) is taken from
// HttpCheckOptions::caFile, or else from the environment variable
// LOFTMARK_CA_FILE; it replaces the system's list for that run.
#pragma once

#include <functional>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "sync/server_upload.h"

namespace lm {

struct HttpCheckOptions {
  // Size cap and overall deadline of the index download.
  IndexFetchLimits index;
  // A connection attempt, and a transfer that moves no data, end after this
  // many seconds; one file's request ends after `fileDeadlineSeconds`.
  int stallSeconds = 30;
  int fileDeadlineSeconds = 60;
  // A CA file (PEM) used instead of the system's; empty: LOFTMARK_CA_FILE
  // when set, else the system's CAs.
  QString caFile;
  // Called before each file is asked for; false cancels the check.
  std::function<bool(int done, int total, const QString& path)> progress;
};

struct HttpCheckInput {
  QString baseUrl;         // http:// or https:// address of the folder that holds index.fet
  QString localIndexPath;  // the script's own index.fet; empty: not compared
  QString datDir;          // the script's DAT; files whose index lines agree are compared to the byte
};

struct HttpCheckResult {
  bool completed = false;   // false: the check stopped; `message` says why
  bool cancelled = false;
  QString message;
  QStringList differences;  // one line each, names shown escaped
  int filesChecked = 0;
  bool ok() const { return completed && differences.isEmpty(); }
};

// The whole check; nothing on the server is changed.
HttpCheckResult CheckServerOverHttp(const HttpCheckInput& input, const HttpCheckOptions& options = HttpCheckOptions());

// A base address fit for the check: http or https, a host, no blanks or
// control characters, no query or fragment. False with the reason in `why`.
bool IsUsableBaseUrl(const QString& baseUrl, QString* why = nullptr);

// The address of an index path ("\img\title.bmp") below `baseUrl`. False
// when a level cannot be written in Shift-JIS or fails the name check.
bool HttpFileUrl(const QString& baseUrl, const QString& indexPath, QByteArray& url, QString* why = nullptr);

}  // namespace lm
