#include "shell/ui/logo_image.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace lm {

QPixmap LogoPixmap() {
  QPixmap pm(70, 43);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  // A folded page in blue with a white "L" mark and a yellow tick.
  QLinearGradient g(0, 0, 70, 43);
  g.setColorAt(0, QColor(40, 90, 220));
  g.setColorAt(1, QColor(10, 30, 140));
  p.setBrush(g);
  p.setPen(QPen(QColor(0, 0, 90), 1));
  p.drawRoundedRect(QRectF(1.5, 1.5, 67, 40), 7, 7);
  QPainterPath mark;
  mark.moveTo(14, 9);
  mark.lineTo(22, 9);
  mark.lineTo(22, 28);
  mark.lineTo(36, 28);
  mark.lineTo(36, 35);
  mark.lineTo(14, 35);
  mark.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(mark);
  p.setPen(QPen(QColor(255, 255, 128), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({QPointF(40, 22), QPointF(47, 30), QPointF(60, 11)}));
  return pm;
}

LogoImage::LogoImage(QWidget* parent) : QLabel(parent) {}

void LogoImage::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

void LogoImage::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click) emit clicked();
}

}  // namespace lm
