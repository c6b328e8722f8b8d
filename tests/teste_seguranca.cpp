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
#include "ficheiros.h"
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

// A point outside the source's area.
std::pair<double, double> fora_de(const sistema& s)
{
  return s.area.margem < 50000 ? std::pair{1000.0, -2000.0} : meio(sistema_de("Madeira - UTM 28 Base SE")->area);
}

// A point in the area of another system of the same projection that lies
// outside the area of `s` (another island of the group); none where there
// is no such system.
std::vector<std::pair<double, double>> de_outra_ilha(const sistema& s)
{
  for (const sistema& o : sistemas())
    if (&o != &s && o.projeccao.a > 0 && corresponde(o.projeccao, s.projeccao) &&
        !encontra({meio(o.area).first, meio(o.area).second, meio(o.area).first, meio(o.area).second}, s.area))
      return {meio(o.area)};
  return {};
}

// Writes the box (x min, y min, x max, y max) into the headers of the .shp
// and .shx of `base`.
void poe_caixa(const std::string& base, std::array<double, 4> c)
{
  for (const char* ext : {".shp", ".shx"}) {
    std::string b = bytes(base + ext);
    std::memcpy(b.data() + 36, c.data(), sizeof c);
    grava(base + ext, b);
  }
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
    const auto [xd, yd] = dentro_de(s1);
    const auto [xf, yf] = fora_de(s);
    const std::string separador = texto(fs::path("/").make_preferred());  // as the system names it
    struct caso {
      const char* nome;
      std::vector<std::pair<double, double>> xy;
      std::string prj;
      std::vector<std::string> esperadas;  // in the refusal; empty: converts
      std::string nome_prj = "c.prj";
      std::optional<std::array<double, 4>> caixa{};  // the header's, where it lies
      std::string aviso{};                           // in a message, converting
    };
    const std::string vertical = R"(VERTCS["Cascais",VDATUM["Cascais"],PARAMETER["Vertical_Shift",0.0],PARAMETER["Direction",1.0],UNIT["Meter",1.0]])";
    const std::string laea = R"(PROJCS["ETRS_1989_LAEA",GEOGCS["GCS_ETRS_1989",DATUM["D_ETRS_1989",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Lambert_Azimuthal_Equal_Area"],PARAMETER["False_Easting",4321000.0],PARAMETER["False_Northing",3210000.0],PARAMETER["Central_Meridian",10.0],PARAMETER["Latitude_Of_Origin",52.0],UNIT["Meter",1.0]])";
    const std::vector<std::string> de_outro{separador + "c.prj", outro, s1};
    const std::vector<std::string> registo_1{"do registo 1 do", s1};
    const std::vector<std::pair<double, double>> fora{{xf, yf}, {xf + 10, yf}};
    const caso casos[] = {
        {"certo", {{xd, yd}, {xd + 10, yd + 10}}, std::string(s.prj), {}},
        {"sem .prj", {{xd, yd}}, "", {}},
        {".prj ilegível", {{xd, yd}}, "olá", {}, "c.prj", {}, "não foi tido em conta"},
        {".prj de um sistema que kelvara não tem", {{xd, yd}}, laea,
         {"\"ETRS_1989_LAEA\"", "Lambert_Azimuthal_Equal_Area", "x 4321000 e em y 3210000", "GRS_1980", s1}},
        {".prj de outro sistema", {{xd, yd}}, errado, de_outro},
        {".PRJ de outro sistema", {{xd, yd}}, errado,
         {separador + (es::nomes_ignoram_caixa ? "c.prj" : "c.PRJ"), outro, s1}, "c.PRJ"},
        {"com altitudes (VERTCS)", {{xd, yd}}, errado + "," + vertical, de_outro},
        {"composto (COMPD_CS)", {{xd, yd}}, "COMPD_CS[\"x\"," + errado + "," + vertical + "]", de_outro},
        {"com um NUL no fim", {{xd, yd}}, errado + '\0', de_outro},
        {"com 70000 espaços no fim", {{xd, yd}}, errado + std::string(70000, ' ') + "lixo", de_outro},
        {".prj geográfico", {{xd, yd}}, prj_nad83, {"longitudes e latitudes", "GCS_North_American_1983", s1}},
        {"fora da área", fora, "", {"fora da área do sistema", s1}},
        {"um registo fora", {{xd, yd}, {xf, yf}}, "", {"do registo 2 do", s1}},
        {"noutra ilha do grupo", de_outra_ilha(s), "", {"fora da área do sistema", s1}},
        {"caixa de zeros", fora, "", registo_1, "c.prj", std::array<double, 4>{}},
        {"caixa NaN", fora, "", registo_1, "c.prj", std::array<double, 4>{NAN, NAN, NAN, NAN}},
        {"caixa invertida", fora, "", registo_1, "c.prj", std::array<double, 4>{xf + 10, yf, xf, yf}},
        {"caixa antiga", fora, "", registo_1, "c.prj", std::array<double, 4>{xd, yd, xd + 10, yd + 10}},
    };
    for (const caso& k : casos) {
      SCOPED_TRACE(k.nome);
      if (k.xy.empty()) continue;
      ++n;
      for (const int modo : {0, 1, 2}) {  // refused; "Sim" in the window; --forcar
        pasta_temporaria q;
        pontos(q / "c", k.xy);
        if (k.caixa) poe_caixa(q / "c", *k.caixa);
        if (!k.prj.empty()) grava(q / k.nome_prj, k.prj);
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
          if (!k.aviso.empty() && modo < 2) {
            EXPECT_NE(j.textos().front().find(k.aviso), std::string::npos) << j.textos().front();
          }
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
    for (const std::string_view v : s.codigos) {
      const std::string c(v);
      if (c.empty()) continue;
      for (const char* forma : {"WKT1_ESRI", "WKT1_GDAL", "WKT2_2019"}) {
        SCOPED_TRACE(std::string(s.nome) + " " + c + " " + forma);
        const processo x = corre({"projinfo", c, "-q", "-o", forma});
        ASSERT_EQ(x.codigo, 0);
        const auto l = le_prj(x.saida);
        ASSERT_TRUE(l && l->projeccao) << x.saida;
        const auto sao = sistemas_de(*l);
        EXPECT_NE(std::find(sao.begin(), sao.end(), &s), sao.end()) << x.saida;
        ++vistos;
      }
    }
  EXPECT_GT(vistos, 0);

  // The text written with --prj-epsg is the code's to GDAL.
  if (corre({"gdalsrsinfo", "--version"}).codigo != 0) GTEST_SKIP() << "sem gdalsrsinfo (gdal-bin)";
  pasta_temporaria p;
  for (const sistema& s : sistemas()) {
    if (s.prj_epsg.empty()) continue;
    SCOPED_TRACE(s.nome);
    grava(p / "x.prj", std::string(s.prj_epsg));
    const std::string c(s.codigos[0]);
    // GDAL names an ESRI code as EPSG's.
    EXPECT_EQ(corre({"gdalsrsinfo", "-e", p / "x.prj"}).saida.rfind("\nEPSG:" + c.substr(5) + "\n\n", 0), 0u);
  }
}

// Each area is EPSG's area of use of the system (or of the transformation
// of its island), its edges projected by PROJ, rounded outwards to the
// metre; a military grid's is its central system's, shifted. Each
// military grid is its central system shifted, to PROJ too.
TEST(seguranca, areas_conferem_com_o_proj)
{
  if (corre({"projinfo", "EPSG:3763", "-q", "-o", "PROJ"}).codigo != 0) GTEST_SKIP() << "sem projinfo (proj-bin): PROJ não consultado";
  for (const sistema& s : sistemas()) {
    SCOPED_TRACE(s.nome);
    if (s.origem_area.empty()) {
      if (s.parametros) continue;
      int centrais = 0;
      for (const sistema& c : sistemas()) {
        if (c.projeccao.a != s.projeccao.a || c.projeccao.falso_este + 200000 != s.projeccao.falso_este ||
            c.projeccao.falso_norte + 300000 != s.projeccao.falso_norte)
          continue;
        ++centrais;
        EXPECT_EQ(s.area.x_min, c.area.x_min + 200000);
        EXPECT_EQ(s.area.y_min, c.area.y_min + 300000);
        EXPECT_EQ(s.area.x_max, c.area.x_max + 200000);
        EXPECT_EQ(s.area.y_max, c.area.y_max + 300000);
        EXPECT_EQ(s.area.margem, c.area.margem);
        // PROJ: from the central system's first code to the military
        // grid's, a shift to a nanometre.
        pasta_temporaria p;
        grava(p / "xy.txt", "1000.125 -2000.5\n-120000 250000\n");
        const processo x = corre({"cs2cs", "-f", "%.10f", std::string(c.codigos[0]), std::string(s.codigos[0]), p / "xy.txt"});
        double u[2][2];
        ASSERT_EQ(std::sscanf(x.saida.c_str(), "%lf %lf %*f %lf %lf", &u[0][0], &u[0][1], &u[1][0], &u[1][1]), 4) << x.saida << x.erros;
        EXPECT_NEAR(u[0][0], 201000.125, 1e-8);
        EXPECT_NEAR(u[0][1], 297999.5, 1e-8);
        EXPECT_NEAR(u[1][0], 80000, 1e-8);
        EXPECT_NEAR(u[1][1], 550000, 1e-8);
      }
      EXPECT_EQ(centrais, 1);
      continue;
    }
    const std::string c(s.origem_area);
    const bool transformacao = std::find(s.codigos.begin(), s.codigos.end(), s.origem_area) == s.codigos.end();
    const std::string wkt = corre({"projinfo", "-k", transformacao ? "operation" : "crs", c, "-q",
                                   "--single-line", "-o", "WKT2_2019"}).saida;
    const auto i = wkt.find("BBOX[");
    ASSERT_NE(i, std::string::npos);
    double sul, oeste, norte, este;
    ASSERT_EQ(std::sscanf(wkt.c_str() + i, "BBOX[%lf,%lf,%lf,%lf]", &sul, &oeste, &norte, &este), 4);
    std::string proj = corre({"projinfo", std::string(s.codigos[0]), "-q", "-o", "PROJ"}).saida;
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
    EXPECT_EQ(s.area.margem, papel(s) == "ambos" ? 50000 : transformacao ? 5000 : 10000);
  }
}

}  // namespace
}  // namespace kelvara
