// Parsers for the lines of a remote directory listing.
//
// ParseFtpListingLine is the one parser: it takes the raw bytes of one line
// as the server sent them and fills one entry. It runs in time linear in the
// line's length (one pass, no backtracking), refuses lines longer than
// kMaxListingLineBytes without looking further, and decodes only the name
// (Shift-JIS), so a hostile listing cannot make it slow.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include "sync/ftp_types.h"
#include "util/cfile.h"

namespace lm {

constexpr qsizetype kMaxListingLineBytes = 4096;

enum class ListingFormat {
  MachineFacts,  // MLSD/MLST "type=file;size=12;modify=20040219061000; name"
  LsLong,        // LIST in the Unix "ls -l" form or the DOS form (also SFTP listings)
};

// One listing line (line end optional) -> one entry. False for lines that are
// not entries ("." and "..", "total", malformed or over-long lines). `now`
// decides the year of Unix dates that carry a time instead of a year.
bool ParseFtpListingLine(QByteArrayView line, ListingFormat format, const QDateTime& now,
                         FtpFindData& out);

// Text forms of the same parser.
bool ParseMlsxLine(const QString& line, FtpFindData& out);
bool ParseListLine(const QString& line, const QDateTime& now, FtpFindData& out);

// Windows-style wildcard match ("*" any run, "?" one character), case-sensitive:
// the file utilities' matcher.
inline bool WildcardMatch(const QString& pattern, const QString& name) {
  return MatchesWildcard(pattern, name, Qt::CaseSensitive);
}

}  // namespace lm
