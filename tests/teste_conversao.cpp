// The conversion command: its messages and their order, routing by exact
// text, file names, moving the result into place, what it does when
// something goes wrong (nothing of the user's is lost or half-written), its
// progress and a stop request of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>

#include <shapefil.h>

#include "apoio.h"
#include "conversao.h"
#include "nomes.h"
#include "paragem.h"
#include "polinomio.h"
#include "rotas.h"

namespace kelvara {
namespace {

using namespace teste;
using textos = std::vector<std::string>;

// A small polyline file in Datum 73 with a UTF-8 table.
void rios(const std::string& base)
{
  shapefile_teste s;
  s.tipo = SHPT_ARCZ;
  s.campos = {{"NOME", 'C', 20, 0}, {"ORDEM", 'N', 3, 0}};
  forma f;
  f.tipo = SHPT_ARCZ;
  f.inicios = {0, 2};
  f.x = {-88000, -87000, -60000, -59000.5};
  f.y = {-106000, -105000, -85000, -84000.25};
  f.z = {1, 2, 3, 4};
  f.m = {0, 10, 20, 30};
  f.com_m = true;
  s.formas = {f, forma{}};
  s.valores = {{"Tejo", "1"}, {"Sado \xc3\xa9", "2"}};
  s.cpg = "UTF-8";
  escreve(base, s);
}

TEST(conversao, mensagens_das_entradas_em_ordem)
{
  struct caso {
    pedido e;
    textos esperadas;  // none: no route
  };
  const std::string f = "/nao/existe/a.shp";
  const caso casos[] = {
      {{"", "", "", "", "", "", "."}, {"Definir o Sistema 1 !!", "Definir o Sistema 2 !!"}},
      {{"", etrs, f, f, "", "", "."}, {"Definir o Sistema 1 !!"}},
      {{d73, etrs, "", "", "", "", "."},
       {"Escolher o ficheiro Shapefile no Sistema 1!!", "Definir o ficheiro Shapefile no Sistema 2!!"}},
      {{"Qualquer", "", "", "", "", "", "."},
       {"Escolher o ficheiro Shapefile no Sistema 1!!", "Definir o ficheiro Shapefile no Sistema 2!!",
        "Definir o ficheiro de parâmetros em X!!", "Definir o ficheiro de parâmetros em Y!!"}},
      {{"Qualquer", "", f, f, "x.txt", "", "."}, {"Definir o ficheiro de parâmetros em Y!!"}},
      // Source known, target empty: no route, and the target is asked for.
      {{d73, "", f, f, "", "", "."}, {"Definir o Sistema 2 !!"}},
      // Source known, target known but not its pair: nothing at all.
      {{d73, "UTM 26 ITRF93", f, f, "", "", "."}, {}},
      {{"UTM 26 ITRF93", d73, f, f, "", "", "."}, {"Definir o Sistema 1 !!"}},
      // Exact, case-sensitive names: a near miss is no name.
      {{"hayford-gauss datum 73", etrs, f, f, "", "", "."}, {"Definir o Sistema 1 !!"}},
      {{d73 + " ", etrs, f, f, "", "", "."}, {"Definir o Sistema 1 !!"}},
      {{d73, "ETRS89 TM06 ", f, f, "", "", "."}, {}},
  };
  for (const caso& k : casos) {
    janela_teste j;
    const resultado r = kelvara::converte(k.e, j);
    EXPECT_EQ(r.como, k.esperadas.empty() ? desfecho::sem_rota : desfecho::recusado);
    textos vistas;
    for (const auto& m : r.mensagens) {
      vistas.push_back(m.texto);
      EXPECT_EQ(m.tipo, tipo_mensagem::aviso);
    }
    EXPECT_EQ(vistas, k.esperadas) << k.e.sistema1 << " / " << k.e.sistema2;
    EXPECT_EQ(j.ocupados, std::vector<bool>{false});
  }
}

TEST(conversao, datum73_para_etrs89_de_ponta_a_ponta)
{
  ensaio t;
  rios(t.p / "rios");
  const std::string antes = bytes(t.p / "rios.shp") + bytes(t.p / "rios.dbf");
  ASSERT_TRUE(t.ok(d73, etrs, "rios.shp", "rios_etrs.shp"));
  EXPECT_EQ(t.j.mensagens, (std::vector<mensagem>{{"Criado o ficheiro: " + (t.p / "rios_etrs.shp"),
                                                    tipo_mensagem::conclusao}}));
  EXPECT_EQ(t.j.ocupados, (std::vector<bool>{true, false}));
  // Input untouched, working files gone, output, its code page and projection.
  EXPECT_EQ(bytes(t.p / "rios.shp") + bytes(t.p / "rios.dbf"), antes);
  EXPECT_EQ(t.p.ficheiros(), (textos{"rios.cpg", "rios.dbf", "rios.shp", "rios.shx", "rios_etrs.cpg",
                                     "rios_etrs.dbf", "rios_etrs.prj", "rios_etrs.shp",
                                     "rios_etrs.shx"}));
  EXPECT_EQ(bytes(t.p / "rios_etrs.cpg"), "UTF-8");
  EXPECT_EQ(bytes(t.p / "rios_etrs.prj"), std::string(texto_prj(etrs)) + "\r\n");
  const lido a = le(t.p / "rios.shp"), b = le(t.p / "rios_etrs.shp");
  EXPECT_EQ(a.tuplos, b.tuplos);
  ASSERT_EQ(b.formas.size(), 2u);
  EXPECT_EQ(b.formas[1].tipo, SHPT_NULL);
  for (size_t v = 0; v < 4; ++v) {
    const par r = polinomio(conjunto_10, a.formas[0].x[v], a.formas[0].y[v]);
    EXPECT_EQ(b.formas[0].x[v], r.x);
    EXPECT_EQ(b.formas[0].y[v], r.y);
    EXPECT_EQ(b.formas[0].m[v], a.formas[0].m[v]);
  }
}

TEST(conversao, nomes_derivados_dos_textos)
{
  EXPECT_EQ(sem_ultimos_quatro("C:\\dados\\rios.SHP"), "C:\\dados\\rios");
  // Four characters, not four bytes: "ç" and "ã" are two bytes each.
  EXPECT_EQ(sem_ultimos_quatro("linhas_ção"), "linhas");
  EXPECT_EQ(caracteres("a.ção"), 5u);

  // An upper-case extension and an output typed with another one: the
  // files read and written are the derived .shp names, and the message
  // says so.
  ensaio t;
  rios(t.p / "rios");
  ASSERT_TRUE(t.ok(d73, etrs, "rios.SHP", "saida.dbf"));
  EXPECT_EQ(t.j.textos(), textos{"Criado o ficheiro: " + (t.p / "saida.shp")});
  // Only rios.shp exists, so "rios.SHP" was read as rios.shp.
  EXPECT_TRUE(fs::exists(t.p / "saida.shx"));
  EXPECT_TRUE(fs::exists(t.p / "saida.dbf"));
}

// A name must end in a dot and three characters after a name of its own;
// the four characters were once dropped whatever they were, which read and
// overwrote files the user never named ("tm06/cemiterios_gui" wrote
// tm06/cemiterios.shp; "tm06/" wrote t.shp in the current folder).
TEST(conversao, nomes_sem_extensao_ou_que_sao_pastas_sao_recusados)
{
  ensaio t;
  rios(t.p / "rios");
  fs::create_directory(t.p / "tm06");
  rios(t.p / "tm06/cemiterios");
  fs::create_directory(t.p / "pasta.shp");
  const std::string termina = "tem de terminar em .shp", pasta = "é o nome de uma pasta";
  struct caso {
    std::string entrada, saida;
    bool da_saida;
    std::string esperado;
  };
  const caso casos[] = {
      {"a.sh", "saida.shp", false, termina},
      {"çãõé", "saida.shp", false, termina},
      {"rios_d73", "saida.shp", false, termina},
      {"rios.shp", ".shp", true, pasta},
      {"rios.shp", "tm06/cemiterios_gui", true, termina},
      {"rios.shp", "saida.s/p", true, termina},
      {"rios.shp", "tm06/", true, pasta},
      {"rios.shp", "tm06/.shp", true, pasta},
      {"rios.shp", "pasta.shp", true, pasta},
  };
  for (const caso& k : casos) {
    SCOPED_TRACE(k.entrada + " " + k.saida);
    const auto antes = t.p.ficheiros();
    const auto em_tm06 = std::distance(fs::directory_iterator(t.p / "tm06"), {});
    janela_teste j;
    EXPECT_FALSE(converte(j, d73, etrs, t.p / k.entrada, t.p / k.saida));
    ASSERT_EQ(j.mensagens.size(), 1u);
    const std::string& m = j.mensagens[0].texto;
    EXPECT_NE(m.find(k.esperado), std::string::npos) << m;
    EXPECT_NE(m.find(k.da_saida ? "Sistema 2" : "Sistema 1"), std::string::npos) << m;
    EXPECT_EQ(j.fim.como, desfecho::recusado);
    EXPECT_EQ(t.p.ficheiros(), antes);
    EXPECT_EQ(std::distance(fs::directory_iterator(t.p / "tm06"), {}), em_tm06);
  }
}

// Everything in the folder, name and bytes.
std::vector<std::pair<std::string, std::string>> conteudo(const pasta_temporaria& p)
{
  std::vector<std::pair<std::string, std::string>> r;
  for (const std::string& n : p.ficheiros()) r.emplace_back(n, bytes(p / n));
  return r;
}

TEST(conversao, saida_que_e_a_entrada_e_recusada)
{
  for (const std::string saida : {"rios.shp", "rios.dbf", "rios.xyz", "sub/../rios.shp"}) {
    SCOPED_TRACE(saida);
    ensaio t;
    rios(t.p / "rios");
    fs::create_directory(t.p / "sub");
    const auto antes = conteudo(t.p);
    EXPECT_FALSE(t.ok(d73, etrs, "rios.shp", saida));
    ASSERT_EQ(t.j.mensagens.size(), 1u);
    EXPECT_NE(t.j.mensagens[0].texto.find("Escolha outro nome"), std::string::npos)
        << t.j.mensagens[0].texto;
    EXPECT_EQ(t.j.fim.como, desfecho::recusado);
    EXPECT_EQ(conteudo(t.p), antes);
  }
}

TEST(conversao, nomes_do_utilizador_na_pasta_nunca_sao_tocados)
{
  // Files and links of the user's under names a run might want (those of
  // the old working files beside the input, and the run's own hidden ones,
  // dangling links included): the run takes other names and leaves them.
  ensaio t;
  rios(t.p / "rios");
  grava(t.p / "rios_.dbf", "do utilizador");
#ifdef _WIN32
  // Links are for administrators there: plain files in their place.
  grava(t.p / "rios_.shp", "nada");
  grava(t.p / ".kelvara1.shp", "nada");
#else
  fs::create_symlink("nada", t.p / "rios_.shp");
  fs::create_symlink("nada", t.p / ".kelvara1.shp");
#endif
  fs::create_directory(caminho(t.p / ".kelvara2"));
  ASSERT_TRUE(t.ok(d73, etrs, "rios.shp", "rios_.shp")) << t.j.textos().back();
  // The output's table now (its date of change aside).
  EXPECT_EQ(bytes(t.p / "rios_.dbf").substr(4), bytes(t.p / "rios.dbf").substr(4));
  ASSERT_TRUE(t.ok(d73, etrs, "rios.shp", "saida.shp")) << t.j.textos().back();
#ifdef _WIN32
  EXPECT_EQ(bytes(t.p / ".kelvara1.shp"), "nada");
#else
  EXPECT_EQ(fs::read_symlink(t.p / ".kelvara1.shp"), "nada");
#endif
  EXPECT_TRUE(fs::is_directory(caminho(t.p / ".kelvara2")));
  EXPECT_EQ(t.p.ficheiros(), (textos{".kelvara1.shp", ".kelvara2", "rios.cpg", "rios.dbf", "rios.shp",
                                     "rios.shx", "rios_.cpg", "rios_.dbf", "rios_.prj", "rios_.shp",
                                     "rios_.shx", "saida.cpg", "saida.dbf", "saida.prj", "saida.shp",
                                     "saida.shx"}));
}

TEST(conversao, ligacoes_no_lugar_da_saida_sao_substituidas_nunca_seguidas)
{
  // An older output's .prj that is a symbolic link to the input's .shp, or
  // a hard link to the input's own .prj: the links are replaced, the input
  // is never written through them.
  for (const bool simbolica : {false, true}) {
    SCOPED_TRACE(simbolica ? "simbólica" : "física");
#ifdef _WIN32
    if (simbolica) GTEST_SKIP() << "ligações simbólicas só para administradores no Windows";
#endif
    ensaio t;
    rios(t.p / "rios");
    grava(t.p / "rios.prj", "a projecção da entrada");
    if (simbolica) fs::create_symlink(t.p / "rios.shp", t.p / "saida.prj");
    else fs::create_hard_link(t.p / "rios.prj", t.p / "saida.prj");
    const std::string antes = bytes(t.p / "rios.shp") + bytes(t.p / "rios.prj");
    ASSERT_TRUE(t.ok(d73, etrs, "rios.shp", "saida.shp")) << t.j.textos().back();
    EXPECT_EQ(bytes(t.p / "rios.shp") + bytes(t.p / "rios.prj"), antes);
    EXPECT_FALSE(fs::is_symlink(t.p / "saida.prj"));
    EXPECT_EQ(bytes(t.p / "saida.prj"), std::string(texto_prj(etrs)) + "\r\n");
  }
}

TEST(conversao, saida_anterior_posta_de_lado_por_uma_conversao_morta_volta)
{
  // A run killed while publishing had moved the older output aside; its
  // lock is no live run's: the next run into the folder puts the older
  // output back, and removes only the dead run's own files.
  ensaio t;
  rios(t.p / "rios");
  grava(t.p / ".kelvara7", "999999\nsaida\n");
  grava(t.p / ".kelvara7v.shp", "shp antigo");
  grava(t.p / ".kelvara7v.dbf", "dbf antigo");
  grava(t.p / ".kelvara7.shx", "novo, por acabar");
  // The intermediates of a route of several steps.
  grava(t.p / ".kelvara7i.shp", "intermédio");
  grava(t.p / ".kelvara7j.dbf", "intermédio");
  grava(t.p / "saida.shx", "shx antigo");
  ASSERT_TRUE(t.ok(d73, etrs, "rios.shp", "outra.shp")) << t.j.textos().back();
  EXPECT_EQ(t.j.textos().front(), "Foram apagados 4 ficheiros deixados em \"" +
                                      texto(t.p.caminho()) + "\" por uma conversão interrompida.");
  EXPECT_EQ(bytes(t.p / "saida.shp") + bytes(t.p / "saida.shx") + bytes(t.p / "saida.dbf"),
            "shp antigoshx antigodbf antigo");
  for (const std::string& n : t.p.ficheiros()) EXPECT_NE(n.rfind(".kelvara", 0), 0u) << n;
}

TEST(conversao, nome_de_saida_com_255_bytes)
{
  // The run's own names are short: the longest name the system allows for
  // the output (and its .prj) does not make them fail.
  ensaio t;
  rios(t.p / "rios");
  const std::string saida = std::string(251, 'a') + ".shp";
  ASSERT_TRUE(t.ok(d73, etrs, "rios.shp", saida)) << t.j.textos().back();
  EXPECT_EQ(le(t.p / saida).formas.size(), 2u);
  EXPECT_TRUE(fs::exists(t.p / (std::string(251, 'a') + ".prj")));
}

TEST(conversao, falha_a_meio_nao_deixa_nada_e_saida_antiga_fica)
{
  // Each fault: one message naming the file, no working or hidden files
  // left, the input and an older output exactly as they were.
  struct caso {
    const char* nome;
    void (*prepara)(const pasta_temporaria&);
    std::string saida;
    const char* esperado;
    void (*durante)(const pasta_temporaria&) = nullptr;  // as the record loop starts
  };
  // The input's files an hour older: a write now gives them another time,
  // however coarse the file system's clock.
  const auto envelhece = [](const pasta_temporaria& p) {
    for (const char* e : {".shp", ".shx", ".dbf"}) {
      const fs::path f = caminho(p / "rios") += e;
      fs::last_write_time(f, fs::last_write_time(f) - std::chrono::hours(1));
    }
  };
  const caso casos[] = {
      // Written to by another program while read, left as it was in bytes:
      // rewritten in place, or with its modification time put back.
      {"shp reescrito enquanto é lido", envelhece, "saida.shp",
       "rios.shp\" foi alterado por outro programa enquanto era lido",
       [](const pasta_temporaria& p) { grava(p / "rios.shp", bytes(p / "rios.shp")); }},
      {"dbf reescrito com a data de antes", envelhece, "saida.shp", "rios.dbf\" foi alterado",
       [](const pasta_temporaria& p) {
         const fs::path f = caminho(p / "rios.dbf");
         const auto quando = fs::last_write_time(f);
         grava(p / "rios.dbf", bytes(p / "rios.dbf"));
         fs::last_write_time(f, quando);
       }},
      {"dbf em falta", [](const pasta_temporaria& p) { fs::remove(p / "rios.dbf"); }, "saida.shp",
       "rios.dbf"},
      {"shp ilegível",
       [](const pasta_temporaria& p) { grava(p / "rios.shp", bytes(p / "rios.shp").substr(0, 150)); },
       "saida.shp", "O registo 1 de"},
      {"entrada que não existe", [](const pasta_temporaria& p) { fs::remove(p / "rios.shp"); },
       "saida.shp", "Não existe o ficheiro"},
      {"pasta de saída que não existe", [](const pasta_temporaria&) {}, "nao/existe/saida.shp",
       "não existe"},
      {"pasta de saída que é um ficheiro",
       [](const pasta_temporaria& p) { grava(p / "ficheiro", "x"); }, "ficheiro/saida.shp",
#ifdef _WIN32
       "não existe"},  // Windows tells no path from a path through a file
#else
       "não é uma pasta"},
#endif
      {"coordenada não finita",
       [](const pasta_temporaria& p) {
         std::string shp = bytes(p / "rios.shp");
         const double inf = std::numeric_limits<double>::infinity();
         std::memcpy(&shp[100 + 8 + 44 + 8 + 16], &inf, 8);  // y of vertex 2 of record 1
         grava(p / "rios.shp", shp);
       },
       "saida.shp", "O vértice 2 do registo 1"},
  };
  for (const caso& k : casos) {
    SCOPED_TRACE(k.nome);
    ensaio t;
    rios(t.p / "rios");
    rios(t.p / "saida");  // an older output, to be kept whole
    grava(t.p / "saida.shp", bytes(t.p / "saida.shp") + "antigo");
    k.prepara(t.p);
    if (k.durante)
      t.j.durante = [&](long long feitos) {
        if (feitos == 0) k.durante(t.p);
      };
    const auto antes = conteudo(t.p);
    EXPECT_FALSE(t.ok(d73, etrs, "rios.shp", k.saida));
    ASSERT_EQ(t.j.mensagens.size(), 1u);
    EXPECT_NE(t.j.mensagens[0].texto.find(k.esperado), std::string::npos) << t.j.mensagens[0].texto;
    EXPECT_EQ(t.j.fim.mensagens, t.j.mensagens);
    EXPECT_EQ(t.j.fim.como, desfecho::falhou);
    EXPECT_EQ(t.j.mensagens[0].tipo, tipo_mensagem::aviso);
    EXPECT_FALSE(t.j.fim.fora_da_grelha);
    EXPECT_EQ(conteudo(t.p), antes);
    EXPECT_FALSE(t.j.ocupados.back());
  }
}

TEST(conversao, saida_existente_e_substituida_por_inteiro)
{
  ensaio t;
  rios(t.p / "rios");
  grava(t.p / "saida.shp", "velho");
  grava(t.p / "saida.shx", "velho");
  grava(t.p / "saida.dbf", "velho");
  grava(t.p / "saida.cpg", "CP1252");  // would mislabel the new table
  grava(t.p / "saida.prj", "velho");
  // Spatial indexes of the older output would describe its geometry.
  for (const char* ext : {".sbn", ".sbx", ".qix"}) grava(t.p / (std::string("saida") + ext), "velho");
  shapefile_teste sem_cpg;
  sem_cpg.tipo = SHPT_POINT;
  sem_cpg.formas = {forma{}};
  escreve(t.p / "pontos", sem_cpg);
  ASSERT_TRUE(t.ok(d73, etrs, "pontos.shp", "saida.shp"));
  EXPECT_EQ(le(t.p / "saida.shp").formas.size(), 1u);
  EXPECT_FALSE(fs::exists(t.p / "saida.cpg"));
  EXPECT_EQ(bytes(t.p / "saida.prj"), std::string(texto_prj(etrs)) + "\r\n");
  for (const char* ext : {".sbn", ".sbx", ".qix"})
    EXPECT_FALSE(fs::exists(t.p / (std::string("saida") + ext))) << ext;
  // A second conversion to the same output replaces the projection file.
  ensaio u;
  rios(u.p / "rios");
  ASSERT_TRUE(u.ok(d73, etrs, "rios.shp", "x.shp"));
  janela_teste j;
  ASSERT_TRUE(converte(j, d73, etrs, u.p / "rios.shp", u.p / "x.shp"));
  EXPECT_EQ(bytes(u.p / "x.prj").size(), 436u);
}

TEST(conversao, saida_antiga_aberta_noutro_programa_fica_inteira)
{
  // A file of the older output that another program holds open (a GIS
  // showing the layer) cannot be replaced: the older output stays whole,
  // not part old and part new, and the message names the file held.
  for (const char* ext : {".shx", ".dbf", ".prj"}) {
    SCOPED_TRACE(ext);
    ensaio t;
    rios(t.p / "rios");
    rios(t.p / "saida");
    grava(t.p / "saida.prj", "velho");
    const auto antes = conteudo(t.p);
    {
      const ficheiro_preso preso(t.p / "saida" + ext);
      if (!preso.preso())
        GTEST_SKIP() << "só o Windows tem ficheiros abertos sem partilha; no POSIX um ficheiro "
                        "aberto pode ser substituído";
      EXPECT_FALSE(t.ok(d73, etrs, "rios.shp", "saida.shp"));
      ASSERT_EQ(t.j.mensagens.size(), 1u);
      const std::string m = t.j.mensagens[0].texto;
      const std::string preso_nomeado = "está aberto noutro programa (" + t.p / "saida" + ext + ")";
      EXPECT_NE(m.find(preso_nomeado), std::string::npos) << m;
      EXPECT_NE(m.find("O shapefile anterior ficou como estava."), std::string::npos) << m;
    }
    EXPECT_EQ(conteudo(t.p), antes);
    // Let go, the same conversion replaces it all.
    ASSERT_TRUE(t.ok(d73, etrs, "rios.shp", "saida.shp")) << t.j.textos().back();
    EXPECT_EQ(bytes(t.p / "saida.prj"), std::string(texto_prj(etrs)) + "\r\n");
    EXPECT_EQ(t.p.ficheiros(), (textos{"rios.cpg", "rios.dbf", "rios.shp", "rios.shx", "saida.cpg",
                                       "saida.dbf", "saida.prj", "saida.shp", "saida.shx"}));
  }
}

#ifdef __linux__
// Files of `pasta` that this process still holds open.
std::vector<std::string> abertos_em(const pasta_temporaria& p)
{
  std::vector<std::string> r;
  const std::string raiz = fs::canonical(p.caminho()).string();
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string alvo = fs::read_symlink(e.path(), ec).string();
    if (!ec && alvo.rfind(raiz, 0) == 0) r.push_back(alvo);
  }
  return r;
}

