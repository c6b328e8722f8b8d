#include "rotas.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>
#include <string>
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

// The military grids of Datum 73 (ESRI:102160) and Datum Lisboa
// (EPSG:20790), with the false origin 200 km west and 300 km south of the
// central point, as PROJ 9.1 writes them (projinfo -o WKT1_ESRI).
constexpr std::string_view prj_73_militar =
    R"(PROJCS["Datum_73_Hayford_Gauss_IGeoE",GEOGCS["GCS_Datum_73",DATUM["D_Datum_73",SPHEROID["International_1924",6378388.0,297.0]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Gauss_Kruger"],PARAMETER["False_Easting",200180.598],PARAMETER["False_Northing",299913.01],PARAMETER["Central_Meridian",-8.13190611111111],PARAMETER["Scale_Factor",1.0],PARAMETER["Latitude_Of_Origin",39.6666666666667],UNIT["Meter",1.0]])";

constexpr std::string_view prj_lisboa_militar =
    R"(PROJCS["Portuguese_National_Grid",GEOGCS["GCS_Lisbon_Lisbon",DATUM["D_Lisbon",SPHEROID["International_1924",6378388.0,297.0]],PRIMEM["Lisbon",-9.13190611111111],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",200000.0],PARAMETER["False_Northing",300000.0],PARAMETER["Central_Meridian",1.0],PARAMETER["Scale_Factor",1.0],PARAMETER["Latitude_Of_Origin",39.6666666666667],UNIT["Meter",1.0]])";

// What PROJ 9.1 writes for the targets' EPSG codes (projinfo -o WKT1_ESRI),
// which GDAL identifies as those codes: kelvara-cli --prj-epsg.
constexpr std::string_view prj_3763 =
    R"(PROJCS["ETRS_1989_Portugal_TM06",GEOGCS["GCS_ETRS_1989",DATUM["D_ETRS_1989",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-8.13310833333333],PARAMETER["Scale_Factor",1.0],PARAMETER["Latitude_Of_Origin",39.6682583333333],UNIT["Meter",1.0]])";

constexpr std::string_view prj_27493 =
    R"(PROJCS["Datum_73_Modified_Portuguese_Grid",GEOGCS["GCS_Datum_73",DATUM["D_Datum_73",SPHEROID["International_1924",6378388.0,297.0]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",180.598],PARAMETER["False_Northing",-86.99],PARAMETER["Central_Meridian",-8.13190611111111],PARAMETER["Scale_Factor",1.0],PARAMETER["Latitude_Of_Origin",39.6666666666667],UNIT["Meter",1.0]])";

constexpr std::string_view prj_5018 =
    R"(PROJCS["Lisbon_Portuguese_Grid_New",GEOGCS["GCS_Lisbon",DATUM["D_Lisbon",SPHEROID["International_1924",6378388.0,297.0]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-8.13190611111111],PARAMETER["Scale_Factor",1.0],PARAMETER["Latitude_Of_Origin",39.6666666666667],UNIT["Meter",1.0]])";

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

// The military grids: the central system's projection, its coordinates
// shifted by exactly 200 km east and 300 km north.
constexpr translacao militar{200000.0, 300000.0};
constexpr projeccao desloca(projeccao p, translacao d)
{
  p.falso_este += d.dx;
  p.falso_norte += d.dy;
  return p;
}
constexpr projeccao utm(double a, double f, int fuso)
{
  return {a, f, 0.0, -183.0 + 6.0 * fuso, 0.9996, 500000.0, 0.0};
}

