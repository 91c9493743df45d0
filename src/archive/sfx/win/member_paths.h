// Where a member may go: its stored name made a path relative to the
// install folder, or refused when it could leave that folder; the long
// "\\?\" form every file call of the stub uses; the names of its
// temporary files; names made safe to show.
#pragma once

#include <cstdint>
#include <string>

namespace sfxw {

enum class PathVerdict {
  kOk,          // `relative` holds the path, levels joined by "\"
  kOptionFile,  // the self-extractor's own option file "$": never written
  kRefused,     // absolute, drive, UNC, "..", a device, a trailing dot or blank, a character Windows forbids
  kTooLong      // a level longer than the 255 characters a Windows file name can have
};

// The longest name of one level that Windows file systems hold.
inline constexpr std::size_t kMaxLevel = 255;
// The longest path the "\\?\" form can name.
inline constexpr std::size_t kMaxLongPath = 32767;

// `name` is the member's name in UTF-16; "\" and "/" both separate levels.
PathVerdict SafeRelativePath(const std::wstring& name, std::wstring& relative);

// `dir` + "\" + `relative`, with one separator also when `dir` is a root
// such as "C:\".
std::wstring JoinPath(const std::wstring& dir, const std::wstring& relative);

// An absolute path ("C:\x", "\\server\share\x") in the "\\?\" form that
// passes the 260-character limit ("\\?\C:\x", "\\?\UNC\server\share\x");
// a path already in that form or one that is not absolute stays as it is.
std::wstring LongForm(const std::wstring& absolute);

// The path as the user typed it: the "\\?\" prefix taken off again.
std::wstring ShortForm(const std::wstring& path);

// How many characters of `path` (in either form) are its root: "C:\",
// "\\?\C:\", "\\server\share\", "\\?\UNC\server\share\". 0 when it has none.
std::size_t RootLength(const std::wstring& path);

// The temporary file that holds a member until its CRC checked out:
// "~lfx" + 16 hex digits + ".tmp". The shape is kept narrow so that a later
// run can remove the leftovers of a killed one without touching anything
// of the user's.
std::wstring TemporaryName(uint32_t process, uint32_t serial);
bool IsTemporaryName(const std::wstring& fileName);

// The run's list of the new file it is writing under its own name, in the
// install folder: "~lfx" + 16 hex digits + ".lst". It holds the file's
// path relative to the folder, written just before the file is created; a
// later run that finds the list of a killed run removes that file if it
// was created no earlier than the list was written (so never a file that
// was there before), then the list.
std::wstring JournalName(uint32_t process, uint32_t serial);
bool IsJournalName(const std::wstring& fileName);
// The list holds the path ended by a zero character; an empty path says
// that no file is being written. `text` is what a later run read from it:
// false when no complete path is there or the path would leave the folder.
bool ReadJournalRecord(const std::wstring& text, std::wstring& relative);

// The folder a file path lies in; a drive's or a share's root keeps its
// separator ("\\?\C:\", "\\?\UNC\server\share\").
std::wstring FolderOf(const std::wstring& path);

// True for the names the "$Command" option may open after extraction:
// documents ending in ".txt", ".htm" or ".html" (letter case aside).
bool IsDocumentName(const std::wstring& name);

// `text` with every control character written as a visible escape, as the
// program's reports do: C0 controls and DEL as "\x1B", C1 controls and the
// line and paragraph separators as "\u0085". A refused name can hold them,
// and a message box or a console would act on them instead of showing them.
std::wstring Shown(const std::wstring& text);

}  // namespace sfxw
