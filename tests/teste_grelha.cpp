// The Datum Lisboa grids: reading the files, the file pairs, the coordinate
// function and the message of a rejected vertex.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <sstream>

#include <shapefil.h>

#include "apoio.h"
#include "caminhos.h"
#include "ficheiros_grelha.h"
#include "ficheiros_ntv2.h"
#include "gera_grelha.h"
#include "grelha.h"
#include "rotas.h"

namespace kelvara {
namespace {

using namespace teste;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Values like those of real grids: the node's own coordinates moved by
// some tens of metres, a little differently at every node.
grelhas realistas()
{
  return {grelha_de([](int i, int j) { return x_do_no(j) + 101.234 + 0.0137 * i - 0.0071 * j; }),
          grelha_de([](int i, int j) { return y_do_no(i) - 52.817 + 0.0093 * j; })};
}

// Every node's own x plus a, own y plus b.
grelhas deslocamento(double a, double b)
{
  return {grelha_de([a](int, int j) { return x_do_no(j) + a; }),
          grelha_de([b](int i, int) { return y_do_no(i) + b; })};
}

// A file of 8118 numbers laid out a row per line, `campo` in place of the
// n-th (from 0).
std::string com_campo(int n, const std::string& campo)
{
  std::string t;
  for (int k = 0; k < nos; ++k)
    t += (k == n ? campo : "1.5") + ((k + 1) % colunas ? "," : "\n");
  return t;
}

// Reading grid files

TEST(grelha_leitura, disposicoes_diferentes_dao_a_mesma_grelha)
{
  pasta_temporaria pasta;
  const grelha original = realistas().grelha_m;
  grava((pasta / "um.asc"), texto_de(original, disposicao::um_por_linha));
  // Separators after the 8118th number, and an end-of-file mark.
  grava((pasta / "linhas.asc"), texto_de(original, disposicao::linhas_com_virgulas) + " ,\r\n,\x1a");
  grava((pasta / "uma.asc"), texto_de(original, disposicao::tudo_numa_linha));
  for (const char* nome : {"um.asc", "linhas.asc", "uma.asc"}) {
    const grelha lida = le_grelha((pasta / nome), eixo::m);
    int diferentes = 0;
    for (int i = 1; i <= linhas; ++i)
      for (int j = 1; j <= colunas; ++j) diferentes += lida(i, j) != original(i, j);
    EXPECT_EQ(diferentes, 0) << nome;
  }
}

TEST(grelha_leitura, formas_de_numero_aceites)
{
  // In row 1 of an M grid whose other values are their nodes' x.
  const struct {
    int coluna;
    const char* texto;
    double valor;
  } casos[] = {{1, "-999999", sem_ponto},   {2, "-1.35E+5", -135000},   {3, "-130000.", -130000},
               {4, "-.125e6", -125000},     {5, "-120000.5", -120000.5}, {6, "-1.15e+05", -115000},
               {7, "-0.11E6", -110000},     {29, "+5", 5},              {30, "5000.", 5000}};
  std::string texto;
  for (int n = 0; n < nos; ++n) {
    const int j = n % colunas + 1;
    const auto c = std::find_if(std::begin(casos), std::end(casos), [&](const auto& k) { return n < colunas && k.coluna == j; });
    texto += (c != std::end(casos) ? std::string(c->texto) : numero_exato(x_do_no(j))) + " ";
  }
  pasta_temporaria pasta;
  grava((pasta / "g.asc"), texto);
  const grelha g = le_grelha((pasta / "g.asc"), eixo::m);
  for (const auto& c : casos) EXPECT_EQ(g(1, c.coluna), c.valor) << c.texto;
}

TEST(grelha_leitura, ficheiro_curto_ou_vazio)
{
  pasta_temporaria pasta;
  std::string texto = texto_de(realistas().grelha_p, disposicao::um_por_linha);
  texto.erase(texto.rfind('\n', texto.size() - 2) + 1);  // drop the last number
  const std::string curto = (pasta / "curto.asc"), vazio = (pasta / "vazio.asc");
  grava(curto, texto);
  grava(vazio, " \r\n");
  EXPECT_EQ(falha_de([&] { le_grelha(curto, eixo::p); }),
            "O ficheiro de grelha \"" + curto +
                "\" termina antes do valor 8118 de 8118 (linha 123, coluna 66 da grelha); "
                "são precisos 123 linhas de 66 números.");
  EXPECT_EQ(falha_de([&] { le_grelha(vazio, eixo::p); }),
            "O ficheiro de grelha \"" + vazio +
                "\" termina antes do valor 1 de 8118 (linha 1, coluna 1 da grelha); "
                "são precisos 123 linhas de 66 números.");
}

TEST(grelha_leitura, campo_que_nao_e_numero_diz_onde_esta)
{
  pasta_temporaria pasta;
  const std::string nome = (pasta / "mau.asc");
  const auto le_com = [&](int n, const std::string& campo) {
    grava(nome, com_campo(n, campo));
    return falha_de([&] { le_grelha(nome, eixo::m); });
  };
  // The 71st value is row 2, column 5, on the file's second line.
  EXPECT_EQ(le_com(70, "12.3x"),
            "O ficheiro de grelha \"" + nome +
                "\" tem \"12.3x\", que não é um número, na linha 2 do ficheiro, no lugar do "
                "valor 71 de 8118 (linha 2, coluna 5 da grelha).");
  for (const char* campo : {"abc", "1.2.3", "nan", "inf", "+-3", "--3", "0x10", "1e", "1;2"})
    EXPECT_NE(le_com(70, campo).find("\"" + std::string(campo) + "\", que não é um número"),
              std::string::npos)
        << campo;
  EXPECT_EQ(le_com(8117, "1e999"),
            "O ficheiro de grelha \"" + nome +
                "\" tem o número \"1e999\", fora do alcance representável, na linha 123 do "
                "ficheiro, no lugar do valor 8118 de 8118 (linha 123, coluna 66 da grelha).");
  // Two commas leave an empty field: a value missing, not a separator.
  EXPECT_EQ(le_com(70, "7,"), "O ficheiro de grelha \"" + nome +
                                  "\" tem um campo vazio na linha 2 do ficheiro, no lugar do "
                                  "valor 72 de 8118 (linha 2, coluna 6 da grelha).");
  EXPECT_NE(le_com(0, ",1").find("vazio na linha 1 do ficheiro, no lugar do valor 1 "),
            std::string::npos);
}

TEST(grelha_leitura, disposicao_errada_diz_o_que_esta_mal)
{
  // Rows of `n` values from the node at column 1, row `de` (0: a row north
  // of the grid), `k` rows, each value its node's own coordinate plus 1.
  const auto grade = [](eixo e, int n, int de, int k) {
    std::string t;
    for (int i = de; i < de + k; ++i)
      for (int j = 1; j <= n; ++j)
        t += numero_exato((e == eixo::m ? x_do_no(j) : y_do_no(i)) + 1) + (j < n ? " " : "\n");
    return t;
  };
  const grelhas r = realistas();
  const struct {
    std::string texto;
    eixo e;
    std::string parte;  // of the message, after the file's name
  } casos[] = {
      {texto_de(r.grelha_m, disposicao::linhas_com_virgulas) + "12\n", eixo::m,
       " tem mais do que os 8118 números de uma grelha (123 linhas de 66): depois do último vem "
       "\"12\", na linha 124 do ficheiro."},
      {texto_de(r.grelha_p, disposicao::tudo_numa_linha) + "\x1a fim", eixo::p, "depois do último vem \"fim\""},
      {texto_de(r.grelha_p, disposicao::um_por_linha), eixo::m,
       " não é uma grelha de M: o valor 1 de 8118 (linha 1, coluna 1 da grelha) é 289947.1923, a mais "
       "de 1 km do M do seu nó (-140000), mas perto do seu P: os ficheiros _m e _p estarão trocados."},
      {grade(eixo::m, 67, 1, 123), eixo::m,
       " não é uma grelha de M: o valor 67 de 8118 (linha 2, coluna 1 da grelha) é 190001, a mais de "
       "1 km do M do seu nó (-140000). A grelha tem de ter 123 linhas de 66 números, cada um o M "
       "transformado do ponto do seu nó, ou -999999."},
      {grade(eixo::p, 66, 0, 124), eixo::p,
       " não é uma grelha de P: o valor 1 de 8118 (linha 1, coluna 1 da grelha) é 295001, a mais de 1 "
       "km do P do seu nó (290000)."},
  };
  pasta_temporaria pasta;
  const std::string nome = pasta / "g.asc";
  for (const auto& c : casos) {
    SCOPED_TRACE(c.parte);
    grava(nome, c.texto);
    const std::string m = falha_de([&] { le_grelha(nome, c.e); });
    EXPECT_EQ(m.rfind("O ficheiro de grelha " + entre_aspas(nome), 0), 0u) << m;
    EXPECT_NE(m.find(c.parte), std::string::npos) << m;
  }
}

TEST(grelha_leitura, ficheiro_que_nao_se_le)
{
  pasta_temporaria pasta;
  const std::string falta = (pasta / "nao_existe.asc"), dir = (pasta / "pasta.asc");
  EXPECT_EQ(falha_de([&] { le_grelha(falta, eixo::m); }),
            "Não foi possível abrir o ficheiro de grelha \"" + falta + "\".");
  // A folder under a grid's name opens on some systems but cannot be read.
  std::filesystem::create_directory(dir);
  const std::string m = falha_de([&] { le_grelha(dir, eixo::m); });
  EXPECT_TRUE(m == "Erro ao ler o ficheiro de grelha \"" + dir + "\"." ||
              m == "Não foi possível abrir o ficheiro de grelha \"" + dir + "\".")
      << m;
}

// The file pair of each direction

TEST(grelha_ficheiros, nomes_e_mensagens_de_cada_sentido)
{
  const std::filesystem::path programa = "/opt/kelvara";
  const ficheiros_grelha ida = ficheiros_de(sentido::de_73_para_lisboa, "/opt/kelvara");
  EXPECT_EQ(std::filesystem::path(ida.m), programa / "et_lx_m.asc");
  EXPECT_EQ(std::filesystem::path(ida.p), programa / "et_lx_p.asc");
  EXPECT_EQ(ida.falta, "Os Ficheiros et_lx_m.asc e et_lx_p.asc não existem !!");
  const ficheiros_grelha volta = ficheiros_de(sentido::de_lisboa_para_73, "/opt/kelvara/");
  EXPECT_EQ(std::filesystem::path(volta.m), programa / "lx_et_m.asc");
  EXPECT_EQ(std::filesystem::path(volta.p), programa / "lx_et_p.asc");
  EXPECT_EQ(volta.falta, "Os Ficheiros lx_et_m.asc e lx_et_p.asc não existem !!");
}

TEST(grelha_ficheiros, presenca_e_leitura_do_par)
{
  pasta_temporaria pasta;
  const std::string programa = (pasta / "programa_ção");
  std::filesystem::create_directory(caminho(programa));
  const ficheiros_grelha f = ficheiros_de(sentido::de_lisboa_para_73, programa);
  const grelhas g = realistas();

  // The pair's sentence, and where the files were looked for.
  const std::string falta = f.falta + "\nProcurados na pasta " + entre_aspas(programa) + ".";
  EXPECT_EQ(falha_de([&] { testa_presenca(f); }), falta);
  grava(f.m, texto_de(g.grelha_m, disposicao::um_por_linha));
  EXPECT_EQ(falha_de([&] { testa_presenca(f); }), falta);  // the Y file alone missing
  grava(f.p, texto_de(g.grelha_p, disposicao::linhas_com_virgulas));
  EXPECT_EQ(falha_de([&] { testa_presenca(f); }), "(sem falha)");
  std::filesystem::remove(caminho(f.m));
  EXPECT_EQ(falha_de([&] { testa_presenca(f); }), falta);  // the X file alone missing
  EXPECT_EQ(falha_de([&] { testa_presenca(ficheiros_de(sentido::de_73_para_lisboa, pasta / "nenhuma")); }),
            "Os Ficheiros et_lx_m.asc e et_lx_p.asc não existem !!\nProcurados na pasta \"" +
                (pasta / "nenhuma") + "\".");

  // X file into `grelha_m`, Y file into `grelha_p`.
  grava(f.m, texto_de(g.grelha_m, disposicao::tudo_numa_linha));
  const grelhas lidas = le_grelhas(f);
  EXPECT_EQ(lidas.grelha_m(7, 9), g.grelha_m(7, 9));
  EXPECT_EQ(lidas.grelha_p(7, 9), g.grelha_p(7, 9));
}

// The coordinate function

TEST(grelha_interpolacao, limites_aceites_e_um_pouco_alem_rejeitados)
{
  const grelhas g = deslocamento(-87.25, 113.375);
  for (double x : {limite_oeste, limite_este})
    for (double y : {limite_norte, limite_sul}) EXPECT_TRUE(interpola(g, x, y)) << x << " " << y;
  for (double x : {limite_oeste - 0.25, std::nextafter(limite_oeste, -inf), limite_este + 0.25,
                   std::nextafter(limite_este, inf), nan, inf, -inf})
    EXPECT_FALSE(interpola(g, x, -15000)) << x;
  for (double y : {limite_norte + 0.25, std::nextafter(limite_norte, inf), limite_sul - 0.25,
                   std::nextafter(limite_sul, -inf), nan, inf, -inf})
    EXPECT_FALSE(interpola(g, 20000, y)) << y;
}

TEST(grelha_interpolacao, cada_no_da_os_seus_valores)
{
  // On a node the vertex takes the north-west corner of its cell; on the
  // east and south limits, a corner of the last cell. Nanometres cover the
  // rounding of the written form at coordinates of some 10⁵ m.
  const grelhas g = realistas();
  for (int i = 1; i <= linhas; ++i)
    for (int j = 1; j <= colunas; ++j) {
      const auto r = interpola(g, x_do_no(j), y_do_no(i));
      ASSERT_TRUE(r) << i << " " << j;
      EXPECT_NEAR(r->x, g.grelha_m(i, j), 1e-9) << i << " " << j;
      EXPECT_NEAR(r->y, g.grelha_p(i, j), 1e-9) << i << " " << j;
    }
}

TEST(grelha_interpolacao, limites_este_e_sul_usam_a_ultima_celula)
{
  // On the east limit the vertex is the last cell's north-east corner: no
  // arithmetic touches the node's value.
  const grelhas g = realistas();
  for (int i = 1; i < linhas; ++i) {
    const auto r = interpola(g, limite_este, y_do_no(i));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->x, g.grelha_m(i, colunas));
    EXPECT_EQ(r->y, g.grelha_p(i, colunas));
  }
  // Along the edges, halfway between two nodes.
  const grelhas d = deslocamento(-87.25, 113.375);
  EXPECT_EQ(interpola(d, limite_este, y_do_no(40) - 2500)->y, y_do_no(40) - 2500 + 113.375);
  EXPECT_EQ(interpola(d, x_do_no(30) + 2500, limite_sul)->x, x_do_no(30) + 2500 - 87.25);
  EXPECT_EQ(interpola(d, x_do_no(30) + 2500, limite_sul)->y, limite_sul + 113.375);
  // The last cell decides: a marker on its west column or its north row
  // rejects vertices on the east or the south limit.
  grelhas ultima = deslocamento(0, 0);
  ultima.grelha_p(40, colunas - 1) = sem_ponto;
  ultima.grelha_p(linhas - 1, 30) = sem_ponto;
  EXPECT_FALSE(interpola(ultima, limite_este, y_do_no(40) - 2500));
  EXPECT_FALSE(interpola(ultima, x_do_no(30) + 2500, limite_sul));
  EXPECT_TRUE(interpola(ultima, limite_este, y_do_no(41) - 2500));
  EXPECT_TRUE(interpola(ultima, x_do_no(31) + 2500, limite_sul));
}

TEST(grelha_interpolacao, deslocamento_constante_e_exacto)
{
  const double a = -87.25, b = 113.375;
  const grelhas g = deslocamento(a, b);
  int errados = 0;
  std::string primeiro;
  const auto verifica = [&](double x, double y) {
    const auto r = interpola(g, x, y);
    if (!(r && r->x == x + a && r->y == y + b) && !errados++)
      primeiro = formato_geral(x) + ";" + formato_geral(y);
  };
  for (double x = limite_oeste; x <= limite_este; x += 1000.125) {
    for (double y = limite_norte; y >= limite_sul; y -= 1000.375) verifica(x, y);
    verifica(x, limite_sul);
  }
  for (double y = limite_norte; y >= limite_sul; y -= 1000.375) verifica(limite_este, y);
  verifica(limite_este, limite_sul);
  EXPECT_EQ(errados, 0) << "primeiro: " << primeiro;
}

TEST(grelha_interpolacao, bilinear_dentro_da_celula)
{
  grelhas g = deslocamento(0, 0);
  const auto celula_1_1 = [&g](double NW, double SW, double NE, double SE) {
    g.grelha_m(1, 1) = NW;
    g.grelha_m(2, 1) = SW;
    g.grelha_m(1, 2) = NE;
    g.grelha_m(2, 2) = SE;
  };
  celula_1_1(100, 300, 200, 1000);
  EXPECT_EQ(interpola(g, -137500, 287500)->x, 400);  // centre: mean of the corners
  EXPECT_EQ(interpola(g, -136250, 288750)->x,  // a quarter of the way from NE
            0.5625 * 200 + 0.1875 * 100 + 0.1875 * 1000 + 0.0625 * 300);

  // Cases where the written order of the sums and products shows in the
  // result; exact bilinear interpolation would give the value in brackets.
  // cxy: SE·(-1) + SW comes first and loses the 1 of SW [-999999999999.0001].
  celula_1_1(-1e16, 1, 0, 1e16);
  EXPECT_EQ(interpola(g, limite_oeste, 285000.5)->x, -1e12);
  // r: the first term, 0.375, is lost in dx·cx = 1e16 before dy·cy takes
  // that away again and G(NE) comes last [0].
  celula_1_1(1e16, -1e16, 0.75, -2e16);
  EXPECT_EQ(interpola(g, limite_oeste, 287500)->x, 0.75);
  // The product (dx·cxy)·dy; dx·(cxy·dy) ends one bit higher [0.00169609].
  celula_1_1(0, 1, 0, 0);
  EXPECT_EQ(interpola(g, -139988.5, 289991.5)->x, 0.0016960899999999999);
}

TEST(grelha_interpolacao, marcador_rejeita_as_quatro_celulas_do_no)
{
  struct caso {
    int i, j;        // the cell, or the node when no_no
    bool no_no;      // the vertex on the node itself, else at the cell's centre
    bool rejeitado;
  };
  // Marker at node (10, 20).
  const caso casos[] = {
      {10, 20, false, true},  {9, 20, false, true},   {10, 19, false, true},
      {9, 19, false, true},   {11, 20, false, false}, {10, 21, false, false},
      {8, 20, false, false},  {10, 18, false, false}, {9, 21, false, false},
      {10, 20, true, true},   {9, 20, true, true},    {10, 19, true, true},
      {9, 19, true, true},    {10, 21, true, false},  {11, 20, true, false},
      {11, 21, true, false},
  };
  for (bool em_m : {true, false}) {
    grelhas g = deslocamento(0, 0);
    (em_m ? g.grelha_m : g.grelha_p)(10, 20) = sem_ponto;
    for (const caso& c : casos) {
      const double meio = c.no_no ? 0 : 2500;
      EXPECT_EQ(!interpola(g, x_do_no(c.j) + meio, y_do_no(c.i) - meio), c.rejeitado)
          << (em_m ? "grelha_m " : "grelha_p ") << c.i << " " << c.j << (c.no_no ? " nó" : "");
    }
  }
}

// The message of a rejected vertex

TEST(grelha_rejeicao, mensagem_do_ponto_rejeitado)
{
  // A quarter of a metre east of the east limit, with a negative y.
  EXPECT_FALSE(interpola(deslocamento(0, 0), 185000.25, -12345.67));
  EXPECT_STREQ(fora_da_grelha(185000.25, -12345.67).what(),
               "ERRO!! Ponto para além dos limites. ( 185000.25;-12345.67)");
  // A marker in one grid only, well inside the limits.
  grelhas marcada = deslocamento(0, 0);
  marcada.grelha_p(39, 27) = sem_ponto;  // beside the cell (39, 28)
  EXPECT_TRUE(interpola(marcada, -2500.5, 100000));
  marcada.grelha_p(40, 29) = sem_ponto;  // its south-east corner
  EXPECT_FALSE(interpola(marcada, -2500.5, 100000));
  EXPECT_STREQ(fora_da_grelha(-2500.5, 100000).what(),
               "ERRO!! Ponto para além dos limites. (-2500.5; 100000)");
}

TEST(grelha_rejeicao, formato_geral_dos_numeros)
{
  const std::pair<double, const char*> casos[] = {
      {0.0, " 0"},
      {-0.0, " 0"},
      {-1, "-1"},
      {185000.25, " 185000.25"},
      {-320000, "-320000"},
      {0.25, " 0.25"},
      {-0.5, "-0.5"},
      {0.1 + 0.2, " 0.3"},
      {2.0 / 3, " 0.666666666666667"},
      {-123456.789012345678, "-123456.789012346"},
      {999999999999999.0, " 999999999999999"},
      {999999999999999.9, " 1E+15"},  // rounding carries into the exponent
      {1234567890123456.0, " 1.23456789012346E+15"},
      {0.0001, " 0.0001"},
      {0.00001, " 1E-05"},
      {-1.5e-7, "-1.5E-07"},
      {DBL_MAX, " 1.79769313486232E+308"},
      {std::numeric_limits<double>::denorm_min(), " 4.94065645841247E-324"},
      {inf, " Inf"},
      {-inf, "-Inf"},
      {nan, " NaN"},
  };
  for (const auto& [valor, texto] : casos) EXPECT_EQ(formato_geral(valor), texto) << texto;
}

// The bundled grid files (grelhas/), made from DGT's grids by grelhas/gera.sh

// PROJ's steps from one Hayford-Gauss plane to the other through ETRS89,
// with DGT's grids; Datum 73 has the central point's false origin.
std::string pipeline_proj(sentido s)
{
  const std::string hg =
      "+proj=tmerc +lat_0=39.6666666666667 +lon_0=-8.13190611111111 +k=1 +ellps=intl";
  const std::string p73 = hg + " +x_0=180.598 +y_0=-86.99", plx = hg + " +x_0=0 +y_0=0";
  const std::string g73 = "+proj=hgridshift +grids=pt_dgt_D73_ETRS89_geo.tif";
  const std::string glx = "+proj=hgridshift +grids=pt_dgt_DLx_ETRS89_geo.tif";
  return s == sentido::de_73_para_lisboa
             ? "+proj=pipeline +step +inv " + p73 + " +step " + g73 + " +step +inv " + glx +
                   " +step " + plx
             : "+proj=pipeline +step +inv " + plx + " +step " + glx + " +step +inv " + g73 +
                   " +step " + p73;
}

TEST(grelha_ficheiros, nos_dos_ficheiros_conferem_com_o_proj)
{
  const std::string dgt = std::string(KELVARA_GRELHAS) + "/dgt";
  if (corre({"cct", "--version"}).codigo != 0)
    GTEST_SKIP() << "sem o cct do PROJ (proj-bin): teste saltado";
  if (!fs::exists(dgt + "/pt_dgt_D73_ETRS89_geo.tif") ||
      !fs::exists(dgt + "/pt_dgt_DLx_ETRS89_geo.tif"))
    GTEST_SKIP() << "sem as grelhas da DGT em " << dgt << ": teste saltado";
  // The corners (row order, column order) and some nodes inside.
  const std::pair<int, int> nos_vistos[] = {{1, 1},   {1, 66},  {123, 1}, {123, 66},
                                            {57, 29}, {80, 12}, {20, 50}};
  for (sentido s : {sentido::de_73_para_lisboa, sentido::de_lisboa_para_73}) {
    const ficheiros_grelha f = ficheiros_de(s, KELVARA_GRELHAS);
    SCOPED_TRACE(f.m);
    const grelhas g = le_grelhas(f);
    std::string entrada;
    for (const auto& [i, j] : nos_vistos)
      entrada += numero_exato(x_do_no(j)) + " " + numero_exato(y_do_no(i)) + " 0 0\n";
    opcoes_processo o;
    o.entrada = entrada;
    o.ambiente = {{"PROJ_DATA", dgt}, {"PROJ_NETWORK", "OFF"}};
    std::vector<std::string> cct{"cct", "-d", "6"};
    std::istringstream passos(pipeline_proj(s));
    for (std::string a; passos >> a;) cct.push_back(a);
    const processo r = corre(cct, o);
    ASSERT_EQ(r.codigo, 0) << r.erros;
    std::istringstream saida(r.saida);
    for (const auto& [i, j] : nos_vistos) {
      double m = 0, p = 0, z, t;
      ASSERT_TRUE(saida >> m >> p >> z >> t) << r.saida;
      EXPECT_NEAR(g.grelha_m(i, j), m, 0.0001) << "linha " << i << ", coluna " << j;
      EXPECT_NEAR(g.grelha_p(i, j), p, 0.0001) << "linha " << i << ", coluna " << j;
    }
  }
}

TEST(grelha_ficheiros, programa_compilado_encontra_os_ficheiros_na_sua_pasta)
{
  pasta_temporaria p;
  const std::vector<par> pontos{{-87123.4, -106456.7},
                                {-43210.9, 165432.1},
                                {12345.6, -287654.3},
                                {121212.1, 212121.2},
                                {0, 10000}};  // a node
  shapefile_teste s;
  s.tipo = SHPT_ARC;
  s.campos = {{"ID", 'N', 4, 0}};
  forma f;
  f.tipo = SHPT_ARC;
  f.inicios = {0};
  for (const par& q : pontos) {
    f.x.push_back(q.x);
    f.y.push_back(q.y);
  }
  s.formas = {f};
  s.valores = {{"1"}};
  escreve(p / "d73", s);
  // Datum 73 to Datum Lisboa, then the result back, with no --grelhas: the
  // files beside the program, each vertex as the bundled files give it.
  const struct {
    std::string s1, s2, entrada, saida;
    sentido grelhas_usadas;
  } passos[] = {{d73, lisboa, "d73.shp", "lisboa.shp", sentido::de_73_para_lisboa},
                {lisboa, d73, "lisboa.shp", "volta.shp", sentido::de_lisboa_para_73}};
  std::vector<par> antes = pontos;
  for (const auto& k : passos) {
    SCOPED_TRACE(k.s1);
    const processo r = corre_cli({"-s", k.s1, "-t", k.s2, p / k.entrada, p / k.saida});
    ASSERT_EQ(r.codigo, 0) << r.erros;
    const grelhas g = le_grelhas(ficheiros_de(k.grelhas_usadas, KELVARA_GRELHAS));
    const lido l = le(p / k.saida);
    ASSERT_EQ(l.formas.size(), 1u);
    ASSERT_EQ(l.formas[0].x.size(), antes.size());
    for (size_t v = 0; v < antes.size(); ++v) {
      const std::optional<par> esperado = interpola(g, antes[v].x, antes[v].y);
      ASSERT_TRUE(esperado);
      EXPECT_TRUE(mesmos_bits(l.formas[0].x[v], esperado->x)) << v;
      EXPECT_TRUE(mesmos_bits(l.formas[0].y[v], esperado->y)) << v;
      antes[v] = {l.formas[0].x[v], l.formas[0].y[v]};
    }
  }
  // The copies beside the program are the bundled files.
  const fs::path pasta_do_programa = fs::path(KELVARA_CLI).parent_path();
  for (const char* nome : {"et_lx_m.asc", "et_lx_p.asc", "lx_et_m.asc", "lx_et_p.asc"})
    EXPECT_TRUE(bytes((pasta_do_programa / nome).string()) ==
                bytes(std::string(KELVARA_GRELHAS) + "/" + nome))
        << nome;
  // The two pairs of files are each other's inverse, to a millimetre.
  for (size_t v = 0; v < pontos.size(); ++v) {
    EXPECT_NEAR(antes[v].x, pontos[v].x, 0.001) << v;
    EXPECT_NEAR(antes[v].y, pontos[v].y, 0.001) << v;
  }
}

}  // namespace
}  // namespace kelvara

