// Listing lines of any content through the FTP listing parsers (LIST and
// MLSD forms), decoded from Shift-JIS as the client decodes them. The two
// parser calls in ParseOne are the whole contact with the FTP client: point
// them at whatever parses listing lines.
#include <cstdint>

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include "fuzz_support.h"
#include "sync/ftp_connection.h"
#include "util/text_file.h"

namespace {

void ParseOne(const QString& line, const QDateTime& now) {
  lm::FtpFindData entry;
  if (lm::ParseListLine(line, now, entry) && entry.name.isEmpty()) fuzzsupport::Fail("LIST entry without a name");
  lm::FtpFindData fact;
  lm::ParseMlsxLine(line, fact);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const QDateTime now(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC);
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  for (const QByteArray& raw : bytes.split('\n')) ParseOne(lm::DecodeCp932(raw), now);
  return 0;
}
