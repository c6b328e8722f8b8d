// The conversion command: what "OK" runs. It checks the user's entries,
// finds the route for the pair of systems, derives every file name, runs the
// route's transformation routines over the record transfer loop, puts the
// result in place of the output the user named, writes the projection file
// and reports the output path.
//
// Faults and refusals (a file that cannot be read or written, a damaged
// shapefile, missing grid files, a parameter file of the wrong axis) are
// caught here, once: the user sees one message naming the file and the
// cause, this run's files are removed, the input is never touched, and an
// output that existed before is replaced only by a complete one.
#pragma once

#include <string>

#include "janela.h"

namespace kelvara {

// One conversion, in the user's words: the two system names, the input and
// output shapefiles, the X and Y parameter files ("Qualquer" only), and the
// folder of the Datum Lisboa grid files. `forcar`: convert even an input
// that does not look like Sistema 1 (its .prj names another system, its
// coordinates lie outside the system's area), without asking.
struct pedido {
  std::string sistema1;
  std::string sistema2;
  std::string entrada;
  std::string saida;
  std::string parametros_x;
  std::string parametros_y;
  std::string pasta_grelhas;  // "": the program's own folder
  bool forcar = false;
};

// Runs the conversion. True when it completed: the completion message was
// shown and the window closed.
bool converte(const pedido& p, janela& j);

}  // namespace kelvara
