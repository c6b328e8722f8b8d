// Second-degree polynomial transformation of plane coordinates.
//
// The official mainland sets between ETRS89 / PT-TM06 and Hayford-Gauss
// Datum 73 (published by the national mapping authority), quoted in the
// shortest decimal form that reads back to the stored double. The evaluation
// order below is part of the definition: every partial result is a double,
// u² and v² come from pow(·, 2.0), and the mixed term is (A4·u)·v. The build
// forbids contraction into fused multiply-adds so that results are the same
// on every machine.
#pragma once

#include <cmath>

namespace kelvara {

struct par {
  double x, y;
};

struct coeficientes {
  double x0, y0;  // input origin
  double kx, ky;  // divisors of the shifted input
  double X0, Y0;  // output origin
  double A[6];    // X: constant, u, v, u², u·v, v²
  double B[6];    // Y: likewise
};

// ((((C0 + C1·u) + C2·v) + C3·u²) + (C4·u)·v) + C5·v²
inline double soma_polinomio(const double (&C)[6], double u, double v)
{
  const double u2 = std::pow(u, 2.0);
  const double v2 = std::pow(v, 2.0);
  const double ate_uv = ((((C[0] + C[1] * u) + C[2] * v) + C[3] * u2) + (C[4] * u) * v);
  return ate_uv + C[5] * v2;
}

// The mainland form: reduce, evaluate PX then PY, add the output origin.
// Inline, so that the record loop evaluates it without a call per vertex.
inline par polinomio(const coeficientes& c, double x, double y)
{
  const double u = (x - c.x0) / c.kx;
  const double v = (y - c.y0) / c.ky;
  const double PX = soma_polinomio(c.A, u, v);
  const double PY = soma_polinomio(c.B, u, v);
  const double X = PX + c.X0;
  const double Y = PY + c.Y0;
  return {X, Y};
}

// ETRS89 TM06 to Datum 73.
inline constexpr coeficientes conjunto_01{
    0, 0, 200000, 300000, 0, 0,
    {-0.289668974294758, 200001.27734443, 5.64530095899816, -0.763567042558132, 1.4478460420534,
     1.40377501273145},
    {0.088665491830128, -3.68625888548256, 300002.234428869, -0.358351440787635, -1.8313445194994,
     1.21835116863588}};

// Datum 73 to ETRS89 TM06.
inline constexpr coeficientes conjunto_10{
    0, 0, 200000, 300000, 0, 0,
    {0.289669620741944, 199998.722589488, -5.64521399680414, 0.763532220799852, -1.44793733896829,
     -1.40368579163586},
    {-0.0886590501150693, 3.68619968513202, 299997.765485842, 0.358370787094269, 1.83123570379394,
     -1.218400737125}};

}  // namespace kelvara
