#include "shapefiles.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include <shapefil.h>

#include "falha.h"
#include "ficheiros.h"
#include "ganchos.h"
#include "componente.h"
#include "registos.h"
#include "verifica.h"

namespace kelvara {


std::atomic<bool> com_shapelib{false};

namespace {

// shapelib opens an input's files by its base name and each extension in
// lower case, then in upper case ("rios.dbf", "rios.DBF"). While it does,
// the files found in another case ("rios.Dbf") are handed to the hooks in
// their place: pairs of the name asked for and the name to open.
thread_local const std::vector<std::pair<std::string, std::string>>* trocas = nullptr;
thread_local SAFile (*abre_antes)(const char*, const char*) = nullptr;

SAFile abre_trocado(const char* nome, const char* modo)
{
  if (trocas)
    for (const auto& [pedido, real] : *trocas)
      if (pedido == nome) return abre_antes(real.c_str(), modo);
  return (abre_antes ? abre_antes : es::ganchos_em_uso().FOpen)(nome, modo);
}

// The hooks `g` with their open handing over the names of `t` while this
// lives.
class com_nomes {
 public:
  com_nomes(const SAHooks& g, const std::vector<std::pair<std::string, std::string>>& t) : g_(g)
  {
    abre_antes = g.FOpen;
    trocas = &t;
    g_.FOpen = abre_trocado;
  }
  ~com_nomes() { trocas = nullptr; }
  com_nomes(const com_nomes&) = delete;
  com_nomes& operator=(const com_nomes&) = delete;
  SAHooks* ganchos() { return &g_; }

