// Qt's own texts (a text box's context menu, the standard buttons of its
// dialogs) in Japanese, like the rest of the windows, whatever language the
// desktop speaks.
#pragma once

class QCoreApplication;

namespace lm {

// Installs Qt's Japanese translation in `app` (it stays for the
// application's life). False when Qt's translations are not installed
// (Debian: qt6-translations-l10n); Qt's texts then stay in English.
bool InstallJapaneseQtTexts(QCoreApplication& app);

}  // namespace lm
