#include "rotas.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace kelvara {

namespace {

// The texts are fixed strings, never composed from numbers: each writes its
// numbers in its own way ("-86.98999999999999", "0.0174532925199432955").
constexpr std::string_view prj_etrs89 =
    R"(PROJCS["ETRS_1989_TM06-Portugal",GEOGCS["GCS_ETRS_1989",DATUM["D_ETRS_1989",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-8.13310833333333333333],PARAMETER["Scale_Factor",1],PARAMETER["Latitude_Of_Origin",39.66825833333333333333],UNIT["Meter",1.0]])";

constexpr std::string_view prj_datum73 =
    R"(PROJCS["Datum_73_Hayford_Gauss_ZELT",GEOGCS["GCS_Datum_73",DATUM["D_Datum_73",SPHEROID["International_1924",6378388,297]],PRIMEM["Greenwich",0],UNIT["Degree",0.0174532925199432955]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",180.598],PARAMETER["False_Northing",-86.98999999999999],PARAMETER["Central_Meridian",-8.131906111111112],PARAMETER["Scale_Factor",1],PARAMETER["Latitude_Of_Origin",39.66666666666666],UNIT["Meter",1]])";

constexpr std::string_view prj_lisboa =
    R"(PROJCS["Lisboa_Hayford_Gauss_ZELT",GEOGCS["GCS_Datum_Lisboa_Hayford",DATUM["D_Datum_Lisboa_Hayford",SPHEROID["International_1924",6378388,297]],PRIMEM["Greenwich",0],UNIT["Degree",0.0174532925199432955]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",0],PARAMETER["False_Northing",0],PARAMETER["Central_Meridian",-8.131906111111112],PARAMETER["Scale_Factor",1],PARAMETER["Latitude_Of_Origin",39.66666666666666],UNIT["Meter",1]])";

// The island targets, PTRA08 / UTM zones 25N, 26N and 28N (EPSG:5014, 5015,
// 5016), as PROJ 9.1 writes them in the ESRI dialect (projinfo -o WKT1_ESRI).
constexpr std::string_view prj_utm25 =
    R"(PROJCS["PTRA08_UTM_Zone_25N",GEOGCS["GCS_PTRA08",DATUM["D_PTRA08",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-33.0],PARAMETER["Scale_Factor",0.9996],PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]])";

constexpr std::string_view prj_utm26 =
    R"(PROJCS["PTRA08_UTM_Zone_26N",GEOGCS["GCS_PTRA08",DATUM["D_PTRA08",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-27.0],PARAMETER["Scale_Factor",0.9996],PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]])";

constexpr std::string_view prj_utm28 =
    R"(PROJCS["PTRA08_UTM_Zone_28N",GEOGCS["GCS_PTRA08",DATUM["D_PTRA08",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-15.0],PARAMETER["Scale_Factor",0.9996],PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]])";

// Projections, from EPSG's definitions of the systems (as PROJ 9.1 gives
// them). Datum 73 and Datum Lisboa share all but the false origin; the
// Azores' eastern and central datums share UTM zone 26 on the
// International 1924 ellipsoid.
constexpr double grs80_a = 6378137.0, grs80_f = 298.257222101;
constexpr double hayford_a = 6378388.0, hayford_f = 297.0;
constexpr projeccao tm06{grs80_a, grs80_f, 39.0 + 40.0 / 60 + 5.73 / 3600,
                         -(8.0 + 7.0 / 60 + 59.19 / 3600), 1.0, 0.0, 0.0};
constexpr projeccao hg73{hayford_a, hayford_f, 39.0 + 40.0 / 60,
                         -(8.0 + 7.0 / 60 + 54.862 / 3600), 1.0, 180.598, -86.99};
constexpr projeccao hg_lisboa{hayford_a, hayford_f, hg73.latitude0, hg73.longitude0, 1.0, 0.0, 0.0};
constexpr projeccao utm(double a, double f, int fuso)
{
  return {a, f, 0.0, -183.0 + 6.0 * fuso, 0.9996, 500000.0, 0.0};
}

