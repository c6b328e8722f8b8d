#include "grelha.h"

#include <cmath>

namespace kelvara {

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

}  // namespace kelvara
