// kelvara-amostra PASTA: writes a small sample shapefile, rios.shp, into
// PASTA: three rivers as polylines in Hayford-Gauss Datum 73 (metres), with
// a UTF-8 attribute table. The build runs it so that the demonstration
// conversion has an input.
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

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "Utilização: kelvara-amostra PASTA\n");
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  const std::string base = std::string(argv[1]) + "/rios";
  const std::vector<rio> rios{
      {"Tejo (estuário)", 1007,
       {{-52000, -76000, -60000, -85000, -70000, -95000, -80000, -100000},
        {-80000, -100000, -88000, -106500, -95000, -108000}}},
      {"Douro (foz)", 897, {{-20000, 160000, -32000, 163000, -42000, 165500, -46500, 165800}}},
      {"Mondego (Coimbra)", 234, {{-10000, 70000, -28000, 65000, -40000, 62000, -58000, 61000}}},
  };
  SHPHandle shp = SHPCreate((base + ".shp").c_str(), SHPT_ARC);
  DBFHandle dbf = DBFCreateEx((base + ".dbf").c_str(), "UTF-8");
  if (!shp || !dbf) {
    std::fprintf(stderr, "kelvara-amostra: não foi possível criar %s.shp\n", base.c_str());
    return 1;
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
  return 0;
}
