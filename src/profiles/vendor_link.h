// The vendor link: a click on the main window's logo writes the internet
// shortcut VENDOR.URL and opens the page it names with the desktop's default
// handler for web addresses.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>

namespace lm {

// The vendor's page.
extern const QString kVendorPageUrl;

// Where the shortcut is written: VENDOR.URL in the working-file folder
// (CacheFolder(): the program directory of a writable copy).
QString VendorShortcutPath();

// Writes the three lines of VENDOR.URL (Shift-JIS, CR LF). 0 when written;
// -1 for an empty url (nothing written); -9 when writing failed (nothing shown).
int16_t WriteVendorShortcut(const QString& url);

// Opens the address of VENDOR.URL with the desktop's default handler. Only an
// out-of-resources result is reported ("メモリまたはリソースが足りません。");
// every other failure passes silently.
void OpenVendorShortcut();

// The logo's click: WriteVendorShortcut with the vendor's page, and only when
// that succeeded, OpenVendorShortcut.
void OpenVendorPage();

// Opens a web address with the desktop's handler and answers like the shell
// would: a value above 32 for success, 0 when the system ran out of memory or
// resources, any other value for a failure. The default starts xdg-open.
using UrlOpener = std::function<int(const QString& url)>;
// Installs another opener (nullptr restores the default); returns the previous one.
UrlOpener SetUrlOpener(UrlOpener opener);

}  // namespace lm
