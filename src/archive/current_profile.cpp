// The archive operations for the current profile of the profile table: each
// reads the table once and hands the profile and the script's layout to the
// function that takes them as arguments.
#include "archive/archive_steps.h"
#include "archive/cab_package_builder.h"
#include "archive/install_files.h"
#include "archive/lzh_builder.h"
#include "profiles/profile_store.h"
#include "util/status.h"

namespace lm {

bool HaveCurrentProfile() { return currentProfile >= 0 && currentProfile < kProfileCapacity; }

const Profile& CurrentProfileOrEmpty() {
  static const Profile empty;
  return HaveCurrentProfile() ? profileTable[currentProfile] : empty;
}

ArchiveName CurrentArchiveName(const QString& extension) {
  return ArchiveNameOf(profileTable[currentProfile], extension);
}

bool InstallFileLines(QStringList& lines) { return InstallFileLinesFor(CurrentProfileOrEmpty(), lines); }

QStringList SfxOptionLines() { return SfxOptionLinesFor(CurrentProfileOrEmpty()); }

int16_t WriteInstallFile(FileError* error) { return WriteInstallFileFor(CurrentProfileOrEmpty(), error); }

int16_t WriteSfxOptions(FileError* error) { return WriteSfxOptionsFor(CurrentProfileOrEmpty(), error); }

QString AttachmentCommand(int index, const QString& scriptDir, const QString& lzhCommand) {
  if (!HaveCurrentProfile() || index < 0 || index >= kAttachmentCapacity) return {};
  QString& stored = profileTable[currentProfile].addfile[index];
  const QString command = AttachmentAddCommand(stored, scriptDir, lzhCommand);
  stored = KeptAttachment(stored, scriptDir);
  return command;
}

namespace {

using BuildFor = VbBool (*)(const Profile&, const ScriptLayout&, int16_t, const QString&, quintptr);

// Runs `build` for the current profile, its attachments put into their kept
// form first; kVbFalse when there is no current profile.
VbBool BuildForCurrentProfile(BuildFor build, const QString& scriptPath, int16_t sfx,
                              const QString& extraArguments, int16_t nonRegular, quintptr hwnd) {
  if (!HaveCurrentProfile()) return kVbFalse;
  Profile& profile = profileTable[currentProfile];
  const ScriptLayout layout = LayoutOf(scriptPath, nonRegular);
  KeepAttachments(profile, layout.folder);
  return build(profile, layout, sfx, extraArguments, hwnd);
}

}  // namespace

VbBool BuildLzhArchive(const QString& scriptPath, int16_t sfx, const QString& extraArguments,
                       int16_t nonRegular, quintptr hwnd) {
  return BuildForCurrentProfile(&BuildLzhArchiveFor, scriptPath, sfx, extraArguments, nonRegular, hwnd);
}

VbBool BuildCabPackage(const QString& scriptPath, int16_t sfx, const QString& extraArguments,
                       int16_t nonRegular, quintptr hwnd) {
  return BuildForCurrentProfile(&BuildCabPackageFor, scriptPath, sfx, extraArguments, nonRegular, hwnd);
}

}  // namespace lm
