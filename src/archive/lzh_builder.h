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

namespace lm {

// The add command of attachment `index` of the current profile for the
// archive `lzhCommand` and the script directory `scriptDir` (with its
// separator); "" when the attachment is neither a file nor a directory. A
// directory outside the script directory given with a trailing separator is
// stored back into the profile without it.
QString AttachmentCommand(int index, const QString& scriptDir, const QString& lzhCommand);

// scriptPath: the trimmed ugu; sfx 1 makes the self-extracting file;
// extraArguments: "" or the trimmed addarc followed by one blank;
// nonRegular 1: DAT lies beside the script information file.
// Builds the archives; -1 when the LZH archive (and with sfx 1 the
// self-extracting file) was made, 0 after the message of a failed step.
// `hwnd` is the main window's handle, passed on to the library.
int16_t BuildLzhArchive(const QString& scriptPath, int16_t sfx, const QString& extraArguments,
                        int16_t nonRegular, quintptr hwnd = 0);

}  // namespace lm
