#include "shapefiles.h"

#include <algorithm>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include <shapefil.h>

#include "falha.h"
#include "ficheiros.h"
#include "ganchos.h"
#include "verifica.h"

namespace kelvara {

bool tipo_ponto(int t) { return t == SHPT_POINT || t == SHPT_POINTZ || t == SHPT_POINTM; }

namespace {

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

}  // namespace

// Why the last file operation failed, in words for the user: the system's
// cause where it gave one, naming the file as the user knows it; shapelib's
// own (English) texts never reach the user.
std::string ShapeFiles::causa() const
{
  const es::falha_es& f = es::ultima_falha();
  auto nome = [&](std::string n) {
    const std::string real = sem_extensao(caminho_), visto = sem_extensao(nome_);
    if (n.compare(0, real.size(), real) == 0) n.replace(0, real.size(), visto);
    return n;
  };
  if (!f.ficheiro.empty()) return descreve(f.causa) + " (" + nome(f.ficheiro) + ")";
  if (f.shapelib.find("memory") != std::string::npos ||
      f.shapelib.find("allocat") != std::string::npos)
    return "não há memória suficiente";
  if (!f.abertura.empty()) return descreve(f.causa_abertura) + " (" + nome(f.abertura) + ")";
  return "o conteúdo não tem o formato esperado";
}

struct ShapeFiles::dados {
  SAHooks ganchos = es::ganchos_em_uso();
  SHPHandle shp = nullptr;
  DBFHandle dbf = nullptr;
  enum class uso { nenhum, leitura, escrita } modo = uso::nenhum;
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
    modo = uso::nenhum;
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
  throw falha("O registo " + std::to_string(d_->atual) + " de " + entre_aspas(nome_) +
              " não tem o vértice " + std::to_string(v) + ".");
}

void ShapeFiles::comeca(const std::string& path)
{
  d_->fecha();
  *d_ = dados{};
  lido_ = lido{};
  pendente_.limpa();
  caminho_ = path;
  nome_ = alias_.empty() ? path : alias_;
  es::limpa_falha();
}

void ShapeFiles::open_file(const std::string& path)
{
  comeca(path);
  const std::string nome = entre_aspas(nome_);
  if (!es::existe(path)) throw falha("Não existe o ficheiro " + nome + ".");
  const std::string shx = companheiro(path, ".shx", ".SHX");
  const std::string dbf = companheiro(path, ".dbf", ".DBF");
  if (!es::existe(shx))
    throw falha("Falta o ficheiro de índice " + entre_aspas(shx) + " do shapefile " + nome + ".");
  if (!es::existe(dbf))
    throw falha("Falta a tabela de atributos " + entre_aspas(dbf) + " do shapefile " + nome + ".");
  // Only regular files are read: a FIFO would never end, a folder is none.
  for (const std::string* f : {&path, &shx, &dbf}) {
    const es::tipo k = es::tipo_de(*f);
    if (k == es::tipo::pasta)
      throw falha("O nome " + entre_aspas(*f) + " é de uma pasta, não de um ficheiro.");
    if (k != es::tipo::ficheiro)
      throw falha("O ficheiro " + entre_aspas(*f) +
                  " não é um ficheiro comum (é um FIFO, um dispositivo ou um socket) e não pode "
                  "ser lido como parte de um shapefile.");
  }
  verifica_cabecalhos(path, shx);
  d_->shp = SHPOpenLL(path.c_str(), "rb", &d_->ganchos);
  if (!d_->shp) throw falha("Não foi possível abrir o shapefile " + nome + ": " + causa() + ".");
  d_->dbf = DBFOpenLL(dbf.c_str(), "rb", &d_->ganchos);
  if (!d_->dbf) {
    // The table itself could not be opened, or its header is no table's
    // (a code page file that is not there is no fault).
    const es::falha_es& f = es::ultima_falha();
    const bool abertura = !f.abertura.empty() && sem_extensao(f.abertura) == sem_extensao(dbf) &&
                          (f.abertura.ends_with(".dbf") || f.abertura.ends_with(".DBF"));
    throw falha("Não foi possível abrir a tabela de atributos " + entre_aspas(dbf) + ": " +
                (f.houve() || abertura ? causa()
                                       : std::string("o cabeçalho não descreve uma tabela dBase válida")) +
                ".");
  }
  d_->modo = dados::uso::leitura;
  d_->tipo = d_->shp->nShapeType;
  d_->registos = d_->shp->nRecords;
  verifica_indice(d_->shp, path, shx);
  verifica_tabela(d_->dbf, d_->registos, path, dbf);
  const int nc = DBFGetFieldCount(d_->dbf);
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
}

void ShapeFiles::create_file(const std::string& path, int shape_type, int language_driver)
{
  comeca(path);
  const std::string nome = entre_aspas(nome_);
  if (!tipo_valido(shape_type))
    throw falha("Tipo de forma " + std::to_string(shape_type) + " desconhecido para " + nome + ".");
  d_->shp = SHPCreateLL(path.c_str(), shape_type, &d_->ganchos);
  if (!d_->shp) throw falha("Não foi possível criar o ficheiro " + nome + ": " + causa() + ".");
  const std::string dbf = sem_extensao(path) + ".dbf";
  const std::string ldid = "LDID/" + std::to_string(language_driver);
  d_->dbf = DBFCreateLL(dbf.c_str(), language_driver ? ldid.c_str() : nullptr, &d_->ganchos);
  if (!d_->dbf) {
    d_->fecha();
    throw falha("Não foi possível criar o ficheiro " + entre_aspas(sem_extensao(nome_) + ".dbf") +
                ": " + causa() + ".");
  }
  d_->modo = dados::uso::escrita;
  d_->tipo = shape_type;
}

int ShapeFiles::shape_type() const { return d_->tipo; }
int ShapeFiles::record_count() const { return d_->registos; }
int ShapeFiles::language_driver() const { return d_->dbf ? d_->dbf->iLanguageDriver : 0; }

int ShapeFiles::field_count() const
{
  return d_->modo == dados::uso::leitura ? static_cast<int>(d_->campos.size()) : (d_->dbf ? DBFGetFieldCount(d_->dbf) : 0);
}

campo ShapeFiles::field_at(int j) const { return d_->campos.at(j - 1); }

void ShapeFiles::add_field(const std::string& name, char type, int size, int decimals)
{
  const int i = DBFAddNativeFieldType(d_->dbf, name.c_str(), type, size, decimals);
  if (i < 0)
    throw falha("Não foi possível criar o campo " + entre_aspas(name) + " (tipo " +
                std::string(1, type) + ", largura " + std::to_string(size) + ") em " +
                entre_aspas(nome_) + ".");
  // shapelib writes at most 10 bytes of a name; the format holds 11.
  char* bruto = d_->dbf->pszHeader + i * XBASE_FLDHDR_SZ;
  std::memset(bruto, 0, XBASE_FLDNAME_LEN_READ);
  std::memcpy(bruto, name.data(), std::min<size_t>(name.size(), XBASE_FLDNAME_LEN_READ));
  d_->campos.push_back(campo{name, type, size, decimals});
}

void ShapeFiles::commit_fields()
{
  // Today's date, without localtime's shared buffer: several conversions
  // may run at once.
  const std::time_t agora = std::time(nullptr);
  std::tm hoje{};
#ifdef _WIN32
  const bool data = localtime_s(&hoje, &agora) == 0;
#else
  const bool data = localtime_r(&agora, &hoje) != nullptr;
#endif
  if (data) DBFSetLastModifiedDate(d_->dbf, hoje.tm_year, hoje.tm_mon + 1, hoje.tm_mday);
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
  const auto rec = [&] { return "O registo " + std::to_string(k) + " de " + entre_aspas(nome_); };
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
    const bool partes = es::ultima_falha().shapelib.find("panPartStart") != std::string::npos;
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
  // Vertices with no part to hold them would be dropped.
  if (o->nSHPType != SHPT_NULL && !tipo_ponto(o->nSHPType) && !tipo_multiponto(o->nSHPType) &&
      o->nParts == 0 && o->nVertices > 0)
    throw falha(rec() + " não pode ser lido: tem " + std::to_string(o->nVertices) +
                " vértices e nenhuma parte. O shapefile está danificado.");
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
                entre_aspas(nome_) + " não pode ser lido: " + causa() + ".");
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
    throw falha("O registo " + std::to_string(d_->atual) + " de " + entre_aspas(nome_) +
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
    throw falha("O campo " + std::to_string(j) + " de " + entre_aspas(nome_) +
                " não tem a mesma largura que o campo de origem: a tabela não pode ser copiada.");
  std::memcpy(d_->pendente.data() + d_->desloc[i], v.bytes.data(), v.bytes.size());
}

void ShapeFiles::add_part(std::int16_t part, int part_type)
{
  pendente_.inicios.push_back(static_cast<int>(pendente_.x.size()));
  pendente_.tipos.push_back(part_type);
  pendente_.parte_atual = part;
}

void ShapeFiles::set_deletion_flag(char f) { d_->pendente[0] = f; }

void ShapeFiles::set_null() { d_->nulo = true; }

void ShapeFiles::write_record()
{
  dados& d = *d_;
  pendente& p = pendente_;
  // Built only for a fault: a record written allocates nothing here.
  const auto rec = [&] { return "o registo " + std::to_string(d.escritos + 1); };
  const auto nome = [&] { return entre_aspas(nome_); };
  if (p.com_m && p.sem_m)
    throw falha("Não foi possível escrever " + rec() + " em " + nome() +
                ": só alguns vértices têm valor M.");
  SHPObject o{};
  o.nSHPType = d.nulo ? SHPT_NULL : d.tipo;
  o.nShapeId = -1;
  const bool com_partes = !d.nulo && !tipo_ponto(d.tipo) && !tipo_multiponto(d.tipo);
  o.nParts = com_partes ? static_cast<int>(p.inicios.size()) : 0;
  // An empty list still hands shapelib a real address: it copies zero
  // items from it.
  static int nenhum_int = 0;
  static double nenhum_double = 0;
  auto ou_nada = [](auto& v, auto* nada) { return v.empty() ? nada : v.data(); };
  o.panPartStart = ou_nada(p.inicios, &nenhum_int);
  o.panPartType = ou_nada(p.tipos, &nenhum_int);
  o.nVertices = d.nulo ? 0 : static_cast<int>(p.x.size());
  o.padfX = ou_nada(p.x, &nenhum_double);
  o.padfY = ou_nada(p.y, &nenhum_double);
  o.padfZ = ou_nada(p.z, &nenhum_double);
  o.padfM = ou_nada(p.m, &nenhum_double);
  o.bMeasureIsUsed = p.com_m;
  SHPComputeExtents(&o);
  if (SHPWriteObject(d.shp, -1, &o) < 0 || es::ultima_falha().houve())
    throw falha("Não foi possível escrever " + rec() + " em " + nome() + ": " + causa() + ".");
  if (!DBFWriteTuple(d.dbf, d.escritos, d.pendente.data()) || es::ultima_falha().houve())
    throw falha("Não foi possível escrever " + rec() + " na tabela de atributos de " + nome() + ": " +
                causa() + ".");
  ++d.escritos;
  std::fill(d.pendente.begin(), d.pendente.end(), ' ');
  d.nulo = false;
  p.limpa();
}

void ShapeFiles::close_file()
{
  const bool escrita = d_->modo == dados::uso::escrita;
  if (escrita) es::limpa_falha();
  d_->fecha();
  if (escrita && es::ultima_falha().houve())
    throw falha("Não foi possível completar o shapefile " + entre_aspas(nome_) + ": " + causa() +
                ".");
}

}  // namespace kelvara
