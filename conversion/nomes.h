// File names as the conversion derives them from the user's texts.
#pragma once

#include <string>

#include "caminhos.h"

namespace kelvara {

// The text without its last four characters, taken to be the extension:
// "C:\dados\rios.SHP" gives "C:\dados\rios".
std::string sem_ultimos_quatro(const std::string& texto);

// Why a text cannot name the shapefile of Sistema 1 (`saida` false) or of
// Sistema 2: its last four characters must be a dot and three characters
// (".shp", ".SHP", ".dbf" will do: the extension is replaced), after a
// name; the output must not name a folder. Empty when it can.
std::string recusa_nome(const std::string& texto, bool saida);

}  // namespace kelvara
