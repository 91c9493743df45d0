// The server address of a profile and the paths and URLs of the remote side.
//
// A server text is "ftp://host[:port]", "ftps://host[:port]" (FTP with
// explicit TLS), "sftp://host[:port]" or a bare host name (plain FTP, as in
// settings files written before the schemes existed).
#pragma once

#include <QByteArray>
#include <QString>

namespace lm {

enum class RemoteScheme { Ftp, Ftps, Sftp };

struct RemoteServer {
  RemoteScheme scheme = RemoteScheme::Ftp;
  QString host;   // a name or an address; an IPv6 address without brackets
  int port = 0;   // 0 when the text names none
};

// Reads a server text; false (with a message) for an empty host, an unknown
// scheme, a port out of range or characters that do not belong in a host.
bool ParseServerText(const QString& text, RemoteServer& out, QString* error = nullptr);

// The port to use: the one in the text, else `fallback`, except that SFTP
// takes 22 when the fallback is the FTP default 21.
int EffectivePort(const RemoteServer& server, int fallback);

// `rel` taken relative to the absolute directory `base` (a leading "/" makes
// it absolute), with "." and ".." folded; the result is absolute, begins with
// "/" and never ends with "/" unless it is the root.
QString JoinRemotePath(const QString& base, const QString& rel);

// The directory part and the last component of an absolute remote path.
QString RemoteParent(const QString& absPath);
QString RemoteBaseName(const QString& absPath);

// The URL of an absolute remote path, each component in Shift-JIS and
// percent-encoded; a directory's URL ends with "/". False when a name holds a
// character Shift-JIS lacks.
bool RemoteUrl(const RemoteServer& server, int port, const QString& absPath, bool directory,
               QByteArray& url);

// The host part of a URL ("[::1]" for an IPv6 address).
QString UrlHost(const QString& host);

}  // namespace lm
