#include "polinomio.h"

#include <cmath>

namespace kelvara {

double soma_polinomio(const double (&C)[6], double u, double v)
{
  const double u2 = std::pow(u, 2.0);
  const double v2 = std::pow(v, 2.0);
  const double ate_uv = ((((C[0] + C[1] * u) + C[2] * v) + C[3] * u2) + (C[4] * u) * v);
  return ate_uv + C[5] * v2;
}

par polinomio(const coeficientes& c, double x, double y)
{
  const double u = (x - c.x0) / c.kx;
  const double v = (y - c.y0) / c.ky;
  const double PX = soma_polinomio(c.A, u, v);
  const double PY = soma_polinomio(c.B, u, v);
  const double X = PX + c.X0;
  const double Y = PY + c.Y0;
  return {X, Y};
}

}  // namespace kelvara
