#include "shapefiles.h"

#include <algorithm>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include <shapefil.h>

#include "es.h"

namespace kelvara {

bool tipo_ponto(int t) { return t == SHPT_POINT || t == SHPT_POINTZ || t == SHPT_POINTM; }

namespace {

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

bool tipo_multiponto(int t)
{
  return t == SHPT_MULTIPOINT || t == SHPT_MULTIPOINTZ || t == SHPT_MULTIPOINTM;
}

bool tipo_com_m(int t)
{
  switch (t) {
    case SHPT_POINTZ: case SHPT_ARCZ: case SHPT_POLYGONZ: case SHPT_MULTIPOINTZ:
    case SHPT_POINTM: case SHPT_ARCM: case SHPT_POLYGONM: case SHPT_MULTIPOINTM:
      return true;
    default:
      return false;
  }
}

// "rios.shp" -> "rios": shapelib names the companions after the path without
// its extension.
std::string sem_extensao(const std::string& p)
{
  const auto barra = p.find_last_of("/\\");
  const auto ponto = p.rfind('.');
  if (ponto == std::string::npos || (barra != std::string::npos && ponto < barra)) return p;
  return p.substr(0, ponto);
}

// The companion as shapelib finds it: lower-case extension first.
std::string companheiro(const std::string& p, const char* minusculas, const char* maiusculas)
{
  const std::string base = sem_extensao(p);
  if (!es::existe(base + minusculas) && es::existe(base + maiusculas)) return base + maiusculas;
  return base + minusculas;
}

// Why the last file operation failed, in words for the user.
std::string causa()
{
  const es::falha_es& f = es::falha();
  if (!f.ficheiro.empty()) return es::descreve(f.causa) + " (" + f.ficheiro + ")";
  if (!f.shapelib.empty()) return "o conteúdo não tem o formato esperado (" + f.shapelib + ")";
  return "causa desconhecida";
}

std::uint32_t grande_endian(const unsigned char* b)
{
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
         std::uint32_t(b[3]);
}

// The 100-byte header that .shp and .shx share.
struct cabecalho {
  long long tamanho = -1;  // of the file, in bytes
  std::uint32_t codigo = 0;
  long long comprimento = 0;  // as declared, in bytes
  int tipo = 0;
};

cabecalho le_cabecalho(const std::string& nome)
{
  cabecalho c;
  c.tamanho = es::tamanho(nome);
  unsigned char b[100] = {};
  if (std::FILE* f = es::abre(nome, "rb")) {
    if (std::fread(b, 1, sizeof b, f) != sizeof b) c.tamanho = std::min(c.tamanho, 99LL);
    std::fclose(f);
  }
  c.codigo = grande_endian(b);
  c.comprimento = 2LL * grande_endian(b + 24);
  c.tipo = static_cast<int>(b[32] | (b[33] << 8) | (b[34] << 16) | (std::uint32_t(b[35]) << 24));
  return c;
}

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

struct ShapeFiles::dados {
  SAHooks ganchos = es::ganchos();
  SHPHandle shp = nullptr;
  DBFHandle dbf = nullptr;
  int modo = -1;
  int tipo = 0;
  int registos = 0;

  // Reading.
  SHPObject* obj = nullptr;
  const char* tuplo = nullptr;
  int atual = 0;
  std::vector<campo> campos;

  // Writing: the pending record's attributes (its vertices are the
  // class's `pendente_`).
  std::string pendente;
  std::vector<int> desloc;  // offset of each field in the record
  bool nulo = false;
  int escritos = 0;

