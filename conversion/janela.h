// What the conversion needs of its window, and no more: a modal message,
// a question, the busy state (the mouse pointer) and closing. The Qt window, the
// command-line tool and the tests each provide one.
#pragma once

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
};

}  // namespace kelvara
