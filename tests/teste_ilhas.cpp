// The Azores and Madeira sets against their published figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ilhas.h"

namespace kelvara {
namespace {

struct caso {
  const char* rotina;
  const coeficientes_ilha& conjunto;
  double x, y;    // local datum
  double ex, ey;  // ITRF93, as published
};

// Published points, exact to the last digit of the double.
const caso publicados[] = {
    // At the reduction origin: (x0 + 1000·A0, y0 + 1000·B0).
    {"transf_54", conjunto_54, 640000, 4162500, 640030.8131618912, 4162536.9254752584},
    {"transf_54", conjunto_54, 641000, 4163500, 641030.8038783596, 4163536.9187463876},
    // Madeira reduces about the grid origin, so (0, 0) gives 1000·A0, 1000·B0.
    {"transf_124", conjunto_124, 0, 0, 2364.09143505786, -745.015675785352},
    {"transf_124", conjunto_124, 300000, 3630000, 299632.2573607131, 3630352.598151681},
};

TEST(ilhas, pontos_publicados_exatos)
{
  for (const caso& c : publicados) {
    SCOPED_TRACE(c.rotina);
    const par r = polinomio_ilha(c.conjunto, c.x, c.y);
    EXPECT_EQ(r.x, c.ex);
    EXPECT_EQ(r.y, c.ey);
  }
}

TEST(ilhas, acores_deslocamento_quase_constante)
{
  // Each Azores set is a datum shift of some tens to hundreds of metres with
  // scale factors within 1e-5 of 1: over ±25 km about its origin the shift
  // varies by little more than a metre. A slip in a coefficient's exponent
  // (1e-7 written 1e-5, a lost sign) moves points by metres or kilometres.
  struct {
    const char* rotina;
    const coeficientes_ilha& c;
  } conjuntos[] = {{"transf_54", conjunto_54},   {"transf_64", conjunto_64},
                   {"transf_74", conjunto_74},   {"transf_84", conjunto_84},
                   {"transf_94", conjunto_94},   {"transf_104", conjunto_104},
                   {"transf_114", conjunto_114}};
  for (const auto& [rotina, c] : conjuntos) {
    SCOPED_TRACE(rotina);
    EXPECT_EQ(c.k, 1000.0);
    const par origem = polinomio_ilha(c, c.x0, c.y0);
    const double dx0 = origem.x - c.x0;
    const double dy0 = origem.y - c.y0;
    EXPECT_LT(std::hypot(dx0, dy0), 400.0);
    double pior = 0;
    for (double a = -25000; a <= 25000; a += 1000)
      for (double b = -25000; b <= 25000; b += 1000) {
        const par r = polinomio_ilha(c, c.x0 + a, c.y0 + b);
        pior = std::max({pior, std::abs(r.x - (c.x0 + a) - dx0), std::abs(r.y - (c.y0 + b) - dy0)});
      }
    EXPECT_LT(pior, 2.0);
  }
}

TEST(ilhas, valor_do_polinomio_multiplicado_pelo_divisor)
{
  // A pure shift of 0.25 km in X and -0.5 km in Y: the polynomial value is
  // in kilometres and comes back in metres (a mainland-style evaluation
  // would add 0.25 m).
  const coeficientes_ilha c{500000, 4000000, 1000, {0.25, 1, 0, 0, 0, 0}, {-0.5, 0, 1, 0, 0, 0}};
  const par r = polinomio_ilha(c, 512000, 3987000);
  EXPECT_EQ(r.x, 512250.0);
  EXPECT_EQ(r.y, 3986500.0);
}

}  // namespace
}  // namespace kelvara
