#include "ilhas.h"

namespace kelvara {

par polinomio_ilha(const coeficientes_ilha& c, double x, double y)
{
  const double u = (x - c.x0) / c.k;
  const double v = (y - c.y0) / c.k;
  const double PX = soma_polinomio(c.A, u, v);
  const double PY = soma_polinomio(c.B, u, v);
  // Scaled back to metres before the origin is added, each step a double.
  double X = c.k * PX;
  double Y = c.k * PY;
  X = X + c.x0;
  Y = Y + c.y0;
  return {X, Y};
}

}  // namespace kelvara
