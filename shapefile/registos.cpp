#include "registos.h"

#include <climits>
#include <cstdio>

#include "blocos.h"

namespace kelvara {

namespace {

inline bool tipo_partes(int t)
{
  return t == SHPT_POLYGON || t == SHPT_ARC || t == SHPT_POLYGONZ || t == SHPT_POLYGONM ||
         t == SHPT_ARCZ || t == SHPT_ARCM || t == SHPT_MULTIPATCH;
}
inline bool tipo_multiponto(int t)
{
  return t == SHPT_MULTIPOINT || t == SHPT_MULTIPOINTM || t == SHPT_MULTIPOINTZ;
}

}  // namespace

// The rules of shapelib's reader, in its order: a record too short for its
// counts, counts beyond its limits (50 million vertices, 10 million parts)
// or part starts outside the vertices or out of order are refused; the
// measures are read wherever the record is long enough to hold them. A
// negative count, which shapelib lets through into arrays of no size, is
// refused here too.
leitura analisa_forma(const unsigned char* r, long long tamanho, registo_lido& l)
{
  const int t = l.tipo;
  if (tipo_partes(t)) {
    if (tamanho < 52) return leitura::formato;
    const std::int32_t n = static_cast<std::int32_t>(le32(r + 48));
    const std::int32_t np = static_cast<std::int32_t>(le32(r + 44));
    if (n > 50 * 1000 * 1000 || np > 10 * 1000 * 1000 || n < 0 || np < 0) return leitura::formato;
    const bool z = t == SHPT_POLYGONZ || t == SHPT_ARCZ || t == SHPT_MULTIPATCH;
    long long preciso = 52 + 4LL * np + 16LL * n;
    if (z) preciso += 16 + 8LL * n;
    if (t == SHPT_MULTIPATCH) preciso += 4LL * np;
    if (preciso > tamanho) return leitura::formato;
    l.partes = np;
    l.vertices = n;
    l.inicios = r + 52;
    std::int32_t antes = 0;
    for (int i = 0; i < np; ++i) {
      const std::int32_t s = static_cast<std::int32_t>(le32(l.inicios + 4 * i));
      if (s < 0 || (s >= n && n > 0) || (s > 0 && n == 0)) return leitura::partes;
      if (i > 0 && s <= antes) return leitura::partes;
      antes = s;
    }
    long long desl = 52 + 4LL * np;
    if (t == SHPT_MULTIPATCH) {
      l.tipos = r + desl;
      desl += 4LL * np;
    }
    l.xy = r + desl;
    desl += 16LL * n;
    if (z) {
      l.z = r + desl + 16;
      desl += 16 + 8LL * n;
    }
    if (tamanho >= desl + 16 + 8LL * n) l.m = r + desl + 16;
  } else if (tipo_multiponto(t)) {
    if (tamanho < 48) return leitura::formato;
    const std::int32_t n = static_cast<std::int32_t>(le32(r + 44));
    if (n > 50 * 1000 * 1000 || n < 0) return leitura::formato;
    long long preciso = 48 + 16LL * n;
    if (t == SHPT_MULTIPOINTZ) preciso += 16 + 8LL * n;
    if (preciso > tamanho) return leitura::formato;
    l.vertices = n;
    l.xy = r + 48;
    long long desl = 48 + 16LL * n;
    if (t == SHPT_MULTIPOINTZ) {
      l.z = r + desl + 16;
      desl += 16 + 8LL * n;
    }
    if (tamanho >= desl + 16 + 8LL * n) l.m = r + desl + 16;
  }
  return leitura::boa;
}

void escritor_registos::cabecalho(unsigned char* b, std::uint32_t bytes) const
{
  std::memset(b, 0, 100);
  b[2] = 0x27;
  b[3] = 0x0a;
  poe_be32(b + 24, bytes / 2);
  poe_le32(b + 28, 1000);
  poe_le32(b + 32, static_cast<std::uint32_t>(tipo_));
  const double v[8] = {min_[0], min_[1], max_[0], max_[1], min_[2], max_[2], min_[3], max_[3]};
  for (int i = 0; i < 8; ++i) poe_real(b + 36 + 8 * i, v[i]);
}

bool escritor_registos::cria(const SAHooks& g, const std::string& shp, const std::string& shx, int tipo)
{
  tipo_ = tipo;
  if (!shp_.abre(g, shp, "wb")) return false;
  if (!shx_.abre(g, shx, "wb")) {
    shp_.fecha();
    return false;
  }
  unsigned char b[100];
  cabecalho(b, 100);
  return shp_.escreve_em(0, b, 100) && shx_.escreve_em(0, b, 100);
}

namespace {


}  // namespace

// A record's bytes as shapelib lays them out, or -1 when the .shp would pass
// the format's 4 GB (then `cheio_`).
long long escritor_registos::tamanho(int t, long long n, long long np, bool com_m)
{
  long long bytes = 12;
  if (tipo_partes(t)) {
    bytes = 52 + 4 * np + 16 * n;
    if (t == SHPT_MULTIPATCH) bytes += 4 * np;
    if (t == SHPT_POLYGONZ || t == SHPT_ARCZ || t == SHPT_MULTIPATCH) bytes += 16 + 8 * n;
    if (com_m && (t == SHPT_POLYGONM || t == SHPT_ARCM || t == SHPT_MULTIPATCH ||
                  t == SHPT_POLYGONZ || t == SHPT_ARCZ))
      bytes += 16 + 8 * n;
  } else if (tipo_multiponto(t)) {
    bytes = 48 + 16 * n;
    if (t == SHPT_MULTIPOINTZ) bytes += 16 + 8 * n;
    if (com_m && (t == SHPT_MULTIPOINTZ || t == SHPT_MULTIPOINTM)) bytes += 16 + 8 * n;
  } else if (tipo_pontual(t)) {
    bytes = 28;
    if (t == SHPT_POINTZ) bytes += 8;
    if (com_m && (t == SHPT_POINTZ || t == SHPT_POINTM)) bytes += 8;
  }
  if (bytes > static_cast<long long>(UINT_MAX - tamanho_)) {
    cheio_ = true;
    return -1;
  }
  return bytes;
}

bool escritor_registos::escreve(const registo_novo& r)
{
  const int t = r.tipo;
  const long long n = r.vertices, np = r.partes;
  const long long bytes = tamanho(t, n, np, r.com_m);
  if (bytes < 0) return false;

  double caixa_min[4] = {0, 0, 0, 0}, caixa_max[4] = {0, 0, 0, 0};
  const double* v[4] = {r.x, r.y, r.z, r.m};
  if (n > 0)
    for (int e = 0; e < 4; ++e) caixa_min[e] = caixa_max[e] = v[e][0];
  for (long long i = 0; i < n; ++i) {
    caixa_min[0] = menor(caixa_min[0], r.x[i]);
    caixa_min[1] = menor(caixa_min[1], r.y[i]);
    caixa_min[2] = menor(caixa_min[2], r.z[i]);
    caixa_min[3] = menor(caixa_min[3], r.m[i]);
    caixa_max[0] = maior(caixa_max[0], r.x[i]);
    caixa_max[1] = maior(caixa_max[1], r.y[i]);
    caixa_max[2] = maior(caixa_max[2], r.z[i]);
    caixa_max[3] = maior(caixa_max[3], r.m[i]);
  }

  unsigned char* b = shp_.escreve(static_cast<std::size_t>(bytes));
  poe_be32(b, static_cast<std::uint32_t>(registos_ + 1));
  poe_be32(b + 4, static_cast<std::uint32_t>((bytes - 8) / 2));
  poe_le32(b + 8, static_cast<std::uint32_t>(t));
  auto caixa = [&] {
    poe_real(b + 12, caixa_min[0]);
    poe_real(b + 20, caixa_min[1]);
    poe_real(b + 28, caixa_max[0]);
    poe_real(b + 36, caixa_max[1]);
  };
  auto xy = [&](unsigned char* p) {
    for (long long i = 0; i < n; ++i) {
      poe_real(p + 16 * i, r.x[i]);
      poe_real(p + 16 * i + 8, r.y[i]);
    }
    return p + 16 * n;
  };
  auto serie = [&](unsigned char* p, const double* a, int e) {
    poe_real(p, caixa_min[e]);
    poe_real(p + 8, caixa_max[e]);
    std::memcpy(p + 16, a, static_cast<std::size_t>(8 * n));
    return p + 16 + 8 * n;
  };
  if (tipo_partes(t)) {
    caixa();
    poe_le32(b + 44, static_cast<std::uint32_t>(np));
    poe_le32(b + 48, static_cast<std::uint32_t>(n));
    unsigned char* p = b + 52;
    for (long long i = 0; i < np; ++i) poe_le32(p + 4 * i, static_cast<std::uint32_t>(r.inicios[i]));
    p += 4 * np;
    if (t == SHPT_MULTIPATCH) {
      for (long long i = 0; i < np; ++i) poe_le32(p + 4 * i, static_cast<std::uint32_t>(r.tipos[i]));
      p += 4 * np;
    }
    p = xy(p);
    if (t == SHPT_POLYGONZ || t == SHPT_ARCZ || t == SHPT_MULTIPATCH) p = serie(p, r.z, 2);
    if (r.com_m && (t == SHPT_POLYGONM || t == SHPT_ARCM || t == SHPT_MULTIPATCH ||
                    t == SHPT_POLYGONZ || t == SHPT_ARCZ))
      serie(p, r.m, 3);
  } else if (tipo_multiponto(t)) {
    caixa();
    poe_le32(b + 44, static_cast<std::uint32_t>(n));
    unsigned char* p = xy(b + 48);
    if (t == SHPT_MULTIPOINTZ) p = serie(p, r.z, 2);
    if (r.com_m && (t == SHPT_MULTIPOINTZ || t == SHPT_MULTIPOINTM)) serie(p, r.m, 3);
  } else if (tipo_pontual(t)) {
    poe_real(b + 12, n > 0 ? r.x[0] : 0.0);
    poe_real(b + 20, n > 0 ? r.y[0] : 0.0);
    unsigned char* p = b + 28;
    if (t == SHPT_POINTZ) {
      poe_real(p, n > 0 ? r.z[0] : 0.0);
      p += 8;
    }
    if (r.com_m && (t == SHPT_POINTZ || t == SHPT_POINTM)) poe_real(p, n > 0 ? r.m[0] : 0.0);
  }
  if (!shp_.feito()) return false;

  if (!indice(bytes)) return false;

  // The file's box, as shapelib keeps it: started again from a record
  // whenever it is still all zeros in x and y.
  if (min_[0] == 0.0 && max_[0] == 0.0 && min_[1] == 0.0 && max_[1] == 0.0) {
    for (int k = 0; k < 4; ++k) min_[k] = max_[k] = (t == SHPT_NULL || n == 0) ? 0.0 : v[k][0];
  }
  for (long long i = 0; i < n; ++i)
    for (int k = 0; k < 4; ++k) {
      min_[k] = menor(min_[k], v[k][i]);
      max_[k] = maior(max_[k], v[k][i]);
    }
  return true;
}

namespace {

// The smallest and largest of two series of n values each, `passo` bytes
// from one value to the next, folded in order from the first with `menor`
// and `maior`, as shapelib folds them; `nan[k]`: series k holds a NaN. The
// two series go side by side in the two halves of one register: the
// processor's packed minimum and maximum are `menor` and `maior` exactly,
// NaN and the sign of zero included, so that the result is the fold's in
// every case.
void extremos(const unsigned char* a, const unsigned char* b, long long passo, long long n,
              double lo[2], double hi[2], bool nan[2])
{
#if defined(__SSE2__)
  const auto par = [&](long long i) {
    return _mm_set_pd(le_real(b + passo * i), le_real(a + passo * i));
  };
  __m128d menores = par(0), maiores = menores, nans = _mm_cmpunord_pd(menores, menores);
  for (long long i = 1; i < n; ++i) {
    const __m128d v = par(i);
    menores = _mm_min_pd(menores, v);
    maiores = _mm_max_pd(maiores, v);
    nans = _mm_or_pd(nans, _mm_cmpunord_pd(v, v));
  }
  _mm_storel_pd(&lo[0], menores);
  _mm_storeh_pd(&lo[1], menores);
  _mm_storel_pd(&hi[0], maiores);
  _mm_storeh_pd(&hi[1], maiores);
  const int m = _mm_movemask_pd(nans);
  nan[0] = (m & 1) != 0;
  nan[1] = (m & 2) != 0;
#else
  const unsigned char* s[2] = {a, b};
  for (int k = 0; k < 2; ++k) {
    lo[k] = hi[k] = le_real(s[k]);
    nan[k] = false;
    for (long long i = 0; i < n; ++i) {
      const double d = le_real(s[k] + passo * i);
      lo[k] = menor(lo[k], d);
      hi[k] = maior(hi[k], d);
      nan[k] = nan[k] || d != d;
    }
  }
#endif
}

}  // namespace

bool escritor_registos::copia_forma(const registo_lido& l, bool com_m, const funcao_xy& f)
{
  const int t = l.tipo;
  const long long n = t == SHPT_NULL ? 0 : l.vertices;
  const long long np = tipo_partes(t) ? l.partes : 0;
  const long long bytes = tamanho(t, n, np, com_m);
  if (bytes < 0) return false;
  unsigned char* b = shp_.escreve(static_cast<std::size_t>(bytes));
  poe_be32(b, static_cast<std::uint32_t>(registos_ + 1));
  poe_be32(b + 4, static_cast<std::uint32_t>((bytes - 8) / 2));
  poe_le32(b + 8, static_cast<std::uint32_t>(t));
  unsigned char* xy = nullptr;
  if (tipo_partes(t)) {
    poe_le32(b + 44, static_cast<std::uint32_t>(np));
    poe_le32(b + 48, static_cast<std::uint32_t>(n));
    xy = b + 52;
    std::memcpy(xy, l.inicios, static_cast<std::size_t>(4 * np));
    xy += 4 * np;
    if (t == SHPT_MULTIPATCH) {
      std::memcpy(xy, l.tipos, static_cast<std::size_t>(4 * np));
      xy += 4 * np;
    }
  } else if (tipo_multiponto(t)) {
    poe_le32(b + 44, static_cast<std::uint32_t>(n));
    xy = b + 48;
  } else if (tipo_pontual(t)) {
    xy = b + 12;
  }
  if (n > 0) f.chama(f.estado, l.xy, xy, static_cast<int>(n));

  // The record's box, then the file's, as `escreve` keeps them; where the
  // record has no z or no measures, they count as zeros. Without NaN among
  // a record's values (x and y are finite) the file's box takes in the
  // record's box whole, which comes to the same; with NaN, vertex by
  // vertex, in order.
  const unsigned char* serie[4] = {xy, xy ? xy + 8 : nullptr, l.z, com_m ? l.m : nullptr};
  double caixa_min[4] = {0, 0, 0, 0}, caixa_max[4] = {0, 0, 0, 0};
  bool com_nan[4] = {false, false, false, false};
  if (n > 0) {
    extremos(serie[0], serie[1], 16, n, caixa_min, caixa_max, com_nan);
    // z beside m; a series alone beside itself.
    if (serie[2] || serie[3])
      extremos(serie[2] ? serie[2] : serie[3], serie[3] ? serie[3] : serie[2], 8, n, caixa_min + 2,
               caixa_max + 2, com_nan + 2);
    if (!serie[2]) caixa_min[2] = caixa_max[2] = 0, com_nan[2] = false;
    if (!serie[3]) caixa_min[3] = caixa_max[3] = 0, com_nan[3] = false;
  }
  const auto primeiros = [&](double lo[4], double hi[4]) {
    for (int e = 0; e < 4; ++e) lo[e] = hi[e] = (n == 0 || !serie[e]) ? 0.0 : le_real(serie[e]);
  };
  const auto dobra = [&](double lo[4], double hi[4]) {
    for (int e = 0; e < 4; ++e) {
      const unsigned char* v = serie[e];
      if (!com_nan[e]) {
        lo[e] = menor(lo[e], caixa_min[e]);
        hi[e] = maior(hi[e], caixa_max[e]);
        continue;
      }
      for (long long i = 0; i < n; ++i) {
        const double d = le_real(v + 8 * i);
        lo[e] = menor(lo[e], d);
        hi[e] = maior(hi[e], d);
      }
    }
  };
  if (min_[0] == 0.0 && max_[0] == 0.0 && min_[1] == 0.0 && max_[1] == 0.0) primeiros(min_, max_);
  if (n > 0) {
    dobra(min_, max_);
    if (!seg_visto_) [[unlikely]] {
      primeiros(seg_min_, seg_max_);
      seg_visto_ = true;
    }
    dobra(seg_min_, seg_max_);
    for (int e = 2; e < 4; ++e) seg_nan_[e] = seg_nan_[e] || com_nan[e];
  }

  auto faixa = [&](unsigned char* p, int e) {
    poe_real(p, caixa_min[e]);
    poe_real(p + 8, caixa_max[e]);
    std::memcpy(p + 16, serie[e], static_cast<std::size_t>(8 * n));
    return p + 16 + 8 * n;
  };
  if (tipo_partes(t) || tipo_multiponto(t)) {
    poe_real(b + 12, caixa_min[0]);
    poe_real(b + 20, caixa_min[1]);
    poe_real(b + 28, caixa_max[0]);
    poe_real(b + 36, caixa_max[1]);
    unsigned char* p = xy + 16 * n;
    if (l.z) p = faixa(p, 2);
    if (serie[3]) faixa(p, 3);
  } else if (tipo_pontual(t)) {
    unsigned char* p = b + 28;
    if (l.z) {
      std::memcpy(p, l.z, 8);
      p += 8;
    }
    if (serie[3]) std::memcpy(p, serie[3], 8);
  }
  if (!shp_.feito()) return false;
  return indice(bytes);
}

bool escritor_registos::fecha()
{
  unsigned char b[100];
  cabecalho(b, tamanho_);
  bool ok = true;
  if (registos_ > 0) {
    ok = shp_.escreve_em(0, b, 100);
    cabecalho(b, static_cast<std::uint32_t>(100 + 8LL * registos_));
    ok = shx_.escreve_em(0, b, 100) && ok;
  }
  ok = shp_.fecha() && ok;
  ok = shx_.fecha() && ok;
  return ok;
}

bool escritor_registos::cria_faixa(const SAHooks& g, const std::string& shp, const std::string& shx,
                                   int tipo, int primeiro, long long inicio)
{
  tipo_ = tipo;
  registos_ = primeiro - 1;
  tamanho_ = static_cast<std::uint32_t>(inicio);
  if (!shp_.abre(g, shp, "r+b") || !shx_.abre(g, shx, "r+b")) {
    abandona();
    return false;
  }
  return shp_.vai(inicio) && shx_.vai(100 + 8LL * registos_);
}

bool escritor_registos::fecha_faixa()
{
  bool ok = shp_.fecha();
  ok = shx_.fecha() && ok;
  return ok;
}

// A range's box is its records' fold from its first record with vertices,
// as `seg_min_` and `seg_max_` hold it. The records before it leave the
// box all zeros in x and y or not. If they do, one writer would have
// started the box again at the range's first record, as the range's own
// writer did (`min_`, `max_`). If not, the box is never started again (x
// and y are finite: it can only widen), and folding a range's result into
// it gives the fold of its values one by one: `menor` keeps the later of
// equal values (the sign of zero), and after a NaN the fold starts again
// from the next value, so that a series that held one comes out as the
// range's alone.
void escritor_registos::junta(const escritor_registos& f)
{
  registos_ = f.registos_;
  tamanho_ = f.tamanho_;
  if (min_[0] == 0.0 && max_[0] == 0.0 && min_[1] == 0.0 && max_[1] == 0.0) {
    std::memcpy(min_, f.min_, sizeof min_);
    std::memcpy(max_, f.max_, sizeof max_);
  } else if (f.seg_visto_) {
    for (int e = 0; e < 4; ++e) {
      min_[e] = f.seg_nan_[e] ? f.seg_min_[e] : menor(min_[e], f.seg_min_[e]);
      max_[e] = f.seg_nan_[e] ? f.seg_max_[e] : maior(max_[e], f.seg_max_[e]);
    }
  }
  shp_.estende(tamanho_);
  shx_.estende(100 + 8LL * registos_);
}

void escritor_registos::abandona() noexcept
{
  shp_.fecha();
  shx_.fecha();
}

}  // namespace kelvara
