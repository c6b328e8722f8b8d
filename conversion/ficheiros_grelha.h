// The Datum Lisboa grid files: their names in the grid folder (the
// program's own by default), the presence test, reading them, and the
// message of a vertex that the grids reject.
#pragma once

#include <string>

#include "falha.h"
#include "grelha.h"

namespace kelvara {

// Which grid of a pair a file holds: the target X (M, the "_m" file) or
// the target Y (P, the "_p" file) of each node.
enum class eixo { m, p };

// Reads a grid file: 8118 numbers, row by row from the north, each row from
// the west; separated by commas, blanks or line breaks in any mix (one comma
// at most between two numbers); after the 8118th number only such
// separators and an end-of-file mark (Ctrl-Z) may follow. Numbers are
// decimal, "." as the point, with optional sign and exponent. Apart from the
// -999999 marker, each value must lie within 1 km of its node's own
// coordinate on axis `e` (the grids move points by metres; nodes are 5 km
// apart, so the M values then rise from west to east along every row and
// the P values fall from north to south down every column): that is what
// tells a grid of another layout (rows of 67 numbers, 124 rows), the other
// axis's file, or no grid at all.
// Throws falha naming the file when it cannot be opened or read, when it
// holds fewer or more numbers, when a field is not a number, or when a value
// is not where its node is.
grelha le_grelha(const std::string& nome, eixo e);

// The grid file pair of one direction and the message shown when it is
// missing. Paths are UTF-8.
struct ficheiros_grelha {
  std::string m;      // X grid file, read into `grelha_m`
  std::string p;      // Y grid file, read into `grelha_p`
  std::string falta;  // message naming both files
  std::string pasta;  // where they are looked for
};

// A grid file missing: the pair's message, then the folder where they were
// looked for (or the message of DGT's grid file).
class grelhas_em_falta : public falha {
 public:
  explicit grelhas_em_falta(const ficheiros_grelha& f);
  using falha::falha;
};

// The pair in the given folder (the program's own).
ficheiros_grelha ficheiros_de(sentido s, const std::string& pasta);

// Presence test: opens and closes the X file, then the Y file. When either
// cannot be opened, for any reason, throws `grelhas_em_falta`; no file of
// the conversion has been created by then.
void testa_presenca(const ficheiros_grelha& f);

// Loads `grelha_m` from the X file, then `grelha_p` from the Y file.
grelhas le_grelhas(const ficheiros_grelha& f);

// A number as the general number format writes it: at most 15 significant
// digits, "." whatever the locale, no grouping, a blank in place of the sign
// when the number is not negative (-0 included). Exponent form ("1E+15",
// "1E-05") when the decimal exponent is below -4 or above 14. Infinities and
// NaN as " Inf", "-Inf" and " NaN".
std::string formato_geral(double v);

// A rejected vertex, with its message "ERRO!! Ponto para além dos limites.
// (x;y)" in the general number format. The conversion catches it apart from
// other faults, because after its message the program ends.
class fora_da_grelha : public falha {
 public:
  fora_da_grelha(double x, double y);
  double x, y;
};

}  // namespace kelvara
