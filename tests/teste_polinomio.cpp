// The mainland polynomial sets against their published figures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "polinomio.h"

namespace kelvara {
namespace {

TEST(polinomio, origem_da_os_termos_constantes)
{
  const par r = polinomio(conjunto_01, 0, 0);
  EXPECT_EQ(r.x, -0.289668974294758);
  EXPECT_EQ(r.y, 0.088665491830128);
  const par s = polinomio(conjunto_10, 0, 0);
  EXPECT_EQ(s.x, 0.289669620741944);
  EXPECT_EQ(s.y, -0.0886590501150693);
}

TEST(polinomio, ponto_publicado_ida_e_volta_ao_milimetro)
{
  const par ida = polinomio(conjunto_01, 100000, 100000);
  EXPECT_EQ(std::round(ida.x * 1000) / 1000, 100002.437);
  EXPECT_EQ(std::round(ida.y * 1000) / 1000, 99998.731);
  const par volta = polinomio(conjunto_10, ida.x, ida.y);
  EXPECT_EQ(std::round(volta.x * 1000) / 1000, 100000.000);
  EXPECT_EQ(std::round(volta.y * 1000) / 1000, 100000.000);
}

// Two points at once, as the transfer loop evaluates a record's vertices.
par segundo_de_dois(const coeficientes& c, par a, par b)
{
  const double de[4] = {a.x, a.y, b.x, b.y};
  double para[4];
  polinomio_dois(c, de, para);
  const par r = polinomio(c, a.x, a.y);
  EXPECT_EQ(std::memcmp(para, &r, sizeof r), 0);  // the first, to the bit
  return {para[2], para[3]};
}

TEST(polinomio, ordem_de_avaliacao_escrita)
{
  // A set whose terms cancel only when summed left to right in doubles:
  // 1e16 + 1 is lost, so ((1e16 + 1) + (-1e16)) gives 0, not 1.
  coeficientes c{0, 0, 1, 1, 0, 0, {1e16, 1, -1e16, 0, 0, 0}, {0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(polinomio(c, 1, 1).x, 0.0);
  EXPECT_EQ(segundo_de_dois(c, {2, 2}, {1, 1}).x, 0.0);
  // The mixed term is (A4·u)·v, not A4·(u·v).
  coeficientes d{0, 0, 1, 1, 0, 0, {0, 0, 0, 0, 1e308, 0}, {0, 0, 0, 0, 0, 0}};
  EXPECT_TRUE(std::isinf(polinomio(d, 10, 0.01).x));
  EXPECT_TRUE(std::isinf(segundo_de_dois(d, {0, 0}, {10, 0.01}).x));
}

TEST(polinomio, conjuntos_quase_inversos_na_grelha_de_lisboa)
{
  // Every point of a 1 km grid over the extent of the Datum Lisboa grid
  // returns to within 0.1 mm after going to Datum 73 and back.
  double pior = 0;
  for (double x = -140000; x <= 185000; x += 1000)
    for (double y = -320000; y <= 290000; y += 1000) {
      const par ida = polinomio(conjunto_01, x, y);
      const par volta = polinomio(conjunto_10, ida.x, ida.y);
      pior = std::max({pior, std::abs(volta.x - x), std::abs(volta.y - y)});
      // Two at once give the same bits, in either half.
      const par ida2 = segundo_de_dois(conjunto_01, {y, x}, {x, y});
      ASSERT_EQ(std::memcmp(&ida2, &ida, sizeof ida), 0) << x << " " << y;
    }
  EXPECT_LT(pior, 1e-4);
}

}  // namespace
}  // namespace kelvara
