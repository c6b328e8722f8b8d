#include "escreve_prj.h"

#include <system_error>

#include "falha.h"
#include "ficheiros.h"

namespace kelvara {

void escreve_prj(std::string_view texto, const std::string& fich_prj, const std::string& destino)
{
  // The line ends in CR LF on every platform.
  const std::string linha = std::string(texto) + "\r\n";
  std::error_code ec;
  if (!es::escreve_ficheiro(destino, linha, ec))
    throw falha("Não foi possível escrever o ficheiro de projecção " + entre_aspas(fich_prj) + ": " +
                descreve(ec) + ". O shapefile anterior ficou como estava.");
}

}  // namespace kelvara
