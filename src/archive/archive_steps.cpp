#include "archive/archive_steps.h"

#include <QFile>

#include "archive/archiver_wrapper.h"
#include "archive/build_progress.h"
#include "archive/build_workspace.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/path_resolver.h"

namespace lm {
namespace {

ArchiverCommandTrace& Trace() {
  static ArchiverCommandTrace trace;
  return trace;
}

}  // namespace

void SetArchiverCommandTrace(ArchiverCommandTrace trace) { Trace() = std::move(trace); }

bool RunArchiverStep(cArchiver& archiver, const QString& command) {
  if (BuildCancelled()) return false;
  ReportBuildStep(ArchiverStepText(archiver.LibraryFile(), command));
  if (Trace()) Trace()(archiver.LibraryFile(), command);
  archiver.SetCommandLine(command);
  (void)archiver.OutPut();  // the report is not shown
  // A cancel asked for during the call stops the build here, without a message.
  if (BuildCancelled()) return false;
  if (archiver.ReturnCode() == 0) {
    CrashPoint("step");
    return true;
  }
  MsgBox(archiver.ErrString(), style::Exclamation, kAppTitle);
  return false;
}

QString CommandWord(const QString& name) {
  if (name.startsWith(QLatin1Char('-'))) return QLatin1Char('"') + name + QLatin1Char('"');
  return cFile().AddQuotesToFN(name);
}

ArchiveNames ArchiveNamesIn(const QString& folder, const QString& name) {
  const cFile f;
  ArchiveNames names;
  names.folder = folder;
  names.name = name;
  names.folderCommand = f.GetDosShortPathName(folder);
  names.stemCommand = names.folderCommand + QLatin1Char('\\') + CommandWord(name);
  QString dir = folder;
  if (!dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\'))) dir += QLatin1Char('/');
  const auto one = [&](const QString& extension) {
    // A name with a blank or a comma goes in quotes of its own, so that the
    // archive stays one word of the command line.
    return ArchiveName{names.folderCommand + QLatin1Char('\\') + f.AddQuotesToFN(name + extension),
                       dir + name + extension};
  };
  names.lzh = one(QStringLiteral(".lzh"));
  names.exe = one(QStringLiteral(".exe"));
  names.cab = one(QStringLiteral(".cab"));
  names.qsc = one(QStringLiteral(".qsc"));
  return names;
}

bool DeleteIfExists(const QString& path) {
  if (!cFile().FileExists(path)) return true;
  const QString real = ResolveExisting(path);
  return real.isEmpty() || QFile::remove(real);
}

}  // namespace lm
