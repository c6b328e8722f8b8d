#include "nomes.h"

#include <algorithm>
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

std::string recusa_nome(const std::string& texto, bool saida)
{
  const std::string qual = saida ? "do Sistema 2" : "do Sistema 1";
  const std::string base = sem_ultimos_quatro(texto);
  const std::string extensao = texto.substr(base.size());
  std::error_code ec;
  const bool pasta = (!texto.empty() && separador(texto.back())) ||
                     std::filesystem::is_directory(caminho(texto), ec) ||
                     (!base.empty() && separador(base.back()));
  if (ec == std::errc::filename_too_long)
    return "O nome " + entre_aspas(texto) + " do shapefile " + qual + " não pode ser usado: " +
           descreve(ec) + ".";
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
