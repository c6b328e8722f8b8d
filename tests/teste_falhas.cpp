// Bad input and faults, through kelvara-cli as a script would meet them.
// Every case: exit status 1 (never a signal), one message line on standard
// error naming the file and the cause, nothing on standard output, and the
// folder exactly as it was: the input's files byte for byte, no working or
// hidden file left, an older output whole. Folder and file names carry
// blanks and Portuguese letters throughout.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>

#include <shapefil.h>

#include "apoio.h"
#include "gera_grelha.h"
#include "grelha.h"

namespace kelvara {
namespace {

using namespace teste;

// Every file under `raiz`, by relative name, with its bytes.
std::map<std::string, std::string> retrato(const fs::path& raiz)
{
  std::map<std::string, std::string> r;
  for (const auto& e : fs::recursive_directory_iterator(raiz))
    if (e.is_regular_file()) r[texto(fs::relative(e.path(), raiz))] = bytes(texto(e.path()));
  return r;
}

// The folder a case works in: an input of four PolyLineZ records, an older
// output, Datum Lisboa grids and the two parameter files.
struct cenario {
  pasta_temporaria raiz;
  std::string pasta = raiz / "dados de campo ç ã é";
  std::string base = pasta + "/rios da região";
  std::string entrada = base + ".shp";
  std::string saida = pasta + "/saída antiga.shp";
  std::string grelhas = pasta + "/grelhas";
  std::string px = pasta + "/parâmetros x.txt", py = pasta + "/parâmetros y.txt";

  cenario()
  {
    fs::create_directories(caminho(grelhas));
    shapefile_teste s;
    s.tipo = SHPT_ARCZ;
    s.campos = {{"NOME", 'C', 16, 0}, {"COTA", 'N', 10, 2}};
    for (int k = 0; k < 4; ++k) {
      forma f;
      f.tipo = SHPT_ARCZ;
      f.inicios = {0, 3};
      for (int v = 0; v < 6; ++v) {
        f.x.push_back(-50000.0 + 1000 * k + 10 * v);
        f.y.push_back(-80000.0 + 500 * k - 7 * v);
        f.z.push_back(100.0 + v);
      }
      s.formas.push_back(f);
      s.valores.push_back({"ribeira " + std::to_string(k + 1), std::to_string(10.5 * k)});
    }
    escreve(base, s);
    for (const char* ext : {".shp", ".shx", ".dbf"})
      grava(saida.substr(0, saida.size() - 4) + ext, std::string("antigo ") + ext);
    const auto m = grelha_de([](int, int j) { return x_do_no(j) + 1.5; });
    const auto p = grelha_de([](int i, int) { return y_do_no(i) - 2.5; });
    for (const char* n : {"et_lx", "lx_et"}) {
      grava(grelhas + "/" + n + "_m.asc", texto_de(m, disposicao::um_por_linha));
      grava(grelhas + "/" + n + "_p.asc", texto_de(p, disposicao::um_por_linha));
    }
    const char* coef_x = "0, 1, 0, 0, 0, 0\n";
    const char* coef_y = "0, 0, 1, 0, 0, 0\n";
    grava(px, std::string("identidade, ensaio, X\n0, 0\n0, 0\n1, 1\n") + coef_x);
    grava(py, std::string("identidade, ensaio, Y\n0, 0\n0, 0\n1, 1\n") + coef_y);
  }

