#include "sync/ftp_listing.h"

#include <array>

#include "util/text_file.h"

namespace lm {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(QByteArrayView v) {
  if (v.isEmpty()) return false;
  for (char c : v)
    if (!IsDigit(c)) return false;
  return true;
}

// Digits to a number; false on overflow past 64 bits or no digits.
bool ToNumber(QByteArrayView v, quint64& out) {
  if (!AllDigits(v) || v.size() > 19) return false;
  out = 0;
  for (char c : v) out = out * 10 + static_cast<quint64>(c - '0');
  return true;
}

int ToInt(QByteArrayView v) {
  quint64 n = 0;
  return ToNumber(v, n) && n < 100000 ? static_cast<int>(n) : -1;
}

void SetSize(FtpFindData& out, quint64 size) {
  out.sizeHigh = static_cast<uint32_t>(size >> 32);
  out.sizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
}

QByteArrayView WithoutLineEnd(QByteArrayView line) {
  while (!line.isEmpty() && (line.back() == '\r' || line.back() == '\n')) line.chop(1);
  return line;
}

bool IsDotName(QByteArrayView name) { return name == "." || name == ".."; }

// "YYYYMMDDHHMMSS[.sss]" read field by field.
QDateTime FactTime(QByteArrayView v) {
  if (v.size() < 14 || !AllDigits(v.first(14))) return {};
  auto num = [&](int from, int len) { return ToInt(v.sliced(from, len)); };
  return QDateTime(QDate(num(0, 4), num(4, 2), num(6, 2)), QTime(num(8, 2), num(10, 2), num(12, 2)),
                   Qt::UTC);
}

bool EqualsNoCase(QByteArrayView a, const char* b) {
  return QByteArrayView(b).compare(a, Qt::CaseInsensitive) == 0;
}

bool ParseFacts(QByteArrayView line, FtpFindData& out) {
  // MLST answers on the control connection indent the fact line by one blank.
  if (line.startsWith(QByteArrayView(" "))) line = line.sliced(1);
  const qsizetype space = line.indexOf(' ');
  if (space <= 0) return false;
  const QByteArrayView facts = line.first(space);
  QByteArrayView name = line.sliced(space + 1);
  // MLST gives the full path name; the entry's name is its last component.
  if (name.size() > 1 && name.contains('/')) {
    while (name.size() > 1 && name.endsWith('/')) name.chop(1);
    name = name.sliced(name.lastIndexOf('/') + 1);
  }
  if (name.isEmpty()) return false;
  out = FtpFindData{};
  out.attributes = kAttrNormal;
  bool typed = false;
  qsizetype start = 0;
  while (start < facts.size()) {
    qsizetype end = facts.indexOf(';', start);
    if (end < 0) end = facts.size();
    const QByteArrayView fact = facts.sliced(start, end - start);
    start = end + 1;
    const qsizetype eq = fact.indexOf('=');
    if (eq <= 0) continue;
    const QByteArrayView key = fact.first(eq);
    const QByteArrayView value = fact.sliced(eq + 1);
    if (EqualsNoCase(key, "type")) {
      if (EqualsNoCase(value, "cdir") || EqualsNoCase(value, "pdir")) return false;
      out.attributes = EqualsNoCase(value, "dir") ? kAttrDirectory : kAttrNormal;
      typed = true;
    } else if (EqualsNoCase(key, "size") || EqualsNoCase(key, "sizd")) {
      quint64 size = 0;
      if (ToNumber(value, size)) SetSize(out, size);
    } else if (EqualsNoCase(key, "modify")) {
      out.lastWrite = FactTime(value);
    }
  }
  if (!typed) return false;
  out.name = DecodeCp932(name.toByteArray());
  return true;
}

// The first `max` blank-separated words of a line with their start offsets.
struct Words {
  static constexpr int kMax = 9;
  std::array<QByteArrayView, kMax> word;
  std::array<qsizetype, kMax> end{};
  int count = 0;
};

Words SplitWords(QByteArrayView line) {
  Words w;
  qsizetype i = 0;
  while (w.count < Words::kMax) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    const qsizetype from = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    w.word[w.count] = line.sliced(from, i - from);
    w.end[w.count] = i;
    ++w.count;
  }
  return w;
}

