// Packing files into a new cabinet: "-a [-r] cabfile [basedir\] [patterns...]".
//
// Words that end in "\" or "/" name the base directory for the patterns that
// follow; each member is stored under its path relative to that base, with
// "\" between levels. A pattern's name part may hold the wildcards "*" and
// "?" ("*.*" is every file); a pattern that names a directory stands for its
// files. With "-r" every directory below is searched as well. Without any
// pattern the base directory's "*.*" is packed. Directories are found without
// regard to letter case, as on Windows. Data is packed with MSZIP ("-mz", the
// default) or stored ("-mn"); any other switch is refused.
//
// A file or directory that cannot be read fails the command: a cabinet that
// silently lacks part of the tree would lose files. So does more data than
// one cabinet folder can hold (0x7FFF8000 bytes) or more than 65 535 files.
//
// The cabinet is written to a temporary file beside the target and renamed
// over it only when complete, so a failed run never leaves a damaged cabinet
// nor removes an older one. Empty directories cannot be stored in the CAB
// format and are left out; hidden files (names beginning with ".") are packed
// like any other file. Symbolic links to files are packed as the file they
// point to; linked directories are not followed (no loops).
#include <fcntl.h>
#include <libgcab.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include "archive/cab/cab_internal.h"
#include "archive/common/progress_meter.h"
#include "archive/common/result_codes.h"
#include "util/cp932/cp932.h"
#include "util/pathfind/path_find.h"

namespace cab {
namespace {

namespace fs = std::filesystem;

struct Source {
  std::string fsPath;  // where the file lies
  std::string stored;  // member name, "\" between levels
};

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; });
}

// Collects the files of `dir` whose names match `pattern`, then (with
// `recurse`) those of every subdirectory, depth first in name order. False,
// with the reason and the path in `failure`, when a directory cannot be
// listed, an entry cannot be examined (unreadable, path too long) or a
// selected entry is neither a file nor a directory (a FIFO or device is
// never opened): a cabinet that silently lacks part of the tree would lose
// files.
bool Walk(const std::string& dir, const std::string& storedPrefix, const std::string& pattern, bool recurse,
          std::vector<Source>& out, std::string& failure) {
  std::error_code ec;
  std::vector<std::string> files, dirs;
  const std::string sep = dir.empty() || dir.back() == '/' ? "" : "/";
  fs::directory_iterator it(dir.empty() ? "." : dir, ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const bool selected = arc::WildcardMatch(pattern, name);
    std::error_code sec;
    const fs::file_status st = it->status(sec);  // follows links to files
    if (sec || !fs::exists(st)) {
      if (!selected && !recurse) continue;
      failure = (sec == std::errc::filename_too_long ? "path too long: " : "cannot read: ") + dir + sep + name;
      return false;
    }
    if (fs::is_regular_file(st)) {
      if (selected) files.push_back(name);
    } else if (fs::is_directory(st)) {
      if (recurse && !it->is_symlink(sec)) dirs.push_back(name);
    } else if (selected) {
      failure = "not a regular file: " + dir + sep + name;
      return false;
    }
  }
  if (ec) {
    failure = (ec == std::errc::filename_too_long ? "path too long: " : "cannot read directory: ") + dir;
    return false;
  }
  std::sort(files.begin(), files.end());
  std::sort(dirs.begin(), dirs.end());
  for (const std::string& f : files) out.push_back({dir + sep + f, storedPrefix + f});
  for (const std::string& d : dirs) {
    if (!Walk(dir + sep + d, storedPrefix + d + "\\", pattern, recurse, out, failure)) return false;
  }
  return true;
}

