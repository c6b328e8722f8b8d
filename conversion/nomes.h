// File names as the conversion derives them from the user's texts.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "caminhos.h"

namespace kelvara {

// The text without its last four characters, taken to be the extension:
// "C:\dados\rios.SHP" gives "C:\dados\rios".
std::string sem_ultimos_quatro(const std::string& texto);

// The files named `base` followed by one of `extensoes` (lower case,
// ".shp", ".shp.xml"), the extension in any letter case and the name as
// it is: "rios.PRJ" and "rios.Prj" for ".prj", not "RIOS.prj" (where the
// system ignores case, each is found as `base` with the lower-case
// extension). In the order of `extensoes`, the lower-case name first.
std::vector<std::string> com_extensao(const std::string& base,
                                      std::span<const std::string_view> extensoes);
// The first of them for the one extension `ext`; empty when there is none.
std::string com_extensao(const std::string& base, std::string_view ext);

// Why a text cannot name the shapefile of Sistema 1 (`saida` false) or of
// Sistema 2: its last four characters must be a dot and three characters
// (".shp", ".SHP", ".dbf" will do: the extension is replaced), after a
// name; the output must not name a folder. Empty when it can.
std::string recusa_nome(const std::string& texto, bool saida);

}  // namespace kelvara
