// The component's own record code for the .shp and .shx: a record read in
// place where it lies (in the file's window, through the hooks of
// ganchos.h), and a record encoded straight into the output's window, its
// index entry written beside it. Nothing is held per record; the layout and
// every value written are the ones the format's reference library, shapelib,
// writes for the same shape (the tests hold the two against each other).
#pragma once

#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <shapefil.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bytes.h"
#include "funcao_xy.h"
#include "via_es.h"

namespace kelvara {

// A record of the .shp as it lies in its bytes (the 8-byte header included),
// read by the same rules as shapelib's `SHPReadObject`.
struct registo_lido {
  int tipo = 0;  // as stored in the record
  int partes = 0, vertices = 0;
  const unsigned char* inicios = nullptr;  // part starts, int32 LE
  const unsigned char* tipos = nullptr;    // MultiPatch part types; null elsewhere
  const unsigned char* xy = nullptr;       // x, y interleaved
  const unsigned char* z = nullptr;        // null where the type has none
  const unsigned char* m = nullptr;        // null where the record has none
};

enum class leitura { boa, formato, partes };

inline bool tipo_pontual(int t) { return t == SHPT_POINT || t == SHPT_POINTM || t == SHPT_POINTZ; }

// The types other than points.
leitura analisa_forma(const unsigned char* r, long long tamanho, registo_lido& l);

// `r` holds `tamanho` bytes: the record's header and content.
inline leitura analisa(const unsigned char* r, long long tamanho, registo_lido& l)
{
  l = registo_lido{};
  if (tamanho < 12) return leitura::formato;
  l.tipo = static_cast<int>(le32(r + 8));
  const int t = l.tipo;
  if (!tipo_pontual(t)) return analisa_forma(r, tamanho, l);
  if (tamanho < 28 + (t == SHPT_POINTZ ? 8 : 0)) return leitura::formato;
  l.vertices = 1;
  l.xy = r + 12;
  long long desl = 28;
  if (t == SHPT_POINTZ) {
    l.z = r + 28;
    desl += 8;
  }
  if (tamanho >= desl + 8) l.m = r + desl;
  return leitura::boa;
}

// The box of a shape as shapelib computes it: from the first vertex, then
// each vertex taken in by `(a < b) ? a : b` and `(a > b) ? a : b`, NaN
// and all.
inline double menor(double a, double b) { return a < b ? a : b; }
inline double maior(double a, double b) { return a > b ? a : b; }

// lo[k] = menor(lo[k], v[k]) and hi[k] = maior(hi[k], v[k]) for k = 0 and
// 1, in the two halves of one register where the processor has them (its
// packed minimum and maximum are `menor` and `maior` exactly).
inline void dobra_par(double lo[2], double hi[2], const double v[2])
{
#if defined(__SSE2__)
  const __m128d x = _mm_loadu_pd(v);
  _mm_storeu_pd(lo, _mm_min_pd(_mm_loadu_pd(lo), x));
  _mm_storeu_pd(hi, _mm_max_pd(_mm_loadu_pd(hi), x));
#else
  for (int k = 0; k < 2; ++k) {
    lo[k] = menor(lo[k], v[k]);
    hi[k] = maior(hi[k], v[k]);
  }
#endif
}

// A record to write: its shape in arrays, as the component gathers it.
struct registo_novo {
  int tipo = 0;  // 0 for a null record
  int partes = 0, vertices = 0;
  const int* inicios = nullptr;
  const int* tipos = nullptr;
  const double *x = nullptr, *y = nullptr, *z = nullptr, *m = nullptr;
  bool com_m = false;
};

// The output's .shp and .shx, written as the records come; the headers at
// `fecha`.
class escritor_registos {
 public:
  bool cria(const SAHooks& g, const std::string& shp, const std::string& shx, int tipo);
  // False when a write failed (recorded by the hooks) or the .shp would pass
  // the format's 4 GB (then `cheio` is true).
  bool escreve(const registo_novo& r);
  // The same for a record read (`analisa`) of a file of the same type: its
  // part starts and types, z and m copied as bytes, x and y through `f`
  // straight into the record's bytes. `com_m`: the record's measures are
  // written (it has them and its type holds them).
  bool copia(const registo_lido& l, bool com_m, const funcao_xy& f)
  {
    const int t = l.tipo;
    return t == SHPT_POINT || t == SHPT_POINTZ || t == SHPT_POINTM ? copia_ponto(l, com_m, f)
                                                                 : copia_forma(l, com_m, f);
  }
  bool cheio() const { return cheio_; }
  // The .shp and .shx will hold about that many bytes.
  void preve(long long shp, long long shx)
  {
    shp_.preve(shp);
    shx_.preve(shx);
  }
  bool fecha();
  void abandona() noexcept;

