#include "nomes.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "falha.h"
#include "ficheiros.h"

namespace kelvara {

std::string sem_ultimos_quatro(const std::string& texto)
{
  return texto.substr(0, inicio_dos_ultimos(texto, 4));
}

namespace {
bool separador(char c) { return c == '/' || c == '\\'; }
}  // namespace

std::vector<std::string> com_extensao(const std::string& base,
                                      std::span<const std::string_view> extensoes)
{
  // Each letter of the extension in either case, by asking for each name
  // (a listing of the folder would cost a batch into one folder its square):
  // 8 names for ".prj", the lower-case one first; where the system ignores
  // case, the one name finds them all.
  std::vector<std::string> r;
  for (const std::string_view ext : extensoes) {
    std::vector<std::size_t> letras;
    for (std::size_t i = 0; i < ext.size(); ++i)
      if (std::isalpha(static_cast<unsigned char>(ext[i]))) letras.push_back(i);
    const unsigned nomes = es::nomes_ignoram_caixa ? 1u : 1u << letras.size();
    for (unsigned m = 0; m < nomes; ++m) {
      std::string f = base + std::string(ext);
      for (std::size_t k = 0; k < letras.size(); ++k)
        if (m >> k & 1u) {
          char& c = f[base.size() + letras[k]];
          c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
      // A name that cannot be looked up (too long) names nothing.
      std::error_code ec;
      const auto t = std::filesystem::symlink_status(caminho(f), ec).type();
      if (!ec && t != std::filesystem::file_type::not_found) r.push_back(std::move(f));
    }
  }
  return r;
}

std::string com_extensao(const std::string& base, std::string_view ext)
{
  const std::vector<std::string> achados = com_extensao(base, std::span(&ext, 1));
  return achados.empty() ? std::string() : achados.front();
}

std::string recusa_nome(const std::string& texto, bool saida)
{
  const std::string qual = saida ? "do Sistema 2" : "do Sistema 1";
  const std::string base = sem_ultimos_quatro(texto);
  const std::string extensao = texto.substr(base.size());
  std::error_code ec;
  const bool pasta = (!texto.empty() && separador(texto.back())) ||
                     std::filesystem::is_directory(caminho(texto), ec) ||
                     (!base.empty() && separador(base.back()));
  if (saida && pasta)
    return "O texto " + entre_aspas(texto) + " do shapefile " + qual +
           " é o nome de uma pasta. Indique o ficheiro de saída, com um nome terminado em .shp "
           "(por exemplo, rios_etrs.shp).";
  bool certa = caracteres(extensao) == 4 && extensao[0] == '.';
  for (size_t i = 1; certa && i < extensao.size(); ++i)
    certa = !separador(extensao[i]) && extensao[i] != '.';
  if (!certa || base.empty() || separador(base.back()))
    return "O nome " + entre_aspas(texto) + " do shapefile " + qual +
           " tem de terminar em .shp (por exemplo, rios.shp).";
  return {};
}

}  // namespace kelvara
