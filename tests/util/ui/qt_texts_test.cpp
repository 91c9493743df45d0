// Qt's own texts come in Japanese once the translation is installed: the
// context menu of every text box in the program's windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>

#include "util/ui/qt_texts.h"

TEST(QtTexts, ATextBoxContextMenuSpeaksJapanese) {
  ASSERT_TRUE(lm::InstallJapaneseQtTexts(*qApp)) << "qt6-translations-l10n missing: run scripts/install-deps.sh";
  QLineEdit box;
  std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
  QStringList texts;
  for (QAction* a : menu->actions()) {
    if (!a->isSeparator()) texts << a->text();
  }
  ASSERT_FALSE(texts.isEmpty());
  // "&Undo", "Cu&t", "&Copy", "&Paste", "Delete", "Select All" in English.
  for (const QString& t : texts) {
    EXPECT_FALSE(t.contains(QStringLiteral("Undo")) || t.contains(QStringLiteral("Copy")) ||
                 t.contains(QStringLiteral("Paste")) || t.contains(QStringLiteral("Select All")))
        << t.toStdString();
  }
}
