// What the conversion needs of its window while it runs, and no more: a
// message, a question, the busy state (the mouse pointer), progress and a
// request to stop. What the run came to is its result (conversao.h), which
// the window, kelvara-cli and a batch each turn into their own texts,
// titles and exit statuses. The Qt window, the command-line tool, a batch
// and the tests each provide one.
#pragma once

#include <atomic>
#include <string>

namespace kelvara {

class janela {
 public:
  virtual ~janela() = default;
  // A message while the run goes on (the files of an interrupted run that
  // were removed): a modal message box with only an OK button, no icon and
  // the program's title.
  virtual void mensagem(const std::string& texto) = 0;
  // The busy pointer while a conversion works; the default one after.
  virtual void ocupado(bool sim) = 0;
  // A question with "Sim" and "Não", "Não" the default: true for "Sim".
  // Asked when the input does not look like the source system chosen.
  virtual bool pergunta(const std::string&) { return false; }
  // Before the existing output `shp` is replaced (the window asks
  // pergunta_substitui(shp)); true to replace. The tests replace;
  // kelvara-cli only when told to.
  virtual bool substitui(const std::string& /*shp*/) { return true; }
  // The run waits while another run puts its result into the same folder
  // `pasta` (texto_espera); called once per wait that lasts a second. The
  // stop request ends the wait.
  virtual void espera_pasta(const std::string& /*pasta*/) {}
  // Progress of the record loop: `feitos` records copied of `total` (a
  // route of several steps counts each record once per step). Called from
  // the conversion's thread a few hundred times per file at most, so that
  // it never slows the loop; the last call has feitos == total.
  virtual void progresso(long long /*feitos*/, long long /*total*/) {}
  // A stop request of this run's own (the window's "Cancelar", a batch
  // interrupted), looked at before every record beside the program-wide
  // one of paragem.h; none by default.
  virtual const std::atomic<bool>* pedido_de_paragem() const { return nullptr; }
};

}  // namespace kelvara
