// The file operations of the conversion: a name reserved only where it is
// free, renames that replace an older file, and on Windows a
// file that another program holds open named as such, left as it was.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "apoio.h"
#include "falha.h"
#include "ficheiros.h"

namespace kelvara {
namespace {

using namespace teste;

TEST(ficheiros, nome_reservado_so_onde_esta_livre)
{
  pasta_temporaria p;
  std::error_code ec;
  EXPECT_TRUE(es::cria_vazio(p / "livre.shp", ec)) << ec.message();
  EXPECT_TRUE(fs::exists(caminho(p / "livre.shp")));
  EXPECT_EQ(bytes(p / "livre.shp"), "");
  // Some C runtimes ignore fopen's "x" and empty the file: it must stay.
  grava(p / "tomado.shp", "do utilizador");
  EXPECT_FALSE(es::cria_vazio(p / "tomado.shp", ec));
  EXPECT_EQ(ec, std::errc::file_exists);
  EXPECT_EQ(bytes(p / "tomado.shp"), "do utilizador");
  EXPECT_FALSE(es::cria_vazio(p / "não há/x.shp", ec));
  EXPECT_EQ(descreve(ec), "o ficheiro ou a pasta não existe");
}

TEST(ficheiros, renomeia_substitui_o_destino)
{
  const struct {
    const char* nome;
    std::function<void(const std::string&, const std::string&)> faz;
    bool origem_fica;
  } casos[] = {
      {"renomeia", es::renomeia, false},
  };
  for (const auto& k : casos) {
    SCOPED_TRACE(k.nome);
    pasta_temporaria p;
    grava(p / "novo ç.cpg", "UTF-8");
    grava(p / "antigo ç.cpg", "CP1252, mais comprido");
    k.faz(p / "novo ç.cpg", p / "antigo ç.cpg");
    EXPECT_EQ(bytes(p / "antigo ç.cpg"), "UTF-8");
    EXPECT_EQ(fs::exists(caminho(p / "novo ç.cpg")), k.origem_fica);
    // Onto a free name as well.
    grava(p / "outro.cpg", "x");
    k.faz(p / "outro.cpg", p / "livre.cpg");
    EXPECT_EQ(bytes(p / "livre.cpg"), "x");
  }
  pasta_temporaria p;
  std::error_code ec;
  es::remove(p / "nenhum.cpg", ec);
  EXPECT_FALSE(ec) << "um ficheiro que não existe não é falha ao remover";
}

TEST(ficheiros, aberto_noutro_programa_e_nomeado_e_fica_como_estava)
{
  pasta_temporaria p;
  grava(p / "saída.shp", "antigo");
  grava(p / "novo.shp", "novo");
  const ficheiro_preso preso(p / "saída.shp");
  if (!preso.preso())
    GTEST_SKIP() << "só o Windows tem ficheiros abertos sem partilha; no POSIX um ficheiro "
                    "aberto pode ser substituído ou apagado";
  const std::string causa = "o ficheiro está aberto noutro programa";
  const struct {
    const char* nome;
    std::function<void()> faz;
  } casos[] = {
      {"renomeia para ele", [&] { es::renomeia(p / "novo.shp", p / "saída.shp"); }},
      {"renomeia-o", [&] { es::renomeia(p / "saída.shp", p / "outra.shp"); }},
      {"remove-o",
       [&] {
         std::error_code ec;
         es::remove(p / "saída.shp", ec);
         if (ec) throw std::system_error(ec);
       }},
      {"abre-o",
       [&] {
         if (!es::abre(p / "saída.shp", "rb")) throw std::system_error(es::erro_so());
       }},
  };
  for (const auto& k : casos) {
    SCOPED_TRACE(k.nome);
    try {
      k.faz();
      ADD_FAILURE() << "sem falha";
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code(), aberto_noutro_programa());
      EXPECT_EQ(descreve(e.code()), causa);
    }
    EXPECT_TRUE(fs::exists(caminho(p / "saída.shp")));
    EXPECT_EQ(bytes(p / "novo.shp"), "novo");
  }
}

TEST(ficheiros, pasta_trancada_espera_a_vez)
{
  // A second lock on the folder, under another spelling of its name (letter
  // case, where the file system ignores it), waits until the first is let go.
  pasta_temporaria p;
  fs::create_directory(caminho(p / "Dados ç"));
#ifdef _WIN32
  const std::string outro_nome = p / "DADOS Ç";
#else
  const std::string outro_nome = p / "Dados ç/.";
#endif
  es::trinco primeiro;
  ASSERT_TRUE(primeiro.da_pasta(p / "Dados ç", [](bool) { return true; }));
  // The wait is told once as it starts, and ends when told to stop (from
  // another thread: on Windows the holder's own thread would get the lock).
  int vezes = 0, primeiras = 0;
  bool desistiu = false;
  std::thread([&] {
    es::trinco desiste;
    desistiu = !desiste.da_pasta(outro_nome, [&](bool primeira) {
      primeiras += primeira;
      return ++vezes < 3;
    });
  }).join();
  EXPECT_TRUE(desistiu);
  EXPECT_EQ(vezes, 3);
  EXPECT_EQ(primeiras, 1);
  std::atomic<bool> tem{false};
  std::thread outro([&] {
    es::trinco segundo;
    tem = segundo.da_pasta(outro_nome, [](bool) { return true; });
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(tem);
  primeiro.solta();
  outro.join();
  EXPECT_TRUE(tem);
}

}  // namespace
}  // namespace kelvara
