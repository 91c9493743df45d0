// Starts and stops a real vsftpd (the FTP server many hosts run) on
// 127.0.0.1 for one test: plain FTP, or FTPS with explicit TLS on control
// and data connections and a certificate the test made.
//
// How to use it:
//
//   lmtest::VsftpdTestServer server;                  // plain FTP
//   lmtest::VsftpdTestServer tls({cert.cert, cert.key}); // FTPS only
//   ASSERT_GT(server.Port(), 0);
//   ftp.SetRemoteHost(server.Url());                  // "ftp://127.0.0.1:<port>"
//   ftp.SetUser(lmtest::VsftpdTestServer::kUser);     // any password is taken
//   ... work below the folder kFolder ("/pub"), the only writable one ...
//   server.Root("pub/a.txt")                          // that file on the local disk
//   server.Commands()                                 // what the server received
//
// The login is anonymous ("anonymous" and any password; the server asks for
// one), jailed (chroot) in a temporary folder whose top level belongs to
// root and is read-only, as vsftpd requires; the folder "pub" below it
// belongs to the system user "ftp" (made by the vsftpd package) and takes
// uploads, new folders, renames and deletions. Names are stored as the bytes
// the client sent, so Shift-JIS names reach the disk as Shift-JIS: use
// RootBytes and NamesIn to look at them. Files a test puts on the server
// side itself go through WriteFile and MakeFolder, which give them to the
// "ftp" user so that the server can replace and delete them.
//
// vsftpd needs root to jail the session (the tests and CI run as root); run
// as another user, the fixture fails the test with a message. The server
// runs in a process group of its own, so its session processes end with it;
// the temporary folders go when the object does.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "sync/local_port.h"

namespace lmtest {

class VsftpdTestServer {
 public:
  static constexpr const char* kUser = "anonymous";
  static constexpr const char* kPassword = "s3cret-pw";
  static constexpr const char* kFolder = "pub";

  // FTPS when a certificate and its key are given: TLS is required for the
  // login and for every data connection.
  struct Tls {
    QString cert;
    QString key;
  };

  VsftpdTestServer() { Start({}); }
  explicit VsftpdTestServer(const Tls& tls) { Start(tls); }
  ~VsftpdTestServer() {
    Stop();
    // The server's files may bear Shift-JIS names, which QTemporaryDir
    // (taking names for UTF-8) cannot remove: the tree goes by its bytes.
    ::nftw(QFile::encodeName(work_.path()).constData(),
           [](const char* path, const struct stat*, int, FTW*) { return ::remove(path) == 0 ? 0 : 0; }, 16,
           FTW_DEPTH | FTW_PHYS);
  }
  VsftpdTestServer(const VsftpdTestServer&) = delete;
  VsftpdTestServer& operator=(const VsftpdTestServer&) = delete;

  // Starts the server again (another certificate, or plain FTP); the files
  // on the server stay.
  void Restart(const Tls& tls = {}) {
    Stop();
    Start(tls);
  }

  // Ends the server and every session it runs.
  void Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    const pid_t group = static_cast<pid_t>(process_.processId());
    if (group > 0) ::kill(-group, SIGTERM);
    if (!process_.waitForFinished(5000)) {
      if (group > 0) ::kill(-group, SIGKILL);
      process_.waitForFinished(5000);
    }
    // Session processes of the group that outlived the listener.
    if (group > 0) ::kill(-group, SIGKILL);
  }

  int Port() const { return port_; }
  // "ftp://127.0.0.1:<port>", or "ftps://..." for a TLS server.
  QString Url() const {
    return QStringLiteral("%1://127.0.0.1:%2").arg(tls_ ? QStringLiteral("ftps") : QStringLiteral("ftp")).arg(port_);
  }

  // The local path of a path on the server, "" being the server's root.
  QString Root(const QString& rel = QString()) const {
    return rel.isEmpty() ? jail() : jail() + QLatin1Char('/') + rel;
  }
  // The same for a path given as the bytes the server stores (Shift-JIS).
  QByteArray RootBytes(const QByteArray& rel) const { return QFile::encodeName(jail()) + '/' + rel; }
  // A scratch folder for the test's local files.
  QString Work(const QString& rel) const { return work_.path() + QStringLiteral("/local/") + rel; }

