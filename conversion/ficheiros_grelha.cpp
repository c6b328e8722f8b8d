#include "ficheiros_grelha.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

#include "caminhos.h"
#include "leitura.h"

namespace kelvara {

namespace {

bool separador(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ','; }

// Where the n-th number (from 0) of a grid file goes, for messages.
std::string lugar(int n)
{
  return "valor " + std::to_string(n + 1) + " de " + std::to_string(nos) + " (linha " +
         std::to_string(n / colunas + 1) + ", coluna " + std::to_string(n % colunas + 1) +
         " da grelha)";
}

// Each value, but the marker, within 1 km of its node's own coordinate.
void verifica_valores(const grelha& g, eixo e, const std::string& nome)
{
  constexpr double tolerancia = 1000;
  const auto numero = [](double d) {
    const std::string t = formato_geral(d);
    return t[0] == ' ' ? t.substr(1) : t;
  };
  const char* letra = e == eixo::m ? "M" : "P";
  const char* outra = e == eixo::m ? "P" : "M";
  for (int i = 1; i <= linhas; ++i)
    for (int j = 1; j <= colunas; ++j) {
      const double v = g(i, j);
      if (v == sem_ponto) continue;
      const double x = limite_oeste + (j - 1) * passo, y = limite_norte - (i - 1) * passo;
      const double proprio = e == eixo::m ? x : y, do_outro = e == eixo::m ? y : x;
      if (std::abs(v - proprio) <= tolerancia) continue;
      const int n = (i - 1) * colunas + (j - 1);
      throw falha(
          "O ficheiro de grelha " + nome + " não é uma grelha de " + letra + ": o " + lugar(n) +
          " é " + numero(v) + ", a mais de 1 km do " + letra + " do seu nó (" + numero(proprio) + ")" +
          (std::abs(v - do_outro) <= tolerancia
               ? std::string(", mas perto do seu ") + outra + ": os ficheiros _m e _p estarão trocados."
               : ". A grelha tem de ter " + std::to_string(linhas) + " linhas de " +
                     std::to_string(colunas) + " números, cada um o " + letra +
                     " transformado do ponto do seu nó, ou -999999."));
    }
}

}  // namespace

grelha le_grelha(const std::string& ficheiro, eixo e)
{
  const std::string nome = entre_aspas(ficheiro);
  bool erro_leitura = false;
  const std::optional<std::string> lido = le_ficheiro(ficheiro, erro_leitura);
  if (!lido) throw falha("Não foi possível abrir o ficheiro de grelha " + nome + ".");
  if (erro_leitura) throw falha("Erro ao ler o ficheiro de grelha " + nome + ".");
  const std::string& texto = *lido;
  grelha g;
  std::size_t k = 0;
  long linha = 1;  // line of the file, for messages
  for (int n = 0; n < nos; ++n) {
    // A comma ends the field before it; a second one, or one before the
    // first number, leaves an empty field.
    bool virgula = n == 0;
    while (k < texto.size() && separador(texto[k])) {
      if (texto[k] == ',') {
        if (virgula)
          throw falha("O ficheiro de grelha " + nome + " tem um campo vazio na linha " +
                      std::to_string(linha) + " do ficheiro, no lugar do " + lugar(n) + ".");
        virgula = true;
      } else if (texto[k] == '\n') {
        ++linha;
      }
      ++k;
    }
    if (k == texto.size())
      throw falha("O ficheiro de grelha " + nome + " termina antes do " + lugar(n) +
                  "; são precisos " + std::to_string(linhas) + " linhas de " +
                  std::to_string(colunas) + " números.");
    const std::size_t inicio = k;
    while (k < texto.size() && !separador(texto[k])) ++k;
    const std::string_view campo(texto.data() + inicio, k - inicio);
    double v;
    const std::errc erro = le_numero(campo, v);
    if (erro == std::errc::result_out_of_range)
      throw falha("O ficheiro de grelha " + nome + " tem o número " + excerto(campo, 30) +
                  ", fora do alcance representável, na linha " + std::to_string(linha) +
                  " do ficheiro, no lugar do " + lugar(n) + ".");
    if (erro != std::errc{})
      throw falha("O ficheiro de grelha " + nome + " tem " + excerto(campo, 30) +
                  ", que não é um número, na linha " + std::to_string(linha) +
                  " do ficheiro, no lugar do " + lugar(n) + ".");
    g(n / colunas + 1, n % colunas + 1) = v;
  }
  // The values first: a grid of another layout is told by them, before
  // its numbers run past the 8118th.
  verifica_valores(g, e, nome);
  // After the last number: separators, and an end-of-file mark.
  while (k < texto.size() && (separador(texto[k]) || texto[k] == '\x1a')) {
    if (texto[k] == '\n') ++linha;
    ++k;
  }
  if (k < texto.size()) {
    std::size_t fim = k;
    while (fim < texto.size() && !separador(texto[fim])) ++fim;
    throw falha("O ficheiro de grelha " + nome + " tem mais do que os " + std::to_string(nos) +
                " números de uma grelha (" + std::to_string(linhas) + " linhas de " +
                std::to_string(colunas) + "): depois do último vem " +
                excerto(std::string_view(texto).substr(k, fim - k), 30) + ", na linha " +
                std::to_string(linha) + " do ficheiro.");
  }
  return g;
}

ficheiros_grelha ficheiros_de(sentido s, const std::string& pasta)
{
  const bool ida = s == sentido::de_73_para_lisboa;
  const char* m = ida ? "et_lx_m.asc" : "lx_et_m.asc";
  const char* p = ida ? "et_lx_p.asc" : "lx_et_p.asc";
  const std::filesystem::path base = caminho(pasta);
  return {texto(base / m), texto(base / p),
          std::string("Os Ficheiros ") + m + " e " + p + " não existem !!", pasta};
}

grelhas_em_falta::grelhas_em_falta(const ficheiros_grelha& f)
    : falha(f.falta + "\nProcurados na pasta " + entre_aspas(f.pasta) + ".")
{
}

void testa_presenca(const ficheiros_grelha& f)
{
  for (const std::string* c : {&f.m, &f.p}) {
    std::error_code ec;
    const auto s = std::filesystem::status(caminho(*c), ec).type();
    if (s != std::filesystem::file_type::regular && s != std::filesystem::file_type::directory)
      throw grelhas_em_falta(f);
    std::ifstream teste(caminho(*c), std::ios::binary);
    if (!teste.is_open()) throw grelhas_em_falta(f);
  }
}

grelhas le_grelhas(const ficheiros_grelha& f)
{
  grelhas g;
  g.grelha_m = le_grelha(f.m, eixo::m);
  g.grelha_p = le_grelha(f.p, eixo::p);
  return g;
}

std::string formato_geral(double v)
{
  if (std::isnan(v)) return " NaN";
  const char* sinal = v < 0 ? "-" : " ";
  if (std::isinf(v)) return std::string(sinal) + "Inf";
  char digitos[32];
  const double a = std::abs(v);
  const auto r =
      std::to_chars(digitos, digitos + sizeof digitos, a, std::chars_format::general, 15);
  std::string s(sinal);
  for (const char* c = digitos; c != r.ptr; ++c) s += *c == 'e' ? 'E' : *c;
  return s;
}

fora_da_grelha::fora_da_grelha(double x, double y)
    : falha("ERRO!! Ponto para além dos limites. (" + formato_geral(x) + ";" + formato_geral(y) +
            ")"),
      x(x),
      y(y)
{
}

}  // namespace kelvara
