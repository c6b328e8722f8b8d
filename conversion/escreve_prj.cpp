#include "escreve_prj.h"

#include <system_error>

#include "falha.h"
#include "ficheiros.h"
#include "rotas.h"

namespace kelvara {

std::string_view texto_prj(const std::string& nome)
{
  const sistema* s = sistema_de(nome);
  return s ? s->prj : std::string_view{};
}

void escreve_prj(const std::string& sistema, const std::string& fich_prj, const std::string& destino)
{
  // The line ends in CR LF on every platform.
  const std::string linha = std::string(texto_prj(sistema)) + "\r\n";
  std::error_code ec;
  if (!es::escreve_ficheiro(destino, linha, ec))
    throw falha("Não foi possível escrever o ficheiro de projecção " + entre_aspas(fich_prj) + ": " +
                descreve(ec) + ". O shapefile anterior ficou como estava.");
}

}  // namespace kelvara
