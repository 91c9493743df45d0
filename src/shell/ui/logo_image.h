// The main window's logo: a picture drawn by the program that reacts to a click.
#pragma once

#include <QLabel>
#include <QPixmap>

namespace lm {

// The logo Image1: a picture that reacts to a click.
class LogoImage : public QLabel {
  Q_OBJECT
 public:
  explicit LogoImage(QWidget* parent = nullptr);
 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

// The 70 x 43 logo picture, drawn by the program.
QPixmap LogoPixmap();

}  // namespace lm
