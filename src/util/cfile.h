// File-system questions that several parts of the program ask.
//
// cFile is stateless; its operations answer false or a fallback instead of
// failing. Truth values are plain bool here. Paths may use "\" or "/"; every
// lookup of an existing entry goes through the case-insensitive resolver.
#pragma once

#include <QString>

namespace lm {

// "*" matches any run of characters, "?" exactly one; nothing else is special.
bool MatchesWildcard(const QString& pattern, const QString& name, Qt::CaseSensitivity cs = Qt::CaseSensitive);

class cFile {
 public:
  // The command that opens the file with the desktop's default application, "" when none.
  QString Executable(const QString& fileName) const;
  // The description of the file's type from the MIME database.
  QString GetFileType(const QString& fileName) const;
  // The extension after the last "." of the last component, upper case; "" when none.
  QString Extension(const QString& fileName) const;
  // Opens the file locked against other writers; a handle > 0, or 0.
  int FileLock(const QString& strFileName);
  void FileUnlock(int intFileNum);
  // A shortened path for display, "&" doubled.
  QString OmitPathName(const QString& path) const;
  // True when the file is found in the program directory, the current
  // directory, the library directories or PATH (a path with a separator is
  // tested directly); names match without regard to case.
  bool CheckExistFile(const QString& fileName) const;
  // The path CheckExistFile found, "" when none.
  QString FindOnSearchPath(const QString& fileName) const;
  QString FileVersion(const QString& strTargetFileName) const;
  QString TempPath() const;
  QString GetFileName(const QString& path) const;
  QString AddDirSep(const QString& strPathName) const;
  bool DirExists(const QString& strDirName) const;
  QString AddQuotesToFN(const QString& fileName) const;
  QString StripQuotes(const QString& text) const;
  QString GetPathName(const QString& strFileName) const;
  // There are no short names on this platform: the path through AddQuotesToFN.
  QString GetDosShortPathName(const QString& path) const;
  QString TempFile() const;
  QString ResponceFile() const;
  bool FileExists(const QString& strPathName) const;
  bool MakeDirs(const QString& directory) const;
  QString RemoveDirSep(const QString& path) const;
  QString AttribString(const QString& fileName) const;
};

}  // namespace lm
