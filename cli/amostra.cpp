// kelvara-amostra PASTA: writes two small sample shapefiles into PASTA:
// rios.shp, three rivers as polylines in Datum 73 (metres, Hayford-Gauss),
// and rios_lisboa.shp, the same rivers in Datum Lisboa (central point as
// origin), each with a UTF-8 attribute table. The build runs it so that the
// demonstration conversions have inputs.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <shapefil.h>

namespace {

struct rio {
  const char* nome;
  double comprimento_km;
  std::vector<std::vector<double>> partes;  // x, y, x, y, ...
};

const std::vector<rio> rios_73{
    {"Tejo (estuário)", 1007,
     {{-52000, -76000, -60000, -85000, -70000, -95000, -80000, -100000},
      {-80000, -100000, -88000, -106500, -95000, -108000}}},
    {"Douro (foz)", 897, {{-20000, 160000, -32000, 163000, -42000, 165500, -46500, 165800}}},
    {"Mondego (Coimbra)", 234, {{-10000, 70000, -28000, 65000, -40000, 62000, -58000, 61000}}},
};

// The same vertices in Datum Lisboa, to the decimetre, as PROJ gives them
// through DGT's grids (Datum 73 -> ETRS89 -> Datum Lisboa).
const std::vector<rio> rios_lisboa{
    {"Tejo (estuário)", 1007,
     {{-51999.1, -76001.8, -59998.8, -85001.6, -69998.6, -95001.6, -79998.5, -100001.7},
      {-79998.5, -100001.7, -87998.2, -106501.7, -94998.1, -108001.8}}},
    {"Douro (foz)", 897,
     {{-20003.4, 160001.0, -32003.9, 163001.1, -42004.2, 165501.1, -46504.3, 165801.0}}},
    {"Mondego (Coimbra)", 234,
     {{-10001.8, 69999.3, -28002.2, 64998.9, -40002.5, 61998.5, -58002.9, 60998.1}}},
};

bool escreve(const std::string& base, const std::vector<rio>& rios)
{
  SHPHandle shp = SHPCreate((base + ".shp").c_str(), SHPT_ARC);
  DBFHandle dbf = DBFCreateEx((base + ".dbf").c_str(), "UTF-8");
  if (!shp || !dbf) {
    std::fprintf(stderr, "kelvara-amostra: não foi possível criar %s.shp\n", base.c_str());
    return false;
  }
  DBFAddField(dbf, "NOME", FTString, 40, 0);
  DBFAddField(dbf, "COMPRIM", FTDouble, 12, 3);
  DBFAddField(dbf, "ORDEM", FTInteger, 2, 0);
  int k = 0;
  for (const rio& r : rios) {
    std::vector<int> inicios;
    std::vector<double> x, y;
    for (const auto& p : r.partes) {
      inicios.push_back(static_cast<int>(x.size()));
      for (size_t i = 0; i + 1 < p.size(); i += 2) {
        x.push_back(p[i]);
        y.push_back(p[i + 1]);
      }
    }
    SHPObject* o = SHPCreateObject(SHPT_ARC, -1, static_cast<int>(inicios.size()), inicios.data(),
                                   nullptr, static_cast<int>(x.size()), x.data(), y.data(),
                                   nullptr, nullptr);
    SHPWriteObject(shp, -1, o);
    SHPDestroyObject(o);
    DBFWriteStringAttribute(dbf, k, 0, r.nome);
    DBFWriteDoubleAttribute(dbf, k, 1, r.comprimento_km);
    DBFWriteIntegerAttribute(dbf, k, 2, k + 1);
    ++k;
  }
  SHPClose(shp);
  DBFClose(dbf);
  return true;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "Utilização: kelvara-amostra PASTA\n");
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  const std::string pasta = argv[1];
  return escreve(pasta + "/rios", rios_73) && escreve(pasta + "/rios_lisboa", rios_lisboa) ? 0 : 1;
}
