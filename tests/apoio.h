// Test support: the system names, temporary folders, a window that records
// what it is told, running a conversion, the message of a fault, shapefiles
// written and read with plain shapelib (not through kelvara's component),
// large files and files with their records reversed, parameter files, raw
// bytes, and running the command-line tool.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "caminhos.h"
#include "conversao.h"
#include "polinomio.h"

namespace kelvara::teste {

namespace fs = std::filesystem;

// The system names as the user writes them.
inline const std::string etrs = "ETRS89 TM06";
inline const std::string d73 = "Hayford-Gauss Datum 73";
inline const std::string lisboa = "Hayford-Gauss Datum Lisboa-Ponto Central";
inline const std::string d73m = "Hayford-Gauss Datum 73 Militar";
inline const std::string lisboam = "Hayford-Gauss Datum Lisboa Militar";
inline const std::string qualquer = "Qualquer";

// A fresh folder under the system's temporary folder, removed afterwards.
class pasta_temporaria {
 public:
  pasta_temporaria();
  ~pasta_temporaria();
  pasta_temporaria(const pasta_temporaria&) = delete;
  pasta_temporaria& operator=(const pasta_temporaria&) = delete;
  // The path of `nome` inside the folder, as UTF-8.
  std::string operator/(const std::string& nome) const;
  const fs::path& caminho() const { return p_; }
  // The names of the files in the folder, sorted.
  std::vector<std::string> ficheiros() const;

