#include "archive/lzh_builder.h"

#include <algorithm>

#include "archive/archive_steps.h"
#include "archive/archiver_wrapper.h"
#include "archive/build_workspace.h"
#include "profiles/profile.h"
#include "profiles/script_check.h"
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
      return add + f.GetDosShortPathName(scriptDir) + QLatin1Char(' ') + CommandWord(rest) + QStringLiteral(" -xr2");
    }
    if (f.DirExists(a)) {
      // The script directory itself has no rest: its whole content.
      const QString what = rest.isEmpty() ? QStringLiteral("*.*") : CommandWord(rest + QStringLiteral("\\*.*"));
      return add + f.GetDosShortPathName(scriptDir) + QLatin1Char(' ') + what + QStringLiteral(" -xr2");
    }
    return {};
  }
  if (f.FileExists(a)) return add + f.GetDosShortPathName(a);
  if (f.DirExists(a)) {
    QString base, name;
    DirOf(a, base);
    FileNameOf(a, name);
    return add + f.GetDosShortPathName(base) + QLatin1Char(' ') + CommandWord(name + QStringLiteral("\\*.*")) +
           QStringLiteral(" -xr2");
  }
  return {};
}

void KeepAttachments(Profile& profile, const QString& scriptDir) {
  const int count = std::clamp<int>(profile.addfilecnt, 0, kAttachmentCapacity);
  for (int i = 0; i < count; ++i) profile.addfile[i] = KeptAttachment(profile.addfile[i], scriptDir);
}

VbBool BuildLzhArchiveFor(const Profile& profile, const ScriptLayout& layout, const ArchiveNames& names,
                          int16_t sfx, const QString& extraArguments, quintptr hwnd) {
  const cFile f;
  const QString& scriptDir = layout.folder;
  QString fileName;
  FileNameOf(layout.scriptPath, fileName);
  const ArchiveName& lzh = names.lzh;
  const ArchiveName& exe = names.exe;

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
                                extraArguments + CommandWord(fileName) + QLatin1Char(' ') +
                                CommandWord(dat + QStringLiteral("*.*")) + QStringLiteral(" -xr2"))) {
    return kVbFalse;
  }

  // install.txt and "$" lie in the build's working folder.
  const QString shortWorkDir = f.GetDosShortPathName(CurrentBuildWorkDir());
  if (!RunArchiverStep(lha, QStringLiteral("a ") + lzh.command + QLatin1Char(' ') + shortWorkDir +
                                QStringLiteral("\\install.txt"))) {
    return kVbFalse;
  }

  // Files the script platform keeps for itself are not distributed.
  if (!RunArchiverStep(lha, QStringLiteral("d ") + lzh.command + QLatin1Char(' ') +
                                CommandWord(dat + QStringLiteral("LASTUPDATE")) + QLatin1Char(' ') +
                                CommandWord(dat + QStringLiteral("UPDATE.LOG")) + QLatin1Char(' ') +
                                CommandWord(dat + QStringLiteral("MIRROR.FET")))) {
    return kVbFalse;
  }

  if (sfx == 1) {
    if (!RunArchiverStep(lha, QStringLiteral("a ") + lzh.command + QLatin1Char(' ') + shortWorkDir +
                                  QStringLiteral("\\$"))) {
      return kVbFalse;
    }
    if (!RunArchiverStep(lha, QStringLiteral("s  ") + names.stemCommand + QLatin1Char(' ') + names.folderCommand +
                                  QStringLiteral("\\ -gw4gx2 -x"))) {
      return kVbFalse;
    }
    if (!RunArchiverStep(lha, QStringLiteral("d ") + lzh.command + QStringLiteral(" $"))) return kVbFalse;
  }

  return kVbTrue;
}

}  // namespace lm
