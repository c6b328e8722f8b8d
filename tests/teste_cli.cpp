// kelvara-cli as a script sees it: where each message goes, exit statuses,
// usage errors, a write that fails part-way (a file size limit), the
// progress ticker, and batches (folders, several files, -r), each output
// the same bytes as its conversion alone.
#include <gtest/gtest.h>

#include <shapefil.h>

#include <algorithm>
#include <map>
#include <set>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "apoio.h"

namespace kelvara {
namespace {

using namespace teste;

TEST(cli, mensagens_e_estados_de_saida)
{
  pasta_temporaria p;
  polilinhas(p / "rios", 3);
  const std::string entrada = p / "rios.shp";

  processo r = corre_cli({"-s", d73, "-t", etrs, entrada, p / "rios_etrs.shp"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_EQ(r.saida, "Criado o ficheiro: " + (p / "rios_etrs.shp") + "\n");
  EXPECT_EQ(r.erros, "");
  EXPECT_EQ(le(p / "rios_etrs.shp").formas.size(), 3u);

  // Refused: the window's messages, in order, on standard error.
  r = corre_cli({"-t", etrs, entrada, p / "x.shp"});
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erros, "Definir o Sistema 1 !!\n");
  r = corre_cli({"-s", d73, "", ""});
  EXPECT_EQ(r.codigo, 1);
  // A failed entry check skips the routing, so the empty target goes unasked.
  EXPECT_EQ(r.erros,
            "Escolher o ficheiro Shapefile no Sistema 1!!\nDefinir o ficheiro Shapefile no "
            "Sistema 2!!\n");
  // Several inputs and no output folder: nothing written anywhere.
  r = corre_cli({"-s", d73, "-t", etrs, entrada, entrada, ""});
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.erros, "Definir a pasta de saída no Sistema 2!!\n");
  // A pair without a route converts nothing, and says which targets the
  // source has, by name (given here by codes).
  r = corre_cli({"-s", "EPSG:27493", "-t", "5015", entrada, p / "x.shp"});
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erros, "Não há conversão de \"Hayford-Gauss Datum 73\" para \"UTM 26 ITRF93\". De "
                     "\"Hayford-Gauss Datum 73\" pode converter-se para \"ETRS89 TM06\", "
                     "\"Hayford-Gauss Datum Lisboa-Ponto Central\" e \"Hayford-Gauss Datum 73 Militar\".\n");
  EXPECT_FALSE(fs::exists(p.caminho() / "x.shp"));

  // An existing output (a shell's glob of two files) is replaced only with
  // --substituir, and then with everything that described it, in any
  // letter case; a name of another base stays.
  const std::string antes = bytes(p / "rios_etrs.shp");
  std::vector<std::string> outros{"rios_etrs.qpj", "rios_etrs.shp.xml", "rios_etrs.QMD",
                                  "rios_etrs.SBN", "rios_etrs.Dbt",    "rios_etrs2.qpj"};
#ifndef _WIN32
  // Where names tell case apart: another file, of the output or not.
  outros.insert(outros.end(), {"rios_etrs.SHX", "RIOS_ETRS.qpj"});
#endif
  for (const std::string& outro : outros) grava(p / outro, "antigo");
  r = corre_cli({"-s", d73, "-t", etrs, entrada, p / "rios_etrs.shp"});
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erros, "O shapefile de saída \"" + (p / "rios_etrs.shp") +
                         "\" já existe e não foi substituído. Para substituir, repita com a opção "
                         "--substituir.\n");
  EXPECT_EQ(bytes(p / "rios_etrs.shp"), antes);
  EXPECT_TRUE(fs::exists(p.caminho() / "rios_etrs.qpj"));