// Expands one pattern relative to `base` (an existing directory as spelt on
// disk, ending in "/"; "" = current directory). Directory levels are found
// without regard to letter case. Returns 0, ARC_ERROR_NOT_EXIST when the
// pattern's directory does not exist, or ARC_ERROR_FILE_OPEN when a source below
// it cannot be taken whole (see Walk).
int Expand(const std::string& base, const std::string& patternWord, bool recurse, std::vector<Source>& out,
           std::string& report) {
  const std::string pattern = arc::ToSlashes(patternWord);
  const bool absolute = !pattern.empty() && pattern[0] == '/';
  const size_t slash = pattern.rfind('/');
  const std::string dirText = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  std::string leaf = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  std::string dir;
  if (!pathfind::ResolveExisting(absolute ? dirText : base + dirText, dir)) {
    report += "no such directory for: " + patternWord + "\r\n";
    return ARC_ERROR_NOT_EXIST;
  }
  if (!dir.empty() && dir.back() != '/') dir += '/';
  // Stored names keep the pattern's own directory part when it is relative
  // to the base; an absolute pattern stores names relative to its directory.
  std::string prefix = absolute ? std::string() : dirText;
  std::replace(prefix.begin(), prefix.end(), '/', '\\');
  std::error_code ec;
  std::string named;
  if (leaf.empty()) {
    leaf = "*.*";
  } else if (!HasWildcard(leaf) && pathfind::ResolveExisting(dir + leaf, named) && fs::is_directory(named, ec)) {
    // A directory named on its own stands for its files.
    prefix += named.substr(named.rfind('/') + 1) + "\\";
    dir = named + "/";
    leaf = "*.*";
  }
  if (!dir.empty() && !fs::is_directory(dir, ec)) {
    report += "no such directory for: " + patternWord + "\r\n";
    return ARC_ERROR_NOT_EXIST;
  }
  std::string failure;
  if (!Walk(dir, prefix, leaf, recurse, out, failure)) {
    report += failure + "\r\n";
    return ARC_ERROR_FILE_OPEN;
  }
  return ARC_OK;
}

// The file's modification time in local time, held to the range the
// format's packed date can hold (1980-01-01 to 2107-12-31): a time outside it
// would wrap round to a wrong year.
GDateTime* LocalModified(const struct stat& st) {
  GTimeZone* local = g_time_zone_new_local();
  GDateTime* utc = g_date_time_new_from_unix_utc(st.st_mtime);
  GDateTime* dt = g_date_time_to_timezone(utc, local);
  g_date_time_unref(utc);
  if (!dt || g_date_time_get_year(dt) < 1980) {
    if (dt) g_date_time_unref(dt);
    dt = g_date_time_new(local, 1980, 1, 1, 0, 0, 0);
  } else if (g_date_time_get_year(dt) > 2107) {
    g_date_time_unref(dt);
    dt = g_date_time_new(local, 2107, 12, 31, 23, 59, 58);
  }
  g_time_zone_unref(local);
  return dt;
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Reports each file as the writer starts it; a cancel from the progress
// procedure cancels the writer's output stream, which ends the write at its
// next block.
struct CabProgress {
  arc::ProgressMeter meter;
  GCancellable* cancel = nullptr;
  std::map<std::string, uint64_t> sizes;  // by stored name (UTF-8)
  uint64_t current = 0;                   // the size of the file being written
};

gboolean OnCabFile(GCabFile* file, gpointer data) {
  auto* p = static_cast<CabProgress*>(data);
  p->meter.Add(p->current);
  const char* stored = gcab_file_get_name(file);
  const std::string utf8 = stored ? stored : "";
  const auto it = p->sizes.find(utf8);
  p->current = it == p->sizes.end() ? 0 : it->second;
  std::string name;
  if (!cp932::FromUtf8(utf8, name)) name = utf8;
  if (!p->meter.BeginMember(name, p->current)) g_cancellable_cancel(p->cancel);
  return TRUE;
}

// The stream the cabinet writer writes into: every write goes on to the
// work file, and between writes the progress procedure is asked whether to
// go on. The writer calls back only as each file begins, so without this a
// cancel would wait for a large file to be packed whole. The writer seeks
// back to fill in offsets: the stream is seekable as the work file is.
struct PollingOutput {
  GOutputStream parent_instance;
  GOutputStream* base;
  CabProgress* progress;
  unsigned writes;
};
struct PollingOutputClass {
  GOutputStreamClass parent_class;
};

PollingOutput* AsPolling(void* object) { return static_cast<PollingOutput*>(object); }
GSeekable* BaseSeekable(GSeekable* seekable) { return G_SEEKABLE(AsPolling(seekable)->base); }

gssize PollingWrite(GOutputStream* stream, const void* buffer, gsize count, GCancellable* cancellable,
                    GError** error) {
  PollingOutput* self = AsPolling(stream);
  // A data block is written in a few pieces: asking at every eighth write is
  // about every 64 KiB of input.
  if (++self->writes % 8 == 0 && !self->progress->meter.Poll()) {
    g_cancellable_cancel(self->progress->cancel);
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_CANCELLED, "cancelled");
    return -1;
  }
  return g_output_stream_write(self->base, buffer, count, cancellable, error);
}

