// A horizontal shift grid of the NTv2 kind (the national mapping
// authority's between the old datums and ETRS89): at nodes of a regular
// grid of longitude and latitude, the shift of each, interpolated
// bilinearly between nodes and applied forwards (old datum to ETRS89) or,
// by iteration, backwards, as NTv2 and PROJ's hgridshift define them.
// Reading the grid from its file is the conversion's business.
#pragma once

#include <optional>
#include <vector>

#include "tmerc.h"

namespace kelvara {

struct grelha_ntv2 {
  int colunas = 0, linhas = 0;
  // The south-west node and the spacing, in radians.
  double oeste = 0, sul = 0, passo_lon = 0, passo_lat = 0;
  double por_lon = 0, por_lat = 0;  // 1 / passo_lon, 1 / passo_lat
  // At each node, from the south-west one, rows going north, each row going
  // east: the latitude shift and the longitude shift (positive east), in
  // radians, single precision.
  std::vector<float> desvios;

  // The shift at `g`; none outside the grid (beyond its edge nodes by more
  // than a hundred-billionth of a cell).
  std::optional<geografica> desvio(geografica g) const noexcept;
  // `g` in the old datum to ETRS89; none outside the grid.
  std::optional<geografica> aplica(geografica g) const noexcept;
  // `g` in ETRS89 back to the old datum, by iteration (at most 10 steps, to
  // 1e-12 rad; a step whose guess leaves the grid ends it there); none
  // when `g` is outside the grid or without convergence.
  std::optional<geografica> inverte(geografica g) const noexcept;
};

}  // namespace kelvara
