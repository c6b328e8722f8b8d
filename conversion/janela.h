// What the conversion needs of its window, and no more: a modal message,
// a question, the busy state (the mouse pointer), closing, progress and a
// request to stop. The Qt window, the command-line tool, a batch and the
// tests each provide one.
#pragma once

#include <atomic>
#include <string>

namespace kelvara {

// Title bar of messages that give no title of their own.
inline const std::string titulo_programa = "kelvara";
// Title of the completion message and of the parameter-file messages.
inline const std::string titulo_ostrel = "Ostrel - Kelvara";
// The completion message is this text followed by the output path.
inline const std::string texto_criado = "Criado o ficheiro: ";

class janela {
 public:
  virtual ~janela() = default;
  // A modal message box with only an OK button and no icon.
  virtual void mensagem(const std::string& texto, const std::string& titulo) = 0;
  // The busy pointer while a conversion works; the default one after.
  virtual void ocupado(bool sim) = 0;
  // Closes the main window, which ends the program.
  virtual void fecha() = 0;
  // A question with "Sim" and "Não", "Não" the default: true for "Sim".
  // Asked when the input does not look like the source system chosen.
  virtual bool pergunta(const std::string&, const std::string&) { return false; }
  // Asked before an existing output is replaced ("O ficheiro ... já existe.
  // Substituir?"); true to replace. The command line and the tests replace.
  virtual bool substitui(const std::string&) { return true; }
  // Where a rejected vertex lies (file and record), beside a message that
  // stays as it is: only the command line prints it.
  virtual void nota(const std::string&) {}
  // Progress of the record loop: `feitos` records copied of `total` (a
  // chain of two routines counts each record twice). Called from the
  // conversion's thread a few hundred times per file at most, so that it
  // never slows the loop; the last call has feitos == total.
  virtual void progresso(long long /*feitos*/, long long /*total*/) {}
  // A stop request of this run's own (the window's "Cancelar", a batch
  // interrupted), looked at before every record beside the program-wide
  // one of paragem.h; none by default.
  virtual const std::atomic<bool>* pedido_de_paragem() const { return nullptr; }
};

}  // namespace kelvara
