// Second-degree polynomial transformations from the local datums of the
// Azores and Madeira to ITRF93, each on the UTM grid of its own zone.
//
// One official coefficient set per local datum, named after the routine that
// uses it, quoted in the shortest decimal form that reads back to the stored
// double. They run one way only, from the local datum to ITRF93.
//
// The island form reduces both axes by one divisor k (1000: kilometres),
// evaluates the polynomials with the mainland term and evaluation order, then
// multiplies the polynomial values by k and adds the reduction origin back.
// So A0 and B0 are shifts in kilometres and A1 and B2 scale factors near 1.
#pragma once

#include "polinomio.h"

namespace kelvara {

struct coeficientes_ilha {
  double x0, y0;  // reduction origin, also the output origin
  double k;       // divisor of both shifted input coordinates
  double A[6];    // X: constant, u, v, u², u·v, v²
  double B[6];    // Y: likewise
};

// Reduce by k, evaluate PX then PY, multiply each by k, add the origin back.
par polinomio_ilha(const coeficientes_ilha& c, double x, double y);

// Açores - G.Oriental - UTM 26 S. Bráz to UTM 26 ITRF93.
inline constexpr coeficientes_ilha conjunto_54{
    640000.0, 4162500.0, 1000.0,
    {0.0308131618911835, 0.999991489962972, -7.45713596476291e-07, -1.99104520804462e-08,
     -1.79194248406132e-09, -6.07853094877091e-09},
    {0.0369254752584993, 2.1191867539581e-07, 0.999993061467383, -1.12214893719642e-08,
     -2.10453652500876e-08, 3.00096580084066e-08}};

// Açores - Faial - UTM 26 Base SW to UTM 26 ITRF93.
inline constexpr coeficientes_ilha conjunto_64{
    352000.0, 4271000.0, 1000.0,
    {0.101206805671736, 0.999990429992338, -2.25243961668953e-07, 5.22650276598894e-08,
     5.90636172973907e-08, 1.6540301888395e-07},
    {-0.08400035671154, 9.39393911264284e-09, 0.999990375198285, -3.75929368356342e-08,
     2.19351250060129e-09, -2.42723769357909e-08}};

// Açores - Graciosa - UTM 26 Base SW to UTM 26 ITRF93.
inline constexpr coeficientes_ilha conjunto_74{
    413000.0, 4323500.0, 1000.0,
    {0.100674857676936, 0.999990649344717, -3.00196727510784e-08, -9.09501683811631e-08,
     -3.90163184741953e-07, -1.59969027894257e-07},
    {-0.0845570344026975, -9.04072984713733e-07, 0.999991690977421, -2.32528712515849e-08,
     2.39995788666397e-08, -7.85131529932658e-08}};

// Açores - Pico - UTM 26 Base SW to UTM 26 ITRF93.
inline constexpr coeficientes_ilha conjunto_84{
    385500.0, 4258000.0, 1000.0,
    {0.101363891461694, 0.999994250712191, 2.83845464688288e-06, -1.90291426186191e-08,
     2.58640450231126e-07, 3.50388217402337e-07},
    {-0.0839144321133774, 2.54801649043051e-06, 0.999994930235757, 3.53300908822062e-08,
     1.60492403376741e-07, 1.94281033366394e-07}};

// Açores - São Jorge - UTM 26 Base SW to UTM 26 ITRF93.
inline constexpr coeficientes_ilha conjunto_94{
    410500.0, 4277000.0, 1000.0,
    {0.100653418810238, 0.999990659984363, -7.34090481950499e-07, 2.18653056819929e-07,
     6.70710607032559e-07, 5.71030716259256e-07},
    {-0.0840602538926401, -6.62246061316027e-08, 0.999990157497228, -1.30269225544592e-07,
     -5.38121481284661e-07, -5.03961022475e-07}};

// Açores - Terceira - UTM 26 Base SW to UTM 26 ITRF93.
inline constexpr coeficientes_ilha conjunto_104{
    482500.0, 4286000.0, 1000.0,
    {0.0999980227446522, 0.999990860179393, -2.28148150328984e-07, 4.38183771002151e-08,
     3.32613985798997e-08, 1.31189631382588e-07},
    {-0.0841553344285107, 7.58907025181724e-08, 0.999990850065227, -5.76568116971043e-09,
     -7.39386040476027e-09, 2.0014565195954e-09}};

// Açores - G.Ocidental - UTM 25 Observatório to UTM 25 ITRF93.
inline constexpr coeficientes_ilha conjunto_114{
    657000.0, 4372000.0, 1000.0,
    {-0.376843789957001, 0.999999980371064, -4.35915901521253e-06, 1.46054311703893e-07,
     1.48385315632337e-06, -3.72034837661851e-07},
    {0.0664193511210203, 7.4793279800184e-06, 0.999990484350432, 5.06836040627687e-07,
     4.73963693604537e-07, -2.60078398105345e-07}};

// Madeira - UTM 28 Base SE to UTM 28 ITRF93. Reduced about the grid origin,
// not a local centre: u and v are the full coordinates in kilometres.
inline constexpr coeficientes_ilha conjunto_124{
    0.0, 0.0, 1000.0,
    {2.36409143505786, 1.00032117557549, -0.00152177643613166, 1.82965540728405e-08,
     -9.32801389883223e-08, 2.1217411513011e-07},
    {-0.745015675785352, 9.09476115886583e-05, 1.00060391562386, 3.17918839508167e-08,
     -2.81181619981453e-08, -8.30335482367806e-08}};

}  // namespace kelvara
