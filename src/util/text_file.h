// Reading and writing the program's text files.
//
// Every text file of the program (lfup.ini, index.fet and its twins,
// install.txt, the self-extractor option file, VENDOR.URL) is Shift-JIS (code
// page 932) with lines ended by CR LF and no byte-order mark. Encoding is
// strict: a text that code page 932 cannot hold makes the whole write fail
// with a message naming the text, and nothing is written.
//
// Writes that replace a file go through a temporary file in the same
// directory that is renamed over the target only when complete, so a failed
// write never leaves a half-written file behind.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace lm {

// What went wrong with a file operation.
struct FileError {
  enum class Kind { None, PermissionDenied, NotFound, NotEncodable, Io };
  Kind kind = Kind::None;
  int errnoValue = 0;     // the system's error number, 0 when none applies
  QString message;        // the system's description, or a description of the bad text
  QString badText;        // for NotEncodable: the line that could not be encoded

  bool ok() const { return kind == Kind::None; }
  bool permissionDenied() const { return kind == Kind::PermissionDenied; }
  static FileError FromErrno(int err);
};

// Where a line ends when a file is read.
enum class LineBreaks {
  CrOrCrLf,  // CR LF or a lone CR ends a line (a lone LF stays in the line)
  CrLfOnly,  // only CR LF ends a line
  Any        // CR LF, a lone CR or a lone LF ends a line
};

// Encodes text to code page 932. Returns false when a character cannot be
// encoded; `firstBad` then receives that character.
bool EncodeCp932(const QString& text, QByteArray& out, QString* firstBad = nullptr);
// Decodes code page 932 bytes; invalid sequences become U+FFFD.
QString DecodeCp932(const QByteArray& bytes);
// Decodes code page 932 bytes so that they can be written back unchanged:
// a byte that starts no character becomes the private character U+F700 +
// byte (shown as an unknown sign), which EncodeCp932KeepingBytes turns back
// into that byte. Only lfup.ini is read this way.
QString DecodeCp932KeepingBytes(const QByteArray& bytes);
// EncodeCp932, with the characters of DecodeCp932KeepingBytes written as
// their bytes again.
bool EncodeCp932KeepingBytes(const QString& text, QByteArray& out, QString* firstBad = nullptr);
// True for a character that DecodeCp932KeepingBytes made of a byte it could not read.
bool IsKeptByte(QChar c);
// The first character of `text` that code page 932 cannot hold (a kept byte
// counts as one it cannot), or an empty text when there is none.
QString FirstNotEncodable(const QString& text);

// Reads a whole file (resolved without regard to case) and splits it into
// lines. A last line without line end counts as a line; a file that ends with
// a line end has no empty last line.
bool ReadTextLines(const QString& path, QStringList& lines, FileError* error = nullptr,
                   LineBreaks breaks = LineBreaks::CrOrCrLf);
bool ReadFileBytes(const QString& path, QByteArray& bytes, FileError* error = nullptr);

// The bytes of a text file of these lines: each encoded and followed by CR LF.
// False (NotEncodable, naming the line) when a line cannot be encoded. With
// `keepBytes` the characters of DecodeCp932KeepingBytes become their bytes.
bool EncodeTextLines(const QStringList& lines, QByteArray& bytes, FileError* error = nullptr,
                     bool keepBytes = false);

// Encodes all lines first (each followed by CR LF), then replaces `path`
// through a temporary file and a rename. A target that exists but may not be
// written, or has no write permission bit at all (read-only, even for root),
// is refused with PermissionDenied, as Windows would. An
// existing file whose name differs only in case is the one written.
bool WriteTextLines(const QString& path, const QStringList& lines, FileError* error = nullptr);
// The same for bytes that are already encoded. With `ownerOnly` the file
// is for its owner alone (it holds a password): a new file gets mode 0600,
// an existing one loses the group's and the others' bits. Otherwise an
// existing file keeps its mode and a new one gets the default mode.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, FileError* error = nullptr,
                         bool ownerOnly = false);

// One file of a set that is replaced together.
struct FileReplacement {
  QString path;
  QByteArray bytes;
  bool ownerOnly = false;  // as WriteFileAtomically's
};

// Replaces several files together or not at all. Every target is checked
// first (as WriteFileAtomically checks one, and its folder must be writable),
// then every temporary file is written, then they are renamed into place one
// after the other. When a later rename fails, the targets already replaced
// get their earlier contents back from copies kept until the end (or are
// removed when they did not exist). On failure `failedPath` receives the
// path (as given) of the file the error belongs to.
bool WriteFilesTogether(const std::vector<FileReplacement>& files, FileError* error = nullptr,
                        QString* failedPath = nullptr);

}  // namespace lm
