#include "util/index_line.h"

#include <QStringBuilder>

namespace lm {
namespace {

const QLatin1String kNextUpdateKey("#NextUpdate");
const QLatin1String kLineEnd("\r\n");

// Trims ordinary blanks (not tabs or other white space) at both ends.
QString TrimSpaces(const QString& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s.at(b) == QLatin1Char(' ')) ++b;
  while (e > b && s.at(e - 1) == QLatin1Char(' ')) --e;
  return s.mid(b, e - b);
}

}  // namespace

QString IndexHeaderText(const QString& nextUpdate) {
  return kNextUpdateKey + QLatin1Char(' ') + nextUpdate + kLineEnd + QLatin1String("#FieldInfo date ") +
         QString::number(kIndexDateWidth) + QLatin1String(" attr ") + QString::number(kIndexAttrWidth) +
         QLatin1String(" size ") + QString::number(kIndexSizeWidth) + kLineEnd;
}

bool NextUpdateOfLine(const QString& line, QString& value) {
  if (!line.startsWith(kNextUpdateKey)) return false;
  value = line.mid(kNextUpdateKey.size());
  return true;
}

QString IndexEntryLine(QStringView date, QStringView attr, QLatin1StringView size, QStringView treeMarker,
                       QStringView name) {
  return date % attr % size % treeMarker % name;
}

QString TmpIndexEntryLine(QStringView date, QStringView attr, QStringView treeMarker, QStringView name) {
  return date % attr % treeMarker % name;
}

bool SplitIndexLine(const QString& line, QString& date, QString& attr, QString& size, QString& name) {
  const QString trimmed = TrimSpaces(line);
  // 18 characters of fields, a mark and at least one character of name: a
  // one-character name directly in DAT makes a line of exactly 20.
  if (trimmed.size() < 20 || trimmed.startsWith(QLatin1Char('#'))) return false;
  date = line.mid(0, kIndexDateWidth);
  attr = line.mid(kIndexDateWidth, kIndexAttrWidth);
  size = line.mid(kIndexSizeOffset, kIndexSizeWidth);
  name = line.mid(kIndexNameOffset);
  return true;
}

}  // namespace lm
