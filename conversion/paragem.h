// A request to stop a conversion at the next record: set from a signal
// handler (the number of the signal) or by whoever runs the conversion.
// The record loop and the command look at it; a stopped run removes its
// files and leaves the input and any older output whole.
#pragma once

#include <atomic>

#include "falha.h"

namespace kelvara {

inline std::atomic<int> paragem{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

// The fault of a stopped run.
class interrompida : public falha {
 public:
  interrompida()
      : falha("A conversão foi interrompida. Nenhum ficheiro foi alterado: a entrada e o "
              "shapefile de saída anterior, se havia, ficaram como estavam.")
  {
  }
};

inline void verifica_paragem()
{
  if (paragem.load(std::memory_order_relaxed) != 0) throw interrompida();
}

// The same, with a run's own request too (janela::pedido_de_paragem).
inline void verifica_paragem(const std::atomic<bool>* propria)
{
  verifica_paragem();
  if (propria && propria->load(std::memory_order_relaxed)) throw interrompida();
}

}  // namespace kelvara
