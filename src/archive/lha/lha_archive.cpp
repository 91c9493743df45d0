#include "archive/lha/lha_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <unordered_map>

#include "archive/common/progress_meter.h"
#include "archive/common/result_codes.h"
#include "archive/lha/crc16.h"
#include "archive/lha/lha_prepack.h"
#include "archive/lha/lha_source_file.h"
#include "util/cp932/cp932.h"
#include "util/pathfind/name_fold.h"

namespace lha {
namespace {

bool ValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n < 0 || i + n >= s.size() + (n == 0)) return n == 0;
    for (int k = 1; k <= n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += static_cast<std::size_t>(n) + 1;
  }
  return true;
}

// Another tool's self-extracting file: the first offset in the first 64
// KiB (after offset 0) where a member header reads without a fault and is
// followed by another or by the end mark. Leaves `start` alone and returns
// false when there is none, or when the file starts with a header itself.
bool FindEmbeddedArchive(const FileSource& src, uint64_t fileSize, uint64_t& start);

bool FindEmbeddedArchive(const FileSource& src, uint64_t fileSize, uint64_t& start) {
  constexpr uint64_t kScan = uint64_t{1} << 16;
  Member m;
  if (ReadHeader(src, 0, fileSize, m) == 0) return false;
  const std::size_t span = static_cast<std::size_t>(std::min<uint64_t>(fileSize, kScan + 8));
  std::vector<uint8_t> head(span);
  if (span < 22 || src.ReadSome(0, head.data(), span) != span) return false;
  for (std::size_t at = 1; at + 7 <= span && at <= kScan; ++at) {
    // "-l??-" at 2 and a header level of 0 to 3 at 20.
    if (head[at + 2] != '-' || head[at + 3] != 'l' || head[at + 6] != '-') continue;
    if (at + 21 <= span && head[at + 20] > 3) continue;
    if (ReadHeader(src, at, fileSize, m) != 0) continue;
    Member next;
    const int rc = ReadHeader(src, m.dataOffset + m.packedSize, fileSize, next);
    if (rc != 0 && rc != 1) continue;
    start = at;
    return true;
  }
  return false;
}

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

}  // namespace

