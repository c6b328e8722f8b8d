// Paths are UTF-8 strings throughout kelvara; these turn them into the
// platform's own paths (UTF-16 on Windows) and back.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kelvara {

inline std::filesystem::path caminho_utf8(std::string_view utf8)
{
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string texto_utf8(const std::filesystem::path& p)
{
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace kelvara
