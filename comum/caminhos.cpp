#include "caminhos.h"

namespace kelvara {

namespace {
bool continuacao(unsigned char c) { return (c & 0xC0) == 0x80; }
}  // namespace

std::size_t caracteres(std::string_view texto)
{
  std::size_t n = 0;
  for (unsigned char c : texto)
    if (!continuacao(c)) ++n;
  return n;
}

std::size_t inicio_dos_ultimos(std::string_view texto, int n)
{
  std::size_t fim = texto.size();
  for (int i = 0; i < n && fim > 0; ++i) {
    --fim;
    while (fim > 0 && continuacao(static_cast<unsigned char>(texto[fim]))) --fim;
  }
  return fim;
}

}  // namespace kelvara
