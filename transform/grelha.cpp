#include "grelha.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "utf8.h"

namespace kelvara {

namespace {

std::string le_texto(const std::string& caminho)
{
  std::ifstream f(caminho_utf8(caminho), std::ios::binary);
  if (!f.is_open())
    throw falha("Não foi possível abrir o ficheiro de grelha " + entre_aspas(caminho) + ".");
  std::string texto;
  char bloco[1 << 14];
  do {
    f.read(bloco, sizeof bloco);
    texto.append(bloco, std::size_t(f.gcount()));
  } while (f);
  if (f.bad())
    throw falha("Erro ao ler o ficheiro de grelha " + entre_aspas(caminho) + ".");
  return texto;
}

bool separador(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ','; }

// Where the n-th number (from 0) of a grid file goes, for messages.
std::string lugar(int n)
{
  return "valor " + std::to_string(n + 1) + " de " + std::to_string(nos) + " (linha " +
         std::to_string(n / colunas + 1) + ", coluna " + std::to_string(n % colunas + 1) +
         " da grelha)";
}

// A field as it appears inside a message: quoted, cut short when long.
std::string mostra(std::string_view campo)
{
  std::size_t corte = 30;
  if (campo.size() <= corte) return "\"" + std::string(campo) + "\"";
  while (corte > 0 && (static_cast<unsigned char>(campo[corte]) & 0xC0) == 0x80) --corte;
  return "\"" + std::string(campo.substr(0, corte)) + "...\"";
}

// A decimal number with optional sign and exponent; from_chars alone would
// also take "inf", "nan" and refuse a leading "+".
std::errc numero(std::string_view campo, double& v)
{
  std::string_view s = campo;
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s.front() == '-') return std::errc::invalid_argument;
  }
  if (s.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
    return std::errc::invalid_argument;
  const auto [fim, erro] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (erro == std::errc{} && fim != s.data() + s.size()) return std::errc::invalid_argument;
  return erro;
}

}  // namespace

grelha le_grelha(const std::string& caminho)
{
  const std::string texto = le_texto(caminho);
  const std::string nome = entre_aspas(caminho);
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
    const std::errc erro = numero(campo, v);
    if (erro == std::errc::result_out_of_range)
      throw falha("O ficheiro de grelha " + nome + " tem o número " + mostra(campo) +
                  ", fora do alcance representável, na linha " + std::to_string(linha) +
                  " do ficheiro, no lugar do " + lugar(n) + ".");
    if (erro != std::errc{})
      throw falha("O ficheiro de grelha " + nome + " tem " + mostra(campo) +
                  ", que não é um número, na linha " + std::to_string(linha) +
                  " do ficheiro, no lugar do " + lugar(n) + ".");
    g(n / colunas + 1, n % colunas + 1) = v;
  }
  return g;
}

ficheiros_grelha ficheiros_de(sentido s, const std::string& pasta)
{
  const bool ida = s == sentido::de_73_para_lisboa;
  const char* m = ida ? "et_lx_m.asc" : "lx_et_m.asc";
  const char* p = ida ? "et_lx_p.asc" : "lx_et_p.asc";
  const std::filesystem::path base = caminho_utf8(pasta);
  return {texto_utf8(base / m), texto_utf8(base / p),
          std::string("Os Ficheiros ") + m + " e " + p + " não existem !!"};
}

std::optional<std::string> testa_presenca(const ficheiros_grelha& f)
{
  for (const std::string* c : {&f.m, &f.p}) {
    std::ifstream teste(caminho_utf8(*c), std::ios::binary);
    if (!teste.is_open()) return f.falta;
  }
  return std::nullopt;
}

grelhas le_grelhas(const ficheiros_grelha& f)
{
  grelhas g;
  g.grelha_m = le_grelha(f.m);
  g.grelha_p = le_grelha(f.p);
  return g;
}

namespace {

// The four corners of a cell, none marked.
bool cantos_validos(const grelha& G, int i, int j)
{
  return G(i, j) != sem_ponto && G(i + 1, j) != sem_ponto && G(i, j + 1) != sem_ponto &&
         G(i + 1, j + 1) != sem_ponto;
}

double bilinear(const grelha& G, int i, int j, double dx, double dy)
{
  const double NW = G(i, j), SW = G(i + 1, j), NE = G(i, j + 1), SE = G(i + 1, j + 1);
  const double cxy = (SE * (-1.0) + SW - NW + NE) / std::pow(passo, 2.0);
  const double cx = (NW - NE) / passo;
  const double cy = (SE - NE) / passo;
  return dx * cxy * dy + dx * cx + dy * cy + NE;
}

}  // namespace

std::optional<par> interpola(const grelhas& g, double x, double y) noexcept
{
  // Written so that NaN fails too.
  if (!(x >= limite_oeste) || !(x <= limite_este) || !(y <= limite_norte) || !(y >= limite_sul))
    return std::nullopt;
  int j = 1 + int(std::abs(x - limite_oeste) / passo);
  int i = 1 + int(std::abs(y - limite_norte) / passo);
  // The east column and the south row have no cell of their own; a vertex
  // on those limits (or rounded onto them) takes the last cell's edge.
  if (j == colunas) j = colunas - 1;
  if (i == linhas) i = linhas - 1;
  if (!cantos_validos(g.grelha_m, i, j) || !cantos_validos(g.grelha_p, i, j)) return std::nullopt;
  const double xE = j * passo + limite_oeste;
  const double yN = limite_norte - (i - 1) * passo;
  const double dx = xE - x;
  const double dy = yN - y;
  return par{bilinear(g.grelha_m, i, j, dx, dy), bilinear(g.grelha_p, i, j, dx, dy)};
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
