// Lets GoogleTest print texts and lists of texts readably.
#pragma once

#include <ostream>

#include <QString>
#include <QStringList>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* os) {
  *os << "{";
  for (qsizetype i = 0; i < list.size(); ++i) *os << (i ? ", " : " ") << '"' << list[i].toStdString() << '"';
  *os << " }";
}
