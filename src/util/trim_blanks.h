// Trimming the blanks that typed texts carry.
#pragma once

#include <QString>

namespace lm {

// Trims ordinary blanks and the ideographic space U+3000 at both ends (not
// tabs or other white space).
QString TrimBlanks(const QString& text);

}  // namespace lm