// Areas: the bounding box of EPSG's area of use (PROJ 9.1's proj.db), its
// edges projected with the system's own projection and the box rounded
// outwards to the metre; the margin is 50 km on the mainland and 10 km on
// the islands. The islands of the central Azores group each have the area
// of DGT's transformation of that island (EPSG:5028 to 5032), with a margin
// of 5 km, which keeps each island's data off the others' areas but where
// they overlap (Faial, Pico and São Jorge). tests/teste_seguranca.cpp
// recomputes them with PROJ.
//   1294 Portugal - mainland - onshore: 9.56 W to 6.19 W, 36.95 N to 42.16 N
//   1345 Portugal - Azores E - onshore: 25.92 W to 24.72 W, 36.87 N to 37.96 N
//   2873 Portugal - Azores C - Faial onshore: 28.90 W to 28.54 W, 38.46 N to 38.70 N
//   3681 Portugal - Azores C - Graciosa onshore: 28.13 W to 27.88 W, 38.97 N to 39.14 N
//   2874 Portugal - Azores C - Pico onshore: 28.61 W to 27.98 W, 38.32 N to 38.61 N
//   2875 Portugal - Azores C - S Jorge onshore: 28.37 W to 27.71 W, 38.48 N to 38.80 N
//   2872 Portugal - Azores C - Terceira onshore: 27.44 W to 26.97 W, 38.57 N to 38.86 N
//   1344 Portugal - Azores W - onshore: 31.34 W to 31.02 W, 39.30 N to 39.77 N
//   1314 Portugal - Madeira archipelago onshore: 17.31 W to 16.23 W, 32.35 N to 33.15 N
//   3682 Portugal - Azores - west of 30°W: 35.58 W to 30 W, 35.25 N to 43.07 N
//   3677 Portugal - Azores 30°W to 24°W: 30 W to 24 W, 33.52 N to 42.96 N
//   3678 Portugal - Madeira and EEZ E of 18°W: 18 W to 12.48 W, 29.24 N to 36.46 N
constexpr double continente = 50000, ilhas = 10000, grupo_central = 5000;
constexpr area area_tm06{-127097, -301734, 173082, 278542, continente};
constexpr area area_73{-127029, -301652, 173163, 278638, continente};
constexpr area area_lisboa{-127210, -301565, 172983, 278725, continente};
constexpr area area_oriental{594878, 4081062, 703235, 4203899, ilhas};
constexpr area area_faial{334218, 4258049, 366078, 4285272, grupo_central};
constexpr area area_graciosa{402104, 4313888, 423946, 4332994, grupo_central};
constexpr area area_pico{359252, 4241845, 414672, 4274801, grupo_central};
constexpr area area_sao_jorge{380497, 4259384, 438345, 4295547, grupo_central};
constexpr area area_terceira{461668, 4269132, 502614, 4301406, grupo_central};
constexpr area area_ocidental{642181, 4351456, 670740, 4404181, ilhas};
constexpr area area_madeira{282606, 3579950, 385285, 3670349, ilhas};
constexpr area area_utm25{265262, 3900767, 772962, 4772958, ilhas};
constexpr area area_utm26{221357, 3708936, 778643, 4760741, ilhas};
constexpr area area_utm28{208407, 3234576, 744921, 4039156, ilhas};
constexpr area desloca(area a, translacao d)
{
  return {a.x_min + d.dx, a.y_min + d.dy, a.x_max + d.dx, a.y_max + d.dy, a.margem};
}

// Codes: the local datums' UTM systems of both families (the island sets
// match the 1995 readjustments and Azores Occidental 1939 to within 0.6 m,
// the older 1940, 1948 and 1936 datums to within 2.8 m, so either family's
// code and projection file name the same system here). Datum Lisboa with
// the central point as origin is EPSG:5018, and EPSG:20791 with longitudes
// from the Lisbon meridian. The military grids' areas are their central
// systems', shifted.
//
// In this order in the window's source list and in kelvara-cli's listing.
constexpr projeccao utm26_hayford = utm(hayford_a, hayford_f, 26);
constexpr auto todos = std::to_array<sistema>({
    {"Hayford-Gauss Datum 73", prj_datum73, false, {"EPSG:27493", "ESRI:102161"}, hg73, area_73,
     prj_27493, "EPSG:27493", datum::d73},
    {"Hayford-Gauss Datum Lisboa-Ponto Central", prj_lisboa, false,
     {"EPSG:5018", "EPSG:20791", "ESRI:102165"}, hg_lisboa, area_lisboa, prj_5018, "EPSG:5018",
     datum::lisboa},
    {"Açores - G.Oriental - UTM 26 S. Bráz", {}, false, {"EPSG:2190", "EPSG:3062"},
     utm26_hayford, area_oriental, {}, "EPSG:2190"},
    {"Açores - Faial - UTM 26 Base SW", {}, false, {"EPSG:2189", "EPSG:3063"}, utm26_hayford,
     area_faial, {}, "EPSG:5028"},
    {"Açores - Graciosa - UTM 26 Base SW", {}, false, {"EPSG:2189", "EPSG:3063"}, utm26_hayford,
     area_graciosa, {}, "EPSG:5029"},
    {"Açores - Pico - UTM 26 Base SW", {}, false, {"EPSG:2189", "EPSG:3063"}, utm26_hayford,
     area_pico, {}, "EPSG:5030"},
    {"Açores - São Jorge - UTM 26 Base SW", {}, false, {"EPSG:2189", "EPSG:3063"}, utm26_hayford,
     area_sao_jorge, {}, "EPSG:5031"},
    {"Açores - Terceira - UTM 26 Base SW", {}, false, {"EPSG:2189", "EPSG:3063"}, utm26_hayford,
     area_terceira, {}, "EPSG:5032"},
    {"Açores - G.Ocidental - UTM 25 Observatório", {}, false, {"EPSG:2188"},
     utm(hayford_a, hayford_f, 25), area_ocidental, {}, "EPSG:2188"},
    {"Madeira - UTM 28 Base SE", {}, false, {"EPSG:2942", "EPSG:3061"},
     utm(hayford_a, hayford_f, 28), area_madeira, {}, "EPSG:2942"},
    {"Hayford-Gauss Datum 73 Militar", prj_73_militar, false, {"ESRI:102160"},
     desloca(hg73, militar), desloca(area_73, militar), prj_73_militar, {}, datum::d73},
    {"Hayford-Gauss Datum Lisboa Militar", prj_lisboa_militar, false,
     {"EPSG:20790", "ESRI:102164"}, desloca(hg_lisboa, militar), desloca(area_lisboa, militar),
     prj_lisboa_militar, {}, datum::lisboa},
    {"ETRS89 TM06", prj_etrs89, false, {"EPSG:3763"}, tm06, area_tm06, prj_3763, "EPSG:3763",
     datum::etrs89},
    {"UTM 26 ITRF93", prj_utm26, false, {"EPSG:5015"}, utm(grs80_a, grs80_f, 26), area_utm26,
     prj_utm26, "EPSG:5015"},
    {"UTM 25 ITRF93", prj_utm25, false, {"EPSG:5014"}, utm(grs80_a, grs80_f, 25), area_utm25,
     prj_utm25, "EPSG:5014"},
    {"UTM 28 ITRF93", prj_utm28, false, {"EPSG:5016"}, utm(grs80_a, grs80_f, 28), area_utm28,
     prj_utm28, "EPSG:5016"},
    {"Qualquer", {}, true},
});