  // A range of the records of a file that another writer created (`cria`),
  // written by a thread of its own: its first record is number `primeiro`
  // at byte `inicio` of the .shp. `fecha_faixa` writes out its bytes and
  // no header.
  bool cria_faixa(const SAHooks& g, const std::string& shp, const std::string& shx, int tipo,
                  int primeiro, long long inicio);
  bool fecha_faixa();
  // Where the next record goes in the .shp.
  long long posicao() const { return tamanho_; }
  // The writer that created the file takes in its ranges, in order, once
  // they are written: their records counted, the file's box folded from
  // theirs with the bits one writer would have given it.
  void junta(const escritor_registos& faixa);

 private:
  via_es shp_, shx_;
  int tipo_ = 0;
  int registos_ = 0;
  std::uint32_t tamanho_ = 100;
  // The file's box, started again from a record whenever it is all zeros
  // in x and y (shapelib's rule).
  double min_[4] = {0, 0, 0, 0}, max_[4] = {0, 0, 0, 0};
  // The same values folded from the first record with vertices on, never
  // started again, and which series held a NaN: what a range gives the
  // box of the records before it (`junta`).
  double seg_min_[4] = {0, 0, 0, 0}, seg_max_[4] = {0, 0, 0, 0};
  bool seg_nan_[4] = {false, false, false, false};
  bool seg_visto_ = false;
  bool cheio_ = false;
  void cabecalho(unsigned char* b, std::uint32_t bytes) const;
  long long tamanho(int t, long long n, long long np, bool com_m);
  bool indice(long long bytes);
  bool copia_ponto(const registo_lido& l, bool com_m, const funcao_xy& f);
  bool copia_forma(const registo_lido& l, bool com_m, const funcao_xy& f);
};

// A point: the same bytes and boxes as `copia`, without its loops.
inline bool escritor_registos::copia_ponto(const registo_lido& l, bool com_m, const funcao_xy& f)
{
  const unsigned char* m = com_m ? l.m : nullptr;
  const long long bytes = 28 + (l.z ? 8 : 0) + (m ? 8 : 0);
  if (bytes > static_cast<long long>(UINT_MAX - tamanho_)) {
    cheio_ = true;
    return false;
  }
  unsigned char* b = shp_.escreve(static_cast<std::size_t>(bytes));
  poe_be32(b, static_cast<std::uint32_t>(registos_ + 1));
  poe_be32(b + 4, static_cast<std::uint32_t>((bytes - 8) / 2));
  poe_le32(b + 8, static_cast<std::uint32_t>(l.tipo));
  f.chama(f.estado, l.xy, b + 12, 1);
  unsigned char* p = b + 28;
  if (l.z) {
    std::memcpy(p, l.z, 8);
    p += 8;
  }
  if (m) std::memcpy(p, m, 8);
  const double v[4] = {le_real(b + 12), le_real(b + 20), l.z ? le_real(l.z) : 0.0, m ? le_real(m) : 0.0};
  if (min_[0] == 0.0 && max_[0] == 0.0 && min_[1] == 0.0 && max_[1] == 0.0)
    for (int e = 0; e < 4; ++e) min_[e] = max_[e] = v[e];
  if (!seg_visto_) [[unlikely]] {
    for (int e = 0; e < 4; ++e) seg_min_[e] = seg_max_[e] = v[e];
    seg_visto_ = true;
  }
  dobra_par(min_, max_, v);
  dobra_par(seg_min_, seg_max_, v);
  // A file of 2D points has z and m all +0, which the fold leaves as they
  // are.
  if (tipo_ != SHPT_POINT) {
    dobra_par(min_ + 2, max_ + 2, v + 2);
    dobra_par(seg_min_ + 2, seg_max_ + 2, v + 2);
    seg_nan_[2] = seg_nan_[2] || v[2] != v[2];
    seg_nan_[3] = seg_nan_[3] || v[3] != v[3];
  }
  if (!shp_.feito()) return false;
  return indice(bytes);
}

// The index entry of the record just written, and the counts.
inline bool escritor_registos::indice(long long bytes)
{
  unsigned char* e = shx_.escreve(8);
  poe_be32(e, tamanho_ / 2);
  poe_be32(e + 4, static_cast<std::uint32_t>((bytes - 8) / 2));
  if (!shx_.feito()) return false;
  ++registos_;
  tamanho_ += static_cast<std::uint32_t>(bytes);
  return true;
}

}  // namespace kelvara
