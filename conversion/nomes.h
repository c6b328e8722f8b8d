// File names as the conversion derives them from the user's texts.
#pragma once

#include <cstddef>
#include <string>

namespace kelvara {

// Number of characters of a UTF-8 text (not bytes: "ç" is one).
std::size_t caracteres(const std::string& texto);

// The text without its last four characters, taken to be the extension
// whatever they are: "C:\dados\rios.SHP" gives "C:\dados\rios".
std::string sem_ultimos_quatro(const std::string& texto);

}  // namespace kelvara
