// Safeguards against converting from the wrong system: before anything is
// written, the input's projection file (.prj) and the box of its
// coordinates are compared with the source system chosen; while the records
// are read, a record that lies wholly outside that system's area stops the
// conversion the same way. Each refusal is a question to the window
// ("Converter mesmo assim?"); the command line answers "Não" unless told to
// convert anyway, and then the message is the refusal.
#pragma once

#include <optional>
#include <string>

#include "janela.h"
#include "rotas.h"
#include "shapefiles.h"

namespace kelvara {

struct caixa {
  double x_min, y_min, x_max, y_max;
};

// The two boxes have a point in common; `a` with its margin.
bool encontra(const caixa& c, const area& a);

// The projection file beside the input whose name without extension is
// `base`: base.prj, or the extension in other letters (RIOS.PRJ); empty
// when there is none.
std::string prj_da_entrada(const std::string& base);

// What the projection file `prj` says against `s`: a refusal when it
// defines a system other than `s` (geographic, another of the catalogue's,
// or any other it can read); a warning when it cannot be read; neither
// when it defines `s`.
struct juizo_prj {
  std::string recusa, aviso;
};
juizo_prj examina_prj(const std::string& prj, const sistema& s);

// Refusal when the box of `shp` (the whole file, or record `registo`) does
// not meet the area of `s`.
std::string recusa_area(const std::string& shp, const caixa& c, const sistema& s,
                        int registo = 0);

// Asks whether to convert despite `porque`; throws it as a refusal when the
// answer is "Não".
void confirma(janela& j, const std::string& porque);

// The checks before the conversion, on the input of a route from `s`, open
// in `entrada`: its projection file, and the box its header declares
// (none where it declares no records, or one of zeros, not finite or
// inverted). True when its records must be checked one by one as they are
// read: always, but after a "Sim" to the question about the box, since a
// header's box may not be the records' (a program that did not update it).
bool verifica_fonte(janela& j, const sistema& s, const ShapeFiles& entrada);

// The check of each record, as the transfer loop reads it.
class vigia_registos {
 public:
  vigia_registos(janela& j, const sistema& s, std::string shp, bool ativa)
      : j_(j), s_(s), shp_(std::move(shp)), ativa_(ativa)
  {
  }
  void operator()(const ShapeFiles& entrada, int registo)
  {
    if (ativa_) examina(entrada, registo);  // every record: no call while inactive
  }
  // The look alone, on any thread: false for a record that would be asked
  // about.
  bool dentro(const ShapeFiles& entrada, int) const { return !ativa_ || !fora(entrada); }

 private:
  void examina(const ShapeFiles& entrada, int registo);
  // The record's box, where it lies wholly outside the area.
  std::optional<caixa> fora(const ShapeFiles& entrada) const;
  janela& j_;
  const sistema& s_;
  std::string shp_;
  bool ativa_;
};

}  // namespace kelvara