namespace kelvara {
namespace {

using namespace teste;

// The "dgt" method against PROJ with DGT's own grids, on every route that
// takes it: a lattice of 81 x 81 points over the source system's area, a
// finer one about Lisbon, and a line across the grids' west edge, where
// some points fall off them. Every point PROJ converts converts to within
// a millimetre of PROJ's; one that PROJ refuses is refused, naming it.
TEST(grelha_dgt, confere_com_o_proj_a_menos_de_um_milimetro)
{
  const std::string dgt = std::string(KELVARA_GRELHAS) + "/dgt";
  if (corre({"cct", "--version"}).codigo != 0)
    GTEST_SKIP() << "sem o cct do PROJ (proj-bin): teste saltado";
  const std::string hg = "+proj=tmerc +lat_0=39.6666666666667 +lon_0=-8.13190611111111 +k=1 +ellps=intl";
  const std::map<std::string, std::pair<std::string, std::string>> proj = {
      // The plane, and DGT's grid to ETRS89.
      {d73, {hg + " +x_0=180.598 +y_0=-86.99", "pt_dgt_D73_ETRS89_geo.tif"}},
      {d73m, {hg + " +x_0=200180.598 +y_0=299913.01", "pt_dgt_D73_ETRS89_geo.tif"}},
      {lisboa, {hg + " +x_0=0 +y_0=0", "pt_dgt_DLx_ETRS89_geo.tif"}},
      {lisboam, {hg + " +x_0=200000 +y_0=300000", "pt_dgt_DLx_ETRS89_geo.tif"}},
      {etrs,
       {"+proj=tmerc +lat_0=39.6682583333333 +lon_0=-8.13310833333333 +k=1 +x_0=0 +y_0=0 +ellps=GRS80",
        ""}}};
  int rotas_vistas = 0;
  double pior = 0;
  for (const rota& oficial : rotas()) {
    const rota* r = rota_de(oficial.sistema1->nome, oficial.sistema2->nome, true);
    if (!r || r->etapas.size() != 1 || r->etapas[0].tipo != tipo_etapa::dgt) continue;
    ++rotas_vistas;
    const std::string s1(r->sistema1->nome), s2(r->sistema2->nome);
    SCOPED_TRACE(s1 + " -> " + s2);
    const area& a = r->sistema1->area;
    const double mx = s1 == d73m || s1 == lisboam ? 200000 : 0, my = mx ? 300000 : 0;
    std::vector<par> xy;
    for (int i = 0; i <= 80; ++i)
      for (int j = 0; j <= 80; ++j)
        xy.push_back({a.x_min + (a.x_max - a.x_min) * i / 80, a.y_min + (a.y_max - a.y_min) * j / 80});
    for (int i = 0; i < 20; ++i)
      for (int j = 0; j < 20; ++j)
        xy.push_back({-92000 + 400.25 * i + mx, -108000 + 350.5 * j + my});
    for (int i = 0; i < 40; ++i) xy.push_back({-157000 + 250.0 * i + mx, 10000 + my});

    // PROJ's answers, by the point's number.
    std::string entrada;
    for (size_t k = 0; k < xy.size(); ++k)
      entrada += numero_exato(xy[k].x) + " " + numero_exato(xy[k].y) + " 0 0 " + std::to_string(k) + "\n";
    std::string linha = "+proj=pipeline +step +inv " + proj.at(s1).first;
    if (!proj.at(s1).second.empty()) linha += " +step +proj=hgridshift +grids=" + proj.at(s1).second;
    if (!proj.at(s2).second.empty()) linha += " +step +inv +proj=hgridshift +grids=" + proj.at(s2).second;
    linha += " +step " + proj.at(s2).first;
    opcoes_processo o;
    o.entrada = entrada;
    o.ambiente = {{"PROJ_DATA", dgt + ":/usr/share/proj"}, {"PROJ_NETWORK", "OFF"}};
    std::vector<std::string> cct{"cct", "-d", "9"};
    std::istringstream passos(linha);
    for (std::string p; passos >> p;) cct.push_back(p);
    const processo pr = corre(cct, o);
    ASSERT_EQ(pr.codigo, 0) << pr.erros;
    std::map<size_t, par> esperado;
    std::istringstream saida(pr.saida);
    for (std::string l; std::getline(saida, l);) {
      std::istringstream c(l);
      double x, y, z, t;
      size_t k;
      if (c >> x >> y >> z >> t >> k) esperado[k] = {x, y};
    }
    std::vector<par> dentro, fora;
    std::vector<par> proj_dentro;
    for (size_t k = 0; k < xy.size(); ++k) {
      if (esperado.count(k)) {
        dentro.push_back(xy[k]);
        proj_dentro.push_back(esperado[k]);
      } else {
        fora.push_back(xy[k]);
      }
    }
    ASSERT_GT(dentro.size(), 5000u);
    ASSERT_FALSE(fora.empty());  // the line across the west edge

    pasta_temporaria p;
    std::vector<std::pair<double, double>> pts;
    for (const par& q : dentro) pts.emplace_back(q.x, q.y);
    pontos(p / "a", pts);
    janela_teste j;
    pedido pd{s1, s2, p / "a.shp", p / "b.shp", "", "", KELVARA_GRELHAS, true};
    pd.metodo = metodo::dgt;
    j.fim = converte(pd, j);
    ASSERT_EQ(j.fim.como, desfecho::criado) << (j.fim.mensagens.empty() ? "" : j.fim.mensagens[0].texto);
    EXPECT_EQ(bytes(p / "b.prj"), std::string(r->prj) + "\r\n");
    const lido b = le(p / "b.shp");
    ASSERT_EQ(b.formas.size(), dentro.size());
    for (size_t k = 0; k < dentro.size(); ++k) {
      const double d = std::hypot(b.formas[k].x[0] - proj_dentro[k].x, b.formas[k].y[0] - proj_dentro[k].y);
      pior = std::max(pior, d);
      EXPECT_LT(d, 0.001) << dentro[k].x << " " << dentro[k].y;
    }
    // A point off the grids: refused, naming it.
    pontos(p / "c", {{fora[0].x, fora[0].y}});
    pd.entrada = p / "c.shp";
    pd.saida = p / "d.shp";
    j.fim = converte(pd, j);
    EXPECT_EQ(j.fim.como, desfecho::falhou);
    ASSERT_FALSE(j.fim.mensagens.empty());
    EXPECT_NE(j.fim.mensagens[0].texto.find("O vértice 1 do registo 1 de"), std::string::npos);
    EXPECT_NE(j.fim.mensagens[0].texto.find("está fora das grelhas NTv2 da DGT"), std::string::npos)
        << j.fim.mensagens[0].texto;
  }
  EXPECT_EQ(rotas_vistas, 10);
  std::cerr << "maior distância ao PROJ: " << pior * 1000 << " mm\n";
}

// A grid file of DGT's that is missing, damaged or of another layout is
// refused, naming it; the one kept beside the sources reads.
TEST(grelha_dgt, ficheiro_estragado_e_recusado)
{
  const std::string boa = bytes(ficheiro_ntv2(datum::d73, KELVARA_GRELHAS));
  const grelha_ntv2 g = le_ntv2(ficheiro_ntv2(datum::d73, KELVARA_GRELHAS));
  EXPECT_EQ(g.colunas, 210);
  EXPECT_EQ(g.linhas, 281);
  auto muda = [&](size_t pos, const std::string& b) {
    std::string t = boa;
    t.replace(pos, b.size(), b);
    return t;
  };
  const float enorme = 1e9f;
  const std::pair<std::string, std::string> casos[] = {
      {boa.substr(0, 40), "não começa pelo cabeçalho"},
      {muda(0, "KELVARA"), "não começa pelo cabeçalho"},
      {boa.substr(0, boa.size() - 8), "tem 472136 bytes, e não os 472144 que o cabeçalho diz"},
      {boa + "x", "tem 472145 bytes"},
      {muda(16, std::string("\x01\0\0\0", 4)), "o número de colunas ou de linhas"},
      {muda(40, std::string(8, '\0')), "a extensão ou o espaçamento"},
      {muda(64 + 8 * 500, std::string(reinterpret_cast<const char*>(&enorme), 4)), "o desvio do nó 501"},
  };
  pasta_temporaria p;
  const std::string nome = p / "dgt_d73_etrs89.ntv";
  for (const auto& [texto, parte] : casos) {
    SCOPED_TRACE(parte);
    grava(nome, texto);
    const std::string m = falha_de([&] { le_ntv2(nome); });
    EXPECT_EQ(m.rfind("O ficheiro de grelha da DGT " + entre_aspas(nome) + " não pode ser usado: ", 0), 0u) << m;
    EXPECT_NE(m.find(parte), std::string::npos) << m;
  }
  EXPECT_EQ(falha_de([&] { le_ntv2(p / "nenhum.ntv"); }),
            "O ficheiro de grelha da DGT " + entre_aspas(p / "nenhum.ntv") + " não existe.");
}

}  // namespace
}  // namespace kelvara
