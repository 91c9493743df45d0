#include "profiles/profile_store.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include "profiles/script_check.h"
#include "util/app_folders.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/text_file.h"

namespace lm {

std::array<Profile, kProfileCapacity> profileTable;
int16_t lastProfile = 0;
int16_t currentProfile = 0;
int16_t addingProfile = 0;
std::vector<int16_t> unfoundProfiles;

Profile* CurrentProfile() {
  if (currentProfile < 0 || currentProfile > lastProfile || currentProfile >= kProfileCapacity) return nullptr;
  return &profileTable[static_cast<size_t>(currentProfile)];
}

namespace {

const QString kSettingsFileName = QStringLiteral("lfup.ini");
const QString kBackupSuffix = QStringLiteral(".bak");
const QString kWriteRefused = QStringLiteral("設定ファイルに書きこみできませんでした。");

QString SettingsPath() {
  // Saving before any load still uses the program's own folders, never "/lfup.ini".
  return ConfigFolder() + QLatin1Char('/') + kSettingsFileName;
}

QString ThreeDigits(int n) { return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')); }

// The three characters as a number 0..999, or -1 when they are not three decimal digits.
int ThreeDigitNumber(const QString& text) {
  if (text.size() != 3) return -1;
  int n = 0;
  for (QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return -1;
    n = n * 10 + (c.unicode() - '0');
  }
  return n;
}

// The leading decimal number of a text (an optional sign, then digits), 0 when
// there is none; clamped to the given range.
int LeadingNumber(const QString& text, int low, int high) {
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
    negative = text.at(i) == QLatin1Char('-');
    ++i;
  }
  long long n = 0;
  for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
    if (n < 1000000) n = n * 10 + (text.at(i).unicode() - '0');
  }
  if (negative) n = -n;
  return static_cast<int>(std::clamp<long long>(n, low, high));
}

QString* TextField(Profile& p, const QString& key) {
  if (key == QLatin1String("profile")) return &p.profile;
  if (key == QLatin1String("ugu")) return &p.ugu;
  if (key == QLatin1String("dirarc")) return &p.dirarc;
  if (key == QLatin1String("addarc")) return &p.addarc;
  if (key == QLatin1String("namearc")) return &p.namearc;
  if (key == QLatin1String("exewintitle")) return &p.exewintitle;
  if (key == QLatin1String("exeviewdir")) return &p.exeviewdir;
  if (key == QLatin1String("autoview")) return &p.autoview;
  if (key == QLatin1String("server")) return &p.server;
  if (key == QLatin1String("userid")) return &p.userid;
  if (key == QLatin1String("password")) return &p.password;
  if (key == QLatin1String("dirserver")) return &p.dirserver;
  if (key == QLatin1String("servercert")) return &p.servercert;
  if (key == QLatin1String("keyring")) return &p.keyring;
  return nullptr;
}

void ApplyKeyedLine(const QString& key, int index, const QString& value) {
  Profile& p = profileTable[static_cast<size_t>(index)];
  const QString lower = key.toLower();
  if (QString* field = TextField(p, lower)) {
    *field = value;
  } else if (lower == QLatin1String("addfilecnt")) {
    p.addfilecnt = static_cast<int16_t>(LeadingNumber(value, 0, kAttachmentCapacity));
  } else if (lower == QLatin1String("addfile")) {
    const int k = ThreeDigitNumber(value.left(3));
    if (k >= 0 && k < kAttachmentCapacity) p.addfile[static_cast<size_t>(k)] = value.mid(3);
  }
  // "default" is accepted and its value ignored; other keys name no field.
}

// A line of the older single-profile layout fills profile 0 where it is still
// empty. Its value is trimmed like a keyed line's: a blank after "ugu=" would
// otherwise stay in the path, be written back, and be trimmed away only at
// the next start, so the profile named another file from one start to the next.
void ApplyLegacyLine(const QString& line) {
  Profile& p = profileTable[0];
  struct Legacy {
    const char* prefix;
    QString* field;
  };
  const Legacy legacy[] = {{"ugu=", &p.ugu}, {"dirarc=", &p.dirarc}, {"addarc=", &p.addarc},
                           {"profile=", &p.profile}};
  for (const Legacy& l : legacy) {
    const QString prefix = QLatin1String(l.prefix);
    if (line.startsWith(prefix, Qt::CaseSensitive)) {
      if (l.field->isEmpty()) *l.field = TrimBlanks(line.mid(prefix.size()));
      return;
    }
  }
}

// The settings file's bytes read as UTF-8, or nothing when they are read as
// Shift-JIS. The program writes Shift-JIS; a file edited by hand in a UTF-8
// editor is recognised (a UTF-8 byte-order mark, or valid UTF-8 whose
// non-ASCII characters are all three- or four-byte ones) so that its Japanese
// names and paths are not garbled. Japanese in UTF-8 is made of three-byte
// characters; Shift-JIS half-width katakana can pair up into two-byte ones
// (ﾃｽ reads as "ý"), so only a text without those counts as UTF-8.
std::optional<QString> Utf8Reading(const QByteArray& bytes) {
  static const QByteArray bom("\xEF\xBB\xBF");
  if (bytes.startsWith(bom)) return QString::fromUtf8(bytes.mid(bom.size()));
  const bool ascii = std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return (c & 0x80) == 0; });
  if (ascii) return std::nullopt;
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder(bytes);
  const bool twoByte =
      std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x80 && c.unicode() < 0x800; });
  if (decoder.hasError() || twoByte) return std::nullopt;
  return text;
}

