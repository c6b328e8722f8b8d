// Look shared by the two windows: twips to pixels, fonts with their
// fallback, the system colours, the frame and centring.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

namespace kelvara {

// A font as the windows name it. Where the family is missing, the nearest
// sans-serif of the same size and weight stands in.
struct fonte {
  const char* familia;
  double pontos;
  bool negrito;
  QFont qt() const;
};

// Twips (1/1440 inch) to pixels at the widget's logical resolution.
int twips(const QWidget* w, int t);

// Height of the title bar and borders, in pixels: measured once the window
// has a frame, estimated before.
int moldura(const QWidget* w);

// Background from a system colour role, text in `texto`.
void pinta(QWidget* w, QPalette::ColorRole fundo, const QColor& texto);
// Background the system's 3D-light colour (Qt's "Midlight" where the
// platform gives its own colours: Windows' COLOR_3DLIGHT), #E3E3E3
// elsewhere, where Qt's own "Midlight" (#CACACA) would leave the fields'
// orange text looking disabled.
void pinta_3d(QWidget* w, const QColor& texto);

// Puts the window in the middle of its screen.
void centra(QWidget* w);

}  // namespace kelvara
