// A plain shift of the origin: the same plane coordinates counted from
// another false origin (a grid whose origin lies some kilometres west and
// south of another's, on the same projection). One addition per axis,
// rounded once.
#pragma once

#include "polinomio.h"

namespace kelvara {

struct translacao {
  double dx, dy;  // added to x and to y, in metres
};

inline par translada(const translacao& d, double x, double y) { return {x + d.dx, y + d.dy}; }

}  // namespace kelvara
