// Parts of a path as the settings spell it, with "\" or "/" between levels.
#pragma once

#include <QString>

namespace lm {

// The text after the last "\" or "/"; the whole path when there is none.
void FileNameOf(const QString& path, QString& out);
// The text up to and including the first "\" or "/"; the whole path when there is none.
void DriveOf(const QString& path, QString& out);
// The text after the last "." of the whole path; the whole path when there is none.
void ExtensionOf(const QString& path, QString& out);

}  // namespace lm
