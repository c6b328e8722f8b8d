// Paths are UTF-8 strings throughout kelvara; these turn them into the
// platform's own paths (UTF-16 on Windows) and back, and count the
// characters of a UTF-8 text.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace kelvara {

inline std::filesystem::path caminho(std::string_view utf8)
{
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string texto(const std::filesystem::path& p)
{
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

// Number of characters of a UTF-8 text (not bytes: "ç" is one).
std::size_t caracteres(std::string_view texto);

// Byte offset where the last `n` characters of a UTF-8 text begin (0 when
// it has no more than n).
std::size_t inicio_dos_ultimos(std::string_view texto, int n);

}  // namespace kelvara
