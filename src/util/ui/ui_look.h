// The common look of the program's dialog windows: twip geometry, the
// Japanese gothic font, the light grey background and the two looks of an
// entry box (normal and dimmed).
#pragma once

#include <QFont>
#include <QRect>

class QWidget;

namespace lm {

// 15 twips are one pixel at 96 dpi; a length between whole pixels goes to
// the nearest one, and a negative one (a control placed above or left of its
// container) the same way.
constexpr int Twips(int twips) { return twips >= 0 ? (twips + 7) / 15 : -((-twips + 7) / 15); }
inline QRect TwipRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

// The light grey of the windows and their labels (RGB 224, 224, 224).
constexpr unsigned kDialogGrey = 0xE0E0E0;

// "ＭＳ ゴシック" 9 pt, with the IPA gothic font standing in where it is missing.
QFont DialogFont();

// Gives a top-level dialog the grey background and the dialog font.
void ApplyDialogLook(QWidget* window);

// The normal look of an entry box (the system window colour, enabled) or the
// dimmed look (grey background, disabled).
void SetEntryLook(QWidget* box, bool normal);

// Grey background for a box that stays enabled but cannot be typed into.
void SetGreyBackground(QWidget* box);

}  // namespace lm
