// Listing lines of the forms servers send that the test server does not:
// DOS-style LIST lines, symbolic links, Unix dates without a year, odd facts.
#include <iterator>

#include <gtest/gtest.h>

#include "sync/ftp_listing.h"
#include "sync/sync_test_print.h"

namespace {

using lm::FtpFindData;

quint64 SizeOf(const FtpFindData& d) { return (quint64(d.sizeHigh) << 32) | d.sizeLow; }

QDateTime Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

// One listing line and the entry it should give (entry false: no entry).
struct LineCase {
  const char* line;
  bool entry;
  const char* name;
  uint32_t attributes;
  quint64 size;
  QDateTime date;  // not checked when invalid
};

template <typename Parse>
void CheckLines(const LineCase* begin, const LineCase* end, Parse parse) {
  for (const LineCase* c = begin; c != end; ++c) {
    FtpFindData d;
    ASSERT_EQ(parse(QString::fromUtf8(c->line), d), c->entry) << c->line;
    if (!c->entry) continue;
    EXPECT_EQ(d.name, QString::fromUtf8(c->name)) << c->line;
    EXPECT_EQ(d.attributes, c->attributes) << c->line;
    EXPECT_EQ(SizeOf(d), c->size) << c->line;
    if (c->date.isValid()) {
      EXPECT_EQ(d.lastWrite, c->date) << c->line;
    }
  }
}

TEST(FtpListingLines, MachineReadableFacts) {
  const LineCase cases[] = {
      {"type=file;size=5000000000;modify=20040219061007; big.bin", true, "big.bin", 128, 5000000000ULL,
       Utc(2004, 2, 19, 6, 10, 7)},
      {"Type=DIR;Modify=20040220013000.123;Perm=el; sub dir", true, "sub dir", 16, 0, Utc(2004, 2, 20, 1, 30)},
      {"type=cdir;modify=20040220013000; .", false, "", 0, 0, {}},
      {"type=pdir;modify=20040220013000; ..", false, "", 0, 0, {}},
      {"type=OS.unix=slink:/x;size=3; link", true, "link", 128, 3, {}},
      {" type=file;size=12; /pub/a.txt\r", true, "a.txt", 128, 12, {}},  // MLST reply line
      {"size=12; nofacttype", false, "", 0, 0, {}},
      {"garbage", false, "", 0, 0, {}},
  };
  CheckLines(std::begin(cases), std::end(cases),
             [](const QString& line, FtpFindData& d) { return lm::ParseMlsxLine(line, d); });
}

TEST(FtpListingLines, UnixAndDosListLines) {
  const QDateTime now = Utc(2026, 3, 10, 12, 0);
  const LineCase cases[] = {
      {"-rw-r--r--   1 owner group     5000000000 Feb 19  2004 big file.bin", true, "big file.bin", 128,
       5000000000ULL, Utc(2004, 2, 19)},
      {"drwxr-xr-x   2 owner group           4096 Mar 01 09:15 img", true, "img", 16, 4096,
       Utc(2026, 3, 1, 9, 15)},
      // A time instead of a year within the last half year: a December date
      // seen in March is last year's.
      {"-rw-r--r--   1 owner group             12 Dec 24 18:00 xmas.txt", true, "xmas.txt", 128, 12,
       Utc(2025, 12, 24, 18, 0)},
      {"lrwxrwxrwx   1 owner group              7 Jan 02  2020 current -> release", true, "current", 128, 7,
       Utc(2020, 1, 2)},
      {"-rw-r--r--   1 owner     12 Jan 02  2020 nogroup.txt", true, "nogroup.txt", 128, 12, Utc(2020, 1, 2)},
      {"drwxr-xr-x   2 owner group           4096 Mar 01 09:15 .", false, "", 0, 0, {}},
      {"02-19-04  03:10PM       <DIR>          data", true, "data", 16, 0, Utc(2004, 2, 19, 15, 10)},
      {"02-19-2004  12:05AM             12345 title.bmp", true, "title.bmp", 128, 12345,
       Utc(2004, 2, 19, 0, 5)},
      {"total 12", false, "", 0, 0, {}},
      {"", false, "", 0, 0, {}},
  };
  CheckLines(std::begin(cases), std::end(cases),
             [&](const QString& line, FtpFindData& d) { return lm::ParseListLine(line, now, d); });
}

TEST(FtpListingLines, Wildcards) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*", "anything", true},     {"*.txt", "a.txt", true},      {"*.txt", "a.txt.bak", false},
      {"a?c", "abc", true},        {"a?c", "ac", false},          {"*a*b", "xxaybzb", true},
      {"*.TXT", "a.txt", false},   {"", "", true},                {"", "a", false},
      {"**x", "x", true},          {"a*", "", false},             {"a*b*c", "abbbc", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lm::WildcardMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.match)
        << c.pattern << " vs " << c.name;
}

}  // namespace