// Areas: the bounding box of EPSG's area of use (PROJ 9.1's proj.db), its
// edges projected with the system's own projection and the box rounded
// outwards to the metre; the margin is 50 km on the mainland and 10 km on
// the islands. tests/teste_seguranca.cpp recomputes them with PROJ.
//   1294 Portugal - mainland - onshore: 9.56 W to 6.19 W, 36.95 N to 42.16 N
//   1345 Portugal - Azores E - onshore: 25.92 W to 24.72 W, 36.87 N to 37.96 N
//   1301 Portugal - Azores C - onshore: 28.90 W to 26.97 W, 38.32 N to 39.14 N
//   1344 Portugal - Azores W - onshore: 31.34 W to 31.02 W, 39.30 N to 39.77 N
//   1314 Portugal - Madeira archipelago onshore: 17.31 W to 16.23 W, 32.35 N to 33.15 N
//   3682 Portugal - Azores - west of 30°W: 35.58 W to 30 W, 35.25 N to 43.07 N
//   3677 Portugal - Azores 30°W to 24°W: 30 W to 24 W, 33.52 N to 42.96 N
//   3678 Portugal - Madeira and EEZ E of 18°W: 18 W to 12.48 W, 29.24 N to 36.46 N
constexpr double continente = 50000, ilhas = 10000;
constexpr area area_tm06{-127097, -301734, 173082, 278542, continente};
constexpr area area_73{-127029, -301652, 173163, 278638, continente};
constexpr area area_lisboa{-127210, -301565, 172983, 278725, continente};
constexpr area area_oriental{594878, 4081062, 703235, 4203899, ilhas};
constexpr area area_central{333898, 4241391, 502623, 4334105, ilhas};
constexpr area area_ocidental{642181, 4351456, 670740, 4404181, ilhas};
constexpr area area_madeira{282606, 3579950, 385285, 3670349, ilhas};
constexpr area area_utm25{265262, 3900767, 772962, 4772958, ilhas};
constexpr area area_utm26{221357, 3708936, 778643, 4760741, ilhas};
constexpr area area_utm28{208407, 3234576, 744921, 4039156, ilhas};

// EPSG codes: the local datums' UTM systems of both families (the island
// sets match the 1995 readjustments and Azores Occidental 1939 to within
// 0.6 m, the older 1940, 1948 and 1936 datums to within 2.8 m, so either
// family's projection file names the same system here). Datum Lisboa with
// the central point as origin is EPSG:5018, and EPSG:20791 with longitudes
// from the Lisbon meridian.
//
// In this order in the window's source list and in kelvara-cli's listing.
constexpr auto todos = std::to_array<sistema>({
    {"Hayford-Gauss Datum 73", prj_datum73, false, {27493}, hg73, area_73},
    {"Hayford-Gauss Datum Lisboa-Ponto Central", prj_lisboa, false, {5018, 20791}, hg_lisboa,
     area_lisboa},
    {"Açores - G.Oriental - UTM 26 S. Bráz", {}, false, {2190, 3062},
     utm(hayford_a, hayford_f, 26), area_oriental},
    {"Açores - Faial - UTM 26 Base SW", {}, false, {2189, 3063}, utm(hayford_a, hayford_f, 26),
     area_central},
    {"Açores - Graciosa - UTM 26 Base SW", {}, false, {2189, 3063}, utm(hayford_a, hayford_f, 26),
     area_central},
    {"Açores - Pico - UTM 26 Base SW", {}, false, {2189, 3063}, utm(hayford_a, hayford_f, 26),
     area_central},
    {"Açores - São Jorge - UTM 26 Base SW", {}, false, {2189, 3063},
     utm(hayford_a, hayford_f, 26), area_central},
    {"Açores - Terceira - UTM 26 Base SW", {}, false, {2189, 3063}, utm(hayford_a, hayford_f, 26),
     area_central},
    {"Açores - G.Ocidental - UTM 25 Observatório", {}, false, {2188},
     utm(hayford_a, hayford_f, 25), area_ocidental},
    {"Madeira - UTM 28 Base SE", {}, false, {2942, 3061}, utm(hayford_a, hayford_f, 28),
     area_madeira},
    {"ETRS89 TM06", prj_etrs89, false, {3763}, tm06, area_tm06},
    {"UTM 26 ITRF93", prj_utm26, false, {5015}, utm(grs80_a, grs80_f, 26), area_utm26},
    {"UTM 25 ITRF93", prj_utm25, false, {5014}, utm(grs80_a, grs80_f, 25), area_utm25},
    {"UTM 28 ITRF93", prj_utm28, false, {5016}, utm(grs80_a, grs80_f, 28), area_utm28},
    {"Qualquer", {}, true},
});

