// The distribution archive in the LHA format (namearc.lzh in the profile's
// archive directory) and, when asked, the self-extracting file namearc.exe.
//
// Everything goes through UnLHA32.DLL as command lines (cUnLHA): the
// attachments, the script information file with its data tree (and the extra
// arguments of the profile), install.txt; then the deletion of LASTUPDATE,
// UPDATE.LOG and MIRROR.FET from the archive; for the self-extracting file
// the option file "$" is added, the executable made, and "$" deleted again.
#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

#include "archive/archive_steps.h"
#include "profiles/profile.h"
#include "profiles/script_check.h"
#include "util/status.h"

namespace lm {

// The add command of an attachment for the archive `lzhCommand` and the
// script directory `scriptDir` (with its separator); "" when the attachment
// is neither a file nor a directory. Reads nothing but the file system.
QString AttachmentAddCommand(const QString& attachment, const QString& scriptDir, const QString& lzhCommand);

// The attachment as the profile keeps it: a directory outside the script
// directory given with a trailing separator loses the separator; everything
// else stays as given.
QString KeptAttachment(const QString& attachment, const QString& scriptDir);

// Puts every attachment of `profile` into its kept form.
void KeepAttachments(Profile& profile, const QString& scriptDir);

// Builds the archives `names` (in their folder) from the attachments of
// `profile` (in their kept form) and the script `layout`. sfx 1 makes the
// self-extracting file; extraArguments: "" or the extra arguments followed
// by one blank. kVbTrue (-1) when the LZH archive (and with sfx 1 the
// self-extracting file) was made, kVbFalse (0) after the message of a
// failed step. `hwnd` is the main window's handle, passed on to the library.
VbBool BuildLzhArchiveFor(const Profile& profile, const ScriptLayout& layout, const ArchiveNames& names,
                          int16_t sfx, const QString& extraArguments, quintptr hwnd = 0);

}  // namespace lm