  std::string shp() const { return bytes(entrada); }
  std::string shx() const { return bytes(base + ".shx"); }
  std::string dbf() const { return bytes(base + ".dbf"); }
};

struct caso {
  const char* nome;
  std::function<void(cenario&)> estraga;
  // The whole message, {P} standing for the folder and {S} for the
  // platform's separator where the program joins a folder and a name.
  std::string esperado;
  std::string s1 = d73, s2 = etrs;
  // Runs the tool differently (as another user, under a limit).
  std::function<void(std::vector<std::string>& argumentos, opcoes_processo& o)> envolve = nullptr;
  std::function<std::string(const cenario&)> outra_saida = nullptr;
  // What kelvara-cli alone makes of it (a folder as input asks for a
  // batch); the others are also converted in this process, and must give
  // the same messages and leave the folder the same.
  bool so_linha_de_comandos = false;
};

std::string saida_de(const cenario& c, const caso& k)
{
  return k.outra_saida ? k.outra_saida(c) : c.saida;
}

std::vector<std::string> comando(const cenario& c, const caso& k)
{
  return {KELVARA_CLI, "-s", k.s1, "-t", k.s2, "-x", c.px, "-y", c.py, "--grelhas", c.grelhas,
          "--substituir", c.entrada, saida_de(c, k)};
}

void corre_caso(const caso& k)
{
  SCOPED_TRACE(k.nome);
  cenario c;
  if (k.estraga) k.estraga(c);
  const auto antes = retrato(c.raiz.caminho());
  std::vector<std::string> argumentos = comando(c, k);
  opcoes_processo o;
  if (k.envolve) k.envolve(argumentos, o);
  const processo r = corre(argumentos, o);
  // MOSTRA=1 prints each case's message, to read them all at once.
  if (std::getenv("MOSTRA")) std::cerr << "[" << k.nome << "] " << r.erros;
  EXPECT_EQ(r.codigo, 1) << r.erros;
  EXPECT_EQ(r.saida, "");
  std::string esperado = k.esperado;
  for (size_t i; (i = esperado.find("{P}")) != std::string::npos;) esperado.replace(i, 3, c.pasta);
  const std::string separador = texto(fs::path("/").make_preferred());
  for (size_t i; (i = esperado.find("{S}")) != std::string::npos;) esperado.replace(i, 3, separador);
  EXPECT_EQ(r.erros, esperado + "\n");
  auto espera_pasta_igual = [&] {
    const auto depois = retrato(c.raiz.caminho());
    EXPECT_EQ(depois.size(), antes.size());
    for (const auto& [nome, conteudo] : antes) {
      const auto i = depois.find(nome);
      if (i == depois.end()) ADD_FAILURE() << "desapareceu: " << nome;
      else EXPECT_TRUE(i->second == conteudo) << "mudou: " << nome;
    }
    for (const auto& [nome, conteudo] : depois)
      if (!antes.count(nome)) ADD_FAILURE() << "ficou para trás: " << nome;
  };
  espera_pasta_igual();
  if (k.envolve || k.so_linha_de_comandos) return;
  SCOPED_TRACE("neste processo");
  janela_teste j;
  EXPECT_FALSE(converte(j, k.s1, k.s2, c.entrada, saida_de(c, k), c.px, c.py, c.grelhas));
  std::string vistas;
  for (const std::string& t : j.textos()) vistas += t + "\n";
  EXPECT_EQ(vistas, esperado + "\n");
  espera_pasta_igual();
}

// Damages the .shp of record k (1-based): `f` edits its bytes at the record
// header's offset.
void no_registo(cenario& c, int k, const std::function<void(std::string&, size_t)>& f)
{
  std::string shp = c.shp();
  f(shp, deslocamento(c.shx(), k));
  grava(c.entrada, shp);
}

void poe_int(std::string& b, size_t pos, std::int32_t v) { std::memcpy(&b[pos], &v, 4); }
void poe_double(std::string& b, size_t pos, double v) { std::memcpy(&b[pos], &v, 8); }

TEST(falhas, shp_danificado)
{
  // PolyLineZ record layout after the 8-byte header: type (4), box (32),
  // parts (4), points (4), part starts (4 each), x y pairs (16 each), ...
  const caso casos[] = {
      {"shp vazio", [](cenario& c) { grava(c.entrada, ""); },
       "O ficheiro \"{P}/rios da região.shp\" está vazio ou cortado: tem 0 bytes, "
       "menos do que os 100 do cabeçalho de um shapefile."},
      {"shp cortado no cabeçalho", [](cenario& c) { grava(c.entrada, c.shp().substr(0, 50)); },
       "O ficheiro \"{P}/rios da região.shp\" está vazio ou cortado: tem 50 bytes, "
       "menos do que os 100 do cabeçalho de um shapefile."},
      {"shp cortado a meio de um registo",
       [](cenario& c) { grava(c.entrada, c.shp().substr(0, c.shp().size() - 30)); },
       "O registo 4 de \"{P}/rios da região.shp\" não pode ser lido: o índice .shx "
       "aponta para fora do ficheiro .shp. O shapefile está danificado."},
      {"comprimento do registo longo demais",
       [](cenario& c) { no_registo(c, 2, [](std::string& b, size_t d) { poe_grande_endian(b, d + 4, 5000); }); },
       "O registo 2 de \"{P}/rios da região.shp\" não pode ser lido: o comprimento no "
       "cabeçalho do registo não coincide com o do índice .shx. O shapefile está "
       "danificado."},
      {"comprimento do registo negativo",
       [](cenario& c) { no_registo(c, 3, [](std::string& b, size_t d) { poe_grande_endian(b, d + 4, -8); }); },
       "O registo 3 de \"{P}/rios da região.shp\" não pode ser lido: o comprimento no "
       "cabeçalho do registo não coincide com o do índice .shx. O shapefile está "
       "danificado."},
      {"código de tipo que não existe no cabeçalho",
       [](cenario& c) {
         std::string shp = c.shp();
         poe_int(shp, 32, 7);
         grava(c.entrada, shp);
       },
       "O ficheiro \"{P}/rios da região.shp\" não é um shapefile: o código de tipo de "
       "forma 7 não existe."},
      {"código de tipo que não existe num registo",
       [](cenario& c) { no_registo(c, 2, [](std::string& b, size_t d) { poe_int(b, d + 8, 77); }); },
       "O registo 2 de \"{P}/rios da região.shp\" tem o tipo de forma 77, diferente "
       "do tipo do ficheiro (13)."},
      {"partes fora de ordem",
       [](cenario& c) {
         no_registo(c, 1, [](std::string& b, size_t d) {
           poe_int(b, d + 8 + 44, 3);
           poe_int(b, d + 8 + 48, 0);
         });
       },
       "O registo 1 de \"{P}/rios da região.shp\" não pode ser lido: as suas partes "
       "começam fora de ordem ou para além do último vértice. O shapefile está "
       "danificado."},
      {"parte para além dos vértices",
       [](cenario& c) { no_registo(c, 4, [](std::string& b, size_t d) { poe_int(b, d + 8 + 48, 60); }); },
       "O registo 4 de \"{P}/rios da região.shp\" não pode ser lido: as suas partes "
       "começam fora de ordem ou para além do último vértice. O shapefile está "
       "danificado."},
      {"coordenada NaN",
       [](cenario& c) {
         no_registo(c, 2, [](std::string& b, size_t d) {
           poe_double(b, d + 8 + 52 + 16 * 4, std::numeric_limits<double>::quiet_NaN());
         });
       },
       "O vértice 5 do registo 2 de \"{P}/rios da região.shp\" (nan; -79528) não tem "
       "coordenadas transformadas finitas (nan; nan). A conversão foi interrompida."},
      {"coordenada infinita",
       [](cenario& c) {
         no_registo(c, 3, [](std::string& b, size_t d) {
           poe_double(b, d + 8 + 52 + 8, -std::numeric_limits<double>::infinity());
         });
       },
       "O vértice 1 do registo 3 de \"{P}/rios da região.shp\" (-48000; -inf) não tem "
       "coordenadas transformadas finitas (-nan; -nan). A conversão foi interrompida."},
      {"vértices sem nenhuma parte",
       [](cenario& c) { no_registo(c, 2, [](std::string& b, size_t d) { poe_int(b, d + 8 + 36, 0); }); },
       "O registo 2 de \"{P}/rios da região.shp\" não pode ser lido: tem 6 vértices e nenhuma "
       "parte. O shapefile está danificado."},
      {"shp que é uma pasta",
       [](cenario& c) {
         fs::remove(caminho(c.entrada));
         fs::create_directory(caminho(c.entrada));
       },
       // A folder as input asks for a batch, whose output must be a folder.
       "A saída \"{P}/saída antiga.shp\" é um ficheiro, não uma pasta: com vários ficheiros de "
       "entrada, ou uma pasta, a saída é a pasta onde os ficheiros convertidos são escritos.",
       d73, etrs, nullptr, nullptr, true},
#ifndef _WIN32
      // Before it was refused, reading it waited for ever: a time limit.
      {"shp que é um FIFO",
       [](cenario& c) {
         fs::remove(caminho(c.entrada));
         ASSERT_EQ(mkfifo(c.entrada.c_str(), 0666), 0);
       },
       "O ficheiro \"{P}/rios da região.shp\" não é um ficheiro comum (é um FIFO, um "
       "dispositivo ou um socket) e não pode ser lido como parte de um shapefile.",
       d73, etrs,
       [](std::vector<std::string>& argumentos, opcoes_processo&) {
         argumentos.insert(argumentos.begin(), {"timeout", "20"});
       }},
#endif
  };
  for (const caso& k : casos) corre_caso(k);
}

TEST(falhas, partes_demais_para_numerar)
{
  // 32768 parts cannot be numbered with 16 bits.
  corre_caso({"32768 partes",
              [](cenario& c) {
                shapefile_teste s;
                s.tipo = SHPT_ARC;
                forma f;
                f.tipo = SHPT_ARC;
                for (int i = 0; i < 32768; ++i) {
                  f.inicios.push_back(i);
                  f.x.push_back(i);
                  f.y.push_back(-i);
                }
                s.formas = {f};
                escreve(c.base, s);
              },
               "O registo 1 de \"{P}/rios da região.shp\" tem 32768 partes; o número de uma "
               "parte não pode passar de 32767."});
}

TEST(falhas, shx_danificado)
{
  const caso casos[] = {
      {"shx em falta", [](cenario& c) { fs::remove(caminho(c.base + ".shx")); },
       "Falta o ficheiro de índice \"{P}/rios da região.shx\" do shapefile \"{P}/rios "
       "da região.shp\"."},
      {"shx com menos registos",
       [](cenario& c) {
         std::string shx = c.shx().substr(0, 100 + 8 * 2);
         poe_grande_endian(shx, 24, (100 + 8 * 2) / 2);
         grava(c.base + ".shx", shx);
       },
       "O ficheiro \"{P}/rios da região.shp\" contém dados para além do último "
       "registo do índice \"{P}/rios da região.shx\": o índice está incompleto e "
       "parte dos registos perder-se-ia."},
      {"shx cortado sem acertar o cabeçalho",
       [](cenario& c) { grava(c.base + ".shx", c.shx().substr(0, 100 + 8 * 2 + 3)); },
       "O índice \"{P}/rios da região.shx\" está cortado ou danificado: o cabeçalho "
       "declara 132 bytes e o ficheiro tem 119."},
      {"índice para além do fim",
       [](cenario& c) {
         std::string shx = c.shx();
         poe_grande_endian(shx, 100 + 8 * 2, 1 << 29);
         grava(c.base + ".shx", shx);
       },
       "O registo 3 de \"{P}/rios da região.shp\" não pode ser lido: o índice .shx "
       "aponta para fora do ficheiro .shp. O shapefile está danificado."},
      {"índice para o meio de outro registo",
       [](cenario& c) {
         std::string shx = c.shx();
         poe_grande_endian(shx, 100 + 8 * 3, static_cast<std::int32_t>(deslocamento(shx, 3) / 2 + 20));
         grava(c.base + ".shx", shx);
       },
       "O registo 4 de \"{P}/rios da região.shp\" não pode ser lido: o índice .shx "
       "aponta para o meio de outro registo. O shapefile está danificado."},
  };
  for (const caso& k : casos) corre_caso(k);
}

TEST(falhas, dbf_danificado)
{
  const caso casos[] = {
      {"dbf em falta", [](cenario& c) { fs::remove(caminho(c.base + ".dbf")); },
       "Falta a tabela de atributos \"{P}/rios da região.dbf\" do shapefile "
       "\"{P}/rios da região.shp\"."},
      {"comprimento de registo maior do que o real",
       [](cenario& c) {
         std::string d = c.dbf();
         d[10] = static_cast<char>(static_cast<unsigned char>(d[10]) + 40);
         grava(c.base + ".dbf", d);
       },
       "A tabela de atributos \"{P}/rios da região.dbf\" está truncada: é mais curta "
       "do que os seus registos."},
      {"comprimento de registo menor do que os campos",
       [](cenario& c) {
         std::string d = c.dbf();
         d[10] = 5;
         d[11] = 0;
         grava(c.base + ".dbf", d);
       },
       "Não foi possível abrir a tabela de atributos \"{P}/rios da região.dbf\": o "
       "cabeçalho não descreve uma tabela dBase válida."},
      {"cabeçalho que anuncia mais campos",
       [](cenario& c) {
         std::string d = c.dbf();
         d[8] = static_cast<char>(static_cast<unsigned char>(d[8]) + 64);
         grava(c.base + ".dbf", d);
       },
       "A tabela de atributos \"{P}/rios da região.dbf\" está truncada: é mais curta "
       "do que os seus registos."},
      {"menos registos do que o shp",
       [](cenario& c) {
         std::string d = c.dbf();
         d[4] = 3;
         grava(c.base + ".dbf", d);
       },
       "A tabela de atributos \"{P}/rios da região.dbf\" tem 3 registos e o shapefile "
       "\"{P}/rios da região.shp\" tem 4: não correspondem."},
      {"descritores sem terminador",
       [](cenario& c) {
         std::string d = c.dbf();
         const size_t fim = 32 + 32 * 2;
         ASSERT_EQ(d[fim], '\r');
         d[fim] = 'X';
         grava(c.base + ".dbf", d);
       },
       "A tabela de atributos \"{P}/rios da região.dbf\" está danificada: a lista de "
       "campos do cabeçalho não termina onde o cabeçalho indica."},
      {"dbf cortado a meio dos registos",
       [](cenario& c) { grava(c.base + ".dbf", c.dbf().substr(0, c.dbf().size() - 30)); },
       "A tabela de atributos \"{P}/rios da região.dbf\" está truncada: é mais curta "
       "do que os seus registos."},
  };
  for (const caso& k : casos) corre_caso(k);
}

TEST(falhas, saida)
{
  const caso casos[] = {
      {"pasta de saída que não existe", nullptr,
       "Não é possível escrever o shapefile de saída \"{P}/nenhures/saída.shp\": o "
       "ficheiro ou a pasta não existe.", d73, etrs, nullptr,
       [](const cenario& c) { return c.pasta + "/nenhures/saída.shp"; }},
      {"saída igual à entrada", nullptr,
       "O ficheiro de saída \"{P}/rios da região.shp\" é o próprio ficheiro de "
       "entrada \"{P}/rios da região.shp\". Escolha outro nome para o shapefile do "
       "Sistema 2.", d73, etrs, nullptr,
       [](const cenario& c) { return c.base + ".dbf"; }},
      {"nome da tabela da saída que é uma pasta",
       [](cenario& c) {
         const std::string dbf = c.pasta + "/saída antiga.dbf";
         fs::remove(caminho(dbf));
         fs::create_directory(caminho(dbf));
         grava(dbf + "/dentro", "do utilizador");
       },
       "Não foi possível pôr o resultado no lugar de \"{P}/saída antiga.shp\": \"{P}/saída "
       "antiga.dbf\" é uma pasta. O shapefile anterior ficou como estava."},
      {"página de código da entrada que é uma pasta",
       [](cenario& c) { fs::create_directory(caminho(c.base + ".cpg")); },
       "O ficheiro de página de código \"{P}/rios da região.cpg\" da entrada é uma pasta, não "
       "um ficheiro."},
  };
  for (const caso& k : casos) corre_caso(k);
}

TEST(falhas, saida_sob_limites_do_sistema)
{
#ifdef _WIN32
  GTEST_SKIP() << "o Windows não limita o tamanho dos ficheiros nem o número de ficheiros abertos "
                  "de um processo, nem tem as permissões POSIX de uma pasta";
#else
  corre_caso({"disco cheio a meio", nullptr,
              "Não foi possível completar o shapefile \"{P}/saída antiga.shp\": o ficheiro excede o "
              "tamanho permitido ({P}/saída antiga.shp).", d73, etrs,
              [](std::vector<std::string>&, opcoes_processo& o) { o.limite_ficheiro = 512; }});
#ifndef __SANITIZE_ADDRESS__
  // (The sanitizers' runtime needs descriptors of its own to report.)
  // The input is open (its .shp and .dbf) when the run reserves its files.
  corre_caso({"ficheiros abertos demais", nullptr,
              "Não é possível escrever o shapefile de saída \"{P}/saída antiga.shp\": há "
              "demasiados ficheiros abertos.", d73, etrs,
              [](std::vector<std::string>& argumentos, opcoes_processo&) {
                // Only the three standard streams open when the limit is set.
                argumentos.insert(argumentos.begin(),
                                  {"sh", "-c",
                                   "exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&-; ulimit -n 6; "
                                   "exec \"$@\"",
                                   "sh"});
              }});
#endif

  if (geteuid() != 0 && access("/", W_OK) == 0) return;
  // Root writes anywhere: a read-only folder is tried as an ordinary user.
  const std::vector<std::string> como_nobody{"setpriv", "--reuid=65534", "--regid=65534",
                                             "--clear-groups"};
  std::vector<std::string> ajuda = como_nobody;
  ajuda.insert(ajuda.end(), {KELVARA_CLI, "--help"});
  if (corre(ajuda).codigo != 0) {
    // No setpriv, or the build lies where that user cannot reach it.
    std::cerr << "sem forma de correr kelvara-cli como outro utilizador: pasta só de leitura "
                 "não verificada\n";
    return;
  }
  corre_caso({"pasta de saída só de leitura",
              [](cenario& c) {
                fs::create_directory(caminho(c.pasta + "/fechada"));
                fs::permissions(c.raiz.caminho(), fs::perms::all, fs::perm_options::replace);
                for (const auto& e : fs::recursive_directory_iterator(c.raiz.caminho()))
                  fs::permissions(e.path(), fs::perms::all, fs::perm_options::replace);
                fs::permissions(caminho(c.pasta + "/fechada"),
                                fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::others_read | fs::perms::others_exec,
                                fs::perm_options::replace);
              },
               "Não é possível escrever o shapefile de saída \"{P}/fechada/saída.shp\": não "
               "há permissão para o fazer.", d73, etrs,
              [como_nobody](std::vector<std::string>& argumentos, opcoes_processo&) {
                argumentos.insert(argumentos.begin(), como_nobody.begin(), como_nobody.end());
              },
              [](const cenario& c) { return c.pasta + "/fechada/saída.shp"; }});

  // An input in a folder the user cannot write (a CD, a share) converts:
  // nothing is written beside the input.
  cenario c;
  const std::string livre = c.raiz / "livre";
  fs::create_directory(caminho(livre));
  for (const auto& e : fs::recursive_directory_iterator(c.raiz.caminho()))
    fs::permissions(e.path(), fs::perms::all, fs::perm_options::replace);
  fs::permissions(c.raiz.caminho(), fs::perms::all, fs::perm_options::replace);
  fs::permissions(caminho(c.pasta),
                  fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                      fs::perms::others_exec,
                  fs::perm_options::replace);
  std::vector<std::string> linha = como_nobody;
  for (const std::string& a : {std::string(KELVARA_CLI), std::string("-s"), d73, std::string("-t"),
                               etrs, c.entrada, livre + "/saída.shp"})
    linha.push_back(a);
  const processo r = corre(linha);
  EXPECT_EQ(r.codigo, 0) << r.erros;
  EXPECT_EQ(r.saida, "Criado o ficheiro: " + livre + "/saída.shp\n");
  EXPECT_EQ(le(livre + "/saída.shp").formas.size(), 4u);
#endif
}

TEST(falhas, parametros_e_grelhas)
{
  const caso casos[] = {
      {"ficheiro de parâmetros em falta", [](cenario& c) { fs::remove(caminho(c.px)); },
       "Não foi possível abrir o ficheiro de parâmetros \"{P}/parâmetros x.txt\".",
       "Qualquer", ""},
      {"ficheiro de parâmetros curto",
       [](cenario& c) { grava(c.py, "identidade, ensaio, Y\n0, 0\n0, 0\n"); },
       "O ficheiro de parâmetros \"{P}/parâmetros y.txt\" acaba antes do campo 8 (são "
       "precisos 15 campos).", "Qualquer", ""},
      {"campo que não é número",
       [](cenario& c) { grava(c.px, "a, b, X\n0, 0\n0, zero\n1, 1\n0, 1, 0, 0, 0, 0\n"); },
       "O campo 7 do ficheiro de parâmetros \"{P}/parâmetros x.txt\" devia ser um "
       "número e é \"zero\".", "Qualquer", ""},
      {"divisor 0",
       [](cenario& c) { grava(c.py, "a, b, Y\n0, 0\n0, 0\n1, 0\n0, 0, 1, 0, 0, 0\n"); },
       "O divisor ky (campo 9) do ficheiro de parâmetros \"{P}/parâmetros y.txt\" é 0.", "Qualquer", ""},
      {"letras trocadas",
       [](cenario& c) {
         const std::string x = bytes(c.px);
         grava(c.px, bytes(c.py));
         grava(c.py, x);
       },
       "Erro! Esperado 'X' no ficheiro de parâmetros -X", "Qualquer", ""},
      {"o mesmo ficheiro duas vezes", [](cenario& c) { c.py = c.px; },
       "Erro! Esperado 'Y' no ficheiro de parâmetros -Y", "Qualquer", ""},
      // kelvara-cli adds how to give another folder.
      {"grelha em falta", [](cenario& c) { fs::remove(caminho(c.grelhas + "/et_lx_p.asc")); },
       "Os Ficheiros et_lx_m.asc e et_lx_p.asc não existem !!\nProcurados na pasta "
       "\"{P}/grelhas\".\nPara indicar outra pasta dos ficheiros de grelha, use a opção "
       "--grelhas PASTA.",
       d73, lisboa, nullptr, nullptr, true},
      {"grelha curta", [](cenario& c) { grava(c.grelhas + "/lx_et_m.asc", "1 2 3\n"); },
       "O ficheiro de grelha \"{P}/grelhas{S}lx_et_m.asc\" termina antes do valor 4 de "
       "8118 (linha 1, coluna 4 da grelha); são precisos 123 linhas de 66 números.", lisboa, d73},
      {"grelha com um campo que não é número",
       [](cenario& c) {
         std::string g = bytes(c.grelhas + "/et_lx_m.asc");
         g.replace(g.find('\n') + 1, 1, "x");
         grava(c.grelhas + "/et_lx_m.asc", g);
       },
       "O ficheiro de grelha \"{P}/grelhas{S}et_lx_m.asc\" tem \"x134998.5\", que não é "
       "um número, na linha 2 do ficheiro, no lugar do valor 2 de 8118 (linha 1, "
       "coluna 2 da grelha).", etrs, lisboa},
      {"canto -999999 numa só grelha",
       [](cenario& c) {
         // Every node of the Y grid is marked: the first vertex is refused.
         grava(c.grelhas + "/et_lx_p.asc",
               texto_de(grelha_de([](int, int) { return sem_ponto; }), disposicao::um_por_linha));
       },
       // kelvara-cli adds where the vertex lies.
       "ERRO!! Ponto para além dos limites. (-50000;-80000)\nNo shapefile "
       "\"{P}/rios da região.shp\", registo 1.",
       d73, lisboa},
  };
  for (const caso& k : casos) corre_caso(k);
}

}  // namespace
}  // namespace kelvara
