// The record transfer loop over the shapefile component: what a copy keeps
// (every byte of attributes, z and m, parts, nulls) and how damaged input is
// refused (a clear message naming the file and the record).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

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

  // A null first record adds nothing to the file's box: it is the box of
  // the others' vertices, not stretched to (0, 0).
  shapefile_teste longe;
  longe.tipo = SHPT_ARC;
  longe.formas = {forma{}, faz_forma(SHPT_ARC, 2, 3, false, 50000)};
  escreve(p / "longe", longe);
  transfere_ficheiro(p / "longe.shp", p / "longe_b.shp", identidade);
  const lido l = le(p / "longe_b.shp");
  const forma& f = l.formas.at(1);
  const auto [x0, x1] = std::minmax_element(f.x.begin(), f.x.end());
  const auto [y0, y1] = std::minmax_element(f.y.begin(), f.y.end());
  double caixa[4];
  std::memcpy(caixa, bytes(p / "longe_b.shp").data() + 36, sizeof caixa);
  EXPECT_EQ(caixa[0], *x0);
  EXPECT_EQ(caixa[1], *y0);
  EXPECT_EQ(caixa[2], *x1);
  EXPECT_EQ(caixa[3], *y1);
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

// The loop on a file it must refuse: the message of its fault.
std::string falha_do_ciclo(const std::string& entrada, const std::string& saida)
{
  janela_teste j;
  ShapeFiles Shp1, Shp2;
  return falha_de([&] { transfere(j, Shp1, Shp2, entrada, saida, desloca); });
}

TEST(transfere, coordenadas_nao_finitas_e_partes_demais)
{
  pasta_temporaria p;
  shapefile_teste s;
  s.tipo = SHPT_ARC;
  s.formas = {faz_forma(SHPT_ARC, 1, 2, false, 0), faz_forma(SHPT_ARC, 1, 3, false, 0)};
  s.formas[1].y[2] = std::numeric_limits<double>::quiet_NaN();
  escreve(p / "nan", s);
  std::string m = falha_do_ciclo(p / "nan.shp", p / "nan_b.shp");
  EXPECT_NE(m.find("O vértice 3 do registo 2 de"), std::string::npos) << m;
  // Of two faults, the first in the file is named, however many threads
  // copy its records in ranges: each range goes to its end or its first
  // fault, and in two ranges the second one's fault, early in it, comes
  // first in time.
  s.formas[1].y[2] = 0;
  for (int k = 2; k < 200; ++k) s.formas.push_back(faz_forma(SHPT_ARC, 1, 3, false, k));
  s.formas[94].y[2] = std::numeric_limits<double>::quiet_NaN();
  s.formas[109].x[1] = std::numeric_limits<double>::infinity();
  escreve(p / "duas", s);
  for (const int faixas : {0, 2, 3, 5}) {
    SCOPED_TRACE(faixas);
    std::optional<com_faixas> em_faixas;
    if (faixas > 0) em_faixas.emplace(faixas);
    m = falha_do_ciclo(p / "duas.shp", p / "duas_b.shp");
    EXPECT_NE(m.find("O vértice 3 do registo 95 de"), std::string::npos) << m;
  }

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
  m = falha_do_ciclo(p / "partes.shp", p / "partes_b.shp");
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
  const std::string m = falha_do_ciclo(p / "mp.shp", p / "mp_b.shp");
  EXPECT_NE(m.find("MultiPatch com valores M"), std::string::npos) << m;
}

}  // namespace
}  // namespace kelvara
