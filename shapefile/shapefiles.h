// `ShapeFiles`: the shapefile component. One instance reads a shapefile
// (`open_file`) or writes a new one (`create_file`); indices are 1-based
// throughout. The .shp and .shx records are read and written by the
// component's own record code (registos.h), a record at a time in the I/O
// layer's windows, with the input's index read as it is walked and the
// output's written as the records are, so that memory does not grow with the
// file; the .dbf's header is shapelib's, its records are copied as bytes.
// Every file access goes through the hooks of ganchos.h; nothing else in
// kelvara knows shapelib.
//
// Faults throw `falha` with a Portuguese message naming the file and, for a
// record, its number.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "falha.h"
#include "funcao_xy.h"

namespace kelvara {

// A field definition as the .dbf holds it: native type letter, width and
// decimals, and the name's bytes as stored (up to 11).
struct campo {
  std::string name;
  char type = 'C';
  int size = 0;
  int decimals = 0;
};

struct parte {
  int first_vertex = 0;  // both included; last < first for an empty part
  int last_vertex = -1;
  int type = 5;          // MultiPatch part type (5, ring, elsewhere)
};

// A vertex. `m` is empty where the record carries no measures.
struct vertice {
  double x = 0, y = 0, z = 0;
  std::optional<double> m;
};

// A field value: its bytes in the record, exactly as stored.
struct valor {
  std::string_view bytes;
};

// Point (1), PointZ (11), PointM (21).
inline bool tipo_ponto(int shape_type)
{
  return shape_type == 1 || shape_type == 11 || shape_type == 21;
}

class exame_indice;

class ShapeFiles {
 public:
  ShapeFiles();
  ~ShapeFiles();
  ShapeFiles(const ShapeFiles&) = delete;
  // The reference path, for the tests: shapelib reads and writes every
  // record (SHPReadObject, SHPWriteObject, DBFReadTuple, DBFWriteTuple) of
  // the files opened or created after it, until switched off again.
  static void usa_shapelib(bool sim);
  ShapeFiles& operator=(const ShapeFiles&) = delete;

  // Opens an existing shapefile for reading (any file this instance had
  // open is closed first).
  void open_file(const std::string& path);
  // Open for reading at `path`, as `open_file` left it.
  bool aberto_em(const std::string& path) const;
  // Creates an empty shapefile of `shape_type`, its .shx and .dbf under the
  // same base name; `language_driver` is the .dbf code-page byte to write,
  // `table_version` its first byte (see `table_version()`).
  void create_file(const std::string& path, int shape_type, int language_driver,
                   int table_version = 3);
  // The name that messages give the file: its path, or the name set by
  // `mostra_como` (the output a hidden working file stands for), which
  // holds for the files opened after it.
  const std::string& path() const { return nome_; }
  void mostra_como(std::string nome) { alias_ = std::move(nome); }

  int shape_type() const;
  int record_count() const;
  // The box of the coordinates as the .shp's header declares it (x min,
  // y min, x max, y max), read with the header when the file was opened,
  // also by an `open_file` that then failed; none when the header declares
  // no records or could not be read.
  std::optional<std::array<double, 4>> caixa() const;
  int language_driver() const;
  // The .dbf's first byte, as the input's table has it: 3 for a dBase table,
  // 0x83, 0x8B or 0xF5 for one whose memo fields point into a .dbt or .fpt
  // beside it. A new table is given the input's, but Visual FoxPro's
  // (0x30-0x32), whose header is laid out otherwise, is written as 3.
  int table_version() const;

  // Fields.
  int field_count() const;
  campo field_at(int j) const;
  void add_field(const std::string& name, char type, int size, int decimals);
  void commit_fields();

  // Reading: the current record.
  void go_to_record(int k);
  valor value(int j) const;
  char deletion_flag() const;  // the record's first .dbf byte, ' ' or '*'
  bool is_null() const;
  int part_count() const;
  parte part_at(int i) const;
  int vertex_count() const { return lido_.n; }
  vertice vertex_at(int v) const;

  // Writing: the pending record.
  void set_value(int j, valor v);
  void set_deletion_flag(char f);
  void set_null();
  // `part` is the 1-based part the vertex belongs to (0 for point types);
  // a change of part number starts a new part of type `part_type`.
  void add_vertex(double x, double y, std::int16_t part, std::optional<double> m, double z,
                  int part_type = 5);
  // Starts part `part` of type `part_type` with no vertices (yet).
  void add_part(std::int16_t part, int part_type);
  void write_record();
  // Every record of `entrada`, in order: read as by `go_to_record`, shown
  // to `antes` (which may stop the copy by throwing), then written as the
  // next record here as the calls above would write it (its table record,
  // null or not, part structure, z and m), x and y through `f`. For the
  // component's own record path on both files (`copia_em_bytes`).
  bool copia_em_bytes(const ShapeFiles& entrada) const;
  void copia_registos(ShapeFiles& entrada, const funcao_registo& antes, const funcao_xy& f);