TEST(conversao, nenhum_ficheiro_fica_aberto)
{
  // On Windows an open file can be neither moved nor deleted: after a
  // conversion, completed or failed, nothing of it may stay open.
  ensaio t;
  rios(t.p / "rios");
  ASSERT_TRUE(t.ok(d73, etrs, "rios.shp", "a.shp"));
  EXPECT_EQ(abertos_em(t.p), std::vector<std::string>{});
  EXPECT_FALSE(t.ok(d73, etrs, "rios.shp", "rios.dbf"));  // refused before opening
  grava(t.p / "rios.shp", bytes(t.p / "rios.shp").substr(0, 160));  // fails mid-way
  EXPECT_FALSE(t.ok(d73, etrs, "rios.shp", "c.shp"));
  EXPECT_EQ(abertos_em(t.p), std::vector<std::string>{});
}
#endif

// Progress goes from 0 to every record of every step of the route, in
// order, a few hundred times at most; a run's own stop request stops it
// part-way, with nothing of it left. A route of four steps (as no row of
// the catalogue has yet) reads in each step what the one before wrote, the
// two intermediates in turn, and gives the steps' functions in order.
TEST(conversao, progresso_e_paragem_em_rotas_de_varias_etapas)
{
  struct janela_progresso : janela_teste {
    std::vector<std::pair<long long, long long>> vistos;
    std::atomic<bool> parar{false};
    long long parar_em = -1;
    void progresso(long long feitos, long long total) override
    {
      vistos.emplace_back(feitos, total);
      if (parar_em >= 0 && feitos >= parar_em) parar = true;
    }
    const std::atomic<bool>* pedido_de_paragem() const override { return &parar; }
  };
  const etapa ida{"ida", tipo_etapa::translacao, nullptr, nullptr, {}, {200000, 300000}};
  const etapa volta{"volta", tipo_etapa::translacao, nullptr, nullptr, {}, {-200000, -300000}};
  const etapa meio{"meio", tipo_etapa::translacao, nullptr, nullptr, {}, {0.5, -0.25}};
  const etapa t10{"transf_10", tipo_etapa::polinomio, &conjunto_10};
  const rota quatro{sistema_de(d73), sistema_de(etrs), false, {ida, volta, t10, meio}, "PRJ", true};
  pasta_temporaria p;
  polilinhas(p / "rios", 3000);
  const pedido pd{d73, etrs, p / "rios.shp", p / "saida.shp", "", "", KELVARA_GRELHAS, true};
  for (const rota* r : {rota_de(d73, etrs), rota_de(etrs, lisboa), &quatro}) {
    const long long passos = static_cast<long long>(r->etapas.size());
    SCOPED_TRACE(passos);
    janela_progresso j;
    const resultado x = kelvara::converte(pd, *r, j);
    ASSERT_EQ(x.como, desfecho::criado) << x.mensagens.front().texto;
    ASSERT_FALSE(j.vistos.empty());
    EXPECT_EQ(j.vistos.front(), std::make_pair(0LL, 3000 * passos));
    EXPECT_EQ(j.vistos.back(), std::make_pair(3000 * passos, 3000 * passos));
    EXPECT_LE(j.vistos.size(), 110u * passos);
    for (size_t i = 1; i < j.vistos.size(); ++i) EXPECT_LE(j.vistos[i - 1].first, j.vistos[i].first);
    if (r == &quatro) {
      EXPECT_EQ(bytes(p / "saida.prj"), "PRJ\r\n");
      const lido a = le(p / "rios.shp"), b = le(p / "saida.shp");
      ASSERT_NO_FATAL_FAILURE(espera_mesmo_resto(a, b));
      for (size_t k = 0; k < a.formas.size(); ++k)
        for (size_t v = 0; v < a.formas[k].x.size(); ++v) {
          par e = translada(ida.desvio, a.formas[k].x[v], a.formas[k].y[v]);
          e = translada(volta.desvio, e.x, e.y);
          e = polinomio(conjunto_10, e.x, e.y);
          e = translada(meio.desvio, e.x, e.y);
          EXPECT_EQ(b.formas[k].x[v], e.x);
          EXPECT_EQ(b.formas[k].y[v], e.y);
        }
    }

    janela_progresso parada;
    parada.parar_em = 3000 * passos - 1500;
    grava(p / "saida.shp", "velho");
    const resultado y = kelvara::converte(pd, *r, parada);
    EXPECT_EQ(y.como, desfecho::interrompido);
    EXPECT_EQ(y.mensagens, (std::vector<mensagem>{{interrompida().what(), tipo_mensagem::aviso}}));
    EXPECT_LT(parada.vistos.back().first, 3000 * passos - 1400);
    EXPECT_EQ(p.ficheiros(), (textos{"rios.dbf", "rios.shp", "rios.shx", "saida.dbf", "saida.prj",
                                     "saida.shp", "saida.shx"}));
    EXPECT_EQ(bytes(p / "saida.shp"), "velho");
  }
  // Each route is the one its names find: no earlier row with the same
  // names takes it.
  for (const rota& r : rotas())
    EXPECT_EQ(rota_de(r.sistema1->nome, r.qualquer_destino ? "" : r.sistema2->nome), &r);
}

}  // namespace
}  // namespace kelvara
