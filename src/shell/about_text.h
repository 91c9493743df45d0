// The texts of the help menu: the version information and where the README is.
#pragma once

#include <QString>

namespace lm {

// "Loftmark Ver.x.yy", the licence, and each library the program uses with
// its version (the archiver libraries as found beside the program, Qt as
// running, libgcab as built against), and the folders of the settings and
// working files (FoldersText). Plain text, lines ended by "\n".
QString AboutText(const QString& versionText);

// The README of the sources the program was built from; empty when it is
// not there (the program was moved elsewhere).
QString ReadmePath();

}  // namespace lm
