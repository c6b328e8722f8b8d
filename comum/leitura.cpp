#include "leitura.h"

#include <charconv>
#include <filesystem>
#include <fstream>

#include "caminhos.h"

namespace kelvara {

std::optional<std::string> le_ficheiro(const std::string& nome, bool& erro_leitura)
{
  erro_leitura = false;
  // A FIFO or a device would never end or would wait for ever: only files
  // (and folders, which fail to read) are opened.
  std::error_code ec;
  const auto s = std::filesystem::status(caminho(nome), ec).type();
  if (s != std::filesystem::file_type::regular && s != std::filesystem::file_type::directory)
    return std::nullopt;
  std::ifstream f(caminho(nome), std::ios::binary);
  if (!f.is_open()) return std::nullopt;
  std::string conteudo;
  char bloco[1 << 14];
  do {
    f.read(bloco, sizeof bloco);
    conteudo.append(bloco, std::size_t(f.gcount()));
  } while (f);
  erro_leitura = f.bad();
  return conteudo;
}

std::errc le_numero(std::string_view campo, double& v)
{
  std::string_view s = campo;
  // from_chars takes no leading '+'; "+-1" must still fail.
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s.front() == '-') return std::errc::invalid_argument;
  }
  // Decimal notation only: from_chars would also take "inf" and "nan".
  if (s.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
    return std::errc::invalid_argument;
  const auto [fim, erro] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (erro == std::errc{} && fim != s.data() + s.size()) return std::errc::invalid_argument;
  return erro;
}

}  // namespace kelvara
