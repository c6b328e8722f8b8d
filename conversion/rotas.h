// The route catalogue: the reference systems and the conversions between
// them, as data. The conversion command routes a pair of names here, the
// projection writer takes its text from here, kelvara-cli lists it, and the
// window fills its lists and applies its selection rules from it. A system
// is one row of facts; a route is one row naming its two systems, its steps
// (any number, run in order) and the projection text it writes.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "translacao.h"
#include "grelha.h"
#include "ilhas.h"
#include "polinomio.h"

namespace kelvara {

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

// The datum of a mainland system, for DGT's NTv2 grids, which take Datum 73
// and Datum Lisboa to ETRS89; `outro` for the islands' and "Qualquer".
enum class datum { outro, d73, lisboa, etrs89 };

struct sistema {
  std::string_view nome;  // matched exactly, case included
  // The projection file's text for a file in this system; empty where it
  // has none.
  std::string_view prj;
  // Converts with the user's parameter files (the window's extended layout).
  bool parametros = false;
  // The codes that name it ("EPSG:27493", "ESRI:102161"; empty where
  // fewer), its projection, its area.
  std::array<std::string_view, 4> codigos{};
  kelvara::projeccao projeccao{};
  kelvara::area area{};
  // The projection file PROJ writes for its first code, where it is a
  // target (kelvara-cli --prj-epsg); empty where it has none.
  std::string_view prj_epsg{};
  // Where `area` comes from: the EPSG system or transformation whose area
  // of use it is; empty for an area shifted from another system's.
  std::string_view origem_area{};
  kelvara::datum datum = datum::outro;
};

// One step of a route: a transformation of one kind, with its parameters.
// `dgt`: the whole route by DGT's NTv2 grids, from the route's source
// system to its target (inverse transverse Mercator, the grid of the
// source's datum, the target's inverted, transverse Mercator).
enum class tipo_etapa { polinomio, ilha, grelha, parametros, translacao, dgt };

struct etapa {
  std::string_view nome;  // "transf_01"
  tipo_etapa tipo;
  const coeficientes* conjunto = nullptr;        // polinomio
  const coeficientes_ilha* ilha = nullptr;       // ilha
  sentido direcao = sentido::de_73_para_lisboa;  // grelha
  kelvara::translacao desvio{};                  // translacao
};

struct rota {
  const sistema* sistema1;
  // The target; with `qualquer_destino`, what the window offers as target
  // while any text of "Sistema 2" will do.
  const sistema* sistema2;
  bool qualquer_destino;
  std::vector<etapa> etapas;  // in the order they run
  // Written beside the output as its projection file; empty: none.
  std::string_view prj;
  bool na_janela;  // the window's target list offers it
};

// The systems, in the order of the window's source list (which offers
// those that are the source of a route), and the routes, in the order of
// the window's target lists.
std::span<const sistema> sistemas();
std::span<const rota> rotas();

// The system of that exact name; null when there is none.
const sistema* sistema_de(std::string_view nome);

// The systems a code names: "EPSG:27493", "esri:102160", or a bare number,
// which is EPSG's. None when `texto` is no code or names no system; several
// where one code stands for several (the central Azores group's).
std::vector<const sistema*> sistemas_do_codigo(std::string_view texto);

// The name of the system `texto` names, by its name or by a code that
// names only it; `texto` itself otherwise.
std::string_view nome_do_sistema(std::string_view texto);

// The route from the system named `s1` to the one named `s2` (any text for
// a route of `qualquer_destino`); null when there is none. With `dgt`, the
// route by DGT's NTv2 grids: between mainland systems of two datums one
// step of that kind, between a military grid and its central system the
// shift of the origin as ever; null for any other pair.
const rota* rota_de(std::string_view s1, std::string_view s2, bool dgt = false);
// Every route from the system named `s1`, in order; none when it is no
// route's source.
std::vector<const rota*> destinos_de(std::string_view s1);

// The systems that are the source of a route, in order.
std::vector<const sistema*> fontes();

// What a system is in the routes: "fonte", "destino" or "ambos".
std::string_view papel(const sistema& s);

}  // namespace kelvara
