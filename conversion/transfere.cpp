#include "transfere.h"

#include <charconv>

namespace kelvara {

namespace {
std::string numero(double v)
{
  char b[32];
  const auto r = std::to_chars(b, b + sizeof b, v);
  return std::string(b, r.ptr);
}
}  // namespace

void falha_coordenada(const ShapeFiles& entrada, int registo, int vertice, double x, double y,
                      par r)
{
  throw falha("O vértice " + std::to_string(vertice) + " do registo " + std::to_string(registo) +
              " de " + entre_aspas(entrada.path()) + " (" + numero(x) + "; " + numero(y) +
              ") não tem coordenadas transformadas finitas (" + numero(r.x) + "; " + numero(r.y) +
              "). A conversão foi interrompida.");
}

void falha_partes(const ShapeFiles& entrada, int registo, int partes)
{
  throw falha("O registo " + std::to_string(registo) + " de " + entre_aspas(entrada.path()) +
              " tem " + std::to_string(partes) +
              " partes; o número de uma parte não pode passar de 32767.");
}

}  // namespace kelvara
