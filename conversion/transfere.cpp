#include "transfere.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <thread>

namespace kelvara {

namespace {
std::string numero(double v)
{
  char b[32];
  const auto r = std::to_chars(b, b + sizeof b, v);
  return std::string(b, r.ptr);
}
}  // namespace

void falha_coordenada(const ShapeFiles& entrada, int registo, int vertice, double x, double y,
                      par r)
{
  const std::string qual = "O vértice " + std::to_string(vertice) + " do registo " +
                          std::to_string(registo) + " de " + entre_aspas(entrada.path()) + " (" +
                          numero(x) + "; " + numero(y) + ")";
  // A finite point that gives no number lies off the grids that convert it.
  if (std::isfinite(x) && std::isfinite(y) && std::isnan(r.x) && std::isnan(r.y))
    throw falha(qual + " está fora das grelhas NTv2 da DGT, que cobrem o continente. A conversão "
                       "foi interrompida.");
  throw falha(qual + " não tem coordenadas transformadas finitas (" + numero(r.x) + "; " +
              numero(r.y) + "). A conversão foi interrompida.");
}

namespace {
std::atomic<int> copias{0};
}

em_curso::em_curso() { copias.fetch_add(1); }
em_curso::~em_curso() { copias.fetch_sub(1); }

int faixas_livres()
{
  // Asked once: the system reads it from a file each time.
  static const int processadores =
      static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return std::max(1, processadores / std::max(1, copias.load()));
}

void falha_partes(const ShapeFiles& entrada, int registo, int partes)
{
  throw falha("O registo " + std::to_string(registo) + " de " + entre_aspas(entrada.path()) +
              " tem " + std::to_string(partes) +
              " partes; o número de uma parte não pode passar de 32767.");
}

}  // namespace kelvara