  // The names in a folder on the server, as the bytes on disk, sorted.
  QList<QByteArray> NamesIn(const QByteArray& rel) const {
    QList<QByteArray> names;
    if (DIR* d = ::opendir(RootBytes(rel).constData())) {
      while (dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..") names << name;
      }
      ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The content of a file on the server, read by the bytes of its name;
  // "<missing>" when there is none.
  QByteArray ReadFile(const QByteArray& rel) const {
    const int fd = ::open(RootBytes(rel).constData(), O_RDONLY);
    if (fd < 0) return QByteArray("<missing>");
    QByteArray data;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) data.append(buffer, static_cast<qsizetype>(n));
    ::close(fd);
    return data;
  }

  // Puts a file (or a folder) on the server side, owned by the server's user.
  bool WriteFile(const QByteArray& rel, const QByteArray& data) const {
    // The name's bytes go to the file system as they are (Qt would take
    // them for UTF-8).
    const QByteArray path = RootBytes(rel);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool written = ::write(fd, data.constData(), static_cast<size_t>(data.size())) == data.size();
    return ::close(fd) == 0 && written && GiveToServer(path);
  }
  bool MakeFolder(const QByteArray& rel) const {
    const QByteArray path = RootBytes(rel);
    return ::mkdir(path.constData(), 0755) == 0 && GiveToServer(path);
  }

  // The server's whole log (commands, replies, transfers), for a failure's
  // message.
  QString Log() const {
    QFile f(work_.path() + QStringLiteral("/vsftpd.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
  }

  // Every command the server received so far ("USER anonymous", "STOR a",
  // ...); the password shows as "PASS <password>".
  QStringList Commands() const {
    QFile f(work_.path() + QStringLiteral("/vsftpd.log"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList commands;
    const QByteArray marker = "FTP command: Client \"127.0.0.1\", \"";
    for (const QByteArray& line : f.readAll().split('\n')) {
      const qsizetype at = line.indexOf(marker);
      if (at < 0) continue;
      QByteArray command = line.mid(at + marker.size());
      if (command.endsWith('"')) command.chop(1);
      commands << QString::fromLatin1(command);
    }
    return commands;
  }

 private:
  QString jail() const { return work_.path() + QStringLiteral("/jail"); }

  bool GiveToServer(const QByteArray& path) const {
    return ftpUid_ != 0 && ::chown(path.constData(), ftpUid_, ftpGid_) == 0;
  }

  void Start(const Tls& tls) {
    port_ = 0;
    tls_ = !tls.cert.isEmpty();
    const QString vsftpd = QStringLiteral("/usr/sbin/vsftpd");
    if (!QFile::exists(vsftpd)) {
      ADD_FAILURE() << "vsftpd is missing (scripts/install-deps.sh installs it)";
      return;
    }
    if (::geteuid() != 0) {
      ADD_FAILURE() << "the vsftpd tests run as root: vsftpd jails each session with chroot";
      return;
    }
    const passwd* ftpUser = ::getpwnam("ftp");
    if (!ftpUser) {
      ADD_FAILURE() << "the system user \"ftp\" is missing (the vsftpd package makes it)";
      return;
    }
    ftpUid_ = ftpUser->pw_uid;
    ftpGid_ = ftpUser->pw_gid;
    const QString dir = work_.path();
    QDir().mkpath(jail());
    QDir().mkpath(dir + QStringLiteral("/empty"));
    QDir().mkpath(dir + QStringLiteral("/local"));
    ::chmod(QFile::encodeName(jail()).constData(), 0755);
    const QByteArray pub = RootBytes(kFolder);
    if (!QFile::exists(QFile::decodeName(pub)) && (::mkdir(pub.constData(), 0755) != 0 || !GiveToServer(pub))) {
      ADD_FAILURE() << "cannot make the server's folder " << pub.constData();
      return;
    }
    const int port = FreeLocalPort();
    QString config = QStringLiteral(
                         "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
                         "anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=NO\nanon_root=%2\n"
                         "ftp_username=ftp\nnopriv_user=ftp\nsecure_chroot_dir=%3/empty\n"
                         "write_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                         "anon_other_write_enable=YES\nanon_world_readable_only=NO\nanon_umask=022\n"
                         "connect_from_port_20=NO\npasv_enable=YES\nport_enable=YES\n"
                         "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                         "use_localtime=NO\nxferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
                         "vsftpd_log_file=%3/vsftpd.log\n")
                         .arg(port)
                         .arg(jail(), dir);
    if (tls_)
      config += QStringLiteral(
                    "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                    "rsa_cert_file=%1\nrsa_private_key_file=%2\nssl_ciphers=HIGH\n")
                    .arg(tls.cert, tls.key);
    QFile file(dir + QStringLiteral("/vsftpd.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) != config.toUtf8().size()) {
      ADD_FAILURE() << "cannot write " << file.fileName().toStdString();
      return;
    }
    file.close();
    process_.setProgram(vsftpd);
    process_.setArguments({file.fileName()});
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A process group of its own, so that Stop ends the sessions too.
    process_.setChildProcessModifier([] { ::setpgid(0, 0); });
    process_.start();
    if (!process_.waitForStarted(10000)) {
      ADD_FAILURE() << "cannot start vsftpd";
      return;
    }
    for (int i = 0; i < 100; ++i) {
      if (AcceptsConnections(port)) {
        port_ = port;
        return;
      }
      if (process_.state() == QProcess::NotRunning) break;
      QThread::msleep(50);
    }
    ADD_FAILURE() << "vsftpd did not start: " << process_.readAll().constData();
  }


  QTemporaryDir work_;
  QProcess process_;
  int port_ = 0;
  bool tls_ = false;
  uid_t ftpUid_ = 0;
  gid_t ftpGid_ = 0;
};

}  // namespace lmtest
