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

ArchiveName ArchiveNameOf(const Profile& p, const QString& extension) {
  const cFile f;
  ArchiveName name;
  // A name with a blank or a comma goes in quotes of its own, so that the
  // archive stays one word of the command line.
  name.command = f.GetDosShortPathName(p.dirarc) + QLatin1Char('\\') + f.AddQuotesToFN(p.namearc + extension);
  QString dir = p.dirarc;
  if (!dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\'))) dir += QLatin1Char('/');
  name.file = dir + p.namearc + extension;
  return name;
}

bool DeleteIfExists(const QString& path) {
  if (!cFile().FileExists(path)) return true;
  const QString real = ResolveExisting(path);
  return real.isEmpty() || QFile::remove(real);
}

}  // namespace lm
