// Reading the program's own text files (grid and parameter files): the
// whole file at once, and numbers with "." as the decimal point whatever
// the locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace kelvara {

// The whole content of a file named by a UTF-8 path. No value when it
// cannot be opened, or is no file (a FIFO, a device); `erro_leitura` is set
// when it opened but could not be read to its end (a folder, where the
// system opens one).
std::optional<std::string> le_ficheiro(const std::string& caminho, bool& erro_leitura);

// A decimal number with optional sign and exponent, the whole field and
// nothing else; "inf", "nan" and hexadecimal are not numbers here.
// std::errc::result_out_of_range for a number beyond a double's range.
std::errc le_numero(std::string_view campo, double& valor);

}  // namespace kelvara