 private:
  fs::path p_;
};

// A window that keeps every message, question and busy state, and answers
// every question with `resposta`.
struct janela_teste : janela {
  // The messages while the run went on (as avisos) and those of its result.
  std::vector<kelvara::mensagem> mensagens;
  std::vector<std::string> perguntas;
  bool resposta = false;
  std::vector<bool> ocupados;
  resultado fim;  // what the last conversion came to
  bool pergunta(const std::string& texto) override
  {
    perguntas.push_back(texto);
    return resposta;
  }
  void mensagem(const std::string& texto) override
  {
    mensagens.push_back({texto, tipo_mensagem::aviso});
  }
  void ocupado(bool sim) override { ocupados.push_back(sim); }
  // Called with each progress report of the record loop, where set.
  std::function<void(long long feitos)> durante;
  void progresso(long long feitos, long long) override
  {
    if (durante) durante(feitos);
  }
  std::vector<std::string> textos() const;
};

// Runs the conversion as "OK" would, with the grid files in `grelhas`;
// with `forcar`, as kelvara-cli --forcar. True when it created the output.
bool converte(janela_teste& j, const std::string& s1, const std::string& s2,
              const std::string& entrada, const std::string& saida,
              const std::string& parametros_x = "", const std::string& parametros_y = "",
              const std::string& grelhas = "", bool forcar = false);

// A folder and a window for conversions in it, with the grid files (where
// a test writes them) in its "grelhas": `ok` converts from the names of two
// of its files (and parameter files) as "OK" would.
struct ensaio {
  pasta_temporaria p;
  janela_teste j;
  bool ok(const std::string& s1, const std::string& s2, const std::string& entrada,
          const std::string& saida, const std::string& parametros_x = "",
          const std::string& parametros_y = "")
  {
    return converte(j, s1, s2, p / entrada, p / saida, parametros_x, parametros_y, p / "grelhas");
  }
};

// Converts, with the override unless told not to (as for inputs from
// elsewhere than Portugal): empty when it created the output, otherwise its
// last message.
// Copies in ranges as the variable KELVARA_FAIXAS asks (none without it),
// or in `quantas` of them, however small, while a `com_faixas` lives.
void faixas_do_ambiente();
struct com_faixas {
  explicit com_faixas(int quantas);
  ~com_faixas() { faixas_do_ambiente(); }
  com_faixas(const com_faixas&) = delete;
  com_faixas& operator=(const com_faixas&) = delete;
};

std::string falha_ao_converter(const std::string& s1, const std::string& s2,
                               const std::string& entrada, const std::string& saida,
                               bool forcar = true);

// PointZ records with an ID field at each of `xy` (z 10·k and m −k for the
// k-th, from 0), a null record where x is NaN.
void pontos(const std::string& base, const std::vector<std::pair<double, double>>& xy);
// Five points around (x0, y0), the third a null record.
std::vector<std::pair<double, double>> em_volta(double x0, double y0);
// A point in the area of the system of that name: the middle of an
// island's; on the mainland (1000, -2000), inside the test grids, in the
// military grids' coordinates where the system is one.
std::pair<double, double> dentro_de(const std::string& sistema);

// The projection text of the system of that name in the catalogue; empty
// where it has none, or there is no such system.
std::string texto_prj(const std::string& sistema);

// The message of the fault (falha) that `f` throws; "(sem falha)" when it
// throws none.
std::string falha_de(const std::function<void()>& f);

// A parameter file for one axis ('X' or 'Y') of a coefficient set, each
// number in the shortest text that reads back to the same double.
std::string ficheiro_parametros(char letra, const coeficientes& c);

// One shape as plain shapelib sees it.
struct forma {
  int tipo = 0;  // 0 for a null record
  std::vector<int> inicios, tipos_partes;
  std::vector<double> x, y, z, m;
  bool com_m = false;
};

// A field definition and, per record, the field values as text.
struct definicao {
  std::string nome;
  char tipo;
  int largura;
  int decimais;
};

struct shapefile_teste {
  int tipo = 0;
  std::vector<definicao> campos;
  std::vector<forma> formas;
  std::vector<std::vector<std::string>> valores;  // per record, per field
  std::vector<bool> apagados;
  std::optional<std::string> cpg;  // code page text, written as .cpg
  int ldid = 0;                    // .dbf language driver byte
};

// Writes base.shp, .shx, .dbf (and .cpg) with plain shapelib.
void escreve(const std::string& base, const shapefile_teste& s);

// Reads a shapefile back with plain shapelib.
struct lido {
  int tipo = 0;
  std::vector<forma> formas;
  std::vector<std::string> tuplos;  // raw .dbf records, deletion flag included
  std::string descritores;          // raw field descriptor block
  int ldid = 0;
};
lido le(const std::string& shp);

// Everything but x and y is the same in `b` as in `a`: shape types, parts,
// part types, vertex counts, z and m bit for bit, and the attribute records.
void espera_mesmo_resto(const lido& a, const lido& b);

// `registos` polylines of one part and `vertices` vertices each, with z and
// m where `com_z`, inside the mainland's extent, and two fields.
void polilinhas(const std::string& base, int registos, int vertices = 10, bool com_z = false);

// Copies the shapefile `de` (a base name) to `para` with its records in the
// reverse order in the .shp, the index still in record order.
void inverte_registos(const std::string& de, const std::string& para);

// Paths as UTF-8, whatever the platform.
std::string bytes(const std::string& ficheiro);
void grava(const std::string& ficheiro, const std::string& conteudo);
// The records of a .shp (from byte 100 on).
std::string registos_shp(const std::string& shp);
bool mesmos_bits(double a, double b);

// Big-endian 32-bit integers as the .shp and .shx headers hold them.
void poe_grande_endian(std::string& b, size_t pos, std::int32_t v);
std::int32_t le_grande_endian(const std::string& b, size_t pos);
// Offset in bytes of record k (1-based) as the index .shx gives it.
size_t deslocamento(const std::string& shx, int k);

// Runs a program with its arguments, without a shell: a name without a
// folder is looked for on the PATH. Its standard input holds `entrada`;
// `ambiente` adds or replaces variables; `limite_ficheiro` (bytes, POSIX
// only) caps the size of any file it writes, as a full disk would.
// Returns its exit status (127 when it cannot be started, 128 + the signal
// when one ended it), standard output and standard error, line ends as
// "\n" on every platform.
struct processo {
  int codigo;
  std::string saida, erros;
};
struct opcoes_processo {
  std::string entrada;
  std::vector<std::pair<std::string, std::string>> ambiente;
  long long limite_ficheiro = -1;
};
processo corre(const std::vector<std::string>& argumentos, const opcoes_processo& o = {});

// kelvara-cli with these arguments.
processo corre_cli(const std::vector<std::string>& argumentos, const opcoes_processo& o = {});

// Holds a file open, sharing it with no one, as another program (a GIS
// showing the layer) may on Windows. POSIX has no such open: there
// `preso()` is false.
class ficheiro_preso {
 public:
  explicit ficheiro_preso(const std::string& nome);
  ~ficheiro_preso();
  ficheiro_preso(const ficheiro_preso&) = delete;
  ficheiro_preso& operator=(const ficheiro_preso&) = delete;
  bool preso() const { return preso_; }

 private:
  void* h_ = nullptr;
  bool preso_ = false;
};

// The folder of real shapefiles written by other software, if present.
std::optional<std::string> corpus();
#define KELVARA_PRECISA_CORPUS(c)                                                   \
  const auto c = ::kelvara::teste::corpus();                                        \
  if (!c) GTEST_SKIP() << "sem a pasta de shapefiles reais " KELVARA_CORPUS        \
                          " (../shared/corpus): teste saltado"

}  // namespace kelvara::teste
