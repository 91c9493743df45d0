#include "profiles/settings_rules.h"

#include <utility>

#include "profiles/password_keyring.h"
#include "profiles/script_check.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace lm {

namespace {


void Show(const QString& text) { MsgBox(text, style::OkOnly); }

QString UpperExtension(const QString& path) {
  QString ext;
  ExtensionOf(path, ext);
  return ext.toUpper();
}

bool IsScriptExtension(const QString& path) {
  const QString ext = UpperExtension(path);
  return ext == QLatin1String("PSN") || ext == QLatin1String("UGU");
}

}  // namespace

int16_t IsValidArchiveName(const QString& name) {
  if (name.isEmpty()) return -1;
  static const QString forbidden = QStringLiteral("\\/:,*?<>|\" .");
  for (const QChar c : name)
    if (forbidden.contains(c)) return -1;
  return 0;
}

bool IsShortcutPath(const QString& path) {
  return path.right(4).toLower() == QLatin1String(".lnk");
}

bool IsAutoViewDocument(const QString& name) {
  const QString last3 = name.right(3).toUpper();
  return last3 == QLatin1String("TXT") || last3 == QLatin1String("HTM") ||
         name.right(4).toUpper() == QLatin1String("HTML");
}

bool AutoViewIsAttached(const QString& autoView, const QStringList& attachments) {
  QString wanted;
  FileNameOf(autoView, wanted);
  wanted = wanted.toUpper();
  const cFile files;
  for (const QString& entry : attachments) {
    const QString path = TrimBlanks(entry);
    if (!files.FileExists(path)) continue;
    QString name;
    FileNameOf(path, name);
    if (name.toUpper() == wanted) return true;
  }
  return false;
}

QString CheckDroppedScriptFile(const QStringList& files) {
  if (files.isEmpty()) {
    Show(QStringLiteral("対象ファイルが存在していません。"));
    return QString();
  }
  if (files.size() > 1) {
    Show(QStringLiteral("複数ファイルの同時登録には対応していません。"));
    return QString();
  }
  const QString& f = files.front();
  if (!IsScriptExtension(f)) {
    Show(QStringLiteral("スクリプト情報ファイル（PSN/UGUファイル）ではありません。") + CR + Bracketed(f));
    return QString();
  }
  if (const QString unstorable = UnstorableTextMessage(TrimBlanks(f)); !unstorable.isEmpty()) {
    Show(unstorable);
    return QString();
  }
  QString message;
  int16_t nonRegular = 0;
  if (CheckScriptFile(f, message, nonRegular) != 0) {
    Show(message);
    return QString();
  }
  return TrimBlanks(f);
}

QString AttachmentLimitMessage() {
  return QStringLiteral("ファイルは追加されませんでした。") + CR +
         QStringLiteral("配布用アーカイブに添付できるファイル・ディレクトリは、最大５０件です。");
}

int16_t AddDroppedAttachments(QStringList& list, const QStringList& dropped) {
  if (list.size() + dropped.size() > kMaxAttachmentEntries) {
    Show(AttachmentLimitMessage());
    return -1;
  }
  for (const QString& f : dropped) {
    if (IsShortcutPath(f)) {
      Show(QStringLiteral("ショートカットは使用できません。") + CR + Bracketed(f));
      continue;
    }
    list << f;
  }
  return 0;
}

QString UnstorableTextMessage(const QString& text) {
  QByteArray ignored;
  QString bad;
  if (EncodeCp932KeepingBytes(text, ignored, &bad)) return QString();
  return QStringLiteral("Shift-JISで表せない文字「%1」が含まれているため、設定ファイルに保存できません。").arg(bad) +
         CR + Bracketed(text);
}

