// Replacing files through temporary files and renames, one file or a set of
// files that must change together.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "util/atomic_write_hooks.h"
#include "util/path_resolver.h"
#include "util/text_file.h"

namespace lm {
namespace {

RenameFunction renameFunction = &::rename;

mode_t DefaultMode() {
  const mode_t m = ::umask(0);
  ::umask(m);
  return 0666 & ~m;
}

// One target on its way: where it goes, the temporary file holding its new
// bytes, and the copy of its earlier contents while the set is renamed.
struct Pending {
  const FileReplacement* file = nullptr;
  QByteArray target;   // resolved, encoded for the system
  QByteArray temp;     // the written temporary file; empty when none
  QByteArray kept;     // the earlier contents; empty when none kept
  bool existed = false;
  mode_t mode = 0;
};

// Refuses a target that may not be replaced: a directory, an existing file
// that may not be written or has no write permission bit at all (read-only,
// even for root, like the read-only attribute), or a folder that may not be
// written.
bool CheckReplaceable(Pending& p, FileError& error) {
  struct stat st {};
  p.mode = DefaultMode();
  if (::stat(p.target.constData(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      error = FileError::FromErrno(EISDIR);
      return false;
    }
    if ((st.st_mode & 0222) == 0) {
      error = FileError::FromErrno(EACCES);
      return false;
    }
    if (::access(p.target.constData(), W_OK) != 0) {
      error = FileError::FromErrno(errno);
      return false;
    }
    p.existed = true;
    p.mode = st.st_mode & 07777;
  }
  // A file for its owner alone: nobody else may read it, whatever it was.
  if (p.file->ownerOnly) p.mode = p.existed ? (p.mode & ~mode_t{077}) : (p.mode & 0600);
  const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(p.target)).absolutePath());
  if (::access(folder.constData(), W_OK | X_OK) != 0) {
    error = FileError::FromErrno(errno);
    return false;
  }
  return true;
}

// A new file with a unique name beside `target`: ".<name>.<what>.XXXXXX".
int MakeSibling(const QByteArray& target, const char* what, QByteArray& name) {
  const QFileInfo info(QFile::decodeName(target));
  name = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + what + ".XXXXXX";
  return ::mkstemp(name.data());
}

bool WriteAll(int fd, const char* data, qsizetype size) {
  qsizetype written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, static_cast<size_t>(size - written));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    written += n;
  }
  return true;
}

// Writes `bytes` into a new temporary file beside the target, with the
// target's mode, flushed to the disk.
bool WriteTemporary(const Pending& p, const QByteArray& bytes, const char* what, QByteArray& name,
                    FileError& error) {
  const int fd = MakeSibling(p.target, what, name);
  if (fd < 0) {
    error = FileError::FromErrno(errno);
    return false;
  }
  int err = 0;
  if (!WriteAll(fd, bytes.constData(), bytes.size()) || ::fchmod(fd, p.mode) != 0 || ::fsync(fd) != 0) {
    err = errno;
  }
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    ::unlink(name.constData());
    name.clear();
    error = FileError::FromErrno(err);
    return false;
  }
  return true;
}

// Keeps the earlier contents of an existing target: a second link to the
// same file where the file system allows it, a copy otherwise.
bool KeepEarlier(Pending& p, FileError& error) {
  if (!p.existed) return true;
  QByteArray name;
  const int fd = MakeSibling(p.target, ".keep", name);
  if (fd < 0) {
    error = FileError::FromErrno(errno);
    return false;
  }
  ::close(fd);
  ::unlink(name.constData());
  if (::link(p.target.constData(), name.constData()) == 0) {
    p.kept = name;
    return true;
  }
  QByteArray earlier;
  if (!ReadFileBytes(QFile::decodeName(p.target), earlier, &error)) return false;
  return WriteTemporary(p, earlier, ".keep", p.kept, error);
}

void RemoveIfSet(QByteArray& path) {
  if (!path.isEmpty()) ::unlink(path.constData());
  path.clear();
}

}  // namespace

RenameFunction SetRenameFunctionForTests(RenameFunction fn) {
  const RenameFunction old = renameFunction;
  renameFunction = fn ? fn : &::rename;
  return old;
}

bool WriteFilesTogether(const std::vector<FileReplacement>& files, FileError* error, QString* failedPath) {
  std::vector<Pending> pending(files.size());
  FileError err;
  std::size_t at = 0;  // the file the error belongs to
  auto finish = [&](bool ok) {
    for (Pending& p : pending) {
      RemoveIfSet(p.temp);
      RemoveIfSet(p.kept);
    }
    if (error) *error = ok ? FileError{} : err;
    if (!ok && failedPath && at < files.size()) *failedPath = files[at].path;
    return ok;
  };

  for (at = 0; at < files.size(); ++at) {
    pending[at].file = &files[at];
    pending[at].target = QFile::encodeName(ResolveForCreate(files[at].path));
    if (!CheckReplaceable(pending[at], err)) return finish(false);
  }
  for (at = 0; at < files.size(); ++at) {
    if (!WriteTemporary(pending[at], files[at].bytes, "", pending[at].temp, err)) return finish(false);
  }
  // A single file needs no kept copy: its one rename either happens or not.
  if (files.size() > 1) {
    for (at = 0; at + 1 < files.size(); ++at) {
      if (!KeepEarlier(pending[at], err)) return finish(false);
    }
  }
  for (at = 0; at < files.size(); ++at) {
    Pending& p = pending[at];
    if (renameFunction(p.temp.constData(), p.target.constData()) == 0) {
      p.temp.clear();
      continue;
    }
    err = FileError::FromErrno(errno);
    // Put back what was already replaced, the latest first.
    for (std::size_t back = at; back-- > 0;) {
      Pending& done = pending[back];
      if (!done.existed) {
        ::unlink(done.target.constData());
      } else {
        // The kept copy is left where it is when it cannot be put back, so
        // the earlier contents are never lost.
        (void)::rename(done.kept.constData(), done.target.constData());
        done.kept.clear();
      }
    }
    return finish(false);
  }
  return finish(true);
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, FileError* error, bool ownerOnly) {
  return WriteFilesTogether({FileReplacement{path, bytes, ownerOnly}}, error);
}

}  // namespace lm
