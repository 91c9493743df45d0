#include "sync/http_check.h"

#include <curl/curl.h>

#include <mutex>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QSet>

#include "sync/check_differ.h"
#include "sync/safe_names.h"
#include "util/message_box.h"
#include "util/text_file.h"
#include "util/visible.h"

namespace lm {
namespace {

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QString CaFile(const HttpCheckOptions& options) {
  if (!options.caFile.isEmpty()) return options.caFile;
  return qEnvironmentVariable("LOFTMARK_CA_FILE");
}

// One easy handle set up as every request of the check needs it.
class Request {
 public:
  Request(const QByteArray& url, const HttpCheckOptions& options, int deadlineSeconds) {
    InitCurlOnce();
    c_ = curl_easy_init();
    if (!c_) return;
    errorBuffer_[0] = '\0';
    curl_easy_setopt(c_, CURLOPT_URL, url.constData());
    curl_easy_setopt(c_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c_, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(c_, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.stallSeconds));
    curl_easy_setopt(c_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c_, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.stallSeconds));
    curl_easy_setopt(c_, CURLOPT_TIMEOUT, static_cast<long>(deadlineSeconds));
    curl_easy_setopt(c_, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c_, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c_, CURLOPT_USERAGENT, "Loftmark verify");
    const QString ca = CaFile(options);
    if (!ca.isEmpty()) {
      caPath_ = QFileInfo(ca).absoluteFilePath().toLocal8Bit();
      curl_easy_setopt(c_, CURLOPT_CAINFO, caPath_.constData());
    }
    curl_easy_setopt(c_, CURLOPT_HEADERFUNCTION, &Request::OnHeader);
    curl_easy_setopt(c_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(c_, CURLOPT_WRITEFUNCTION, &Request::OnBody);
    curl_easy_setopt(c_, CURLOPT_WRITEDATA, this);
  }
  ~Request() {
    if (c_) curl_easy_cleanup(c_);
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  CURL* handle() const { return c_; }

  // The body is kept up to `keepBytes`; one byte more stops the transfer
  // (tooLarge() then tells it apart from other write failures).
  void KeepBody(qint64 keepBytes) { keep_ = keepBytes; }
  // The whole transfer ends after `seconds` (deadlineHit() then tells it
  // apart from a stall); the handle's own time limit stays as a backstop.
  void Deadline(int seconds) {
    deadlineMs_ = qint64(seconds) * 1000;
    clock_.start();
    curl_easy_setopt(c_, CURLOPT_XFERINFOFUNCTION, &Request::OnProgress);
    curl_easy_setopt(c_, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(c_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c_, CURLOPT_TIMEOUT, static_cast<long>(seconds) + 5);
  }
  bool deadlineHit() const { return deadlineHit_; }
  // A ranged request: the headers are all that is wanted; a server that
  // ignores the range is cut off after them.
  void StopAfterHeaders() { stopAfterHeaders_ = true; }

  CURLcode Perform() {
    if (!c_) return CURLE_FAILED_INIT;
    const CURLcode rc = curl_easy_perform(c_);
    curl_easy_getinfo(c_, CURLINFO_RESPONSE_CODE, &status_);
    return rc;
  }

  long status() const { return status_; }
  bool tooLarge() const { return tooLarge_; }
  bool cutOff() const { return cutOff_; }
  const QByteArray& body() const { return body_; }
  const QByteArray& contentRange() const { return contentRange_; }
  qint64 contentLength() const {
    curl_off_t length = -1;
    if (!c_ || curl_easy_getinfo(c_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) return -1;
    return static_cast<qint64>(length);
  }
  QString ErrorText(CURLcode rc) const {
    const QString detail = QString::fromLocal8Bit(errorBuffer_).trimmed();
    return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(rc)) : detail;
  }

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* r = static_cast<Request*>(self);
    const size_t n = size * count;
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(n)).trimmed();
    // A new response (after a redirect or a "100 Continue") starts afresh.
    if (line.startsWith("HTTP/")) r->contentRange_.clear();
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().toLower() == "content-range")
      r->contentRange_ = line.mid(colon + 1).trimmed();
    return n;
  }
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* r = static_cast<Request*>(self);
    if (r->clock_.elapsed() < r->deadlineMs_) return 0;
    r->deadlineHit_ = true;
    return 1;
  }
  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* r = static_cast<Request*>(self);
    const size_t n = size * count;
    if (r->stopAfterHeaders_) {
      r->cutOff_ = true;
      return n == 0 ? 1 : 0;  // anything but n stops the transfer
    }
    if (r->body_.size() + static_cast<qint64>(n) > r->keep_) {
      r->tooLarge_ = true;
      return n == 0 ? 1 : 0;
    }
    r->body_.append(data, static_cast<qsizetype>(n));
    return n;
  }

  CURL* c_ = nullptr;
  char errorBuffer_[CURL_ERROR_SIZE];
  QByteArray caPath_;
  QByteArray body_;
  QByteArray contentRange_;
  qint64 keep_ = 0;
  long status_ = 0;
  bool stopAfterHeaders_ = false;
  bool tooLarge_ = false;
  bool cutOff_ = false;
  QElapsedTimer clock_;
  qint64 deadlineMs_ = 0;
  bool deadlineHit_ = false;
};

