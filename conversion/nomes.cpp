#include "nomes.h"

namespace kelvara {

std::string sem_ultimos_quatro(const std::string& texto)
{
  return texto.substr(0, inicio_dos_ultimos(texto, 4));
}

}  // namespace kelvara