 private:
  SAHooks g_;
};

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

ShapeFiles::ShapeFiles() : d_(std::make_unique<dados>()) {}

void ShapeFiles::usa_shapelib(bool sim) { com_shapelib.store(sim); }
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
  d_ = std::make_unique<dados>();
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
  const es::tipo k_shp = es::tipo_de(path);
  if (k_shp == es::tipo::nenhum) throw falha("Não existe o ficheiro " + nome + ".");
  // The companions in any letter case of their extensions.
  const std::string shx = es::companheiro(path, ".shx");
  const std::string dbf = es::companheiro(path, ".dbf");
  // Before anything is read: what a change while the input is read would
  // alter (`close_file` looks again).
  for (const std::string& f : {path, shx, dbf}) d_->marcas.emplace_back(f, es::marca_de(f));
  // The .shp's header first, read once: the box it declares is asked for
  // (`caixa`) even of an input that fails a check below.
  if (k_shp == es::tipo::ficheiro) d_->cab = le_cabecalho(path);
  const std::string base = sem_extensao(path);
  const std::vector<std::pair<std::string, std::string>> nomes{
      {base + ".shp", path}, {base + ".shx", shx}, {base + ".dbf", dbf}};
  if (!es::existe(shx))
    throw falha("Falta o ficheiro de índice " + entre_aspas(shx) + " do shapefile " + nome + ".");
  if (!es::existe(dbf))
    throw falha("Falta a tabela de atributos " + entre_aspas(dbf) + " do shapefile " + nome + ".");
  // Only regular files are read: a FIFO would never end, a folder is none.
  for (const std::string* f : {&path, &shx, &dbf}) {
    const es::tipo k = f == &path ? k_shp : es::tipo_de(*f);
    if (k == es::tipo::pasta)
      throw falha("O nome " + entre_aspas(*f) + " é de uma pasta, não de um ficheiro.");
    if (k != es::tipo::ficheiro)
      throw falha("O ficheiro " + entre_aspas(*f) +
                  " não é um ficheiro comum (é um FIFO, um dispositivo ou um socket) e não pode "
                  "ser lido como parte de um shapefile.");
  }
  const long long registos = verifica_cabecalhos(d_->cab, path, shx);
  std::optional<exame_indice> exame;
  if (d_->shapelib) {
    com_nomes g(d_->ganchos, nomes);
    d_->shp = SHPOpenLL(path.c_str(), "rb", g.ganchos());
    if (!d_->shp) throw falha("Não foi possível abrir o shapefile " + nome + ": " + causa() + ".");
    d_->tipo = d_->shp->nShapeType;
    d_->registos = d_->shp->nRecords;
  } else {
    exame = abre_registos(path, shx, registos);
  }
  {
    com_nomes g(d_->ganchos, nomes);
    d_->dbf = DBFOpenLL(dbf.c_str(), "rb", g.ganchos());
  }
  if (!d_->dbf) {
    // The table itself could not be opened, or its header is no table's
    // (a code page file that is not there is no fault).
    const es::falha_es& f = es::ultima_falha();
    const bool abertura = f.abertura == dbf;
    throw falha("Não foi possível abrir a tabela de atributos " + entre_aspas(dbf) + ": " +
                (f.houve() || abertura ? causa()
                                       : std::string("o cabeçalho não descreve uma tabela dBase válida")) +
                ".");
  }
  {
    // The table's version, which shapelib does not keep.
    const SAHooks& g = d_->dbf->sHooks;
    if (g.FSeek(d_->dbf->fp, 0, SEEK_SET) != 0 || g.FRead(&d_->versao, 1, 1, d_->dbf->fp) != 1)
      throw falha("Não foi possível abrir a tabela de atributos " + entre_aspas(dbf) + ": " +
                  causa() + ".");
  }
  d_->modo = dados::uso::leitura;
  if (d_->shapelib) verifica_indice(d_->shp, path, shx);
  else if (exame) exame->conclui(d_->registos, path, shx);
  else verifica_indice_inteiro(path, shx);
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
  if (d_->shapelib) SHPSetFastModeReadObject(d_->shp, 1);
  else d_->dbf_e.usa(d_->dbf->sHooks, d_->dbf->fp);
  d_->inteiro = true;
}

// The .shp and .shx opened as shapelib would find them, the index's header
// read and every entry checked in one pass; what the entries say is checked
// only once the table is open, as before. Empty when the offsets go back:
// then the index is checked whole, in memory (`verifica_indice_inteiro`).
std::optional<exame_indice> ShapeFiles::abre_registos(const std::string& path,
                                                      const std::string& shx, long long registos)
{
  dados& d = *d_;
  auto nao_abre = [&] {
    throw falha("Não foi possível abrir o shapefile " + entre_aspas(nome_) + ": " + causa() + ".");
  };
  if (!d.shp_e.abre(d.ganchos, path, "rb")) nao_abre();
  d.nome_shx = shx;
  if (!d.shx_e.abre(d.ganchos, d.nome_shx, "rb")) nao_abre();
  // The headers were read and checked already (`cab`).
  if (!d.shp_e.le(0, 100) || !d.shx_e.le(0, 100)) nao_abre();
  if (registos < 0 || registos > 256000000) nao_abre();
  const int n = static_cast<int>(registos);
  d.tipo = d.cab.tipo;
  d.registos = n;
  // The .shp's size as its header's reading found it.
  std::optional<exame_indice> exame(std::in_place, d.cab.tamanho);
  // Read in blocks of entries, each entry checked as shapelib's reader would.
  constexpr int por_bloco = 2048;
  for (int i = 0; i < n; i += por_bloco) {
    const int m = std::min(por_bloco, n - i);
    const unsigned char* e = d.shx_e.le(100 + 8LL * i, 8 * static_cast<std::size_t>(m));
    if (!e) nao_abre();
    for (int j = 0; j < m; ++j, e += 8) {
      const std::uint32_t desl = be32(e), tam = be32(e + 4);
      if (desl > static_cast<std::uint32_t>(INT_MAX) ||
          tam > static_cast<std::uint32_t>(INT_MAX / 2 - 4))
        nao_abre();
      if (exame && !exame->junta(i + j, desl * 2, tam * 2)) exame.reset();
    }
  }
  d.continuo = exame && exame->continuo();
  if (!exame) {
    // Offsets that go back: the index is kept whole for its checks.
    d.desl.resize(n);
    d.tam.resize(n);
    for (int i = 0; i < n; ++i) {
      const unsigned char* e = d.shx_e.le(100 + 8LL * i, 8);
      if (!e) nao_abre();
      d.desl[i] = be32(e) * 2;
      d.tam[i] = be32(e + 4) * 2;
    }
  }
  // Like shapelib's reader, which holds only the .shp open once it has the
  // index: the .shx is opened again for the records.
  d.shx_e.fecha();
  // Large records (lines, polygons) are read where they are transformed:
  // the second processor has the writing of the output to do, and the
  // bytes read are then in the first one's cache. Small ones (points) cost
  // the record loop more per byte than the reading does, which then goes
  // to the second processor. (Measurements in bench/RESULTS.md.)
  if (n > 0 && (d.cab.tamanho - 100) / n >= 128) d.shp_e.sem_adiantar();
  return exame;
}

// An index whose offsets go back, checked whole.
void ShapeFiles::verifica_indice_inteiro(const std::string& path, const std::string& shx)
{
  dados& d = *d_;
  verifica_indice(d.desl.data(), d.tam.data(), d.registos, path, shx);
  d.desl = {};
  d.tam = {};
}

bool ShapeFiles::aberto_em(const std::string& path) const
{
  return d_->inteiro && d_->atual == 0 && caminho_ == path;
}

int ShapeFiles::shape_type() const { return d_->tipo; }
std::optional<std::array<double, 4>> ShapeFiles::caixa() const
{
  const cabecalho& c = d_->cab;
  if (!c.lido || c.tamanho < 100 || c.comprimento <= 100) return std::nullopt;
  return std::array<double, 4>{c.caixa[0], c.caixa[1], c.caixa[2], c.caixa[3]};
}
int ShapeFiles::record_count() const { return d_->registos; }
int ShapeFiles::language_driver() const { return d_->dbf ? d_->dbf->iLanguageDriver : 0; }
int ShapeFiles::table_version() const { return d_->versao; }

int ShapeFiles::field_count() const
{
  return d_->modo == dados::uso::leitura ? static_cast<int>(d_->campos.size()) : (d_->dbf ? DBFGetFieldCount(d_->dbf) : 0);
}

campo ShapeFiles::field_at(int j) const { return d_->campos.at(j - 1); }

void ShapeFiles::go_to_record(int k)
{
  // Built only for a fault: a record read allocates nothing.
  if (!d_->shapelib && k >= 1 && k <= d_->registos) {
    if (const problema p = le_registo(k); p != problema::nenhum) [[unlikely]]
      recusa_registo(k, p);
    return;
  }
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
  const std::uint32_t comprimento = be32(cab + 4);
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
    auto bytes = [](const double* p) { return reinterpret_cast<const unsigned char*>(p); };
    lido_.n = o->nVertices;
    lido_.passo = 8;
    lido_.x = bytes(o->padfX);
    lido_.y = bytes(o->padfY);
    lido_.z = bytes(o->padfZ);
    if (o->bMeasureIsUsed && tipo_com_m(o->nSHPType)) lido_.m = bytes(o->padfM);
  }
}

