// The record transfer loop: copies the input shapefile into a new one,
// record by record, with the attribute records unchanged and every vertex's
// x and y replaced by the coordinate function's result. z, m, the part
// structure and null records pass through as they are.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <concepts>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "falha.h"
#include "janela.h"
#include "paragem.h"
#include "polinomio.h"
#include "shapefiles.h"

namespace kelvara {

[[noreturn]] void falha_coordenada(const ShapeFiles& entrada, int registo, int vertice, double x,
                                   double y, par r);
[[noreturn]] void falha_partes(const ShapeFiles& entrada, int registo, int partes);

// What watches the records as they are copied. Called with each record
// (the input and its number) before it is copied, and may stop the copy by
// throwing. A watcher that can watch several threads at once (a copy in
// ranges, `copia_em_faixas`) has as well:
//   bool registo(const ShapeFiles&, int k) const: the same look, safe on
//     any thread; false where the record needs the one loop (where the
//     watcher would ask the user something);
//   void avanco(long long feitos, long long registos): records copied so
//     far, of so many, on the thread that called `transfere`;
//   void falha_em(int k): a fault of record k is about to be thrown.
template <class v>
concept vigia_de_faixas = requires(v& x, const ShapeFiles& e, int k, long long n) {
  { x.registo(e, k) } -> std::same_as<bool>;
  x.avanco(n, n);
  x.falha_em(k);
};

struct sem_vigia {
  void operator()(const ShapeFiles&, int) const {}
  bool registo(const ShapeFiles&, int) const { return true; }
  void avanco(long long, long long) const {}
  void falha_em(int) const {}
};

// How many ranges a copy starting now may be split into: the processors
// shared among the copies under way (`em_curso` counts them).
int faixas_livres();
class em_curso {
 public:
  em_curso();
  ~em_curso();
  em_curso(const em_curso&) = delete;
  em_curso& operator=(const em_curso&) = delete;
};

// The coordinate function over the x and y of a record's vertices, as they
// lie in its bytes; `k`, the record, names a vertex at fault.
template <class funcao>
struct vertices_de {
  funcao& f;
  const ShapeFiles& entrada;
  int k = 0;
  void operator()(const unsigned char* de, unsigned char* para, int n)
  {
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
      if (!(std::isfinite(r.x) && std::isfinite(r.y))) falha_coordenada(entrada, k, i + 1, x, y, r);
      std::memcpy(para + 16 * i, &r.x, 8);
      std::memcpy(para + 16 * i + 8, &r.y, 8);
    }
  }
  funcao_xy chamada()
  {
    return {this, [](void* e, const unsigned char* de, unsigned char* para, int n) {
              (*static_cast<vertices_de*>(e))(de, para, n);
            }};
  }
};

template <class cada>
funcao_registo chamada_registo(cada& c)
{
  return {&c, [](void* e, int r) { (*static_cast<cada*>(e))(r); }};
}

// Raised in a range's thread: an earlier range stopped, or a record needs
// the one loop.
struct faixa_parada {};
struct faixa_refeita {};