  // One copy in ranges of records, each copied by a thread of its own
  // (transfere.h). A range: records [primeiro, ultimo], which lie in the
  // .shp's bytes [inicio, fim).
  struct faixa {
    int primeiro = 0, ultimo = 0;
    long long inicio = 0, fim = 0;
  };
  // The ranges, n at most, into which the copy from `entrada` (open, none
  // of its records read yet) can be split, of about as many bytes each:
  // where both files are on the own record path through the block
  // windows, the input's records follow one another in index order from
  // the header on, with no byte between them (the output's, where each is
  // as long as its input, then take the same places), its table records
  // copy whole, and it is large enough for threads to pay (`faixas_desde`:
  // and of records of 128 bytes or more on average, lines and polygons).
  // None otherwise. With ranges, the output's space is set aside.
  std::vector<faixa> faixas(const ShapeFiles& entrada, int n);
  // The tests: the smallest .shp that is split (8 MiB unless set), which
  // is also the smallest table copied on a thread of its own while the
  // records are copied, and with `quantas`, into that many ranges whatever
  // `faixas` is asked. Gives back what was set before.
  static std::pair<long long, int> faixas_desde(long long bytes, int quantas = 0);
  // On an instance of its own for each range: `le_faixa` reads the records
  // of `entrada`, whose files were checked when it was opened;
  // `escreve_faixa` writes range f into the files that `saida` created.
  void le_faixa(const ShapeFiles& entrada);
  void escreve_faixa(const ShapeFiles& saida, const faixa& f);
  // The records of range f of `entrada`, as `copia_registos` copies them
  // (the table's apart), then written out. False where a record's output
  // would not be as long as its input: the ranges' places are not the
  // records' then, and the copy must be one loop.
  bool copia_faixa(ShapeFiles& entrada, const faixa& f, const funcao_registo& antes,
                   const funcao_xy& fn);
  // The input's table records, copied whole (by the system where it can),
  // while the ranges are copied.
  void copia_tabela_inteira(ShapeFiles& entrada);
  // Once every range is copied, the output takes them in, in order.
  void junta_faixas(const std::vector<ShapeFiles*>& partes);

  // Completes and closes the output; for an input, releases it, and throws
  // falha, naming the file, when its .shp, .shx or .dbf changed since it
  // was opened (size, modification or change time).
  void close_file();
  // Closes whatever is open without completing anything (after a fault).
  void abandon() noexcept;

 private:
  struct dados;
  std::unique_ptr<dados> d_;
  std::string caminho_, nome_, alias_;
  std::string causa() const;
  const char* tuplo() const;
  void copia_registo(const ShapeFiles& entrada, const funcao_xy& f);
  void copia_tabela(const ShapeFiles& entrada);
  bool tabela_igual(const ShapeFiles& entrada);
  void copia_campos(const ShapeFiles& entrada);
  [[noreturn, gnu::cold, gnu::noinline]] void nao_escreve(bool tabela) const;

  // The vertices of the current record as read, and of the pending record
  // as written. They live here, not in `dados`, so that the per-vertex
  // calls above compile into the record loop that makes them.
  // Little-endian doubles where they lie: x and y `passo` bytes apart
  // (interleaved in a record's bytes, or shapelib's arrays), z and m
  // 8 bytes apart.
  struct lido {
    int n = 0;
    int passo = 16;
    const unsigned char *x = nullptr, *y = nullptr;
    const unsigned char *z = nullptr, *m = nullptr;  // null where the record has none
  } lido_;
  struct pendente {
    std::vector<double> x, y, z, m;
    std::vector<int> inicios, tipos;  // of each part: first vertex (0-based), type
    int parte_atual = 0;
    bool com_m = false, sem_m = false;
    void limpa();
  } pendente_;
  [[noreturn]] void sem_vertice(int v) const;
  void comeca(const std::string& path);
  std::optional<exame_indice> abre_registos(const std::string& path, const std::string& shx,
                                           long long registos);
  void verifica_indice_inteiro(const std::string& path, const std::string& shx);
  enum class problema { nenhum, leitura, partes, comprimento, tipo, primeira_parte, sem_partes, multipatch_m };
  problema le_registo(int k);
  [[noreturn, gnu::cold, gnu::noinline]] void recusa_registo(int k, problema p) const;
  bool forma_shapelib();
  bool forma_propria();
};

inline vertice ShapeFiles::vertex_at(int v) const
{
  if (v < 1 || v > lido_.n) sem_vertice(v);
  const std::size_t i = static_cast<std::size_t>(v - 1);
  auto real = [](const unsigned char* p) {
    double d;
    std::memcpy(&d, p, 8);
    return d;
  };
  vertice r;
  r.x = real(lido_.x + i * lido_.passo);
  r.y = real(lido_.y + i * lido_.passo);
  r.z = lido_.z ? real(lido_.z + 8 * i) : 0.0;
  if (lido_.m) r.m = real(lido_.m + 8 * i);
  return r;
}

// Always inlined: one call per vertex, in the record loop.
[[gnu::always_inline]] inline void ShapeFiles::add_vertex(double x, double y, std::int16_t part,
                                                          std::optional<double> m, double z,
                                                          int part_type)
{
  pendente& p = pendente_;
  if (part != p.parte_atual) {
    p.inicios.push_back(static_cast<int>(p.x.size()));
    p.tipos.push_back(part_type);
    p.parte_atual = part;
  }
  p.x.push_back(x);
  p.y.push_back(y);
  p.z.push_back(z);
  p.m.push_back(m ? *m : 0.0);
  (m ? p.com_m : p.sem_m) = true;
}

}  // namespace kelvara
