// The rules of the profile settings window that need no window: the archive
// name test, the two drops, the checks run when the user confirms, and the
// store of the confirmed texts into a profile.
//
// Every message goes through MsgBox (OK only, no icon, title "Loftmark").
#pragma once

#include <cstdint>
#include <functional>

#include <QString>
#include <QStringList>

#include "profiles/profile_store.h"

namespace lm {

// The attachment list holds at most this many entries, however they come in.
constexpr int kMaxAttachmentEntries = 50;

// 0 when `name` is a usable archive base name; -1 for an empty name or one
// holding \ / : , * ? < > | " a blank or a full stop. Full-width characters are allowed.
int16_t IsValidArchiveName(const QString& name);

// True when the last four characters are ".lnk" in any letter case.
bool IsShortcutPath(const QString& path);

// A document the self-extractor can open by itself: the name ends in TXT,
// HTM or HTML, in any letter case.
bool IsAutoViewDocument(const QString& name);

// True when an entry of `attachments` (trimmed) exists as a file and has the
// same file name as `autoView`, letter case ignored.
bool AutoViewIsAttached(const QString& autoView, const QStringList& attachments);

// A script information file dropped on the settings window: the dropped
// path, trimmed, when it is a single PSN/UGU file that passes the script
// check; "" after the message otherwise.
QString CheckDroppedScriptFile(const QStringList& files);

// Files dropped on the attachment list: refused as a whole (-1, nothing
// added) when the list would hold more than kMaxAttachmentEntries; otherwise
// every path but shortcuts is appended unchanged (one message per shortcut) and 0.
int16_t AddDroppedAttachments(QStringList& list, const QStringList& dropped);

// The message shown when the attachment list is full.
QString AttachmentLimitMessage();

// The texts of the settings window's boxes, as typed (not yet trimmed).
struct SettingsTexts {
  QString profile;
  QString ugu;
  QString arcName;
  QString arcDirect;
  QStringList attachments;
  QString exeWinTitle;
  QString exeViewDir;
  QString autoView;
  QString server;
  QString userid;
  QString password;
  QString dirserver;
  bool keyring = false;  // "パスワードをキーリングに保存" ticked
};

// The message for a text that lfup.ini cannot hold (a character that
// Shift-JIS cannot write, such as an emoji in a file name), naming the
// character and the text; empty when the text can be stored. Bytes read from
// lfup.ini that are not Shift-JIS can be stored: they go back as they were.
QString UnstorableTextMessage(const QString& text);

// The boxes a failing rule moves the focus to.
enum class SettingsBox {
  Profile, ScriptFile, ArcName, ArcDirect, Attachments, ExeWinTitle, ExeViewDir, AutoView,
  Server, UserId, Password, DirServer
};

// Runs every rule in order without stopping at the first failure: each
// failing rule shows its message and then calls `focus` with its box (the
// focus thus ends on the last failing box). Warnings about the script file
// do not block. After the window's own rules, every text that lfup.ini could
// not hold blocks, with UnstorableTextMessage. 0 when nothing blocked, -1
// otherwise.
int16_t CheckSettings(const SettingsTexts& texts, const std::function<void(SettingsBox)>& focus);

// The password's place: with `keyring` a typed password goes to the
// desktop's secret store and the profile keeps none (when the store is
// missing the author is told and will be asked at upload time); without it
// the password stays in the profile and the store forgets it.
void StorePasswordChoice(Profile& p, bool keyring);

// Stores the confirmed texts into `profile`: the trimmed texts; the
// attachments that exist as a file or a directory, in list order and
// unchanged (one message for each entry that vanished, which is left out).
// `profile.addarc` is kept.
void StoreSettings(const SettingsTexts& texts, Profile& profile);

}  // namespace lm