// A comment line in Shift-JIS that is not valid UTF-8 (its first kana starts
// with a lone continuation byte). SaveProfiles puts it first when the
// Shift-JIS bytes it is about to write would otherwise read as UTF-8 (rare
// kanji can line up into valid UTF-8), so that the file reads back as
// written. Readers skip comment lines.
const QString kShiftJisMark = QStringLiteral("# このファイルはシフトJISで書かれています");

// The lines of the settings file's bytes, decoded as Utf8Reading decides;
// the next save writes Shift-JIS. A byte that is not Shift-JIS is kept as the
// character that stands for it (DecodeCp932KeepingBytes), so a field the
// author does not edit is written back with the bytes it had. Lines may end
// in CR LF, CR or LF.
QStringList SettingsLinesOf(const QByteArray& bytes) {
  std::optional<QString> utf8 = Utf8Reading(bytes);
  const QString text = utf8 ? std::move(*utf8) : DecodeCp932KeepingBytes(bytes);
  static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
  QStringList lines = text.split(lineEnd);
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // the final line end
  return lines;
}

bool ReadSettingsLines(const QString& path, QStringList& lines) {
  QByteArray bytes;
  if (!ReadFileBytes(path, bytes)) return false;
  lines = SettingsLinesOf(bytes);
  return true;
}

// True when a line of the settings file gives a profile a password: such a
// file is for its owner alone.
bool HoldsPassword(const QStringList& lines) {
  static const QRegularExpression password(QStringLiteral("^\\s*password\\(\\d{3}\\)=\\s*\\S"),
                                           QRegularExpression::CaseInsensitiveOption);
  return std::any_of(lines.cbegin(), lines.cend(), [](const QString& line) { return password.match(line).hasMatch(); });
}

}  // namespace

int16_t SplitKeyedLine(const QString& line, QString& key, int16_t& index, QString& value) {
  if (line.isEmpty()) return -1;
  const int open = line.indexOf(QLatin1Char('('));
  if (open <= 0) return -1;
  // No key holds "=": such a line is a legacy "ugu=" line whose path has a "(".
  if (line.left(open).contains(QLatin1Char('='))) return -1;
  // Only three decimal digits make an index; anything else is not a keyed line.
  const int n = ThreeDigitNumber(line.mid(open + 1, 3));
  if (n < 0) return -1;
  const int after = open + 4;
  if (after < line.size() && line.at(after).isDigit()) return -1;  // four or more digits
  key = line.left(open);
  index = static_cast<int16_t>(n);
  value = TrimBlanks(line.mid(open + 6));
  return 0;
}

void LoadProfiles() {
  programDir = ExecutableDir();
  LoadProfilesFrom(SettingsPath());
}

void LoadProfilesFrom(const QString& settingsPath) {
  programDir = ExecutableDir();
  currentProfile = 0;
  lastProfile = 0;
  profileTable[0].Clear();
  profileTable[0].profile = QStringLiteral("Default");

  const QString& path = settingsPath;
  QStringList lines;
  // A missing or unreadable settings file leaves the single profile "Default".
  if (CanOpenFile(path) && ReadSettingsLines(path, lines)) {
    for (const QString& raw : lines) {
      const QString line = TrimBlanks(raw);
      if (line.startsWith(QLatin1Char('#'))) continue;
      QString key;
      QString value;
      int16_t index = 0;
      if (SplitKeyedLine(line, key, index, value) == 0) {
        if (index >= kProfileCapacity) continue;  // no such profile: the line is skipped
        ApplyKeyedLine(key, index, value);
        if (index > lastProfile) lastProfile = index;
      } else {
        ApplyLegacyLine(line);
      }
    }
  }

  // A profile whose script cannot be found keeps everything as stored: its
  // disk may only be unmounted. Operations on it report the missing file when
  // they check the script. A found script's missing archive directory is
  // emptied, so a build falls back to the program directory.
  unfoundProfiles.clear();
  const cFile files;
  for (int i = 0; i <= lastProfile; ++i) {
    Profile& p = profileTable[static_cast<size_t>(i)];
    if (TrimBlanks(p.ugu).isEmpty()) continue;
    QString message;
    int16_t nonRegular = 0;
    if (CheckScriptFile(p.ugu, message, nonRegular) != 0) {
      unfoundProfiles.push_back(static_cast<int16_t>(i));
      continue;
    }
    if (p.dirarc.isEmpty() || !files.DirExists(p.dirarc)) p.dirarc.clear();
  }
}

