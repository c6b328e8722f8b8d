// Many files in one go: the inputs (files and folders) turned into pairs
// of an input and an output in one output folder, checked before anything
// starts, and converted a few at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
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

// A batch: the systems, parameter files, grid folder and `forcar` of
// `modelo` for every file, its `saida` the output folder; the inputs, files
// and folders; with `recursivo`, the subfolders of the input folders too;
// at most `simultaneas` conversions at once.
struct pedido_lote {
  pedido modelo;
  std::vector<std::string> entradas;
  bool recursivo = false;
  int simultaneas = 1;
};

// What a batch needs of whoever runs it. Every call but `substitui` may
// come from any of the batch's threads, several at once: implementations
// serialise them.
class janela_lote {
 public:
  virtual ~janela_lote() = default;
  // Before any file is converted, when outputs exist: true to replace
  // them, false to convert nothing.
  virtual bool substitui(const std::string&) { return true; }
  // True: no output that exists is replaced, and none asked about; its
  // file is not converted (ficheiro_lote::existia), the others are.
  virtual bool recusa_existentes() const { return false; }
  // A message while pair `i` converts (janela::mensagem).
  virtual void mensagem(std::size_t, const std::string&) {}
  // Pair `i` waits for another run into its output folder
  // (janela::espera_pasta).
  virtual void espera_pasta(std::size_t, const std::string&) {}
  // The question of the safeguards about pair `i`'s input; "Não" by default.
  virtual bool pergunta(std::size_t, const std::string&) { return false; }
  // Pair `i` is done: what it came to. Called in the order of the pairs.
  virtual void acabou(std::size_t, const resultado&) {}
  // The batch's progress from 0 to 1, each pair weighted by the size of its
  // input; `atual` is the pair that last reported. Called in order.
  virtual void progresso(double /*fracao*/, std::size_t /*atual*/) {}
};

// One file of a batch, once the batch has run.
struct ficheiro_lote {
  // What its conversion came to; desfecho::interrompido, with no message,
  // for a file that the batch stopped before converting it.
  resultado r{desfecho::interrompido, {}};
  std::vector<std::string> avisos;  // the messages while it converted
  bool existia = false;  // not converted: its output exists (recusa_existentes)
};

// The batch runner: the entry checks and the route, the pairs, the one
// question about the outputs that exist, the output folders, and then the
// conversions, each by the conversion command with every guarantee of a
// single conversion (its own files beside the output, all-or-nothing
// publication, a clean stop); an existing output is replaced, or refused
// where the caller says so. The window and kelvara-cli both run their
// batches here.
class lote {
 public:
  explicit lote(pedido_lote p) : p_(std::move(p)) {}

  // Everything before the first conversion. False when the batch goes no
  // further: como() and mensagens() say why (sem_rota and recusado without
  // a message where the user said "Não").
  bool prepara(janela_lote& j);
  // Converts every pair, at most `simultaneas` at once; each output, once
  // written, is put in place on a thread of its own while the next pair
  // converts. When `parar` or the program-wide stop request is set, the
  // running conversions stop at their next record, no other starts, and
  // an output written but not yet in place is not put there.
  void converte(janela_lote& j, const std::atomic<bool>& parar);

  const std::vector<par_lote>& pares() const { return pares_; }
  const std::vector<ficheiro_lote>& ficheiros() const { return ficheiros_; }
  // criado when every file was created; interrompido when the batch was
  // stopped before all were; falhou when one failed or was refused.
  desfecho como() const { return como_; }
  const std::vector<mensagem>& mensagens() const { return mensagens_; }

  // What the batch came to in one text: the window's message ("Criados 2
  // de 3 ficheiros em ...", each failed file with its messages, the files
  // not converted) or kelvara-cli's line ("Convertidos 2 de 3 ficheiros.
  // Falharam: ...").
  enum class forma { caixa, linha };
  std::string resumo(forma f) const;

 private:
  pedido_lote p_;
  const rota* rota_ = nullptr;
  std::vector<par_lote> pares_;
  std::vector<ficheiro_lote> ficheiros_;
  desfecho como_ = desfecho::falhou;
  std::vector<mensagem> mensagens_;
};

}  // namespace kelvara