// The steps that more than one route takes.
constexpr etapa transf_01{"transf_01", tipo_etapa::polinomio, &conjunto_01};
constexpr etapa transf_10{"transf_10", tipo_etapa::polinomio, &conjunto_10};
constexpr etapa transf_12{"transf_12", tipo_etapa::grelha, nullptr, nullptr,
                          sentido::de_73_para_lisboa};
constexpr etapa transf_21{"transf_21", tipo_etapa::grelha, nullptr, nullptr,
                          sentido::de_lisboa_para_73};

// The shift between a military grid and its central system's.
constexpr etapa de_militar{"de_militar", tipo_etapa::translacao, nullptr, nullptr,
                           sentido::de_73_para_lisboa, {-militar.dx, -militar.dy}};
constexpr etapa para_militar{"para_militar", tipo_etapa::translacao, nullptr, nullptr,
                             sentido::de_73_para_lisboa, militar};

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
                         lisboa = "Hayford-Gauss Datum Lisboa-Ponto Central",
                         d73m = "Hayford-Gauss Datum 73 Militar",
                         lisboam = "Hayford-Gauss Datum Lisboa Militar";
  static const std::vector<rota> tabela{
      de(etrs, d73, {transf_01}),
      de(etrs, lisboa, {transf_01, transf_12}),
      de(d73, etrs, {transf_10}),
      de(d73, lisboa, {transf_12}, false),
      de(lisboa, etrs, {transf_21, transf_10}),
      de(lisboa, d73, {transf_21}, false),
      // A military grid converts as its central system, after or before
      // the shift of the origin.
      de(d73m, etrs, {de_militar, transf_10}),
      de(d73m, d73, {de_militar}, false),
      de(d73, d73m, {para_militar}, false),
      de(etrs, d73m, {transf_01, para_militar}, false),
      de(lisboam, etrs, {de_militar, transf_21, transf_10}),
      de(lisboam, lisboa, {de_militar}, false),
      de(lisboa, lisboam, {para_militar}, false),
      de(etrs, lisboam, {transf_01, transf_12, para_militar}, false),
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

std::vector<const sistema*> sistemas_do_codigo(std::string_view texto)
{
  std::vector<const sistema*> r;
  std::string codigo;
  for (char c : texto) codigo += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const bool com_autoridade =
      codigo.size() > 5 && (codigo.starts_with("EPSG:") || codigo.starts_with("ESRI:"));
  const size_t numero = com_autoridade ? 5 : 0;
  if (codigo.size() == numero || codigo.size() - numero > 9 ||
      !std::all_of(codigo.begin() + numero, codigo.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return r;
  if (!com_autoridade) codigo = "EPSG:" + codigo;
  for (const sistema& s : todos)
    if (std::find(s.codigos.begin(), s.codigos.end(), codigo) != s.codigos.end()) r.push_back(&s);
  return r;
}

std::string_view nome_do_sistema(std::string_view texto)
{
  if (sistema_de(texto)) return texto;
  const std::vector<const sistema*> s = sistemas_do_codigo(texto);
  return s.size() == 1 ? s[0]->nome : texto;
}

namespace {

// The routes by DGT's NTv2 grids: every route between mainland systems,
// one step between two datums, the shift of the origin within one.
const std::vector<rota>& rotas_dgt()
{
  static const std::vector<rota> tabela = [] {
    std::vector<rota> r;
    for (const rota& x : rotas()) {
      if (x.qualquer_destino || x.sistema1->datum == datum::outro ||
          x.sistema2->datum == datum::outro)
        continue;
      rota y = x;
      if (x.sistema1->datum != x.sistema2->datum) y.etapas = {{"ntv2_dgt", tipo_etapa::dgt}};
      r.push_back(std::move(y));
    }
    return r;
  }();
  return tabela;
}

}  // namespace

const rota* rota_de(std::string_view s1, std::string_view s2, bool dgt)
{
  for (const rota& r : dgt ? std::span<const rota>(rotas_dgt()) : rotas())
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
