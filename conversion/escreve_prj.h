// The projection file (".prj") beside a converted shapefile: one line of
// well-known text for the targets that have one, nothing for the others.
#pragma once

#include <string>
#include <string_view>

namespace kelvara {

// The projection text of a target system, or empty where it has none.
std::string_view texto_prj(const std::string& sistema);

// Writes the projection text of `sistema`, ended by CR LF, into `destino`,
// the run's own file that the publication then moves to `fich_prj`. Throws
// `falha`, naming `fich_prj`, when it cannot be written.
void escreve_prj(const std::string& sistema, const std::string& fich_prj, const std::string& destino);

}  // namespace kelvara
