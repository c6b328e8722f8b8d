#include "apoio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <charconv>

#include <gtest/gtest.h>
#include <shapefil.h>

#include "caminhos.h"
#include "conversao.h"
#include "falha.h"
#include "rotas.h"
#include "shapefiles.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace kelvara::teste {

namespace {

// KELVARA_FAIXAS=N: every copy of this run that can be made in ranges is
// made in N of them, however small (the run of ctest named "faixas").
[[maybe_unused]] const bool faixas_pedidas = [] {
  faixas_do_ambiente();
  return true;
}();

// shapelib's own hooks, but for writes of nothing: shapelib hands them a
// null buffer (the field list of a table without fields), which stdio may
// not take.
SAOffset escreve_algo(void* p, SAOffset tamanho, SAOffset n, SAFile f)
{
  if (tamanho == 0 || n == 0) return 0;
  return std::fwrite(p, tamanho, n, reinterpret_cast<std::FILE*>(f));
}

}  // namespace

pasta_temporaria::pasta_temporaria()
{
  static std::atomic<int> contador{0};
  const auto t = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
  const long pid = static_cast<long>(_getpid());
#else
  const long pid = static_cast<long>(getpid());
#endif
  p_ = fs::temp_directory_path() /
       ("kelvara-teste-" + std::to_string(pid) + "-" + std::to_string(t) + "-" +
        std::to_string(contador++));
  fs::create_directories(p_);
}

