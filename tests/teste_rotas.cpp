// The routes beyond the mainland polynomials, end to end through the
// command: the island sets, the user's parameter files ("Qualquer"), and
// which projection file each target gets.
#include <gtest/gtest.h>

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

// Points around (x0, y0), a null record among them.
void pontos(const std::string& base, double x0, double y0)
{
  shapefile_teste s;
  s.tipo = SHPT_POINTZ;
  s.campos = {{"ID", 'N', 4, 0}};
  for (int k = 0; k < 5; ++k) {
    forma f;
    f.tipo = SHPT_POINTZ;
    f.x = {x0 + 1234.5 * k};
    f.y = {y0 - 987.25 * k};
    f.z = {10.0 * k};
    f.m = {-1.0 * k};
    f.com_m = true;
    s.formas.push_back(k == 2 ? forma{} : f);
    s.valores.push_back({std::to_string(k + 1)});
  }
  escreve(base, s);
}

struct ensaio {
  pasta_temporaria p;
  janela_teste j;
  bool ok(const std::string& s1, const std::string& s2, const std::string& t1, const std::string& t2,
          const std::string& t3 = "", const std::string& t4 = "")
  {
    return converte(j, s1, s2, p / t1, p / t2, t3, t4, p / "grelhas");
  }
};

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
    pontos(t.p / "a", (g.x_min + g.x_max) / 2, (g.y_min + g.y_max) / 2);
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
  pontos(t.p / "a", 0, 0);
  EXPECT_FALSE(t.ok("UTM 28 ITRF93", "Madeira - UTM 28 Base SE", "a.shp", "b.shp"));
  EXPECT_EQ(t.j.textos(), std::vector<std::string>{"Definir o Sistema 1 !!"});
}

TEST(rotas, qualquer_com_o_conjunto_oficial_da_o_mesmo_bit_a_bit)
{
  ensaio t;
  pontos(t.p / "a", 50000, -120000);
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
  ensaio u;
  pontos(u.p / "a", 0, 0);
  grava(u.p / "px.txt", ficheiro_parametros('X', conjunto_01));
  grava(u.p / "py.txt", ficheiro_parametros('Y', conjunto_01));
  ASSERT_TRUE(u.ok("Qualquer", "ETRS89 TM06", "a.shp", "q.shp", u.p / "px.txt", u.p / "py.txt"));
  EXPECT_FALSE(fs::exists(u.p / "q.prj"));
}

TEST(rotas, qualquer_identidade_e_deslocamento)
{
  const coeficientes identidade{0, 0, 1, 1, 0, 0, {0, 1, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0}};
  coeficientes deslocamento = identidade;
  deslocamento.A[0] = 100;
  deslocamento.B[0] = -50;
  for (const auto& [c, dx, dy] : {std::tuple{identidade, 0.0, 0.0}, {deslocamento, 100.0, -50.0}}) {
    ensaio t;
    pontos(t.p / "a", -1e5, 2.5e5);
    grava(t.p / "px.txt", ficheiro_parametros('x', c));
    grava(t.p / "py.txt", ficheiro_parametros('y', c));
    ASSERT_TRUE(t.ok("Qualquer", "", "a.shp", "b.shp", t.p / "px.txt", t.p / "py.txt"));
    const lido a = le(t.p / "a.shp"), b = le(t.p / "b.shp");
    for (size_t r = 0; r < a.formas.size(); ++r)
      for (size_t v = 0; v < a.formas[r].x.size(); ++v) {
        EXPECT_EQ(b.formas[r].x[v], a.formas[r].x[v] + dx);
        EXPECT_EQ(b.formas[r].y[v], a.formas[r].y[v] + dy);
      }
  }
}

TEST(rotas, qualquer_com_letra_errada_para_sem_ficheiros)
{
  const coeficientes c = conjunto_10;
  struct caso {
    char letra_x, letra_y;
    bool mesmo;
    const char* esperada;
  };
  for (const caso& k : {caso{'Y', 'X', false, "Erro! Esperado 'X' no ficheiro de parâmetros -X"},
                        caso{'X', 'X', false, "Erro! Esperado 'Y' no ficheiro de parâmetros -Y"},
                        caso{'X', 'Y', true, "Erro! Esperado 'Y' no ficheiro de parâmetros -Y"},
                        caso{'Y', 'Y', true, "Erro! Esperado 'X' no ficheiro de parâmetros -X"}}) {
    ensaio t;
    pontos(t.p / "a", 0, 0);
    grava(t.p / "px.txt", ficheiro_parametros(k.letra_x, c));
    grava(t.p / "py.txt", ficheiro_parametros(k.letra_y, c));
    const auto antes = t.p.ficheiros();
    const std::string y = k.mesmo ? t.p / "px.txt" : t.p / "py.txt";
    EXPECT_FALSE(t.ok("Qualquer", "", "a.shp", "b.shp", t.p / "px.txt", y));
    EXPECT_EQ(t.j.mensagens, (std::vector<mensagem>{{k.esperada, tipo_mensagem::parametros}}));
    EXPECT_EQ(t.p.ficheiros(), antes);
    EXPECT_FALSE(t.j.ocupados.back());
  }
}

