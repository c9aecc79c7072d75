// Dialog units: the dialogs are laid out on a grid that scales with their font, so the
// arrangement stays the same whatever font and screen the platform gives. One horizontal
// unit is a quarter of the font's average character width, one vertical unit an eighth of
// its height.
#pragma once

#include <QFont>
#include <QRect>

class QWidget;

namespace sarnavel {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int x(int units) const;  // horizontal units to pixels
  int y(int units) const;  // vertical units to pixels
  QRect rect(int left, int top, int width, int height) const;

 private:
  int baseWidth_;   // average character width in pixels
  int baseHeight_;  // character height in pixels
};

// Moves a top-level window to the centre of the screen's available area.
void centreOnScreen(QWidget& window);

}  // namespace sarnavel
