// Many files in one go: the inputs (files and folders) turned into pairs
// of an input and an output in one output folder, checked before anything
// starts, and converted a few at a time, each by the conversion command
// with every guarantee of a single conversion (its own files beside the
// output, all-or-nothing publication, a clean stop). The window and
// kelvara-cli both run their batches here.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "conversao.h"

namespace kelvara {

// One file of a batch.
struct par_lote {
  std::string entrada;
  std::string saida;
};

// True when the inputs and the output call for a batch: several inputs, an
// input that is a folder, or an output that is an existing folder or ends
// in a separator.
bool e_lote(const std::vector<std::string>& entradas, const std::string& saida);

// The entry checks of a batch, made once before it starts as each of its
// conversions would make them: the parameter files of "Qualquer", the
// source system and the route. False when they refuse, each message given
// to `mostra`; a pair of known systems without a route is refused without
// one, as a single conversion does.
bool verifica_entradas(const pedido& p, const std::function<void(const std::string&)>& mostra);

// The pairs of a batch. An input file converts into `pasta_saida` under its
// own name; an input folder gives each of its *.shp files (the extension in
// any case), sorted by name, and with `recursivo` those of its subfolders
// too, mirrored under `pasta_saida`, which is itself never walked. Throws
// falha, before anything is written, when the output folder is a file or
// neither it nor its parent exists, when an input folder cannot be read,
// and when two inputs would write the same output (naming both).
std::vector<par_lote> expande(const std::vector<std::string>& entradas,
                              const std::string& pasta_saida, bool recursivo);

// Creates the output folder and the subfolders that the pairs write into.
// Throws falha.
void cria_pastas(const std::vector<par_lote>& pares, const std::string& pasta_saida);

// The outputs (.shp, as derived) of the pairs that exist already.
std::vector<std::string> saidas_existentes(const std::vector<par_lote>& pares);

// What a batch needs of whoever runs it. Every call may come from any of
// the batch's threads, several at once: implementations serialise them.
class janela_lote {
 public:
  virtual ~janela_lote() = default;
  // A message of the conversion of pair `i`: its completion message or one
  // naming its fault.
  virtual void mensagem(std::size_t i, const std::string& texto, const std::string& titulo) = 0;
  // The question of the safeguards about pair `i`'s input; "Não" by default.
  virtual bool pergunta(std::size_t, const std::string&, const std::string&) { return false; }
  // Where a rejected vertex lies (the command line prints it).
  virtual void nota(std::size_t, const std::string&) {}
  // The batch's progress from 0 to 1, each pair weighted by the size of its
  // input; `atual` is the pair that last reported. Called in order.
  virtual void progresso(double /*fracao*/, std::size_t /*atual*/) {}
};

enum class estado_lote { por_converter, convertido, falhou };

struct resultado_lote {
  estado_lote estado = estado_lote::por_converter;
  std::vector<std::string> causas;  // the messages of a failed conversion
};

// Converts every pair with the systems, parameter files, grid folder and
// `forcar` of `modelo`, at most `simultaneas` at once; an existing output
// is replaced (the caller asked before). When `parar` or the program-wide
// stop request is set, the running conversions stop at their next record
// and no other starts. One result per pair.
std::vector<resultado_lote> converte_lote(const pedido& modelo, const std::vector<par_lote>& pares,
                                          int simultaneas, janela_lote& j,
                                          const std::atomic<bool>& parar);

// One line: how many were converted of how many, which failed and which
// were not converted.
std::string resumo(const std::vector<par_lote>& pares, const std::vector<resultado_lote>& r);

}  // namespace kelvara