QByteArray WithSlash(const QString& baseUrl) {
  QByteArray base = baseUrl.trimmed().toUtf8();
  if (!base.endsWith('/')) base += '/';
  return base;
}

// The lines of a downloaded index: CR LF or a lone CR ends a line, as the
// local index is read; bytes that start no Shift-JIS character are kept so
// that the name's address is made of the very bytes the server stores.
QStringList IndexLines(const QByteArray& bytes) {
  const QString text = DecodeCp932KeepingBytes(bytes);
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != QLatin1Char('\r')) continue;
    lines.append(text.mid(start, i - start));
    if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.append(text.mid(start));
  return lines;
}

// The total of a Content-Range value: "bytes 0-0/1234" and "bytes */1234"
// give 1234; an unknown total ("/*") or another form gives -1.
qint64 RangeTotal(const QByteArray& value) {
  const qsizetype slash = value.lastIndexOf('/');
  if (slash < 0 || !value.trimmed().toLower().startsWith("bytes")) return -1;
  bool ok = false;
  const qint64 total = value.mid(slash + 1).trimmed().toLongLong(&ok);
  return ok && total >= 0 ? total : -1;
}

// What the server said about one file.
struct Probe {
  // Refused: HEAD answered 405/501. NoSize: HEAD answered without a length.
  enum Kind { Size, Missing, Refused, NoSize, Failed } kind = Failed;
  qint64 size = -1;
  QString why;
};

Probe AskSize(const QByteArray& url, const HttpCheckOptions& options, bool ranged) {
  Request r(url, options, options.fileDeadlineSeconds);
  if (ranged) {
    curl_easy_setopt(r.handle(), CURLOPT_RANGE, "0-0");
    r.StopAfterHeaders();
  } else {
    curl_easy_setopt(r.handle(), CURLOPT_NOBODY, 1L);
  }
  const CURLcode rc = r.Perform();
  Probe p;
  if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && r.cutOff())) {
    p.why = r.ErrorText(rc);
    return p;
  }
  const long status = r.status();
  if (status == 404 || status == 410) {
    p.kind = Probe::Missing;
    p.why = QStringLiteral("HTTP %1").arg(status);
    return p;
  }
  if (!ranged && (status == 405 || status == 501)) {
    p.kind = Probe::Refused;
    return p;
  }
  if (status == 206 || (ranged && status == 416)) {
    // 416 answers a range on an empty file: "bytes */0".
    p.size = RangeTotal(r.contentRange());
  } else if (status == 200) {
    p.size = r.contentLength();
  } else {
    p.why = QStringLiteral("HTTP %1").arg(status);
    return p;
  }
  if (p.size < 0) {
    if (!ranged) p.kind = Probe::NoSize;
    p.why = QStringLiteral("サーバがサイズを返しませんでした (HTTP %1)。").arg(status);
    return p;
  }
  p.kind = Probe::Size;
  return p;
}

QString Shown(const QString& path) { return Bracketed(Visible(path)); }

bool SameLine(const IndexEntry& a, const IndexEntry& b) {
  return a.date == b.date && a.attr == b.attr && SizeValue(a.size) == SizeValue(b.size);
}

