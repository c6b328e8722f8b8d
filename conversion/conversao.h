// The conversion command: what "OK" runs. It checks the user's entries,
// finds the route for the pair of systems, derives every file name, runs the
// route's transformation routines over the record transfer loop, puts the
// result in place of the output the user named, writes the projection file
// and reports the output path.
//
// Faults (a file that cannot be read or written, a damaged shapefile) are
// caught here, once: the user sees one message naming the file and the
// cause, this run's working files are removed, the input is never touched,
// and an output that existed before is replaced only by a complete one.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "grelha.h"
#include "ilhas.h"
#include "janela.h"
#include "shapefiles.h"

namespace kelvara {

// The texts of the window's six boxes.
struct entradas {
  std::string Combo1;  // Sistema 1
  std::string Combo2;  // Sistema 2
  std::string Text1;   // input shapefile
  std::string Text2;   // output shapefile
  std::string Text3;   // X parameter file
  std::string Text4;   // Y parameter file
};

// The fifteen system names the command knows.
std::span<const char* const> sistemas();

class conversao {
 public:
  // `pasta_grelhas` is the folder of the Datum Lisboa grid files.
  conversao(janela& j, std::string pasta_grelhas);

  // "OK". Returns true when the conversion completed: the completion
  // message was shown and the window closed.
  bool Command1_Click(const entradas& e);

  // One route: its steps in order (one or two routines) and whether a
  // projection file is written. A null `sistema2` accepts any target.
  using rotina = void (conversao::*)();
  struct rota {
    const char* sistema1;
    const char* sistema2;
    rotina passo1;
    const char* nome1;
    rotina passo2;
    const char* nome2;
    bool prj;
  };
  static std::span<const rota> rotas();

  // Path variables, set afresh by every run before anything reads them.
  std::string fich1a, fich1b, fich1c;  // input of the current routine
  std::string fich2a, fich2b, fich2c;  // output of the current routine
  std::string fich3a, fich3b, fich3c;  // final output
  std::string fich_par_m, fich_par_p;  // X and Y parameter files
  std::string fich_prj;                // projection file

 private:
  bool corre(const rota& r, const entradas& e);
  void deriva_nomes(const entradas& e);
  void verifica_nomes(const entradas& e) const;
  std::vector<std::string> reserva_temporarios();
  std::vector<std::string> restos_temporarios() const;
  void publica(const std::vector<std::string>& temporarios);
  void limpa() noexcept;

  // Transformation routines: each converts fich1a into fich2a.
  void transf_01();
  void transf_10();
  void transf_12();
  void transf_21();
  void transf_54();
  void transf_64();
  void transf_74();
  void transf_84();
  void transf_94();
  void transf_104();
  void transf_114();
  void transf_124();
  void qualquer();
  void ilha(const coeficientes_ilha& c);
  void grelha_lisboa(sentido s);

  janela& j_;
  std::string grelhas_;
  ShapeFiles Shp1, Shp2;
  std::vector<std::string> criados_;  // this run's own files, removed after a fault
  bool parou_ = false;  // a routine showed its message and created nothing
};

}  // namespace kelvara
