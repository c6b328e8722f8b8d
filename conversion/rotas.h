// The route catalogue: the fifteen reference systems and the conversions
// between them, as data. The conversion command routes a pair of names
// here, the projection writer takes its text from here, kelvara-cli lists
// it, and the window fills its lists and applies its selection rules from
// it. A system or a route is added in one row.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "ficheiros_grelha.h"
#include "ilhas.h"
#include "polinomio.h"

namespace kelvara {

enum class papel { fonte, destino, ambos };

// A transverse Mercator projection as a projection file defines it: the
// ellipsoid, the origin in degrees from Greenwich, the scale factor and the
// false origin in metres.
struct projeccao {
  double a = 0, inverso_achatamento = 0;
  double latitude0 = 0, longitude0 = 0, escala = 0;
  double falso_este = 0, falso_norte = 0;
};

// Where a system's coordinates can lie: the box of the area of use of its
// EPSG systems, in its own plane coordinates (metres), widened on every
// side by `margem`.
struct area {
  double x_min = 0, y_min = 0, x_max = 0, y_max = 0;
  double margem = 0;
  bool vazia() const { return x_min == x_max; }
};

struct sistema {
  std::string_view nome;  // matched exactly, case included
  kelvara::papel papel;
  // The projection file's text for an output in this system; empty where
  // no projection file is written.
  std::string_view prj;
  // Place in the window's source list (from 1); 0 where it is not offered
  // there.
  int na_janela = 0;
  // Converts with the user's parameter files (the window's extended layout).
  bool parametros = false;
  // The EPSG systems it is (0 where fewer), its projection, its area.
  std::array<int, 2> epsg{};
  kelvara::projeccao projeccao{};
  kelvara::area area{};
};

// One transformation routine of a route.
enum class tipo_rotina { polinomio, ilha, grelha, parametros };

struct rotina {
  std::string_view nome;  // "transf_01"
  tipo_rotina tipo;
  const coeficientes* conjunto = nullptr;      // polinomio
  const coeficientes_ilha* ilha = nullptr;     // ilha
  sentido direcao = sentido::de_73_para_lisboa;  // grelha
};

struct rota {
  const sistema* sistema1;
  // The target; with `qualquer_destino`, what the window offers as target
  // while any text of "Sistema 2" will do.
  const sistema* sistema2;
  bool qualquer_destino;
  const rotina* passo1;
  const rotina* passo2;  // null for a route of one step
  bool na_janela;       // the window's target list offers it
  // A projection file is written for the target.
  bool escreve_prj() const { return !qualquer_destino && !sistema2->prj.empty(); }
};

std::span<const sistema> sistemas();
std::span<const rota> rotas();

// The system of that exact name; null when there is none.
const sistema* sistema_de(std::string_view nome);

// The window's source list, in its order.
std::vector<const sistema*> fontes_da_janela();
// The routes from `s` that the window's target list offers, in order.
std::vector<const rota*> destinos_da_janela(const sistema& s);

}  // namespace kelvara
