#include "archive/lzh_builder.h"

#include <algorithm>

#include "archive/archive_steps.h"
#include "archive/archiver_wrapper.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "util/app_globals.h"
#include "util/cfile.h"
#include "util/message_box.h"

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
  MsgBox(QStringLiteral("ファイル『") + path + QStringLiteral("』を削除できません。") + CR +
             QStringLiteral("処理を中止します。"),
         style::Exclamation, kAppTitle);
  return false;
}

}  // namespace

QString AttachmentCommand(int index, const QString& scriptDir, const QString& lzhCommand) {
  if (!HaveCurrentProfile() || index < 0 || index >= kAttachmentCapacity) return {};
  Profile& profile = profileTable[currentProfile];
  const cFile f;
  QString a = profile.addfile[index];
  const QString add = QStringLiteral("a ") + lzhCommand + QLatin1Char(' ');
  if (!scriptDir.isEmpty() && a.startsWith(scriptDir, Qt::CaseSensitive)) {
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
    if (EndsWithSeparator(a) && a.size() > 1) {
      a.chop(1);
      profile.addfile[index] = a;
    }
    QString base, name;
    DirOf(a, base);
    FileNameOf(a, name);
    return add + f.GetDosShortPathName(base) + QLatin1Char(' ') + Word(name + QStringLiteral("\\*.*")) +
           QStringLiteral(" -xr2");
  }
  return {};
}

int16_t BuildLzhArchive(const QString& scriptPath, int16_t sfx, const QString& extraArguments,
                        int16_t nonRegular, quintptr hwnd) {
  if (!HaveCurrentProfile()) return 0;
  const cFile f;
  const QString scriptDir = DirOf(scriptPath);
  QString name;
  ScriptNameOf(scriptPath, name);
  QString fileName;
  FileNameOf(scriptPath, fileName);
  const ArchiveName lzh = CurrentArchiveName(QStringLiteral(".lzh"));
  const ArchiveName exe = CurrentArchiveName(QStringLiteral(".exe"));

  // An older archive of the same name would otherwise keep its members.
  if (!RemoveOldArchive(lzh.file) || !RemoveOldArchive(exe.file)) return 0;

  cUnLHA lha;
  lha.setHwnd(hwnd);

  Profile& profile = profileTable[currentProfile];
  const int count = std::clamp<int>(profile.addfilecnt, 0, kAttachmentCapacity);
  for (int i = 0; i < count; ++i) {
    const QString command = AttachmentCommand(i, scriptDir, lzh.command);
    if (command.isEmpty()) {
      MsgBox(QStringLiteral("下記のファイルが存在しません。") + CR + Bracketed(profile.addfile[i]),
             style::OkOnly, kAppTitle);
      continue;
    }
    if (!RunArchiverStep(lha, command)) return 0;
  }

  // The script information file and the data tree, named relative to the
  // script directory.
  const QString dat = nonRegular == 1 ? QStringLiteral("dat\\") : name + QStringLiteral("\\dat\\");
  const QString shortDir = f.GetDosShortPathName(scriptDir);
  if (!RunArchiverStep(lha, QStringLiteral("a ") + lzh.command + QLatin1Char(' ') + shortDir + QLatin1Char(' ') +
                                extraArguments + Word(fileName) + QLatin1Char(' ') +
                                Word(dat + QStringLiteral("*.*")) + QStringLiteral(" -xr2"))) {
    return 0;
  }

  const QString shortProgramDir = f.GetDosShortPathName(programDir);
  if (!RunArchiverStep(lha, QStringLiteral("a ") + lzh.command + QLatin1Char(' ') + shortProgramDir +
                                QStringLiteral("\\install.txt"))) {
    return 0;
  }

  // Files the script platform keeps for itself are not distributed.
  if (!RunArchiverStep(lha, QStringLiteral("d ") + lzh.command + QLatin1Char(' ') +
                                Word(dat + QStringLiteral("LASTUPDATE")) + QLatin1Char(' ') +
                                Word(dat + QStringLiteral("UPDATE.LOG")) + QLatin1Char(' ') +
                                Word(dat + QStringLiteral("MIRROR.FET")))) {
    return 0;
  }

  if (sfx == 1) {
    const QString shortArcDir = f.GetDosShortPathName(profile.dirarc);
    if (!RunArchiverStep(lha, QStringLiteral("a ") + lzh.command + QLatin1Char(' ') + shortProgramDir +
                                  QStringLiteral("\\$"))) {
      return 0;
    }
    if (!RunArchiverStep(lha, QStringLiteral("s  ") + shortArcDir + QLatin1Char('\\') + Word(profile.namearc) +
                                  QLatin1Char(' ') + shortArcDir + QStringLiteral("\\ -gw4gx2 -x"))) {
      return 0;
    }
    if (!RunArchiverStep(lha, QStringLiteral("d ") + lzh.command + QStringLiteral(" $"))) return 0;
  }

  return -1;
}

}  // namespace lm
