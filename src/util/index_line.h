// The line format of an update definition file (index.fet), known here
// once for the writer, the next-update reader and the comparison.
//
// The file starts with two header lines,
//   #NextUpdate 2004 3 1 9 0
//   #FieldInfo date 12 attr 1 size 5
// followed by one fixed-width line per entry: the date (12 characters,
// yyyymmddhhmm), the attribute ("d" or "f"), the size field (5 characters)
// and the tree name (depth marks "|", then "+", then the name). indextmp.fet
// holds the same entry lines without the size field and without the header.
// Lines end in CR LF.
#pragma once

#include <QString>
#include <QStringView>

namespace lm {

constexpr qsizetype kIndexDateWidth = 12;
constexpr qsizetype kIndexAttrWidth = 1;
constexpr qsizetype kIndexSizeWidth = 5;
constexpr qsizetype kIndexSizeOffset = kIndexDateWidth + kIndexAttrWidth;   // 13
constexpr qsizetype kIndexNameOffset = kIndexSizeOffset + kIndexSizeWidth;  // 18

// The two header lines, each ended by CR LF, for a next-update value such as
// "2004 3 1 9 0 ".
QString IndexHeaderText(const QString& nextUpdate);

// True when `line` is the "#NextUpdate" line; `value` is then the rest of the
// line as it stands (blanks not trimmed).
bool NextUpdateOfLine(const QString& line, QString& value);

// An entry line of index.fet, and the same without the size field for
// indextmp.fet. The tree name comes in its two parts: the marks and the name.
QString IndexEntryLine(QStringView date, QStringView attr, QLatin1StringView size, QStringView treeMarker,
                       QStringView name);
QString TmpIndexEntryLine(QStringView date, QStringView attr, QStringView treeMarker, QStringView name);

// Cuts an entry line into its four fields; false for header and comment
// lines and for lines without a name (fewer than 20 characters after
// trimming blanks).
bool SplitIndexLine(const QString& line, QString& date, QString& attr, QString& size, QString& name);

}  // namespace lm
