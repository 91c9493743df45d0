// Shared types of the FTP session: the Windows-style error numbers the
// session class reports, a failure record, and one listing entry.
#pragma once

#include <cstdint>

#include <QDateTime>
#include <QString>

namespace lm {

// Error numbers as the Windows FTP client reports them.
namespace ftperr {
constexpr uint32_t FileNotFound = 2;
constexpr uint32_t PathNotFound = 3;
constexpr uint32_t AccessDenied = 5;
constexpr uint32_t InvalidHandle = 6;
constexpr uint32_t NotEnoughMemory = 8;
constexpr uint32_t NoMoreFiles = 18;
constexpr uint32_t WriteFault = 29;
constexpr uint32_t ReadFault = 30;
constexpr uint32_t FileExists = 80;
constexpr uint32_t DiskFull = 112;
constexpr uint32_t Cancelled = 1223;
constexpr uint32_t NoUnicodeTranslation = 1113;
constexpr uint32_t Timeout = 12002;
constexpr uint32_t ExtendedError = 12003;
constexpr uint32_t InternalError = 12004;
constexpr uint32_t NameNotResolved = 12007;
constexpr uint32_t CannotConnect = 12029;
constexpr uint32_t ConnectionAborted = 12030;
constexpr uint32_t SecurityFailure = 12157;
}  // namespace ftperr

// What went wrong: an error number and, for ExtendedError, the server's
// reply. For the other numbers a non-empty `response` is a message of our
// own that says more than the system's text (a limit that was hit, a
// certificate that is not trusted).
struct FtpFailure {
  uint32_t code = 0;
  QString response;
};

// One entry of a remote listing, in the shape of the Windows find data.
struct FtpFindData {
  QString name;
  uint32_t attributes = 0;  // 16 directory, 128 ordinary file
  uint32_t sizeHigh = 0;
  uint32_t sizeLow = 0;
  QDateTime lastWrite;      // the fields the server gave, no zone conversion
};

constexpr uint32_t kAttrDirectory = 16;
constexpr uint32_t kAttrNormal = 128;

}  // namespace lm
