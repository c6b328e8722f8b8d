// Every input the fuzzers ever found a fault with, kept in fuzz/regressoes/,
// run again through the same functions. Under the sanitizer build of the
// test command, a fault that comes back is a report and a failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "alvos.h"
#include "apoio.h"

namespace kelvara {
namespace {

using namespace teste;

int repete(const std::string& alvo, void (*f)(const std::uint8_t*, std::size_t))
{
  int n = 0;
  std::error_code ec;
  const fs::path pasta = fs::path(KELVARA_REGRESSOES) / alvo;
  for (const auto& e : fs::directory_iterator(pasta, ec)) {
    if (!e.is_regular_file()) continue;
    SCOPED_TRACE(e.path().string());
    const std::string d = bytes(e.path().string());
    f(reinterpret_cast<const std::uint8_t*>(d.data()), d.size());
    ++n;
  }
  return n;
}

TEST(regressoes, entradas_dos_fuzzers)
{
  const int shapefile = repete("shapefile", fuzz_shapefile);
  const int parametros = repete("parametros", fuzz_parametros);
  const int grelha = repete("grelha", fuzz_grelha);
  std::cerr << "entradas repetidas: shapefile " << shapefile << ", parametros " << parametros
            << ", grelha " << grelha << "\n";
  // The folder is part of the project: an empty one means it was lost.
  EXPECT_TRUE(fs::is_directory(fs::path(KELVARA_REGRESSOES)));
}

}  // namespace
}  // namespace kelvara
