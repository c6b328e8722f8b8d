#include "verifica.h"

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <numeric>
#include <vector>

#include "bytes.h"
#include "falha.h"
#include "ficheiros.h"

namespace kelvara {

bool tipo_valido(int t)
{
  switch (t) {
    case SHPT_NULL: case SHPT_POINT: case SHPT_ARC: case SHPT_POLYGON: case SHPT_MULTIPOINT:
    case SHPT_POINTZ: case SHPT_ARCZ: case SHPT_POLYGONZ: case SHPT_MULTIPOINTZ:
    case SHPT_POINTM: case SHPT_ARCM: case SHPT_POLYGONM: case SHPT_MULTIPOINTM:
    case SHPT_MULTIPATCH:
      return true;
    default:
      return false;
  }
}

namespace {

// A file that exists and still cannot be opened (another program holds it,
// no permission, no descriptor left): the system's cause, not that it is no
// shapefile.
[[noreturn]] void nao_abre(const std::string& nome)
{
  throw falha("Não foi possível abrir o ficheiro " + entre_aspas(nome) + ": " +
              descreve(es::erro_so()) + ".");
}

}  // namespace

cabecalho le_cabecalho(const std::string& nome)
{
  cabecalho c;
  c.tamanho = es::tamanho(nome);
  unsigned char b[100] = {};
  std::FILE* f = es::abre(nome, "rb");
  if (!f) return c;
  c.lido = true;
  if (std::fread(b, 1, sizeof b, f) != sizeof b) c.tamanho = std::min(c.tamanho, 99LL);
  std::fclose(f);
  c.codigo = be32(b);
  c.comprimento = 2LL * be32(b + 24);
  c.tipo = static_cast<int>(le32(b + 32));
  for (int i = 0; i < 4; ++i) c.caixa[i] = le_real(b + 36 + 8 * i);
  return c;
}

namespace {

enum : std::uint8_t { registo_bom = 0, fora_do_ficheiro = 1, dentro_de_outro = 2 };

// The first index entry (0-based record number) that is bad, and why; n when
// none is. An entry is bad when its record does not lie wholly within the
// .shp (from byte 100 to `tam_shp`), or when it begins inside another
// record: taking the entries in order of offset (ties in record order), one
// that begins before the end of the last good one. `fim_maximo` receives
// the end of the last byte of any entry within the file.
struct entrada_ma {
  int registo;
  std::uint8_t porque;
};

entrada_ma primeira_entrada_ma(const unsigned* desl, const unsigned* tam, int n, long long tam_shp,
                               long long& fim_maximo)
{
  auto fora = [&](int i) { return desl[i] < 100 || (long long)desl[i] + 8 + tam[i] > tam_shp; };
  // Writers put the records in index order, so the offsets normally
  // increase and the order of offset is the order of the records: one pass,
  // no memory.
  bool crescentes = true;
  long long desl_anterior = -1;
  for (int i = 0; i < n && crescentes; ++i) {
    if (fora(i)) continue;
    crescentes = desl[i] >= desl_anterior;
    desl_anterior = desl[i];
  }
  if (crescentes) {
    entrada_ma r{n, registo_bom};
    long long fim_anterior = 0;
    for (int i = 0; i < n; ++i) {
      const long long fim = (long long)desl[i] + 8 + tam[i];
      if (fora(i)) {
        if (r.registo == n) r = {i, fora_do_ficheiro};
        continue;
      }
      fim_maximo = std::max(fim_maximo, fim);
      if (desl[i] < fim_anterior) {
        if (r.registo == n) r = {i, dentro_de_outro};
      } else {
        fim_anterior = fim;
      }
    }
    return r;
  }

  std::vector<std::uint8_t> estado(n, registo_bom);
  for (int i = 0; i < n; ++i) {
    if (fora(i)) estado[i] = fora_do_ficheiro;
    else fim_maximo = std::max(fim_maximo, (long long)desl[i] + 8 + tam[i]);
  }
  std::vector<int> ordem(n);
  std::iota(ordem.begin(), ordem.end(), 0);
  std::stable_sort(ordem.begin(), ordem.end(), [&](int a, int b) { return desl[a] < desl[b]; });
  long long fim_anterior = 0;
  for (int i : ordem) {
    if (estado[i] != registo_bom) continue;
    if (desl[i] < fim_anterior) estado[i] = dentro_de_outro;
    else fim_anterior = (long long)desl[i] + 8 + tam[i];
  }
  for (int i = 0; i < n; ++i)
    if (estado[i] != registo_bom) return {i, estado[i]};
  return {n, registo_bom};
}

}  // namespace

long long verifica_cabecalhos(cabecalho& shp, const std::string& path, const std::string& shx)
{
  // Both headers are checked here, before shapelib reads them.
  if (!shp.lido) shp = le_cabecalho(path);
  if (!shp.lido) nao_abre(path);
  const cabecalho& c_shp = shp;
  const cabecalho c_shx = le_cabecalho(shx);
  if (!c_shx.lido) nao_abre(shx);
  for (const auto& [c, n] : {std::pair{&c_shp, &path}, std::pair{&c_shx, &shx}}) {
    if (c->tamanho < 100)
      throw falha("O ficheiro " + entre_aspas(*n) + " está vazio ou cortado: tem " +
                  std::to_string(std::max(c->tamanho, 0LL)) +
                  " bytes, menos do que os 100 do cabeçalho de um shapefile.");
    if (c->codigo != 9994)
      throw falha("O ficheiro " + entre_aspas(*n) + " não é um shapefile: o seu cabeçalho não o identifica.");
    if (!tipo_valido(c->tipo))
      throw falha("O ficheiro " + entre_aspas(*n) + " não é um shapefile: o código de tipo de forma " +
                  std::to_string(c->tipo) + " não existe.");
  }
  if (c_shp.tipo != c_shx.tipo)
    throw falha("O shapefile " + entre_aspas(path) + " está danificado: o .shp é do tipo de forma " +
                std::to_string(c_shp.tipo) + " e o índice .shx do tipo " +
                std::to_string(c_shx.tipo) + ".");
  // An index shorter than its header says is cut; one longer is checked
  // after its records, whose faults say more.
  if (c_shx.comprimento > c_shx.tamanho || (c_shx.comprimento - 100) % 8 != 0)
    throw falha("O índice " + entre_aspas(shx) + " está cortado ou danificado: o cabeçalho declara " +
                std::to_string(c_shx.comprimento) + " bytes e o ficheiro tem " +
                std::to_string(c_shx.tamanho) + ".");
  return (c_shx.comprimento - 100) / 8;
}

namespace {

void lanca_indice(int mau, bool dentro, long long fim_maximo, long long tam_shp, int n,
                  const std::string& path, const std::string& shx)
{
  // Every index entry must lie within the .shp and no two records may
  // share bytes: an entry that points into another record would copy
  // garbage in its place.
  if (mau >= 0)
    throw falha("O registo " + std::to_string(mau + 1) + " de " + entre_aspas(path) +
                " não pode ser lido: " +
                (!dentro ? "o índice .shx aponta para fora do ficheiro .shp."
                         : "o índice .shx aponta para o meio de outro registo.") +
                " O shapefile está danificado.");
  const long long tam_shx = es::tamanho(shx);
  if (tam_shx != 100 + 8LL * n)
    throw falha("O índice " + entre_aspas(shx) + " declara " + std::to_string(n) +
                " registos, mas o seu tamanho não corresponde a esse número. O shapefile " +
                entre_aspas(path) + " está danificado.");
  if (fim_maximo < tam_shp)
    throw falha("O ficheiro " + entre_aspas(path) + " contém dados para além do último registo do índice " +
                entre_aspas(shx) + ": o índice está incompleto e parte dos registos perder-se-ia.");
}

}  // namespace

void verifica_indice(const unsigned* desl, const unsigned* tam, int n, const std::string& path,
                     const std::string& shx)
{
  long long fim_maximo = 100;
  const long long tam_shp = es::tamanho(path);
  const entrada_ma ma = primeira_entrada_ma(desl, tam, n, tam_shp, fim_maximo);
  lanca_indice(ma.registo < n ? ma.registo : -1, ma.porque == dentro_de_outro, fim_maximo, tam_shp,
               n, path, shx);
}

void verifica_indice(SHPHandle shp, const std::string& path, const std::string& shx)
{
  verifica_indice(shp->panRecOffset, shp->panRecSize, shp->nRecords, path, shx);
}

void exame_indice::conclui(int n, const std::string& path, const std::string& shx) const
{
  lanca_indice(mau_, dentro_, fim_maximo_, tam_shp_, n, path, shx);
}

void verifica_tabela(DBFHandle dbf, int n, const std::string& path, const std::string& nome_dbf)
{
  const std::string nome = entre_aspas(path);
const int registos_dbf = DBFGetRecordCount(dbf);
  if (registos_dbf != n)
    throw falha("A tabela de atributos " + entre_aspas(nome_dbf) + " tem " +
                std::to_string(registos_dbf) + " registos e o shapefile " + entre_aspas(path) + " tem " +
                std::to_string(n) + ": não correspondem.");
  const long long precisa =
      (long long)dbf->nHeaderLength + (long long)dbf->nRecordLength * registos_dbf;
  if (es::tamanho(nome_dbf) < precisa)
    throw falha("A tabela de atributos " + entre_aspas(nome_dbf) +
                " está truncada: é mais curta do que os seus registos.");
  const int nc = DBFGetFieldCount(dbf);
  // The field descriptors end with a terminator byte (some writers put a
  // line feed there); anything else means the header's length is wrong
  // and the fields would be read from the wrong bytes.
  int terminador = -1;
  if (dbf->nHeaderLength > XBASE_FLDHDR_SZ * (nc + 1)) {
    std::FILE* f = es::abre(nome_dbf, "rb");
    if (!f) nao_abre(nome_dbf);
    if (std::fseek(f, XBASE_FLDHDR_SZ * (nc + 1), SEEK_SET) == 0) terminador = std::fgetc(f);
    std::fclose(f);
  }
  if (terminador != '\r' && terminador != '\n')
    throw falha("A tabela de atributos " + entre_aspas(nome_dbf) +
                " está danificada: a lista de campos do cabeçalho não termina onde o "
                "cabeçalho indica.");
}

}  // namespace kelvara
