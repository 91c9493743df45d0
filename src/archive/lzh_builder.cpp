#include "archive/lzh_builder.h"

#include <algorithm>

#include "archive/archive_steps.h"
#include "archive/archiver_wrapper.h"
#include "profiles/profile.h"
#include "profiles/script_check.h"
#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/path_parts.h"
#include "util/status.h"

namespace lm {
namespace {

bool EndsWithSeparator(const QString& s) {
  return s.endsWith(QLatin1Char('\\')) || s.endsWith(QLatin1Char('/'));
}

// A name on a command line: in quotes when it holds a blank or a comma, so
// that it stays one word, or begins with "-", so that it is not taken for a
// switch (other names go as they are).
QString Word(const QString& name) {
  if (name.startsWith(QLatin1Char('-'))) return QLatin1Char('"') + name + QLatin1Char('"');
  return cFile().AddQuotesToFN(name);
}

bool RemoveOldArchive(const QString& path) {
  if (DeleteIfExists(path)) return true;
  MsgBox(QStringLiteral("ファイル") + Bracketed(path) + QStringLiteral("を削除できません。") + CR +
             QStringLiteral("処理を中止します。"),
         style::Exclamation, kAppTitle);
  return false;
}

bool InsideScriptDir(const QString& attachment, const QString& scriptDir) {
  return !scriptDir.isEmpty() && attachment.startsWith(scriptDir, Qt::CaseSensitive);
}

}  // namespace

QString KeptAttachment(const QString& attachment, const QString& scriptDir) {
  const cFile f;
  if (InsideScriptDir(attachment, scriptDir) || f.FileExists(attachment) || !f.DirExists(attachment)) {
    return attachment;
  }
  if (EndsWithSeparator(attachment) && attachment.size() > 1) return attachment.chopped(1);
  return attachment;
}

QString AttachmentAddCommand(const QString& attachment, const QString& scriptDir, const QString& lzhCommand) {
  const cFile f;
  const QString a = KeptAttachment(attachment, scriptDir);
  const QString add = QStringLiteral("a ") + lzhCommand + QLatin1Char(' ');
  if (InsideScriptDir(a, scriptDir)) {
    // Inside the script directory: stored with its path below that directory.
    QString rest = a.mid(scriptDir.size());
    while (!rest.isEmpty() && (rest.front() == QLatin1Char('\\') || rest.front() == QLatin1Char('/'))) {
      rest.remove(0, 1);  // a doubled separator would make the rest an absolute path
    }
    if (f.FileExists(a)) {
      return add + f.GetDosShortPathName(scriptDir) + QLatin1Char(' ') + Word(rest) + QStringLiteral(" -xr2");
    }
    if (f.DirExists(a)) {
      // The script directory itself has no rest: its whole content.
      const QString what = rest.isEmpty() ? QStringLiteral("*.*") : Word(rest + QStringLiteral("\\*.*"));
      return add + f.GetDosShortPathName(scriptDir) + QLatin1Char(' ') + what + QStringLiteral(" -xr2");
    }
    return {};
  }
  if (f.FileExists(a)) return add + f.GetDosShortPathName(a);
  if (f.DirExists(a)) {
    QString base, name;
    DirOf(a, base);
    FileNameOf(a, name);
    return add + f.GetDosShortPathName(base) + QLatin1Char(' ') + Word(name + QStringLiteral("\\*.*")) +
           QStringLiteral(" -xr2");
  }
  return {};
}

void KeepAttachments(Profile& profile, const QString& scriptDir) {
  const int count = std::clamp<int>(profile.addfilecnt, 0, kAttachmentCapacity);
  for (int i = 0; i < count; ++i) profile.addfile[i] = KeptAttachment(profile.addfile[i], scriptDir);
}

VbBool BuildLzhArchiveFor(const Profile& profile, const ScriptLayout& layout, int16_t sfx,
                          const QString& extraArguments, quintptr hwnd) {
  const cFile f;
  const QString& scriptDir = layout.folder;
  QString fileName;
  FileNameOf(layout.scriptPath, fileName);
  const ArchiveName lzh = ArchiveNameOf(profile, QStringLiteral(".lzh"));
  const ArchiveName exe = ArchiveNameOf(profile, QStringLiteral(".exe"));

  // An older archive of the same name would otherwise keep its members.
  if (!RemoveOldArchive(lzh.file) || !RemoveOldArchive(exe.file)) return kVbFalse;

  cUnLHA lha;
  lha.setHwnd(hwnd);

  const int count = std::clamp<int>(profile.addfilecnt, 0, kAttachmentCapacity);
  for (int i = 0; i < count; ++i) {
    const QString command = AttachmentAddCommand(profile.addfile[i], scriptDir, lzh.command);
    if (command.isEmpty()) {
      MsgBox(QStringLiteral("下記のファイルが存在しません。") + CR + Bracketed(profile.addfile[i]),
             style::OkOnly, kAppTitle);
      continue;
    }
    if (!RunArchiverStep(lha, command)) return kVbFalse;
  }

  // The script information file and the data tree, named relative to the
  // script directory.
  const QString dat = layout.nonRegular == 1 ? QStringLiteral("dat\\") : layout.name + QStringLiteral("\\dat\\");
  const QString shortDir = f.GetDosShortPathName(scriptDir);
  if (!RunArchiverStep(lha, QStringLiteral("a ") + lzh.command + QLatin1Char(' ') + shortDir + QLatin1Char(' ') +
                                extraArguments + Word(fileName) + QLatin1Char(' ') +
                                Word(dat + QStringLiteral("*.*")) + QStringLiteral(" -xr2"))) {
    return kVbFalse;
  }

  // install.txt and $ lie in the working-file folder.
  const QString shortProgramDir = f.GetDosShortPathName(CacheFolder());
  if (!RunArchiverStep(lha, QStringLiteral("a ") + lzh.command + QLatin1Char(' ') + shortProgramDir +
                                QStringLiteral("\\install.txt"))) {
    return kVbFalse;
  }

  // Files the script platform keeps for itself are not distributed.
  if (!RunArchiverStep(lha, QStringLiteral("d ") + lzh.command + QLatin1Char(' ') +
                                Word(dat + QStringLiteral("LASTUPDATE")) + QLatin1Char(' ') +
                                Word(dat + QStringLiteral("UPDATE.LOG")) + QLatin1Char(' ') +
                                Word(dat + QStringLiteral("MIRROR.FET")))) {
    return kVbFalse;
  }

  if (sfx == 1) {
    const QString shortArcDir = f.GetDosShortPathName(profile.dirarc);
    if (!RunArchiverStep(lha, QStringLiteral("a ") + lzh.command + QLatin1Char(' ') + shortProgramDir +
                                  QStringLiteral("\\$"))) {
      return kVbFalse;
    }
    if (!RunArchiverStep(lha, QStringLiteral("s  ") + shortArcDir + QLatin1Char('\\') + Word(profile.namearc) +
                                  QLatin1Char(' ') + shortArcDir + QStringLiteral("\\ -gw4gx2 -x"))) {
      return kVbFalse;
    }
    if (!RunArchiverStep(lha, QStringLiteral("d ") + lzh.command + QStringLiteral(" $"))) return kVbFalse;
  }

  return kVbTrue;
}

}  // namespace lm
