#include "escreve_prj.h"

#include <cerrno>
#include <cstdio>

#include "es.h"
#include "falha.h"
#include "nomes.h"

namespace kelvara {

namespace {

// The texts are fixed strings, never composed from numbers: each writes its
// numbers in its own way ("-86.98999999999999", "0.0174532925199432955").
constexpr std::string_view prj_etrs89 =
    R"(PROJCS["ETRS_1989_TM06-Portugal",GEOGCS["GCS_ETRS_1989",DATUM["D_ETRS_1989",SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",0.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-8.13310833333333333333],PARAMETER["Scale_Factor",1],PARAMETER["Latitude_Of_Origin",39.66825833333333333333],UNIT["Meter",1.0]])";

constexpr std::string_view prj_datum73 =
    R"(PROJCS["Datum_73_Hayford_Gauss_ZELT",GEOGCS["GCS_Datum_73",DATUM["D_Datum_73",SPHEROID["International_1924",6378388,297]],PRIMEM["Greenwich",0],UNIT["Degree",0.0174532925199432955]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",180.598],PARAMETER["False_Northing",-86.98999999999999],PARAMETER["Central_Meridian",-8.131906111111112],PARAMETER["Scale_Factor",1],PARAMETER["Latitude_Of_Origin",39.66666666666666],UNIT["Meter",1]])";

constexpr std::string_view prj_lisboa =
    R"(PROJCS["Lisboa_Hayford_Gauss_ZELT",GEOGCS["GCS_Datum_Lisboa_Hayford",DATUM["D_Datum_Lisboa_Hayford",SPHEROID["International_1924",6378388,297]],PRIMEM["Greenwich",0],UNIT["Degree",0.0174532925199432955]],PROJECTION["Transverse_Mercator"],PARAMETER["False_Easting",0],PARAMETER["False_Northing",0],PARAMETER["Central_Meridian",-8.131906111111112],PARAMETER["Scale_Factor",1],PARAMETER["Latitude_Of_Origin",39.66666666666666],UNIT["Meter",1]])";

}  // namespace

std::string_view texto_prj(const std::string& sistema)
{
  if (sistema == "ETRS89 TM06") return prj_etrs89;
  if (sistema == "Hayford-Gauss Datum 73") return prj_datum73;
  if (sistema == "Hayford-Gauss Datum Lisboa-Ponto Central") return prj_lisboa;
  return {};
}

void escreve_prj(const std::string& sistema, const std::string& fich3a, std::string& fich_prj)
{
  const std::string_view texto = texto_prj(sistema);
  if (texto.empty()) return;
  fich_prj = sem_ultimos_quatro(fich3a) + ".prj";
  const std::string aviso = "O shapefile " + entre_aspas(fich3a) +
                            " foi criado, mas não foi possível escrever o ficheiro de projecção " +
                            entre_aspas(fich_prj) + ": ";
  // Binary mode: the line ends in CR LF on every platform.
  std::FILE* f = es::abre(fich_prj, "wb");
  if (!f) throw falha(aviso + es::descreve(std::error_code(errno, std::generic_category())) + ".");
  const bool escrito = std::fwrite(texto.data(), 1, texto.size(), f) == texto.size() &&
                       std::fwrite("\r\n", 1, 2, f) == 2;
  const int erro_escrita = errno;
  const bool fechado = std::fclose(f) == 0;
  if (!escrito || !fechado) {
    std::error_code ignorado;
    es::remove(fich_prj, ignorado);  // never leave half a line behind
    throw falha(aviso + es::descreve(std::error_code(escrito ? errno : erro_escrita,
                                                     std::generic_category())) + ".");
  }
}

}  // namespace kelvara
