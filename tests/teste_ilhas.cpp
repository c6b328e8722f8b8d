// The Azores and Madeira sets, route by route as the catalogue runs them,
// at points on each island: to the bit against values computed from the
// published coefficients outside this program (and the published figures
// themselves), and within a few centimetres of PROJ's EPSG operation for
// that island (PROJ 9.1, cs2cs with the operation given; the operations'
// stated accuracy is 0.1 to 1 m, and each set keeps to the tolerance of its
// row, the largest difference over 7 to 10 points on land rounded up to the
// centimetre).
#include <gtest/gtest.h>

#include <cmath>

#include "ilhas.h"
#include "rotas.h"

namespace kelvara {
namespace {

struct ponto {
  const char* rotina;
  double x, y;                // local datum
  double ex, ey;              // ITRF93, exact
  double px = NAN, py = NAN;  // ITRF93 by PROJ's operation
  double tolerancia = 0;      // metres from PROJ's
};

const ponto pontos[] = {
    // Published: at the reduction origin, (x0 + 1000·A0, y0 + 1000·B0); Madeira
    // reduces about the grid origin, so (0, 0) gives 1000·A0, 1000·B0.
    {"transf_54", 640000, 4162500, 640030.8131618912, 4162536.9254752584},
    {"transf_54", 641000, 4163500, 641030.8038783596, 4163536.9187463876},
    {"transf_124", 0, 0, 2364.09143505786, -745.015675785352},
    {"transf_124", 300000, 3630000, 299632.2573607131, 3630352.598151681},
    {"transf_54", 630275, 4186390, 630305.8731709698, 4186426.778608476,
     630305.8677, 4186426.8498, 0.11},  // São Miguel, EPSG:5025
    {"transf_54", 646115, 4186989, 646145.738203012, 4187025.7712793853,
     646145.7275, 4187025.8502, 0.11},  // São Miguel, EPSG:5025
    {"transf_54", 667302, 4096036, 667332.5919427053, 4096073.5548146903,
     667332.5865, 4096073.6534, 0.10},  // Santa Maria, EPSG:5026
    {"transf_64", 351045, 4271628, 351146.21588105237, 4271543.993544768,
     351146.2255, 4271544.0613, 0.08},  // Faial, EPSG:5028
    {"transf_64", 350938, 4265857, 351039.22288397804, 4265773.048461234,
     351039.2268, 4265773.1159, 0.08},  // Faial, EPSG:5028
    {"transf_64", 357177, 4273404, 357278.1598120043, 4273319.975433381,
     357278.1676, 4273320.0447, 0.08},  // Faial, EPSG:5028
    {"transf_74", 412467, 4326548, 412567.6788719303, 4326463.417346561,
     412567.6833, 4326463.4777, 0.08},  // Graciosa, EPSG:5029
    {"transf_74", 416025, 4319516, 416125.6480223135, 4319431.47158573,
     416125.6500, 4319431.5442, 0.08},  // Graciosa, EPSG:5029
    {"transf_74", 414288, 4318980, 414388.6618020458, 4318895.477575583,
     414388.6663, 4318895.5492, 0.08},  // Graciosa, EPSG:5029
    {"transf_84", 367946, 4266114, 368047.4682115175, 4266030.000522096,
     368047.5381, 4266030.0930, 0.14},  // Pico, EPSG:5030
    {"transf_84", 377128, 4267855, 377229.4513543682, 4267771.022376843,
     377229.4522, 4267771.0770, 0.14},  // Pico, EPSG:5030
    {"transf_84", 410961, 4253535, 411062.17008156644, 4253451.18161052,
     411062.1363, 4253451.2126, 0.14},  // Pico, EPSG:5030
    {"transf_94", 395187, 4282360, 395287.8051343694, 4282275.887146988,
     395287.8085, 4282275.9584, 0.08},  // São Jorge, EPSG:5031
    {"transf_94", 408655, 4280974, 408755.6725785968, 4280889.896297376,
     408755.6827, 4280889.9718, 0.08},  // São Jorge, EPSG:5031
    {"transf_94", 412071, 4275164, 412171.6406233975, 4275079.957244728,
     412171.6509, 4275080.0264, 0.08},  // São Jorge, EPSG:5031
    {"transf_104", 492180, 4290220, 492279.9163873753, 4290135.805980817,
     492279.9190, 4290135.8737, 0.08},  // Terceira, EPSG:5032
    {"transf_104", 493042, 4282451, 493141.9077581135, 4282366.877599807,
     493141.9111, 4282366.9457, 0.08},  // Terceira, EPSG:5032
    {"transf_104", 477403, 4288029, 477503.0454799769, 4287944.825648456,
     477503.0554, 4287944.8940, 0.08},  // Terceira, EPSG:5032
    {"transf_114", 660467, 4369005, 660090.1522082607, 4369071.472619146,
     660090.0975, 4369071.4938, 0.09},  // Flores, EPSG:5034
    {"transf_114", 658259, 4371735, 657882.1570508237, 4371801.431916224,
     657882.1189, 4371801.4641, 0.09},  // Flores, EPSG:5034
    {"transf_114", 663726, 4397945, 663349.058095727, 4398011.153341929,
     663349.0175, 4398011.2049, 0.07},  // Corvo, EPSG:5035
    {"transf_124", 323494, 3630744, 323126.10735463595, 3631096.796565756,
     323126.1580, 3631096.8329, 0.07},  // Madeira, EPSG:5022
    {"transf_124", 289802, 3632511, 289434.30525755795, 3632863.5021022684,
     289434.2976, 3632863.5026, 0.07},  // Madeira, EPSG:5022
    {"transf_124", 372075, 3657166, 371706.6065010366, 3657519.020751959,
     371706.5667, 3657519.1684, 0.16},  // Porto Santo, EPSG:5023
};

// The island step of that name in the catalogue.
const coeficientes_ilha* conjunto(const char* rotina)
{
  for (const rota& r : rotas())
    for (const etapa& e : r.etapas)
      if (e.nome == rotina) return e.ilha;
  return nullptr;
}

TEST(ilhas, pontos_de_cada_ilha)
{
  for (const ponto& k : pontos) {
    SCOPED_TRACE(std::string(k.rotina) + " " + std::to_string(k.x) + " " + std::to_string(k.y));
    const coeficientes_ilha* c = conjunto(k.rotina);
    ASSERT_NE(c, nullptr);
    const par r = polinomio_ilha(*c, k.x, k.y);
    EXPECT_EQ(r.x, k.ex);
    EXPECT_EQ(r.y, k.ey);
    if (!std::isnan(k.px)) {
      EXPECT_LE(std::hypot(r.x - k.px, r.y - k.py), k.tolerancia);
    }
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
