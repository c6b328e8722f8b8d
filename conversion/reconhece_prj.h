// Recognising the system a projection file (.prj) defines, by what it
// defines rather than by its names: a small reader of well-known text (the
// ESRI and OGC dialects of WKT 1, and the keywords of WKT 2) takes out
// whether the system is geographic or projected, the ellipsoid, the
// projection and its parameters, and these are matched against the
// projections of the route catalogue.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rotas.h"

namespace kelvara {

struct prj_lido {
  std::string nome;         // the name the text gives its system
  bool geografico = false;  // longitudes and latitudes
  // A transverse Mercator projection in metres; empty for another
  // projection or unit.
  std::optional<kelvara::projeccao> projeccao;
  // What else it says, to tell the user what it read: the projection's
  // method and false origin (in the text's unit), the ellipsoid's name.
  std::string metodo, elipsoide;
  std::optional<double> falso_este, falso_norte;
};

// What the text defines; nothing where it is not well-known text of a
// geographic or projected system. A compound system (COMPD_CS,
// COMPOUNDCRS, or a vertical system after the projected one) is its
// horizontal part. Blanks and NUL bytes may follow; with `so_o_primeiro`,
// anything may follow the first element.
std::optional<prj_lido> le_prj(std::string_view texto, bool so_o_primeiro = false);

// The same projection within the rounding of written numbers.
bool corresponde(const projeccao& a, const projeccao& b);

// The systems of the catalogue whose projection `p` defines.
std::vector<const sistema*> sistemas_de(const prj_lido& p);

}  // namespace kelvara
