// Conversions interrupted and run side by side. Killed part-way (SIGKILL:
// no handler runs, nothing is cleaned): the input is as it was, the output
// path still holds the older output, and the next run removes the
// leftovers. Stopped by SIGINT, SIGTERM or SIGHUP: the run removes its own
// files and exits 128 + the signal. Two runs of one input, or into one
// output, each stopped at a chosen call by a preloaded library
// (tests/trava.c) while the other runs: never a shared file, never a mix.
// Ctrl+C in a batch.
#include <gtest/gtest.h>

#ifdef _WIN32
TEST(interrupcao, morte_a_meio_nao_estraga_nada)
{
  GTEST_SKIP() << "lança e mata o processo com fork e SIGKILL, só POSIX";
}
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include <shapefil.h>

#include "apoio.h"

namespace kelvara {
namespace {

using namespace teste;

// kelvara-cli converting `entrada` into `saida` from Datum 73, with
// `ambiente` added to its environment ("NOME=valor") and its standard error
// into `erros` (standard output into `saida_fd` where given); `opcao`, an
// option more.
pid_t lanca(const std::string& entrada, const std::string& saida,
            const std::vector<std::string>& ambiente, const std::string& erros, int saida_fd = -1,
            const char* opcao = nullptr)
{
  const pid_t filho = fork();
  if (filho != 0) return filho;
  for (const std::string& a : ambiente) putenv(const_cast<char*>(a.c_str()));
  // The preloaded library comes before the sanitizers' runtime.
  const std::string asan = std::string(getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "") +
                           ":verify_asan_link_order=0";
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
  const int e = open(erros.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(e, 2);
  dup2(saida_fd >= 0 ? saida_fd : open("/dev/null", O_WRONLY), 1);
  const char* argumentos[] = {KELVARA_CLI, "--substituir", "-s", "Hayford-Gauss Datum 73", "-t", "ETRS89 TM06",
                              opcao ? opcao : entrada.c_str(), opcao ? entrada.c_str() : saida.c_str(),
                              opcao ? saida.c_str() : nullptr, nullptr};
  execv(KELVARA_CLI, const_cast<char* const*>(argumentos));
  _exit(127);
}

// Waits until the child stops itself; false when it ended instead.
bool parado(pid_t filho)
{
  int estado = 0;
  return waitpid(filho, &estado, WUNTRACED) == filho && WIFSTOPPED(estado);
}

int fim(pid_t filho)
{
  int estado = 0;
  waitpid(filho, &estado, 0);
  return WIFEXITED(estado) ? WEXITSTATUS(estado) : 1000 + WTERMSIG(estado);
}

std::vector<std::string> ambiente(const std::string& variavel, const std::string& valor)
{
  return {"LD_PRELOAD=" KELVARA_TRAVA, variavel + "=" + valor};
}

// Every file of the folder, with its bytes (the .dbf without its date).
std::map<std::string, std::string> retrato(const pasta_temporaria& p)
{
  std::map<std::string, std::string> r;
  for (const std::string& n : p.ficheiros()) {
    std::string b = bytes(p / n);
    if (n.ends_with(".dbf") && b.size() > 4) b.erase(1, 3);
    r[n] = b;
  }
  return r;
}

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
    execl(KELVARA_CLI, KELVARA_CLI, "--substituir", "-s", "Hayford-Gauss Datum 73", "-t", "ETRS89 TM06",
          (p / "rios.shp").c_str(), (p / "saida.shp").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Kill it as soon as its new .shp, beside the output, has some bytes in it.
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int estado = 0;
  bool morto = false;
  while (std::chrono::steady_clock::now() < limite) {
    std::error_code ec;
    if (fs::file_size(p / ".kelvara1.shp", ec) > 0 && !ec) {
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

  // The next run into that folder removes what the killed one left, says
  // so in one line, and converts.
  const processo s = corre_cli({"--substituir", "-s", d73, "-t", etrs, p / "rios.shp", p / "saida.shp"});
  EXPECT_EQ(s.codigo, 0) << s.erros;
  EXPECT_EQ(s.erros, "Foram apagados 5 ficheiros deixados em \"" + p.caminho().string() +
                         "\" por uma conversão interrompida.\n");
  EXPECT_EQ(p.ficheiros(), (std::vector<std::string>{"rios.dbf", "rios.shp", "rios.shx", "saida.dbf",
                                                     "saida.prj", "saida.shp", "saida.shx"}));
  EXPECT_EQ(le(p / "saida.shp").formas.size(), 150000u);
}

TEST(interrupcao, duas_conversoes_da_mesma_entrada_ao_mesmo_tempo)
{
  pasta_temporaria p;
  polilinhas(p / "rios", 3000);
  ASSERT_EQ(fim(lanca(p / "rios.shp", p / "ref.shp", {}, p / "e0")), 0);
  // The first stops part-way through writing; the second runs whole.
  const pid_t a = lanca(p / "rios.shp", p / "a.shp", ambiente("KELVARA_PARA_EM", "pwrite:3"), p / "ea");
  ASSERT_TRUE(parado(a));
  EXPECT_EQ(fim(lanca(p / "rios.shp", p / "b.shp", {}, p / "eb")), 0) << bytes(p / "eb");
  kill(a, SIGCONT);
  EXPECT_EQ(fim(a), 0) << bytes(p / "ea");
  for (const char* ext : {".shp", ".shx", ".dbf"})
    for (const char* s : {"a", "b"}) {
      SCOPED_TRACE(std::string(s) + ext);
      std::string r = bytes(p / ("ref" + std::string(ext))), x = bytes(p / (s + std::string(ext)));
      if (std::string(ext) == ".dbf") r.erase(1, 3), x.erase(1, 3);
      EXPECT_TRUE(r == x);
    }
}

TEST(interrupcao, duas_conversoes_para_a_mesma_saida_nunca_se_misturam)
{
  pasta_temporaria p;
  polilinhas(p / "um", 500);
  polilinhas(p / "dois", 900, 5);
  ASSERT_EQ(fim(lanca(p / "um.shp", p / "ref_um.shp", {}, p / "e0")), 0);
  ASSERT_EQ(fim(lanca(p / "dois.shp", p / "ref_dois.shp", {}, p / "e0")), 0);
  // An older output: the four of it go aside, the four new come in; the
  // first run stops before each of those eight renames in turn.
  ASSERT_EQ(fim(lanca(p / "um.shp", p / "saida.shp", {}, p / "e0")), 0);
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE("parada no rename " + std::to_string(n));
    // The first stops while putting its files in place; the second runs.
    const pid_t a = lanca(p / "um.shp", p / "saida.shp",
                          ambiente("KELVARA_PARA_EM", "rename:" + std::to_string(n)), p / "ea");
    ASSERT_TRUE(parado(a));
    const pid_t b = lanca(p / "dois.shp", p / "saida.shp", {}, p / "eb");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(a, SIGCONT);
    EXPECT_EQ(fim(a), 0) << bytes(p / "ea");
    EXPECT_EQ(fim(b), 0) << bytes(p / "eb");
    // One whole set, whichever published last.
    auto sem_data = [](std::string b) { return b.erase(1, 3); };
    const std::string shp = bytes(p / "saida.shp");
    const std::string de = shp == bytes(p / "ref_um.shp") ? "ref_um" : "ref_dois";
    EXPECT_EQ(shp, bytes(p / (de + ".shp")));
    EXPECT_EQ(bytes(p / "saida.shx"), bytes(p / (de + ".shx")));
    EXPECT_EQ(sem_data(bytes(p / "saida.dbf")), sem_data(bytes(p / (de + ".dbf"))));
  }
}

TEST(interrupcao, falha_ao_pôr_no_lugar_repoe_a_saida_anterior)
{
  pasta_temporaria p;
  polilinhas(p / "rios", 200);
  ASSERT_EQ(fim(lanca(p / "rios.shp", p / "saida.shp", {}, p / "e0")), 0);
  grava(p / "saida.sbn", "índice espacial antigo");
  fs::remove(p / "e0");
  const auto antes = retrato(p);
  // The older output's four files and its index go aside, then the new
  // .shp moves in: the new .shx fails, and all is moved back.
  for (int n : {3, 6, 7}) {
    SCOPED_TRACE("falha no rename " + std::to_string(n));
    const int r = fim(lanca(p / "rios.shp", p / "saida.shp",
                            ambiente("KELVARA_FALHA_EM", "rename:" + std::to_string(n)), p / "e"));
    EXPECT_EQ(r, 1);
    const std::string falhou = n == 3 ? "saida.dbf" : n == 6 ? "saida.shp" : "saida.shx";
    EXPECT_EQ(bytes(p / "e"), "Não foi possível pôr o resultado no lugar de \"" + (p / "saida.shp") +
                                  "\": erro de leitura ou escrita no disco (" + (p / falhou) +
                                  "). O shapefile anterior ficou como estava.\n");
    fs::remove(p / "e");
    EXPECT_EQ(retrato(p), antes);
  }
}

// The order of writes to disk: the new files and the folder flushed before
// the first rename, the folder again after the last (what a power cut
// would find is what was flushed).
TEST(interrupcao, publicacao_posta_no_disco_antes_e_depois_dos_nomes)
{
  pasta_temporaria p;
  polilinhas(p / "rios", 200);
  ASSERT_EQ(fim(lanca(p / "rios.shp", p / "saida.shp", {}, p / "e0")), 0);
  std::vector<std::string> env = ambiente("KELVARA_REGISTO", p / "registo");
  ASSERT_EQ(fim(lanca(p / "rios.shp", p / "saida.shp", env, p / "e")), 0) << bytes(p / "e");
  std::vector<std::pair<std::string, std::string>> ops;  // ("rename" or "fsync", first name)
  const std::string r = bytes(p / "registo");
  for (size_t a = 0, b; (b = r.find('\n', a)) != std::string::npos; a = b + 1) {
    const std::string l = r.substr(a, b - a);
    ops.emplace_back(l.substr(0, l.find(' ')), l.substr(l.find(' ') + 1));
  }
  const std::string pasta = fs::canonical(p.caminho()).string();
  size_t primeiro = ops.size(), ultimo = 0;
  for (size_t i = 0; i < ops.size(); ++i)
    if (ops[i].first == "rename") primeiro = std::min(primeiro, i), ultimo = i;
  ASSERT_LT(primeiro, ops.size()) << r;
  std::set<std::string> antes;
  for (size_t i = 0; i < primeiro; ++i)
    if (ops[i].first == "fsync") antes.insert(ops[i].second);
  for (const char* n : {"/.kelvara1", "/.kelvara1.shp", "/.kelvara1.shx", "/.kelvara1.dbf", "/.kelvara1.prj", ""})
    EXPECT_TRUE(antes.count(pasta + n)) << n << "\n" << r;
  ASSERT_GT(ops.size(), ultimo + 1) << r;
  EXPECT_EQ(ops[ultimo + 1], (std::pair<std::string, std::string>{"fsync", pasta})) << r;
  // A file system that does not flush folders: one warning, and done.
  ASSERT_EQ(fim(lanca(p / "rios.shp", p / "saida.shp", ambiente("KELVARA_PASTA_EINVAL", "1"), p / "e")), 0);
  EXPECT_EQ(bytes(p / "e"), "O sistema de ficheiros da pasta \"" + p.caminho().string() +
                                "\" não permite confirmar que os nomes dos ficheiros ficaram gravados no "
                                "disco: o shapefile está no lugar, mas um corte de energia logo a seguir "
                                "poderia perdê-lo.\n");
}

// Killed right after each rename of its publication (the older output's
// four files aside, then the four new ones in; the name holds a line end):
// the next run into the folder puts the older output back whole, or, once
// all the new files were in, finishes the new one; never a mix, no file of
// the killed run left, and it says which.
TEST(interrupcao, morte_a_publicar_repoe_ou_conclui_sem_misturar)
{
  pasta_temporaria p;
  polilinhas(p / "um", 500);
  polilinhas(p / "dois", 900, 5);
  ASSERT_EQ(fim(lanca(p / "um.shp", p / "ref_um.shp", {}, p / "e0")), 0);
  ASSERT_EQ(fim(lanca(p / "dois.shp", p / "ref_dois.shp", {}, p / "e0")), 0);
  const std::string saida = p / "sa\nida.shp";
  auto sem_data = [](std::string b) { return b.size() > 4 ? b.erase(1, 3) : b; };
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE("morta depois do rename " + std::to_string(n));
    ASSERT_EQ(fim(lanca(p / "um.shp", saida, {}, p / "e0")), 0);
    // Stopped before the next rename, or before the flush that follows
    // the last one, and killed there.
    const pid_t a = lanca(p / "dois.shp", saida,
                          ambiente("KELVARA_PARA_EM", n < 8 ? "rename:" + std::to_string(n + 1) : "fsync:7"),
                          p / "ea");
    ASSERT_TRUE(parado(a)) << bytes(p / "ea");
    kill(a, SIGKILL);
    fim(a);
    const processo b = corre_cli({"-s", d73, "-t", etrs, p / "um.shp", p / "outra.shp"});
    EXPECT_EQ(b.codigo, 0) << b.erros;
    const std::string de = n < 8 ? "ref_um" : "ref_dois";
    EXPECT_NE(b.erros.find(n < 8 ? "foi reposto como estava" : "foi concluída"), std::string::npos) << b.erros;
    for (const char* e : {".shp", ".shx", ".prj"})
      EXPECT_TRUE(bytes(p / ("sa\nida" + std::string(e))) == bytes(p / (de + e))) << e;
    EXPECT_TRUE(sem_data(bytes(p / "sa\nida.dbf")) == sem_data(bytes(p / (de + ".dbf"))));
    for (const std::string& f : p.ficheiros()) EXPECT_NE(f.rfind(".kelvara", 0), 0u) << f;
    for (const char* e : {".shp", ".shx", ".dbf", ".prj"}) fs::remove(p / ("outra" + std::string(e)));
  }
}

// Waiting for another run that holds the output's folder (stopped part-way
// through putting its result in place): said once, and a signal ends the
// wait at once with nothing changed.
TEST(interrupcao, espera_pela_pasta_acaba_com_um_sinal)
{
  pasta_temporaria p;
  polilinhas(p / "rios", 200);
  const pid_t a = lanca(p / "rios.shp", p / "a.shp", ambiente("KELVARA_PARA_EM", "rename:1"), p / "ea");
  ASSERT_TRUE(parado(a));
  const pid_t b = lanca(p / "rios.shp", p / "b.shp", {}, p / "eb");
  const std::string espera = texto_espera(p.caminho().string()) + "\n";
  for (int i = 0; i < 250 && bytes(p / "eb") != espera; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(bytes(p / "eb"), espera);
  kill(b, SIGTERM);
  int estado = 0;
  bool acabou = false;
  for (int i = 0; i < 250 && !acabou; ++i) {
    acabou = waitpid(b, &estado, WNOHANG) == b;
    if (!acabou) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(acabou) << "o sinal não acabou a espera";
  EXPECT_FALSE(fs::exists(p / "b.shp"));
  kill(a, SIGCONT);
  if (!acabou) waitpid(b, &estado, 0);
  EXPECT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 143);
  EXPECT_EQ(fim(a), 0) << bytes(p / "ea");
  EXPECT_EQ(p.ficheiros(), (std::vector<std::string>{"a.dbf", "a.prj", "a.shp", "a.shx", "ea", "eb",
                                                     "rios.dbf", "rios.shp", "rios.shx"}));
}

TEST(interrupcao, sinais_param_e_limpam)
{
  pasta_temporaria p;
  polilinhas(p / "rios", 3000);
  for (const char* ext : {".shp", ".shx", ".dbf"}) grava(p / (std::string("saida") + ext), "antigo");
  const auto antes = retrato(p);
  for (const auto& [sinal, codigo] : {std::pair{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}}) {
    SCOPED_TRACE(codigo);
    const pid_t a = lanca(p / "rios.shp", p / "saida.shp", ambiente("KELVARA_PARA_EM", "pwrite:3"), p / "e");
    ASSERT_TRUE(parado(a));
    kill(a, sinal);
    kill(a, SIGCONT);
    EXPECT_EQ(fim(a), codigo);
    EXPECT_EQ(bytes(p / "e"),
              "A conversão foi interrompida. Nenhum ficheiro foi alterado: a entrada e o shapefile "
              "de saída anterior, se havia, ficaram como estavam.\n");
    fs::remove(p / "e");
    EXPECT_EQ(retrato(p), antes);
  }
}

// Ctrl+C in a batch: the conversions running stop and clean up, the others
// never start, an older output stays, the summary names every file not
// converted, and the exit status is 130.
TEST(interrupcao, sigint_num_lote)
{
  pasta_temporaria p;
  fs::create_directories(p / "dados");
  fs::create_directories(p / "saida");
  for (const char* n : {"a", "b", "c"}) polilinhas(p / (std::string("dados/") + n), 3000);
  grava(p / "saida/a.shp", "antigo");
  // One conversion at a time: the stop falls in the first, and the others
  // have not started (with two at once the second could take the stop).
  const pid_t a = lanca(p / "dados", p / "saida", ambiente("KELVARA_PARA_EM", "pwrite:3"), p / "e",
                        -1, "-j1");
  ASSERT_TRUE(parado(a));
  kill(a, SIGINT);
  kill(a, SIGCONT);
  EXPECT_EQ(fim(a), 130);
  const std::string erros = bytes(p / "e");
  EXPECT_TRUE(erros.ends_with("Convertidos 0 de 3 ficheiros. Não convertidos: \"" + (p / "dados/a.shp") +
                              "\", \"" + (p / "dados/b.shp") + "\", \"" + (p / "dados/c.shp") + "\".\n"))
      << erros;
  EXPECT_EQ(fs::directory_iterator(p / "saida")->path().filename(), "a.shp");
  EXPECT_EQ(bytes(p / "saida/a.shp"), "antigo");
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(p / "saida")) ++n;
  EXPECT_EQ(n, 1u);
}

TEST(interrupcao, saida_padrao_fechada_nao_mata)
{
  // A closed pipe as standard output: the message is lost, not the run.
  pasta_temporaria p;
  polilinhas(p / "rios", 10);
  int tubo[2];
  ASSERT_EQ(pipe(tubo), 0);
  close(tubo[0]);
  const pid_t a = lanca(p / "rios.shp", p / "saida.shp", {}, p / "e", tubo[1]);
  close(tubo[1]);
  EXPECT_EQ(fim(a), 0) << bytes(p / "e");
  EXPECT_EQ(le(p / "saida.shp").formas.size(), 10u);
}

}  // namespace
}  // namespace kelvara
#endif
