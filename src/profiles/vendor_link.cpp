#include "profiles/vendor_link.h"

#include <QProcess>
#include <QStringList>

#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace lm {

const QString kVendorPageUrl = QStringLiteral("http://www.loftmark.example/chc/");

namespace {

constexpr int kShellOk = 42;         // any value above 32 means success
constexpr int kShellNotFound = 2;    // the shortcut could not be read
constexpr int kShellNoAssoc = 31;    // no handler for web addresses

int StartXdgOpen(const QString& url) {
  return QProcess::startDetached(QStringLiteral("xdg-open"), {url}) ? kShellOk : kShellNoAssoc;
}

UrlOpener& Opener() {
  static UrlOpener opener = StartXdgOpen;
  return opener;
}

}  // namespace

UrlOpener SetUrlOpener(UrlOpener opener) {
  UrlOpener previous = Opener();
  Opener() = opener ? std::move(opener) : UrlOpener(StartXdgOpen);
  return previous;
}

QString VendorShortcutPath() {
  const QString name = QStringLiteral("VENDOR.URL");
  return CacheFolder() + QLatin1Char('/') + name;
}

int16_t WriteVendorShortcut(const QString& url) {
  if (url.isEmpty()) return -1;
  const QStringList lines = {QStringLiteral("[InternetShortcut]"), QStringLiteral("URL=") + url,
                             QStringLiteral("Modified = C0EBFB793596C001AB")};
  return WriteTextLines(VendorShortcutPath(), lines) ? 0 : -9;
}

void OpenVendorShortcut() {
  // The desktop has no handler for Windows internet shortcuts, so the address
  // is taken from the shortcut and handed to the handler for web addresses.
  QStringList lines;
  QString url;
  if (ReadTextLines(VendorShortcutPath(), lines)) {
    for (const QString& line : lines) {
      if (line.startsWith(QStringLiteral("URL="))) {
        url = line.mid(4);
        break;
      }
    }
  }
  const int result = url.isEmpty() ? kShellNotFound : Opener()(url);
  if (result == 0) MsgBox(QStringLiteral("メモリまたはリソースが足りません。"), style::OkOnly);
}

void OpenVendorPage() {
  if (WriteVendorShortcut(kVendorPageUrl) == 0) OpenVendorShortcut();
}

}  // namespace lm
