// The projection file (".prj") beside a converted shapefile: one line of
// well-known text for the routes that have one, nothing for the others.
#pragma once

#include <string>
#include <string_view>

namespace kelvara {

// Writes the projection text `texto` (a route's), ended by CR LF, into
// `destino`, the run's own file that the publication then moves to
// `fich_prj`. Throws `falha`, naming `fich_prj`, when it cannot be written.
void escreve_prj(std::string_view texto, const std::string& fich_prj, const std::string& destino);

}  // namespace kelvara