QString UnfoundProfilesMessage() {
  if (unfoundProfiles.empty()) return QString();
  QString text = QStringLiteral("次のプロファイルのスクリプト情報ファイル（UGU/PSNファイル）が見つかりません。");
  text += CR;
  for (int16_t i : unfoundProfiles) {
    if (i < 0 || i > lastProfile) continue;
    const Profile& p = profileTable[static_cast<size_t>(i)];
    text += CR + TrimBlanks(p.profile) + QStringLiteral("　") + Bracketed(p.ugu);
  }
  text += QString(CR) + CR + QStringLiteral("これらのプロファイルは設定をそのまま保存します。") + CR +
          QStringLiteral("スクリプトの場所を設定し直すか、プロファイルを削除してください。");
  return text;
}

QStringList ProfileFileLines() {
  QStringList lines;
  int n = 0;
  for (int i = 0; i <= lastProfile && i < kProfileCapacity; ++i) {
    const Profile& p = profileTable[static_cast<size_t>(i)];
    if (TrimBlanks(p.ugu).isEmpty()) continue;
    const QString nnn = ThreeDigits(n);
    auto line = [&](const char* key, QString value) {
      // A line break inside a value would start a line of its own on reading
      // (and could set another profile's field): it is written as a blank.
      value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
      lines.append(QLatin1String(key) + QLatin1Char('(') + nnn + QStringLiteral(")=") + value);
    };
    line("profile", TrimBlanks(p.profile));
    line("ugu", p.ugu);
    line("namearc", TrimBlanks(p.namearc));
    line("dirarc", p.dirarc);
    line("addarc", TrimBlanks(p.addarc));
    const int count = std::clamp<int>(p.addfilecnt, 0, kAttachmentCapacity);
    line("addfilecnt", QString::number(count));
    for (int k = 0; k < count; ++k) line("addfile", ThreeDigits(k) + TrimBlanks(p.addfile[static_cast<size_t>(k)]));
    line("default", i == currentProfile ? QStringLiteral("1") : QStringLiteral("0"));
    line("exewintitle", TrimBlanks(p.exewintitle));
    line("exeviewdir", TrimBlanks(p.exeviewdir));
    line("autoview", TrimBlanks(p.autoview));
    line("server", TrimBlanks(p.server));
    line("userid", TrimBlanks(p.userid));
    line("password", TrimBlanks(p.password));
    line("dirserver", TrimBlanks(p.dirserver));
    for (const auto& [key, value] : {std::pair{"servercert", &p.servercert}, std::pair{"keyring", &p.keyring}})
      if (!TrimBlanks(*value).isEmpty()) line(key, TrimBlanks(*value));
    ++n;
  }
  return lines;
}

void SaveProfiles() {
  const QString path = SettingsPath();
  // The file being replaced is kept as lfup.ini.bak when the save changes
  // its contents, so a save that went wrong in its content (a profile edited
  // away by mistake) can still be undone by hand. A save that changes
  // nothing keeps the older copy. Failing to keep the copy does not stop the
  // save.
  QByteArray previous;
  const QString previousPath = ResolveExisting(path);
  const bool hadPrevious = !previousPath.isEmpty() && CanOpenFile(previousPath) && ReadFileBytes(previousPath, previous);
  FileError error;
  QByteArray bytes;
  QStringList lines = ProfileFileLines();
  // Bytes read from the file that are not Shift-JIS go back as they were.
  bool saved = EncodeTextLines(lines, bytes, &error, true);
  if (saved && Utf8Reading(bytes)) {
    lines.prepend(kShiftJisMark);
    saved = EncodeTextLines(lines, bytes, &error, true);
  }
  // A file that holds a password may be read by its owner only; so may the
  // copy of an earlier one that held a password.
  const bool secret = HoldsPassword(lines);
  saved = saved && WriteFileAtomically(path, bytes, &error, secret);
  if (saved && hadPrevious && bytes != previous) {
    (void)WriteFileAtomically(previousPath + kBackupSuffix, previous, nullptr,
                              secret || HoldsPassword(SettingsLinesOf(previous)));
  }
  if (saved) return;
  if (error.permissionDenied()) {
    MsgBox(kWriteRefused, style::OkOnly);
  } else if (error.kind == FileError::Kind::NotEncodable) {
    // Name the text that cannot be stored; the previous file stays as it was.
    MsgBox(kWriteRefused + CR + error.message, style::OkOnly);
  } else {
    MsgBox(error.message, style::OkOnly);
  }
}

}  // namespace lm
