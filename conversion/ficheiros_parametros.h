// The parameter files of the user's own second-degree polynomial
// ("Qualquer"): one for the X (easting) polynomial, one for the Y
// (northing) polynomial.
//
// Each file holds fifteen fields: two free texts, the axis letter, the input
// origin x0 y0, the output origin X0 Y0, the divisors kx ky, and the six
// coefficients in the term order of the mainland sets. Fields are separated
// by commas or line ends; blanks and line ends before a field are skipped; a
// text field may be quoted; a number ends at a comma, a blank or a line end
// and is read with a point as decimal separator, whatever the locale.
//
// The two files share one set of origins and divisors: the X file's are read
// first and the Y file's replace them. The result is evaluated exactly like
// the mainland sets, by polinomio().
#pragma once

#include <string>

#include "falha.h"
#include "polinomio.h"

namespace kelvara {

inline constexpr const char* erro_letra_x = "Erro! Esperado 'X' no ficheiro de parâmetros -X";
inline constexpr const char* erro_letra_y = "Erro! Esperado 'Y' no ficheiro de parâmetros -Y";

// A parameter file of the wrong axis: its message has a title of its own in
// the window.
class letra_errada : public falha {
 public:
  using falha::falha;
};

// Reads the X file `fich_par_m` (UTF-8 path), tests its letter, then reads
// the Y file `fich_par_p` and tests its letter. A wrong letter throws
// letra_errada with its message; a wrong letter in the X file ends the
// reading before the Y file is opened. Throws falha, naming the file and the
// field, when a file cannot be opened, ends before its fifteenth field, holds
// a sixteenth (separators and a Ctrl-Z after the fifteenth make none),
// holds something other than a number in fields 4 to 15, or gives a divisor
// in effect (the Y file's) of 0.
coeficientes le_parametros(const std::string& fich_par_m, const std::string& fich_par_p);

}  // namespace kelvara
