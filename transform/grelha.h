// Bilinear interpolation in the Datum Lisboa grids, between Hayford-Gauss
// Datum 73 and Hayford-Gauss Datum Lisboa-Ponto Central.
//
// Two regular grids of previously transformed points cover the mainland in
// the source system's coordinates: `grelha_m` holds the target X (M) and
// `grelha_p` the target Y (P) of the point at each node, as absolute target
// coordinates. The grids live for one conversion; reading them from their
// files is the conversion's business (ficheiros_grelha.h). The interpolation is written out about
// the cell's north-east node; its evaluation order is part of the definition
// (every partial result a double, sums left to right, 5000² from pow).
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "polinomio.h"

namespace kelvara {

// Grid geometry, in metres of the source system (x = M, y = P).
inline constexpr double limite_oeste = -140000.0;  // x of column 1
inline constexpr double limite_este = 185000.0;    // x of column 66
inline constexpr double limite_norte = 290000.0;   // y of row 1
inline constexpr double limite_sul = -320000.0;    // y of row 123
inline constexpr double passo = 5000.0;
inline constexpr int linhas = 123;   // numbered 1 to 123 from north to south
inline constexpr int colunas = 66;   // numbered 1 to 66 from west to east
inline constexpr int nos = linhas * colunas;  // 8118 numbers per file
inline constexpr double sem_ponto = -999999.0;  // node without a transformed point

// One grid of 123 × 66 doubles, indexed (row, column) from 1.
class grelha {
 public:
  grelha() : valores_(nos, 0.0) {}
  double operator()(int i, int j) const { return valores_[indice(i, j)]; }
  double& operator()(int i, int j) { return valores_[indice(i, j)]; }

 private:
  static std::size_t indice(int i, int j) { return std::size_t((i - 1) * colunas + (j - 1)); }
  std::vector<double> valores_;
};

struct grelhas {
  grelha grelha_m;  // target X at each node
  grelha grelha_p;  // target Y at each node
};

// Which pair of grids: the direction of the conversion.
enum class sentido {
  de_73_para_lisboa,  // nodes in Datum 73, values in Datum Lisboa
  de_lisboa_para_73,  // nodes in Datum Lisboa, values in Datum 73
};

// The grid coordinate function: (x, y) in the source system to (X', Y') in
// the target, or no value when the vertex is rejected (outside the limits,
// not a number, or a corner of its cell marked -999999 in either grid).
// Vertices on the east or south limit use the last cell (column 65, row 122)
// and get the values along the grid's edge. Allocates nothing.
std::optional<par> interpola(const grelhas& g, double x, double y) noexcept;

}  // namespace kelvara
