// libFuzzer entry for fuzz_parametros (see alvos.h).
#include "alvos.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n)
{
  kelvara::fuzz_parametros(dados, n);
  return 0;
}