void ShapeFiles::recusa_registo(int k, problema p) const
{
  const registo_lido& o = d_->reg;
  const std::string rec = "O registo " + std::to_string(k) + " de " + entre_aspas(nome_);
  switch (p) {
    case problema::nenhum:
    case problema::leitura: throw falha(rec + " não pode ser lido: " + causa() + ".");
    case problema::partes:
      throw falha(rec + " não pode ser lido: as suas partes começam fora de ordem ou para além do "
                        "último vértice. O shapefile está danificado.");
    case problema::comprimento:
      throw falha(rec + " não pode ser lido: o comprimento no cabeçalho do registo não coincide "
                        "com o do índice .shx. O shapefile está danificado.");
    case problema::tipo:
      throw falha(rec + " tem o tipo de forma " + std::to_string(o.tipo) +
                  ", diferente do tipo do ficheiro (" + std::to_string(d_->tipo) + ").");
    case problema::primeira_parte:
      throw falha(rec + " não pode ser lido: a primeira parte não começa no primeiro vértice.");
    case problema::sem_partes:
      throw falha(rec + " não pode ser lido: tem " + std::to_string(o.vertices) +
                  " vértices e nenhuma parte. O shapefile está danificado.");
    case problema::multipatch_m:
      throw falha(rec + " é uma MultiPatch com valores M, que esta versão não consegue "
                        "preservar; a conversão perdê-los-ia.");
  }
  throw falha(rec + " não pode ser lido.");
}

