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

// The companion as shapelib finds it: lower-case extension first.
inline std::string companheiro(const std::string& p, const char* minusculas, const char* maiusculas)
{
  const std::string base = sem_extensao(p);
  if (!es::existe(base + minusculas) && es::existe(base + maiusculas)) return base + maiusculas;
  return base + minusculas;
}

struct ShapeFiles::dados {
  SAHooks ganchos = es::ganchos_em_uso();
  bool shapelib = com_shapelib.load();  // the reference path (usa_shapelib)
  SHPHandle shp = nullptr;
  DBFHandle dbf = nullptr;
  enum class uso { nenhum, leitura, escrita } modo = uso::nenhum;
  int tipo = 0;
  int registos = 0;

  // The own record path: the input's .shp, .shx and .dbf records, the
  // current record; the output's .shp and .shx, and its .dbf records.
  via_es shp_e, shx_e, dbf_e;
  std::string nome_shx;  // the input's .shx as it was found
  std::vector<unsigned> desl, tam;  // an index whose offsets go back, whole
  registo_lido reg;
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

}  // namespace kelvara
