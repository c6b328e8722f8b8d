// Datum Lisboa grid files made by the tests: a grid from a rule for its
// nodes, and its text in one of several layouts.
#pragma once

#include <charconv>
#include <string>

#include "grelha.h"

namespace kelvara::teste {

// x and y of the node in column j and row i.
inline double x_do_no(int j) { return limite_oeste + (j - 1) * passo; }
inline double y_do_no(int i) { return limite_norte - (i - 1) * passo; }

template <class F>
grelha grelha_de(F valor)
{
  grelha g;
  for (int i = 1; i <= linhas; ++i)
    for (int j = 1; j <= colunas; ++j) g(i, j) = valor(i, j);
  return g;
}

// The shortest text that reads back to the same double.
inline std::string numero_exato(double v, std::chars_format forma = std::chars_format::general)
{
  char b[40];
  return std::string(b, std::to_chars(b, b + sizeof b, v, forma).ptr);
}

enum class disposicao {
  um_por_linha,
  linhas_com_virgulas,  // a row per line, separators and number forms mixed
  tudo_numa_linha,      // blanks only, no line break
};

inline std::string texto_de(const grelha& g, disposicao d)
{
  static const char* const separadores[] = {",", ", ", " ,\t", " , ", ",  "};
  std::string t;
  for (int i = 1; i <= linhas; ++i)
    for (int j = 1; j <= colunas; ++j) {
      const double v = g(i, j);
      switch (d) {
        case disposicao::um_por_linha:
          t += numero_exato(v) + "\n";
          break;
        case disposicao::tudo_numa_linha:
          t += numero_exato(v) + (j % 2 ? " " : "\t  ");
          break;
        case disposicao::linhas_com_virgulas:
          if (j % 5 == 0)
            t += numero_exato(v, std::chars_format::scientific);
          else
            t += (j % 7 == 3 && v >= 0 ? "+" : "") + numero_exato(v);
          if (j < colunas)
            t += separadores[(i + j) % 5];
          else
            t += i % 2 ? "\r\n" : "\n";
          break;
      }
    }
  return t;
}

}  // namespace kelvara::teste
