#include "ntv2.h"

#include <cmath>

namespace kelvara {

std::optional<geografica> grelha_ntv2::desvio(geografica g) const noexcept
{
  // Cell and place within it, the edges' rounding allowed for.
  double t_lon = (g.lon - oeste) * por_lon, t_lat = (g.lat - sul) * por_lat;
  if (!(std::isfinite(t_lon) && std::isfinite(t_lat))) return std::nullopt;
  const double fl_lon = std::floor(t_lon), fl_lat = std::floor(t_lat);
  if (fl_lon < -2 || fl_lon > colunas + 1 || fl_lat < -2 || fl_lat > linhas + 1) return std::nullopt;
  int i = static_cast<int>(fl_lon), j = static_cast<int>(fl_lat);
  double f_lon = t_lon - i, f_lat = t_lat - j;
  // A point on an edge node, give or take the rounding, takes the cell
  // inside; one beyond it is outside.
  const auto dentro = [](int& k, double& f, int nos) {
    if (k < 0) {
      if (k != -1 || !(f > 0.99999999999)) return false;
      k = 0;
      f = 0;
    } else if (k + 1 >= nos) {
      if (k + 1 != nos || !(f < 1e-11)) return false;
      --k;
      f = 1;
    }
    return true;
  };
  if (!dentro(i, f_lon, colunas) || !dentro(j, f_lat, linhas)) return std::nullopt;
  const auto no = [&](int a, int b) { return &desvios[2 * (static_cast<std::size_t>(b) * colunas + a)]; };
  const float *f00 = no(i, j), *f10 = no(i + 1, j), *f01 = no(i, j + 1), *f11 = no(i + 1, j + 1);
  // The weights of the four nodes, in NTv2's order of operations.
  double m10 = f_lon, m11 = m10, m01 = 1. - f_lon, m00 = m01;
  m11 *= f_lat;
  m01 *= f_lat;
  const double resto = 1. - f_lat;
  m00 *= resto;
  m10 *= resto;
  geografica d;
  d.lon = m00 * f00[1] + m10 * f10[1] + m01 * f01[1] + m11 * f11[1];
  d.lat = m00 * f00[0] + m10 * f10[0] + m01 * f01[0] + m11 * f11[0];
  return d;
}

std::optional<geografica> grelha_ntv2::aplica(geografica g) const noexcept
{
  const std::optional<geografica> d = desvio(g);
  if (!d) return std::nullopt;
  return geografica{g.lon + d->lon, g.lat + d->lat};
}

std::optional<geografica> grelha_ntv2::inverte(geografica g) const noexcept
{
  // As NTv2 inverts: from the point less its own shift, each step corrects
  // by how far the shifted guess misses the point.
  const std::optional<geografica> d0 = desvio(g);
  if (!d0) return std::nullopt;
  geografica t{g.lon - d0->lon, g.lat - d0->lat};
  constexpr double tolerancia = 1e-12 * 1e-12;
  int passos = 10;
  double dif_lon, dif_lat;
  do {
    // A guess that leaves the grid (the point near its edge) ends the
    // iteration where it is, as NTv2's inversion does.
    const std::optional<geografica> d = desvio(t);
    if (!d) break;
    dif_lon = t.lon + d->lon - g.lon;
    dif_lat = t.lat + d->lat - g.lat;
    t.lon -= dif_lon;
    t.lat -= dif_lat;
  } while (--passos && dif_lon * dif_lon + dif_lat * dif_lat > tolerancia);
  if (passos == 0) return std::nullopt;
  return t;
}

}  // namespace kelvara
