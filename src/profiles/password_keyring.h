// A profile's upload password in the desktop's secret store (the Secret
// Service of GNOME Keyring or KWallet, through QtKeychain), for authors who
// do not want it in lfup.ini. The calls wait for the store's answer.
#pragma once

#include <QString>

namespace lm {

struct Profile;

enum class KeyringStatus {
  Ok,
  NotFound,     // the store works but holds no password for the account
  Unavailable,  // no secret store on this desktop (or it is locked away)
  Failed,       // the store refused; the message says why
};

// The name under which a profile's password is kept: user@server.
QString KeyringAccount(const Profile& profile);

KeyringStatus SavePasswordToKeyring(const QString& account, const QString& password, QString* message = nullptr);
KeyringStatus ReadPasswordFromKeyring(const QString& account, QString& password, QString* message = nullptr);
KeyringStatus DeletePasswordFromKeyring(const QString& account, QString* message = nullptr);

}  // namespace lm