pasta_temporaria::~pasta_temporaria()
{
  std::error_code ec;
  fs::permissions(p_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(p_, ec);
}

std::string pasta_temporaria::operator/(const std::string& nome) const
{
  return texto(p_ / kelvara::caminho(nome));
}

std::vector<std::string> pasta_temporaria::ficheiros() const
{
  std::vector<std::string> r;
  for (const auto& e : fs::directory_iterator(p_)) r.push_back(texto(e.path().filename()));
  std::sort(r.begin(), r.end());
  return r;
}

std::vector<std::string> janela_teste::textos() const
{
  std::vector<std::string> r;
  for (const auto& m : mensagens) r.push_back(m.texto);
  return r;
}

bool converte(janela_teste& j, const std::string& s1, const std::string& s2,
              const std::string& entrada, const std::string& saida,
              const std::string& parametros_x, const std::string& parametros_y,
              const std::string& grelhas, bool forcar)
{
  j.fim = kelvara::converte(
      pedido{s1, s2, entrada, saida, parametros_x, parametros_y, grelhas, forcar}, j);
  j.mensagens.insert(j.mensagens.end(), j.fim.mensagens.begin(), j.fim.mensagens.end());
  return j.fim.como == desfecho::criado;
}

void faixas_do_ambiente()
{
  if (const char* n = std::getenv("KELVARA_FAIXAS")) ShapeFiles::faixas_desde(0, std::atoi(n));
  else ShapeFiles::faixas_desde(8LL << 20, 0);
}

com_faixas::com_faixas(int quantas) { ShapeFiles::faixas_desde(0, quantas); }

std::string falha_ao_converter(const std::string& s1, const std::string& s2,
                               const std::string& entrada, const std::string& saida, bool forcar)
{
  janela_teste j;
  if (converte(j, s1, s2, entrada, saida, "", "", "", forcar)) return "";
  return j.mensagens.empty() ? "(sem mensagem)" : j.mensagens.back().texto;
}

void pontos(const std::string& base, const std::vector<std::pair<double, double>>& xy)
{
  shapefile_teste s;
  s.tipo = SHPT_POINTZ;
  s.campos = {{"ID", 'N', 4, 0}};
  for (size_t k = 0; k < xy.size(); ++k) {
    forma f;
    if (!std::isnan(xy[k].first)) {
      f.tipo = SHPT_POINTZ;
      f.x = {xy[k].first};
      f.y = {xy[k].second};
      f.z = {10.0 * static_cast<double>(k)};
      f.m = {-1.0 * static_cast<double>(k)};
      f.com_m = true;
    }
    s.formas.push_back(f);
    s.valores.push_back({std::to_string(k + 1)});
  }
  escreve(base, s);
}

std::vector<std::pair<double, double>> em_volta(double x0, double y0)
{
  std::vector<std::pair<double, double>> r;
  for (int k = 0; k < 5; ++k)
    r.emplace_back(k == 2 ? NAN : x0 + 1234.5 * k, y0 - 987.25 * k);
  return r;
}

std::pair<double, double> dentro_de(const std::string& sistema)
{
  const kelvara::sistema& s = *sistema_de(sistema);
  const area& a = s.area;
  if (a.margem < 50000) return {(a.x_min + a.x_max) / 2, (a.y_min + a.y_max) / 2};
  const bool militar = s.projeccao.falso_este > 100000;
  return {1000.0 + (militar ? 200000 : 0), -2000.0 + (militar ? 300000 : 0)};
}

std::string texto_prj(const std::string& sistema)
{
  const kelvara::sistema* s = sistema_de(sistema);
  return s ? std::string(s->prj) : std::string();
}

std::string falha_de(const std::function<void()>& f)
{
  try {
    f();
  } catch (const falha& e) {
    return e.what();
  }
  return "(sem falha)";
}

namespace {

// Plain shapelib's own file calls, taking UTF-8 names on Windows too.
SAHooks* ganchos_utf8()
{
  static SAHooks g = [] {
    SAHooks h;
#ifdef _WIN32
    SASetupUtf8Hooks(&h);
#else
    SASetupDefaultHooks(&h);
#endif
    h.FWrite = escreve_algo;
    return h;
  }();
  return &g;
}

SHPHandle cria_shp(const std::string& nome, int tipo) { return SHPCreateLL(nome.c_str(), tipo, ganchos_utf8()); }

std::string numero(double v)
{
  char b[40];
  return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}
}  // namespace

std::string ficheiro_parametros(char letra, const coeficientes& c)
{
  const double(&k)[6] = (letra == 'X' || letra == 'x') ? c.A : c.B;
  std::string s = "\"kelvara, teste\",conjunto\r\n" + std::string(1, letra) + "\r\n";
  s += numero(c.x0) + ", " + numero(c.y0) + "\r\n" + numero(c.X0) + ", " + numero(c.Y0) + "\r\n" +
       numero(c.kx) + ", " + numero(c.ky) + "\r\n";
  for (int i = 0; i < 6; ++i) s += numero(k[i]) + (i < 5 ? ", " : "\r\n");
  return s;
}

void polilinhas(const std::string& base, int registos, int vertices, bool com_z)
{
  // Written record by record, so that a file of tens of megabytes never
  // lies in memory; sizes vary so that no two blocks of a file end alike.
  const int tipo = com_z ? SHPT_ARCZ : SHPT_ARC;
  SHPHandle shp = cria_shp(base + ".shp", tipo);
  DBFHandle dbf = DBFCreateLL((base + ".dbf").c_str(), "LDID/87", ganchos_utf8());
  ASSERT_TRUE(shp && dbf);
  DBFAddField(dbf, "ID", FTInteger, 10, 0);
  DBFAddField(dbf, "NOME", FTString, 40, 0);
  std::vector<double> x, y, z, m;
  std::vector<int> inicios;
  for (int k = 0; k < registos; ++k) {
    const int n = vertices + k % 7, partes = 1 + k % 3;
    x.clear(), y.clear(), z.clear(), m.clear(), inicios.clear();
    for (int v = 0; v < n; ++v) {
      if (v % (n / partes) == 0 && static_cast<int>(inicios.size()) < partes) inicios.push_back(v);
      // Records go round in a band across the mainland, however many.
      x.push_back(-90000.0 + 37.25 * (k % 8000) + 3.5 * v);
      y.push_back(150000.0 - 11.5 * (k % 8000) + 1.75 * v);
      z.push_back(100.0 + k + 0.5 * v);
      m.push_back(2.0 * v);
    }
    SHPObject* o = SHPCreateObject(tipo, -1, partes, inicios.data(), nullptr, n, x.data(), y.data(),
                                   com_z ? z.data() : nullptr, com_z ? m.data() : nullptr);
    SHPWriteObject(shp, -1, o);
    SHPDestroyObject(o);
    DBFWriteIntegerAttribute(dbf, k, 0, k + 1);
    DBFWriteStringAttribute(dbf, k, 1, ("Linha de água n.º " + std::to_string(k + 1)).c_str());
  }
  SHPClose(shp);
  DBFClose(dbf);
}

void inverte_registos(const std::string& de, const std::string& para)
{
  const std::string shp = bytes(de + ".shp");
  std::string shx = bytes(de + ".shx");
  const int n = static_cast<int>((shx.size() - 100) / 8);
  std::string novo = shp.substr(0, 100);
  for (int k = n; k >= 1; --k) {
    const size_t d = deslocamento(shx, k);
    const size_t t = 8 + 2u * static_cast<size_t>(le_grande_endian(shp, d + 4));
    poe_grande_endian(shx, 100 + 8 * (k - 1), static_cast<std::int32_t>(novo.size() / 2));
    novo += shp.substr(d, t);
  }
  ASSERT_EQ(novo.size(), shp.size());
  grava(para + ".shp", novo);
  grava(para + ".shx", shx);
  grava(para + ".dbf", bytes(de + ".dbf"));
}

void escreve(const std::string& base, const shapefile_teste& s)
{
  SHPHandle shp = cria_shp(base + ".shp", s.tipo);
  const std::string ldid = "LDID/" + std::to_string(s.ldid);
  DBFHandle dbf = DBFCreateLL((base + ".dbf").c_str(), s.ldid ? ldid.c_str() : nullptr, ganchos_utf8());
  if (!shp || !dbf) throw std::runtime_error("não foi possível criar " + base);
  for (const definicao& c : s.campos)
    if (DBFAddNativeFieldType(dbf, c.nome.c_str(), c.tipo, c.largura, c.decimais) < 0)
      throw std::runtime_error("campo recusado: " + c.nome);
  if (s.campos.empty()) dbf->pszCurrentRecord = static_cast<char*>(std::malloc(1));
  for (size_t k = 0; k < s.formas.size(); ++k) {
    const forma& f = s.formas[k];
    SHPObject* o;
    if (f.tipo == SHPT_NULL) {
      o = SHPCreateSimpleObject(SHPT_NULL, 0, nullptr, nullptr, nullptr);
    } else {
      o = SHPCreateObject(f.tipo, -1, static_cast<int>(f.inicios.size()), f.inicios.data(),
                          f.tipos_partes.empty() ? nullptr : f.tipos_partes.data(),
                          static_cast<int>(f.x.size()), f.x.data(), f.y.data(),
                          f.z.empty() ? nullptr : f.z.data(), f.com_m ? f.m.data() : nullptr);
      o->bMeasureIsUsed = f.com_m;
    }
    SHPWriteObject(shp, -1, o);
    SHPDestroyObject(o);
    for (size_t j = 0; j < s.campos.size(); ++j) {
      const std::string v = k < s.valores.size() && j < s.valores[k].size() ? s.valores[k][j] : "";
      if (v.empty()) DBFWriteNULLAttribute(dbf, static_cast<int>(k), static_cast<int>(j));
      else DBFWriteStringAttribute(dbf, static_cast<int>(k), static_cast<int>(j), v.c_str());
    }
    if (s.campos.empty()) {
      char vazio[] = " ";
      DBFWriteTuple(dbf, static_cast<int>(k), vazio);
    }
    if (k < s.apagados.size() && s.apagados[k]) DBFMarkRecordDeleted(dbf, static_cast<int>(k), 1);
  }
  SHPClose(shp);
  DBFClose(dbf);
  std::error_code ec;
  fs::remove(kelvara::caminho(base + ".cpg"), ec);
  if (s.cpg) grava(base + ".cpg", *s.cpg);
}

lido le(const std::string& shp)
{
  lido r;
  SHPHandle h = SHPOpenLL(shp.c_str(), "rb", ganchos_utf8());
  DBFHandle d = DBFOpenLL(shp.c_str(), "rb", ganchos_utf8());
  if (!h || !d) {
    if (h) SHPClose(h);
    if (d) DBFClose(d);
    throw std::runtime_error("não foi possível ler " + shp);
  }
  r.tipo = h->nShapeType;
  for (int i = 0; i < h->nRecords; ++i) {
    SHPObject* o = SHPReadObject(h, i);
    if (!o) throw std::runtime_error("registo ilegível em " + shp);
    forma f;
    f.tipo = o->nSHPType;
    f.inicios.assign(o->panPartStart, o->panPartStart + o->nParts);
    if (o->panPartType) f.tipos_partes.assign(o->panPartType, o->panPartType + o->nParts);
    f.x.assign(o->padfX, o->padfX + o->nVertices);
    f.y.assign(o->padfY, o->padfY + o->nVertices);
    f.z.assign(o->padfZ, o->padfZ + o->nVertices);
    f.com_m = o->bMeasureIsUsed;
    if (f.com_m) f.m.assign(o->padfM, o->padfM + o->nVertices);
    r.formas.push_back(f);
    SHPDestroyObject(o);
  }
  for (int i = 0; i < DBFGetRecordCount(d); ++i) {
    const char* t = DBFReadTuple(d, i);
    r.tuplos.emplace_back(t, t + d->nRecordLength);
  }
  r.descritores.assign(d->pszHeader, d->pszHeader + XBASE_FLDHDR_SZ * d->nFields);
  r.ldid = d->iLanguageDriver;
  SHPClose(h);
  DBFClose(d);
  return r;
}

void espera_mesmo_resto(const lido& a, const lido& b)
{
  EXPECT_EQ(a.tipo, b.tipo);
  EXPECT_EQ(a.tuplos, b.tuplos);
  EXPECT_EQ(a.ldid, b.ldid);
  ASSERT_EQ(a.formas.size(), b.formas.size());
  for (size_t k = 0; k < a.formas.size(); ++k) {
    SCOPED_TRACE("registo " + std::to_string(k + 1));
    const forma &fa = a.formas[k], &fb = b.formas[k];
    EXPECT_EQ(fa.tipo, fb.tipo);
    EXPECT_EQ(fa.inicios, fb.inicios);
    EXPECT_EQ(fa.tipos_partes, fb.tipos_partes);
    EXPECT_EQ(fa.com_m, fb.com_m);
    ASSERT_EQ(fa.x.size(), fb.x.size());
    for (size_t v = 0; v < fa.x.size(); ++v) {
      EXPECT_TRUE(mesmos_bits(fa.z[v], fb.z[v]));
      if (fa.com_m) {
        EXPECT_TRUE(mesmos_bits(fa.m[v], fb.m[v]));
      }
    }
  }
}

std::string bytes(const std::string& ficheiro)
{
  std::ifstream f(kelvara::caminho(ficheiro), std::ios::binary);
  if (!f) return {};
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void grava(const std::string& ficheiro, const std::string& conteudo)
{
  std::ofstream f(kelvara::caminho(ficheiro), std::ios::binary | std::ios::trunc);
  f << conteudo;
}

std::string registos_shp(const std::string& shp)
{
  const std::string b = bytes(shp);
  return b.size() > 100 ? b.substr(100) : std::string();
}

bool mesmos_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void poe_grande_endian(std::string& b, size_t pos, std::int32_t v)
{
  for (int i = 0; i < 4; ++i)
    b[pos + i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (24 - 8 * i)) & 0xff);
}

std::int32_t le_grande_endian(const std::string& b, size_t pos)
{
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(b[pos + i]);
  return static_cast<std::int32_t>(v);
}

size_t deslocamento(const std::string& shx, int k)
{
  return 2u * static_cast<size_t>(le_grande_endian(shx, 100 + 8 * (k - 1)));
}

namespace {

#ifdef _WIN32
std::wstring largo(const std::string& s) { return kelvara::caminho(s).wstring(); }

// One argument as the child's C runtime splits its command line back.
std::wstring entre_aspas_windows(const std::wstring& a)
{
  if (!a.empty() && a.find_first_of(L" \t\n\v\"") == std::wstring::npos) return a;
  std::wstring r = L"\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t barras = 0;
    for (; i < a.size() && a[i] == L'\\'; ++i) ++barras;
    if (i == a.size()) {
      r.append(2 * barras, L'\\');
      break;
    }
    r.append(a[i] == L'"' ? 2 * barras + 1 : barras, L'\\');
    r += a[i];
  }
  return r + L"\"";
}

HANDLE herdado(const std::string& nome, bool escrita)
{
  SECURITY_ATTRIBUTES a{sizeof a, nullptr, TRUE};
  return CreateFileW(largo(nome).c_str(), escrita ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &a,
                     escrita ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int lanca(const std::vector<std::string>& argumentos, const opcoes_processo& o,
          const std::string& entrada, const std::string& saida, const std::string& erros)
{
  if (o.limite_ficheiro >= 0) throw std::logic_error("sem limite de tamanho no Windows");
  std::wstring linha;
  for (const std::string& a : argumentos) linha += (linha.empty() ? L"" : L" ") + entre_aspas_windows(largo(a));
  std::wstring ambiente;
  if (!o.ambiente.empty()) {
    wchar_t* herdados = GetEnvironmentStringsW();
    for (const wchar_t* v = herdados; *v; v += std::wcslen(v) + 1) {
      const std::wstring var(v);
      bool substituido = false;
      for (const auto& [nome, valor] : o.ambiente)
        substituido = substituido || _wcsnicmp(var.c_str(), (largo(nome) + L"=").c_str(), nome.size() + 1) == 0;
      if (!substituido) ambiente += var + L'\0';
    }
    FreeEnvironmentStringsW(herdados);
    for (const auto& [nome, valor] : o.ambiente) ambiente += largo(nome + "=" + valor) + L'\0';
    ambiente += L'\0';
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = herdado(entrada, false);
  si.hStdOutput = herdado(saida, true);
  si.hStdError = herdado(erros, true);
  PROCESS_INFORMATION pi{};
  const bool comecou =
      CreateProcessW(nullptr, linha.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                     ambiente.empty() ? nullptr : ambiente.data(), nullptr, &si, &pi);
  for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError}) CloseHandle(h);
  if (!comecou) return 127;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD codigo = 127;
  GetExitCodeProcess(pi.hProcess, &codigo);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return static_cast<int>(codigo);
}

// The child's C runtime writes "\r\n" for "\n" on its text streams.
std::string linhas_unix(std::string s)
{
  for (std::size_t i; (i = s.find("\r\n")) != std::string::npos;) s.erase(i, 1);
  return s;
}
#else
int lanca(const std::vector<std::string>& argumentos, const opcoes_processo& o,
          const std::string& entrada, const std::string& saida, const std::string& erros)
{
  posix_spawn_file_actions_t accoes;
  posix_spawn_file_actions_init(&accoes);
  posix_spawn_file_actions_addopen(&accoes, 0, entrada.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&accoes, 1, saida.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&accoes, 2, erros.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& a : argumentos) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> variaveis;
  for (char** v = environ; *v; ++v) {
    bool substituida = false;
    for (const auto& [nome, valor] : o.ambiente)
      substituida = substituida || std::string(*v).rfind(nome + "=", 0) == 0;
    if (!substituida) variaveis.emplace_back(*v);
  }
  for (const auto& [nome, valor] : o.ambiente) variaveis.push_back(nome + "=" + valor);
  std::vector<char*> envp;
  for (std::string& v : variaveis) envp.push_back(v.data());
  envp.push_back(nullptr);
  // The child inherits the limit; this process writes nothing meanwhile.
  rlimit antes{};
  getrlimit(RLIMIT_FSIZE, &antes);
  if (o.limite_ficheiro >= 0) {
    rlimit l = antes;
    l.rlim_cur = static_cast<rlim_t>(o.limite_ficheiro);
    setrlimit(RLIMIT_FSIZE, &l);
  }
  pid_t filho = 0;
  const int e = posix_spawnp(&filho, argv[0], &accoes, nullptr, argv.data(), envp.data());
  if (o.limite_ficheiro >= 0) setrlimit(RLIMIT_FSIZE, &antes);
  posix_spawn_file_actions_destroy(&accoes);
  if (e != 0) return 127;
  int estado = 0;
  while (waitpid(filho, &estado, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado);
}

std::string linhas_unix(std::string s) { return s; }
#endif

}  // namespace

processo corre(const std::vector<std::string>& argumentos, const opcoes_processo& o)
{
  pasta_temporaria p;
  const std::string entrada = p / "entrada", saida = p / "saida", erros = p / "erros";
  grava(entrada, o.entrada);
  processo r{};
  r.codigo = lanca(argumentos, o, entrada, saida, erros);
  r.saida = linhas_unix(bytes(saida));
  r.erros = linhas_unix(bytes(erros));
  return r;
}

processo corre_cli(const std::vector<std::string>& argumentos, const opcoes_processo& o)
{
  std::vector<std::string> a{KELVARA_CLI};
  a.insert(a.end(), argumentos.begin(), argumentos.end());
  return corre(a, o);
}

#ifdef _WIN32
ficheiro_preso::ficheiro_preso(const std::string& nome)
    : h_(CreateFileW(largo(nome).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr)),
      preso_(h_ != INVALID_HANDLE_VALUE)
{
}

ficheiro_preso::~ficheiro_preso()
{
  if (preso_) CloseHandle(h_);
}
#else
ficheiro_preso::ficheiro_preso(const std::string&) {}
ficheiro_preso::~ficheiro_preso() = default;
#endif

std::optional<std::string> corpus()
{
  std::error_code ec;
  if (fs::is_directory(kelvara::caminho(KELVARA_CORPUS), ec)) return std::string(KELVARA_CORPUS);
  return std::nullopt;
}

}  // namespace kelvara::teste
