#include "tmerc.h"

#include <cmath>

namespace kelvara {

namespace {

constexpr double graus = 0.017453292519943296;  // radians in a degree

// Clenshaw summation of sum c[k] sin(2(k+1)B), added to B: latitude to
// latitude, given sin 2B and cos 2B.
double gatg(const double* c, double b, double sin_2b, double cos_2b) noexcept
{
  const double dois_cos = 2 * cos_2b;
  double h = 0, h1 = c[5], h2 = 0;
  for (int k = 4; k >= 0; --k) {
    h = -h2 + dois_cos * h1 + c[k];
    h2 = h1;
    h1 = h;
  }
  return b + h * sin_2b;
}

double gatg(const double* c, double b) noexcept
{
  return gatg(c, b, std::sin(2 * b), std::cos(2 * b));
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

// The same for a complex argument (arg_r + i arg_i), given the sine and
// cosine of arg_r and the hyperbolic sine and cosine of arg_i: the real
// part is returned, the imaginary part in `im`.
double clens_complexo(const double* c, double sin_r, double cos_r, double sinh_i, double cosh_i,
                      double& im) noexcept
{
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

// The sine and cosine of a + d from those of a, for a small d (|d| <= 0.01:
// the series' first omitted term is below 1e-23); otherwise by the library.
void soma_angulo(double s, double c, double d, double& s2, double& c2) noexcept
{
  double sd, cd;
  if (std::abs(d) <= 0.01) {
    const double d2 = d * d;
    sd = d * (1 - d2 * (1 / 6.0) * (1 - d2 * (1 / 20.0) * (1 - d2 * (1 / 42.0))));
    cd = 1 - d2 * 0.5 * (1 - d2 * (1 / 12.0) * (1 - d2 * (1 / 30.0) * (1 - d2 * (1 / 56.0))));
  } else {
    sd = std::sin(d);
    cd = std::cos(d);
  }
  s2 = s * cd + c * sd;
  c2 = c * cd - s * sd;
}

// exp(d) for a small d (|d| <= 0.01), likewise.
double exp_pequeno(double d) noexcept
{
  if (std::abs(d) > 0.01) return std::exp(d);
  return 1 + d * (1 + d * 0.5 * (1 + d * (1 / 3.0) * (1 + d * 0.25 * (1 + d * 0.2 * (1 + d * (1 / 6.0))))));
}

}  // namespace

tmerc::tmerc(double a, double inverso_achatamento, double latitude0, double longitude0,
             double escala, double falso_este, double falso_norte)
    : lon0_(longitude0 * graus), x0_(falso_este), y0_(falso_norte),
      sin_lon0_(std::sin(lon0_)), cos_lon0_(std::cos(lon0_))
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

// The trigonometric and hyperbolic functions of double angles come from
// those of the angles by identities, those of an angle after a series'
// small correction from those before it, and the spherical steps' tangents
// go straight into the series (as PROJ's own implementation does): a third
// of the library calls of the textbook order, the same result to the
// nanometre.
geografica_trig tmerc::para_geografica_trig(double x, double y) const noexcept
{
  const double q = qn_;
  const double cn = (y - y0_ - zb_) / q;
  const double ce = (x - x0_) / q;
  // Ellipsoidal plane -> complex spherical latitude and longitude.
  const double s1 = std::sin(cn), c1 = std::cos(cn);
  const double e1 = std::exp(ce), e2 = e1 * e1, ie2 = 1 / e2;
  double dce;
  const double dcn =
      clens_complexo(utg_, 2 * s1 * c1, c1 * c1 - s1 * s1, (e2 - ie2) / 2, (e2 + ie2) / 2, dce);
  double sin_cn, cos_cn;
  soma_angulo(s1, c1, dcn, sin_cn, cos_cn);
  // The spherical longitude atan(sinh ce): its sine tanh ce, its cosine
  // 1 / cosh ce.
  const double e = e1 * exp_pequeno(dce), ie = 1 / e;
  const double cosh_ce = (e + ie) / 2;
  const double sin_ce = (e - ie) / 2 / cosh_ce, cos_ce = 1 / cosh_ce;
  // -> conformal latitude and longitude.
  const double cc = cos_ce * cos_cn;
  // atan for atan2: the denominators are positive (within a quarter turn
  // of the central meridian), and atan is the cheaper call.
  const double lam = std::atan(sin_ce / cc);
  const double py = sin_cn * cos_ce, px = std::sqrt(sin_ce * sin_ce + cc * cc);
  const double lat = std::atan(py / px);
  // -> geodetic latitude; sin and cos of twice it from its tangent's parts.
  const double r2 = px * px + py * py, r = std::sqrt(r2);
  const double fi = gatg(cgb_, lat, 2 * px * py / r2, (px * px - py * py) / r2);
  geografica_trig t{{lam + lon0_, fi}};
  soma_angulo(py / r, px / r, fi - lat, t.sin_lat, t.cos_lat);
  // The longitude's, from the spherical longitude's and the origin's.
  const double rl = std::sqrt(sin_ce * sin_ce + cc * cc);
  const double sl = sin_ce / rl, cl = cc / rl;
  t.sin_lon = sl * cos_lon0_ + cl * sin_lon0_;
  t.cos_lon = cl * cos_lon0_ - sl * sin_lon0_;
  return t;
}

void tmerc::para_plano(geografica g, double& x, double& y, const geografica_trig* perto) const noexcept
{
  const double lam = g.lon - lon0_;
  double sb, cb, sin_l, cos_l;
  if (perto) {
    soma_angulo(perto->sin_lat, perto->cos_lat, g.lat - perto->g.lat, sb, cb);
    double so, co;  // of the longitude, then of its difference from the origin's
    soma_angulo(perto->sin_lon, perto->cos_lon, g.lon - perto->g.lon, so, co);
    sin_l = so * cos_lon0_ - co * sin_lon0_;
    cos_l = co * cos_lon0_ + so * sin_lon0_;
  } else {
    sb = std::sin(g.lat);
    cb = std::cos(g.lat);
    sin_l = std::sin(lam);
    cos_l = std::cos(lam);
  }
  // Geodetic -> conformal latitude.
  const double cn = gatg(cbg_, g.lat, 2 * sb * cb, cb * cb - sb * sb);
  // -> complex spherical coordinates: the latitude Cn, and the longitude
  // by its tangent (Ce = asinh(tan Ce')).
  double sin_cn, cos_cn;
  soma_angulo(sb, cb, cn - g.lat, sin_cn, cos_cn);
  const double cc = cos_cn * cos_l;
  const double cn_s = std::atan(sin_cn / cc);
  const double inv = 1 / std::sqrt(sin_cn * sin_cn + cc * cc);  // all within [-1, 1]
  const double tan_ce = sin_l * cos_cn * inv;
  const double t2 = tan_ce * tan_ce, raiz = std::sqrt(1 + t2);
  const double ce = std::log(tan_ce + raiz);  // asinh, to 1e-16 absolute
  // The double angles: sin 2Cn and cos 2Cn from Cn's sine and cosine,
  // sinh 2Ce and cosh 2Ce from sinh Ce = tan_ce.
  const double inv2 = inv * inv;
  const double sin_2cn = 2 * sin_cn * cc * inv2, cos_2cn = (cc * cc - sin_cn * sin_cn) * inv2;
  const double sinh_2ce = 2 * tan_ce * raiz, cosh_2ce = 1 + 2 * t2;
  // -> ellipsoidal plane.
  double dce;
  const double dcn = clens_complexo(gtu_, sin_2cn, cos_2cn, sinh_2ce, cosh_2ce, dce);
  x = qn_ * (ce + dce) + x0_;
  y = qn_ * (cn_s + dcn) + zb_ + y0_;
}

}  // namespace kelvara
