// kelvara-cli as a script sees it: where each message goes, exit statuses,
// usage errors, and a write that fails part-way (a file size limit).
#include <gtest/gtest.h>

#include <shapefil.h>

#include "apoio.h"

namespace kelvara {
namespace {

using namespace teste;

const std::string cli = aspas_shell(KELVARA_CLI);
// The two names, quoted for the shell.
const std::string de_d73 = aspas_shell(d73);
const std::string para_etrs = aspas_shell(etrs);

TEST(cli, mensagens_e_estados_de_saida)
{
  pasta_temporaria p;
  polilinhas(p / "rios", 3);
  const std::string entrada = aspas_shell(p / "rios.shp");

  processo r = corre(cli + " -s " + de_d73 + " -t " + para_etrs + " " + entrada + " " +
                     aspas_shell(p / "rios_etrs.shp"));
  EXPECT_EQ(r.codigo, 0);
  EXPECT_EQ(r.saida, "Criado o ficheiro: " + (p / "rios_etrs.shp") + "\n");
  EXPECT_EQ(r.erros, "");
  EXPECT_EQ(le(p / "rios_etrs.shp").formas.size(), 3u);

  // Refused: the window's messages, in order, on standard error.
  r = corre(cli + " -t " + para_etrs + " " + entrada + " " + aspas_shell(p / "x.shp"));
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erros, "Definir o Sistema 1 !!\n");
  r = corre(cli + " -s " + de_d73 + " '' ''");
  EXPECT_EQ(r.codigo, 1);
  // A failed entry check skips the routing, so the empty target goes unasked.
  EXPECT_EQ(r.erros,
            "Escolher o ficheiro Shapefile no Sistema 1!!\nDefinir o ficheiro Shapefile no "
            "Sistema 2!!\n");
  // A pair without a route converts nothing, and says which targets the
  // source has.
  r = corre(cli + " -s " + de_d73 + " -t 'UTM 26 ITRF93' " + entrada + " " + aspas_shell(p / "x.shp"));
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erros, "Não há conversão de \"Hayford-Gauss Datum 73\" para \"UTM 26 ITRF93\". De "
                     "\"Hayford-Gauss Datum 73\" pode converter-se para \"ETRS89 TM06\" e "
                     "\"Hayford-Gauss Datum Lisboa-Ponto Central\".\n");
  EXPECT_FALSE(fs::exists(p / "x.shp"));
}

TEST(cli, erros_de_utilizacao_e_ajuda)
{
  for (const std::string args : {"", "-s", "-s X a.shp", "-s X a.shp b.shp c.shp", "--desconhecida a b",
                                 "-x"}) {
    SCOPED_TRACE(args);
    const processo r = corre(cli + " " + args);
    EXPECT_EQ(r.codigo, 2);
    EXPECT_NE(r.erros.find("kelvara-cli --help"), std::string::npos) << r.erros;
  }
  processo r = corre(cli + " --help");
  EXPECT_EQ(r.codigo, 0);
  EXPECT_NE(r.saida.find("--grelhas PASTA"), std::string::npos);
  EXPECT_NE(r.saida.find("Estado de saída"), std::string::npos);
  r = corre(cli + " --lista");
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
  pasta_temporaria p;
  polilinhas(p / "rios", 4000);
  grava(p / "saida.shp", "antigo");
  const std::string antes = bytes(p / "rios.shp") + bytes(p / "rios.dbf");
  const processo r = corre("ulimit -f 200; exec " + cli + " -s " + de_d73 + " -t " + para_etrs + " " +
                           aspas_shell(p / "rios.shp") + " " + aspas_shell(p / "saida.shp"));
  EXPECT_EQ(r.codigo, 1);
  EXPECT_EQ(r.saida, "");
  EXPECT_EQ(r.erros, "Não foi possível escrever o registo 489 em \"" + (p / "saida.shp") +
                        "\": o ficheiro excede o tamanho permitido (" + (p / "saida.shp") + ").\n");
  EXPECT_EQ(p.ficheiros(), (std::vector<std::string>{"rios.dbf", "rios.shp", "rios.shx", "saida.shp"}));
  EXPECT_EQ(bytes(p / "saida.shp"), "antigo");
  EXPECT_EQ(bytes(p / "rios.shp") + bytes(p / "rios.dbf"), antes);
}

}  // namespace
}  // namespace kelvara
