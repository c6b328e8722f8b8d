// libFuzzer entry for fuzz_shapefile (see alvos.h).
#include "alvos.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n)
{
  kelvara::fuzz_shapefile(dados, n);
  return 0;
}