int16_t CheckSettings(const SettingsTexts& texts, const std::function<void(SettingsBox)>& focus) {
  int16_t status = 0;
  auto fail = [&](const QString& message, SettingsBox box) {
    Show(message);
    if (focus) focus(box);
    status = -1;
  };
  const cFile files;

  if (TrimBlanks(texts.profile).isEmpty())
    fail(QStringLiteral("プロファイル名を指定してください。"), SettingsBox::Profile);

  const QString arcName = TrimBlanks(texts.arcName);
  if (!arcName.isEmpty() && IsValidArchiveName(arcName) != 0)
    fail(QStringLiteral("配布用アーカイブのファイル名に誤りがあります。"), SettingsBox::ArcName);

  const QString arcDirect = TrimBlanks(texts.arcDirect);
  if (!arcDirect.isEmpty() && !files.DirExists(arcDirect))
    fail(QStringLiteral("圧縮ファイル作成ディレクトリの指定に誤りがあります。"), SettingsBox::ArcDirect);

  const QString ugu = TrimBlanks(texts.ugu);
  if (ugu.isEmpty()) {
    fail(QStringLiteral("更新定義ファイル(UGU/PSN)を指定してください。"), SettingsBox::ScriptFile);
  } else if (!files.FileExists(ugu)) {
    fail(QStringLiteral("更新定義ファイルが存在しません。"), SettingsBox::ScriptFile);
  } else if (IsScriptExtension(ugu)) {
    QString message;
    int16_t nonRegular = 0;
    if (CheckScriptFile(ugu, message, nonRegular) != 0) Show(message);  // a warning only
  } else {
    Show(QStringLiteral("ペルソナ情報ファイル（PSN/UGUファイル）ではありません。") + CR + Bracketed(ugu));
  }

  const QString autoView = TrimBlanks(texts.autoView);
  if (!autoView.isEmpty()) {
    if (!IsAutoViewDocument(autoView))
      fail(QStringLiteral("TXTファイル、HTMLファイル以外のファイルは自動表示できません。"),
           SettingsBox::AutoView);
    else if (!AutoViewIsAttached(autoView, texts.attachments))
      fail(QStringLiteral("自動表示対象のファイルは、添付ファイルリスト上に存在しません。"),
           SettingsBox::AutoView);
  }

  // Everything stored must fit lfup.ini; the boxes refuse such characters
  // as they are typed, but paths come from the disk through the choosers
  // and drops.
  const std::pair<const QString*, SettingsBox> stored[] = {
      {&texts.profile, SettingsBox::Profile},         {&texts.ugu, SettingsBox::ScriptFile},
      {&texts.arcName, SettingsBox::ArcName},         {&texts.arcDirect, SettingsBox::ArcDirect},
      {&texts.exeWinTitle, SettingsBox::ExeWinTitle}, {&texts.exeViewDir, SettingsBox::ExeViewDir},
      {&texts.autoView, SettingsBox::AutoView},       {&texts.server, SettingsBox::Server},
      {&texts.userid, SettingsBox::UserId},           {&texts.password, SettingsBox::Password},
      {&texts.dirserver, SettingsBox::DirServer}};
  for (const auto& [text, box] : stored) {
    const QString message = UnstorableTextMessage(TrimBlanks(*text));
    if (!message.isEmpty()) fail(message, box);
  }
  for (const QString& entry : texts.attachments) {
    const QString message = UnstorableTextMessage(entry);
    if (!message.isEmpty()) fail(message, SettingsBox::Attachments);
  }
  return status;
}

void StoreSettings(const SettingsTexts& texts, Profile& p) {
  p.profile = TrimBlanks(texts.profile);
  p.dirarc = TrimBlanks(texts.arcDirect);
  p.namearc = TrimBlanks(texts.arcName);
  p.ugu = TrimBlanks(texts.ugu);
  p.exewintitle = TrimBlanks(texts.exeWinTitle);
  p.exeviewdir = TrimBlanks(texts.exeViewDir);
  p.autoview = TrimBlanks(texts.autoView);

  const cFile files;
  p.addfilecnt = 0;
  for (const QString& entry : texts.attachments) {
    if (files.FileExists(entry) || files.DirExists(entry)) {
      // The list never holds more than the table can take; stop at the table's end all the same.
      if (p.addfilecnt >= kAttachmentCapacity) break;
      p.addfile[p.addfilecnt++] = entry;
    } else {
      Show(QStringLiteral("下記のファイルまたはディレクトリが存在しません。リストから削除します。") + CR +
           Bracketed(entry));
    }
  }
  for (int i = p.addfilecnt; i < kAttachmentCapacity; ++i) p.addfile[i].clear();

  p.server = TrimBlanks(texts.server);
  p.userid = TrimBlanks(texts.userid);
  p.password = TrimBlanks(texts.password);
  p.dirserver = TrimBlanks(texts.dirserver);
  StorePasswordChoice(p, texts.keyring);
}

void StorePasswordChoice(Profile& p, bool keyring) {
  const bool wasInKeyring = p.keyring == QLatin1String("1");
  if (!keyring) {
    p.keyring.clear();
    // The password goes back to lfup.ini; the keyring forgets it.
    if (wasInKeyring) DeletePasswordFromKeyring(KeyringAccount(p));
    return;
  }
  // An empty box keeps what the keyring already holds.
  if (p.password.isEmpty()) {
    if (!wasInKeyring) p.keyring.clear();
    return;
  }
  QString why;
  const KeyringStatus status = SavePasswordToKeyring(KeyringAccount(p), p.password, &why);
  p.password.clear();  // never in lfup.ini once the author asked for the keyring
  if (status == KeyringStatus::Ok) {
    p.keyring = QStringLiteral("1");
    return;
  }
  p.keyring.clear();
  Show(QStringLiteral("パスワードをキーリングに保存できませんでした。") + CR + why + CR +
       QStringLiteral("パスワードは保存されません。アップロードの時に入力してください。"));
}

}  // namespace lm
