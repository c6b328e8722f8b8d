// The record transfer loop over the shapefile component: what a copy keeps
// (every byte of attributes, z and m, parts, nulls) and how damaged input is
// refused (a clear message naming the file and the record).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include <shapefil.h>

#include "apoio.h"
#include "shapefiles.h"
#include "transfere.h"

namespace kelvara {
namespace {

using namespace teste;

par identidade(double x, double y) { return {x, y}; }
par desloca(double x, double y) { return {x + 1000.5, y - 250.25}; }

// z and m values that a careless copy would alter: negative zero, a NaN
// with a payload, the "no data" measure, the smallest subnormal, the largest.
double nan_com_carga()
{
  const std::uint64_t bits = 0x7ff8000000012345ULL;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
const std::vector<double> especiais{-0.0, nan_com_carga(), -1e39, 5e-324, 1.7976931348623157e308,
                                    12.5};

bool tem_z(int t) { return t == 11 || t == 13 || t == 15 || t == 18 || t == 31; }
bool tem_m(int t) { return t / 10 == 1 || t / 10 == 2; }

forma faz_forma(int tipo, int partes, int por_parte, bool com_m, double x0)
{
  forma f;
  f.tipo = tipo;
  const bool ponto = tipo == 1 || tipo == 11 || tipo == 21;
  if (ponto) partes = por_parte = 1;
  for (int p = 0; p < partes; ++p) {
    if (!ponto && tipo != 8 && tipo != 18 && tipo != 28) {
      f.inicios.push_back(static_cast<int>(f.x.size()));
      if (tipo == 31) f.tipos_partes.push_back(p % 6);
    }
    for (int v = 0; v < por_parte; ++v) {
      const size_t i = f.x.size();
      f.x.push_back(x0 + 10.0 * i + 0.125);
      f.y.push_back(-50000.0 + 7.0 * i);
      f.z.push_back(tem_z(tipo) ? especiais[i % especiais.size()] : 0.0);
      f.m.push_back(especiais[(i + 3) % especiais.size()]);
    }
  }
  f.com_m = com_m && tem_m(tipo);
  return f;
}

// A file of type `tipo` with a plain record, a null one, a multi-part one,
// one without measures, an empty shape (no parts, no vertices: a point for
// the point types), three fields (an 11-byte name, bytes of a single-byte
// code page, a number) and a deleted record.
shapefile_teste todos_os_casos(int tipo)
{
  shapefile_teste s;
  s.tipo = tipo;
  s.ldid = 87;
  s.campos = {{"NOME", 'C', 12, 0}, {"VALOR", 'N', 12, 3}, {"DATA", 'D', 8, 0}};
  s.formas = {faz_forma(tipo, 1, 3, true, 1000), forma{}, faz_forma(tipo, 3, 4, true, 5000),
              faz_forma(tipo, 2, 2, false, 9000), faz_forma(tipo, 0, 0, false, 0)};
  s.valores = {{"Ribeira", "12.500", "20240131"},
               {"nulo", "", ""},
               {"Lou\xe7\xe3o", "-0.001", ""},
               {"", "7", "19991231"},
               {"vazio", "0", ""}};
  s.apagados = {false, false, true, false, false};
  return s;
}

// Gives field 1 the full eleven bytes the format allows for a name.
void nome_de_onze(const std::string& dbf)
{
  std::string b = bytes(dbf);
  std::memcpy(&b[32], "NOME_LONGO1", 11);
  grava(dbf, b);
}

void transfere_ficheiro(const std::string& entrada, const std::string& saida, par (*f)(double, double))
{
  janela_teste j;
  ShapeFiles Shp1, Shp2;
  transfere(j, Shp1, Shp2, entrada, saida, f);
  EXPECT_EQ(j.ocupados, std::vector<bool>{true});
}

std::string tamanho_e_registos_shx(const std::string& shx) { return bytes(shx).substr(100); }

const std::vector<int> tipos{1, 3, 5, 8, 11, 13, 15, 18, 21, 23, 25, 28, 31};

TEST(transfere, identidade_devolve_cada_byte_de_cada_tipo)
{
  for (int tipo : tipos) {
    SCOPED_TRACE("tipo " + std::to_string(tipo));
    pasta_temporaria p;
    escreve(p / "a", todos_os_casos(tipo));
    nome_de_onze(p / "a.dbf");
    transfere_ficheiro(p / "a.shp", p / "b.shp", identidade);
    EXPECT_EQ(registos_shp(p / "a.shp"), registos_shp(p / "b.shp"));
    EXPECT_EQ(tamanho_e_registos_shx(p / "a.shx"), tamanho_e_registos_shx(p / "b.shx"));
    const lido a = le(p / "a.shp"), b = le(p / "b.shp");
    EXPECT_EQ(a.tipo, b.tipo);
    EXPECT_EQ(a.tuplos, b.tuplos);
    EXPECT_EQ(a.descritores.substr(0, 11), "NOME_LONGO1");
    EXPECT_EQ(a.ldid, 87);
    for (size_t j = 0; j < a.descritores.size(); j += 32) {
      // name, type letter, width and decimals of every field
      EXPECT_EQ(a.descritores.substr(j, 12), b.descritores.substr(j, 12));
      EXPECT_EQ(a.descritores.substr(j + 16, 2), b.descritores.substr(j + 16, 2));
    }
    EXPECT_EQ(b.ldid, 87);
  }
}

// The component's view of the current record: each go_to_record replaces
// the vertices of the one before (a null record has none), and a vertex
// outside the record is refused with the record's number.
TEST(transfere, vertices_do_registo_atual)
{
  pasta_temporaria p;
  escreve(p / "a", todos_os_casos(13));
  ShapeFiles s;
  s.open_file(p / "a.shp");
  EXPECT_EQ(s.vertex_count(), 0);
  const auto sem_vertice = [&](int v) { return falha_de([&] { s.vertex_at(v); }); };
  const auto mensagem = [&](int k, int v) {
    return "O registo " + std::to_string(k) + " de \"" + (p / "a.shp") + "\" não tem o vértice " +
           std::to_string(v) + ".";
  };

  s.go_to_record(3);  // three parts of four vertices, with measures
  EXPECT_EQ(s.vertex_count(), 12);
  const vertice v12 = s.vertex_at(12);
  EXPECT_EQ(v12.x, 5000 + 10.0 * 11 + 0.125);
  EXPECT_EQ(v12.y, -50000.0 + 7.0 * 11);
  ASSERT_TRUE(v12.m.has_value());
  EXPECT_EQ(*v12.m, especiais[(11 + 3) % especiais.size()]);
  EXPECT_EQ(sem_vertice(13), mensagem(3, 13));
  EXPECT_EQ(sem_vertice(0), mensagem(3, 0));

  s.go_to_record(2);  // null
  EXPECT_TRUE(s.is_null());
  EXPECT_EQ(s.vertex_count(), 0);
  EXPECT_EQ(sem_vertice(1), mensagem(2, 1));

  s.go_to_record(4);  // no measures
  EXPECT_EQ(s.vertex_count(), 4);
  EXPECT_FALSE(s.vertex_at(1).m.has_value());
  EXPECT_EQ(s.vertex_at(1).x, 9000.125);

  s.open_file(p / "a.shp");  // opening again forgets the record
  EXPECT_EQ(s.vertex_count(), 0);
}

TEST(transfere, so_x_e_y_mudam)
{
  for (int tipo : tipos) {
    SCOPED_TRACE("tipo " + std::to_string(tipo));
    pasta_temporaria p;
    escreve(p / "a", todos_os_casos(tipo));
    transfere_ficheiro(p / "a.shp", p / "b.shp", desloca);
    const lido a = le(p / "a.shp"), b = le(p / "b.shp");
    ASSERT_NO_FATAL_FAILURE(espera_mesmo_resto(a, b));
    ASSERT_EQ(a.formas.size(), b.formas.size());
    for (size_t k = 0; k < a.formas.size(); ++k)
      for (size_t v = 0; v < a.formas[k].x.size(); ++v) {
        EXPECT_EQ(b.formas[k].x[v], a.formas[k].x[v] + 1000.5);
        EXPECT_EQ(b.formas[k].y[v], a.formas[k].y[v] - 250.25);
      }
  }
}

TEST(transfere, casos_limite_do_ficheiro)
{
  pasta_temporaria p;
  // No records: same type and fields, a complete empty shapefile.
  shapefile_teste vazio;
  vazio.tipo = SHPT_POLYGONZ;
  vazio.campos = {{"A", 'C', 5, 0}, {"B", 'N', 9, 2}};
  escreve(p / "vazio", vazio);
  transfere_ficheiro(p / "vazio.shp", p / "vazio_b.shp", desloca);
  const lido v = le(p / "vazio_b.shp");
  EXPECT_EQ(v.tipo, SHPT_POLYGONZ);
  EXPECT_TRUE(v.formas.empty());
  EXPECT_EQ(v.descritores, le(p / "vazio.shp").descritores);
  EXPECT_EQ(bytes(p / "vazio_b.shp").size(), 100u);

  // No fields: geometry still copied.
  shapefile_teste sem_campos;
  sem_campos.tipo = SHPT_ARC;
  sem_campos.formas = {faz_forma(SHPT_ARC, 2, 3, false, 0), faz_forma(SHPT_ARC, 1, 2, false, 9)};
  escreve(p / "sc", sem_campos);
  transfere_ficheiro(p / "sc.shp", p / "sc_b.shp", identidade);
  EXPECT_EQ(registos_shp(p / "sc.shp"), registos_shp(p / "sc_b.shp"));
  EXPECT_EQ(le(p / "sc_b.shp").tuplos.size(), 2u);

  // A point file of nothing but null records stays so.
  shapefile_teste nulos;
  nulos.tipo = SHPT_POINT;
  nulos.campos = {{"ID", 'N', 4, 0}};
  nulos.formas = {forma{}, forma{}};
  nulos.valores = {{"1"}, {"2"}};
  escreve(p / "nulos", nulos);
  transfere_ficheiro(p / "nulos.shp", p / "nulos_b.shp", desloca);
  const lido n = le(p / "nulos_b.shp");
  ASSERT_EQ(n.formas.size(), 2u);
  EXPECT_EQ(n.formas[0].tipo, SHPT_NULL);
  EXPECT_EQ(n.formas[1].tipo, SHPT_NULL);
}

TEST(transfere, largura_de_texto_acima_de_255)
{
  // Character fields wider than 255 keep their width in the decimals byte.
  pasta_temporaria p;
  shapefile_teste s;
  s.tipo = SHPT_POINT;
  s.campos = {{"LONGO", 'C', 300, 0}, {"N", 'N', 3, 0}};
  s.formas = {faz_forma(SHPT_POINT, 1, 1, false, 0)};
  s.valores = {{std::string(300, 'x'), "1"}};
  escreve(p / "a", s);
  transfere_ficheiro(p / "a.shp", p / "b.shp", identidade);
  EXPECT_EQ(le(p / "a.shp").tuplos, le(p / "b.shp").tuplos);
  EXPECT_EQ(le(p / "a.shp").descritores, le(p / "b.shp").descritores);
}

// --- Damaged input -------------------------------------------------------

// A sound polyline file of four records to damage.
std::string base_para_danificar(const pasta_temporaria& p)
{
  shapefile_teste s;
  s.tipo = SHPT_ARC;
  s.campos = {{"ID", 'N', 4, 0}};
  for (int k = 0; k < 4; ++k) {
    s.formas.push_back(faz_forma(SHPT_ARC, 2, 3, false, 100.0 * k));
    s.valores.push_back({std::to_string(k + 1)});
  }
  escreve(p / "d", s);
  return p / "d";
}

// Runs the loop on a damaged file and returns the message of its fault.
std::string falha_de(const std::string& entrada, const std::string& saida)
{
  janela_teste j;
  ShapeFiles Shp1, Shp2;
  try {
    transfere(j, Shp1, Shp2, entrada, saida, desloca);
  } catch (const falha& f) {
    return f.what();
  }
  ADD_FAILURE() << "sem falha para " << entrada;
  return {};
}

TEST(transfere, registos_danificados_sao_falhas_com_numero)
{
  struct caso {
    const char* nome;
    void (*estraga)(const std::string& base);
    const char* esperado;
  };
  const caso casos[] = {
      {"índice para dentro de outro registo",
       [](const std::string& b) {
         std::string shx = bytes(b + ".shx");
         poe_grande_endian(shx, 100 + 8 * 2, static_cast<std::int32_t>((deslocamento(shx, 2) + 16) / 2));
         grava(b + ".shx", shx);
       },
       "O registo 3 de"},
      {"índice para fora do ficheiro",
       [](const std::string& b) {
         std::string shx = bytes(b + ".shx");
         poe_grande_endian(shx, 100 + 8 * 1, 1 << 28);
         grava(b + ".shx", shx);
       },
       "O registo 2 de"},
      {"comprimento do registo mente",
       [](const std::string& b) {
         const std::string shx = bytes(b + ".shx");
         std::string shp = bytes(b + ".shp");
         const size_t d = deslocamento(shx, 4);
         poe_grande_endian(shp, d + 4, le_grande_endian(shp, d + 4) - 4);
         grava(b + ".shp", shp);
       },
       "O registo 4 de"},
      {"partes fora de ordem",
       [](const std::string& b) {
         const std::string shx = bytes(b + ".shx");
         std::string shp = bytes(b + ".shp");
         // second part start of record 2 past the vertex count
         const size_t d = deslocamento(shx, 2) + 8 + 44 + 4;
         const std::int32_t fora = 99;
         std::memcpy(&shp[d], &fora, 4);
         grava(b + ".shp", shp);
       },
       "O registo 2 de"},
      {"shp truncado a meio de um registo",
       [](const std::string& b) {
         const std::string shp = bytes(b + ".shp");
         grava(b + ".shp", shp.substr(0, shp.size() - 20));
       },
       "O registo 4 de"},
      {"tipo de forma inexistente",
       [](const std::string& b) {
         std::string shp = bytes(b + ".shp");
         const std::int32_t tipo = 7;
         std::memcpy(&shp[32], &tipo, 4);
         grava(b + ".shp", shp);
       },
       "código de tipo de forma 7"},
      {"dbf com menos registos",
       [](const std::string& b) {
         std::string dbf = bytes(b + ".dbf");
         dbf[4] = 3;
         grava(b + ".dbf", dbf);
       },
       "tem 3 registos"},
      {"shx em falta", [](const std::string& b) { std::filesystem::remove(b + ".shx"); },
       "Falta o ficheiro de índice"},
      {"dbf em falta", [](const std::string& b) { std::filesystem::remove(b + ".dbf"); },
       "Falta a tabela de atributos"},
      {"índice com mais registos no shp do que declara",
       [](const std::string& b) {
         std::string shx = bytes(b + ".shx");
         poe_grande_endian(shx, 24, (100 + 8 * 3) / 2);
         grava(b + ".shx", shx.substr(0, 100 + 8 * 3));
       },
       "para além do último registo do índice"},
  };
  for (const caso& c : casos) {
    SCOPED_TRACE(c.nome);
    pasta_temporaria p;
    const std::string b = base_para_danificar(p);
    c.estraga(b);
    const std::string m = falha_de(b + ".shp", p / "saida.shp");
    EXPECT_NE(m.find(c.esperado), std::string::npos) << m;
    EXPECT_NE(m.find(p.caminho().string()), std::string::npos) << "sem o nome do ficheiro: " << m;
  }
}

TEST(transfere, coordenadas_nao_finitas_e_partes_demais)
{
  pasta_temporaria p;
  shapefile_teste s;
  s.tipo = SHPT_ARC;
  s.formas = {faz_forma(SHPT_ARC, 1, 2, false, 0), faz_forma(SHPT_ARC, 1, 3, false, 0)};
  s.formas[1].y[2] = std::numeric_limits<double>::quiet_NaN();
  escreve(p / "nan", s);
  std::string m = falha_de(p / "nan.shp", p / "nan_b.shp");
  EXPECT_NE(m.find("O vértice 3 do registo 2 de"), std::string::npos) << m;

  // A polynomial that overflows is refused the same way.
  janela_teste j;
  ShapeFiles a, b;
  s.formas[1].y[2] = 1e300;
  escreve(p / "grande", s);
  EXPECT_THROW(transfere(j, a, b, p / "grande.shp", p / "grande_b.shp",
                         [](double x, double y) { return par{x * y, y * y}; }),
               falha);

  // Part numbers are 16-bit: 32768 parts cannot be numbered.
  shapefile_teste muitas;
  muitas.tipo = SHPT_ARC;
  muitas.formas = {faz_forma(SHPT_ARC, 32768, 1, false, 0)};
  escreve(p / "partes", muitas);
  m = falha_de(p / "partes.shp", p / "partes_b.shp");
  EXPECT_NE(m.find("tem 32768 partes"), std::string::npos) << m;
}

TEST(transfere, multipatch_com_medidas_e_recusada)
{
  // shapelib drops MultiPatch measures; refusing beats losing them.
  pasta_temporaria p;
  shapefile_teste s;
  s.tipo = SHPT_MULTIPATCH;
  s.formas = {faz_forma(SHPT_MULTIPATCH, 1, 3, false, 0)};
  escreve(p / "mp", s);
  // Append 16 + 8·3 bytes of measures to the record and fix both lengths.
  std::string shp = bytes(p / "mp.shp"), shx = bytes(p / "mp.shx");
  shp += std::string(40, '\0');
  poe_grande_endian(shp, 24, static_cast<std::int32_t>(shp.size() / 2));
  poe_grande_endian(shp, 100 + 4, le_grande_endian(shp, 104) + 20);
  poe_grande_endian(shx, 100 + 4, le_grande_endian(shx, 104) + 20);
  grava(p / "mp.shp", shp);
  grava(p / "mp.shx", shx);
  const std::string m = falha_de(p / "mp.shp", p / "mp_b.shp");
  EXPECT_NE(m.find("MultiPatch com valores M"), std::string::npos) << m;
}

}  // namespace
}  // namespace kelvara
