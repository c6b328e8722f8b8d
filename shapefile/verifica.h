// The checks of an input shapefile that shapelib does not make, in words
// the user can act on: its headers before shapelib reads them, then its
// index against the .shp and its table against the index. Each throws
// `falha` naming the file and, for a record, its number.
#pragma once

#include <cstdint>
#include <string>

#include <shapefil.h>

namespace kelvara {

bool tipo_valido(int shape_type);

// The 100-byte header that .shp and .shx share, as the file holds it.
struct cabecalho {
  bool lido = false;       // the file could be opened
  long long tamanho = -1;  // of the file, in bytes (below 100: no whole header)
  std::uint32_t codigo = 0;
  long long comprimento = 0;  // as declared, in bytes
  int tipo = 0;
  double caixa[4] = {};  // x min, y min, x max, y max
};

// Reads a header; `lido` false when the file cannot be opened (the cause in
// es::erro_so()).
cabecalho le_cabecalho(const std::string& nome);

// Checks the headers of an input, in words the user can act on: the .shp's
// as `shp` holds it (read into it here where it could not be before) and its
// index's: size, file code, shape type, and the index's declared length.
// Returns the number of records the index holds.
long long verifica_cabecalhos(cabecalho& shp, const std::string& path, const std::string& shx);

// Every index entry within the .shp and no two records sharing bytes; an
// index as long as its records; no data after the last indexed record; a
// table with as many records as the index, none cut short, and a field
// list that ends where its header says.
void verifica_indice(SHPHandle shp, const std::string& path, const std::string& shx);

// The same checks of an index walked entry by entry, in memory of its own
// only while the offsets increase (as every writer makes them): `junta`
// takes each entry in order; when it returns false the offsets went back,
// and the entries are handed whole to `verifica_indice` below instead of
// `conclui`.
class exame_indice {
 public:
  explicit exame_indice(long long tam_shp) : tam_shp_(tam_shp) {}
  bool junta(int i, unsigned desl, unsigned tam)
  {
    const long long fim = (long long)desl + 8 + tam;
    if (desl < 100 || fim > tam_shp_) {
      if (mau_ < 0) mau_ = i, dentro_ = false;
      return true;
    }
    if ((long long)desl < desl_anterior_) return false;
    if ((long long)desl != (i == 0 ? 100 : fim_anterior_)) continuo_ = false;
    desl_anterior_ = desl;
    if (fim > fim_maximo_) fim_maximo_ = fim;
    if ((long long)desl < fim_anterior_) {
      if (mau_ < 0) mau_ = i, dentro_ = true;
    } else {
      fim_anterior_ = fim;
    }
    return true;
  }
  void conclui(int n, const std::string& path, const std::string& shx) const;
  // The records follow one another from the header on, in index order,
  // without a byte between them.
  bool continuo() const { return continuo_ && mau_ < 0; }

 private:
  long long tam_shp_;
  long long desl_anterior_ = -1, fim_anterior_ = 0, fim_maximo_ = 100;
  int mau_ = -1;
  bool dentro_ = false;
  bool continuo_ = true;
};
void verifica_indice(const unsigned* desl, const unsigned* tam, int n, const std::string& path,
                     const std::string& shx);
void verifica_tabela(DBFHandle dbf, int registos, const std::string& path,
                     const std::string& nome_dbf);

}  // namespace kelvara