gboolean PollingFlush(GOutputStream* stream, GCancellable* cancellable, GError** error) {
  return g_output_stream_flush(AsPolling(stream)->base, cancellable, error);
}

void PollingOutputClassInit(gpointer klassPointer, gpointer) {
  auto* klass = static_cast<PollingOutputClass*>(klassPointer);
  klass->parent_class.write_fn = PollingWrite;
  klass->parent_class.flush = PollingFlush;
}

void PollingOutputInit(GTypeInstance* instance, gpointer) {
  PollingOutput* self = AsPolling(instance);
  self->base = nullptr;
  self->progress = nullptr;
  self->writes = 0;
}

void PollingOutputSeekableInit(gpointer ifacePointer, gpointer) {
  auto* iface = static_cast<GSeekableIface*>(ifacePointer);
  iface->tell = [](GSeekable* s) { return g_seekable_tell(BaseSeekable(s)); };
  iface->can_seek = [](GSeekable* s) { return g_seekable_can_seek(BaseSeekable(s)); };
  iface->seek = [](GSeekable* s, goffset offset, GSeekType type, GCancellable* cancellable, GError** error) {
    return g_seekable_seek(BaseSeekable(s), offset, type, cancellable, error);
  };
  iface->can_truncate = [](GSeekable*) -> gboolean { return FALSE; };
  iface->truncate_fn = [](GSeekable*, goffset, GCancellable*, GError** error) -> gboolean {
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "not supported");
    return FALSE;
  };
}

// The stream's type. GLib keeps a type for the life of the process under
// its name, while a process may load more than one copy of this library
// (from two program folders) or load it again after unloading it: each copy
// registers its type under a name of its own, made from the address of its
// own code, so that no copy finds the name taken.
GType PollingOutputType() {
  static gsize type = 0;
  if (g_once_init_enter(&type)) {
    char name[64];
    std::snprintf(name, sizeof name, "LmCabPollingOutput%" PRIxPTR "x%" PRIxPTR,
                  reinterpret_cast<std::uintptr_t>(&type), reinterpret_cast<std::uintptr_t>(&PollingWrite));
    GType registered = g_type_from_name(name);
    if (registered == 0) {
      registered = g_type_register_static_simple(G_TYPE_OUTPUT_STREAM, g_intern_string(name),
                                                 sizeof(PollingOutputClass), PollingOutputClassInit,
                                                 sizeof(PollingOutput), PollingOutputInit, GTypeFlags(0));
      const GInterfaceInfo seekable = {PollingOutputSeekableInit, nullptr, nullptr};
      g_type_add_interface_static(registered, G_TYPE_SEEKABLE, &seekable);
    }
    g_once_init_leave(&type, registered);
  }
  return type;
}

