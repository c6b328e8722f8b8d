#include "aparencia.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace kelvara {

QFont fonte::qt() const
{
  QFont f;
  // The named family first; then sans-serifs of the same metrics as the
  // classic Windows faces, before the wider default sans-serif.
  f.setFamilies({QString::fromUtf8(familia), "Arial", "Liberation Sans", "Arimo", "Nimbus Sans",
                 "Helvetica"});
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(pontos);
  f.setBold(negrito);
  return f;
}

int twips(const QWidget* w, int t)
{
  const double dpi = w ? w->logicalDpiY() : 96.0;
  return static_cast<int>(std::lround(t * dpi / 1440.0));
}

int moldura(const QWidget* w)
{
  const int medida = w->frameGeometry().height() - w->geometry().height();
  // Before the window manager has framed it: a classic title bar and borders.
  return medida > 0 ? medida : twips(w, 405);
}

void pinta(QWidget* w, QPalette::ColorRole fundo, const QColor& texto)
{
  QPalette p = w->palette();
  const QColor cor = QGuiApplication::palette().color(fundo);
  p.setColor(QPalette::Base, cor);
  p.setColor(QPalette::Window, cor);
  p.setColor(QPalette::Button, cor);
  p.setColor(QPalette::Text, texto);
  p.setColor(QPalette::WindowText, texto);
  p.setColor(QPalette::ButtonText, texto);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

void pinta_3d(QWidget* w, const QColor& texto)
{
  pinta(w, QPalette::Midlight, texto);
  if (QGuiApplication::platformName() == "windows") return;
  QPalette p = w->palette();
  const QColor claro(0xE3, 0xE3, 0xE3);
  for (const auto papel : {QPalette::Base, QPalette::Window, QPalette::Button}) p.setColor(papel, claro);
  w->setPalette(p);
}

void centra(QWidget* w)
{
  const QScreen* ecra = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!ecra) return;
  const QRect area = ecra->availableGeometry();
  const QSize total = w->frameGeometry().size();
  w->move(area.center() - QPoint(total.width() / 2, total.height() / 2));
}

}  // namespace kelvara
