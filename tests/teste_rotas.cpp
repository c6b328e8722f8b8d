// The routes beyond the mainland polynomials, end to end through the
// command: the island sets, the user's parameter files ("Qualquer"), and
// which projection file each target gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>

#include <shapefil.h>

#include "apoio.h"
#include "conversao.h"
#include "ficheiros_grelha.h"
#include "gera_grelha.h"
#include "grelha.h"
#include "ilhas.h"
#include "polinomio.h"
#include "rotas.h"

namespace kelvara {
namespace {

using namespace teste;

TEST(rotas, ilhas_convertem_com_o_ficheiro_de_projeccao_do_destino)
{
  struct caso {
    const char* s1;
    const char* s2;
    const coeficientes_ilha& c;
  };
  const caso casos[] = {
      {"Açores - G.Oriental - UTM 26 S. Bráz", "UTM 26 ITRF93", conjunto_54},
      {"Açores - Faial - UTM 26 Base SW", "UTM 26 ITRF93", conjunto_64},
      {"Açores - Graciosa - UTM 26 Base SW", "UTM 26 ITRF93", conjunto_74},
      {"Açores - Pico - UTM 26 Base SW", "UTM 26 ITRF93", conjunto_84},
      {"Açores - São Jorge - UTM 26 Base SW", "UTM 26 ITRF93", conjunto_94},
      {"Açores - Terceira - UTM 26 Base SW", "UTM 26 ITRF93", conjunto_104},
      {"Açores - G.Ocidental - UTM 25 Observatório", "UTM 25 ITRF93", conjunto_114},
      {"Madeira - UTM 28 Base SE", "UTM 28 ITRF93", conjunto_124},
  };
  for (const caso& k : casos) {
    SCOPED_TRACE(k.s1);
    ensaio t;
    const area& g = sistema_de(k.s1)->area;  // inside the island group
    pontos(t.p / "a", em_volta((g.x_min + g.x_max) / 2, (g.y_min + g.y_max) / 2));
    grava(t.p / "b.prj", "a projecção que o utilizador lá tinha");
    ASSERT_TRUE(t.ok(k.s1, k.s2, "a.shp", "b.shp")) << t.j.textos().back();
    EXPECT_EQ(t.j.textos(), std::vector<std::string>{"Criado o ficheiro: " + (t.p / "b.shp")});
    // PTRA08 / UTM of the island's zone, in place of the old file.
    EXPECT_EQ(bytes(t.p / "b.prj"), std::string(texto_prj(k.s2)) + "\r\n");
    EXPECT_NE(bytes(t.p / "b.prj").find("PTRA08_UTM_Zone_" + std::string(k.s2).substr(4, 2) + "N"),
              std::string::npos);
    const lido a = le(t.p / "a.shp"), b = le(t.p / "b.shp");
    ASSERT_NO_FATAL_FAILURE(espera_mesmo_resto(a, b));
    for (size_t r = 0; r < a.formas.size(); ++r)
      for (size_t v = 0; v < a.formas[r].x.size(); ++v) {
        const par e = polinomio_ilha(k.c, a.formas[r].x[v], a.formas[r].y[v]);
        EXPECT_EQ(b.formas[r].x[v], e.x);
        EXPECT_EQ(b.formas[r].y[v], e.y);
      }
  }
  // Only from the local datum to ITRF93.
  ensaio t;
  pontos(t.p / "a", em_volta(0, 0));
  EXPECT_FALSE(t.ok("UTM 28 ITRF93", "Madeira - UTM 28 Base SE", "a.shp", "b.shp"));
  EXPECT_EQ(t.j.textos(), std::vector<std::string>{"Definir o Sistema 1 !!"});
}

TEST(rotas, qualquer_com_o_conjunto_oficial_da_o_mesmo_bit_a_bit)
{
  ensaio t;
  pontos(t.p / "a", em_volta(50000, -120000));
  grava(t.p / "px.txt", ficheiro_parametros('X', conjunto_01));
  grava(t.p / "py.txt", ficheiro_parametros('Y', conjunto_01));
  ASSERT_TRUE(t.ok("ETRS89 TM06", "Hayford-Gauss Datum 73", "a.shp", "oficial.shp"));
  grava(t.p / "qualquer.prj", "de um shapefile anterior");  // would label the new one
  ASSERT_TRUE(t.ok("Qualquer", "", "a.shp", "qualquer.shp", t.p / "px.txt", t.p / "py.txt"))
      << t.j.textos().back();
  EXPECT_EQ(registos_shp(t.p / "oficial.shp"), registos_shp(t.p / "qualquer.shp"));
  EXPECT_EQ(le(t.p / "oficial.shp").tuplos, le(t.p / "qualquer.shp").tuplos);
  // No projection file for "Qualquer", whatever the target text says.
  EXPECT_TRUE(fs::exists(t.p / "oficial.prj"));
  EXPECT_FALSE(fs::exists(t.p / "qualquer.prj"));
  // Never checked against a system: an input labelled as another one of
  // the catalogue, where no such system has its points, converts.
  ensaio u;
  pontos(u.p / "a", em_volta(0, 0));
  grava(u.p / "a.prj", texto_prj("UTM 26 ITRF93"));
  grava(u.p / "px.txt", ficheiro_parametros('X', conjunto_01));
  grava(u.p / "py.txt", ficheiro_parametros('Y', conjunto_01));
  ASSERT_TRUE(u.ok("Qualquer", "ETRS89 TM06", "a.shp", "q.shp", u.p / "px.txt", u.p / "py.txt"))
      << u.j.textos().back();
  EXPECT_TRUE(u.j.perguntas.empty());
  EXPECT_FALSE(fs::exists(u.p / "q.prj"));
}

TEST(rotas, texto_de_projeccao_pelo_destino)
{
  EXPECT_EQ(texto_prj("ETRS89 TM06").size(), 434u);
  EXPECT_EQ(texto_prj("Hayford-Gauss Datum 73").size(), 441u);
  EXPECT_EQ(texto_prj("Hayford-Gauss Datum Lisboa-Ponto Central").size(), 440u);
  for (const char* s : {"UTM 26 ITRF93", "UTM 25 ITRF93", "UTM 28 ITRF93"})
    EXPECT_EQ(texto_prj(s).size(), 396u);
  for (const char* s : {"Qualquer", ""}) EXPECT_TRUE(texto_prj(s).empty());
  EXPECT_NE(texto_prj("Hayford-Gauss Datum 73").find("\"False_Northing\",-86.98999999999999]"),
            std::string::npos);

  ensaio t;
  pontos(t.p / "a", em_volta(0, 0));
  ASSERT_TRUE(t.ok("ETRS89 TM06", "Hayford-Gauss Datum 73", "a.shp", "a.b.shp"));
  const std::string prj = bytes(t.p / "a.b.prj");
  EXPECT_EQ(prj.size(), 443u);
  EXPECT_EQ(prj, std::string(texto_prj("Hayford-Gauss Datum 73")) + "\r\n");
}


TEST(rotas, projeccao_no_lugar_de_uma_pasta_nao_publica_nada)
{
  ensaio t;
  pontos(t.p / "a", em_volta(0, 0));
  fs::create_directory(t.p / "b.prj");  // a folder where the file should go
  grava(t.p / "b.shp", "antigo");
  EXPECT_FALSE(t.ok("ETRS89 TM06", "Hayford-Gauss Datum 73", "a.shp", "b.shp"));
  EXPECT_EQ(t.j.textos(), std::vector<std::string>{
                              "Não foi possível pôr o resultado no lugar de \"" + (t.p / "b.shp") +
                              "\": \"" + (t.p / "b.prj") +
                              "\" é uma pasta. O shapefile anterior ficou como estava."});
  EXPECT_EQ(bytes(t.p / "b.shp"), "antigo");
  EXPECT_TRUE(fs::is_directory(t.p / "b.prj"));
  EXPECT_EQ(t.p.ficheiros(), (std::vector<std::string>{"a.dbf", "a.shp", "a.shx", "b.prj", "b.shp"}));
}

// --- Datum Lisboa ------------------------------------------------------

// Grid files in `pasta` for both directions: every node's value is its own
// position moved by (a, b) one way and by (c, d) the other.
void grelhas_de_deslocamento(const std::string& pasta, double a, double b, double c, double d)
{
  fs::create_directories(pasta);
  const auto m = [](double k) { return grelha_de([k](int, int j) { return x_do_no(j) + k; }); };
  const auto p = [](double k) { return grelha_de([k](int i, int) { return y_do_no(i) + k; }); };
  grava(pasta + "/et_lx_m.asc", texto_de(m(a), disposicao::um_por_linha));
  grava(pasta + "/et_lx_p.asc", texto_de(p(b), disposicao::linhas_com_virgulas));
  grava(pasta + "/lx_et_m.asc", texto_de(m(c), disposicao::tudo_numa_linha));
  grava(pasta + "/lx_et_p.asc", texto_de(p(d), disposicao::um_por_linha));
}


TEST(rotas, lisboa_directa_e_em_cadeia)
{
  struct caso {
    std::string s1, s2;
    par (*esperado)(const grelhas& ida, const grelhas& volta, double x, double y);
  };
  // A military grid's route is its central system's after or before the
  // shift of the origin, exactly.
  constexpr double mx = 200000, my = 300000;
  const caso casos[] = {
      {lisboam, etrs,
       [](const grelhas&, const grelhas& g, double x, double y) {
         const par p = *interpola(g, x - mx, y - my);
         return polinomio(conjunto_10, p.x, p.y);
       }},
      {etrs, lisboam,
       [](const grelhas& g, const grelhas&, double x, double y) {
         const par p = polinomio(conjunto_01, x, y), q = *interpola(g, p.x, p.y);
         return par{q.x + mx, q.y + my};
       }},
      {d73m, etrs, [](const grelhas&, const grelhas&, double x, double y) { return polinomio(conjunto_10, x - mx, y - my); }},
      {etrs, d73m,
       [](const grelhas&, const grelhas&, double x, double y) {
         const par p = polinomio(conjunto_01, x, y);
         return par{p.x + mx, p.y + my};
       }},
      {d73m, d73, [](const grelhas&, const grelhas&, double x, double y) { return par{x - mx, y - my}; }},
      {d73, d73m, [](const grelhas&, const grelhas&, double x, double y) { return par{x + mx, y + my}; }},
      {lisboam, lisboa, [](const grelhas&, const grelhas&, double x, double y) { return par{x - mx, y - my}; }},
      {lisboa, lisboam, [](const grelhas&, const grelhas&, double x, double y) { return par{x + mx, y + my}; }},
      {d73, lisboa, [](const grelhas& g, const grelhas&, double x, double y) { return *interpola(g, x, y); }},
      {lisboa, d73, [](const grelhas&, const grelhas& g, double x, double y) { return *interpola(g, x, y); }},
      {etrs, lisboa,
       [](const grelhas& g, const grelhas&, double x, double y) {
         const par p = polinomio(conjunto_01, x, y);
         return *interpola(g, p.x, p.y);
       }},
      {lisboa, etrs,
       [](const grelhas&, const grelhas& g, double x, double y) {
         const par p = *interpola(g, x, y);
         return polinomio(conjunto_10, p.x, p.y);
       }},
  };
  for (const caso& k : casos) {
    SCOPED_TRACE(k.s1 + " -> " + k.s2);
    ensaio t;
    grelhas_de_deslocamento(t.p / "grelhas", 123.456, -78.9, -123.456, 78.9);
    const bool militar = k.s1 == d73m || k.s1 == lisboam;
    pontos(t.p / "a", em_volta(-100000 + (militar ? mx : 0), -150000 + (militar ? my : 0)));
    grava(t.p / "a.cpg", "UTF-8");
    // A table with memo fields, dBase's (.dbt) or FoxPro's (.fpt): its
    // records point into the memo file.
    const bool fox = (&k - casos) % 2;
    const std::string memo = fox ? ".fpt" : ".dbt";
    std::string tabela = bytes(t.p / "a.dbf");
    tabela[0] = fox ? '\xF5' : '\x83';
    grava(t.p / "a.dbf", tabela);
    grava(t.p / ("a" + memo), "memorandos\x1a");
    ASSERT_TRUE(t.ok(k.s1, k.s2, "a.shp", "b.shp")) << t.j.textos().back();
    EXPECT_FALSE(t.j.ocupados.back());
    // No working file is left, the code page and the memo file follow the
    // input through a chain too, the table's version byte is kept, and the
    // projection text is the target's.
    std::vector<std::string> esperados{"a.cpg", "a.dbf", "a.shp", "a.shx", "b.cpg", "b.dbf",
                                       "b.prj", "b.shp", "b.shx", "grelhas", "a" + memo, "b" + memo};
    std::sort(esperados.begin(), esperados.end());
    EXPECT_EQ(t.p.ficheiros(), esperados);
    EXPECT_EQ(bytes(t.p / "b.cpg"), "UTF-8");
    EXPECT_EQ(bytes(t.p / ("b" + memo)), "memorandos\x1a");
    EXPECT_EQ(bytes(t.p / "b.dbf")[0], tabela[0]);
    EXPECT_EQ(bytes(t.p / "b.prj"), std::string(texto_prj(k.s2)) + "\r\n");
    const grelhas ida = le_grelhas(ficheiros_de(sentido::de_73_para_lisboa, t.p / "grelhas"));
    const grelhas volta = le_grelhas(ficheiros_de(sentido::de_lisboa_para_73, t.p / "grelhas"));
    const lido a = le(t.p / "a.shp"), b = le(t.p / "b.shp");
    ASSERT_NO_FATAL_FAILURE(espera_mesmo_resto(a, b));
    for (size_t r = 0; r < a.formas.size(); ++r)
      for (size_t v = 0; v < a.formas[r].x.size(); ++v) {
        const par e = k.esperado(ida, volta, a.formas[r].x[v], a.formas[r].y[v]);
        EXPECT_EQ(b.formas[r].x[v], e.x);
        EXPECT_EQ(b.formas[r].y[v], e.y);
      }
  }
  // A grid that moves by whole metres moves every point by exactly that.
  ensaio t;
  grelhas_de_deslocamento(t.p / "grelhas", 100, -50, 0, 0);
  pontos(t.p / "a", em_volta(12345.5, 67890.25));
  ASSERT_TRUE(t.ok(d73, lisboa, "a.shp", "b.shp"));
  const lido a = le(t.p / "a.shp"), b = le(t.p / "b.shp");
  EXPECT_EQ(b.formas[1].x[0], a.formas[1].x[0] + 100);
  EXPECT_EQ(b.formas[1].y[0], a.formas[1].y[0] - 50);
}

TEST(rotas, lisboa_sem_ficheiros_de_grelha)
{
  for (const auto& [s1, s2, texto] :
       {std::tuple{d73, lisboa, "Os Ficheiros et_lx_m.asc e et_lx_p.asc não existem !!"},
        {etrs, lisboa, "Os Ficheiros et_lx_m.asc e et_lx_p.asc não existem !!"},
        {lisboa, d73, "Os Ficheiros lx_et_m.asc e lx_et_p.asc não existem !!"},
        {lisboa, etrs, "Os Ficheiros lx_et_m.asc e lx_et_p.asc não existem !!"}}) {
    SCOPED_TRACE(s1 + " -> " + s2);
    ensaio t;
    grelhas_de_deslocamento(t.p / "grelhas", 1, 1, 1, 1);
    fs::remove(t.p / "grelhas/et_lx_p.asc");
    fs::remove(t.p / "grelhas/lx_et_m.asc");
    pontos(t.p / "a", em_volta(0, 0));
    const auto antes = t.p.ficheiros();
    EXPECT_FALSE(t.ok(s1, s2, "a.shp", "b.shp"));
    // The sentence, and the folder where the files were looked for.
    const std::string onde = std::string(texto) + "\nProcurados na pasta " + entre_aspas(t.p / "grelhas") + ".";
    EXPECT_EQ(t.j.mensagens, (std::vector<mensagem>{{onde, tipo_mensagem::aviso}}));
    EXPECT_EQ(t.p.ficheiros(), antes);
    EXPECT_FALSE(t.j.fim.fora_da_grelha);
    EXPECT_FALSE(t.j.ocupados.back());
  }
}

TEST(rotas, lisboa_ponto_fora_da_grelha_termina_sem_deixar_ficheiros)
{
  // A quarter metre east of the east limit, with a negative y: the message,
  // the output of this run removed, an older output kept, the window closed.
  // From a military grid, the point is named in the user's coordinates.
  for (const auto& [s1, s2] : {std::pair{d73, lisboa}, {etrs, lisboa}, {lisboam, etrs}}) {
    SCOPED_TRACE(s1 + " -> " + s2);
    const double mx = s1 == lisboam ? 200000 : 0, my = s1 == lisboam ? 300000 : 0;
    ensaio t;
    grelhas_de_deslocamento(t.p / "grelhas", 0, 0, 0, 0);
    shapefile_teste s;
    s.tipo = SHPT_POINT;
    for (double x : {0.0, 185000.25}) {
      forma f;
      f.tipo = SHPT_POINT;
      f.x = {x + mx};
      f.y = {-12345.67 + my};
      s.formas.push_back(f);
    }
    if (s1 == etrs) {
      // Place it where the first step lands it on that same point.
      const par alvo{185000.25, -12345.67};
      par p = alvo;
      for (int i = 0; i < 5; ++i) {
        const par q = polinomio(conjunto_01, p.x, p.y);
        p = {p.x + (alvo.x - q.x), p.y + (alvo.y - q.y)};
      }
      s.formas[1].x = {p.x};
      s.formas[1].y = {p.y};
    }
    escreve(t.p / "a", s);
    grava(t.p / "b.shp", "antigo");
    const auto antes = t.p.ficheiros();
    EXPECT_FALSE(t.ok(s1, s2, "a.shp", "b.shp"));
    ASSERT_EQ(t.j.mensagens.size(), 2u);
    if (s1 == d73) {
      EXPECT_EQ(t.j.mensagens[0].texto, "ERRO!! Ponto para além dos limites. ( 185000.25;-12345.67)");
    } else if (s1 == lisboam) {
      EXPECT_EQ(t.j.mensagens[0].texto, "ERRO!! Ponto para além dos limites. ( 385000.25; 287654.33)");
    } else {
      EXPECT_EQ(t.j.mensagens[0].texto.rfind("ERRO!! Ponto para além dos limites. ( 185000.2", 0), 0u)
          << t.j.mensagens[0].texto;
    }
    EXPECT_EQ(t.j.mensagens[0].tipo, tipo_mensagem::aviso);
    EXPECT_EQ(t.j.mensagens[1], (mensagem{"No shapefile \"" + (t.p / "a.shp") + "\", registo 2.",
                                          tipo_mensagem::nota}));
    EXPECT_TRUE(t.j.fim.fora_da_grelha);
    EXPECT_EQ(t.p.ficheiros(), antes);
    EXPECT_EQ(bytes(t.p / "b.shp"), "antigo");
  }
}

// Every route that kelvara-cli lists, through kelvara-cli: its output and
// the projection text the listing gives.
TEST(rotas, todas_pela_linha_de_comandos)
{
  pasta_temporaria p;
  grelhas_de_deslocamento(p / "grelhas", 10, 20, -10, -20);
  grava(p / "px.txt", ficheiro_parametros('X', conjunto_01));
  grava(p / "py.txt", ficheiro_parametros('Y', conjunto_01));
  const processo lista = corre_cli({"--lista", "--tsv"});
  ASSERT_EQ(lista.codigo, 0) << lista.erros;
  int n = 0;
  for (size_t a = 0, b; (b = lista.saida.find('\n', a)) != std::string::npos; a = b + 1) {
    std::vector<std::string> campos;
    const std::string linha = lista.saida.substr(a, b - a);
    for (size_t i = 0, j;; i = j + 1) {
      j = linha.find('\t', i);
      campos.push_back(linha.substr(i, j - i));
      if (j == std::string::npos) break;
    }
    if (campos[0] != "rota") continue;
    ASSERT_EQ(campos.size(), 5u) << linha;
    const std::string &s1 = campos[1], &s2 = campos[2], &prj = campos[4];
    SCOPED_TRACE(s1 + " -> " + s2);
    const std::string base = p / ("r" + std::to_string(++n));
    // Inside the source's area: the middle of its box; the test grids'
    // points on the mainland.
    const auto [x0, y0] = dentro_de(s1);
    pontos(base, em_volta(x0, y0));
    const std::string saida = base + "_saida.shp";
    // The systems by a code of their own where they have one; every other
    // route with the projection text of the target's code.
    auto codigo = [](const std::string& nome) {
      if (const sistema* s = sistema_de(nome))
        for (const std::string_view c : s->codigos)
          if (!c.empty() && sistemas_do_codigo(c).size() == 1) return std::string(c);
      return nome;
    };
    const bool epsg = n % 2 == 0;
    std::vector<std::string> args{"-s", codigo(s1), "-t", codigo(s2), "-x", p / "px.txt",
                                   "-y", p / "py.txt", "--grelhas", p / "grelhas",
                                   base + ".shp", saida};
    if (epsg) args.push_back("--prj-epsg");
    const processo x = corre_cli(args);
    EXPECT_EQ(x.codigo, 0) << x.erros;
    EXPECT_EQ(x.saida, "Criado o ficheiro: " + saida + "\n");
    EXPECT_EQ(le(saida).formas.size(), 5u);
    const sistema* alvo = sistema_de(s2);
    const std::string esperado = epsg && alvo && !alvo->prj_epsg.empty() ? std::string(alvo->prj_epsg) : prj;
    if (esperado.empty()) EXPECT_FALSE(fs::exists(caminho(base + "_saida.prj")));
    else EXPECT_EQ(bytes(base + "_saida.prj"), esperado + "\r\n");
    // The output, with its .prj, converts on from its own system.
    if (const std::vector<const rota*> seguintes = destinos_de(s2); alvo && !seguintes.empty()) {
      const processo y = corre_cli({"-s", s2, "-t", std::string(seguintes.front()->sistema2->nome),
                                    "--grelhas", p / "grelhas", saida, base + "_seguinte.shp"});
      EXPECT_EQ(y.codigo, 0) << y.erros;
    }
  }
  EXPECT_GT(n, 0);
}

}  // namespace
}  // namespace kelvara