  // The ticker on standard error, by records; -q keeps only the errors.
  r = corre_cli({"--progresso", "--substituir", "-s", d73, "-t", etrs, entrada, p / "rios_etrs.shp"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_EQ(r.erros, "0...10...20...30...40...50...60...70...80...90...100 - concluído.\n");
  std::vector<std::string> ficam{"rios.dbf",      "rios.shp",      "rios.shx",      "rios_etrs.dbf",
                                 "rios_etrs.prj", "rios_etrs.shp", "rios_etrs.shx", "rios_etrs2.qpj"};
#ifndef _WIN32
  ficam.insert(ficam.begin(), "RIOS_ETRS.qpj");
#endif
  EXPECT_EQ(p.ficheiros(), ficam);
  r = corre_cli({"-q", "--progresso", "--substituir", "-s", d73, "-t", etrs, entrada, p / "rios_etrs.shp"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_EQ(r.saida + r.erros, "");
#ifndef _WIN32
  // An output in other letters is the same output: OUT.SHP and the rest
  // go when RIOS_ETRS.shp is written.
  for (const char* e : {".SHP", ".SHX", ".DBF", ".PRJ"}) grava(p / ("RIOS_ETRS" + std::string(e)), "antigo");
  EXPECT_EQ(corre_cli({"-s", d73, "-t", etrs, entrada, p / "RIOS_ETRS.shp"}).codigo, 1);
  EXPECT_EQ(corre_cli({"--substituir", "-s", d73, "-t", etrs, entrada, p / "RIOS_ETRS.shp"}).codigo, 0);
  ficam.erase(ficam.begin());
  ficam.insert(ficam.begin(), {"RIOS_ETRS.dbf", "RIOS_ETRS.prj", "RIOS_ETRS.shp", "RIOS_ETRS.shx"});
  EXPECT_EQ(p.ficheiros(), ficam);
#endif
}

// Batches. The inputs: dados/a.shp, dados/b.shp (with z), dados/sub/C.Shp
// (its files' extensions in mixed letter case) and a damaged estragado.shp
// beside them; {D} stands for dados, {S} for the output folder, {E} for the
// damaged file, {L} for an existing folder whose path is too long for the
// system.
struct caso_lote {
  const char* nome;
  std::string args;
  int codigo;
  std::set<std::string> criados;  // under {S}, each compared with its conversion alone
  std::string erro = "";          // part of standard error
};

TEST(cli, lotes)
{
  pasta_temporaria p;
  const std::string dados = p / "dados";
  fs::create_directories(dados + "/sub");
  polilinhas(dados + "/a", 50);
  polilinhas(dados + "/b", 30, 6, true);
  // Renamed from another name: a change of case alone may change nothing
  // where names ignore it.
  polilinhas(dados + "/sub/outro", 20);
  for (const auto& [de, para] : {std::pair{".shp", ".Shp"}, {".shx", ".sHX"}, {".dbf", ".DBF"}})
    fs::rename(caminho(dados + "/sub/outro" + de), caminho(dados + "/sub/C" + para));
  std::string longa;
#ifndef _WIN32
  // 20 folders of 240 letters, each made from inside the one before.
  const std::string nome(240, 'l');
  longa = p / "longa";
  fs::create_directory(caminho(longa));
  int d = open(longa.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(mkdirat(d, nome.c_str(), 0755), 0);
    const int n = openat(d, nome.c_str(), O_RDONLY | O_DIRECTORY);
    close(d);
    d = n;
    longa += "/" + nome;
  }
  close(d);
  struct apaga {
    std::string p;
    ~apaga() { corre({"rm", "-rf", p}); }
  } apaga_longa{p / "longa"};
#endif
#ifndef _WIN32
  // A link back up the tree: never followed by -r.
  fs::create_directory_symlink("..", caminho(dados + "/sub/volta"));
#endif
  polilinhas(p / "estragado", 10);
  grava(p / "estragado.shp", bytes(p / "estragado.shp").substr(0, 150));
  const std::vector<std::string> sistemas{"-s", d73, "-t", etrs};
  auto com = [&](std::vector<std::string> resto) {
    resto.insert(resto.begin(), sistemas.begin(), sistemas.end());
    return resto;
  };

  // Each input's conversion alone, the reference for the batches.
  const std::map<std::string, std::string> de = {
      {"a", dados + "/a.shp"}, {"b", dados + "/b.shp"}, {"C", dados + "/sub/C.Shp"}};
  for (const auto& [nome, entrada] : de)
    ASSERT_EQ(corre_cli(com({entrada, p / ("so_" + nome + ".shp")})).codigo, 0);

  std::vector<caso_lote> casos = {
      {"pasta", "{D} {S}", 0, {"a", "b"}},
      {"pasta terminada em /, dois de cada vez", "-j 2 {D}/ {S}/", 0, {"a", "b"}},
      {"ficheiros", "{D}/a.shp {D}/sub/C.Shp {S}", 0, {"a", "C"}},
      {"-r", "-r -j2 {D} {S}", 0, {"a", "b", "sub/C"}},
      {"danificado entre bons", "{D}/a.shp {E} {D}/b.shp {S}", 1, {"a", "b"},
       "Convertidos 2 de 3 ficheiros. Falharam: \"{E}\".\n"},
      {"pasta de saída sem a pasta que a contém", "{D} {S}/mais/uma", 1, {}, "não existe, nem a pasta"},
      {"saída dentro da entrada", "-r {D} {D}/convertidos", 0, {"a", "b", "sub/C"}},
      {"saída na pasta da entrada", "{D} {D}", 1, {}, "\" é o próprio ficheiro de entrada \""},
      {"duas entradas para uma saída", "{D}/a.shp {D}/a.shp {S}", 1, {},
       "\"{D}/a.shp\" e \"{D}/a.shp\" seriam convertidos no mesmo ficheiro"},
  };
  if (!longa.empty())
    for (const char* args : {"{D} {L}", "{D}/a.shp {L}", "{D}/a.shp {L}/x.shp"})
      casos.push_back({args, args, 1, {}, "o nome é demasiado longo."});
  for (const caso_lote& k : casos) {
    SCOPED_TRACE(k.nome);
    const bool dentro = k.args.find("{D}/convertidos") != std::string::npos;
    const std::string s = dentro ? dados + "/convertidos" : p / "saida";
    auto poe = [&](std::string t) {
      for (const auto& [de_, para] :
           {std::pair{"{S}", s}, {"{D}", dados}, {"{E}", p / "estragado.shp"}, {"{L}", longa}})
        for (size_t i; (i = t.find(de_)) != std::string::npos;) t.replace(i, 3, para);
      return t;
    };
    // Twice: the second run replaces the first's outputs, with what
    // described them in any letter case, and finds no inputs in an output
    // folder that lies inside an input folder.
    for (int vez = 0; vez < 2; ++vez) {
      std::vector<std::string> args;
      if (vez == 1) args.push_back("--substituir");
      for (const std::string& c : k.criados)
        for (const char* e : {".Shp.XML", ".qIx"})
          if (vez == 1) grava(s + "/" + c + e, "antigo");
      for (size_t a = 0, b; a < k.args.size(); a = b + 1) {
        b = k.args.find(' ', a);
        if (b == std::string::npos) b = k.args.size();
        args.push_back(poe(k.args.substr(a, b - a)));
      }
      const processo r = corre_cli(com(args));
      EXPECT_EQ(r.codigo, k.codigo) << r.erros;
      EXPECT_NE(r.erros.find(poe(k.erro)), std::string::npos) << r.erros;
      // A run's hidden files left behind (its files, its lock, one the
      // batch kept for its next run) would show too.
      std::set<std::string> criados;
      std::error_code ec;
      for (fs::recursive_directory_iterator i(s, ec), fim; !ec && i != fim; i.increment(ec))
        if (i->path().extension() == ".shp" || i->path().filename().string().starts_with(".kelvara"))
          criados.insert(fs::relative(i->path(), caminho(s)).replace_extension().generic_string());
      EXPECT_EQ(criados, k.criados);
      for (const std::string& c : k.criados) {
        for (const char* e : {".Shp.XML", ".qIx"})
          EXPECT_FALSE(fs::exists(caminho(s + "/" + c + e))) << c << e;
        const std::string so = p / ("so_" + fs::path(c).filename().string());
        for (const char* e : {".shp", ".shx", ".dbf", ".prj"})
          EXPECT_EQ(bytes(s + "/" + c + e), bytes(so + e)) << c << e;
        // The folder as given, joined with the system's separator.
        const std::string criado = texto(caminho(s) / caminho(c + ".shp").make_preferred());
        EXPECT_NE(r.saida.find("Criado o ficheiro: " + criado + "\n"), std::string::npos) << r.saida;
      }
    }
    fs::remove_all(s);
  }
  // More files than outputs put in place at once: each conversion that
  // finds them all waiting waits its turn, and every file is converted.
  // Each is told in the order of the inputs, whichever was done first: m1,
  // damaged, fails while m0's output is still being put in place (its
  // first rename made to wait).
  fs::create_directories(p / "muitos");
  std::vector<std::string> nomes;
  for (int i = 0; i < 12; ++i) {
    nomes.push_back("m" + std::to_string(i));
    polilinhas(p / ("muitos/" + nomes.back()), 3);
  }
  grava(p / "muitos/m1.shp", bytes(p / "muitos/m1.shp").substr(0, 150));
  std::sort(nomes.begin(), nomes.end());
  std::string criados;
  for (const std::string& n : nomes)
    if (n != "m1") criados += "Criado o ficheiro: " + texto(caminho(p / "saida") / (n + ".shp")) + "\n";
  const std::string falhou = "Falharam: \"" + texto(caminho(p / "muitos") / "m1.shp") + "\".\n";
  for (const char* j : {"-j1", "-j2"}) {
    SCOPED_TRACE(j);
    const processo m = corre_cli(com({j, p / "muitos", p / "saida"}));
    EXPECT_EQ(m.codigo, 1) << m.erros;
    EXPECT_EQ(m.saida, criados);
    EXPECT_TRUE(m.erros.ends_with("Convertidos 11 de 12 ficheiros. " + falhou)) << m.erros;
    fs::remove_all(caminho(p / "saida"));
#ifndef _WIN32
    opcoes_processo o;
    // Preloaded before the sanitizers' runtime, where they are built in.
    const char* asan = std::getenv("ASAN_OPTIONS");
    o.ambiente = {{"LD_PRELOAD", KELVARA_TRAVA},
                  {"KELVARA_DEMORA_EM", "rename:1"},
                  {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
    const processo t = corre({"sh", "-c", "exec \"$0\" \"$@\" 2>&1", KELVARA_CLI, j, "-s", d73, "-t",
                              etrs, p / "muitos", p / "saida"},
                             o);
    const std::size_t m0 = t.saida.find("/m0.shp\n"), m1 = t.saida.find("m1.shp: "),
                      m10 = t.saida.find("/m10.shp\n");
    EXPECT_TRUE(m0 < m1 && m1 < m10 && m10 != std::string::npos) << t.saida;
    fs::remove_all(caminho(p / "saida"));
#endif
  }
  // Without --substituir, an output that exists is not converted, the
  // others are, and the summary says which.
  fs::create_directories(p / "saida");
  grava(p / "saida/a.shp", "antigo");
  const processo r = corre_cli(com({dados + "/a.shp", dados + "/b.shp", p / "saida"}));
  EXPECT_EQ(r.codigo, 1);
  EXPECT_NE(r.erros.find("Convertido 1 de 2 ficheiros. Já existiam (não substituídos): \"" +
                         texto(caminho(p / "saida") / "a.shp") +
                         "\".\nPara substituir, repita com a opção --substituir.\n"),
            std::string::npos)
      << r.erros;
  EXPECT_EQ(bytes(p / "saida/a.shp"), "antigo");
  EXPECT_EQ(bytes(p / "saida/b.shp"), bytes(p / "so_b.shp"));
#ifndef _WIN32
  // On a terminal, where both streams share the screen: every message
  // starts a line of its own, the ticker's line ended before it.
  const processo t = corre({"sh", "-c", "exec \"$0\" \"$@\" 2>&1", KELVARA_CLI, "--progresso", "-j1",
                            "-s", d73, "-t", etrs, dados + "/a.shp", dados + "/b.shp", p / "fita"});
  EXPECT_EQ(t.codigo, 0) << t.saida;
  for (std::size_t i = t.saida.find("Criado"); i != std::string::npos; i = t.saida.find("Criado", i + 1))
    EXPECT_TRUE(i == 0 || t.saida[i - 1] == '\n') << t.saida;
#endif
}

TEST(cli, erros_de_utilizacao_e_ajuda)
{
  // A name or code of no system (or of several) is a usage error, with the
  // closest names; the target of "Qualquer" may be any text.
  const std::pair<std::vector<std::string>, std::string> usos[] = {
      {{}, ""},
      {{"-s"}, ""},
      {{"-s", d73, "a.shp"}, ""},
      {{"-j", "0", "a.shp", "b.shp"}, ""},
      {{"-j2x", "a.shp", "b.shp"}, ""},
      {{"--desconhecida", "a", "b"}, ""},
      {{"--substitui", "a", "b"}, "opção desconhecida: --substitui. Quereria dizer --substituir?"},
      {{"--metodo", "oficiais", "-s", d73, "-t", etrs, "a.shp", "b.shp"}, "tem de ser oficial ou dgt"},
      {{"--metodo", "dgt", "-s", "EPSG:2942", "-t", "UTM 28 ITRF93", "a.shp", "b.shp"},
       "o método dgt só converte entre os sistemas do continente"},
      {{"-x"}, ""},
      {{"-s", "Datum 73", "-t", etrs, "a.shp", "b.shp"},
       "\"Datum 73\" (-s). Os nomes mais parecidos: \"Hayford-Gauss Datum 73\" e \"Hayford-Gauss Datum 73 "
       "Militar\"."},
      {{"-s", d73, "-t", "EPSG:99999", "a.shp", "b.shp"}, "kelvara-cli --lista"},
      {{"-s", "EPSG:2189", "-t", etrs, "a.shp", "b.shp"},
       "o código EPSG:2189 de -s é de vários sistemas: \"Açores - Faial - UTM 26 Base SW\", "
       "\"Açores - Graciosa - UTM 26 Base SW\", \"Açores - Pico - UTM 26 Base SW\", \"Açores - São "
       "Jorge - UTM 26 Base SW\" e \"Açores - Terceira - UTM 26 Base SW\""},
  };
  for (const auto& [args, texto] : usos) {
    SCOPED_TRACE(args.size());
    const processo r = corre_cli(args);
    EXPECT_EQ(r.codigo, 2);
    EXPECT_NE(r.erros.find("kelvara-cli --help"), std::string::npos) << r.erros;
    EXPECT_NE(r.erros.find(texto), std::string::npos) << r.erros;
  }
  EXPECT_EQ(corre_cli({"-s", "Qualquer", "-t", "EPSG:99999", "a.shp", "b.shp"}).codigo, 1);
  for (const char* v : {"--versao", "--version"}) {
    const processo r = corre_cli({v});
    EXPECT_EQ(r.codigo, 0);
    EXPECT_EQ(r.saida.rfind("kelvara-cli ", 0), 0u) << r.saida;
  }
  processo r = corre_cli({"--help"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_NE(r.saida.find("--grelhas PASTA"), std::string::npos);
  EXPECT_NE(r.saida.find("Estado de saída"), std::string::npos);
  r = corre_cli({"--lista"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_NE(r.saida.find("  Açores - G.Ocidental - UTM 25 Observatório (EPSG:2188)\n"), std::string::npos);
  EXPECT_NE(r.saida.find("  Hayford-Gauss Datum Lisboa Militar (EPSG:20790, ESRI:102164)\n"), std::string::npos);
  EXPECT_NE(r.saida.find("ETRS89 TM06 -> Hayford-Gauss Datum Lisboa-Ponto Central: transf_01, "
                         "depois transf_12"),
            std::string::npos);
}

TEST(cli, escrita_que_falha_a_meio)
{
  // A file size limit stands in for a disk that fills up part-way: the
  // conversion is reported as failed, its files removed, the old output
  // kept. In the .shp; and in a table large enough to be copied while the
  // records are (40,000 points, records of 255 bytes).
#ifdef _WIN32
  GTEST_SKIP() << "o Windows não limita o tamanho dos ficheiros de um processo";
#endif
  pasta_temporaria p;
  polilinhas(p / "rios", 4000);
  shapefile_teste largos;
  largos.tipo = SHPT_POINT;
  largos.campos = {{"NOTA", 'C', 254, 0}};
  for (int i = 0; i < 40000; ++i) {
    forma f;
    f.tipo = SHPT_POINT;
    f.x = {1000.0 + i};
    f.y = {-2000.0};
    largos.formas.push_back(f);
    largos.valores.push_back({std::to_string(i)});
  }
  escreve(p / "largos", largos);
  const std::string antes = bytes(p / "rios.shp") + bytes(p / "rios.dbf") + bytes(p / "largos.dbf");
  const std::string saida = p / "saida.shp";
  const std::string cabecalho = "Não foi possível escrever o registo ";
  const std::string causa = ": o ficheiro excede o tamanho permitido (";
  struct caso {
    const char* entrada;
    long long limite;
    std::string erro;
  } casos[] = {
      {"rios", 200 * 512, cabecalho + "489 em \"" + saida + "\"" + causa + saida + ").\n"},
      // 4 MiB of a table with a header of 65 bytes: 16,447 records whole,
      // and the 16,448th cut short.
      {"largos", 4 << 20,
       cabecalho + "16448 na tabela de atributos de \"" + saida + "\"" + causa + (p / "saida.dbf") + ").\n"},
  };
  for (const caso& k : casos) {
    SCOPED_TRACE(k.entrada);
    grava(p / "saida.shp", "antigo");
    opcoes_processo o;
    o.limite_ficheiro = k.limite;
    const processo r =
        corre_cli({"--substituir", "-s", d73, "-t", etrs, p / (std::string(k.entrada) + ".shp"), saida}, o);
    EXPECT_EQ(r.codigo, 1);
    EXPECT_EQ(r.saida, "");
    EXPECT_EQ(r.erros, k.erro);
    EXPECT_EQ(p.ficheiros(), (std::vector<std::string>{"largos.dbf", "largos.shp", "largos.shx", "rios.dbf",
                                                       "rios.shp", "rios.shx", "saida.shp"}));
    EXPECT_EQ(bytes(p / "saida.shp"), "antigo");
  }
  EXPECT_EQ(bytes(p / "rios.shp") + bytes(p / "rios.dbf") + bytes(p / "largos.dbf"), antes);
}

TEST(cli, entrada_aberta_noutro_programa)
{
  // Read as it lies: the cause is the program that holds it, not its header.
  pasta_temporaria p;
  polilinhas(p / "rios", 3);
  const ficheiro_preso preso(p / "rios.shp");
  if (!preso.preso())
    GTEST_SKIP() << "só o Windows tem ficheiros abertos sem partilha; no POSIX um ficheiro "
                    "aberto lê-se";
  const processo r = corre_cli({"--substituir", "-s", d73, "-t", etrs, p / "rios.shp", p / "saida.shp"});
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.erros, "Não foi possível abrir o ficheiro \"" + (p / "rios.shp") +
                         "\": o ficheiro está aberto noutro programa.\n");
  EXPECT_EQ(p.ficheiros(), (std::vector<std::string>{"rios.dbf", "rios.shp", "rios.shx"}));
}

}  // namespace
}  // namespace kelvara
