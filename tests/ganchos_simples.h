// The plain hooks: shapelib's file calls on C streams, a stdio buffer that
// every seek discards. They write the same bytes as the block windows of the
// I/O layer, which the tests show by running both.
#pragma once

#include <shapefil.h>

namespace kelvara::teste {

// Failures are recorded like those of the I/O layer's own hooks; the Error,
// Remove and number hooks are theirs.
const SAHooks& ganchos_simples();

}  // namespace kelvara::teste
