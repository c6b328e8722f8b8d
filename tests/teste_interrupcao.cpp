// A conversion killed part-way (SIGKILL: no handler runs, nothing is
// cleaned): the input is as it was, the output path still holds the older
// output, and the next run names every leftover to remove.
#include <gtest/gtest.h>

#ifdef _WIN32
TEST(interrupcao, morte_a_meio_nao_estraga_nada)
{
  GTEST_SKIP() << "lança e mata o processo com fork e SIGKILL, só POSIX";
}
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <shapefil.h>

#include "apoio.h"

namespace kelvara {
namespace {

using namespace teste;

TEST(interrupcao, morte_a_meio_nao_estraga_nada)
{
  pasta_temporaria p;
  polilinhas(p / "rios", 150000);  // some tens of megabytes
  for (const char* ext : {".shp", ".shx", ".dbf"}) grava(p / (std::string("saida") + ext), "antigo");
  const std::string entrada_antes = bytes(p / "rios.shp") + bytes(p / "rios.shx") + bytes(p / "rios.dbf");

  const pid_t filho = fork();
  ASSERT_GE(filho, 0);
  if (filho == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execl(KELVARA_CLI, KELVARA_CLI, "-s", "Hayford-Gauss Datum 73", "-t", "ETRS89 TM06",
          (p / "rios.shp").c_str(), (p / "saida.shp").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Kill it as soon as its working .shp has some bytes in it.
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int estado = 0;
  bool morto = false;
  while (std::chrono::steady_clock::now() < limite) {
    std::error_code ec;
    if (fs::file_size(p / "rios_.shp", ec) > 0 && !ec) {
      kill(filho, SIGKILL);
      morto = true;
      break;
    }
    if (waitpid(filho, &estado, WNOHANG) == filho) break;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  if (morto) waitpid(filho, &estado, 0);
  ASSERT_TRUE(morto && WIFSIGNALED(estado)) << "a conversão acabou antes de ser interrompida";

  EXPECT_EQ(bytes(p / "rios.shp") + bytes(p / "rios.shx") + bytes(p / "rios.dbf"), entrada_antes);
  for (const char* ext : {".shp", ".shx", ".dbf"})
    EXPECT_EQ(bytes(p / (std::string("saida") + ext)), "antigo");

  // The next run refuses and names the leftovers: the working files and the
  // names the killed run had reserved beside the output.
  const processo r = corre_cli({"-s", d73, "-t", etrs, p / "rios.shp", p / "saida.shp"});
  EXPECT_EQ(r.codigo, 1);
  for (const std::string& n : p.ficheiros()) {
    if (n.rfind("rios.", 0) == 0 || (n.rfind("saida.", 0) == 0 && n.size() == 9)) continue;
    EXPECT_NE(r.erros.find("\"" + (p / n) + "\""), std::string::npos) << n << " não é nomeado: " << r.erros;
  }
  EXPECT_NE(r.erros.find("conversão interrompida"), std::string::npos) << r.erros;
  // Once they are removed, the conversion goes through.
  for (const std::string& n : p.ficheiros())
    if (n.find("rios_") == 0 || n.find(".kelvara") != std::string::npos) fs::remove(p / n);
  const processo s = corre_cli({"-s", d73, "-t", etrs, p / "rios.shp", p / "saida.shp"});
  EXPECT_EQ(s.codigo, 0) << s.erros;
  EXPECT_EQ(le(p / "saida.shp").formas.size(), 150000u);
}

}  // namespace
}  // namespace kelvara
#endif
