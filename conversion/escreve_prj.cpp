#include "escreve_prj.h"

#include <cerrno>
#include <cstdio>

#include "falha.h"
#include "ficheiros.h"
#include "nomes.h"
#include "rotas.h"
#include "so.h"

namespace kelvara {

std::string_view texto_prj(const std::string& nome)
{
  const sistema* s = sistema_de(nome);
  return s ? s->prj : std::string_view{};
}

void escreve_prj(const std::string& sistema, const std::string& fich3a, std::string& fich_prj)
{
  const std::string_view texto = texto_prj(sistema);
  if (texto.empty()) return;
  fich_prj = sem_ultimos_quatro(fich3a) + ".prj";
  const std::string aviso = "O shapefile " + entre_aspas(fich3a) +
                            " foi criado, mas não foi possível escrever o ficheiro de projecção " +
                            entre_aspas(fich_prj) + ": ";
  // Binary mode: the line ends in CR LF on every platform.
  std::FILE* f = es::abre(fich_prj, "wb");
  if (!f) throw falha(aviso + descreve(es::erro_so()) + ".");
  const bool escrito = std::fwrite(texto.data(), 1, texto.size(), f) == texto.size() &&
                       std::fwrite("\r\n", 1, 2, f) == 2;
  const int erro_escrita = errno;
  const bool fechado = std::fclose(f) == 0;
  if (!escrito || !fechado) {
    std::error_code ignorado;
    es::remove(fich_prj, ignorado);  // never leave half a line behind
    throw falha(aviso + descreve(std::error_code(escrito ? errno : erro_escrita,
                                                     std::generic_category())) + ".");
  }
}

}  // namespace kelvara
