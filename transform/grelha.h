// Bilinear interpolation in the Datum Lisboa grids, between Hayford-Gauss
// Datum 73 and Hayford-Gauss Datum Lisboa-Ponto Central.
//
// Two regular grids of previously transformed points cover the mainland in
// the source system's coordinates: `grelha_m` holds the target X (M) and
// `grelha_p` the target Y (P) of the point at each node, as absolute target
// coordinates. The grids come from headerless text files in the program's
// folder and live for one conversion. The interpolation is written out about
// the cell's north-east node; its evaluation order is part of the definition
// (every partial result a double, sums left to right, 5000² from pow).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "falha.h"
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

// Reads a grid file: 8118 numbers, row by row from the north, each row from
// the west; separated by commas, blanks or line breaks in any mix (one comma
// at most between two numbers); anything after the 8118th number is ignored.
// Numbers are decimal, "." as the point, with optional sign and exponent.
// Throws falha naming the file when it cannot be opened or read, when it
// holds fewer numbers, or when a field is not a number.
grelha le_grelha(const std::string& caminho);

enum class sentido {
  de_73_para_lisboa,  // nodes in Datum 73, values in Datum Lisboa
  de_lisboa_para_73,  // nodes in Datum Lisboa, values in Datum 73
};

// The grid file pair of one direction and the message shown when it is
// missing. Paths are UTF-8.
struct ficheiros_grelha {
  std::string m;      // X grid file, read into `grelha_m`
  std::string p;      // Y grid file, read into `grelha_p`
  std::string falta;  // message naming both files
};

// The pair in the given folder (the program's own).
ficheiros_grelha ficheiros_de(sentido s, const std::string& pasta);

// Presence test: opens and closes the X file, then the Y file. Gives the
// pair's message when either cannot be opened, for any reason; the caller
// shows it and returns without a fault and without creating any file.
std::optional<std::string> testa_presenca(const ficheiros_grelha& f);

// Loads `grelha_m` from the X file, then `grelha_p` from the Y file.
grelhas le_grelhas(const ficheiros_grelha& f);

// The grid coordinate function: (x, y) in the source system to (X', Y') in
// the target, or no value when the vertex is rejected (outside the limits,
// not a number, or a corner of its cell marked -999999 in either grid).
// Vertices on the east or south limit use the last cell (column 65, row 122)
// and get the values along the grid's edge. Allocates nothing.
std::optional<par> interpola(const grelhas& g, double x, double y) noexcept;

// A number as the general number format writes it: at most 15 significant
// digits, "." whatever the locale, no grouping, a blank in place of the sign
// when the number is not negative (-0 included). Exponent form ("1E+15",
// "1E-05") when the decimal exponent is below -4 or above 14. Infinities and
// NaN as " Inf", "-Inf" and " NaN".
std::string formato_geral(double v);

// A rejected vertex, with its message "ERRO!! Ponto para além dos limites.
// (x;y)" in the general number format. It derives from falha so that a
// caller that forgets it still shows the message; the conversion command
// catches it first, because it then deletes the output and ends the program,
// where a plain falha leaves written files on disk.
class fora_da_grelha : public falha {
 public:
  fora_da_grelha(double x, double y);
  double x, y;
};

}  // namespace kelvara
