#include "util/path_parts.h"

#include <algorithm>

namespace lm {

void FileNameOf(const QString& path, QString& out) {
  const int pos = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
  out = pos >= 0 ? path.mid(pos + 1) : path;
}

void DriveOf(const QString& path, QString& out) {
  int pos = -1;
  for (int i = 0; i < path.size(); ++i) {
    if (path.at(i) == QLatin1Char('\\') || path.at(i) == QLatin1Char('/')) {
      pos = i;
      break;
    }
  }
  out = pos >= 0 ? path.left(pos + 1) : path;
}

void ExtensionOf(const QString& path, QString& out) {
  const int pos = path.lastIndexOf(QLatin1Char('.'));
  out = pos >= 0 ? path.mid(pos + 1) : path;
}

}  // namespace lm
