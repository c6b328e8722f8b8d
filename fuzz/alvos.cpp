#include "alvos.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "caminhos.h"
#include "falha.h"
#include "ficheiros_grelha.h"
#include "ficheiros_parametros.h"
#include "grelha.h"
#include "janela.h"
#include "polinomio.h"
#include "shapefiles.h"
#include "transfere.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kelvara {

namespace {

namespace fs = std::filesystem;

// One folder per process, in memory where the system has it.
const fs::path& pasta()
{
  static const fs::path p = [] {
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
#ifdef _WIN32
    const long pid = 0;
#else
    const long pid = static_cast<long>(getpid());
#endif
    fs::path q = base / ("kelvara-fuzz-" + std::to_string(pid));
    fs::create_directories(q);
    return q;
  }();
  return p;
}

std::string le(const fs::path& nome)
{
  std::ifstream f(nome, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void grava(const fs::path& nome, const std::uint8_t* d, std::size_t n)
{
  std::ofstream f(nome, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(d), static_cast<std::streamsize>(n));
}

std::uint32_t tamanho(const std::uint8_t* d)
{
  return std::uint32_t(d[0]) | (std::uint32_t(d[1]) << 8) | (std::uint32_t(d[2]) << 16) |
         (std::uint32_t(d[3]) << 24);
}

struct janela_muda : janela {
  void mensagem(const std::string&) override {}
  void ocupado(bool) override {}
};

}  // namespace

bool fuzz_shapefile(const std::uint8_t* d, std::size_t n)
{
  if (n < 8) return false;
  std::size_t a = tamanho(d), b = tamanho(d + 4);
  d += 8;
  n -= 8;
  a = std::min(a, n);
  b = std::min(b, n - a);
  const fs::path base = pasta() / "e";
  grava(caminho(texto(base) + ".shp"), d, a);
  grava(caminho(texto(base) + ".shx"), d + a, b);
  grava(caminho(texto(base) + ".dbf"), d + a + b, n - a - b);
  const std::string saida = texto(pasta() / "s.shp");
  // Twice: as one loop, and in three ranges of records, each on a thread
  // of its own wherever the input allows it. The same output, byte for
  // byte (the table's date aside), or the same fault.
  struct copia {
    std::string falha;
    std::string bytes[3];
  } feitas[2];
  const auto antes = ShapeFiles::faixas_desde(1LL << 62, 0);
  for (int vez = 0; vez < 2; ++vez) {
    if (vez == 1) ShapeFiles::faixas_desde(0, 3);
    janela_muda j;
    ShapeFiles Shp1, Shp2;
    try {
      transfere(j, Shp1, Shp2, texto(base) + ".shp", saida, por_polinomio{conjunto_10});
      const char* ext[3] = {".shp", ".shx", ".dbf"};
      for (int e = 0; e < 3; ++e) feitas[vez].bytes[e] = le(caminho(texto(pasta() / "s") + ext[e]));
      if (feitas[vez].bytes[2].size() >= 4) feitas[vez].bytes[2].replace(1, 3, "   ");
    } catch (const falha& x) {
      feitas[vez].falha = x.what();
    }
  }
  ShapeFiles::faixas_desde(antes.first, antes.second);
  if (feitas[0].falha != feitas[1].falha) std::abort();
  for (int e = 0; e < 3; ++e)
    if (feitas[0].bytes[e] != feitas[1].bytes[e]) std::abort();
  return !feitas[0].falha.empty();
}

bool fuzz_parametros(const std::uint8_t* d, std::size_t n)
{
  if (n < 4) return false;
  const std::size_t a = std::min<std::size_t>(tamanho(d), n - 4);
  const fs::path x = pasta() / "px.txt", y = pasta() / "py.txt";
  grava(x, d + 4, a);
  grava(y, d + 4 + a, n - 4 - a);
  try {
    // What is read is a set to evaluate: every value a finite number, no
    // divisor 0.
    const coeficientes c = le_parametros(texto(x), texto(y));
    const double v[] = {c.x0, c.y0, c.kx, c.ky, c.X0, c.Y0, c.A[0], c.A[1], c.A[2], c.A[3],
                        c.A[4], c.A[5], c.B[0], c.B[1], c.B[2], c.B[3], c.B[4], c.B[5]};
    if (!std::all_of(std::begin(v), std::end(v), [](double e) { return std::isfinite(e); }) ||
        c.kx == 0 || c.ky == 0)
      std::abort();
  } catch (const falha&) {
    return true;
  }
  return false;
}

bool fuzz_grelha(const std::uint8_t* d, std::size_t n)
{
  const fs::path g = pasta() / "g.asc";
  grava(g, d, n);
  bool recusada = false;
  for (const eixo e : {eixo::m, eixo::p}) {
    try {
      // The file as one grid of the pair; the other holds its nodes' own
      // coordinates.
      grelhas gs;
      for (int i = 1; i <= linhas; ++i)
        for (int j = 1; j <= colunas; ++j) {
          gs.grelha_m(i, j) = limite_oeste + (j - 1) * passo;
          gs.grelha_p(i, j) = limite_norte - (i - 1) * passo;
        }
      grelha& lida = e == eixo::m ? gs.grelha_m : gs.grelha_p;
      lida = le_grelha(texto(g), e);
      // What is read is a grid of this axis: every value the marker or
      // within 1 km of its node's coordinate.
      for (int i = 1; i <= linhas; ++i)
        for (int j = 1; j <= colunas; ++j) {
          const double v = lida(i, j);
          const double no = e == eixo::m ? limite_oeste + (j - 1) * passo : limite_norte - (i - 1) * passo;
          if (v != sem_ponto && !(std::abs(v - no) <= 1000)) std::abort();
        }
      for (const par p : {par{0, 0}, par{185000, -320000}, par{-140000, 290000}, par{12345.6, -7890.1}})
        if (const auto r = interpola(gs, p.x, p.y); r && !(std::isfinite(r->x) && std::isfinite(r->y)))
          std::abort();
      // A point beyond the limits is refused, whatever the grid holds.
      for (const par p : {par{185000.001, 0}, par{-140000.001, 0}, par{0, 290000.001},
                          par{0, -320000.001}, par{NAN, 0}})
        if (interpola(gs, p.x, p.y)) std::abort();
    } catch (const falha&) {
      recusada = true;
    }
  }
  return recusada;
}

}  // namespace kelvara
