#include "profiles/password_keyring.h"

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include "profiles/profile_store.h"

namespace lm {
namespace {

const QString kService = QStringLiteral("Loftmark");

// Runs a job to its end (or 30 s) and maps its result.
KeyringStatus RunJob(QKeychain::Job& job, QString* message) {
  job.setAutoDelete(false);
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(30000, &loop, &QEventLoop::quit);
  job.start();
  loop.exec();
  const QKeychain::Error error = job.error();
  if (message) *message = job.errorString();
  switch (error) {
    case QKeychain::NoError: return KeyringStatus::Ok;
    case QKeychain::EntryNotFound: return KeyringStatus::NotFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented: return KeyringStatus::Unavailable;
    default: return KeyringStatus::Failed;
  }
}

}  // namespace

QString KeyringAccount(const Profile& profile) {
  return TrimBlanks(profile.userid) + QLatin1Char('@') + TrimBlanks(profile.server);
}

KeyringStatus SavePasswordToKeyring(const QString& account, const QString& password, QString* message) {
  QKeychain::WritePasswordJob job(kService);
  job.setKey(account);
  job.setTextData(password);
  job.setInsecureFallback(false);
  return RunJob(job, message);
}

KeyringStatus ReadPasswordFromKeyring(const QString& account, QString& password, QString* message) {
  QKeychain::ReadPasswordJob job(kService);
  job.setKey(account);
  job.setInsecureFallback(false);
  const KeyringStatus status = RunJob(job, message);
  password = status == KeyringStatus::Ok ? job.textData() : QString();
  return status;
}

KeyringStatus DeletePasswordFromKeyring(const QString& account, QString* message) {
  QKeychain::DeletePasswordJob job(kService);
  job.setKey(account);
  job.setInsecureFallback(false);
  return RunJob(job, message);
}

}  // namespace lm
