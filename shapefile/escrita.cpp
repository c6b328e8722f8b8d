// The writing half of the shapefile component: a new shapefile's fields,
// its records as they are written, and completing it.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <system_error>
#include <thread>

#include "blocos.h"
#include "componente.h"
#include "falha.h"
#include "verifica.h"

namespace kelvara {

namespace {
// The smallest .shp split into ranges, and the smallest table, copied
// whole, that is copied while the records are (on another thread) and put
// on disk as soon as it is: 8 MiB, unless the tests set it.
std::atomic<long long> bytes_para_faixas{8LL << 20};
std::atomic<int> faixas_forcadas{0};
}  // namespace

void ShapeFiles::create_file(const std::string& path, int shape_type, int language_driver,
                             int table_version)
{
  comeca(path);
  const std::string nome = entre_aspas(nome_);
  if (!tipo_valido(shape_type))
    throw falha("Tipo de forma " + std::to_string(shape_type) + " desconhecido para " + nome + ".");
  if (d_->shapelib) {
    d_->shp = SHPCreateLL(path.c_str(), shape_type, &d_->ganchos);
    if (!d_->shp) throw falha("Não foi possível criar o ficheiro " + nome + ": " + causa() + ".");
  } else if (!d_->esc.cria(d_->ganchos, sem_extensao(path) + ".shp", sem_extensao(path) + ".shx",
                           shape_type)) {
    d_->fecha();
    throw falha("Não foi possível criar o ficheiro " + nome + ": " + causa() + ".");
  }
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
  // shapelib writes a dBase III header: Visual FoxPro's has more after its fields.
  if (table_version > 0 && table_version <= 0xFF && !(table_version >= 0x30 && table_version <= 0x32))
    d_->versao = static_cast<unsigned char>(table_version);
}

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
  if (!d_->shapelib) {
    // The records go after the header, which shapelib writes at the close.
    d_->dbf_s.usa(d_->dbf->sHooks, d_->dbf->fp);
    d_->dbf_s.vai(d_->dbf->nHeaderLength);
  }
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
  if (!(d.shapelib ? forma_shapelib() : forma_propria()) || es::houve_falha())
    throw falha("Não foi possível escrever " + rec() + " em " + nome() + ": " + causa() + ".");
  bool tabela;
  if (d.shapelib) {
    tabela = DBFWriteTuple(d.dbf, d.escritos, d.pendente.data());
  } else {
    // The table record after the last, as bytes.
    const std::size_t n = d.pendente.size();
    std::memcpy(d.dbf_s.escreve(n), d.pendente.data(), n);
    tabela = d.dbf_s.feito();
  }
  if (!tabela || es::houve_falha())
    throw falha("Não foi possível escrever " + rec() + " na tabela de atributos de " + nome() + ": " +
                causa() + ".");
  ++d.escritos;
  std::fill(d.pendente.begin(), d.pendente.end(), ' ');
  d.nulo = false;
  p.limpa();
}

bool ShapeFiles::copia_em_bytes(const ShapeFiles& entrada) const
{
  return !d_->shapelib && !entrada.d_->shapelib && d_->modo == dados::uso::escrita &&
         entrada.d_->modo == dados::uso::leitura;
}

// The table's records are copied whole when both tables lay their fields
// out alike (they do: the output's fields are the input's); otherwise field
// by field, as `set_value` does.
void ShapeFiles::copia_registo(const ShapeFiles& entrada, const funcao_xy& f)
{
  dados& d = *d_;
  const dados& e = *entrada.d_;
  const bool com_m = entrada.lido_.m && entrada.lido_.n > 0;
  if (!d.esc.copia(e.reg, com_m, f) || es::houve_falha()) [[unlikely]]
    nao_escreve(false);
  if (d.tabela_inteira) {  // copied after the loop
    ++d.escritos;
    return;
  }
  if (d.mesma_tabela <= 0) [[unlikely]]
    if (!tabela_igual(entrada)) return copia_campos(entrada);
  // Copied in blocks of records that follow one another: at the input's
  // last record, or once a block is gathered.
  if (d.tabela_falta > 0 && d.tabela_de + d.tabela_falta != e.atual) copia_tabela(entrada);
  if (d.tabela_falta == 0) d.tabela_de = e.atual;
  ++d.tabela_falta;
  ++d.escritos;
  if (e.atual == e.registos || d.tabela_falta >= d.tabela_bloco) copia_tabela(entrada);
}

