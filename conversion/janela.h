// What the conversion needs of its window, and no more: a modal message,
// the busy state (the mouse pointer) and closing. The Qt window, the
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
};

}  // namespace kelvara