int MonthOf(QByteArrayView v) {
  static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
  if (v.size() != 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (EqualsNoCase(v, months[m])) return m + 1;
  return 0;
}

bool IsPermissions(QByteArrayView v) {
  if (v.size() != 10 && v.size() != 11) return false;
  if (!QByteArrayView("dl-bcps").contains(v[0])) return false;
  for (int i = 1; i < 10; ++i)
    if (!QByteArrayView("rwxsStTl-").contains(v[i])) return false;
  return v.size() == 10 || QByteArrayView("+@.").contains(v[10]);
}

bool ParseUnix(QByteArrayView line, const QDateTime& now, FtpFindData& out) {
  const Words w = SplitWords(line);
  if (w.count < 8 || !IsPermissions(w.word[0]) || !AllDigits(w.word[1])) return false;
  // Owner and group, or an owner alone: the size is the word before the month.
  for (int month = 5; month >= 4; --month) {
    if (month + 2 >= w.count) continue;
    const int m = MonthOf(w.word[month]);
    quint64 size = 0;
    if (m == 0 || !ToNumber(w.word[month - 1], size)) continue;
    const QByteArrayView dayWord = w.word[month + 1];
    const QByteArrayView yearOrTime = w.word[month + 2];
    const int day = dayWord.size() <= 2 ? ToInt(dayWord) : -1;
    if (day < 0) continue;
    // The name begins one blank after the year or time and runs to the end.
    const qsizetype nameStart = w.end[month + 2] + 1;
    if (nameStart >= line.size()) continue;
    QByteArrayView name = line.sliced(nameStart);
    QTime time(0, 0);
    int year = 0;
    const qsizetype colon = yearOrTime.indexOf(':');
    if (colon > 0) {
      if (colon > 2 || yearOrTime.size() - colon - 1 != 2) continue;
      const int h = ToInt(yearOrTime.first(colon)), mi = ToInt(yearOrTime.sliced(colon + 1));
      if (h < 0 || mi < 0) continue;
      time = QTime(h, mi);
      // "Mon dd hh:mm" means within the last half year: this year, or last
      // year when that date would lie in the future.
      year = now.date().year();
      if (QDate(year, m, day) > now.date().addDays(1)) --year;
    } else {
      if (yearOrTime.size() != 4) continue;
      year = ToInt(yearOrTime);
      if (year < 0) continue;
    }
    if (w.word[0][0] == 'l') {
      const qsizetype arrow = name.indexOf(" -> ");
      if (arrow > 0) name.truncate(arrow);
    }
    if (IsDotName(name)) return false;
    out = FtpFindData{};
    out.name = DecodeCp932(name.toByteArray());
    out.attributes = w.word[0][0] == 'd' ? kAttrDirectory : kAttrNormal;
    SetSize(out, size);
    out.lastWrite = QDateTime(QDate(year, m, day), time, Qt::UTC);
    return true;
  }
  return false;
}

bool ParseDos(QByteArrayView line, FtpFindData& out) {
  const Words w = SplitWords(line);
  if (w.count < 4) return false;
  // MM-DD-YY or MM-DD-YYYY
  const QByteArrayView date = w.word[0];
  if ((date.size() != 8 && date.size() != 10) || date[2] != '-' || date[5] != '-') return false;
  const int month = ToInt(date.first(2)), day = ToInt(date.sliced(3, 2));
  int year = ToInt(date.sliced(6));
  if (month < 0 || day < 0 || year < 0) return false;
  if (date.size() == 8) year += year < 70 ? 2000 : 1900;
  // H:MM or HH:MM, optionally followed by AM or PM
  QByteArrayView clock = w.word[1];
  QByteArrayView ampm;
  if (clock.size() > 2 && !IsDigit(clock.back())) {
    ampm = clock.last(2);
    clock.chop(2);
  }
  const qsizetype colon = clock.indexOf(':');
  if (colon < 1 || colon > 2 || clock.size() - colon - 1 != 2) return false;
  int hour = ToInt(clock.first(colon));
  const int minute = ToInt(clock.sliced(colon + 1));
  if (hour < 0 || minute < 0) return false;
  if (!ampm.isEmpty()) {
    if (EqualsNoCase(ampm, "pm")) {
      if (hour < 12) hour += 12;
    } else if (EqualsNoCase(ampm, "am")) {
      if (hour == 12) hour = 0;
    } else {
      return false;
    }
  }
  const QByteArrayView kind = w.word[2];
  const bool dir = kind == "<DIR>";
  quint64 size = 0;
  if (!dir && !ToNumber(kind, size)) return false;
  qsizetype nameStart = w.end[2];
  while (nameStart < line.size() && IsBlank(line[nameStart])) ++nameStart;
  const QByteArrayView name = line.sliced(nameStart);
  if (name.isEmpty() || IsDotName(name)) return false;
  out = FtpFindData{};
  out.name = DecodeCp932(name.toByteArray());
  out.attributes = dir ? kAttrDirectory : kAttrNormal;
  if (!dir) SetSize(out, size);
  out.lastWrite = QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
  return true;
}

QByteArray LineBytes(const QString& line) {
  QByteArray bytes;
  if (!EncodeCp932(line, bytes)) bytes = line.toUtf8();
  return bytes;
}

}  // namespace

bool ParseFtpListingLine(QByteArrayView line, ListingFormat format, const QDateTime& now,
                         FtpFindData& out) {
  if (line.size() > kMaxListingLineBytes) return false;
  line = WithoutLineEnd(line);
  if (format == ListingFormat::MachineFacts) return ParseFacts(line, out);
  return ParseUnix(line, now, out) || ParseDos(line, out);
}

bool ParseMlsxLine(const QString& line, FtpFindData& out) {
  return ParseFtpListingLine(LineBytes(line), ListingFormat::MachineFacts, QDateTime(), out);
}

bool ParseListLine(const QString& line, const QDateTime& now, FtpFindData& out) {
  return ParseFtpListingLine(LineBytes(line), ListingFormat::LsLong, now, out);
}

}  // namespace lm
