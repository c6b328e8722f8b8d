// The projection file (".prj") beside a converted shapefile: one line of
// well-known text for the three mainland targets, nothing for the others.
#pragma once

#include <string>
#include <string_view>

namespace kelvara {

// The projection text of a target system, or empty where it has none.
std::string_view texto_prj(const std::string& sistema);

// Writes the projection file for `sistema` beside `fich3a` (its last four
// characters replaced by ".prj") and stores that path in `fich_prj`. Does
// nothing for a target without a projection text. Throws `falha` when the
// file cannot be written.
void escreve_prj(const std::string& sistema, const std::string& fich3a, std::string& fich_prj);

}  // namespace kelvara
