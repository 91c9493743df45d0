#include "sync/remote_path.h"

#include <QStringList>

#include "util/text_file.h"

namespace lm {

bool ParseServerText(const QString& text, RemoteServer& out, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  out = RemoteServer{};
  QString rest = text.trimmed();
  const qsizetype sep = rest.indexOf(QLatin1String("://"));
  if (sep >= 0) {
    const QString scheme = rest.left(sep).toLower();
    if (scheme == QLatin1String("ftp")) out.scheme = RemoteScheme::Ftp;
    else if (scheme == QLatin1String("ftps")) out.scheme = RemoteScheme::Ftps;
    else if (scheme == QLatin1String("sftp")) out.scheme = RemoteScheme::Sftp;
    else return fail(QStringLiteral("サーバーの形式が分かりません: ") + scheme);
    rest = rest.mid(sep + 3);
  }
  // A trailing "/" after the host is allowed; a path is not.
  while (rest.endsWith(QLatin1Char('/'))) rest.chop(1);
  QString portText;
  if (rest.startsWith(QLatin1Char('['))) {
    const qsizetype close = rest.indexOf(QLatin1Char(']'));
    if (close < 0) return fail(QStringLiteral("サーバー名が正しくありません。"));
    out.host = rest.mid(1, close - 1);
    const QString after = rest.mid(close + 1);
    if (!after.isEmpty()) {
      if (!after.startsWith(QLatin1Char(':'))) return fail(QStringLiteral("サーバー名が正しくありません。"));
      portText = after.mid(1);
    }
  } else if (rest.count(QLatin1Char(':')) == 1) {
    out.host = rest.section(QLatin1Char(':'), 0, 0);
    portText = rest.section(QLatin1Char(':'), 1);
  } else {
    out.host = rest;  // a name, or a bare IPv6 address
  }
  if (out.host.isEmpty()) return fail(QStringLiteral("サーバー名がありません。"));
  for (QChar c : std::as_const(out.host)) {
    if (c.unicode() <= 0x20 || c == QLatin1Char('/') || c == QLatin1Char('@') ||
        c == QLatin1Char('\\') || c == QLatin1Char('?') || c == QLatin1Char('#') ||
        c == QLatin1Char('%') || c.unicode() == 0x7F)
      return fail(QStringLiteral("サーバー名に使えない文字があります。"));
  }
  if (!portText.isEmpty() || rest.endsWith(QLatin1Char(':'))) {
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port < 1 || port > 65535) return fail(QStringLiteral("ポート番号が正しくありません。"));
    out.port = port;
  }
  return true;
}

int EffectivePort(const RemoteServer& server, int fallback) {
  if (server.port > 0) return server.port;
  if (server.scheme == RemoteScheme::Sftp && (fallback == 21 || fallback <= 0)) return 22;
  return fallback > 0 ? fallback : 21;
}

QString JoinRemotePath(const QString& base, const QString& rel) {
  QStringList parts;
  const QString start = rel.startsWith(QLatin1Char('/')) ? QString() : base;
  for (const QString& piece : (start + QLatin1Char('/') + rel).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    if (piece == QLatin1String(".")) continue;
    if (piece == QLatin1String("..")) {
      if (!parts.isEmpty()) parts.removeLast();
      continue;
    }
    parts.append(piece);
  }
  return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

QString RemoteParent(const QString& absPath) {
  const qsizetype slash = absPath.lastIndexOf(QLatin1Char('/'));
  return slash <= 0 ? QStringLiteral("/") : absPath.left(slash);
}

QString RemoteBaseName(const QString& absPath) {
  return absPath.mid(absPath.lastIndexOf(QLatin1Char('/')) + 1);
}

QString UrlHost(const QString& host) {
  return host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
}

bool RemoteUrl(const RemoteServer& server, int port, const QString& absPath, bool directory,
               QByteArray& url) {
  const bool sftp = server.scheme == RemoteScheme::Sftp;
  url = sftp ? QByteArray("sftp://") : QByteArray("ftp://");
  url += UrlHost(server.host).toUtf8();
  url += ':' + QByteArray::number(port);
  // FTP URL paths are relative to the login directory; "%2F" first makes
  // them absolute. SFTP URL paths are absolute as they stand.
  url += sftp ? "/" : "/%2F";
  const QStringList parts = absPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  for (qsizetype i = 0; i < parts.size(); ++i) {
    QByteArray bytes;
    if (!EncodeCp932(parts[i], bytes)) return false;
    if (i > 0) url += '/';
    url += bytes.toPercentEncoding();
  }
  if (directory && !parts.isEmpty()) url += '/';
  return true;
}

}  // namespace lm