int MakeTempFile(const std::string& dir, std::string& path, mode_t* mode) {
  std::string base = dir.empty() ? std::string(".") : dir;
  if (base.back() != '/') base += '/';
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".lha-%08x%04x", rd(), counter++ & 0xFFFF);
    // Created with 0666 so that the process's umask applies, as it does to
    // any new file.
    const int fd = ::open((base + name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      path = base + name;
      struct stat st {};
      if (mode) *mode = fstat(fd, &st) == 0 ? (st.st_mode & 0777) : 0644;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

std::string StoredNameToUtf8(const std::string& stored) {
  std::string utf8;
  if (!cp932::ToUtf8(stored, utf8)) {
    utf8 = ValidUtf8(stored) ? stored : cp932::ToUtf8Lossy(stored);
  }
  for (char& c : utf8) {
    if (c == '\\') c = '/';
  }
  return utf8;
}

bool SameMemberName(const std::string& a, const std::string& b) {
  if (a.size() == b.size()) {
    bool same = true;
    for (std::size_t i = 0; i < a.size() && same; ++i) {
      same = a[i] == b[i] || ((a[i] == '\\' || a[i] == '/') && (b[i] == '\\' || b[i] == '/'));
    }
    if (same) return true;
  }
  return MemberNameKey(a) == MemberNameKey(b);
}

std::string MemberNameKey(const std::string& utf8Path) {
  std::string key = pathfind::FoldName(utf8Path);
  for (char& c : key) {
    if (c == '\\') c = '/';
  }
  return key;
}

ArchiveReader::~ArchiveReader() {
  if (f_) std::fclose(f_);
}

int ArchiveReader::Open(const std::string& path) {
  // Opened without waiting, so that a FIFO or device in the archive's place
  // is refused instead of blocking the command.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ARC_ERROR_ARC_FILE_OPEN;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ARC_ERROR_ARC_FILE_OPEN;
  }
  f_ = fdopen(fd, "rb");
  if (!f_) {
    ::close(fd);
    return ARC_ERROR_ARC_FILE_OPEN;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  FileSource src(f_);
  // A self-extracting file made by our writer names the archive's start in
  // its trailer; the archive ends where the trailer begins.
  uint64_t end = size_;
  LocateArchive(src, size_, start_, end);
  // Another tool's self-extracting file: the archive behind its program.
  if (start_ == 0 && end == size_) FindEmbeddedArchive(src, size_, start_);
  std::vector<Member> members;
  const int rc = ReadMembers(src, start_, end, members);
  entries_.reserve(members.size());
  for (Member& m : members) {
    Entry e;
    if (m.utf8Name.empty()) {
      e.path = StoredNameToUtf8(m.name);
    } else {
      // The UTF-16 name is the real one: the files get it, and listings
      // show it in code page 932 where it fits.
      e.path = m.utf8Name;
      std::string sjis;
      std::string backslashed = m.utf8Name;
      for (char& c : backslashed) {
        if (c == '/') c = '\\';
      }
      if (cp932::FromUtf8(backslashed, sjis)) m.name = sjis;
    }
    e.m = std::move(m);
    entries_.push_back(std::move(e));
  }
  return rc;
}

int ArchiveReader::Extract(const Entry& e, const ByteSink& sink) const {
  return DecodeMember(FileSource(f_), e.m, sink);
}

bool ArchiveReader::CopyRaw(const Entry& e, std::FILE* out) const {
  FileSource src(f_);
  std::vector<uint8_t> buf(1 << 16);
  uint64_t left = e.m.headerLength + e.m.packedSize, at = e.m.headerOffset;
  while (left > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(left, buf.size()));
    if (!src.ReadAt(at, buf.data(), n)) return false;
    if (std::fwrite(buf.data(), 1, n, out) != n) return false;
    left -= n;
    at += n;
  }
  return true;
}

namespace {

// The line of the command's report for a member written.
std::string ReportLine(const Member& m) {
  return StoredNameToUtf8(m.name) + " " + std::string(m.method, 5) + " " + std::to_string(m.originalSize) + " -> " +
         std::to_string(m.packedSize) + "\r\n";
}

// A file member's header fields from the file's status, sizes and CRC
// still to come.
Member FileMember(const NewMember& nm, const struct stat& st, int dictionaryBits) {
  Member m;
  m.name = nm.storedName;
  m.mtime = st.st_mtime;
  m.originalSize = static_cast<uint64_t>(st.st_size);
  m.dosAttribute = (st.st_mode & S_IWUSR) ? 0x20 : 0x21;
  std::memcpy(m.method, MethodName(dictionaryBits), 6);
  return m;
}

// Writes a file that was packed ahead.
int WritePrepackedMember(std::FILE* out, const NewMember& nm, const PrepackedMember& pre, const WriteOptions& options,
                         arc::ProgressMeter& meter, std::string& report) {
  if (pre.rc) return pre.rc;
  if (!meter.BeginMember(nm.storedName, static_cast<uint64_t>(pre.st.st_size)) ||
      !meter.Add(static_cast<uint64_t>(pre.st.st_size))) {
    return ARC_ERROR_USER_CANCEL;
  }
  Member m = FileMember(nm, pre.st, options.dictionaryBits);
  if (pre.stored) std::memcpy(m.method, "-lh0-", 6);
  m.crc = pre.crc;
  m.packedSize = pre.data.size();
  const std::vector<uint8_t> h = BuildLevel2Header(m);
  if (std::fwrite(h.data(), 1, h.size(), out) != h.size() ||
      (!pre.data.empty() && std::fwrite(pre.data.data(), 1, pre.data.size(), out) != pre.data.size())) {
    return ARC_ERROR_CANNOT_WRITE;
  }
  report += ReportLine(m);
  return 0;
}

// Writes a new member: a folder, a file packed ahead (`pre`), or a file
// packed here while it is read.
int WriteNewMember(std::FILE* out, const NewMember& nm, const PrepackedMember* pre, const WriteOptions& options,
                   LzhEncoder& encoder, arc::ProgressMeter& meter, std::string& report) {
  if (pre) return WritePrepackedMember(out, nm, *pre, options, meter, report);
  if (nm.isDirectory) {
    if (!meter.BeginMember(nm.storedName, 0)) return ARC_ERROR_USER_CANCEL;
    struct stat st {};
    if (::stat(nm.sourcePath.c_str(), &st) != 0) return ARC_ERROR_FILE_OPEN;
    Member m;
    m.name = nm.storedName;
    std::memcpy(m.method, "-lhd-", 6);
    m.mtime = st.st_mtime;
    m.dosAttribute = 0x10;
    const std::vector<uint8_t> h = BuildLevel2Header(m);
    if (std::fwrite(h.data(), 1, h.size(), out) != h.size()) return ARC_ERROR_CANNOT_WRITE;
    report += StoredNameToUtf8(nm.storedName) + "/ (directory)\r\n";
    return 0;
  }
  struct stat st {};
  int openRc = 0;
  const int fd = OpenSource(nm.sourcePath, st, openRc);
  if (fd < 0) return openRc;
  FdCloser closer{fd};
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  Member m = FileMember(nm, st, options.dictionaryBits);
  if (!meter.BeginMember(nm.storedName, size)) return ARC_ERROR_USER_CANCEL;
  // The header first with the sizes and CRC not yet known; it is written
  // again when they are (its length does not depend on them).
  const off_t headerAt = ftello(out);
  const std::size_t headerSize = BuildLevel2Header(m).size();
  {
    const std::vector<uint8_t> h = BuildLevel2Header(m);
    if (headerAt < 0 || std::fwrite(h.data(), 1, h.size(), out) != h.size()) return ARC_ERROR_CANNOT_WRITE;
  }
  // Packed in segments straight into the archive; when the packed data
  // would be no smaller than the file, packing stops and the file is stored.
  uint16_t crc = 0;
  uint64_t packedSize = 0, readBytes = 0;
  bool readFailed = false, writeFailed = false;
  // A cancel ends the input early: the encoder then finishes quickly on
  // what it has, and the member is dropped.
  const ByteSource source = [&](uint8_t* buf, std::size_t n) -> std::size_t {
    if (meter.Cancelled()) return 0;
    const std::size_t got = ReadSome(fd, buf, n, readFailed);
    crc = Crc16(buf, got, crc);
    readBytes += got;
    return meter.Add(got) ? got : 0;
  };
  const ByteSink sink = [&](const uint8_t* d, std::size_t n) {
    if (packedSize + n >= size) return false;
    if (std::fwrite(d, 1, n, out) != n) {
      writeFailed = true;
      return false;
    }
    packedSize += n;
    return true;
  };
  EncoderOptions eo;
  eo.dictionaryBits = options.dictionaryBits;
  eo.parse = options.parse;
  // A large file is parsed in segments on as many threads as pack ahead.
  eo.threads = options.threads > 0 ? options.threads : MemberPrepacker::DefaultThreads();
  const bool packed = size > 0 && encoder.Encode(source, size, eo, sink);
  if (meter.Cancelled()) return ARC_ERROR_USER_CANCEL;
  if (readFailed) return ARC_ERROR_FILE_OPEN;
  if (writeFailed) return ARC_ERROR_CANNOT_WRITE;
  if (packed && readBytes != size) return ARC_ERROR_FILE_OPEN;  // the file shrank while read
  if (!packed) {
    // Stored: the data again from the start, over whatever was packed.
    if (fseeko(out, headerAt + static_cast<off_t>(headerSize), SEEK_SET) != 0) return ARC_ERROR_CANNOT_WRITE;
    if (::lseek(fd, 0, SEEK_SET) != 0) return ARC_ERROR_FILE_OPEN;
    std::memcpy(m.method, "-lh0-", 6);
    crc = 0;
    uint64_t copied = 0;
    if (!meter.BeginMember(nm.storedName, size)) return ARC_ERROR_USER_CANCEL;
    std::vector<uint8_t> buf(std::size_t{1} << 16);
    while (copied < size) {
      const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(buf.size(), size - copied));
      const std::size_t got = ReadSome(fd, buf.data(), want, readFailed);
      if (got == 0) return ARC_ERROR_FILE_OPEN;
      crc = Crc16(buf.data(), got, crc);
      if (std::fwrite(buf.data(), 1, got, out) != got) return ARC_ERROR_CANNOT_WRITE;
      copied += got;
      if (!meter.Add(got)) return ARC_ERROR_USER_CANCEL;
    }
    packedSize = size;
  }
  m.crc = crc;
  m.packedSize = packedSize;
  const std::vector<uint8_t> h = BuildLevel2Header(m);
  const off_t end = headerAt + static_cast<off_t>(headerSize + packedSize);
  if (h.size() != headerSize || fseeko(out, headerAt, SEEK_SET) != 0 ||
      std::fwrite(h.data(), 1, h.size(), out) != h.size() || fseeko(out, end, SEEK_SET) != 0) {
    return ARC_ERROR_CANNOT_WRITE;
  }
  report += ReportLine(m);
  return 0;
}

}  // namespace

