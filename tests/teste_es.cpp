// The buffered I/O layer against plain stdio, and the component's own
// record path against shapelib's reader and writer: every conversion writes
// the same bytes through all three (real shapefiles from other software,
// files of every shape type, and files made here to cross the windows'
// edges in every way, small windows and large), the hooks answer every read, write, seek and tell alike, reading
// ahead included, and a write that fails while a window is written out, on
// the calling thread or on the second one, is recorded under its file's
// name with its cause and refuses the writes that follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <random>
#include <tuple>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <shapefil.h>

#include "apoio.h"
#include "shapefiles.h"
#include "blocos.h"
#include "ganchos.h"
#include "ganchos_simples.h"

namespace kelvara {
namespace {

using namespace teste;

// The own record path through the windows or through plain stdio, and
// shapelib's records through the windows (the reference).
enum class via { blocos, simples, shapelib };

const SAHooks& ganchos_de(via v) { return v == via::simples ? ganchos_simples() : es::ganchos(); }

// Selects one set of hooks for as long as it lives; the buffered ones after.
struct com_via {
  explicit com_via(via v)
  {
    es::usa_ganchos(&ganchos_de(v));
    ShapeFiles::usa_shapelib(v == via::shapelib);
  }
  ~com_via()
  {
    es::usa_ganchos(nullptr);
    ShapeFiles::usa_shapelib(false);
  }
};

// The conversion through one set of hooks: empty, or its last message.
std::string falha_por(via v, const std::string& entrada, const std::string& saida, bool forcar,
                      const std::string& s1 = d73, const std::string& s2 = etrs)
{
  const com_via escolha(v);
  return falha_ao_converter(s1, s2, entrada, saida, forcar);
}

// Converts `entrada` every way beside it and expects the same bytes in every
// output file: through each set of hooks, and through the windows in 2, 4
// and 7 ranges of records (each its own thread; the file's box folded from
// theirs). The .dbf's date of last change is today's in all; copying it
// across keeps a conversion pair that straddles midnight from failing.
void espera_mesmos_bytes(const std::string& pasta, const std::string& entrada, bool forcar,
                         const std::string& s1 = d73, const std::string& s2 = etrs)
{
  ASSERT_EQ(falha_por(via::shapelib, entrada, pasta + "/shapelib.shp", forcar, s1, s2), "");
  for (const auto& [v, nome, faixas] :
       {std::tuple{via::simples, "simples", 0}, std::tuple{via::blocos, "blocos", 0},
        std::tuple{via::blocos, "faixas2", 2}, std::tuple{via::blocos, "faixas4", 4},
        std::tuple{via::blocos, "faixas7", 7}}) {
    SCOPED_TRACE(nome);
    std::optional<com_faixas> em_faixas;
    if (faixas > 0) em_faixas.emplace(faixas);
    ASSERT_EQ(falha_por(v, entrada, pasta + "/" + nome + ".shp", forcar, s1, s2), "");
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj"}) {
      SCOPED_TRACE(ext);
      const std::string s = bytes(pasta + "/shapelib" + ext);
      std::string b = bytes(pasta + "/" + nome + ext);
      ASSERT_FALSE(s.empty());
      if (std::string(ext) == ".dbf" && b.size() > 4) b.replace(1, 3, s, 1, 3);
      ASSERT_EQ(s.size(), b.size());
      EXPECT_TRUE(s == b) << "a primeira diferença está no byte "
                          << std::mismatch(s.begin(), s.end(), b.begin()).first - s.begin();
    }
    EXPECT_EQ(fs::exists(pasta + "/shapelib.cpg"), fs::exists(pasta + "/" + nome + ".cpg"));
  }
}

TEST(es, corpus_igual_pelas_duas_vias)
{
  KELVARA_PRECISA_CORPUS(pasta);
  int vistos = 0;
  for (const auto& e : fs::directory_iterator(*pasta)) {
    if (e.path().extension() != ".shp") continue;
    const std::string nome = e.path().stem().string();
    if (nome == "3dpoints") continue;  // deliberately damaged: refused either way
    SCOPED_TRACE(nome);
    pasta_temporaria p;
    for (const char* ext : {".shp", ".shx", ".dbf"})
      fs::copy_file(*pasta + "/" + nome + ext, p / (nome + ext));
    espera_mesmos_bytes(p.caminho().string(), p / (nome + ".shp"), true);
    ++vistos;
  }
  EXPECT_GE(vistos, 10);
}

// Shapefiles made to cross the windows in every way: many records
// straddling their edges, records and reads larger than a window, a table
// whose records are a single byte (the end-of-file byte rewritten at every
// record), wide attribute records, null and deleted records, and records
// stored in another order than the index gives them.
forma linha(int k, int vertices, int partes, bool com_m)
{
  forma f;
  f.tipo = com_m ? SHPT_ARCZ : SHPT_ARC;
  for (int v = 0; v < vertices; ++v) {
    if (v % (vertices / partes) == 0 && static_cast<int>(f.inicios.size()) < partes)
      f.inicios.push_back(v);
    f.x.push_back(-90000.0 + 37.25 * k + 3.5 * v);
    f.y.push_back(150000.0 - 11.5 * k + 1.75 * v);
    f.z.push_back(100.0 + k + 0.5 * v);
    f.m.push_back(2.0 * v);
  }
  f.com_m = com_m;
  return f;
}

TEST(es, ficheiros_feitos_iguais_pelas_duas_vias)
{
  pasta_temporaria p;

  const size_t j = es::bytes_janela;
  // Enough .shp for the large windows, and four of them after that, in
  // records of some 6.5 KB (of differing sizes: no two windows end alike).
  polilinhas(p / "muitas", static_cast<int>((es::bytes_ate_crescer + 4 * j) / 6500), 200, true);

  shapefile_teste enorme;  // one record of two windows
  enorme.tipo = SHPT_POLYGONZ;
  enorme.campos = {{"ID", 'N', 4, 0}};
  for (int k = 0; k < 5; ++k) {
    forma f = linha(k, k == 2 ? static_cast<int>(j / 16) : 7, k == 2 ? 40 : 1, true);
    f.tipo = SHPT_POLYGONZ;
    enorme.formas.push_back(f);
    enorme.valores.push_back({std::to_string(k)});
  }
  escreve(p / "enorme", enorme);

  shapefile_teste pontos;  // no fields: one-byte records, nulls, deletions
  pontos.tipo = SHPT_POINTM;
  for (int k = 0; k < static_cast<int>(2 * j / 36); ++k) {
    forma f;
    if (k % 7 != 3) {
      f.tipo = SHPT_POINTM;
      f.x = {-50000.0 + k};
      f.y = {-60000.0 + 0.5 * k};
      f.z = {0};
      f.m = {k * 0.25};
      f.com_m = true;
    }
    pontos.formas.push_back(f);
    pontos.apagados.push_back(k % 5 == 0);
  }
  escreve(p / "pontos", pontos);

  shapefile_teste largos;  // 1,271-byte attribute records, two windows of them
  largos.tipo = SHPT_POINT;
  for (int j = 0; j < 5; ++j) largos.campos.push_back({"T" + std::to_string(j), 'C', 254, 0});
  for (int k = 0; k < static_cast<int>(2 * j / 1271); ++k) {
    forma f;
    f.tipo = SHPT_POINT;
    f.x = {1000.0 * (k % 150)};  // inside the mainland
    f.y = {-500.0 * (k % 150)};
    largos.formas.push_back(f);
    std::vector<std::string> v;
    for (int j = 0; j < 5; ++j) v.push_back(std::string(200 + (k + j) % 54, static_cast<char>('a' + j)));
    largos.valores.push_back(v);
  }
  escreve(p / "largos", largos);

  // The records of `muitas` stored last to first: every read seeks back.
  inverte_registos(p / "muitas", p / "invertido");

  for (const char* nome : {"muitas", "enorme", "pontos", "largos", "invertido"}) {
    SCOPED_TRACE(nome);
    const fs::path pasta = p.caminho() / nome;
    fs::create_directory(pasta);
    for (const char* ext : {".shp", ".shx", ".dbf"})
      fs::rename(p / (std::string(nome) + ext), pasta / (std::string(nome) + ext));
    espera_mesmos_bytes(pasta.string(), (pasta / (std::string(nome) + ".shp")).string(), false);
  }

  // The file stored last to first reads back as the original did.
  const lido a = le((p.caminho() / "muitas" / "blocos.shp").string());
  const lido b = le((p.caminho() / "invertido" / "blocos.shp").string());
  ASSERT_EQ(a.formas.size(), b.formas.size());
  for (size_t k = 0; k < a.formas.size(); ++k) {
    EXPECT_EQ(a.formas[k].x, b.formas[k].x);
    EXPECT_EQ(a.formas[k].y, b.formas[k].y);
  }
  EXPECT_EQ(a.tuplos, b.tuplos);
}

// Every shape type, with null records, z, m with no-data values (below
// -1e38), NaN, +0 and -0 in one record (the boxes keep the last of equal
// values), records at x = y = 0 first and midway (shapelib starts the
// file's box again while it is all zeros), MultiPatch part types, a deleted
// record, and an empty file of each type.
TEST(es, todos_os_tipos_iguais_ao_shapelib)
{
  const int tipos[] = {SHPT_POINT,      SHPT_ARC,       SHPT_POLYGON,    SHPT_MULTIPOINT,
                       SHPT_POINTZ,     SHPT_ARCZ,      SHPT_POLYGONZ,   SHPT_MULTIPOINTZ,
                       SHPT_POINTM,     SHPT_ARCM,      SHPT_POLYGONM,   SHPT_MULTIPOINTM,
                       SHPT_MULTIPATCH};
  for (const int t : tipos) {
    for (const int registos : {0, 9}) {
      SCOPED_TRACE("tipo " + std::to_string(t) + ", " + std::to_string(registos) + " registos");
      const bool ponto = t == SHPT_POINT || t == SHPT_POINTZ || t == SHPT_POINTM;
      const bool com_m = t != SHPT_MULTIPATCH && (t > 20 || (t > 10 && t < 20));
      shapefile_teste s;
      s.tipo = t;
      s.campos = {{"ID", 'N', 5, 0}, {"NOME_LONGO1", 'C', 12, 0}};
      for (int k = 0; k < registos; ++k) {
        forma f;
        if (k != 3) {
          f.tipo = t;
          const int partes = ponto ? 1 : 1 + k % 3;
          for (int p = 0; p < partes; ++p) {
            const int nv = ponto ? 1 : 2 + (k + p) % 4;
            if (!ponto) {
              f.inicios.push_back(static_cast<int>(f.x.size()));
              f.tipos_partes.push_back(p % 2 == 0 ? SHPP_TRIFAN : SHPP_OUTERRING);
            }
            for (int v = 0; v < nv; ++v) {
              // Records 1 and 5 come out at x = y = 0 (the military grid's
              // origin shifted to the central system's).
              const bool origem = k == 0 || k == 4;
              f.x.push_back(origem ? 200000.0 : -61234.5 + 2345.678 * k + 517.25 * v);
              f.y.push_back(origem ? 300000.0 : 103456.25 - 1987.5 * k + 733.0 * v);
              // Zeros of both signs at the bottom of z and the top of m.
              const bool zero = v == 1 || v == 3;
              f.z.push_back(v == 2 ? (k % 2 ? std::nan("") : -0.0)
                                   : zero ? 0.0 : 100.0 + 10.0 * v - 3.25 * k);
              f.m.push_back(v == 2 ? -0.0 : zero ? 0.0 : v == 4 ? -1e39 : -5.0 - 1.5 * k - v);
            }
          }
          f.com_m = com_m;
        }
        s.formas.push_back(f);
        s.valores.push_back({std::to_string(k), "nome " + std::to_string(k)});
        s.apagados.push_back(k == 6);
      }
      pasta_temporaria p;
      escreve(p / "e", s);
      espera_mesmos_bytes(p.caminho().string(), p / "e.shp", true, d73m, d73);
    }
  }
}

TEST(es, indice_fora_de_ordem_com_registo_sobreposto)
{
  // Offsets that do not increase take the sorted check: entry 2, pointed
  // into the middle of record 4 of a file stored last to first, is the one
  // refused.
  pasta_temporaria p;
  polilinhas(p / "d", 6, 20, true);
  inverte_registos(p / "d", p / "d");
  std::string shx = bytes(p / "d.shx");
  poe_grande_endian(shx, 100 + 8 * 1, static_cast<std::int32_t>((deslocamento(shx, 4) + 16) / 2));
  grava(p / "d.shx", shx);
  EXPECT_EQ(falha_por(via::blocos, p / "d.shp", p / "s.shp", false),
            "O registo 2 de \"" + (p / "d.shp") +
                "\" não pode ser lido: o índice .shx aponta para o meio de outro registo. O "
                "shapefile está danificado.");
}

// One file through each set of hooks.
struct aberto {
  SAHooks g;
  SAFile f;
};

aberto abre_com(via v, const std::string& nome, const char* modo)
{
  aberto a{ganchos_de(v), nullptr};
  a.f = a.g.FOpen(nome.c_str(), modo);
  return a;
}

// The same random reads, writes and seeks on two copies of one file, one
// through each set of hooks: every answer and the final bytes must agree.
// Sizes run from one byte to beyond two windows of `j` bytes, positions to
// beyond the end of the file (a hole that reads back as zeros).
void compara_ganchos(unsigned semente, size_t j, int passos)
{
  pasta_temporaria p;
  std::mt19937 r(semente);
  std::string inicial(3 * j - 12345, '\0');
  for (char& c : inicial) c = static_cast<char>(r());
  grava(p / "s.bin", inicial);
  grava(p / "b.bin", inicial);
  aberto s = abre_com(via::simples, p / "s.bin", "r+b");
  aberto b = abre_com(via::blocos, p / "b.bin", "r+b");
  ASSERT_TRUE(s.f && b.f);
  // Space set aside for more than the file comes to (with large windows).
  es::janela_preve(b.f, static_cast<long long>(32 * j));
  es::limpa_falha();
  auto tamanho = [&]() -> size_t {
    switch (r() % 10) {
      case 0: case 1: case 2: case 3: return 1 + r() % 8;
      case 4: case 5: case 6: return 1 + r() % 4000;
      case 7: case 8: return 1 + r() % (j / 3);
      default: return j / 2 + r() % (2 * j);
    }
  };
  std::string ls, lb, escrito;
  for (int passo = 0; passo < passos; ++passo) {
    SCOPED_TRACE("passo " + std::to_string(passo));
    const int donde = r() % 8 == 0 ? SEEK_END : r() % 8 == 1 ? SEEK_CUR : SEEK_SET;
    const long long alvo = donde == SEEK_SET ? r() % (5 * j) : r() % 3000;
    ASSERT_EQ(s.g.FSeek(s.f, static_cast<SAOffset>(alvo), donde), 0);
    ASSERT_EQ(b.g.FSeek(b.f, static_cast<SAOffset>(alvo), donde), 0);
    ASSERT_EQ(s.g.FTell(s.f), b.g.FTell(b.f));
    const size_t n = tamanho();
    const int op = r() % 10;
    if (op < 5) {
      const SAOffset item = r() % 3 == 0 ? 8 : 1;
      const SAOffset itens = std::max<SAOffset>(1, n / item);
      ls.assign(item * itens, 'x');
      lb.assign(item * itens, 'y');
      const SAOffset rs = s.g.FRead(ls.data(), item, itens, s.f);
      const SAOffset rb = b.g.FRead(lb.data(), item, itens, b.f);
      ASSERT_EQ(rs, rb);
      ASSERT_TRUE(ls.compare(0, rs * item, lb, 0, rs * item) == 0);
      // A short read leaves the stream at the end of what it got; stdio
      // then needs a seek before it writes, which every step begins with.
      ASSERT_EQ(s.g.FTell(s.f), b.g.FTell(b.f));
    } else if (op < 9) {
      escrito.resize(n);
      for (char& c : escrito) c = static_cast<char>(r());
      ASSERT_EQ(s.g.FWrite(escrito.data(), 1, n, s.f), n);
      ASSERT_EQ(b.g.FWrite(escrito.data(), 1, n, b.f), n);
      ASSERT_EQ(s.g.FTell(s.f), b.g.FTell(b.f));
    } else {
      ASSERT_EQ(s.g.FFlush(s.f), 0);
      ASSERT_EQ(b.g.FFlush(b.f), 0);
    }
  }
  EXPECT_EQ(s.g.FClose(s.f), 0);
  EXPECT_EQ(b.g.FClose(b.f), 0);
  EXPECT_FALSE(es::ultima_falha().houve());
  const std::string fs_ = bytes(p / "s.bin"), fb = bytes(p / "b.bin");
  EXPECT_GT(fs_.size(), inicial.size());
  EXPECT_TRUE(fs_ == fb);
#ifndef _WIN32
  // What was set aside and not written is given back: no more disk than
  // the file's blocks.
  struct stat e;
  ASSERT_EQ(stat((p / "b.bin").c_str(), &e), 0);
  EXPECT_LE(e.st_blocks * 512, (e.st_size + 4095) / 4096 * 4096);
#endif
}

TEST(es, ganchos_respondem_como_stdio)
{
  // A short run stays with the first, small windows; a long one moves
  // enough for the large ones, and crosses from the one size to the other.
  {
    SCOPED_TRACE("janelas pequenas");
    compara_ganchos(20240501, es::bytes_janela_inicial, 400);
  }
  {
    SCOPED_TRACE("janelas grandes");
    compara_ganchos(7, es::bytes_janela, 2000);
  }
}

TEST(es, leitura_adiantada_responde_como_stdio)
{
  // A file opened only for reading has the block after its window read
  // ahead. Mostly onward reads, as shapelib makes them, with jumps back and
  // forth and past the end: every answer must be the plain stream's.
  pasta_temporaria p;
  const size_t j = es::bytes_janela;
  std::mt19937 r(777);
  std::string conteudo(5 * j + 4321, '\0');
  for (char& c : conteudo) c = static_cast<char>(r());
  grava(p / "l.bin", conteudo);
  aberto s = abre_com(via::simples, p / "l.bin", "rb");
  aberto b = abre_com(via::blocos, p / "l.bin", "rb");
  ASSERT_TRUE(s.f && b.f);
  es::limpa_falha();
  std::string ls, lb;
  for (int passo = 0; passo < 20000; ++passo) {
    SCOPED_TRACE("passo " + std::to_string(passo));
    if (r() % 50 == 0) {
      const int donde = r() % 3 == 0 ? SEEK_CUR : SEEK_SET;
      const long long alvo = donde == SEEK_SET ? r() % (6 * j) : r() % 5000;
      ASSERT_EQ(s.g.FSeek(s.f, static_cast<SAOffset>(alvo), donde), 0);
      ASSERT_EQ(b.g.FSeek(b.f, static_cast<SAOffset>(alvo), donde), 0);
    }
    const size_t n = r() % 100 == 0 ? j + r() % j : 1 + r() % 3000;
    ls.assign(n, 'x');
    lb.assign(n, 'y');
    const SAOffset rs = s.g.FRead(ls.data(), 1, n, s.f);
    ASSERT_EQ(b.g.FRead(lb.data(), 1, n, b.f), rs);
    ASSERT_TRUE(ls.compare(0, rs, lb, 0, rs) == 0);
    ASSERT_EQ(s.g.FTell(s.f), b.g.FTell(b.f));
    if (rs < n) {  // at the end: back to somewhere inside
      const long long alvo = r() % conteudo.size();
      ASSERT_EQ(s.g.FSeek(s.f, static_cast<SAOffset>(alvo), SEEK_SET), 0);
      ASSERT_EQ(b.g.FSeek(b.f, static_cast<SAOffset>(alvo), SEEK_SET), 0);
    }
  }
  EXPECT_EQ(s.g.FClose(s.f), 0);
  EXPECT_EQ(b.g.FClose(b.f), 0);
  EXPECT_FALSE(es::ultima_falha().houve());
}

TEST(es, escrita_que_falha_ao_despejar_a_janela)
{
  // /dev/full refuses every write with "no space": a small write waits in
  // the window and fails when it is written out, a large one at once; both
  // are recorded under the file's name, the first one only.
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "sem /dev/full";
  es::limpa_falha();
  aberto a = abre_com(via::blocos, "/dev/full", "wb");
  ASSERT_TRUE(a.f);
  char pouco[100] = {};
  EXPECT_EQ(a.g.FWrite(pouco, 1, sizeof pouco, a.f), sizeof pouco);
  EXPECT_FALSE(es::ultima_falha().houve());
  EXPECT_NE(a.g.FFlush(a.f), 0);
  EXPECT_EQ(es::ultima_falha().ficheiro, "/dev/full");
  EXPECT_EQ(es::ultima_falha().causa, std::errc::no_space_on_device);
  // Once failed, the file takes nothing more.
  EXPECT_EQ(a.g.FWrite(pouco, 1, sizeof pouco, a.f), 0u);
  EXPECT_NE(a.g.FClose(a.f), 0);

  es::limpa_falha();
  pasta_temporaria p;
  aberto bom = abre_com(via::blocos, p / "bom.bin", "wb");
  aberto cheio = abre_com(via::blocos, "/dev/full", "w+b");
  ASSERT_TRUE(bom.f && cheio.f);
  const std::string muito(2 * es::bytes_janela + 1, 'k');  // larger than a window
  EXPECT_EQ(cheio.g.FWrite(const_cast<char*>(muito.data()), 1, muito.size(), cheio.f), 0u);
  EXPECT_EQ(es::ultima_falha().ficheiro, "/dev/full");
  EXPECT_EQ(bom.g.FWrite(const_cast<char*>(muito.data()), 1, muito.size(), bom.f), muito.size());
  EXPECT_EQ(bom.g.FClose(bom.f), 0);
  cheio.g.FClose(cheio.f);
  EXPECT_EQ(es::ultima_falha().ficheiro, "/dev/full");
  EXPECT_EQ(bytes(p / "bom.bin"), muito);

}

#ifndef _WIN32
// Sets a file size limit for as long as it lives, with SIGXFSZ ignored so
// that a write past it fails with EFBIG instead of ending the process.
struct limite_de_tamanho {
  rlimit antes{};
  void (*sinal)(int) = SIG_DFL;
  bool posto = false;
  explicit limite_de_tamanho(rlim_t bytes)
  {
    if (getrlimit(RLIMIT_FSIZE, &antes) != 0) return;
    if (antes.rlim_max != RLIM_INFINITY && antes.rlim_max < bytes) return;
    rlimit agora = antes;
    agora.rlim_cur = bytes;
    sinal = std::signal(SIGXFSZ, SIG_IGN);
    posto = setrlimit(RLIMIT_FSIZE, &agora) == 0;
  }
  ~limite_de_tamanho()
  {
    setrlimit(RLIMIT_FSIZE, &antes);
    std::signal(SIGXFSZ, sinal);
  }
};

TEST(es, escrita_que_falha_no_segundo_fio)
{
  // Small writes, as shapelib makes them, under a file size limit that lets
  // the first megabytes through: by then the second thread writes the
  // windows out, and one fails there, half written. The writes that follow
  // are refused with its cause before the file is ever closed, and the file
  // holds exactly what the limit allowed.
  pasta_temporaria p;
  const std::string nome = p / "limitado.bin";
  const rlim_t limite = es::bytes_ate_ajuda + 3 * es::bytes_janela_inicial + 5000;
  const limite_de_tamanho l(limite);
  if (!l.posto) GTEST_SKIP() << "sem permissão para limitar o tamanho dos ficheiros";
  es::limpa_falha();
  aberto a = abre_com(via::blocos, nome, "w+b");
  ASSERT_TRUE(a.f);
  char registo[4096] = {};
  int aceites = 0;
  const int tentados = static_cast<int>(2 * limite / sizeof registo);
  for (int i = 0; i < tentados; ++i) {
    if (a.g.FWrite(registo, 1, sizeof registo, a.f) != sizeof registo) break;
    ++aceites;
  }
  EXPECT_LT(aceites, tentados);
  EXPECT_GE(aceites * sizeof registo, static_cast<size_t>(es::bytes_ate_ajuda));
  EXPECT_EQ(es::ultima_falha().ficheiro, nome);
  EXPECT_EQ(es::ultima_falha().causa, std::errc::file_too_large);
  EXPECT_NE(a.g.FClose(a.f), 0);
  EXPECT_EQ(fs::file_size(nome), limite);
}
#else
TEST(es, escrita_que_falha_no_segundo_fio)
{
  GTEST_SKIP() << "o Windows não limita o tamanho dos ficheiros de um processo";
}
#endif

}  // namespace
}  // namespace kelvara
