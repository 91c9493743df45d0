#include "util/ui/qt_message_box.h"

#include <algorithm>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

namespace lm {

MessageBoxLook LookOfStyle(int style) {
  using B = QMessageBox;
  MessageBoxLook look;
  switch (style & 7) {
    case 1: look.buttons = {B::Ok, B::Cancel}; break;
    case 2: look.buttons = {B::Abort, B::Retry, B::Ignore}; break;
    case 3: look.buttons = {B::Yes, B::No, B::Cancel}; break;
    case 4: look.buttons = {B::Yes, B::No}; break;
    case 5: look.buttons = {B::Retry, B::Cancel}; break;
    default: look.buttons = {B::Ok}; break;
  }
  switch (style & 0x70) {
    case 16: look.icon = B::Critical; break;
    case 32: look.icon = B::Question; break;
    case 48: look.icon = B::Warning; break;
    case 64: look.icon = B::Information; break;
    default: look.icon = B::NoIcon; break;
  }
  look.defaultButton = (style & 0x300) == style::DefaultSecond && look.buttons.size() > 1 ? look.buttons[1]
                                                                                          : look.buttons.first();
  return look;
}

QString ButtonCaption(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Cancel: return QStringLiteral("キャンセル");
    case QMessageBox::Abort: return QStringLiteral("中止(&A)");
    case QMessageBox::Retry: return QStringLiteral("再試行(&R)");
    case QMessageBox::Ignore: return QStringLiteral("無視(&I)");
    case QMessageBox::Yes: return QStringLiteral("はい(&Y)");
    case QMessageBox::No: return QStringLiteral("いいえ(&N)");
    default: return QStringLiteral("OK");
  }
}

int ButtonNumber(QMessageBox::StandardButton pressed) {
  switch (pressed) {
    case QMessageBox::Ok: return button::OK;
    case QMessageBox::Cancel: return button::Cancel;
    case QMessageBox::Abort: return button::Abort;
    case QMessageBox::Retry: return button::Retry;
    case QMessageBox::Ignore: return button::Ignore;
    case QMessageBox::Yes: return button::Yes;
    case QMessageBox::No: return button::No;
    default: return button::Cancel;
  }
}

namespace {

int WrappedHeight(const QString& text, const QFontMetrics& metrics, int width) {
  return metrics.boundingRect(QRect(0, 0, width, 1 << 24), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text)
      .height();
}

// The longest start of `line` that, followed by "…", fits `maxHeight`.
QString CutLine(const QString& line, const QFontMetrics& metrics, int width, int maxHeight) {
  qsizetype low = 0;
  qsizetype high = line.size();
  while (low < high) {
    const qsizetype mid = (low + high + 1) / 2;
    if (WrappedHeight(line.left(mid) + QStringLiteral("…"), metrics, width) <= maxHeight)
      low = mid;
    else
      high = mid - 1;
  }
  if (low > 0 && low < line.size() && line.at(low).isLowSurrogate()) --low;
  return line.left(low) + QStringLiteral("…");
}

}  // namespace

QString TextThatFits(const QString& text, const QFontMetrics& metrics, int width, int maxHeight) {
  if (WrappedHeight(text, metrics, width) <= maxHeight) return text;
  const QStringList lines = text.split(QLatin1Char('\n'));
  const QString moreFormat = QStringLiteral("…（ほか %1 行）");
  // The most lines that fit together with the line that counts the rest.
  qsizetype low = 0;
  qsizetype high = lines.size() - 1;
  while (low < high) {
    const qsizetype mid = (low + high + 1) / 2;
    const QString tried = QStringList(lines.mid(0, mid)).join(QLatin1Char('\n')) + QLatin1Char('\n') +
                          moreFormat.arg(lines.size() - mid);
    if (WrappedHeight(tried, metrics, width) <= maxHeight)
      low = mid;
    else
      high = mid - 1;
  }
  if (low == 0) {
    // Not even the first line fits whole: it is cut, the rest counted.
    const QString more = lines.size() > 1 ? QLatin1Char('\n') + moreFormat.arg(lines.size() - 1) : QString();
    const int room = std::max(metrics.lineSpacing(), maxHeight - (more.isEmpty() ? 0 : WrappedHeight(more.mid(1), metrics, width)));
    return CutLine(lines.first(), metrics, width, room) + more;
  }
  return QStringList(lines.mid(0, low)).join(QLatin1Char('\n')) + QLatin1Char('\n') + moreFormat.arg(lines.size() - low);
}

int QtMessageBoxSink::Show(const QString& text, int style, const QString& title) {
  const MessageBoxLook look = LookOfStyle(style);
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(title);
  box.setTextFormat(Qt::PlainText);
  // No box is taller than the screen, or its buttons would lie beyond it: a
  // long text is cut to what fits, with a count of the lines left out. The
  // width is a little narrower than the box wraps at, so the cut errs on the
  // short side; the rest of the box (title, margins, buttons) gets 200 pixels.
  QString shown = MessageTextForDisplay(text);
  const QWidget* anchor = QApplication::activeWindow();
  QScreen* screen = anchor ? anchor->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->availableGeometry();
    const QFontMetrics metrics(box.font());
    const int width = std::min(area.width() / 2, 420);
    shown = TextThatFits(shown, metrics, width, std::max(metrics.lineSpacing(), area.height() - 200));
  }
  box.setText(shown);
  box.setIcon(look.icon);
  QMessageBox::StandardButtons buttons;
  for (auto b : look.buttons) buttons |= b;
  box.setStandardButtons(buttons);
  for (auto b : look.buttons) box.button(b)->setText(ButtonCaption(b));
  box.setDefaultButton(look.defaultButton);
  // Closing the box without a button counts as its negative answer.
  if (buttons & QMessageBox::Cancel)
    box.setEscapeButton(QMessageBox::Cancel);
  else if (buttons & QMessageBox::No)
    box.setEscapeButton(QMessageBox::No);
  else if (buttons & QMessageBox::Ignore)
    box.setEscapeButton(QMessageBox::Ignore);
  else
    box.setEscapeButton(QMessageBox::Ok);
  box.exec();
  auto* clicked = box.clickedButton();
  if (!clicked) return ButtonNumber(look.buttons.size() == 1 ? look.buttons.first()
                                                             : QMessageBox::Cancel);
  return ButtonNumber(box.standardButton(clicked));
}

}  // namespace lm