// Writes the cabinet for `sources` to `target` through a temporary file in
// the same directory.
int WriteCabinet(const std::string& target, const std::vector<Source>& sources, int compression,
                 CabProgress& progress, std::string& report) {
  GCabFolder* folder = gcab_folder_new(compression);
  uint64_t total = 0;
  // Setting up thousands of files takes a while: a cancel is heard every
  // few dozen of them too.
  constexpr size_t kPollEvery = 32;
  size_t count = 0;
  for (const Source& s : sources) {
    if (++count % kPollEvery == 0 && !progress.meter.Poll()) {
      report += "cancelled\r\n";
      g_object_unref(folder);
      return ARC_ERROR_USER_CANCEL;
    }
    struct stat st {};
    // Not waiting on open: a FIFO or device put in a file's place is refused.
    int fd = ::open(s.fsPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (fd >= 0) ::close(fd);
      report += "cannot read: " + s.fsPath + "\r\n";
      g_object_unref(folder);
      return ARC_ERROR_FILE_OPEN;
    }
    ::close(fd);
    // The format's limit for the data of one folder; beyond it the offsets
    // would not fit and the cabinet would be damaged.
    total += static_cast<uint64_t>(st.st_size);
    // Only the file callback of a listening procedure looks the sizes up.
    if (progress.meter.Active()) progress.sizes[s.stored] = static_cast<uint64_t>(st.st_size);
    if (total > 0x7FFF8000ULL) {
      report += "too much data for one cabinet folder at: " + s.fsPath + "\r\n";
      g_object_unref(folder);
      return ARC_ERROR_CANNOT_WRITE;
    }
    GFile* file = g_file_new_for_path(s.fsPath.c_str());
    GCabFile* cabFile = gcab_file_new_with_file(s.stored.c_str(), file);
    g_object_unref(file);
    GError* err = nullptr;
    if (!gcab_folder_add_file(folder, cabFile, FALSE, nullptr, &err)) {
      report += std::string("cannot add: ") + s.stored + " (" + (err ? err->message : "") + ")\r\n";
      g_clear_error(&err);
      g_object_unref(cabFile);
      g_object_unref(folder);
      return ARC_ERROR_CANNOT_WRITE;
    }
    // The format keeps local time, as the original file's time is shown on Windows.
    GDateTime* dt = LocalModified(st);
    gcab_file_set_date_time(cabFile, dt);
    g_date_time_unref(dt);
    uint32_t attr = GCAB_FILE_ATTRIBUTE_ARCH;
    if ((st.st_mode & S_IWUSR) == 0) attr |= GCAB_FILE_ATTRIBUTE_RDONLY;
    if (!IsAscii(s.stored)) attr |= GCAB_FILE_ATTRIBUTE_NAME_IS_UTF;
    gcab_file_set_attributes(cabFile, attr);
    g_object_unref(cabFile);
    report += "  adding: " + s.stored + "\r\n";
  }

  GCabCabinet* cabinet = gcab_cabinet_new();
  GError* err = nullptr;
  if (!gcab_cabinet_add_folder(cabinet, folder, &err)) {
    g_clear_error(&err);
    g_object_unref(folder);
    g_object_unref(cabinet);
    return ARC_ERROR_CANNOT_WRITE;
  }
  g_object_unref(folder);

  std::string temp = ParentOf(target) + "/.cab32-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    report += "cannot create a work file beside " + target + "\r\n";
    g_object_unref(cabinet);
    return ARC_ERROR_TMP_OPEN;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  // The writer seeks back to fill in offsets: a file stream on the work file.
  GFile* tempFile = g_file_new_for_path(temp.c_str());
  GFileIOStream* io = g_file_open_readwrite(tempFile, nullptr, &err);
  g_object_unref(tempFile);
  bool ok = io != nullptr;
  bool cancelled = false;
  if (ok) {
    GOutputStream* file = g_io_stream_get_output_stream(G_IO_STREAM(io));
    progress.cancel = g_cancellable_new();
    progress.meter.SetCommandTotal(total);
    // Only a listening procedure needs the stream that asks it.
    PollingOutput* polling = nullptr;
    if (progress.meter.Active()) {
      polling = AsPolling(g_object_new(PollingOutputType(), nullptr));
      polling->base = file;
      polling->progress = &progress;
    }
    GOutputStream* out = polling ? G_OUTPUT_STREAM(polling) : file;
    ok = gcab_cabinet_write_simple(cabinet, out, progress.meter.Active() ? OnCabFile : nullptr, &progress,
                                   progress.cancel, &err);
    if (polling) g_object_unref(polling);
    if (ok) progress.meter.Add(progress.current);  // the last file is complete
    if (progress.meter.Cancelled()) {
      cancelled = true;
      ok = false;
      report += "cancelled\r\n";
    } else if (!ok && err) {
      report += std::string("write error: ") + err->message + "\r\n";
    }
    g_object_unref(progress.cancel);
    g_clear_error(&err);
    ok = g_io_stream_close(G_IO_STREAM(io), nullptr, nullptr) && ok;
    g_object_unref(io);
  } else {
    g_clear_error(&err);
  }
  g_object_unref(cabinet);
  // A cabinet that is not kept is not written out to the disk first.
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    report += "cannot replace " + target + "\r\n";
    ok = false;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return cancelled ? ARC_ERROR_USER_CANCEL : ARC_ERROR_CANNOT_WRITE;
  }
  return ARC_OK;
}

