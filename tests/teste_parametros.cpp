// The "Qualquer" parameter files: field splitting, axis letters, faults, and
// the user's polynomial against the built-in mainland sets.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "apoio.h"
#include "falha.h"
#include "ficheiros_parametros.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;

// Each test writes its parameter files into a folder of its own; paths are
// UTF-8 with accents, as a user's would be.
class com_pasta : public ::testing::Test {
 protected:
  std::string caminho(const std::string& nome) const { return pasta / nome; }
  std::string escreve(const std::string& nome, const std::string& texto) const
  {
    teste::grava(caminho(nome), texto);
    return caminho(nome);
  }
  teste::pasta_temporaria pasta;
};

using parametros_campos = com_pasta;
using parametros_letras = com_pasta;
using parametros_exemplos = com_pasta;
using parametros_falhas = com_pasta;

// Fields 1 to 15, with `campo` (1-based) replaced when given.
std::string junta(std::vector<std::string> campos, int campo = 0, const std::string& valor = "")
{
  if (campo > 0) campos.at(campo - 1) = valor;
  std::string s;
  for (const std::string& c : campos) s += (s.empty() ? "" : ", ") + c;
  return s + "\n";
}

// Every field distinct, so that a value read into the wrong place shows. The
// X file's fields 4 to 9 differ from the Y file's, which are the ones used.
const std::vector<std::string> campos_x = {"teste", "kelvara", "X",    "91", "92", "93", "94", "95",
                                           "96",    "10.5",    "-11",  "0.012", "13", "14", "15"};
const std::vector<std::string> campos_y = {"teste", "kelvara", "Y",  "1",  "2",  "3",  "4", "5",
                                           "6",     "20",      "21", "22", "23", "24", "25"};
constexpr coeficientes esperado{1, 2, 5, 6, 3, 4, {10.5, -11, 0.012, 13, 14, 15}, {20, 21, 22, 23, 24, 25}};

std::vector<double> valores(const coeficientes& c)
{
  std::vector<double> v{c.x0, c.y0, c.kx, c.ky, c.X0, c.Y0};
  v.insert(v.end(), std::begin(c.A), std::end(c.A));
  v.insert(v.end(), std::begin(c.B), std::end(c.B));
  return v;
}

using teste::falha_de;

const std::string mensagem_x = "Erro! Esperado 'X' no ficheiro de parâmetros -X";
const std::string mensagem_y = "Erro! Esperado 'Y' no ficheiro de parâmetros -Y";

// The message that reading the pair stops with on a wrong letter; empty
// when it reads.
std::string letra_de(const std::string& x, const std::string& y)
{
  try {
    le_parametros(x, y);
  } catch (const letra_errada& f) {
    return f.what();
  }
  return "";
}

