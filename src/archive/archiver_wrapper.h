// cUnLHA and cCAB: the wrappers of the archiver libraries UnLHA32.DLL and
// Cab32.DLL.
//
// Both classes are one implementation, cArchiver, bound to a library by its
// file name and the prefix of its C functions ("Unlha", "Cab"). They differ
// only in that binding and in the three ErrString texts that name the library.
// Assigning a command line (SetCommandLine) runs it synchronously in the
// library; OutPut, ReturnCode and ErrString then describe the result.
//
// Decisions:
// - Loading. The library is found by name through cFile::FindOnSearchPath
//   (the program directory first, so the libraries beside the executable are
//   the ones used) and loaded with dlopen when the object is made. It stays
//   mapped for the rest of the process (RTLD_NODELETE): a library built on
//   GObject cannot be unloaded safely, and later objects load it again
//   cheaply.
// - A missing library, or one without every expected function, is never
//   called. Loaded() is false and LoadError() says why. SetCommandLine and
//   ConfigDialog then set ReturnCode to kLibraryMissing and ErrString gives
//   the load error; the queries answer 0 / false; SetArcFile shows its
//   failure message and returns 0.
// - Texts cross to the library in code page 932. A command line that code
//   page 932 cannot hold is not passed on (no silent "?"): ReturnCode becomes
//   ARC_ERROR_COMMAND_NAME and ErrString names the problem.
// - Output buffer: (MaxFileCount + 4) * 80 bytes. SetMaxFileCount refuses
//   values above 405 (the buffer size must fit a signed 16-bit number) and
//   below -3 (no buffer left) and keeps the old value.
// - The File* accessors throw std::out_of_range for an index outside
//   fileList: that is an error of the call, not of the archive.
// - Truth values are plain bool.
// - Thousands and decimal separators of the listing come from the system
//   locale (a comma and a dot for Japanese and for the C locale).
#pragma once

#include <cstdint>
#include <vector>

#include <QString>

namespace lm {

// One listed archive member, the fields as SetArcFile formats them.
struct ArchiveEntry {
  QString FileName;
  QString FilePath;
  QString FileOriginal;
  QString FilePacked;
  QString FileRatio;
  QString FileDate;
  QString FILETIME;
  QString FileAttr;
  QString FileType;
  QString FileCRC;
};

// Which library a wrapper drives.
struct ArchiverBinding {
  const char* libraryFile;  // "UnLHA32.DLL"
  const char* prefix;       // "Unlha": the command function, then prefix + "GetVersion", ...
};

class cArchiver {
 public:
  // ReturnCode when the library could not be loaded (the platform's "file
  // not found" error number).
  static constexpr int32_t kLibraryMissing = 53;
  // Largest MaxFileCount: (405 + 4) * 80 is the largest buffer size that
  // fits a signed 16-bit number.
  static constexpr int16_t kMaxFileCountLimit = 405;

  explicit cArchiver(const ArchiverBinding& binding);
  ~cArchiver();
  cArchiver(const cArchiver&) = delete;
  cArchiver& operator=(const cArchiver&) = delete;

  bool Loaded() const { return api_ != nullptr; }
  QString LoadError() const { return loadError_; }
  QString LibraryFile() const;

  quintptr hwnd() const { return hwnd_; }
  void setHwnd(quintptr handle) { hwnd_ = handle; }

  QString CommandLine() const { return commandLine_; }
  // Runs the command in the library and waits for it.
  void SetCommandLine(const QString& command);
  QString OutPut() const { return output_; }
  int32_t ReturnCode() const { return returnCode_; }
  QString ErrString() const;

  int32_t Version() const;
  bool Running() const;
  bool BackGroundMode() const;
  void SetBackGroundMode(bool on);
  bool CursorMode() const;
  void SetCursorMode(bool on);

  int16_t MaxFileCount() const { return maxFileCount_; }
  // False (and no change) for a value outside -3 .. 405.
  bool SetMaxFileCount(int16_t count);
  int16_t CheckMode() const { return checkMode_; }
  void SetCheckMode(int16_t mode) { checkMode_ = mode; }

  bool CheckArchive(const QString& archivePath);

  // Lists the archive's members into fileList and returns their number.
  // fileList always holds at least one (empty) entry afterwards.
  int16_t SetArcFile(const QString& archivePath);
  const std::vector<ArchiveEntry>& fileList() const { return fileList_; }
  QString FileName(int16_t index) const { return Entry(index).FileName; }
  QString FilePath(int16_t index) const { return Entry(index).FilePath; }
  QString FileOriginal(int16_t index) const { return Entry(index).FileOriginal; }
  QString FilePacked(int16_t index) const { return Entry(index).FilePacked; }
  QString FileRatio(int16_t index) const { return Entry(index).FileRatio; }
  QString FileDate(int16_t index) const { return Entry(index).FileDate; }
  QString FILETIME(int16_t index) const { return Entry(index).FILETIME; }
  QString FileAttr(int16_t index) const { return Entry(index).FileAttr; }
  QString FileType(int16_t index) const { return Entry(index).FileType; }
  QString FileCRC(int16_t index) const { return Entry(index).FileCRC; }

  // The library's option dialog. `option` becomes its first 257 characters
  // padded with NULs, then the buffer's content after the call; the result is
  // the chosen option text, or "" when the library returned 0.
  QString ConfigDialog(QString& option, int32_t mode);

  // The ErrString text for `code` from a wrapper of the library `libraryFile`.
  static QString ErrStringFor(int32_t code, const QString& libraryFile);

 private:
  struct Api;
  const ArchiveEntry& Entry(int16_t index) const;
  void Fail(int32_t code, const QString& why);

  ArchiverBinding binding_;
  Api* api_ = nullptr;
  void* handle_ = nullptr;
  QString loadError_;

  QString commandLine_;
  QString output_;
  int32_t returnCode_ = 0;
  QString ownError_;  // set when the wrapper itself refused the call
  int16_t maxFileCount_ = 256;
  int16_t checkMode_ = 4;
  quintptr hwnd_ = 0;
  std::vector<ArchiveEntry> fileList_;
};

// UnLHA32.DLL through the functions Unlha, UnlhaGetVersion, ...
class cUnLHA : public cArchiver {
 public:
  cUnLHA();
};

// Cab32.DLL through the functions Cab, CabGetVersion, ...
class cCAB : public cArchiver {
 public:
  cCAB();
};

}  // namespace lm