  void fecha() noexcept
  {
    if (obj) SHPDestroyObject(obj);
    obj = nullptr;
    tuplo = nullptr;
    if (shp) SHPClose(shp);
    if (dbf) DBFClose(dbf);
    shp = nullptr;
    dbf = nullptr;
    modo = -1;
  }
};

ShapeFiles::ShapeFiles() : d_(std::make_unique<dados>()) {}
ShapeFiles::~ShapeFiles() { d_->fecha(); }

void ShapeFiles::abandon() noexcept
{
  d_->fecha();
  lido_ = lido{};
}

void ShapeFiles::pendente::limpa()
{
  x.clear();
  y.clear();
  z.clear();
  m.clear();
  inicios.clear();
  tipos.clear();
  parte_atual = 0;
  com_m = sem_m = false;
}

void ShapeFiles::sem_vertice(int v) const
{
  throw falha("O registo " + std::to_string(d_->atual) + " de " + entre_aspas(caminho_) +
              " não tem o vértice " + std::to_string(v) + ".");
}

void ShapeFiles::open_file(const std::string& path, int mode, int shape_type, int language_driver)
{
  d_->fecha();
  *d_ = dados{};
  lido_ = lido{};
  pendente_.limpa();
  caminho_ = path;
  es::limpa_falha();
  const std::string nome = entre_aspas(path);
  if (mode == 0) {
    if (!es::existe(path)) throw falha("Não existe o ficheiro " + nome + ".");
    const std::string shx = companheiro(path, ".shx", ".SHX");
    const std::string dbf = companheiro(path, ".dbf", ".DBF");
    if (!es::existe(shx))
      throw falha("Falta o ficheiro de índice " + entre_aspas(shx) + " do shapefile " + nome + ".");
    if (!es::existe(dbf))
      throw falha("Falta a tabela de atributos " + entre_aspas(dbf) + " do shapefile " + nome + ".");
    // Both headers are checked here, in words the user can act on, before
    // shapelib reads them.
    const cabecalho c_shp = le_cabecalho(path);
    const cabecalho c_shx = le_cabecalho(shx);
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
      throw falha("O shapefile " + nome + " está danificado: o .shp é do tipo de forma " +
                  std::to_string(c_shp.tipo) + " e o índice .shx do tipo " +
                  std::to_string(c_shx.tipo) + ".");
    // An index shorter than its header says is cut; one longer is checked
    // after its records, whose faults say more.
    if (c_shx.comprimento > c_shx.tamanho || (c_shx.comprimento - 100) % 8 != 0)
      throw falha("O índice " + entre_aspas(shx) + " está cortado ou danificado: o cabeçalho declara " +
                  std::to_string(c_shx.comprimento) + " bytes e o ficheiro tem " +
                  std::to_string(c_shx.tamanho) + ".");
    d_->shp = SHPOpenLL(path.c_str(), "rb", &d_->ganchos);
    if (!d_->shp) throw falha("Não foi possível abrir o shapefile " + nome + ": " + causa() + ".");
    d_->dbf = DBFOpenLL(dbf.c_str(), "rb", &d_->ganchos);
    if (!d_->dbf)
      throw falha("Não foi possível abrir a tabela de atributos " + entre_aspas(dbf) + ": " +
                  (es::falha().houve() ? causa()
                                       : std::string("o cabeçalho não descreve uma tabela dBase válida")) +
                  ".");
    d_->modo = 0;
    d_->tipo = d_->shp->nShapeType;
    d_->registos = d_->shp->nRecords;
    // Every index entry must lie within the .shp and no two records may
    // share bytes: an entry that points into another record would copy
    // garbage in its place.
    const long long tam_shp = es::tamanho(path);
    const int n = d_->registos;
    long long fim_maximo = 100;
    const entrada_ma ma = primeira_entrada_ma(d_->shp->panRecOffset, d_->shp->panRecSize, n,
                                              tam_shp, fim_maximo);
    if (ma.registo < n)
      throw falha("O registo " + std::to_string(ma.registo + 1) + " de " + nome +
                  " não pode ser lido: " +
                  (ma.porque == fora_do_ficheiro
                       ? "o índice .shx aponta para fora do ficheiro .shp."
                       : "o índice .shx aponta para o meio de outro registo.") +
                  " O shapefile está danificado.");
    const long long tam_shx = es::tamanho(shx);
    if (tam_shx != 100 + 8LL * n)
      throw falha("O índice " + entre_aspas(shx) + " declara " + std::to_string(n) +
                  " registos, mas o seu tamanho não corresponde a esse número. O shapefile " +
                  nome + " está danificado.");
    if (fim_maximo < tam_shp)
      throw falha("O ficheiro " + nome + " contém dados para além do último registo do índice " +
                  entre_aspas(shx) + ": o índice está incompleto e parte dos registos perder-se-ia.");

    const int registos_dbf = DBFGetRecordCount(d_->dbf);
    if (registos_dbf != n)
      throw falha("A tabela de atributos " + entre_aspas(dbf) + " tem " +
                  std::to_string(registos_dbf) + " registos e o shapefile " + nome + " tem " +
                  std::to_string(n) + ": não correspondem.");
    const long long precisa =
        (long long)d_->dbf->nHeaderLength + (long long)d_->dbf->nRecordLength * registos_dbf;
    if (es::tamanho(dbf) < precisa)
      throw falha("A tabela de atributos " + entre_aspas(dbf) +
                  " está truncada: é mais curta do que os seus registos.");

    const int nc = DBFGetFieldCount(d_->dbf);
    // The field descriptors end with a terminator byte (some writers put a
    // line feed there); anything else means the header's length is wrong
    // and the fields would be read from the wrong bytes.
    int terminador = -1;
    if (d_->dbf->nHeaderLength > XBASE_FLDHDR_SZ * (nc + 1))
      if (std::FILE* f = es::abre(dbf, "rb")) {
        if (std::fseek(f, XBASE_FLDHDR_SZ * (nc + 1), SEEK_SET) == 0) terminador = std::fgetc(f);
        std::fclose(f);
      }
    if (terminador != '\r' && terminador != '\n')
      throw falha("A tabela de atributos " + entre_aspas(dbf) +
                  " está danificada: a lista de campos do cabeçalho não termina onde o "
                  "cabeçalho indica.");
    for (int j = 0; j < nc; ++j) {
      campo c;
      char nome_campo[XBASE_FLDNAME_LEN_READ + 1] = {};
      int largura = 0, decimais = 0;
      DBFGetFieldInfo(d_->dbf, j, nome_campo, &largura, &decimais);
      // The name's bytes as stored, not as shapelib trims them.
      const char* bruto = d_->dbf->pszHeader + j * XBASE_FLDHDR_SZ;
      c.name.assign(bruto, strnlen(bruto, XBASE_FLDNAME_LEN_READ));
      c.type = DBFGetNativeFieldType(d_->dbf, j);
      c.size = largura;
      c.decimals = decimais;
      d_->campos.push_back(c);
    }
    SHPSetFastModeReadObject(d_->shp, 1);
    return;
  }

  // mode 1: a new shapefile.
  if (!tipo_valido(shape_type))
    throw falha("Tipo de forma " + std::to_string(shape_type) + " desconhecido para " + nome + ".");
  d_->shp = SHPCreateLL(path.c_str(), shape_type, &d_->ganchos);
  if (!d_->shp) throw falha("Não foi possível criar o ficheiro " + nome + ": " + causa() + ".");
  const std::string dbf = sem_extensao(path) + ".dbf";
  const std::string ldid = "LDID/" + std::to_string(language_driver);
  d_->dbf = DBFCreateLL(dbf.c_str(), language_driver ? ldid.c_str() : nullptr, &d_->ganchos);
  if (!d_->dbf) {
    d_->fecha();
    throw falha("Não foi possível criar o ficheiro " + entre_aspas(dbf) + ": " + causa() + ".");
  }
  d_->modo = 1;
  d_->tipo = shape_type;
}

int ShapeFiles::shape_type() const { return d_->tipo; }
int ShapeFiles::record_count() const { return d_->registos; }
int ShapeFiles::language_driver() const { return d_->dbf ? d_->dbf->iLanguageDriver : 0; }

int ShapeFiles::field_count() const
{
  return d_->modo == 0 ? static_cast<int>(d_->campos.size()) : (d_->dbf ? DBFGetFieldCount(d_->dbf) : 0);
}

campo ShapeFiles::field_at(int j) const { return d_->campos.at(j - 1); }

void ShapeFiles::add_field(const std::string& name, char type, int size, int decimals)
{
  const int i = DBFAddNativeFieldType(d_->dbf, name.c_str(), type, size, decimals);
  if (i < 0)
    throw falha("Não foi possível criar o campo " + entre_aspas(name) + " (tipo " +
                std::string(1, type) + ", largura " + std::to_string(size) + ") em " +
                entre_aspas(caminho_) + ".");
  // shapelib writes at most 10 bytes of a name; the format holds 11.
  char* bruto = d_->dbf->pszHeader + i * XBASE_FLDHDR_SZ;
  std::memset(bruto, 0, XBASE_FLDNAME_LEN_READ);
  std::memcpy(bruto, name.data(), std::min<size_t>(name.size(), XBASE_FLDNAME_LEN_READ));
  d_->campos.push_back(campo{name, type, size, decimals});
}

void ShapeFiles::commit_fields()
{
  const std::time_t agora = std::time(nullptr);
  if (const std::tm* hoje = std::localtime(&agora))
    DBFSetLastModifiedDate(d_->dbf, hoje->tm_year, hoje->tm_mon + 1, hoje->tm_mday);
  const int n = DBFGetFieldCount(d_->dbf);
  d_->desloc.assign(d_->dbf->panFieldOffset, d_->dbf->panFieldOffset + n);
  // shapelib allocates its record buffer with the first field; a table
  // without fields still has records (of one byte, the deletion flag).
  if (!d_->dbf->pszCurrentRecord)
    d_->dbf->pszCurrentRecord = static_cast<char*>(std::malloc(d_->dbf->nRecordLength));
  d_->pendente.assign(d_->dbf->nRecordLength, ' ');
}

void ShapeFiles::go_to_record(int k)
{
  // Built only for a fault: a record read allocates nothing.
  const auto rec = [&] { return "O registo " + std::to_string(k) + " de " + entre_aspas(caminho_); };
  if (k < 1 || k > d_->registos) throw falha(rec() + " não existe.");
  if (d_->obj) SHPDestroyObject(d_->obj);
  d_->obj = nullptr;
  d_->tuplo = nullptr;
  d_->atual = 0;
  lido_ = lido{};
  es::limpa_falha();
  const int i = k - 1;
  SHPObject* o = SHPReadObject(d_->shp, i);
  if (!o) {
    const bool partes = es::falha().shapelib.find("panPartStart") != std::string::npos;
    throw falha(rec() + " não pode ser lido: " +
                (partes ? std::string("as suas partes começam fora de ordem ou para além do último "
                                      "vértice. O shapefile está danificado")
                        : causa()) +
                ".");
  }
  d_->obj = o;
  // The record's own header must agree with the index.
  const unsigned char* cab = d_->shp->pabyRec;
  const std::uint32_t comprimento = grande_endian(cab + 4);
  if (2ull * comprimento != d_->shp->panRecSize[i])
    throw falha(rec() + " não pode ser lido: o comprimento no cabeçalho do registo não coincide "
                      "com o do índice .shx. O shapefile está danificado.");
  if (o->nSHPType != SHPT_NULL && o->nSHPType != d_->tipo)
    throw falha(rec() + " tem o tipo de forma " + std::to_string(o->nSHPType) +
                ", diferente do tipo do ficheiro (" + std::to_string(d_->tipo) + ").");
  if (o->nSHPType != SHPT_NULL && o->nParts > 0 && o->nVertices > 0 && o->panPartStart[0] != 0)
    throw falha(rec() + " não pode ser lido: a primeira parte não começa no primeiro vértice.");
  if (o->nSHPType == SHPT_MULTIPATCH) {
    // shapelib neither reads nor writes the measures of a MultiPatch.
    const long long sem_m = 44 + 8LL * o->nParts + 24LL * o->nVertices + 16;
    if ((long long)d_->shp->panRecSize[i] > sem_m)
      throw falha(rec() + " é uma MultiPatch com valores M, que esta versão não consegue "
                        "preservar; a conversão perdê-los-ia.");
  }
  d_->tuplo = DBFReadTuple(d_->dbf, i);
  if (!d_->tuplo)
    throw falha("O registo " + std::to_string(k) + " da tabela de atributos de " +
                entre_aspas(caminho_) + " não pode ser lido: " + causa() + ".");
  d_->atual = k;
  if (o->nSHPType != SHPT_NULL) {
    lido_.n = o->nVertices;
    lido_.x = o->padfX;
    lido_.y = o->padfY;
    lido_.z = o->padfZ;
    if (o->bMeasureIsUsed && tipo_com_m(o->nSHPType)) lido_.m = o->padfM;
  }
}

valor ShapeFiles::value(int j) const
{
  const int i = j - 1;
  return valor{std::string_view(d_->tuplo + d_->dbf->panFieldOffset[i],
                                static_cast<size_t>(d_->dbf->panFieldSize[i]))};
}

char ShapeFiles::deletion_flag() const { return d_->tuplo[0]; }

bool ShapeFiles::is_null() const { return d_->obj->nSHPType == SHPT_NULL; }

int ShapeFiles::part_count() const
{
  const SHPObject* o = d_->obj;
  if (o->nSHPType == SHPT_NULL) return 0;
  if (tipo_ponto(o->nSHPType) || tipo_multiponto(o->nSHPType)) return o->nVertices > 0 ? 1 : 0;
  return o->nParts;
}

parte ShapeFiles::part_at(int i) const
{
  const SHPObject* o = d_->obj;
  if (i < 1 || i > part_count())
    throw falha("O registo " + std::to_string(d_->atual) + " de " + entre_aspas(caminho_) +
                " não tem a parte " + std::to_string(i) + ".");
  if (tipo_ponto(o->nSHPType) || tipo_multiponto(o->nSHPType)) return parte{1, o->nVertices, SHPP_RING};
  const int fim = i < o->nParts ? o->panPartStart[i] : o->nVertices;
  return parte{o->panPartStart[i - 1] + 1, fim, o->panPartType ? o->panPartType[i - 1] : SHPP_RING};
}

void ShapeFiles::set_value(int j, valor v)
{
  const int i = j - 1;
  if (i < 0 || i >= static_cast<int>(d_->desloc.size()) ||
      static_cast<int>(v.bytes.size()) != d_->dbf->panFieldSize[i])
    throw falha("O campo " + std::to_string(j) + " de " + entre_aspas(caminho_) +
                " não tem a mesma largura que o campo de origem: a tabela não pode ser copiada.");
  std::memcpy(d_->pendente.data() + d_->desloc[i], v.bytes.data(), v.bytes.size());
}

void ShapeFiles::set_deletion_flag(char f) { d_->pendente[0] = f; }

void ShapeFiles::set_null() { d_->nulo = true; }

void ShapeFiles::write_record()
{
  dados& d = *d_;
  pendente& p = pendente_;
  // Built only for a fault: a record written allocates nothing here.
  const auto rec = [&] { return "o registo " + std::to_string(d.escritos + 1); };
  const auto nome = [&] { return entre_aspas(caminho_); };
  if (p.com_m && p.sem_m)
    throw falha("Não foi possível escrever " + rec() + " em " + nome() +
                ": só alguns vértices têm valor M.");
  SHPObject o{};
  o.nSHPType = d.nulo ? SHPT_NULL : d.tipo;
  o.nShapeId = -1;
  const bool com_partes = !d.nulo && !tipo_ponto(d.tipo) && !tipo_multiponto(d.tipo);
  o.nParts = com_partes ? static_cast<int>(p.inicios.size()) : 0;
  o.panPartStart = p.inicios.data();
  o.panPartType = p.tipos.data();
  o.nVertices = d.nulo ? 0 : static_cast<int>(p.x.size());
  o.padfX = p.x.data();
  o.padfY = p.y.data();
  o.padfZ = p.z.data();
  o.padfM = p.m.data();
  o.bMeasureIsUsed = p.com_m;
  SHPComputeExtents(&o);
  if (SHPWriteObject(d.shp, -1, &o) < 0 || es::falha().houve())
    throw falha("Não foi possível escrever " + rec() + " em " + nome() + ": " + causa() + ".");
  if (!DBFWriteTuple(d.dbf, d.escritos, d.pendente.data()) || es::falha().houve())
    throw falha("Não foi possível escrever " + rec() + " na tabela de atributos de " + nome() + ": " +
                causa() + ".");
  ++d.escritos;
  std::fill(d.pendente.begin(), d.pendente.end(), ' ');
  d.nulo = false;
  p.limpa();
}

void ShapeFiles::close_file()
{
  const bool escrita = d_->modo == 1;
  if (escrita) es::limpa_falha();
  d_->fecha();
  if (escrita && es::falha().houve())
    throw falha("Não foi possível completar o shapefile " + entre_aspas(caminho_) + ": " + causa() +
                ".");
}

}  // namespace kelvara