TEST_F(parametros_campos, disposicoes_dao_os_mesmos_valores)
{
  const struct {
    const char* nome;
    std::string x, y;
  } casos[] = {
      {"um campo por linha / tudo numa linha sem fim de linha",
       "teste\nkelvara\nX\n91\n92\n93\n94\n95\n96\n10.5\n-11\n0.012\n13\n14\n15\n",
       "teste,kelvara,Y,1,2,3,4,5,6,20,21,22,23,24,25"},
      {"brancos misturados, números separados só por brancos",
       "  teste ,\t kelvara ,X\n\n   91 92\t93 , 94\n95,96  \n10.5 -11  0.012\n\t13,14 ,  15   \n",
       "\tteste,kelvara  ,  Y  \n 1  2 \n3\t4\n 5 , 6\n20 21 22 23 24 25\n"},
      {"CRLF / CR sozinho",
       "teste, kelvara, X\r\n91, 92\r\n93, 94\r\n95, 96\r\n10.5, -11, 0.012, 13, 14, 15\r\n",
       "teste, kelvara, y\r1, 2\r3, 4\r5, 6\r20, 21, 22, 23, 24, 25\r"},
      {"expoentes e sinal +",
       "teste, kelvara, x\n9.1e1, 920E-1\n+93, 0.94e+2\n95.0, 96\n1.05e1, -1.1E+01, 12e-3, 130e-1, +14, 1.5E1\n",
       "teste, kelvara, Y\n1e0, 2.0E0\n.3e1, 4.\n5, 6\n2E1, 21, 22, 23, 24, 25\n"},
      {"aspas com vírgulas e fins de linha / textos vazios",
       "\"teste, um\", \"kelvara,\nduas\", \"X\"\n91, 92\n93, 94\n95, 96\n10.5, -11, 0.012, 13, 14, 15\n",
       ", ,Y,1,2,3,4,5,6,20,21,22,23,24,25\n"},
      {"marca de ordem UTF-8 / separadores e Ctrl-Z depois do campo 15",
       "\xEF\xBB\xBF\"teste\", kelvara, X\n91, 92\n93, 94\n95, 96\n10.5, -11, 0.012, 13, 14, 15,\n\n",
       "\"\",\"\"  ,  \"Y\"  \n1, 2\n3, 4\n5, 6\n20, 21, 22, 23, 24, 25 ,\t,\r\n\x1a"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    const coeficientes r =
        le_parametros(escreve("parâmetros_x.txt", c.x), escreve("parâmetros_y.txt", c.y));
    EXPECT_EQ(valores(r), valores(esperado));
  }
}

TEST_F(parametros_letras, letra_errada_da_a_mensagem_do_seu_eixo)
{
  const std::string x = escreve("x.txt", junta(campos_x));
  const std::string y = escreve("y.txt", junta(campos_y));
  // Swapped files: the Y path is never opened, so it may name nothing.
  EXPECT_EQ(letra_de(y, caminho("nao_existe.txt")), mensagem_x);
  // The same file twice always fails one of the two tests.
  EXPECT_EQ(letra_de(x, x), mensagem_y);
  EXPECT_EQ(letra_de(y, y), mensagem_x);
  for (const char* letra : {"Z", "XX", "X.", "\"X \"", "\"\"", "eixo X"}) {
    SCOPED_TRACE(letra);
    EXPECT_EQ(letra_de(escreve("x2.txt", junta(campos_x, 3, letra)), y), mensagem_x);
    EXPECT_EQ(letra_de(x, escreve("y2.txt", junta(campos_y, 3, letra))), mensagem_y);
  }
}

TEST_F(parametros_letras, letra_testada_so_depois_do_ficheiro_lido)
{
  // A wrong letter and a bad number in one file: the file is read in full
  // first, so the fault wins over the letter message.
  const std::string x = escreve("x.txt", junta(campos_y, 12, "doze"));
  EXPECT_EQ(falha_de([&] { le_parametros(x, escreve("y.txt", junta(campos_y))); }),
            "O campo 12 do ficheiro de parâmetros \"" + x + "\" devia ser um número e é \"doze\".");
  // A wrong Y letter comes before the Y file's divisor 0 is looked at.
  const std::string y = escreve("y2.txt", junta(campos_x, 8, "0"));
  EXPECT_EQ(letra_de(escreve("x2.txt", junta(campos_x)), y), mensagem_y);
}

TEST_F(parametros_exemplos, identidade_e_deslocamento)
{
  // The identity pair as published, then A0 = 100, B0 = −50: 100 m east,
  // 50 m south. A divisor 0 in the X file is replaced by the Y file's. A
  // negative divisor is a divisor: with B2 = −1 it gives the identity too.
  const std::string x = escreve("x.txt", "identidade, exemplo, X\n0, 0\n0, 0\n1, 1\n0, 1, 0, 0, 0, 0\n");
  const std::string y = escreve("y.txt", "identidade, exemplo, Y\n0, 0\n0, 0\n1, 1\n0, 0, 1, 0, 0, 0\n");
  const std::string x100 = escreve("x100.txt", "desvio, exemplo, X\n0, 0\n0, 0\n0, 0\n100, 1, 0, 0, 0, 0\n");
  const std::string y50 = escreve("y50.txt", "desvio, exemplo, Y\n0, 0\n0, 0\n1, 1\n-50, 0, 1, 0, 0, 0\n");
  const std::string ym = escreve("ym.txt", "espelho, exemplo, Y\n0, 0\n0, 0\n1, -1\n0, 0, -1, 0, 0, 0\n");
  const coeficientes identidade = le_parametros(x, y);
  const coeficientes desvio = le_parametros(x100, y50);
  const coeficientes espelho = le_parametros(x, ym);
  for (const par p : {par{0, 0}, par{-96512.375, 123456.789}, par{640030.8131618912, 4162536.9254752584}}) {
    for (const coeficientes* c : {&identidade, &espelho}) {
      const par q = polinomio(*c, p.x, p.y);
      EXPECT_EQ(q.x, p.x);
      EXPECT_EQ(q.y, p.y);
    }
    const par d = polinomio(desvio, p.x, p.y);
    EXPECT_EQ(d.x, p.x + 100);
    EXPECT_EQ(d.y, p.y - 50);
  }
}

TEST_F(parametros_exemplos, conjuntos_do_continente_escritos_em_ficheiro_dao_os_mesmos_bits)
{
  for (const coeficientes* oficial : {&conjunto_01, &conjunto_10}) {
    const std::string x = escreve("x.txt", teste::ficheiro_parametros('X', *oficial));
    const std::string y = escreve("y.txt", teste::ficheiro_parametros('Y', *oficial));
    const coeficientes lido = le_parametros(x, y);
    EXPECT_EQ(valores(lido), valores(*oficial));
    for (double px = -140000.123; px <= 185000; px += 32500)
      for (double py = -320000.456; py <= 290000; py += 30500) {
        EXPECT_EQ(polinomio(lido, px, py).x, polinomio(*oficial, px, py).x);
        EXPECT_EQ(polinomio(lido, px, py).y, polinomio(*oficial, px, py).y);
      }
  }
}

TEST_F(parametros_falhas, mensagem_nomeia_o_ficheiro_e_o_campo)
{
  // "@" stands for the quoted path of the file at fault.
  const struct {
    std::string texto, mensagem;
  } casos[] = {
      {"", "O ficheiro de parâmetros @ acaba antes do campo 1 (são precisos 15 campos)."},
      {"teste, kelvara, Y\n", "O ficheiro de parâmetros @ acaba antes do campo 4 (são precisos 15 campos)."},
      {"a, b, Y, 1, 2, 3, 4, 5, 6, 0, 1, 0, 0, 0,\r\n",
       "O ficheiro de parâmetros @ acaba antes do campo 15 (são precisos 15 campos)."},
      {junta(campos_y, 4, "um"), "O campo 4 do ficheiro de parâmetros @ devia ser um número e é \"um\"."},
      {junta(campos_y, 8, "inf"), "O campo 8 do ficheiro de parâmetros @ devia ser um número e é \"inf\"."},
      {junta(campos_y, 15, "1e"), "O campo 15 do ficheiro de parâmetros @ devia ser um número e é \"1e\"."},
      {junta(campos_y, 6, "+-1"), "O campo 6 do ficheiro de parâmetros @ devia ser um número e é \"+-1\"."},
      {junta(campos_y, 12, "\"1\""), "O campo 12 do ficheiro de parâmetros @ devia ser um número e é \"\"1\"\"."},
      {junta(campos_y, 9, "1e400"),
       "O campo 9 do ficheiro de parâmetros @ tem um número fora do alcance de um double: \"1e400\"."},
      {junta(campos_y, 7, ""), "O campo 7 do ficheiro de parâmetros @ está vazio; devia ser um número."},
      {"\"teste, kelvara, Y\n1, 2, 3, 4, 5, 6\n", "O campo 1 do ficheiro de parâmetros @ abre aspas que não fecham."},
      {junta(campos_y, 2, "\"kel\"vara"),
       "O campo 2 do ficheiro de parâmetros @ tem texto depois das aspas que o fecham."},
      // A field more: one after the fifteenth, or a decimal comma before it.
      {junta(campos_y) + ", 26\nfim\n",
       "O ficheiro de parâmetros @ tem mais de 15 campos: depois do campo 15 vem \"26\". Um número "
       "com vírgula decimal (1,5) conta como dois campos: escreva-o com ponto (1.5)."},
      {junta(campos_y, 10, "1,5"),
       "O ficheiro de parâmetros @ tem mais de 15 campos: depois do campo 15 vem \"25\". Um número "
       "com vírgula decimal (1,5) conta como dois campos: escreva-o com ponto (1.5)."},
      {junta(campos_y, 8, "0.0"), "O divisor kx (campo 8) do ficheiro de parâmetros @ é 0."},
      {junta(campos_y, 9, "-0e5"), "O divisor ky (campo 9) do ficheiro de parâmetros @ é 0."},
  };
  const std::string x = escreve("x.txt", junta(campos_x));
  for (const auto& c : casos) {
    SCOPED_TRACE(c.texto);
    const std::string y = escreve("parâmetros_y.txt", c.texto);
    std::string esperada = c.mensagem;
    esperada.replace(esperada.find('@'), 1, entre_aspas(y));
    EXPECT_EQ(falha_de([&] { le_parametros(x, y); }), esperada);
  }
}

TEST_F(parametros_falhas, ficheiro_que_nao_abre)
{
  const std::string x = escreve("x.txt", junta(campos_x));
  for (const std::string& mau : {caminho("ausente.txt"), caminho("")}) {  // "" names the folder
    const std::string esperada = "Não foi possível abrir o ficheiro de parâmetros " + entre_aspas(mau) + ".";
    EXPECT_EQ(falha_de([&] { le_parametros(mau, x); }), esperada);
    EXPECT_EQ(falha_de([&] { le_parametros(x, mau); }), esperada);
  }
}

}  // namespace
}  // namespace kelvara
