// The "s" command: a self-extracting file made of the stub program, the
// archive and a trailer that points at the archive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "archive/common/progress_meter.h"
#include "archive/common/result_codes.h"
#include "archive/lha/command_parts.h"
#include "archive/lha/lha_archive.h"
#include "util/cp932/cp932.h"
#include "util/pathfind/path_find.h"

namespace lha {
namespace {

// Appends the file at `path` to `outFd`, counting its bytes on `meter`;
// false when it cannot be read or written, or the command is cancelled.
bool CopyFileBytes(int outFd, const std::string& path, uint64_t& copied, arc::ProgressMeter& meter) {
  const int in = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  std::vector<char> buf(1 << 16);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (::write(outFd, buf.data(), static_cast<std::size_t>(n)) != n) {
      ok = false;
      break;
    }
    copied += static_cast<uint64_t>(n);
    if (!meter.Add(static_cast<uint64_t>(n))) {
      ok = false;
      break;
    }
  }
  ::close(in);
  return ok;
}

}  // namespace

int CommandSfx(const Words& w, const CommandEnv& env, std::string& report) {
  std::string base = arc::ToSlashes(w.archive);
  std::string archive = base;
  if (AsciiLower(base).size() >= 4 && AsciiLower(base).substr(base.size() - 4) == ".lzh") {
    base.resize(base.size() - 4);
  } else {
    archive = base + ".lzh";
  }
  archive = ArchivePath(archive, false);
  {
    ArchiveReader reader;
    if (int rc = reader.Open(archive)) {
      report += "cannot read the archive " + archive + "\r\n";
      return rc;
    }
  }
  const std::size_t slash = base.rfind('/');
  const std::string leaf = slash == std::string::npos ? base : base.substr(slash + 1);
  std::string outDir;
  if (w.haveDir) {
    if (!pathfind::ResolveExisting(w.dir, outDir)) {
      report += "output directory not found: " + w.dir + "\r\n";
      return ARC_ERROR_MAKEDIRECTORY;
    }
  } else {
    const std::size_t s = archive.rfind('/');
    outDir = s == std::string::npos ? "." : archive.substr(0, s + 1);
  }
  const std::string exe = pathfind::Join(outDir, leaf + ".exe");
  if (env.stubPath.empty() || ::access(env.stubPath.c_str(), R_OK) != 0) {
    report += "self-extractor stub not found: " + env.stubPath + "\r\n";
    return ARC_ERROR_FILE_OPEN;
  }
  std::string tmp;
  mode_t newMode = 0644;
  const int fd = MakeTempFile(outDir, tmp, &newMode);
  if (fd < 0) return ARC_ERROR_TMP_OPEN;
  // Progress: the executable being made, over the bytes of stub and archive.
  arc::ProgressMeter meter;
  std::string exeName;
  if (!cp932::FromUtf8(leaf + ".exe", exeName)) exeName = leaf + ".exe";
  uint64_t total = 0;
  struct stat st {};
  if (meter.Active()) {
    if (::stat(env.stubPath.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
    if (::stat(archive.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
    meter.SetCommandTotal(total);
  }
  uint64_t stubSize = 0, archiveSize = 0;
  bool ok = meter.BeginMember(exeName, total) && CopyFileBytes(fd, env.stubPath, stubSize, meter) &&
            CopyFileBytes(fd, archive, archiveSize, meter);
  if (ok) {
    uint8_t trailer[kSfxTrailerSize];
    std::memcpy(trailer, kSfxMagic, 8);
    for (int i = 0; i < 8; ++i) trailer[8 + i] = static_cast<uint8_t>(stubSize >> (8 * i));
    ok = ::write(fd, trailer, sizeof trailer) == static_cast<ssize_t>(sizeof trailer);
  }
  // Executable wherever it is readable.
  ok = ok && fchmod(fd, newMode | ((newMode & 0444) >> 2)) == 0 && fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (meter.Cancelled()) {
    ::unlink(tmp.c_str());
    report += "cancelled: " + exe + "\r\n";
    return ARC_ERROR_USER_CANCEL;
  }
  if (!ok || ::rename(tmp.c_str(), exe.c_str()) != 0) {
    ::unlink(tmp.c_str());
    report += "cannot write " + exe + "\r\n";
    return ARC_ERROR_CANNOT_WRITE;
  }
  report += "made " + exe + "\r\n";
  return 0;
}

}  // namespace lha