// The current record's table record, read in place on the own record path.
const char* ShapeFiles::tuplo() const
{
  dados& d = *d_;
  if (d.tuplo) return d.tuplo;
  const int k = d.atual;
  d.tuplo = reinterpret_cast<const char*>(
      d.dbf_e.le(d.dbf->nHeaderLength + static_cast<long long>(d.dbf->nRecordLength) * (k - 1),
                 static_cast<std::size_t>(d.dbf->nRecordLength)));
  if (!d.tuplo)
    throw falha("O registo " + std::to_string(k) + " da tabela de atributos de " +
                entre_aspas(nome_) + " não pode ser lido: " + causa() + ".");
  return d.tuplo;
}

valor ShapeFiles::value(int j) const
{
  const int i = j - 1;
  return valor{std::string_view(tuplo() + d_->dbf->panFieldOffset[i],
                                static_cast<size_t>(d_->dbf->panFieldSize[i]))};
}

char ShapeFiles::deletion_flag() const { return tuplo()[0]; }

bool ShapeFiles::is_null() const
{
  return (d_->shapelib ? d_->obj->nSHPType : d_->reg.tipo) == SHPT_NULL;
}

int ShapeFiles::part_count() const
{
  if (!d_->shapelib) {
    const registo_lido& o = d_->reg;
    if (o.tipo == SHPT_NULL) return 0;
    if (tipo_ponto(o.tipo) || tipo_multiponto(o.tipo)) return o.vertices > 0 ? 1 : 0;
    return o.partes;
  }
  const SHPObject* o = d_->obj;
  if (o->nSHPType == SHPT_NULL) return 0;
  if (tipo_ponto(o->nSHPType) || tipo_multiponto(o->nSHPType)) return o->nVertices > 0 ? 1 : 0;
  return o->nParts;
}

parte ShapeFiles::part_at(int i) const
{
  if (i < 1 || i > part_count())
    throw falha("O registo " + std::to_string(d_->atual) + " de " + entre_aspas(nome_) +
                " não tem a parte " + std::to_string(i) + ".");
  if (!d_->shapelib) {
    const registo_lido& o = d_->reg;
    if (tipo_ponto(o.tipo) || tipo_multiponto(o.tipo)) return parte{1, o.vertices, SHPP_RING};
    const int inicio = static_cast<int>(le32(o.inicios + 4 * (i - 1)));
    const int fim = i < o.partes ? static_cast<int>(le32(o.inicios + 4 * i)) : o.vertices;
    return parte{inicio + 1, fim, o.tipos ? static_cast<int>(le32(o.tipos + 4 * (i - 1))) : SHPP_RING};
  }
  const SHPObject* o = d_->obj;
  if (tipo_ponto(o->nSHPType) || tipo_multiponto(o->nSHPType)) return parte{1, o->nVertices, SHPP_RING};
  const int fim = i < o->nParts ? o->panPartStart[i] : o->nVertices;
  return parte{o->panPartStart[i - 1] + 1, fim, o->panPartType ? o->panPartType[i - 1] : SHPP_RING};
}

}  // namespace kelvara
