// Listing lines of any content through the FTP listing parser in both of its
// forms (LIST and MLSD), fed the raw bytes of each line as a server sends
// them. ParseOne is the whole contact with the FTP client.
#include <cstdint>

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include "fuzz_support.h"
#include "sync/ftp_listing.h"

namespace {

void ParseOne(QByteArrayView line, const QDateTime& now) {
  lm::FtpFindData entry;
  if (lm::ParseFtpListingLine(line, lm::ListingFormat::LsLong, now, entry) && entry.name.isEmpty())
    fuzzsupport::Fail("LIST entry without a name");
  lm::FtpFindData fact;
  if (lm::ParseFtpListingLine(line, lm::ListingFormat::MachineFacts, now, fact) && fact.name.isEmpty())
    fuzzsupport::Fail("MLSD entry without a name");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const QDateTime now(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC);
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  for (const QByteArray& raw : bytes.split('\n')) ParseOne(raw, now);
  return 0;
}