TEST(rotas, qualquer_com_ficheiro_de_parametros_mau_e_falha_clara)
{
  ensaio t;
  pontos(t.p / "a", 0, 0);
  coeficientes zero = conjunto_10;
  zero.ky = 0;
  grava(t.p / "px.txt", ficheiro_parametros('X', conjunto_10));
  grava(t.p / "py.txt", ficheiro_parametros('Y', zero));
  const auto antes = t.p.ficheiros();
  EXPECT_FALSE(t.ok("Qualquer", "", "a.shp", "b.shp", t.p / "px.txt", t.p / "py.txt"));
  ASSERT_EQ(t.j.mensagens.size(), 1u);
  EXPECT_NE(t.j.mensagens[0].texto.find(t.p / "py.txt"), std::string::npos) << t.j.mensagens[0].texto;
  EXPECT_EQ(t.p.ficheiros(), antes);
  EXPECT_FALSE(t.ok("Qualquer", "", "a.shp", "b.shp", t.p / "nao_existe.txt", t.p / "py.txt"));
  EXPECT_NE(t.j.mensagens.back().texto.find("nao_existe.txt"), std::string::npos);
  EXPECT_EQ(t.p.ficheiros(), antes);
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
  pontos(t.p / "a", 0, 0);
  ASSERT_TRUE(t.ok("ETRS89 TM06", "Hayford-Gauss Datum 73", "a.shp", "a.b.shp"));
  const std::string prj = bytes(t.p / "a.b.prj");
  EXPECT_EQ(prj.size(), 443u);
  EXPECT_EQ(prj, std::string(texto_prj("Hayford-Gauss Datum 73")) + "\r\n");
}


TEST(rotas, projeccao_no_lugar_de_uma_pasta_nao_publica_nada)
{
  ensaio t;
  pontos(t.p / "a", 0, 0);
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
  const caso casos[] = {
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
    pontos(t.p / "a", -100000, -150000);
    grava(t.p / "a.cpg", "UTF-8");
    ASSERT_TRUE(t.ok(k.s1, k.s2, "a.shp", "b.shp")) << t.j.textos().back();
    EXPECT_FALSE(t.j.ocupados.back());
    // No working file is left, the code page follows the input through a
    // chain too, and the projection text is the target's.
    EXPECT_EQ(t.p.ficheiros(), (std::vector<std::string>{"a.cpg", "a.dbf", "a.shp", "a.shx", "b.cpg",
                                                         "b.dbf", "b.prj", "b.shp", "b.shx", "grelhas"}));
    EXPECT_EQ(bytes(t.p / "b.cpg"), "UTF-8");
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
  pontos(t.p / "a", 12345.5, 67890.25);
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
    pontos(t.p / "a", 0, 0);
    const auto antes = t.p.ficheiros();
    EXPECT_FALSE(t.ok(s1, s2, "a.shp", "b.shp"));
    EXPECT_EQ(t.j.mensagens, (std::vector<mensagem>{{texto, tipo_mensagem::aviso}}));
    EXPECT_EQ(t.p.ficheiros(), antes);
    EXPECT_FALSE(t.j.fim.fora_da_grelha);
    EXPECT_FALSE(t.j.ocupados.back());
  }
}

TEST(rotas, lisboa_ponto_fora_da_grelha_termina_sem_deixar_ficheiros)
{
  // A quarter metre east of the east limit, with a negative y: the message,
  // the output of this run removed, an older output kept, the window closed.
  for (const auto& [s1, s2] : {std::pair{d73, lisboa}, {etrs, lisboa}}) {
    SCOPED_TRACE(s1 + " -> " + s2);
    ensaio t;
    grelhas_de_deslocamento(t.p / "grelhas", 0, 0, 0, 0);
    shapefile_teste s;
    s.tipo = SHPT_POINT;
    for (double x : {0.0, 185000.25}) {
      forma f;
      f.tipo = SHPT_POINT;
      f.x = {x};
      f.y = {-12345.67};
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

TEST(rotas, lisboa_com_grelha_curta_e_falha_clara)
{
  ensaio t;
  grelhas_de_deslocamento(t.p / "grelhas", 0, 0, 0, 0);
  grava(t.p / "grelhas/et_lx_p.asc", "1, 2, 3\n");
  pontos(t.p / "a", 0, 0);
  const auto antes = t.p.ficheiros();
  EXPECT_FALSE(t.ok(d73, lisboa, "a.shp", "b.shp"));
  ASSERT_EQ(t.j.mensagens.size(), 1u);
  EXPECT_NE(t.j.mensagens[0].texto.find("et_lx_p.asc"), std::string::npos) << t.j.mensagens[0].texto;
  EXPECT_EQ(t.p.ficheiros(), antes);
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
    const area& z = sistema_de(s1)->area;
    if (z.margem == 10000) pontos(base, (z.x_min + z.x_max) / 2, (z.y_min + z.y_max) / 2);
    else pontos(base, 1000, -2000);
    const std::string saida = base + "_saida.shp";
    const processo x = corre_cli({"-s", s1, "-t", s2, "-x", p / "px.txt", "-y", p / "py.txt",
                                  "--grelhas", p / "grelhas", base + ".shp", saida});
    EXPECT_EQ(x.codigo, 0) << x.erros;
    EXPECT_EQ(x.saida, "Criado o ficheiro: " + saida + "\n");
    EXPECT_EQ(le(saida).formas.size(), 5u);
    if (prj.empty()) EXPECT_FALSE(fs::exists(caminho(base + "_saida.prj")));
    else EXPECT_EQ(bytes(base + "_saida.prj"), prj + "\r\n");
  }
  EXPECT_GT(n, 0);
}

}  // namespace
}  // namespace kelvara
