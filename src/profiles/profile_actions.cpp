#include "profiles/profile_actions.h"

#include <cmath>
#include <optional>

#include <QDateTime>
#include <QRegularExpression>

#include "profiles/profile_store.h"
#include "profiles/settings_rules.h"
#include "profiles/script_check.h"
#include "util/index_line.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace lm {
namespace {

bool InUse(int index) { return index >= 0 && index <= lastProfile && index < kProfileCapacity; }

// A part of a next-update value read as a decimal number and truncated to a
// whole number; nothing when the part is not a plain decimal number or does
// not fit a 32-bit integer.
std::optional<int> WholeNumber(const QString& part) {
  static const QRegularExpression kDecimal(
      QStringLiteral("\\A[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)\\z"));
  if (!kDecimal.match(part).hasMatch()) return std::nullopt;
  bool ok = false;
  const double v = part.toDouble(&ok);
  if (!ok) return std::nullopt;
  const double t = std::trunc(v);
  if (t > 2147483647.0 || t < -2147483648.0) return std::nullopt;
  return static_cast<int>(t);
}

}  // namespace

int16_t RefreshMainWindow(MainWindowView& view) {
  view.SelectProfileEntry(currentProfile);
  const Profile* current = CurrentProfile();
  if (!current) return 0;

  const QString path = current->ugu;
  view.SetScriptFileText(path);

  QString message;
  int16_t nonRegular = 0;
  QString value;
  if (CheckScriptFile(path, message, nonRegular) != 0 ||
      ReadIndexNextUpdate(path, nonRegular, value) != 0) {
    ShowNextUpdate(QString(), view);
  } else {
    ShowNextUpdate(value, view);
  }
  return 0;
}

int16_t ReadIndexNextUpdate(const QString& path, int16_t nonRegular, QString& value) {
  const QString file = LayoutOf(path, nonRegular).indexPath;
  if (!CanOpenFile(file)) return -1;

  QStringList lines;
  if (!ReadTextLines(file, lines)) return -1;
  QString raw;
  for (const QString& line : lines) {
    if (NextUpdateOfLine(line, raw)) break;
  }
  value = TrimBlanks(raw);
  return value.isEmpty() ? -2 : 0;
}

void ShowNextUpdate(const QString& value, MainWindowView& view) {
  const QString t = TrimBlanks(value);
  if (t.isEmpty()) {
    const QDateTime now = QDateTime::currentDateTime();
    const int numbers[kNextUpdateBoxCount] = {now.date().year(), now.date().month(),
                                              now.date().day(), now.time().hour(),
                                              now.time().minute()};
    for (int k = 0; k < kNextUpdateBoxCount; ++k)
      view.SetNextUpdateText(DateBoxOfPosition(k), QString::number(numbers[k]));
    return;
  }

  SplitParts parts;
  int32_t count = 0;
  if (SplitAtBlanks(t, parts, count) != 0) return;  // too many parts: keep the boxes
  // Every part must be a number before any box changes, so that a damaged
  // value never leaves the boxes half filled.
  int numbers[kSplitPartCapacity] = {};
  for (int32_t k = 0; k < count; ++k) {
    const auto n = WholeNumber(parts[static_cast<size_t>(k)]);
    if (!n) return;
    numbers[k] = *n;
  }
  for (int k = 0; k < kNextUpdateBoxCount && k < count; ++k)
    view.SetNextUpdateText(DateBoxOfPosition(k), QString::number(numbers[k]));
}

int16_t SplitAtBlanks(const QString& text, SplitParts& parts, int32_t& count) {
  count = 0;
  if (text.isEmpty()) return -9;
  const qsizetype n = text.size();
  qsizetype start = 0;
  for (qsizetype i = 0; i < n; ++i) {
    const bool blank = text.at(i) == QLatin1Char(' ');
    const bool last = i == n - 1;
    if (!blank && !last) continue;
    if (count >= kSplitPartCapacity) return -2;
    parts[static_cast<size_t>(count++)] = blank ? text.mid(start, i - start)
                                                : text.mid(start, i - start + 1);
    start = i + 1;
  }
  return 0;
}

int16_t DropScriptOnMainWindow(const QStringList& files, MainWindowView& view) {
  if (files.isEmpty()) {
    MsgBox(QStringLiteral("対象ファイルが存在していません。"), style::OkOnly);
    return 0;
  }
  if (files.size() > 1) {
    MsgBox(QStringLiteral("複数ファイルの同時登録には対応していません。"), style::OkOnly);
    return 0;
  }
  const QString f = files.first();
  QString ext;
  ExtensionOf(f, ext);
  ext = ext.toUpper();
  if (ext != QStringLiteral("PSN") && ext != QStringLiteral("UGU")) {
    MsgBox(QStringLiteral("ペルソナ情報ファイル（PSN/UGUファイル）ではありません。") + CR +
               Bracketed(f),
           style::OkOnly);
    return 0;
  }
  // A path that lfup.ini cannot hold would make every later save fail.
  if (const QString unstorable = UnstorableTextMessage(TrimBlanks(f)); !unstorable.isEmpty()) {
    MsgBox(unstorable, style::OkOnly);
    return 0;
  }
  QString message;
  int16_t nonRegular = 0;
  if (CheckScriptFile(f, message, nonRegular) != 0) {
    MsgBox(message, style::OkOnly);
    return 0;
  }
  Profile* current = CurrentProfile();
  if (!current) return 0;
  current->ugu = TrimBlanks(f);
  RefreshMainWindow(view);
  return 0;
}

int16_t DeleteProfile(int16_t index) {
  if (!InUse(index)) return 0;
  // Every field moves, the attachments and the FTP and self-extractor fields
  // included; the record beyond the new last profile keeps its old content.
  for (int k = index; k < lastProfile; ++k) profileTable[k] = profileTable[k + 1];
  --lastProfile;
  return 0;
}

void DeleteSelectedProfile(MainWindowView& view) {
  if (lastProfile == 0) {
    MsgBox(QStringLiteral("すべてのプロファイルを削除することはできません。"), style::OkOnly);
    return;
  }
  if (MsgBox(QStringLiteral("このプロファイルを削除してもよろしいですか？"),
             style::YesNoQuestion) != button::Yes)
    return;
  const int i = view.SelectedProfileEntry();
  if (!InUse(i)) return;  // no entry selected: nothing to delete
  DeleteProfile(static_cast<int16_t>(i));
  view.RemoveProfileEntry(i);
  view.SelectProfileEntry(0);
  RefreshMainWindow(view);
  // The deletion reaches lfup.ini at once, so a command run next sees it.
  SaveProfiles();
}

}  // namespace lm
