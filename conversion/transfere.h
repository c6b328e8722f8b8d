// The record transfer loop: copies the input shapefile into a new one,
// record by record, with the attribute records unchanged and every vertex's
// x and y replaced by the coordinate function's result. z, m, the part
// structure and null records pass through as they are.
#pragma once

#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "falha.h"
#include "janela.h"
#include "paragem.h"
#include "polinomio.h"
#include "shapefiles.h"

namespace kelvara {

[[noreturn]] void falha_coordenada(const ShapeFiles& entrada, int registo, int vertice, double x,
                                   double y, par r);
[[noreturn]] void falha_partes(const ShapeFiles& entrada, int registo, int partes);

struct sem_vigia {
  void operator()(const ShapeFiles&, int) const {}
};

// `funcao` maps (x, y) to a `par`; it is called once per vertex, in the
// order the vertices are copied. `vigia` sees each record (the input and
// its number) before it is copied, and may stop the conversion.
template <class funcao, class vigia = sem_vigia>
void transfere(janela& j, ShapeFiles& Shp1, ShapeFiles& Shp2, const std::string& fich1a,
               const std::string& fich2a, funcao&& f, vigia&& antes = {})
{
  j.ocupado(true);
  if (!Shp1.aberto_em(fich1a)) Shp1.open_file(fich1a);
  Shp2.create_file(fich2a, Shp1.shape_type(), Shp1.language_driver(), Shp1.table_version());
  const int campos = Shp1.field_count();
  for (int c = 1; c <= campos; ++c) {
    const campo d = Shp1.field_at(c);
    Shp2.add_field(d.name, d.type, d.size, d.decimals);
  }
  Shp2.commit_fields();

  const bool ponto = tipo_ponto(Shp1.shape_type());
  const int registos = Shp1.record_count();
  if (Shp2.copia_em_bytes(Shp1)) {
    // Whole records: x and y of each straight from the input's bytes into
    // the output's, the rest of the record copied as it is.
    int k = 0;
    auto xy = [&](const unsigned char* de, unsigned char* para, int n) {
      int i = 0;
      if constexpr (requires { f.dois(de, para); }) {
        // Two vertices at once where the function can; it throws nothing,
        // so that which of the two is looked at first makes no difference.
        for (; i + 1 < n; i += 2) {
          f.dois(de + 16 * i, para + 16 * i);
          double r[4];
          std::memcpy(r, para + 16 * i, sizeof r);
          if (!(std::isfinite(r[0]) && std::isfinite(r[1]) && std::isfinite(r[2]) &&
                std::isfinite(r[3]))) [[unlikely]]
            break;  // the vertex at fault, below
        }
      }
      for (; i < n; ++i) {
        double x, y;
        std::memcpy(&x, de + 16 * i, 8);
        std::memcpy(&y, de + 16 * i + 8, 8);
        const par r = f(x, y);
        if (!(std::isfinite(r.x) && std::isfinite(r.y))) falha_coordenada(Shp1, k, i + 1, x, y, r);
        std::memcpy(para + 16 * i, &r.x, 8);
        std::memcpy(para + 16 * i + 8, &r.y, 8);
      }
    };
    const funcao_xy por_vertices{&xy, [](void* e, const unsigned char* de, unsigned char* para, int n) {
                                  (*static_cast<decltype(xy)*>(e))(de, para, n);
                                }};
    auto cada = [&](int r) {
      k = r;
      verifica_paragem();
      antes(std::as_const(Shp1), k);
      if (!ponto && Shp1.part_count() > 32767) falha_partes(Shp1, k, Shp1.part_count());
    };
    const funcao_registo lido{&cada, [](void* e, int r) { (*static_cast<decltype(cada)*>(e))(r); }};
    Shp2.copia_registos(Shp1, lido, por_vertices);
    Shp1.close_file();
    Shp2.close_file();
    return;
  }
  // Vertex by vertex through the component's record operations: the way of
  // the reference path (shapelib's reader and writer), which the tests hold
  // the whole records above against.
  auto transforma = [&](int k, int v, const vertice& p) {
    const par r = f(p.x, p.y);
    if (!(std::isfinite(r.x) && std::isfinite(r.y))) falha_coordenada(Shp1, k, v, p.x, p.y, r);
    return r;
  };
  for (int k = 1; k <= registos; ++k) {
    verifica_paragem();
    Shp1.go_to_record(k);
    antes(std::as_const(Shp1), k);
    for (int c = 1; c <= campos; ++c) Shp2.set_value(c, Shp1.value(c));
    Shp2.set_deletion_flag(Shp1.deletion_flag());
    if (Shp1.is_null()) {
      // A null record stays null; a point file may hold them too.
      Shp2.set_null();
    } else if (ponto) {
      // One vertex per point record; any further vertex is not copied.
      const vertice p = Shp1.vertex_at(1);
      const par r = transforma(k, 1, p);
      Shp2.add_vertex(r.x, r.y, 0, p.m, p.z);
    } else {
      const int partes = Shp1.part_count();
      if (partes > 32767) falha_partes(Shp1, k, partes);
      for (int i = 1; i <= partes; ++i) {
        const parte pt = Shp1.part_at(i);
        // A part without vertices is kept: the part numbers stay the input's.
        if (pt.last_vertex < pt.first_vertex) Shp2.add_part(static_cast<std::int16_t>(i), pt.type);
        for (int v = pt.first_vertex; v <= pt.last_vertex; ++v) {
          const vertice p = Shp1.vertex_at(v);
          const par r = transforma(k, v, p);
          Shp2.add_vertex(r.x, r.y, static_cast<std::int16_t>(i), p.m, p.z, pt.type);
        }
      }
    }
    Shp2.write_record();
  }
  // The input is done with: its index leaves memory before shapelib builds
  // the output's in full to write it out, so that the two are never held
  // at once.
  Shp1.close_file();
  Shp2.close_file();
}

}  // namespace kelvara
