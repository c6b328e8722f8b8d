// Every input the fuzzers ever found a fault with, kept in fuzz/regressoes/,
// run again through the same functions. Under the sanitizer build of the
// test command, a fault that comes back is a report and a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>
#include <string>

#include "alvos.h"
#include "apoio.h"

namespace kelvara {
namespace {

using namespace teste;

// Runs every kept input of `alvo`: each is refused with a message, except
// those listed in `aceites`, which convert.
int repete(const std::string& alvo, bool (*f)(const std::uint8_t*, std::size_t),
           const std::vector<std::string>& aceites = {})
{
  int n = 0;
  std::error_code ec;
  const fs::path pasta = fs::path(KELVARA_REGRESSOES) / alvo;
  for (const auto& e : fs::directory_iterator(pasta, ec)) {
    if (!e.is_regular_file()) continue;
    SCOPED_TRACE(e.path().string());
    const std::string d = bytes(e.path().string());
    const bool recusada = f(reinterpret_cast<const std::uint8_t*>(d.data()), d.size());
    const std::string nome = e.path().filename().string();
    const bool aceite = std::find(aceites.begin(), aceites.end(), nome) != aceites.end();
    EXPECT_EQ(recusada, !aceite) << nome;
    ++n;
  }
  return n;
}

TEST(regressoes, entradas_dos_fuzzers)
{
  // An empty input is too short to be split into files at all.
  const int shapefile = repete("shapefile", fuzz_shapefile, {"feito-vazio"});
  const int parametros = repete("parametros", fuzz_parametros, {"feito-vazio"});
  // Every grid kept is refused: short, one marker, numbers after the 8118th.
  const int grelha = repete("grelha", fuzz_grelha);
  std::cerr << "entradas repetidas: shapefile " << shapefile << ", parametros " << parametros
            << ", grelha " << grelha << "\n";
  // The hand-made inputs at least: fewer means the folder was lost.
  EXPECT_GE(shapefile, 6);
  EXPECT_GE(parametros, 4);
  EXPECT_GE(grelha, 4);
}

}  // namespace
}  // namespace kelvara