int Pack(const arc::ParsedCommand& cmd, bool recurse, int compression, std::string& report) {
  if (cmd.words.empty()) return ARC_ERROR_NOT_ARC_FILE;
  const std::string targetText = arc::ToSlashes(cmd.words[0]);
  if (targetText.empty() || arc::EndsWithSeparator(targetText)) return ARC_ERROR_NOT_ARC_FILE;
  std::string target;
  if (!pathfind::ResolveForCreate(targetText, target)) {
    report += "no such directory for: " + targetText + "\r\n";
    return ARC_ERROR_TMP_OPEN;
  }

  // A FIFO or device in the cabinet's place is not replaced.
  struct stat targetStat {};
  if (::stat(target.c_str(), &targetStat) == 0 && !S_ISREG(targetStat.st_mode) && !S_ISDIR(targetStat.st_mode)) {
    report += "not a regular file: " + target + "\r\n";
    return ARC_ERROR_TMP_OPEN;
  }

  std::vector<Source> sources;
  std::string base;
  bool anyPattern = false;
  for (size_t i = 1; i < cmd.words.size(); ++i) {
    const std::string& w = cmd.words[i];
    if (arc::EndsWithSeparator(w)) {
      std::error_code ec;
      if (!pathfind::ResolveExisting(arc::ToSlashes(w), base) || !fs::is_directory(base, ec)) {
        report += "no such directory: " + arc::ToSlashes(w) + "\r\n";
        return ARC_ERROR_NOT_EXIST;
      }
      if (!base.empty() && base.back() != '/') base += '/';
      continue;
    }
    anyPattern = true;
    if (const int rc = Expand(base, w, recurse, sources, report); rc != ARC_OK) return rc;
  }
  if (!anyPattern) {
    if (const int rc = Expand(base, "*.*", recurse, sources, report); rc != ARC_OK) return rc;
  }

  // A file named by two patterns is stored once.
  std::set<std::string> seen;
  std::vector<Source> unique;
  for (Source& s : sources) {
    if (seen.insert(s.stored).second) unique.push_back(std::move(s));
  }
  // Never pack the cabinet into itself (a target inside the searched tree).
  std::error_code ec;
  unique.erase(std::remove_if(unique.begin(), unique.end(),
                              [&](const Source& s) { return fs::equivalent(s.fsPath, target, ec); }),
               unique.end());
  if (unique.empty()) {
    report += "no files to pack\r\n";
    return ARC_ERROR_NOT_EXIST;
  }
  if (unique.size() > 0xFFFF) return ARC_ERROR_TOO_MANY_FILES;

  report += "Creating cabinet: " + target + "\r\n";
  CabProgress progress;
  if (progress.meter.Active()) {
    // The command's total first, so that every report carries it.
    uint64_t total = 0;
    for (const Source& s : unique) {
      struct stat st {};
      if (::stat(s.fsPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) total += static_cast<uint64_t>(st.st_size);
    }
    progress.meter.SetCommandTotal(total);
  }
  if (!progress.meter.Poll()) {
    report += "cancelled\r\n";
    return ARC_ERROR_USER_CANCEL;
  }
  const int rc = WriteCabinet(target, unique, compression, progress, report);
  if (rc == ARC_OK) report += std::to_string(unique.size()) + " file(s) packed.\r\n";
  return rc;
}

}  // namespace

int RunCommand(const arc::ParsedCommand& cmd, std::string& report) {
  bool add = false, recurse = false;
  int compression = GCAB_COMPRESSION_MSZIP;
  for (const std::string& sw : cmd.switches) {
    if (sw == "-a") {
      add = true;
    } else if (sw == "-r") {
      recurse = true;
    } else if (sw == "-mz") {
      compression = GCAB_COMPRESSION_MSZIP;
    } else if (sw == "-mn") {
      compression = GCAB_COMPRESSION_NONE;
    } else {
      report += "unknown switch: " + sw + "\r\n";
      return ARC_ERROR_COMMAND_NAME;
    }
  }
  if (!add) {
    report += "no command given\r\n";
    return ARC_ERROR_COMMAND_NAME;
  }
  return Pack(cmd, recurse, compression, report);
}

}  // namespace cab
