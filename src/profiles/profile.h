// One profile: the named set of settings of one script, as lfup.ini keeps
// it. The table of all profiles is in profile_store.h; operations that work
// on one profile take it as an argument.
#pragma once

#include <array>
#include <cstdint>

#include <QString>

namespace lm {

constexpr int kProfileCapacity = 101;     // indexes 0..100
constexpr int kAttachmentCapacity = 51;   // addfile indexes 0..50

struct Profile {
  QString profile;      // name shown in the main window's list
  QString ugu;          // full path of the script information file; empty = no valid script
  QString dirarc;       // directory in which the archives are made
  QString addarc;       // extra arguments of the archiver's add command
  QString namearc;      // archive base name without extension
  std::array<QString, kAttachmentCapacity> addfile;  // attached files and directories
  int16_t addfilecnt = 0;                            // meaningful entries of addfile
  QString exewintitle;  // self-extractor window title
  QString exeviewdir;   // directory the self-extractor proposes
  QString autoview;     // document opened after extraction
  QString server;       // the upload's server: host, or ftp:// ftps:// sftp:// URL
  QString userid;
  QString password;     // empty when the password lives in the keyring
  QString dirserver;    // the server folder that mirrors DAT
  // Keys added for the upload; written only when set, so older readers see
  // the file they know (and ignore these keys when they do meet them).
  QString servercert;   // SHA-256 of an FTPS certificate the author trusts
  QString keyring;      // "1": the password is kept in the desktop's keyring

  void Clear() { *this = Profile{}; }
};

}  // namespace lm
