// File names as the conversion derives them from the user's texts.
#pragma once

#include <string>

#include "caminhos.h"

namespace kelvara {

// The text without its last four characters, taken to be the extension
// whatever they are: "C:\dados\rios.SHP" gives "C:\dados\rios".
std::string sem_ultimos_quatro(const std::string& texto);

}  // namespace kelvara
