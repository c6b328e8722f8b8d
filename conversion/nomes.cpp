#include "nomes.h"

namespace kelvara {

namespace {
bool continuacao(unsigned char c) { return (c & 0xC0) == 0x80; }
}  // namespace

std::size_t caracteres(const std::string& texto)
{
  std::size_t n = 0;
  for (unsigned char c : texto)
    if (!continuacao(c)) ++n;
  return n;
}

std::string sem_ultimos_quatro(const std::string& texto)
{
  std::size_t fim = texto.size();
  for (int i = 0; i < 4 && fim > 0; ++i) {
    --fim;
    while (fim > 0 && continuacao(static_cast<unsigned char>(texto[fim]))) --fim;
  }
  return texto.substr(0, fim);
}

}  // namespace kelvara
