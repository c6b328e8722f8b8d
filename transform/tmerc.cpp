#include "tmerc.h"

#include <cmath>

namespace kelvara {

namespace {

constexpr double graus = 0.017453292519943296;  // radians in a degree

// Clenshaw summation of sum c[k] sin(2(k+1)B), added to B: latitude to
// latitude.
double gatg(const double* c, double b) noexcept
{
  const double cos_2b = 2 * std::cos(2 * b);
  double h = 0, h1 = c[5], h2 = 0;
  for (int k = 4; k >= 0; --k) {
    h = -h2 + cos_2b * h1 + c[k];
    h2 = h1;
    h1 = h;
  }
  return b + h * std::sin(2 * b);
}

// Clenshaw summation of sum c[k] sin((k+1) arg), real argument.
double clens(const double* c, double arg) noexcept
{
  const double r = 2 * std::cos(arg);
  double hr = c[5], hr1 = 0, hr2;
  for (int k = 4; k >= 0; --k) {
    hr2 = hr1;
    hr1 = hr;
    hr = -hr2 + r * hr1 + c[k];
  }
  return std::sin(arg) * hr;
}

// The same for a complex argument (arg_r + i arg_i): the real part is
// returned, the imaginary part in `im`.
double clens_complexo(const double* c, double arg_r, double arg_i, double& im) noexcept
{
  const double sin_r = std::sin(arg_r), cos_r = std::cos(arg_r);
  const double sinh_i = std::sinh(arg_i), cosh_i = std::cosh(arg_i);
  double r = 2 * cos_r * cosh_i, i = -2 * sin_r * sinh_i;
  double hr = c[5], hr1 = 0, hr2, hi = 0, hi1 = 0, hi2;
  for (int k = 4; k >= 0; --k) {
    hr2 = hr1;
    hi2 = hi1;
    hr1 = hr;
    hi1 = hi;
    hr = -hr2 + r * hr1 - i * hi1 + c[k];
    hi = -hi2 + i * hr1 + r * hi1;
  }
  r = sin_r * cosh_i;
  i = cos_r * sinh_i;
  im = r * hi + i * hr;
  return r * hr - i * hi;
}

}  // namespace

tmerc::tmerc(double a, double inverso_achatamento, double latitude0, double longitude0,
             double escala, double falso_este, double falso_norte)
    : lon0_(longitude0 * graus), x0_(falso_este), y0_(falso_norte)
{
  // The third flattening, from the first eccentricity as PROJ derives it.
  const double f0 = 1 / inverso_achatamento;
  const double es = f0 * (2 - f0);
  const double f = es / (1 + std::sqrt(1 - es));
  const double n = f / (2 - f);
  // Geodetic <-> conformal latitude (Engsager and Poder 2007, 6th order;
  // from Koenig and Weise, "Mathematische Grundlagen der hoeheren Geodaesie
  // und Kartographie", 1951, pp. 186-191, eqs. 51-52 and 61-62).
  double np = n;
  cgb_[0] = n * (2 + n * (-2 / 3.0 + n * (-2 + n * (116 / 45.0 + n * (26 / 45.0 + n * (-2854 / 675.0))))));
  cbg_[0] = n * (-2 + n * (2 / 3.0 + n * (4 / 3.0 + n * (-82 / 45.0 + n * (32 / 45.0 + n * (4642 / 4725.0))))));
  np = n * n;
  cgb_[1] = np * (7 / 3.0 + n * (-8 / 5.0 + n * (-227 / 45.0 + n * (2704 / 315.0 + n * (2323 / 945.0)))));
  cbg_[1] = np * (5 / 3.0 + n * (-16 / 15.0 + n * (-13 / 9.0 + n * (904 / 315.0 + n * (-1522 / 945.0)))));
  np *= n;
  cgb_[2] = np * (56 / 15.0 + n * (-136 / 35.0 + n * (-1262 / 105.0 + n * (73814 / 2835.0))));
  cbg_[2] = np * (-26 / 15.0 + n * (34 / 21.0 + n * (8 / 5.0 + n * (-12686 / 2835.0))));
  np *= n;
  cgb_[3] = np * (4279 / 630.0 + n * (-332 / 35.0 + n * (-399572 / 14175.0)));
  cbg_[3] = np * (1237 / 630.0 + n * (-12 / 5.0 + n * (-24832 / 14175.0)));
  np *= n;
  cgb_[4] = np * (4174 / 315.0 + n * (-144838 / 6237.0));
  cbg_[4] = np * (-734 / 315.0 + n * (109598 / 31185.0));
  np *= n;
  cgb_[5] = np * (601676 / 22275.0);
  cbg_[5] = np * (444337 / 155925.0);

  // The normalised meridian quadrant (Koenig and Weise p. 50, eq. 96) and
  // the series between the ellipsoidal and the spherical plane (p. 194,
  // eq. 65, and p. 196, eq. 69), 6th order.
  np = n * n;
  qn_ = escala / (1 + n) * (1 + np * (1 / 4.0 + np * (1 / 64.0 + np / 256.0)));
  utg_[0] = n * (-0.5 + n * (2 / 3.0 + n * (-37 / 96.0 + n * (1 / 360.0 + n * (81 / 512.0 + n * (-96199 / 604800.0))))));
  gtu_[0] = n * (0.5 + n * (-2 / 3.0 + n * (5 / 16.0 + n * (41 / 180.0 + n * (-127 / 288.0 + n * (7891 / 37800.0))))));
  utg_[1] = np * (-1 / 48.0 + n * (-1 / 15.0 + n * (437 / 1440.0 + n * (-46 / 105.0 + n * (1118711 / 3870720.0)))));
  gtu_[1] = np * (13 / 48.0 + n * (-3 / 5.0 + n * (557 / 1440.0 + n * (281 / 630.0 + n * (-1983433 / 1935360.0)))));
  np *= n;
  utg_[2] = np * (-17 / 480.0 + n * (37 / 840.0 + n * (209 / 4480.0 + n * (-5569 / 90720.0))));
  gtu_[2] = np * (61 / 240.0 + n * (-103 / 140.0 + n * (15061 / 26880.0 + n * (167603 / 181440.0))));
  np *= n;
  utg_[3] = np * (-4397 / 161280.0 + n * (11 / 504.0 + n * (830251 / 7257600.0)));
  gtu_[3] = np * (49561 / 161280.0 + n * (-179 / 168.0 + n * (6601661 / 7257600.0)));
  np *= n;
  utg_[4] = np * (-4583 / 161280.0 + n * (108847 / 3991680.0));
  gtu_[4] = np * (34729 / 80640.0 + n * (-3418889 / 1995840.0));
  np *= n;
  utg_[5] = np * (-20648693 / 638668800.0);
  gtu_[5] = np * (212378941 / 319334400.0);

  // The origin latitude's conformal latitude, and its northing.
  const double z = gatg(cbg_, latitude0 * graus);
  zb_ = -qn_ * (z + clens(gtu_, 2 * z));
  // Plane units: metres, through a.
  qn_ *= a;
  zb_ *= a;
}

geografica tmerc::para_geografica(double x, double y) const noexcept
{
  const double q = qn_;
  double cn = (y - y0_ - zb_) / q;
  double ce = (x - x0_) / q;
  // Ellipsoidal plane -> complex spherical latitude and longitude.
  double dce;
  cn += clens_complexo(utg_, 2 * cn, 2 * ce, dce);
  ce += dce;
  ce = std::atan(std::sinh(ce));
  // -> conformal latitude and longitude.
  const double sin_cn = std::sin(cn), cos_cn = std::cos(cn);
  const double sin_ce = std::sin(ce), cos_ce = std::cos(ce);
  const double lam = std::atan2(sin_ce, cos_ce * cos_cn);
  const double lat = std::atan2(sin_cn * cos_ce, std::hypot(sin_ce, cos_ce * cos_cn));
  // -> geodetic latitude.
  return {lam + lon0_, gatg(cgb_, lat)};
}

void tmerc::para_plano(geografica g, double& x, double& y) const noexcept
{
  const double lam = g.lon - lon0_;
  // Geodetic -> conformal latitude.
  double cn = gatg(cbg_, g.lat);
  // -> complex spherical coordinates.
  const double sin_cn = std::sin(cn), cos_cn = std::cos(cn);
  const double sin_ce = std::sin(lam), cos_ce = std::cos(lam);
  cn = std::atan2(sin_cn, cos_ce * cos_cn);
  double ce = std::atan2(sin_ce * cos_cn, std::hypot(sin_cn, cos_cn * cos_ce));
  ce = std::asinh(std::tan(ce));
  // -> ellipsoidal plane.
  double dce;
  cn += clens_complexo(gtu_, 2 * cn, 2 * ce, dce);
  ce += dce;
  x = qn_ * ce + x0_;
  y = qn_ * cn + zb_ + y0_;
}

}  // namespace kelvara
