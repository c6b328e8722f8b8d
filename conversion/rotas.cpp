#include "rotas.h"

#include <algorithm>
#include <array>

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

using enum papel;

constexpr sistema etrs89{"ETRS89 TM06", ambos, prj_etrs89, 11};
constexpr sistema datum73{"Hayford-Gauss Datum 73", ambos, prj_datum73, 1};
constexpr sistema lisboa{"Hayford-Gauss Datum Lisboa-Ponto Central", ambos, prj_lisboa, 2};
constexpr sistema g_oriental{"Açores - G.Oriental - UTM 26 S. Bráz", fonte, {}, 3};
constexpr sistema faial{"Açores - Faial - UTM 26 Base SW", fonte, {}, 4};
constexpr sistema graciosa{"Açores - Graciosa - UTM 26 Base SW", fonte, {}, 5};
constexpr sistema pico{"Açores - Pico - UTM 26 Base SW", fonte, {}, 6};
constexpr sistema sao_jorge{"Açores - São Jorge - UTM 26 Base SW", fonte, {}, 7};
constexpr sistema terceira{"Açores - Terceira - UTM 26 Base SW", fonte, {}, 8};
constexpr sistema g_ocidental{"Açores - G.Ocidental - UTM 25 Observatório", fonte, {}, 9};
constexpr sistema madeira{"Madeira - UTM 28 Base SE", fonte, {}, 10};
constexpr sistema utm26{"UTM 26 ITRF93", destino, {}};
constexpr sistema utm25{"UTM 25 ITRF93", destino, {}};
constexpr sistema utm28{"UTM 28 ITRF93", destino, {}};
constexpr sistema qualquer{"Qualquer", fonte, {}, 12, true};

// In this order in the listing of kelvara-cli.
constexpr std::array<sistema, 15> todos{etrs89,   datum73,     lisboa,  g_oriental, faial,
                                        graciosa, pico,        sao_jorge, terceira, g_ocidental,
                                        madeira,  utm26,       utm25,   utm28,      qualquer};

const sistema* de(const sistema& s) { return sistema_de(s.nome); }

using t = tipo_rotina;
constexpr rotina transf_01{"transf_01", t::polinomio, &conjunto_01};
constexpr rotina transf_10{"transf_10", t::polinomio, &conjunto_10};
constexpr rotina transf_12{"transf_12", t::grelha, nullptr, nullptr, sentido::de_73_para_lisboa};
constexpr rotina transf_21{"transf_21", t::grelha, nullptr, nullptr, sentido::de_lisboa_para_73};
constexpr rotina transf_54{"transf_54", t::ilha, nullptr, &conjunto_54};
constexpr rotina transf_64{"transf_64", t::ilha, nullptr, &conjunto_64};
constexpr rotina transf_74{"transf_74", t::ilha, nullptr, &conjunto_74};
constexpr rotina transf_84{"transf_84", t::ilha, nullptr, &conjunto_84};
constexpr rotina transf_94{"transf_94", t::ilha, nullptr, &conjunto_94};
constexpr rotina transf_104{"transf_104", t::ilha, nullptr, &conjunto_104};
constexpr rotina transf_114{"transf_114", t::ilha, nullptr, &conjunto_114};
constexpr rotina transf_124{"transf_124", t::ilha, nullptr, &conjunto_124};
constexpr rotina parametros{"qualquer", t::parametros};

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
  // Routed in this order: the first row whose source and target match.
  static const std::array<rota, 15> tabela{{
      {de(etrs89), de(datum73), false, &transf_01, nullptr, true},
      {de(etrs89), de(lisboa), false, &transf_01, &transf_12, true},
      {de(datum73), de(etrs89), false, &transf_10, nullptr, true},
      {de(datum73), de(lisboa), false, &transf_12, nullptr, false},
      {de(lisboa), de(etrs89), false, &transf_21, &transf_10, true},
      {de(lisboa), de(datum73), false, &transf_21, nullptr, false},
      {de(g_oriental), de(utm26), false, &transf_54, nullptr, true},
      {de(faial), de(utm26), false, &transf_64, nullptr, true},
      {de(graciosa), de(utm26), false, &transf_74, nullptr, true},
      {de(pico), de(utm26), false, &transf_84, nullptr, true},
      {de(sao_jorge), de(utm26), false, &transf_94, nullptr, true},
      {de(terceira), de(utm26), false, &transf_104, nullptr, true},
      {de(g_ocidental), de(utm25), false, &transf_114, nullptr, true},
      {de(madeira), de(utm28), false, &transf_124, nullptr, true},
      {de(qualquer), de(qualquer), true, &parametros, nullptr, true},
  }};
  return tabela;
}

std::vector<const sistema*> fontes_da_janela()
{
  std::vector<const sistema*> r;
  for (const sistema& s : todos)
    if (s.na_janela > 0) r.push_back(&s);
  std::sort(r.begin(), r.end(),
            [](const sistema* a, const sistema* b) { return a->na_janela < b->na_janela; });
  return r;
}

std::vector<const rota*> destinos_da_janela(const sistema& s)
{
  std::vector<const rota*> r;
  for (const rota& x : rotas())
    if (x.sistema1 == &s && x.na_janela) r.push_back(&x);
  return r;
}

}  // namespace kelvara
