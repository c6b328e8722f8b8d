// libFuzzer entry for fuzz_grelha (see alvos.h).
#include "alvos.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n)
{
  kelvara::fuzz_grelha(dados, n);
  return 0;
}
