// Opening a profile's server session with the questions of trust: a
// certificate that nothing vouches for, a certificate that differs from the
// pinned one, an SSH host key not yet known. The window asks the author;
// the command line answers from its options (--trust) and never trusts a
// stranger by itself.
#pragma once

#include <QString>

#include "profiles/profile.h"

namespace lm {

class McWinFTP;

class TrustQuestions {
 public:
  virtual ~TrustQuestions() = default;
  // FTPS: a certificate that nothing vouches for, seen for the first time.
  // True trusts it: it becomes the profile's pinned certificate.
  virtual bool TrustNewCertificate(const QString& presented) = 0;
  // FTPS: a certificate other than the pinned one. True pins the new one.
  virtual bool TrustChangedCertificate(const QString& pinned, const QString& presented) = 0;
  // SFTP: a host key that known_hosts does not have. True adds it there.
  virtual bool TrustNewHostKey(const QString& host, const QString& fingerprint) = 0;
};

// Opens `ftp` for the profile (OpenProfileSession). A refused certificate
// that the questions trust becomes profile.servercert (the caller keeps the
// profile) and the session is opened again. False with `message` when the
// session is not open.
bool OpenTrustedSession(McWinFTP& ftp, Profile& profile, const QString& password, TrustQuestions& questions,
                        QString& message);

// The texts of the questions.
QString NewCertificateQuestion(const QString& presented);
QString ChangedCertificateQuestion(const QString& pinned, const QString& presented);
QString NewHostKeyQuestion(const QString& host, const QString& fingerprint);

// True when the profile's server is reached over SFTP, where an empty
// password means logging in with the user's key or the SSH agent.
bool LogsInWithKey(const Profile& profile);

}  // namespace lm
