#include "es.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "utf8.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace kelvara::es {

fs::path caminho(std::string_view utf8) { return caminho_utf8(utf8); }
std::string texto(const fs::path& p) { return texto_utf8(p); }

namespace {

thread_local falha_es atual;

void regista(const std::string& nome, int codigo)
{
  if (atual.ficheiro.empty()) {
    atual.ficheiro = nome;
    atual.causa = std::error_code(codigo ? codigo : EIO, std::generic_category());
  }
}

// What shapelib holds as an SAFile: the stdio stream and the name it was
// opened under, so that a failure can name its file.
struct ficheiro {
  std::FILE* f;
  std::string nome;
};

ficheiro* de(SAFile h) { return reinterpret_cast<ficheiro*>(h); }

SAFile g_abre(const char* nome, const char* modo)
{
  std::FILE* f = abre(nome, modo);
  if (!f) return nullptr;
  std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
  return reinterpret_cast<SAFile>(new ficheiro{f, nome});
}

SAOffset g_le(void* p, SAOffset tamanho, SAOffset n, SAFile h)
{
  if (tamanho == 0 || n == 0) return 0;  // shapelib asks for nothing at times
  ficheiro* x = de(h);
  const size_t lidos = std::fread(p, tamanho, n, x->f);
  if (lidos < n && std::ferror(x->f)) regista(x->nome, errno);
  return lidos;
}

SAOffset g_escreve(void* p, SAOffset tamanho, SAOffset n, SAFile h)
{
  if (tamanho == 0 || n == 0) return 0;  // a table without fields, for one
  ficheiro* x = de(h);
  const size_t escritos = std::fwrite(p, tamanho, n, x->f);
  if (escritos < n) regista(x->nome, errno);
  return escritos;
}

SAOffset g_procura(SAFile h, SAOffset pos, int donde)
{
  ficheiro* x = de(h);
#ifdef _WIN32
  const int r = _fseeki64(x->f, static_cast<long long>(pos), donde);
#else
  const int r = fseeko(x->f, static_cast<off_t>(pos), donde);
#endif
  if (r != 0) regista(x->nome, errno);
  return r == 0 ? 0 : static_cast<SAOffset>(-1);
}

SAOffset g_posicao(SAFile h)
{
#ifdef _WIN32
  return static_cast<SAOffset>(_ftelli64(de(h)->f));
#else
  return static_cast<SAOffset>(ftello(de(h)->f));
#endif
}

int g_despeja(SAFile h)
{
  ficheiro* x = de(h);
  const int r = std::fflush(x->f);
  if (r != 0) regista(x->nome, errno);
  return r;
}

int g_fecha(SAFile h)
{
  ficheiro* x = de(h);
  const int r = std::fclose(x->f);
  if (r != 0) regista(x->nome, errno);
  delete x;
  return r;
}

// shapelib removes a ".cpg" file beside every ".dbf" it creates. The files
// beside the working and output names are the user's or the conversion
// command's business, so nothing is removed here.
int g_remove(const char*) { return 0; }

void g_erro(const char* mensagem)
{
  if (atual.shapelib.empty()) atual.shapelib = mensagem ? mensagem : "";
}

double g_numero(const char* s)
{
  while (*s == ' ') ++s;
  if (*s == '+') ++s;
  double v = 0;
  std::from_chars(s, s + std::strlen(s), v);
  return v;
}

SAHooks cria_ganchos()
{
  SAHooks g{};
  g.FOpen = g_abre;
  g.FRead = g_le;
  g.FWrite = g_escreve;
  g.FSeek = g_procura;
  g.FTell = g_posicao;
  g.FFlush = g_despeja;
  g.FClose = g_fecha;
  g.Remove = g_remove;
  g.Error = g_erro;
  g.Atof = g_numero;
  return g;
}

}  // namespace

const SAHooks& ganchos()
{
  static const SAHooks g = cria_ganchos();
  return g;
}

const falha_es& falha() { return atual; }
void limpa_falha() { atual = falha_es{}; }