[[gnu::flatten]] void ShapeFiles::copia_registos(ShapeFiles& entrada, const funcao_registo& antes,
                                                 const funcao_xy& f)
{
  const int n = entrada.record_count();
  // The output comes out as large as the input, as a rule: its space is
  // set aside at once.
  const dados& e = *entrada.d_;
  d_->esc.preve(e.shp_e.tamanho(), 100 + 8LL * n);
  // A table whose records copy whole is copied in one go after the loop,
  // by the system where it can; field by field or through the windows
  // otherwise, with the records.
  d_->tabela_inteira = e.ganchos.FRead == es::janela_le && d_->ganchos.FRead == es::janela_le &&
                       d_->escritos == 0 && tabela_igual(entrada);
  if (!d_->tabela_inteira) d_->dbf_s.preve(e.dbf_e.tamanho());
  // A large table goes on another thread while the records are copied; the
  // records' fault, where there is one, is the one told, as when the table
  // comes after them.
  std::exception_ptr falha_tabela;
  std::jthread tabela;
  if (d_->tabela_inteira &&
      static_cast<long long>(e.dbf->nRecordLength) * e.registos >= bytes_para_faixas.load()) {
    try {
      tabela = std::jthread([&] {
        try {
          copia_tabela_inteira(entrada);
        } catch (...) {
          falha_tabela = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
    }
  }
  for (int k = 1; k <= n; ++k) {
    if (const problema p = entrada.le_registo(k); p != problema::nenhum) [[unlikely]]
      entrada.recusa_registo(k, p);
    antes.chama(antes.estado, k);
    copia_registo(entrada, f);
  }
  if (tabela.joinable()) {
    tabela.join();
    if (falha_tabela) std::rethrow_exception(falha_tabela);
  } else if (d_->tabela_inteira) {
    copia_tabela_inteira(entrada);
  }
}

void ShapeFiles::nao_escreve(bool tabela) const
{
  throw falha("Não foi possível escrever o registo " + std::to_string(d_->escritos + 1) +
              (tabela ? " na tabela de atributos de " : " em ") + entre_aspas(nome_) + ": " +
              causa() + ".");
}

bool ShapeFiles::tabela_igual(const ShapeFiles& entrada)
{
  dados& d = *d_;
  const dados& e = *entrada.d_;
  if (d.mesma_tabela < 0) {
    const int c = DBFGetFieldCount(d.dbf);
    bool igual = c == DBFGetFieldCount(e.dbf) && d.dbf->nRecordLength == e.dbf->nRecordLength;
    for (int i = 0; igual && i < c; ++i)
      igual = d.dbf->panFieldOffset[i] == e.dbf->panFieldOffset[i] &&
              d.dbf->panFieldSize[i] == e.dbf->panFieldSize[i];
    d.mesma_tabela = igual;
    d.tabela_bloco = std::max(1, 256 * 1024 / std::max(1, d.dbf->nRecordLength));
  }
  return d.mesma_tabela > 0;
}

void ShapeFiles::copia_campos(const ShapeFiles& entrada)
{
  dados& d = *d_;
  const std::size_t n = d.pendente.size();
  const int c = static_cast<int>(entrada.d_->campos.size());
  for (int j = 1; j <= c; ++j) set_value(j, entrada.value(j));
  d.pendente[0] = entrada.deletion_flag();
  std::memcpy(d.dbf_s.escreve(n), d.pendente.data(), n);
  std::fill(d.pendente.begin(), d.pendente.end(), ' ');
  if (!d.dbf_s.feito() || es::houve_falha()) nao_escreve(true);
  ++d.escritos;
}

// The table records gathered by `copia_registo`, copied as bytes.
void ShapeFiles::copia_tabela(const ShapeFiles& entrada)
{
  dados& d = *d_;
  dados& e = *entrada.d_;
  const long long n = e.dbf->nRecordLength;
  const long long inicio = e.dbf->nHeaderLength + n * (d.tabela_de - 1);
  long long pos = inicio;
  long long falta = n * d.tabela_falta;
  const int primeiro = d.escritos - d.tabela_falta + 1;  // the first of them, in the output
  d.tabela_falta = 0;
  e.tuplo = nullptr;  // the reads below may move the input table's window
  while (falta > 0) {
    const std::size_t bloco = static_cast<std::size_t>(std::min<long long>(falta, 16 * 1024));
    const unsigned char* p = e.dbf_e.le(pos, bloco);
    if (!p) {
      const long long k = d.tabela_de + (pos - inicio) / n;
      throw falha("O registo " + std::to_string(k) + " da tabela de atributos de " +
                  entre_aspas(entrada.nome_) + " não pode ser lido: " + entrada.causa() + ".");
    }
    std::memcpy(d.dbf_s.escreve(bloco), p, bloco);
    if (!d.dbf_s.feito() || es::houve_falha())
      throw falha("Não foi possível escrever o registo " +
                  std::to_string(primeiro + (pos - inicio) / n) +
                  " na tabela de atributos de " + entre_aspas(nome_) + ": " + causa() + ".");
    pos += static_cast<long long>(bloco);
    falta -= static_cast<long long>(bloco);
  }
}

// The pending record's shape through shapelib, the reference.
bool ShapeFiles::forma_shapelib()
{
  dados& d = *d_;
  pendente& p = pendente_;
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
  return SHPWriteObject(d.shp, -1, &o) >= 0;
}

// The pending record's shape through the own record path: encoded into the
// .shp's window, with its index entry.
bool ShapeFiles::forma_propria()
{
  dados& d = *d_;
  pendente& p = pendente_;
  registo_novo o;
  o.tipo = d.nulo ? SHPT_NULL : d.tipo;
  const bool com_partes = !d.nulo && !tipo_ponto(d.tipo) && !tipo_multiponto(d.tipo);
  o.partes = com_partes ? static_cast<int>(p.inicios.size()) : 0;
  o.inicios = p.inicios.data();
  o.tipos = p.tipos.data();
  o.vertices = d.nulo ? 0 : static_cast<int>(p.x.size());
  o.x = p.x.data();
  o.y = p.y.data();
  o.z = p.z.data();
  o.m = p.m.data();
  o.com_m = p.com_m;
  return d.esc.escreve(o);
}

void ShapeFiles::close_file()
{
  if (d_->modo == dados::uso::leitura) {
    // An input written to while it was read may have given records of two
    // versions, or of none: nothing made from it may stand.
    dados& d = *d_;
    d.fecha();
    for (const auto& [f, antes] : d.marcas)
      if (es::marca_de(f) != antes)
        throw falha("O ficheiro " + entre_aspas(f) +
                    " foi alterado por outro programa enquanto era lido: a conversão foi "
                    "cancelada e nada foi escrito. Converta-o de novo quando nenhum programa o "
                    "estiver a alterar.");
    return;
  }
  const bool escrita = d_->modo == dados::uso::escrita;
  if (escrita) es::limpa_falha();
  if (escrita && !d_->shapelib) {
    dados& d = *d_;
    // Table records gathered and never copied: only a record loop that
    // stopped short of the input's last record leaves any.
    if (d.tabela_falta > 0)
      throw falha("Não foi possível completar o shapefile " + entre_aspas(nome_) + ": faltam " +
                  std::to_string(d.tabela_falta) + " registos da tabela de atributos.");
    bool ok = d.esc.fecha();
    // The table as shapelib leaves it: its records, the end-of-file byte
    // after the last, the header (written by DBFClose) counting them.
    if (d.escritos > 0) {
      if (d.dbf->bWriteEndOfFileChar) {
        *d.dbf_s.escreve(1) = 0x1a;
        ok = d.dbf_s.feito() && ok;
      }
      d.dbf->nRecords = d.escritos;
      d.dbf->bUpdated = 1;
    }
    if (!ok && !es::ultima_falha().houve()) es::regista(caminho_, 0);
  }
  if (escrita && d_->versao != 3) {
    // The header written now, its version byte then set; the close rewrites
    // the header from what it reads back.
    dados& d = *d_;
    d.dbf_s.entrega();  // the records filled in, before shapelib's calls
    DBFUpdateHeader(d.dbf);
    const SAHooks& g = d.dbf->sHooks;
    if (g.FSeek(d.dbf->fp, 0, SEEK_SET) != 0 || g.FWrite(&d.versao, 1, 1, d.dbf->fp) != 1)
      if (!es::ultima_falha().houve()) es::regista(sem_extensao(caminho_) + ".dbf", 0);
  }
  d_->fecha();
  if (escrita && es::ultima_falha().houve())
    throw falha("Não foi possível completar o shapefile " + entre_aspas(nome_) + ": " + causa() +
                ".");
}

std::pair<long long, int> ShapeFiles::faixas_desde(long long bytes, int quantas)
{
  return {bytes_para_faixas.exchange(bytes), faixas_forcadas.exchange(quantas)};
}

std::vector<ShapeFiles::faixa> ShapeFiles::faixas(const ShapeFiles& entrada, int n)
{
  const dados& e = *entrada.d_;
  if (const int q = faixas_forcadas.load(); q > 0) n = q;
  if (n < 2 || !copia_em_bytes(entrada) || !e.continuo || e.atual != 0 || e.registos < 2 ||
      e.ganchos.FRead != es::janela_le || d_->ganchos.FRead != es::janela_le || d_->escritos != 0)
    return {};
  const long long fim = e.cab.tamanho;
  if (fim - 100 < bytes_para_faixas.load() || !tabela_igual(entrada)) return {};
  // Small records (points) are bound by the reading and writing, which
  // ranges do not make faster: each would only hold windows of its own.
  // (Measurements in bench/RESULTS.md.)
  if (faixas_forcadas.load() == 0 && (fim - 100) / e.registos < 128) return {};
  // Each range ends before the first record that begins past its share of
  // the bytes, found in the index by halves.
  via_es shx;
  if (!shx.abre(e.ganchos, e.nome_shx, "rb")) return {};
  bool lido = true;
  auto desl = [&](int k) -> long long {
    const unsigned char* p = shx.le(100 + 8LL * (k - 1), 8);
    lido = lido && p;
    return p ? static_cast<long long>(be32(p)) * 2 : 0;
  };
  std::vector<faixa> r;
  int primeiro = 1;
  long long inicio = 100;
  for (int i = 1; i < n; ++i) {
    const long long alvo = 100 + (fim - 100) / n * i;
    int lo = primeiro + 1, hi = e.registos + 1;
    while (lo < hi) {
      const int meio = lo + (hi - lo) / 2;
      if (desl(meio) >= alvo) hi = meio;
      else lo = meio + 1;
    }
    if (lo > e.registos) break;
    const long long d = desl(lo);
    r.push_back(faixa{primeiro, lo - 1, inicio, d});
    primeiro = lo;
    inicio = d;
  }
  r.push_back(faixa{primeiro, e.registos, inicio, fim});
  if (!lido || r.size() < 2) return {};
  d_->esc.preve(fim, 100 + 8LL * e.registos);
  return r;
}

void ShapeFiles::le_faixa(const ShapeFiles& entrada)
{
  comeca(entrada.caminho_);
  nome_ = entrada.nome_;
  dados& d = *d_;
  const dados& e = *entrada.d_;
  d.ganchos = e.ganchos;
  d.shapelib = false;
  d.tipo = e.tipo;
  d.registos = e.registos;
  d.cab = e.cab;
  d.nome_shx = e.nome_shx;
  if (!d.shp_e.abre(d.ganchos, caminho_, "rb"))
    throw falha("Não foi possível abrir o shapefile " + entre_aspas(nome_) + ": " + causa() + ".");
  // As `abre_registos` reads it.
  if ((d.cab.tamanho - 100) / d.registos >= 128) d.shp_e.sem_adiantar();
  d.modo = dados::uso::leitura;
  d.inteiro = true;
}

void ShapeFiles::escreve_faixa(const ShapeFiles& saida, const faixa& f)
{
  comeca(saida.caminho_);
  nome_ = saida.nome_;
  dados& d = *d_;
  d.ganchos = saida.d_->ganchos;
  d.shapelib = false;
  d.tipo = saida.d_->tipo;
  d.escritos = f.primeiro - 1;
  const std::string base = sem_extensao(caminho_);
  if (!d.esc.cria_faixa(d.ganchos, base + ".shp", base + ".shx", d.tipo, f.primeiro, f.inicio)) {
    d.fecha();
    throw falha("Não foi possível escrever o ficheiro " + entre_aspas(nome_) + ": " + causa() + ".");
  }
  d.modo = dados::uso::escrita;
}

bool ShapeFiles::copia_faixa(ShapeFiles& entrada, const faixa& f, const funcao_registo& antes,
                             const funcao_xy& fn)
{
  dados& d = *d_;
  const dados& e = *entrada.d_;
  for (int k = f.primeiro; k <= f.ultimo; ++k) {
    if (const problema p = entrada.le_registo(k); p != problema::nenhum) [[unlikely]]
      entrada.recusa_registo(k, p);
    if (d.esc.posicao() != e.desl_lido) [[unlikely]]
      return false;
    antes.chama(antes.estado, k);
    const bool com_m = entrada.lido_.m && entrada.lido_.n > 0;
    if (!d.esc.copia(e.reg, com_m, fn) || es::houve_falha()) [[unlikely]]
      nao_escreve(false);
    ++d.escritos;
  }
  if (d.esc.posicao() != f.fim) return false;
  const bool ok = d.esc.fecha_faixa();
  d.modo = dados::uso::nenhum;
  if (!ok || es::houve_falha())
    throw falha("Não foi possível completar o shapefile " + entre_aspas(nome_) + ": " + causa() +
                ".");
  return true;
}

void ShapeFiles::copia_tabela_inteira(ShapeFiles& entrada)
{
  dados& d = *d_;
  const dados& e = *entrada.d_;
  const long long n = static_cast<long long>(e.dbf->nRecordLength) * e.registos;
  d.dbf_s.entrega();
  long long feitos = 0;
  bool na_leitura = false;
  es::limpa_falha();
  if (!es::copia_trecho(e.dbf->fp, e.dbf->nHeaderLength, d.dbf->fp, d.dbf->nHeaderLength, n, feitos,
                        na_leitura)) {
    const std::string k = std::to_string(feitos / e.dbf->nRecordLength + 1);
    if (na_leitura)
      throw falha("O registo " + k + " da tabela de atributos de " + entre_aspas(entrada.nome_) +
                  " não pode ser lido: " + entrada.causa() + ".");
    throw falha("Não foi possível escrever o registo " + k + " na tabela de atributos de " +
                entre_aspas(nome_) + ": " + causa() + ".");
  }
  d.dbf_s.vai(d.dbf->nHeaderLength + n);
  // Done while the records are still being copied: the flush before the
  // output is put in place finds only the header left.
  if (n >= bytes_para_faixas.load()) es::janela_poe_no_disco(d.dbf->fp);
}

void ShapeFiles::junta_faixas(const std::vector<ShapeFiles*>& partes)
{
  dados& d = *d_;
  for (const ShapeFiles* p : partes) {
    d.esc.junta(p->d_->esc);
    d.escritos = p->d_->escritos;
  }
}

}  // namespace kelvara