// Differences between the script's own index.fet and the served one.
void CompareIndexes(const QList<IndexEntry>& local, const QList<IndexEntry>& served, const QByteArray& localBytes,
                    const QByteArray& servedBytes, QStringList& out) {
  QHash<QString, IndexEntry> onServer;
  for (const IndexEntry& e : served)
    if (!onServer.contains(e.path)) onServer.insert(e.path, e);
  QSet<QString> seen;
  bool entryDiffers = false;
  for (const IndexEntry& e : local) {
    if (seen.contains(e.path)) continue;
    seen.insert(e.path);
    const auto it = onServer.constFind(e.path);
    if (it == onServer.constEnd()) {
      out << QStringLiteral("サーバの index.fet に記載がありません: %1").arg(Shown(e.path));
      entryDiffers = true;
    } else if (!SameLine(e, *it)) {
      out << QStringLiteral("index.fet の記載がローカルとサーバで異なります: %1").arg(Shown(e.path));
      entryDiffers = true;
    }
  }
  QSet<QString> listed;
  for (const IndexEntry& e : served) {
    if (seen.contains(e.path) || listed.contains(e.path)) continue;
    listed.insert(e.path);
    out << QStringLiteral("ローカルの index.fet に記載がありません: %1").arg(Shown(e.path));
    entryDiffers = true;
  }
  if (!entryDiffers && localBytes != servedBytes)
    out << QStringLiteral("サーバの index.fet がローカルのものと一致しません (次回更新予定など)。");
}

}  // namespace

bool IsUsableBaseUrl(const QString& baseUrl, QString* why) {
  auto refuse = [why](const QString& reason) {
    if (why) *why = reason;
    return false;
  };
  const QString url = baseUrl.trimmed();
  const QString lower = url.toLower();
  qsizetype rest = 0;
  if (lower.startsWith(QLatin1String("http://"))) rest = 7;
  else if (lower.startsWith(QLatin1String("https://"))) rest = 8;
  else return refuse(QStringLiteral("URL は http:// か https:// で始めてください。"));
  if (rest >= url.size() || url[rest] == QLatin1Char('/'))
    return refuse(QStringLiteral("URL にホスト名がありません。"));
  for (const QChar c : url) {
    if (c.unicode() <= 0x20 || c.unicode() == 0x7F || c.unicode() > 0x7E)
      return refuse(QStringLiteral("URL に空白、制御文字や ASCII 以外の文字は使えません (%xx で書いてください)。"));
    if (c == QLatin1Char('?') || c == QLatin1Char('#'))
      return refuse(QStringLiteral("URL に「?」や「#」は使えません。index.fet のあるフォルダの URL を指定してください。"));
  }
  return true;
}

bool HttpFileUrl(const QString& baseUrl, const QString& indexPath, QByteArray& url, QString* why) {
  url = WithSlash(baseUrl);
  bool first = true;
  const QStringList levels = indexPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  if (levels.isEmpty()) {
    if (why) *why = QStringLiteral("名前が空です。");
    return false;
  }
  for (const QString& level : levels) {
    if (!IsSafeEntryName(level, why)) return false;
    QByteArray bytes;
    QString bad;
    if (!EncodeCp932KeepingBytes(level, bytes, &bad)) {
      if (why) *why = QStringLiteral("Shift-JIS で表せない文字があります: %1").arg(Visible(bad));
      return false;
    }
    if (!first) url += '/';
    url += bytes.toPercentEncoding();  // all but A-Z a-z 0-9 - . _ ~
    first = false;
  }
  return true;
}