std::string descreve(const std::error_code& causa)
{
  using std::errc;
  if (causa == errc::no_such_file_or_directory) return "o ficheiro ou a pasta não existe";
  if (causa == errc::permission_denied || causa == errc::operation_not_permitted)
    return "não há permissão para o fazer";
  if (causa == errc::no_space_on_device) return "o disco está cheio";
  if (causa == errc::read_only_file_system) return "o disco só permite leitura";
  if (causa == errc::file_too_large) return "o ficheiro excede o tamanho permitido";
  if (causa == errc::is_a_directory) return "o nome é de uma pasta, não de um ficheiro";
  if (causa == errc::not_a_directory) return "uma parte do caminho não é uma pasta";
  if (causa == errc::device_or_resource_busy || causa == errc::text_file_busy)
    return "o ficheiro está em uso";
  if (causa == errc::io_error) return "erro de leitura ou escrita no disco";
  if (causa == errc::too_many_files_open) return "há demasiados ficheiros abertos";
  if (causa == errc::filename_too_long) return "o nome é demasiado longo";
  return "erro do sistema (" + causa.message() + ")";
}

std::FILE* abre(const std::string& nome, const char* modo)
{
#ifdef _WIN32
  std::wstring m(modo, modo + std::strlen(modo));
  return _wfopen(caminho(nome).c_str(), m.c_str());
#else
  return std::fopen(nome.c_str(), modo);
#endif
}

long long tamanho(const std::string& nome)
{
  std::error_code ec;
  const auto t = fs::file_size(caminho(nome), ec);
  return ec ? -1 : static_cast<long long>(t);
}

bool existe(const std::string& nome)
{
  std::error_code ec;
  return fs::exists(caminho(nome), ec);
}

namespace {

fs::path absoluto(const std::string& nome)
{
  std::error_code ec;
  fs::path p = fs::weakly_canonical(caminho(nome), ec);
  if (ec) p = fs::absolute(caminho(nome), ec).lexically_normal();
  return p;
}

}  // namespace

bool mesmo_ficheiro(const std::string& a, const std::string& b)
{
  std::error_code ec;
  const fs::path pa = caminho(a), pb = caminho(b);
  if (fs::exists(pa, ec) && fs::exists(pb, ec)) {
    const bool r = fs::equivalent(pa, pb, ec);
    if (!ec) return r;
  }
#ifdef _WIN32
  std::wstring x = absoluto(a).native(), y = absoluto(b).native();
  return CompareStringOrdinal(x.c_str(), -1, y.c_str(), -1, TRUE) == CSTR_EQUAL;
#else
  return absoluto(a) == absoluto(b);
#endif
}

void copia(const std::string& origem, const std::string& destino)
{
  std::error_code ec;
  fs::copy_file(caminho(origem), caminho(destino), fs::copy_options::overwrite_existing, ec);
  if (ec) {
    std::error_code ignorado;
    fs::remove(caminho(destino), ignorado);
    throw std::system_error(ec);
  }
}

void move(const std::string& origem, const std::string& destino)
{
  std::error_code ec;
  fs::rename(caminho(origem), caminho(destino), ec);
  if (!ec) return;
  if (ec != std::errc::cross_device_link) throw std::system_error(ec);
  copia(origem, destino);
  fs::remove(caminho(origem), ec);
  if (ec) throw std::system_error(ec);
}

void renomeia(const std::string& origem, const std::string& destino)
{
  std::error_code ec;
  fs::rename(caminho(origem), caminho(destino), ec);
  if (ec) throw std::system_error(ec);
}

void remove(const std::string& nome, std::error_code& ec)
{
  ec.clear();
  fs::remove(caminho(nome), ec);
}

std::string pasta_programa()
{
#ifdef _WIN32
  std::wstring b(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, b.data(), static_cast<DWORD>(b.size()));
  b.resize(n);
  return texto(fs::path(b).parent_path());
#else
  std::error_code ec;
  const fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : texto(p.parent_path());
#endif
}

}  // namespace kelvara::es
