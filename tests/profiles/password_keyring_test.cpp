// The upload password in a real secret store: GNOME Keyring's Secret
// Service on a private D-Bus session bus that the test starts, with its
// keyrings in a temporary folder. When no such service can be started the
// test says why and is skipped.
#include <signal.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "profiles/password_keyring.h"
#include "profiles/profile_store.h"
#include "profiles/settings_rules.h"
#include "support/scripted_message_box.h"

namespace {

using namespace lm;

class PrivateSecretService {
 public:
  PrivateSecretService() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    const QString keyring = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (daemon.isEmpty() || keyring.isEmpty()) {
      why_ = QStringLiteral("dbus-daemon or gnome-keyring-daemon is not installed");
      return;
    }
    QDir().mkpath(dir_.path() + QStringLiteral("/run"));
    QFile::setPermissions(dir_.path() + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess bus;
    bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--fork"), QStringLiteral("--print-address=1"),
                       QStringLiteral("--print-pid=1")});
    if (!bus.waitForFinished(10000) || bus.exitCode() != 0) {
      why_ = QStringLiteral("dbus-daemon did not start: ") + QString::fromUtf8(bus.readAllStandardError());
      return;
    }
    const QStringList out = QString::fromUtf8(bus.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (out.size() < 2) {
      why_ = QStringLiteral("dbus-daemon gave no address");
      return;
    }
    busPid_ = out[1].trimmed().toInt();
    // Every D-Bus user in this process (QtKeychain, libsecret) takes the
    // private bus; nothing has connected to a session bus before.
    qputenv("DBUS_SESSION_BUS_ADDRESS", out[0].trimmed().toUtf8());
    qputenv("XDG_DATA_HOME", (dir_.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (dir_.path() + QStringLiteral("/run")).toUtf8());
    keyring_.start(keyring, {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                             QStringLiteral("--components=secrets")});
    if (!keyring_.waitForStarted(10000)) {
      why_ = QStringLiteral("gnome-keyring-daemon did not start");
      return;
    }
    // The password on standard input creates and unlocks the login keyring.
    keyring_.write("loftmark-test");
    keyring_.waitForBytesWritten(5000);
    keyring_.closeWriteChannel();
    // Wait until the service answers on the bus.
    for (int i = 0; i < 50; ++i) {
      QProcess probe;
      probe.start(QStringLiteral("dbus-send"),
                  {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.freedesktop.DBus"),
                   QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                   QStringLiteral("string:org.freedesktop.secrets")});
      probe.waitForFinished(5000);
      if (probe.readAllStandardOutput().contains("true")) {
        ready_ = true;
        return;
      }
      QThread::msleep(100);
    }
    why_ = QStringLiteral("the secret service did not appear on the bus");
  }
  ~PrivateSecretService() {
    keyring_.kill();
    keyring_.waitForFinished(5000);
    if (busPid_ > 0) ::kill(busPid_, SIGTERM);
  }
  bool Ready() const { return ready_; }
  QString Why() const { return why_; }

 private:
  QTemporaryDir dir_;
  QProcess keyring_;
  int busPid_ = 0;
  bool ready_ = false;
  QString why_;
};

// A profile whose password the author has just typed into the settings.
Profile TypedProfile() {
  Profile p;
  p.userid = QStringLiteral("author");
  p.server = QStringLiteral("ftp.example.jp");
  p.password = QStringLiteral("typed");
  return p;
}

// One service per test process: D-Bus clients keep their first bus for life.
PrivateSecretService& Service() {
  static PrivateSecretService service;
  return service;
}

TEST(PasswordKeyring, StoresReadsReplacesAndDeletesAPassword) {
  PrivateSecretService& service = Service();
  if (!service.Ready()) GTEST_SKIP() << "no secret service: " << service.Why().toStdString();
  Profile p;
  p.userid = QStringLiteral("author");
  p.server = QStringLiteral("ftps://ftp.example.jp");
  const QString account = KeyringAccount(p);
  EXPECT_EQ(account, QStringLiteral("author@ftps://ftp.example.jp"));

  QString password, message;
  EXPECT_EQ(ReadPasswordFromKeyring(account, password, &message), KeyringStatus::NotFound) << message.toStdString();
  ASSERT_EQ(SavePasswordToKeyring(account, QStringLiteral("pässwörd 1"), &message), KeyringStatus::Ok)
      << message.toStdString();
  ASSERT_EQ(ReadPasswordFromKeyring(account, password, &message), KeyringStatus::Ok) << message.toStdString();
  EXPECT_EQ(password, QStringLiteral("pässwörd 1"));
  ASSERT_EQ(SavePasswordToKeyring(account, QStringLiteral("second"), &message), KeyringStatus::Ok);
  ASSERT_EQ(ReadPasswordFromKeyring(account, password, &message), KeyringStatus::Ok);
  EXPECT_EQ(password, QStringLiteral("second"));
  EXPECT_EQ(DeletePasswordFromKeyring(account, &message), KeyringStatus::Ok) << message.toStdString();
  EXPECT_EQ(ReadPasswordFromKeyring(account, password, &message), KeyringStatus::NotFound);
}

TEST(PasswordKeyring, TheSettingsPutATypedPasswordIntoTheKeyringOnly) {
  PrivateSecretService& service = Service();
  if (!service.Ready()) GTEST_SKIP() << "no secret service: " << service.Why().toStdString();
  lmtest::ScriptedMessageBox boxes;
  Profile p = TypedProfile();
  StorePasswordChoice(p, true);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(p.password, QString());
  EXPECT_EQ(p.keyring, QStringLiteral("1"));
  QString password;
  ASSERT_EQ(ReadPasswordFromKeyring(KeyringAccount(p), password), KeyringStatus::Ok);
  EXPECT_EQ(password, QStringLiteral("typed"));
  // Confirmed again with an empty box: the keyring keeps the password.
  StorePasswordChoice(p, true);
  EXPECT_EQ(p.keyring, QStringLiteral("1"));
  // Unticked: the password is typed into lfup.ini again and the keyring forgets it.
  p.password = QStringLiteral("plain");
  StorePasswordChoice(p, false);
  EXPECT_EQ(p.keyring, QString());
  EXPECT_EQ(p.password, QStringLiteral("plain"));
  EXPECT_EQ(ReadPasswordFromKeyring(KeyringAccount(p), password), KeyringStatus::NotFound);
}

// Run in a child process whose session bus does not exist (see below).
TEST(PasswordKeyring, DISABLED_WithoutASecretStoreChild) {
  lmtest::ScriptedMessageBox boxes;
  Profile p = TypedProfile();
  StorePasswordChoice(p, true);
  ASSERT_EQ(boxes.Texts().size(), 1);
  EXPECT_TRUE(boxes.Texts()[0].startsWith(QStringLiteral("パスワードをキーリングに保存できませんでした。")))
      << boxes.Texts()[0].toStdString();
  EXPECT_EQ(p.password, QString());  // not written to lfup.ini either
  EXPECT_EQ(p.keyring, QString());   // so the upload will ask for it
}

TEST(PasswordKeyring, WithoutASecretStoreTheAuthorIsToldAndAskedLater) {
  // A process of its own: D-Bus clients keep their first bus for life.
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/loftmark-bus"));
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_also_run_disabled_tests"),
               QStringLiteral("--gtest_filter=PasswordKeyring.DISABLED_WithoutASecretStoreChild")});
  ASSERT_TRUE(child.waitForFinished(120000));
  const QByteArray out = child.readAll();
  EXPECT_EQ(child.exitCode(), 0) << out.constData();
  EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.constData();
}

}  // namespace
