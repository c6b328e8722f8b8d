#include "nomes.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "falha.h"

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
  namespace fs = std::filesystem;
  const fs::path b = caminho(base);
  const std::string nome = texto(b.filename());
  std::vector<std::pair<std::size_t, std::string>> achados;  // (extension's place, name)
  std::error_code ec;
  const fs::path pasta = b.has_parent_path() ? b.parent_path() : fs::path(".");
  for (fs::directory_iterator i(pasta, ec), fim; !ec && i != fim; i.increment(ec)) {
    const std::string f = texto(i->path().filename());
    if (f.size() <= nome.size() || f.compare(0, nome.size(), nome) != 0) continue;
    std::string ext = f.substr(nome.size());
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto e = std::find(extensoes.begin(), extensoes.end(), ext);
    if (e != extensoes.end())
      achados.emplace_back(static_cast<std::size_t>(e - extensoes.begin()) * 2 +
                               (f.compare(nome.size(), std::string::npos, ext) != 0),
                           f);
  }
  std::sort(achados.begin(), achados.end());
  std::vector<std::string> r;
  for (const auto& [lugar, f] : achados)
    r.push_back(b.has_parent_path() ? texto(b.parent_path() / caminho(f)) : f);
  return r;
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