int WriteArchive(const std::string& target, const ArchiveReader* existing, const std::vector<bool>& keep,
                 const std::vector<NewMember>& added, const WriteOptions& options, std::string& report,
                 std::string& failedName) {
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  std::string tmpPath;
  const int fd = MakeTempFile(dir, tmpPath);
  if (fd < 0) return ARC_ERROR_TMP_OPEN;
  std::unique_ptr<std::FILE, FileCloser> out(fdopen(fd, "wb"));
  if (!out) {
    ::close(fd);
    ::unlink(tmpPath.c_str());
    return ARC_ERROR_TMP_OPEN;
  }
  auto fail = [&](int rc) {
    out.reset();
    ::unlink(tmpPath.c_str());
    return rc;
  };

  // The order of writing: the kept old members, each replaced in place by a
  // new member of its name (of several new members of one name, the first
  // not yet written replaces the next old one, found through a hash table
  // in constant time), then the remaining new members.
  struct Step {
    bool copyOld;
    std::size_t index;  // into the old entries or into `added`
  };
  std::vector<Step> steps;
  std::vector<bool> written(added.size(), false);
  if (existing) {
    std::unordered_map<std::string, std::deque<std::size_t>> addedByName;
    for (std::size_t j = 0; j < added.size(); ++j) {
      addedByName[MemberNameKey(StoredNameToUtf8(added[j].storedName))].push_back(j);
    }
    const auto& entries = existing->entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (i < keep.size() && !keep[i]) continue;
      const auto hit = addedByName.find(MemberNameKey(entries[i].path));
      if (hit != addedByName.end() && !hit->second.empty()) {
        steps.push_back({false, hit->second.front()});
        written[hit->second.front()] = true;
        hit->second.pop_front();
      } else {
        steps.push_back({true, i});
      }
    }
  }
  for (std::size_t j = 0; j < added.size(); ++j) {
    if (!written[j]) steps.push_back({false, j});
  }

  // Files are packed ahead on worker threads, in the order written; a
  // large one is streamed here while the workers go on with those after it.
  std::vector<std::size_t> files;
  for (const Step& step : steps) {
    if (!step.copyOld && !added[step.index].isDirectory) files.push_back(step.index);
  }
  const int threads = options.threads > 0 ? options.threads : MemberPrepacker::DefaultThreads();
  MemberPrepacker prepacker(added, files, options, files.size() > 1 && threads > 1 ? threads : 0);
  // The writer's own encoder, for the files it packs itself (all of them
  // with one thread, the large ones otherwise), kept from one to the next.
  LzhEncoder encoder;

  // The command's total for the progress procedure: the files' sizes and
  // the kept members' packed data. Only looked up when someone listens.
  arc::ProgressMeter meter;
  if (meter.Active()) {
    uint64_t total = 0;
    for (const Step& step : steps) {
      if (step.copyOld) {
        total += existing->entries()[step.index].m.packedSize;
      } else if (!added[step.index].isDirectory) {
        struct stat st {};
        if (::stat(added[step.index].sourcePath.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
      }
    }
    meter.SetCommandTotal(total);
  }

  for (const Step& step : steps) {
    if (step.copyOld) {
      const Entry& e = existing->entries()[step.index];
      if (!meter.BeginMember(e.m.name, e.m.packedSize) || !meter.Add(e.m.packedSize)) {
        return fail(ARC_ERROR_USER_CANCEL);
      }
      if (!existing->CopyRaw(e, out.get())) return fail(ARC_ERROR_CANNOT_READ);
      continue;
    }
    const NewMember& nm = added[step.index];
    const PrepackedMember* pre = nm.isDirectory ? nullptr : prepacker.Take(step.index);
    if (int rc = WriteNewMember(out.get(), nm, pre, options, encoder, meter, report)) {
      failedName = nm.sourcePath;
      return fail(rc);
    }
  }
  if (std::fputc(0, out.get()) == EOF || std::fflush(out.get()) != 0 || fsync(fileno(out.get())) != 0) {
    return fail(ARC_ERROR_CANNOT_WRITE);
  }
  // Keep the permissions of the archive it replaces; a new one keeps those
  // the temporary file was created with.
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) fchmod(fileno(out.get()), st.st_mode & 07777);
  if (std::fclose(out.release()) != 0) {
    ::unlink(tmpPath.c_str());
    return ARC_ERROR_CANNOT_WRITE;
  }
  if (::rename(tmpPath.c_str(), target.c_str()) != 0) {
    ::unlink(tmpPath.c_str());
    return ARC_ERROR_CANNOT_WRITE;
  }
  return 0;
}

}  // namespace lha
