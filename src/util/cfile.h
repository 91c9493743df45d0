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
  // "major.minor(two digits).patch" read from a shared library's versioned
  // name (libfoo.so.4.8.0 gives 4.08.0, links followed); "" for any other file.
  QString FileVersion(const QString& strTargetFileName) const;
  // The temporary directory, with a trailing "/".
  QString TempPath() const;
  // The text after the last "\", "/" or ":"; the whole path when none.
  QString GetFileName(const QString& path) const;
  // Trailing blanks dropped, then a separator appended unless one ends it: the
  // path's own separator style, "\" when it has none.
  QString AddDirSep(const QString& strPathName) const;
  // True when the directory exists and can be listed. As in a Windows listing
  // a hidden directory (name beginning with ".") counts only when it holds a
  // visible entry; a hidden parent does not matter.
  bool DirExists(const QString& strDirName) const;
  // Quoted when the name holds a blank or a comma.
  QString AddQuotesToFN(const QString& fileName) const;
  QString StripQuotes(const QString& text) const;
  // The text before the last separator ("C:" for C:\f, "/" for /f); the
  // current directory when there is none.
  QString GetPathName(const QString& strFileName) const;
  // There are no short names on this platform: the path through AddQuotesToFN.
  QString GetDosShortPathName(const QString& path) const;
  // A new empty file TMPxxxxxx.Lzh in TempPath; "" when none can be made.
  QString TempFile() const;
  // A new empty file ~VBxxxxxx.tmp in TempPath; "" when none can be made.
  QString ResponceFile() const;
  // True when the path (one trailing separator dropped) names a visible
  // ordinary file. Wildcards in the last component match like a Windows
  // listing: without regard to case, "*.*" also matching names without a dot.
  bool FileExists(const QString& strPathName) const;
  // Creates every missing directory along the path ("\" and "/" both
  // separate); false when one cannot be made, keeping those already made.
  bool MakeDirs(const QString& directory) const;
  // Trimmed, one trailing separator dropped; a root ("/", "C:\") keeps it.
  QString RemoveDirSep(const QString& path) const;
  // "r" no write permission, "s" never (no system attribute), "h" a name
  // beginning with ".", "a" an ordinary file; "-" otherwise. "" when missing.
  QString AttribString(const QString& fileName) const;
};

}  // namespace lm