// The copy of `transfere` in ranges of records, each on a thread of its own
// (ShapeFiles::faixas says when it can be), the table's records copied
// meanwhile on this thread, which tells the watcher how far the copy has
// come. The output is byte for byte the one loop's, and so is a fault: when
// ranges fail, the first range's fault is thrown, with the record and
// vertex the one loop would have named (an earlier range ends its records
// whatever a later one met; a later one stops as soon as an earlier one
// failed). `refeita`: a record needs the one loop, and the output is to be
// created again for it.
enum class em_faixas { nao, feita, refeita };
template <class funcao, class vigia>
em_faixas copia_em_faixas(ShapeFiles& Shp1, ShapeFiles& Shp2, funcao& f, vigia& antes)
{
  const std::vector<ShapeFiles::faixa> fx = Shp2.faixas(Shp1, faixas_livres());
  const int n = static_cast<int>(fx.size());
  if (n < 2) return em_faixas::nao;
  struct alignas(64) estado {  // each range's on a cache line of its own
    std::unique_ptr<ShapeFiles> e = std::make_unique<ShapeFiles>();
    std::unique_ptr<ShapeFiles> s = std::make_unique<ShapeFiles>();
    std::exception_ptr falha;
    int registo = 0;
    bool refaz = false;
    std::atomic<long long> feitos{0};
  };
  std::vector<estado> st(static_cast<std::size_t>(n));
  std::atomic<int> parada{n};  // the first range that stopped
  std::mutex m;
  std::condition_variable cv;
  int ativos = n;
  const bool ponto = tipo_ponto(Shp1.shape_type());
  const long long registos = Shp1.record_count();
  const int passo = static_cast<int>(std::clamp(registos / 100, 1LL, 4096LL));
  auto trabalho = [&](int i) {
    estado& t = st[static_cast<std::size_t>(i)];
    const ShapeFiles::faixa& fa = fx[static_cast<std::size_t>(i)];
    vertices_de<funcao> xy{f, *t.e};
    try {
      t.e->le_faixa(Shp1);
      t.s->escreve_faixa(Shp2, fa);
      auto cada = [&](int r) {
        xy.k = r;
        if (parada.load(std::memory_order_relaxed) < i) throw faixa_parada{};
        verifica_paragem();
        if (!antes.registo(std::as_const(*t.e), r)) throw faixa_refeita{};
        if (!ponto && t.e->part_count() > 32767) falha_partes(*t.e, r, t.e->part_count());
        // Told once per percent or so: a count written at every record
        // would cost each thread the other's cache line.
        if ((r - fa.primeiro) % passo == 0) {
          t.feitos.store(r - fa.primeiro, std::memory_order_relaxed);
          cv.notify_one();
        }
      };
      if (!t.s->copia_faixa(*t.e, fa, chamada_registo(cada), xy.chamada())) t.refaz = true;
      t.feitos.store(fa.ultimo - fa.primeiro + 1, std::memory_order_relaxed);
    } catch (const faixa_parada&) {
    } catch (const faixa_refeita&) {
      t.refaz = true;
    } catch (...) {
      t.falha = std::current_exception();
      t.registo = xy.k;
    }
    if (t.falha || t.refaz) {
      int p = parada.load();
      while (i < p && !parada.compare_exchange_weak(p, i)) {
      }
    }
    t.e->abandon();
    t.s->abandon();
    {
      const std::lock_guard<std::mutex> g(m);
      --ativos;
    }
    cv.notify_one();
  };
  {
    std::vector<std::jthread> fios;
    // Leaving early (a fault here) stops every range before the threads
    // are joined.
    struct fim {
      std::atomic<int>& parada;
      ~fim() { parada.store(-1); }
    };
    fios.reserve(static_cast<std::size_t>(n));
    const fim parar{parada};
    antes.avanco(0, registos);
    for (int i = 0; i < n; ++i) fios.emplace_back(trabalho, i);
    Shp2.copia_tabela_inteira(Shp1);
    std::unique_lock<std::mutex> g(m);
    long long dito = 0;
    while (ativos > 0) {  // lowered by the ranges' threads, under `m`
      cv.wait_for(g, std::chrono::milliseconds(100));
      long long feitos = 0;
      for (const estado& t : st) feitos += t.feitos.load(std::memory_order_relaxed);
      if (feitos == dito) continue;  // each count told once, as the one loop tells it
      dito = feitos;
      g.unlock();
      antes.avanco(feitos, registos);
      g.lock();
    }
  }
  for (estado& t : st) {
    if (t.falha) {
      antes.falha_em(t.registo);
      std::rethrow_exception(t.falha);
    }
    if (t.refaz) return em_faixas::refeita;
  }
  std::vector<ShapeFiles*> partes;
  for (estado& t : st) partes.push_back(t.s.get());
  Shp2.junta_faixas(partes);
  return em_faixas::feita;
}

// `funcao` maps (x, y) to a `par`; it is called once per vertex, in the
// order the vertices are copied (on several threads at once where the
// watcher can watch them: it must then hold nothing that changes).
// `vigia` sees each record (above).
template <class funcao, class vigia = sem_vigia>
void transfere(janela& j, ShapeFiles& Shp1, ShapeFiles& Shp2, const std::string& fich1a,
               const std::string& fich2a, funcao&& f, vigia&& antes = {})
{
  const em_curso esta;
  j.ocupado(true);
  if (!Shp1.aberto_em(fich1a)) Shp1.open_file(fich1a);
  auto cria = [&] {
    Shp2.create_file(fich2a, Shp1.shape_type(), Shp1.language_driver(), Shp1.table_version());
    const int campos = Shp1.field_count();
    for (int c = 1; c <= campos; ++c) {
      const campo d = Shp1.field_at(c);
      Shp2.add_field(d.name, d.type, d.size, d.decimals);
    }
    Shp2.commit_fields();
  };
  cria();
  const int campos = Shp1.field_count();

  const bool ponto = tipo_ponto(Shp1.shape_type());
  const int registos = Shp1.record_count();
  if (Shp2.copia_em_bytes(Shp1)) {
    if constexpr (vigia_de_faixas<std::remove_reference_t<vigia>>) {
      const em_faixas r = copia_em_faixas(Shp1, Shp2, f, antes);
      if (r == em_faixas::feita) {
        Shp1.close_file();
        Shp2.close_file();
        return;
      }
      if (r == em_faixas::refeita) cria();
    }
    // Whole records: x and y of each straight from the input's bytes into
    // the output's, the rest of the record copied as it is.
    vertices_de<std::remove_reference_t<funcao>> xy{f, Shp1};
    auto cada = [&](int r) {
      xy.k = r;
      verifica_paragem();
      antes(std::as_const(Shp1), r);
      if (!ponto && Shp1.part_count() > 32767) falha_partes(Shp1, r, Shp1.part_count());
    };
    Shp2.copia_registos(Shp1, chamada_registo(cada), xy.chamada());
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