HttpCheckResult CheckServerOverHttp(const HttpCheckInput& input, const HttpCheckOptions& options) {
  HttpCheckResult result;
  QString why;
  if (!IsUsableBaseUrl(input.baseUrl, &why)) {
    result.message = QStringLiteral("URL が正しくありません。") + CR + Bracketed(Visible(input.baseUrl)) + CR + why;
    return result;
  }
  const QByteArray indexUrl = WithSlash(input.baseUrl) + "index.fet";
  const QString shownIndexUrl = Bracketed(QString::fromUtf8(indexUrl));

  // The index: capped in size, bound by the stall limit and a deadline.
  QByteArray servedBytes;
  {
    Request r(indexUrl, options, options.index.deadlineSeconds);
    r.KeepBody(options.index.maxBytes);
    r.Deadline(options.index.deadlineSeconds);
    const CURLcode rc = r.Perform();
    const QString head = QStringLiteral("サーバの更新定義ファイルを受信できませんでした。") + CR + shownIndexUrl + CR;
    if (r.tooLarge()) {
      result.message = head + QStringLiteral("%1 バイトを超えたため中止しました。").arg(options.index.maxBytes);
      return result;
    }
    if (r.deadlineHit()) {
      result.message = head + QStringLiteral("%1 秒以内に終わらなかったため中止しました。").arg(options.index.deadlineSeconds);
      return result;
    }
    if (rc != CURLE_OK) {
      result.message = head + r.ErrorText(rc);
      return result;
    }
    if (r.status() == 404 || r.status() == 410) {
      result.message = head + QStringLiteral("サーバに index.fet がありません (HTTP %1)。").arg(r.status());
      return result;
    }
    if (r.status() != 200) {
      result.message = head + QStringLiteral("HTTP %1").arg(r.status());
      return result;
    }
    servedBytes = r.body();
  }

  QList<IndexEntry> served;
  if (!ParseIndexLines(IndexLines(servedBytes), served, &why)) {
    result.message = QStringLiteral("サーバの更新定義ファイルを読めません。") + CR + shownIndexUrl + CR + why;
    return result;
  }

  // The script's own index, when given: its lines and their differences.
  QHash<QString, IndexEntry> localByPath;
  if (!input.localIndexPath.isEmpty()) {
    QByteArray localBytes;
    FileError error;
    QList<IndexEntry> local;
    if (!ReadFileBytes(input.localIndexPath, localBytes, &error)) {
      result.message = QStringLiteral("ローカルの更新定義ファイルを読めません。") + CR +
                       Bracketed(input.localIndexPath) + CR + error.message;
      return result;
    }
    if (!ParseIndexLines(IndexLines(localBytes), local, &why)) {
      result.message = QStringLiteral("ローカルの更新定義ファイルを読めません。") + CR +
                       Bracketed(input.localIndexPath) + CR + why;
      return result;
    }
    for (const IndexEntry& e : local)
      if (!localByPath.contains(e.path)) localByPath.insert(e.path, e);
    CompareIndexes(local, served, localBytes, servedBytes, result.differences);
  }

  // Every file once, each address built before any request is made, so a
  // name that cannot be sent stops the check before the server is asked.
  struct Target {
    IndexEntry entry;
    QByteArray url;
  };
  QList<Target> targets;
  QSet<QString> judged;
  for (const IndexEntry& e : served) {
    if (e.attr != QLatin1String("f") || judged.contains(e.path)) continue;
    judged.insert(e.path);
    Target t{e, {}};
    if (!HttpFileUrl(input.baseUrl, e.path, t.url, &why)) {
      result.message = UnsafeNameMessage(e.path, why, QStringLiteral("サーバの更新定義ファイル ") + shownIndexUrl);
      return result;
    }
    targets.append(t);
  }

  bool headRefused = false;
  for (qsizetype i = 0; i < targets.size(); ++i) {
    const Target& t = targets[i];
    if (options.progress && !options.progress(static_cast<int>(i), static_cast<int>(targets.size()), t.entry.path)) {
      result.cancelled = true;
      result.message = QStringLiteral("確認を中止しました。");
      return result;
    }
    Probe p = AskSize(t.url, options, headRefused);
    if (p.kind == Probe::Refused) {
      // This server refuses HEAD: every further file is asked with a range.
      headRefused = true;
      p = AskSize(t.url, options, true);
    } else if (p.kind == Probe::NoSize) {
      // HEAD worked but gave no length (a generated or compressed answer):
      // the range's total tells it for this file.
      p = AskSize(t.url, options, true);
    }
    ++result.filesChecked;
    const QString shown = Shown(t.entry.path);
    if (p.kind == Probe::Missing) {
      result.differences << QStringLiteral("サーバにありません (%1): %2").arg(p.why, shown);
      continue;
    }
    if (p.kind != Probe::Size) {
      result.differences << QStringLiteral("読み出せません: %1 (%2)").arg(shown, p.why);
      continue;
    }
    // The exact size of the author's own file where both indexes agree on
    // it; otherwise the index's whole KiB.
    const auto local = localByPath.constFind(t.entry.path);
    QString localFile;
    if (!input.datDir.isEmpty() && local != localByPath.constEnd() && SameLine(*local, t.entry)) {
      localFile = QDir::cleanPath(input.datDir + QLatin1Char('/') + QString(t.entry.path).replace(QLatin1Char('\\'), QLatin1Char('/')));
      if (!QFileInfo(localFile).isFile()) localFile.clear();
    }
    if (!localFile.isEmpty()) {
      const qint64 expected = QFileInfo(localFile).size();
      if (p.size != expected)
        result.differences << QStringLiteral("サイズが違います: %1 (ローカル %2 バイト、サーバ %3 バイト)")
                                  .arg(shown)
                                  .arg(expected)
                                  .arg(p.size);
    } else {
      const qint64 kib = SizeValue(t.entry.size);
      if (p.size / 1024 != kib)
        result.differences << QStringLiteral("サイズが違います: %1 (index.fet %2 KiB、サーバ %3 バイト)")
                                  .arg(shown)
                                  .arg(kib)
                                  .arg(p.size);
    }
  }
  result.completed = true;
  return result;
}

}  // namespace lm
