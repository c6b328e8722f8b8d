// The safeguards against a wrong source system: the input's .prj and the
// area of Sistema 1, route by route (a sound input converts, a wrong one is
// refused or asked about, the override converts), and the catalogue's
// codes, projections and areas checked against PROJ where projinfo is
// installed.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include <shapefil.h>

#include "apoio.h"
#include "gera_grelha.h"
#include "reconhece_prj.h"
#include "rotas.h"
#include "seguranca.h"

namespace kelvara {
namespace {

using namespace teste;

// Geographic NAD83, as PROJ writes it for ESRI.
const std::string prj_nad83 =
    R"(GEOGCS["GCS_North_American_1983",DATUM["D_North_American_1983",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]])";

std::pair<double, double> meio(const area& a) { return {(a.x_min + a.x_max) / 2, (a.y_min + a.y_max) / 2}; }

// A point inside the source's area (on the mainland, inside the bundled
// grids too) and one outside it.
std::pair<double, double> dentro_de(const sistema& s)
{
  return s.area.margem == 10000 ? meio(s.area) : std::pair{1000.0, -2000.0};
}
std::pair<double, double> fora_de(const sistema& s)
{
  return s.area.margem == 10000 ? std::pair{1000.0, -2000.0} : meio(sistema_de("Madeira - UTM 28 Base SE")->area);
}

// The .prj of another system of the catalogue, which `s` is not.
std::string prj_de_outro(const sistema& s, std::string& nome)
{
  for (const sistema& o : sistemas())
    if (!o.prj.empty() && !corresponde(o.projeccao, s.projeccao)) {
      nome = o.nome;
      return std::string(o.prj);
    }
  return {};
}

TEST(seguranca, cada_rota_recusa_a_entrada_errada_e_converte_a_certa)
{
  int n = 0;
  for (const rota& r : rotas()) {
    const sistema& s = *r.sistema1;
    if (s.parametros) continue;  // "Qualquer" is never checked
    const std::string s1(s.nome), s2(r.sistema2->nome);
    SCOPED_TRACE(s1 + " -> " + s2);
    std::string outro;
    const std::string errado = prj_de_outro(s, outro);
    const auto [xd, yd] = dentro_de(s);
    const auto [xf, yf] = fora_de(s);
    const std::string separador = texto(fs::path("/").make_preferred());  // as the system names it
    struct caso {
      const char* nome;
      std::vector<std::pair<double, double>> xy;
      std::string prj;
      std::vector<std::string> esperadas;  // in the refusal; empty: converts
    };
    const caso casos[] = {
        {"certo", {{xd, yd}, {xd + 10, yd + 10}}, std::string(s.prj), {}},
        {"sem .prj", {{xd, yd}}, "", {}},
        {".prj desconhecido", {{xd, yd}}, "PROJCS[\"Mercator\",GEOGCS[\"x\"]]", {}},
        {".prj de outro sistema", {{xd, yd}}, errado, {separador + "c.prj", outro, s1}},
        {".prj geográfico", {{xd, yd}}, prj_nad83, {"longitudes e latitudes", "GCS_North_American_1983", s1}},
        {"fora da área", {{xf, yf}, {xf + 10, yf}}, "", {"fora da área do sistema", s1}},
        {"um registo fora", {{xd, yd}, {xf, yf}}, "", {"do registo 2 do", s1}},
    };
    for (const caso& k : casos) {
      SCOPED_TRACE(k.nome);
      ++n;
      for (const int modo : {0, 1, 2}) {  // refused; "Sim" in the window; --forcar
        pasta_temporaria q;
        pontos(q / "c", k.xy);
        if (!k.prj.empty()) grava(q / "c.prj", k.prj);
        janela_teste j;
        j.resposta = modo == 1;
        const auto antes = q.ficheiros();
        const bool ok = converte(j, s1, s2, q / "c.shp", q / "d.shp", "", "", KELVARA_GRELHAS, modo == 2);
        const bool grelha = std::any_of(r.etapas.begin(), r.etapas.end(),
                                        [](const etapa& e) { return e.tipo == tipo_etapa::grelha; });
        const bool fora = std::any_of(k.xy.begin(), k.xy.end(), [&](auto v) { return v.first == xf; });
        if (modo > 0 && grelha && fora) {
          // Converted anyway, it meets the edge of the Datum Lisboa grid.
          EXPECT_FALSE(ok);
          EXPECT_TRUE(j.fim.fora_da_grelha);
          continue;
        }
        if (k.esperadas.empty() || modo > 0) {
          EXPECT_TRUE(ok) << modo << ": " << j.textos().back();
          EXPECT_EQ(j.perguntas.size(), k.esperadas.empty() || modo == 2 ? 0u : 1u) << modo;
          EXPECT_EQ(le(q / "d.shp").formas.size(), k.xy.size());
          continue;
        }
        EXPECT_EQ(j.fim.como, desfecho::recusado);
        ASSERT_EQ(j.perguntas.size(), 1u);
        ASSERT_EQ(j.mensagens.size(), 1u);
        EXPECT_EQ(j.perguntas[0], j.mensagens[0].texto + "\n\nConverter mesmo assim?");
        for (const std::string& e : k.esperadas)
          EXPECT_NE(j.mensagens[0].texto.find(e), std::string::npos) << e << " em " << j.mensagens[0].texto;
        EXPECT_EQ(q.ficheiros(), antes);  // nothing written, nothing left
      }
    }
  }
  EXPECT_GT(n, 0);
}

TEST(seguranca, linha_de_comandos_recusa_e_converte_com_forcar)
{
  pasta_temporaria p;
  pontos(p / "c", {{1000, -2000}});
  grava(p / "c.prj", std::string(texto_prj(etrs)));
  std::vector<std::string> linha{KELVARA_CLI, "-s", d73, "-t", etrs, p / "c.shp", p / "d.shp"};
  processo r = corre(linha);
  EXPECT_EQ(r.codigo, 1);
  EXPECT_NE(r.erros.find("\"ETRS89 TM06\""), std::string::npos) << r.erros;
  EXPECT_NE(r.erros.find("--forcar"), std::string::npos) << r.erros;
  EXPECT_FALSE(fs::exists(p / "d.shp"));
  // The same refused in a batch: the summary, then how to convert anyway.
  r = corre({KELVARA_CLI, "-s", d73, "-t", etrs, p / "c.shp", p / "lote/"});
  EXPECT_EQ(r.codigo, 1);
  EXPECT_TRUE(r.erros.ends_with("Para converter mesmo assim, repita com a opção --forcar.\n"))
      << r.erros;
  linha.push_back("--forcar");
  r = corre(linha);
  EXPECT_EQ(r.codigo, 0) << r.erros;
  EXPECT_EQ(r.erros, "");
  EXPECT_NE(corre({KELVARA_CLI, "--help"}).saida.find("--forcar"), std::string::npos);
}

// Our own texts and PROJ's for every EPSG code of a system, in the ESRI and
// OGC dialects and in WKT 2, name that system; geographic texts are seen
// as such.
TEST(seguranca, prj_reconhecidos_pelo_que_definem)
{
  for (const sistema& s : sistemas()) {
    if (s.prj.empty()) continue;
    SCOPED_TRACE(s.nome);
    const auto l = le_prj(s.prj);
    ASSERT_TRUE(l && l->projeccao);
    const auto sao = sistemas_de(*l);
    EXPECT_NE(std::find(sao.begin(), sao.end(), &s), sao.end());
    EXPECT_EQ(recusa_prj("/nao/existe.prj", s), "");
  }
  for (const std::string& t : {prj_nad83, std::string("GEOGCRS[\"WGS 84\",DATUM[\"x\",ELLIPSOID[\"WGS 84\",6378137,298.257223563]]]")}) {
    const auto l = le_prj(t);
    ASSERT_TRUE(l);
    EXPECT_TRUE(l->geografico);
  }
  for (const char* lixo : {"", "PROJCS[", "PROJCS[\"a\"]]", "[[[[", "olá"}) EXPECT_FALSE(le_prj(lixo)) << lixo;
  // WGS 84 / UTM zone 26N (EPSG:32626, as PROJ writes it for ESRI): data
  // already in ITRF93 at 0.1 mm, which the Azores routes would shift again.
  const auto wgs84 = le_prj(
      R"(PROJCS["WGS_1984_UTM_Zone_26N",GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-27.0],PARAMETER["Scale_Factor",0.9996],PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]])");
  ASSERT_TRUE(wgs84 && wgs84->projeccao);
  EXPECT_EQ(sistemas_de(*wgs84), std::vector<const sistema*>{sistema_de("UTM 26 ITRF93")});

  if (corre({"projinfo", "EPSG:3763", "-q", "-o", "PROJ"}).codigo != 0) GTEST_SKIP() << "sem projinfo (proj-bin): PROJ não consultado";
  int vistos = 0;
  for (const sistema& s : sistemas())
    for (const int c : s.epsg) {
      if (c == 0) continue;
      for (const char* forma : {"WKT1_ESRI", "WKT1_GDAL", "WKT2_2019"}) {
        SCOPED_TRACE(std::string(s.nome) + " EPSG:" + std::to_string(c) + " " + forma);
        const processo x = corre({"projinfo", "EPSG:" + std::to_string(c), "-q", "-o", forma});
        ASSERT_EQ(x.codigo, 0);
        const auto l = le_prj(x.saida);
        ASSERT_TRUE(l && l->projeccao) << x.saida;
        const auto sao = sistemas_de(*l);
        EXPECT_NE(std::find(sao.begin(), sao.end(), &s), sao.end()) << x.saida;
        ++vistos;
      }
    }
  EXPECT_GT(vistos, 0);
}

// Each area is EPSG's area of use of the system's first code, its edges
// projected by PROJ, rounded outwards to the metre.
TEST(seguranca, areas_conferem_com_o_proj)
{
  if (corre({"projinfo", "EPSG:3763", "-q", "-o", "PROJ"}).codigo != 0) GTEST_SKIP() << "sem projinfo (proj-bin): PROJ não consultado";
  for (const sistema& s : sistemas()) {
    if (s.epsg[0] == 0) continue;
    SCOPED_TRACE(s.nome);
    const std::string c = "EPSG:" + std::to_string(s.epsg[0]);
    const std::string wkt = corre({"projinfo", c, "-q", "--single-line", "-o", "WKT2_2019"}).saida;
    const auto i = wkt.find("BBOX[");
    ASSERT_NE(i, std::string::npos);
    double sul, oeste, norte, este;
    ASSERT_EQ(std::sscanf(wkt.c_str() + i, "BBOX[%lf,%lf,%lf,%lf]", &sul, &oeste, &norte, &este), 4);
    std::string proj = corre({"projinfo", c, "-q", "-o", "PROJ"}).saida;
    proj = proj.substr(0, proj.find("+type=crs"));
    if (const auto t = proj.find("+towgs84="); t != std::string::npos) proj.erase(t, proj.find(' ', t) - t);
    std::string pontos_borda;
    for (int k = 0; k <= 100; ++k) {
      const double lon = oeste + (este - oeste) * k / 100, lat = sul + (norte - sul) * k / 100;
      for (const auto& [a, b] : {std::pair{lon, sul}, {lon, norte}, {oeste, lat}, {este, lat}})
        pontos_borda += numero_exato(a) + " " + numero_exato(b) + "\n";
    }
    pasta_temporaria p;
    grava(p / "borda.txt", pontos_borda);
    std::vector<std::string> linha{"proj", "-f", "%.4f"};
    for (size_t a = 0, b; a < proj.size(); a = b + 1) {
      b = proj.find_first_of(" \n", a);
      if (b == std::string::npos) b = proj.size();
      if (b > a) linha.push_back(proj.substr(a, b - a));
    }
    linha.push_back(p / "borda.txt");
    const processo x = corre(linha);
    ASSERT_EQ(x.codigo, 0) << x.erros;
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    const char* t = x.saida.c_str();
    for (double u, v; std::sscanf(t, "%lf %lf", &u, &v) == 2;) {
      x0 = std::min(x0, u), x1 = std::max(x1, u), y0 = std::min(y0, v), y1 = std::max(y1, v);
      t = strchr(t, '\n');
      if (!t) break;
      ++t;
    }
    EXPECT_EQ(s.area.x_min, std::floor(x0));
    EXPECT_EQ(s.area.y_min, std::floor(y0));
    EXPECT_EQ(s.area.x_max, std::ceil(x1));
    EXPECT_EQ(s.area.y_max, std::ceil(y1));
    EXPECT_EQ(s.area.margem, papel(s) == "ambos" ? 50000 : 10000);
  }
}

}  // namespace
}  // namespace kelvara
