// The hooks through which shapelib reaches the disk, and the record of what
// failed there.
//
// shapelib's *LL functions get the table of `ganchos()`: its file calls go
// to the block windows (blocos.h). Errors that shapelib reports through its
// Error hook, and failed writes, closes and reads of any file opened through
// the hooks, are kept for the calling thread until `limpa_falha`, so that
// the component can name the file and the cause.
#pragma once

#include <string>
#include <system_error>

#include <shapefil.h>

namespace kelvara::es {

const SAHooks& ganchos();

// The table that `ShapeFiles` opens files with: `ganchos()`, unless the
// tests have put another in its place (null puts `ganchos()` back).
const SAHooks& ganchos_em_uso();
void usa_ganchos(const SAHooks* outros);

// The first I/O failure on this thread since the last `limpa_falha`:
// the file's name and the cause. Empty when there was none.
struct falha_es {
  std::string ficheiro;
  std::error_code causa;
  std::string shapelib;  // last text shapelib gave through its Error hook
  bool houve() const { return !ficheiro.empty() || !shapelib.empty(); }
  // The last file the hooks could not open, and why: shapelib tries other
  // names at times, so this alone is no failure, only the cause of one.
  std::string abertura;
  std::error_code causa_abertura;
};
const falha_es& ultima_falha();
// Something recorded on this thread since the last `limpa_falha`: checked
// and cleared at every record, so without a call while nothing is.
extern thread_local constinit bool algo_registado;
void limpa_falha_registada();
inline void limpa_falha()
{
  if (algo_registado) limpa_falha_registada();
}
inline bool houve_falha() { return algo_registado && ultima_falha().houve(); }

// Records a failed operation on `nome` (errno `codigo`; 0 counts as an I/O
// error) unless one is recorded already.
void regista(const std::string& nome, int codigo);
// Records a file that could not be opened (errno `codigo`).
void regista_abertura(const std::string& nome, int codigo);

}  // namespace kelvara::es
