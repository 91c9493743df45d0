// The texts of the help menu and of --version: the licence, the libraries
// the program loads, and where the README is.
#pragma once

#include <QString>
#include <QStringList>

namespace lm {

// Loftmark's licence and each library the program loads, one a line, with
// its version and licence: the archiver libraries as found beside the
// program, Qt, libcurl and what libcurl reports it was built with, OpenSSL,
// QtKeychain, libgcab, GLib and the C and C++ runtimes. Versions are read
// from the libraries as they run where a library tells its version, else
// the version built against. Plain text, lines ended by "\n".
QString LicenceAndLibrariesText();

// "Loftmark Ver.x.yy", what the program is, LicenceAndLibrariesText(), then
// the folders of the settings and working files (FoldersText).
QString AboutText(const QString& versionText);

// Where a document that comes with the program (README.md, LICENSE) may
// be, the first found wins: the copy the build puts in the program folder,
// then the one of the installed package (/usr/share/doc/loftmark).
QStringList DocumentCandidates(const QString& fileName);
// The first of `candidates` that is a file; empty when none is.
QString FirstExistingFile(const QStringList& candidates);
// The document to open; empty when there is none.
QString DocumentPath(const QString& fileName);
QString ReadmePath();
QString LicencePath();

}  // namespace lm
