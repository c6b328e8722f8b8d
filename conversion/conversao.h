// The conversion command: what "OK" runs. It checks the user's entries,
// finds the route for the pair of systems, derives every file name, runs the
// route's steps over the record transfer loop, puts the result in place of
// the output the user named, writes the projection file and reports the
// output path.
//
// Faults and refusals (a file that cannot be read or written, a damaged
// shapefile, missing grid files, a parameter file of the wrong axis) are
// caught here, once, and come back as the result: what the run came to and
// the messages that say so, one naming the file and the cause. This run's
// files are then removed, the input is never touched, and an output that
// existed before is replaced only by a complete one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "janela.h"
#include "rotas.h"

namespace kelvara {

class trincos_lote;

// One conversion, in the user's words: the two system names, the input and
// output shapefiles, the X and Y parameter files ("Qualquer" only), and the
// folder of the Datum Lisboa grid files. `forcar`: convert even an input
// that does not look like Sistema 1 (its .prj names another system, its
// coordinates lie outside the system's area), without asking.
// How the mainland routes convert: by the official polynomials and the
// Datum Lisboa grid files (the default), or by DGT's NTv2 grids.
enum class metodo { oficial, dgt };

struct pedido {
  std::string sistema1;
  std::string sistema2;
  std::string entrada;
  std::string saida;
  std::string parametros_x;
  std::string parametros_y;
  std::string pasta_grelhas;  // "": the program's own folder
  bool forcar = false;
  // The projection file PROJ writes for the target's EPSG code
  // (sistema::prj_epsg) instead of the target's own text.
  bool prj_epsg = false;
  kelvara::metodo metodo = metodo::oficial;
  // One of a batch's files (lote.h): its output is put on disk by one
  // flush of the file system.
  bool em_lote = false;
  // The output folder is cleared of what killed runs left there first; a
  // batch has its first conversion into each folder do it for all.
  bool limpa_restos = true;
  // A batch's run locks, kept from one run for the next (publica.h).
  trincos_lote* trincos = nullptr;
};

// What a conversion came to.
enum class desfecho {
  criado,        // the output is in place
  recusado,      // an entry missing or refused, or the user said "Não"
  interrompido,  // stopped at the user's request (or a signal's)
  falhou,        // a file could not be read or written, or held something wrong
  sem_rota,      // both names known, but no route between them
};

// The completion message is this text followed by the output path.
inline constexpr const char* texto_criado = "Criado o ficheiro: ";

// What each message is, for the front end to give it its place: its title
// in the window, its stream on the command line.
enum class tipo_mensagem {
  conclusao,   // texto_criado and the output
  aviso,       // an entry missing, a refusal, a fault
  parametros,  // a parameter file of the wrong axis
  nota,        // where a rejected vertex lies, beside its message
};

struct mensagem {
  std::string texto;
  tipo_mensagem tipo;
  bool operator==(const mensagem&) const = default;
};

struct resultado {
  desfecho como = desfecho::falhou;
  std::vector<mensagem> mensagens;  // in the order the user is told them
  // Stopped at a vertex off the Datum Lisboa grid: the window then ends
  // the program after its message.
  bool fora_da_grelha = false;
  // A grid file of the route missing (kelvara-cli then points to
  // --grelhas).
  bool sem_grelhas = false;
};

// The question asked before an existing output `shp` is replaced.
std::string pergunta_substitui(const std::string& shp);

// What a run says while it waits for another run publishing into `pasta`.
std::string texto_espera(const std::string& pasta);

// The entry checks, and the route of the request: the route, or null with
// the refusal (or desfecho::sem_rota) in `recusado`. With `lote`, `saida`
// names the output folder of several inputs, and the input is not checked.
const rota* encaminha(const pedido& p, bool lote, resultado& recusado);

class corrida;

// A conversion in two halves, for a batch that puts one file's output in
// place while the next file converts: `escreve` runs everything up to the
// output's publication (false: the run ended there, and fim() says how);
// then `publica` puts the output in place and says what the run came to.
// `converte` is both, one after the other.
class conversao {
 public:
  conversao(const pedido& p, const rota& r, janela& j);
  ~conversao();
  conversao(const conversao&) = delete;
  conversao& operator=(const conversao&) = delete;
  bool escreve();
  resultado publica();
  const resultado& fim() const;

 private:
  std::unique_ptr<corrida> c_;
  janela& j_;
};

// Runs the conversion: checks, routes and converts.
resultado converte(const pedido& p, janela& j);
// Converts by the route given, whatever the names of the request say.
resultado converte(const pedido& p, const rota& r, janela& j);

}  // namespace kelvara
