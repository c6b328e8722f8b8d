// kelvara-cli as a script sees it: where each message goes, exit statuses,
// usage errors, and a write that fails part-way (a file size limit).
#include <gtest/gtest.h>

#include <shapefil.h>

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
  // A pair without a route converts nothing, and says which targets the
  // source has.
  r = corre_cli({"-s", d73, "-t", "UTM 26 ITRF93", entrada, p / "x.shp"});
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erros, "Não há conversão de \"Hayford-Gauss Datum 73\" para \"UTM 26 ITRF93\". De "
                     "\"Hayford-Gauss Datum 73\" pode converter-se para \"ETRS89 TM06\" e "
                     "\"Hayford-Gauss Datum Lisboa-Ponto Central\".\n");
  EXPECT_FALSE(fs::exists(p.caminho() / "x.shp"));
}

TEST(cli, erros_de_utilizacao_e_ajuda)
{
  const std::vector<std::string> usos[] = {{},
                                           {"-s"},
                                           {"-s", "X", "a.shp"},
                                           {"-s", "X", "a.shp", "b.shp", "c.shp"},
                                           {"--desconhecida", "a", "b"},
                                           {"-x"}};
  for (const auto& args : usos) {
    SCOPED_TRACE(args.size());
    const processo r = corre_cli(args);
    EXPECT_EQ(r.codigo, 2);
    EXPECT_NE(r.erros.find("kelvara-cli --help"), std::string::npos) << r.erros;
  }
  processo r = corre_cli({"--help"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_NE(r.saida.find("--grelhas PASTA"), std::string::npos);
  EXPECT_NE(r.saida.find("Estado de saída"), std::string::npos);
  r = corre_cli({"--lista"});
  EXPECT_EQ(r.codigo, 0);
  EXPECT_NE(r.saida.find("  Açores - G.Ocidental - UTM 25 Observatório\n"), std::string::npos);
  EXPECT_NE(r.saida.find("ETRS89 TM06 -> Hayford-Gauss Datum Lisboa-Ponto Central: transf_01, "
                         "depois transf_12"),
            std::string::npos);
}

TEST(cli, escrita_que_falha_a_meio)
{
  // A file size limit stands in for a disk that fills up part-way: the
  // conversion is reported as failed, its files removed, the old output kept.
#ifdef _WIN32
  GTEST_SKIP() << "o Windows não limita o tamanho dos ficheiros de um processo";
#endif
  pasta_temporaria p;
  polilinhas(p / "rios", 4000);
  grava(p / "saida.shp", "antigo");
  const std::string antes = bytes(p / "rios.shp") + bytes(p / "rios.dbf");
  opcoes_processo o;
  o.limite_ficheiro = 200 * 512;
  const processo r = corre_cli({"-s", d73, "-t", etrs, p / "rios.shp", p / "saida.shp"}, o);
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erros, "Não foi possível escrever o registo 489 em \"" + (p / "saida.shp") +
                        "\": o ficheiro excede o tamanho permitido (" + (p / "saida.shp") + ").\n");
  EXPECT_EQ(p.ficheiros(), (std::vector<std::string>{"rios.dbf", "rios.shp", "rios.shx", "saida.shp"}));
  EXPECT_EQ(bytes(p / "saida.shp"), "antigo");
  EXPECT_EQ(bytes(p / "rios.shp") + bytes(p / "rios.dbf"), antes);
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
  const processo r = corre_cli({"-s", d73, "-t", etrs, p / "rios.shp", p / "saida.shp"});
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.erros, "Não foi possível abrir o ficheiro \"" + (p / "rios.shp") +
                         "\": o ficheiro está aberto noutro programa.\n");
  EXPECT_EQ(p.ficheiros(), (std::vector<std::string>{"rios.dbf", "rios.shp", "rios.shx"}));
}

}  // namespace
}  // namespace kelvara
