// The QMessageBox sink: style numbers give buttons and icon, CR breaks lines,
// and the pressed button comes back as its classic number.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include "util/ui/qt_message_box.h"

namespace {

// Runs `inspect` on the message box as soon as it is shown.
void WhenShown(std::function<void(QMessageBox&)> inspect) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    inspect(*box);
  });
  timer->start();
}

QList<QMessageBox::StandardButton> Buttons(QMessageBox& box) {
  QList<QMessageBox::StandardButton> out;
  for (QAbstractButton* b : box.buttons()) out << box.standardButton(b);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(QtMessageBoxTest, StyleGivesButtonsIconAndTitle) {
  using B = QMessageBox;
  struct Case {
    int style;
    QList<B::StandardButton> buttons;
    B::Icon icon;
    B::StandardButton press;
    int result;
  };
  const Case cases[] = {
      {0, {B::Ok}, B::NoIcon, B::Ok, lm::button::OK},
      {5, {B::Retry, B::Cancel}, B::NoIcon, B::Retry, lm::button::Retry},
      {16, {B::Ok}, B::Critical, B::Ok, lm::button::OK},
      {36, {B::Yes, B::No}, B::Question, B::No, lm::button::No},
      {36, {B::Yes, B::No}, B::Question, B::Yes, lm::button::Yes},
      {48, {B::Ok}, B::Warning, B::Ok, lm::button::OK},
      {64, {B::Ok}, B::Information, B::Ok, lm::button::OK},
  };
  lm::QtMessageBoxSink sink;
  for (const auto& c : cases) {
    QList<B::StandardButton> expected = c.buttons;
    std::sort(expected.begin(), expected.end());
    bool seen = false;
    WhenShown([&](QMessageBox& box) {
      seen = true;
      EXPECT_EQ(box.windowTitle(), "Loftmark");
      EXPECT_EQ(box.text(), "first line\n『/x/y』");
      EXPECT_EQ(Buttons(box), expected) << c.style;
      EXPECT_EQ(box.icon(), c.icon) << c.style;
      for (B::StandardButton b : c.buttons) EXPECT_EQ(box.button(b)->text(), lm::ButtonCaption(b));
      box.button(c.press)->click();
    });
    const int result = sink.Show(QStringLiteral("first line") + QChar(13) + "『/x/y』", c.style,
                                 "Loftmark");
    EXPECT_TRUE(seen);
    EXPECT_EQ(result, c.result) << c.style;
  }
}

TEST(QtMessageBoxTest, EscapeGivesTheNegativeAnswer) {
  lm::QtMessageBoxSink sink;
  for (const auto& [style, result] : {std::pair{36, lm::button::No}, {5, lm::button::Cancel},
                                      {0, lm::button::OK}}) {
    WhenShown([](QMessageBox& box) {
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(&box, &esc);
    });
    EXPECT_EQ(sink.Show("question", style, "Loftmark"), result) << style;
  }
}

TEST(QtMessageBoxTest, EnterPressesTheDefaultButtonWhichStyle256MakesTheSecond) {
  using B = QMessageBox;
  lm::QtMessageBoxSink sink;
  struct Case {
    int style;
    B::StandardButton defaultButton;
    int result;
  } cases[] = {
      {36, B::Yes, lm::button::Yes},
      {36 + lm::style::DefaultSecond, B::No, lm::button::No},
      {5, B::Retry, lm::button::Retry},
      {5 + lm::style::DefaultSecond, B::Cancel, lm::button::Cancel},
      {0 + lm::style::DefaultSecond, B::Ok, lm::button::OK},  // one button: it stays the default
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lm::LookOfStyle(c.style).defaultButton, c.defaultButton) << c.style;
    WhenShown([](QMessageBox& box) {
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QApplication::sendEvent(&box, &enter);
    });
    EXPECT_EQ(sink.Show("question", c.style, "Loftmark"), c.result) << c.style;
  }
}

// A text longer than the screen is cut to what fits, with a count of the
// lines left out; a text that fits is shown whole.
TEST(QtMessageBoxTest, TextThatFitsCutsLongTextsWithACount) {
  const QFontMetrics metrics(QApplication::font());
  const int line = metrics.lineSpacing();
  QStringList many;
  for (int i = 0; i < 200; ++i) many << QStringLiteral("『/home/u/scripts/プロファイル%1.UGU』").arg(i);
  const QString text = many.join('\n');
  struct Case {
    const char* what;
    QString text;
    int maxHeight;
    bool whole;
  } cases[] = {
      {"short", QStringLiteral("設定ファイルに書きこみできませんでした。"), 10 * line, true},
      {"two hundred lines", text, 30 * line, false},
      {"two hundred lines, tiny room", text, 2 * line, false},
      {"one endless line", QString(5000, QChar(0x8868)), 5 * line, false},
      {"empty", QString(), line, true},
  };
  for (const Case& c : cases) {
    const QString fitted = lm::TextThatFits(c.text, metrics, 300, c.maxHeight);
    const int height =
        metrics.boundingRect(QRect(0, 0, 300, 1 << 24), Qt::TextWordWrap | Qt::AlignLeft, fitted).height();
    if (c.whole) {
      EXPECT_EQ(fitted, c.text) << c.what;
      continue;
    }
    EXPECT_LE(height, std::max(c.maxHeight, 2 * line)) << c.what;
    EXPECT_LT(fitted.size(), c.text.size()) << c.what;
  }
  // The count names the lines left out, and the lines shown are the first ones.
  const QString fitted = lm::TextThatFits(text, metrics, 300, 30 * line);
  const QStringList shown = fitted.split('\n');
  ASSERT_GE(shown.size(), 2);
  EXPECT_EQ(shown.mid(0, shown.size() - 1), many.mid(0, shown.size() - 1));
  EXPECT_EQ(shown.last(), QStringLiteral("…（ほか %1 行）").arg(200 - (shown.size() - 1)));
}

TEST(QtMessageBoxTest, NoBoxIsTallerThanTheScreen) {
  QStringList lines;
  for (int i = 0; i < 300; ++i) lines << QStringLiteral("ファイル %1 を読めませんでした。").arg(i);
  lm::QtMessageBoxSink sink;
  QRect shownAt;
  QRect screen;
  QString text;
  WhenShown([&](QMessageBox& box) {
    shownAt = box.frameGeometry();
    screen = box.screen()->availableGeometry();
    text = box.text();
    box.button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(sink.Show(lines.join(lm::CR), 48, QStringLiteral("Loftmark")), lm::button::OK);
  EXPECT_LE(shownAt.height(), screen.height());
  EXPECT_TRUE(text.startsWith(lines.first()));
  EXPECT_TRUE(text.contains(QStringLiteral("…（ほか ")));
}

}  // namespace