// The steps that more than one route takes.
constexpr etapa transf_01{"transf_01", tipo_etapa::polinomio, &conjunto_01};
constexpr etapa transf_10{"transf_10", tipo_etapa::polinomio, &conjunto_10};
constexpr etapa transf_12{"transf_12", tipo_etapa::grelha, nullptr, nullptr,
                          sentido::de_73_para_lisboa};
constexpr etapa transf_21{"transf_21", tipo_etapa::grelha, nullptr, nullptr,
                          sentido::de_lisboa_para_73};

constexpr etapa ilha(std::string_view nome, const coeficientes_ilha& c)
{
  return {nome, tipo_etapa::ilha, nullptr, &c};
}

// A route row; the projection text is the target's.
rota de(std::string_view s1, std::string_view s2, std::vector<etapa> etapas, bool na_janela = true)
{
  const sistema *a = sistema_de(s1), *b = sistema_de(s2);
  if (!a || !b || etapas.empty()) throw std::logic_error("rota sem sistemas ou sem etapas");
  return {a, b, false, std::move(etapas), b->prj, na_janela};
}

}  // namespace

std::span<const sistema> sistemas() { return todos; }

const sistema* sistema_de(std::string_view nome)
{
  for (const sistema& s : todos)
    if (s.nome == nome) return &s;
  return nullptr;
}

std::span<const rota> rotas()
{
  const std::string_view etrs = "ETRS89 TM06", d73 = "Hayford-Gauss Datum 73",
                         lisboa = "Hayford-Gauss Datum Lisboa-Ponto Central";
  static const std::vector<rota> tabela{
      de(etrs, d73, {transf_01}),
      de(etrs, lisboa, {transf_01, transf_12}),
      de(d73, etrs, {transf_10}),
      de(d73, lisboa, {transf_12}, false),
      de(lisboa, etrs, {transf_21, transf_10}),
      de(lisboa, d73, {transf_21}, false),
      de("Açores - G.Oriental - UTM 26 S. Bráz", "UTM 26 ITRF93", {ilha("transf_54", conjunto_54)}),
      de("Açores - Faial - UTM 26 Base SW", "UTM 26 ITRF93", {ilha("transf_64", conjunto_64)}),
      de("Açores - Graciosa - UTM 26 Base SW", "UTM 26 ITRF93", {ilha("transf_74", conjunto_74)}),
      de("Açores - Pico - UTM 26 Base SW", "UTM 26 ITRF93", {ilha("transf_84", conjunto_84)}),
      de("Açores - São Jorge - UTM 26 Base SW", "UTM 26 ITRF93",
         {ilha("transf_94", conjunto_94)}),
      de("Açores - Terceira - UTM 26 Base SW", "UTM 26 ITRF93",
         {ilha("transf_104", conjunto_104)}),
      de("Açores - G.Ocidental - UTM 25 Observatório", "UTM 25 ITRF93",
         {ilha("transf_114", conjunto_114)}),
      de("Madeira - UTM 28 Base SE", "UTM 28 ITRF93", {ilha("transf_124", conjunto_124)}),
      // Any text of "Sistema 2"; no projection file.
      {sistema_de("Qualquer"), sistema_de("Qualquer"), true,
       {{"qualquer", tipo_etapa::parametros}}, {}, true},
  };
  return tabela;
}

const rota* rota_de(std::string_view s1, std::string_view s2)
{
  for (const rota& r : rotas())
    if (r.sistema1->nome == s1 && (r.qualquer_destino || r.sistema2->nome == s2)) return &r;
  return nullptr;
}

std::vector<const rota*> destinos_de(std::string_view s1)
{
  std::vector<const rota*> r;
  for (const rota& x : rotas())
    if (x.sistema1->nome == s1) r.push_back(&x);
  return r;
}

std::vector<const sistema*> fontes()
{
  std::vector<const sistema*> r;
  for (const sistema& s : todos)
    if (!destinos_de(s.nome).empty()) r.push_back(&s);
  return r;
}

std::string_view papel(const sistema& s)
{
  bool fonte = false, destino = false;
  for (const rota& r : rotas()) {
    fonte = fonte || r.sistema1 == &s;
    destino = destino || (!r.qualquer_destino && r.sistema2 == &s);
  }
  return fonte && destino ? "ambos" : fonte ? "fonte" : "destino";
}

}  // namespace kelvara
