#include "ficheiros_ntv2.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>

#include "caminhos.h"
#include "ficheiros_grelha.h"
#include "leitura.h"

namespace kelvara {

namespace {

constexpr char marca[16] = {'k', 'e', 'l', 'v', 'a', 'r', 'a', ' ', 'n', 't', 'v', '2', ' ', '1', '\n', '\0'};
constexpr std::size_t cabecalho = 64;
constexpr double segundo = 0.017453292519943296 / 3600;  // radians in an arc-second

template <class T>
T le_le(const char* p)
{
  static_assert(std::endian::native == std::endian::little, "a grelha da DGT é little-endian");
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

std::string ficheiro_ntv2(datum d, const std::string& pasta)
{
  return texto(caminho(pasta) / (d == datum::lisboa ? "dgt_dlx_etrs89.ntv" : "dgt_d73_etrs89.ntv"));
}

grelha_ntv2 le_ntv2(const std::string& ficheiro)
{
  const std::string nome = entre_aspas(ficheiro);
  std::error_code ec;
  if (!std::filesystem::exists(caminho(ficheiro), ec))
    throw grelhas_em_falta("O ficheiro de grelha da DGT " + nome + " não existe.");
  bool erro_leitura = false;
  const std::optional<std::string> lido = le_ficheiro(ficheiro, erro_leitura);
  if (!lido) throw falha("Não foi possível abrir o ficheiro de grelha da DGT " + nome + ".");
  if (erro_leitura) throw falha("Erro ao ler o ficheiro de grelha da DGT " + nome + ".");
  const std::string& d = *lido;
  const auto estragado = [&](const std::string& porque) {
    throw falha("O ficheiro de grelha da DGT " + nome + " não pode ser usado: " + porque + ".");
  };
  if (d.size() < cabecalho || std::memcmp(d.data(), marca, sizeof marca) != 0)
    estragado("não começa pelo cabeçalho de uma grelha NTv2 do kelvara");
  grelha_ntv2 g;
  g.colunas = le_le<std::int32_t>(d.data() + 16);
  g.linhas = le_le<std::int32_t>(d.data() + 20);
  const double oeste = le_le<double>(d.data() + 24), sul = le_le<double>(d.data() + 32);
  const double passo_lon = le_le<double>(d.data() + 40), passo_lat = le_le<double>(d.data() + 48);
  if (g.colunas < 2 || g.linhas < 2 || g.colunas > 100000 || g.linhas > 100000)
    estragado("o número de colunas ou de linhas não é o de uma grelha");
  if (!(passo_lon > 0 && passo_lat > 0 && passo_lon <= 3600 && passo_lat <= 3600) ||
      !(std::abs(oeste) <= 648000 && std::abs(sul) <= 324000) ||
      !(oeste + passo_lon * (g.colunas - 1) <= 648000 && sul + passo_lat * (g.linhas - 1) <= 324000))
    estragado("a extensão ou o espaçamento dos nós não é o de uma grelha");
  const std::size_t valores = 2 * static_cast<std::size_t>(g.colunas) * g.linhas;
  if (d.size() != cabecalho + 4 * valores)
    estragado("tem " + std::to_string(d.size()) + " bytes, e não os " +
              std::to_string(cabecalho + 4 * valores) + " que o cabeçalho diz");
  g.oeste = oeste * segundo;
  g.sul = sul * segundo;
  g.passo_lon = passo_lon * segundo;
  g.passo_lat = passo_lat * segundo;
  g.por_lon = 1 / g.passo_lon;
  g.por_lat = 1 / g.passo_lat;
  g.desvios.resize(valores);
  for (std::size_t i = 0; i < valores; ++i) {
    const float v = le_le<float>(d.data() + cabecalho + 4 * i);
    if (!(std::abs(v) <= 60))
      estragado("o desvio do nó " + std::to_string(i / 2 + 1) + " não é um número de segundos de arco "
                "até um minuto");
    // As PROJ keeps them: radians, in single precision.
    g.desvios[i] = static_cast<float>(v * segundo);
  }
  return g;
}

}  // namespace kelvara
