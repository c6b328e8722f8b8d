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
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// soma_polinomio for two points, one in each half of the registers.
inline __m128d soma_polinomio_dois(const double (&C)[6], __m128d u, __m128d v)
{
  const __m128d u2 = _mm_mul_pd(u, u);
  const __m128d v2 = _mm_mul_pd(v, v);
  __m128d s = _mm_add_pd(_mm_set1_pd(C[0]), _mm_mul_pd(_mm_set1_pd(C[1]), u));
  s = _mm_add_pd(s, _mm_mul_pd(_mm_set1_pd(C[2]), v));
  s = _mm_add_pd(s, _mm_mul_pd(_mm_set1_pd(C[3]), u2));
  s = _mm_add_pd(s, _mm_mul_pd(_mm_mul_pd(_mm_set1_pd(C[4]), u), v));
  return _mm_add_pd(s, _mm_mul_pd(_mm_set1_pd(C[5]), v2));
}
#endif

// `polinomio` of two points, x0 y0 x1 y1 as doubles in a record's order,
// into `para` in the same order. The same operations in the same order,
// each point in one half of the processor's registers, so that each result
// is `polinomio`'s to the bit: pow(u, 2.0) is u·u rounded once, as the
// compiler also makes it there.
inline void polinomio_dois(const coeficientes& c, const void* de, void* para)
{
#if defined(__SSE2__)
  const __m128d p0 = _mm_loadu_pd(static_cast<const double*>(de));
  const __m128d p1 = _mm_loadu_pd(static_cast<const double*>(de) + 2);
  const __m128d x = _mm_unpacklo_pd(p0, p1), y = _mm_unpackhi_pd(p0, p1);
  const __m128d u = _mm_div_pd(_mm_sub_pd(x, _mm_set1_pd(c.x0)), _mm_set1_pd(c.kx));
  const __m128d v = _mm_div_pd(_mm_sub_pd(y, _mm_set1_pd(c.y0)), _mm_set1_pd(c.ky));
  const __m128d X = _mm_add_pd(soma_polinomio_dois(c.A, u, v), _mm_set1_pd(c.X0));
  const __m128d Y = _mm_add_pd(soma_polinomio_dois(c.B, u, v), _mm_set1_pd(c.Y0));
  _mm_storeu_pd(static_cast<double*>(para), _mm_unpacklo_pd(X, Y));
  _mm_storeu_pd(static_cast<double*>(para) + 2, _mm_unpackhi_pd(X, Y));
#else
  double v[4];
  std::memcpy(v, de, sizeof v);
  const par a = polinomio(c, v[0], v[1]), b = polinomio(c, v[2], v[3]);
  const double r[4] = {a.x, a.y, b.x, b.y};
  std::memcpy(para, r, sizeof r);
#endif
}

// A coordinate function of the transfer loop: one point, or two at once.
struct por_polinomio {
  coeficientes c;
  par operator()(double x, double y) const { return polinomio(c, x, y); }
  void dois(const void* de, void* para) const { polinomio_dois(c, de, para); }
};

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
