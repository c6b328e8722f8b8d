// The inside of the shapefile component, shared by its reading and its
// writing halves (shapefiles.cpp, escrita.cpp); nothing else includes it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <shapefil.h>

#include "ficheiros.h"
#include "ganchos.h"
#include "registos.h"
#include "shapefiles.h"
#include "verifica.h"

namespace kelvara {

// The reference path (usa_shapelib) for files opened from now on.
extern std::atomic<bool> com_shapelib;

inline bool tipo_multiponto(int t)
{
  return t == SHPT_MULTIPOINT || t == SHPT_MULTIPOINTZ || t == SHPT_MULTIPOINTM;
}

inline bool tipo_com_m(int t)
{
  switch (t) {
    case SHPT_POINTZ: case SHPT_ARCZ: case SHPT_POLYGONZ: case SHPT_MULTIPOINTZ:
    case SHPT_POINTM: case SHPT_ARCM: case SHPT_POLYGONM: case SHPT_MULTIPOINTM:
      return true;
    default:
      return false;
  }
}

// "rios.shp" -> "rios": shapelib names the companions after the path without
// its extension.
inline std::string sem_extensao(const std::string& p)
{
  const auto barra = p.find_last_of("/\\");
  const auto ponto = p.rfind('.');
  if (ponto == std::string::npos || (barra != std::string::npos && ponto < barra)) return p;
  return p.substr(0, ponto);
}

struct ShapeFiles::dados {
  SAHooks ganchos = es::ganchos_em_uso();
  bool shapelib = com_shapelib.load();  // the reference path (usa_shapelib)
  SHPHandle shp = nullptr;
  DBFHandle dbf = nullptr;
  enum class uso { nenhum, leitura, escrita } modo = uso::nenhum;
  int tipo = 0;
  int registos = 0;
  unsigned char versao = 3;  // the .dbf's first byte
  cabecalho cab;          // an input's .shp header, read once
  std::vector<std::pair<std::string, es::marca>> marcas;  // an input's files as opened
  bool inteiro = false;   // an input opened, every check passed

  // The own record path: the input's .shp, .shx and .dbf records, the
  // current record; the output's .shp and .shx, and its .dbf records.
  via_es shp_e, shx_e, dbf_e;
  std::string nome_shx;  // the input's .shx as it was found
  std::vector<unsigned> desl, tam;  // an index whose offsets go back, whole
  bool continuo = false;  // records one after another from the header on (exame_indice)
  registo_lido reg;
  long long desl_lido = 0;  // where the current record begins in the .shp
  escritor_registos esc;
  via_es dbf_s;

  // Reading.
  SHPObject* obj = nullptr;
  const char* tuplo = nullptr;
  int atual = 0;
  std::vector<campo> campos;

  // Writing: the pending record's attributes (its vertices are the
  // class's `pendente_`).
  std::string pendente;
  std::vector<int> desloc;  // offset of each field in the record
  bool nulo = false;
  int escritos = 0;
  int mesma_tabela = -1;  // the input's table records copy whole (unknown yet: -1)
  int tabela_de = 0, tabela_falta = 0;  // input records whose table records are still to copy
  int tabela_bloco = 1;                 // records copied at a time
  bool tabela_inteira = false;          // the table's records copied in one go, after the loop

  void fecha() noexcept
  {
    if (obj) SHPDestroyObject(obj);
    obj = nullptr;
    tuplo = nullptr;
    shp_e.fecha();
    shx_e.fecha();
    dbf_e.fecha();
    dbf_s.fecha();
    esc.abandona();
    if (shp) SHPClose(shp);
    if (dbf) DBFClose(dbf);
    shp = nullptr;
    dbf = nullptr;
    modo = uso::nenhum;
  }
};

// A record read in place: its index entry, its bytes, the same checks as
// shapelib's reader and the ones above; its table record when asked for
// (`tuplo`). What is wrong is said by `recusa_registo`, out of the way of
// the records that are read.
inline ShapeFiles::problema ShapeFiles::le_registo(int k)
{
  dados& d = *d_;
  d.tuplo = nullptr;
  d.atual = 0;
  es::limpa_falha();
  if (!d.shx_e.aberto() && !d.shx_e.abre(d.ganchos, d.nome_shx, "rb")) return problema::leitura;
  const unsigned char* e = d.shx_e.le(100 + 8LL * (k - 1), 8);
  if (!e) return problema::leitura;
  const std::uint32_t tam = be32(e + 4) * 2;
  const long long entidade = static_cast<long long>(tam) + 8;
  d.desl_lido = static_cast<long long>(be32(e)) * 2;
  const unsigned char* r = d.shp_e.le(d.desl_lido, entidade);
  if (!r) return problema::leitura;
  registo_lido& o = d.reg;
  switch (analisa(r, entidade, o)) {
    case leitura::boa: break;
    case leitura::formato: return problema::leitura;
    case leitura::partes: return problema::partes;
  }
  if (2ull * be32(r + 4) != tam) return problema::comprimento;
  if (o.tipo == SHPT_NULL) {
    d.atual = k;
    lido_ = lido{};
    return problema::nenhum;
  }
  if (o.tipo != d.tipo) return problema::tipo;
  if (o.partes > 0 && o.vertices > 0 && le32(o.inicios) != 0) return problema::primeira_parte;
  if (o.partes == 0 && o.vertices > 0 && !tipo_ponto(o.tipo) && !tipo_multiponto(o.tipo))
    return problema::sem_partes;
  if (o.tipo == SHPT_MULTIPATCH && tam > 44 + 8LL * o.partes + 24LL * o.vertices + 16)
    return problema::multipatch_m;
  d.atual = k;
  lido_.n = o.vertices;
  lido_.passo = 16;
  lido_.x = o.xy;
  lido_.y = o.xy + 8;
  lido_.z = o.z;
  lido_.m = tipo_com_m(o.tipo) ? o.m : nullptr;
  return problema::nenhum;
}

}  // namespace kelvara
