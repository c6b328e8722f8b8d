#include "es.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

// --- The plain hooks: C streams ------------------------------------------

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

// --- The window hooks -----------------------------------------------------

// The operating system's side: open, read and write at an offset, size,
// close. POSIX descriptors with pread/pwrite, so that no seek is ever a
// system call; on Windows a C stream without a buffer of its own (the window
// is the buffer), positioned before every transfer.
#ifdef _WIN32
using descritor = std::FILE*;

bool abre_so(const std::string& nome, bool leitura, bool escrita, bool cria, descritor& m)
{
  const char* modo = !escrita ? "rb" : !cria ? "r+b" : leitura ? "w+b" : "wb";
  m = abre(nome, modo);
  if (!m) return false;
  std::setvbuf(m, nullptr, _IONBF, 0);
  return true;
}

long long le_so(descritor m, char* p, size_t n, long long pos)
{
  if (_fseeki64(m, pos, SEEK_SET) != 0) return -1;
  const size_t r = std::fread(p, 1, n, m);
  return r == 0 && std::ferror(m) ? -1 : static_cast<long long>(r);
}

long long escreve_so(descritor m, const char* p, size_t n, long long pos)
{
  if (_fseeki64(m, pos, SEEK_SET) != 0) return -1;
  const size_t r = std::fwrite(p, 1, n, m);
  return r == 0 ? -1 : static_cast<long long>(r);
}

long long tamanho_so(descritor m)
{
  if (_fseeki64(m, 0, SEEK_END) != 0) return -1;
  return _ftelli64(m);
}

int fecha_so(descritor m) { return std::fclose(m); }
#else
using descritor = int;

bool abre_so(const std::string& nome, bool leitura, bool escrita, bool cria, descritor& m)
{
  int modo = leitura && escrita ? O_RDWR : escrita ? O_WRONLY : O_RDONLY;
  if (cria) modo |= O_CREAT | O_TRUNC;
  do m = ::open(nome.c_str(), modo | O_CLOEXEC, 0666);
  while (m < 0 && errno == EINTR);
  return m >= 0;
}

long long le_so(descritor m, char* p, size_t n, long long pos)
{
  ssize_t r;
  do r = ::pread(m, p, n, static_cast<off_t>(pos));
  while (r < 0 && errno == EINTR);
  return r;
}

long long escreve_so(descritor m, const char* p, size_t n, long long pos)
{
  ssize_t r;
  do r = ::pwrite(m, p, n, static_cast<off_t>(pos));
  while (r < 0 && errno == EINTR);
  return r;
}

long long tamanho_so(descritor m)
{
  struct stat e;
  return ::fstat(m, &e) == 0 ? static_cast<long long>(e.st_size) : -1;
}

int fecha_so(descritor m) { return ::close(m); }
#endif

// A second thread for one file, so that the system's share of the work runs
// beside shapelib's instead of after it: it writes out the window just
// left, or reads the block that follows the one being read. One transfer at
// a time, into or out of a buffer that the file's owner leaves alone until
// `espera` has returned; the owner waits for it before any transfer of its
// own on the same file. Failures come back as an errno value, to be
// recorded by the owner's thread.
class ajudante {
 public:
  struct resultado {
    bool havia = false;  // a transfer was under way
    bool escrita = false;
    long long onde = 0;
    long long feitos = 0;  // bytes
    int erro = 0;          // errno of a failure; 0 when none
  };

  explicit ajudante(descritor m) : m_(m), t_([this] { corre(); }) {}

  ~ajudante()
  {
    espera();
    {
      const std::lock_guard<std::mutex> l(mx_);
      estado_ = sair;
    }
    cv_.notify_all();
    t_.join();
  }

  void pede(bool escrita, char* p, size_t n, long long onde)
  {
    ocupado_ = true;
    {
      const std::lock_guard<std::mutex> l(mx_);
      escrita_ = escrita;
      p_ = p;
      n_ = n;
      r_ = resultado{true, escrita, onde, 0, 0};
      estado_ = pedido;
    }
    cv_.notify_all();
  }

  resultado espera()
  {
    if (!ocupado_) return {};
    std::unique_lock<std::mutex> l(mx_);
    cv_.wait(l, [this] { return estado_ == feito; });
    estado_ = livre;
    ocupado_ = false;
    return r_;
  }

 private:
  void corre()
  {
    std::unique_lock<std::mutex> l(mx_);
    for (;;) {
      cv_.wait(l, [this] { return estado_ == pedido || estado_ == sair; });
      if (estado_ == sair) return;
      const bool escrita = escrita_;
      char* p = p_;
      size_t n = n_;
      long long onde = r_.onde, feitos = 0;
      int erro = 0;
      l.unlock();
      if (escrita) {
        while (n > 0) {
          const long long r = escreve_so(m_, p, n, onde);
          if (r <= 0) {
            erro = r < 0 ? errno : EIO;
            break;
          }
          p += r;
          n -= static_cast<size_t>(r);
          onde += r;
          feitos += r;
        }
      } else {
        const long long r = le_so(m_, p, n, onde);
        if (r < 0) erro = errno;
        else feitos = r;
      }
      l.lock();
      r_.feitos = feitos;
      r_.erro = erro;
      estado_ = feito;
      cv_.notify_all();
    }
  }

  descritor m_;
  std::mutex mx_;
  std::condition_variable cv_;
  enum { livre, pedido, feito, sair } estado_ = livre;
  bool escrita_ = false;
  char* p_ = nullptr;
  size_t n_ = 0;
  resultado r_;
  bool ocupado_ = false;  // the owner's own record of a transfer under way
  std::thread t_;  // last: started once everything above is in place
};

// A file seen through its window: the bytes [base, base + cheios) of the
// file as they are, or as they will be once the changed part
// [sujo_ini, sujo_fim) (offsets into the window) has been written out.
// Those bytes are always one contiguous run, so writing out the span from
// the first changed byte to the last rewrites unchanged bytes with their
// own values at worst.
//
// Two buffers take turns as the window once a file outgrows one: a window
// that is left is written out by the file's `ajudante` while the other
// buffer fills, and a file opened only for reading has the block after its
// window read ahead into the other buffer, once the file has moved
// `bytes_ate_ajuda`. The buffers are small at first and large once the file
// has moved `bytes_ate_crescer` (see es.h).
struct janela_es {
  descritor m;
  std::string nome;
  bool leitura = false, escrita = false;
  std::unique_ptr<char[]> blocos[2];
  int atual = 0;
  size_t capacidade = bytes_janela_inicial;  // of each buffer
  long long movidos = 0;  // bytes asked of the hooks, for `cresce`
  bool pode_crescer = true;
  long long base = 0;
  size_t cheios = 0;
  size_t sujo_ini = 0, sujo_fim = 0;
  long long pos = 0;      // where the next read or write begins
  long long fim = 0;      // size of the file, the window's bytes included
  bool avariado = false;  // a write failed: the file is incomplete for good
  std::unique_ptr<ajudante> ajuda;
  // A block read ahead: where it begins and how many bytes it has.
  long long adiante_onde = -1;
  size_t adiante_cheios = 0;

  char* bloco() { return blocos[atual].get(); }

  // The other buffer; null when there is no memory for it, and then the
  // file goes on with one buffer and no second thread.
  char* outro_bloco()
  {
    if (!blocos[1 - atual]) blocos[1 - atual].reset(new (std::nothrow) char[capacidade]);
    return blocos[1 - atual].get();
  }

  bool quer_crescer() const { return pode_crescer && movidos >= bytes_ate_crescer; }

  // A file that has moved enough goes on with large windows. Called with no
  // transfer under way and nothing waiting in the window to be written; a
  // file that cannot have the memory keeps its small windows.
  void cresce()
  {
    if (!quer_crescer()) return;
    pode_crescer = false;
    std::unique_ptr<char[]> novo(new (std::nothrow) char[bytes_janela]);
    if (!novo) return;
    blocos[0] = std::move(novo);
    blocos[1].reset();
    atual = 0;
    capacidade = bytes_janela;
    base = pos;
    cheios = 0;
    adiante_onde = -1;
  }

  // Waits for the second thread's transfer; false (and recorded) when it
  // was a write that failed.
  bool espera_ajuda()
  {
    if (!ajuda) return !avariado;
    const ajudante::resultado r = ajuda->espera();
    if (!r.havia) return !avariado;
    if (r.escrita) {
      if (r.erro != 0) {
        avariado = true;
        regista(nome, r.erro);
      }
      return !avariado;
    }
    // A block read ahead that could not be read is read again when it is
    // wanted, and only then is a failure recorded.
    adiante_onde = r.erro == 0 ? r.onde : -1;
    adiante_cheios = static_cast<size_t>(r.feitos);
    return true;
  }

  // Hands a transfer to the second thread, started on first use once the
  // file has moved enough; false when it is not started (the caller then
  // does the work itself).
  bool pede_ajuda(bool escrever, char* p, size_t n, long long onde)
  {
    if (!ajuda) {
      if (movidos < bytes_ate_ajuda) return false;
      try {
        ajuda = std::make_unique<ajudante>(m);
      } catch (...) {  // no thread to be had: nothing may escape into shapelib
        return false;
      }
    }
    ajuda->pede(escrever, p, n, onde);
    return true;
  }

  // Writes all of p at `onde`, as many calls as the system needs.
  bool escreve_tudo(const char* p, size_t n, long long onde)
  {
    while (n > 0) {
      const long long r = escreve_so(m, p, n, onde);
      if (r <= 0) {
        avariado = true;
        regista(nome, r < 0 ? errno : EIO);
        return false;
      }
      p += r;
      n -= static_cast<size_t>(r);
      onde += r;
    }
    return true;
  }

  // Writes out the changed bytes and waits until they are written; false
  // (and recorded) when that fails, now or in an earlier write-out.
  bool despeja()
  {
    if (!espera_ajuda()) return false;
    if (sujo_fim <= sujo_ini) return !avariado;
    const size_t i = sujo_ini, n = sujo_fim - sujo_ini;
    sujo_ini = sujo_fim = 0;
    if (!escreve_tudo(bloco() + i, n, base + static_cast<long long>(i))) {
      cheios = 0;  // no longer what the file holds
      return false;
    }
    return true;
  }

  // Leaves the window: its changed bytes go to the second thread to write
  // out, and the other buffer becomes the (empty) window at `pos`.
  bool deixa_janela()
  {
    if (!espera_ajuda()) return false;
    if (quer_crescer()) {
      if (!despeja()) return false;
      cresce();
    }
    if (sujo_fim > sujo_ini) {
      const size_t i = sujo_ini, n = sujo_fim - sujo_ini;
      if (!outro_bloco() || !pede_ajuda(true, bloco() + i, n, base + static_cast<long long>(i))) {
        if (!despeja()) return false;
      } else {
        atual = 1 - atual;
        sujo_ini = sujo_fim = 0;
      }
    }
    base = pos;
    cheios = 0;
    return true;
  }

  // Reads up to n bytes at `pos`; returns how many there were.
  size_t le(char* p, size_t n)
  {
    movidos += static_cast<long long>(n);
    size_t feitos = 0;
    while (feitos < n) {
      if (pos >= base && pos < base + static_cast<long long>(cheios)) {
        const size_t i = static_cast<size_t>(pos - base);
        const size_t k = std::min(n - feitos, cheios - i);
        std::memcpy(p + feitos, bloco() + i, k);
        feitos += k;
        pos += static_cast<long long>(k);
        continue;
      }
      if (!despeja()) break;
      cresce();
      if (adiante_onde == pos && adiante_cheios > 0) {
        // The block read ahead is the one wanted: it becomes the window.
        atual = 1 - atual;
        base = pos;
        cheios = adiante_cheios;
        adiante_onde = -1;
        le_adiante();
        continue;
      }
      adiante_onde = -1;
      base = pos;
      cheios = 0;
      long long r;
      if (n - feitos >= capacidade) {
        // A large read (the whole index, for one) goes straight to its place.
        r = le_so(m, p + feitos, n - feitos, pos);
        if (r > 0) {
          feitos += static_cast<size_t>(r);
          pos += r;
        }
      } else {
        r = le_so(m, bloco(), capacidade, pos);
        if (r > 0) {
          cheios = static_cast<size_t>(r);
          le_adiante();
        }
      }
      if (r < 0) regista(nome, errno);
      if (r <= 0) break;
    }
    return feitos;
  }

  // A file only read, whose window is full and not at its end, has the
  // next block read ahead into the other buffer.
  void le_adiante()
  {
    const long long seguinte = base + static_cast<long long>(cheios);
    if (escrita || cheios < capacidade || seguinte >= fim) return;
    if (char* outro = outro_bloco()) pede_ajuda(false, outro, capacidade, seguinte);
  }

  // Writes n bytes at `pos`; false (and recorded) when they cannot be.
  bool escreve(const char* p, size_t n)
  {
    if (avariado) return false;
    movidos += static_cast<long long>(n);
    const long long topo = base + static_cast<long long>(cheios);
    const long long limite = base + static_cast<long long>(capacidade);
    if (!(pos >= base && pos <= topo && pos + static_cast<long long>(n) <= limite)) {
      if (!deixa_janela()) return false;
      if (n >= capacidade) {
        if (!espera_ajuda() || !escreve_tudo(p, n, pos)) return false;
        pos += static_cast<long long>(n);
        fim = std::max(fim, pos);
        return true;
      }
    }
    const size_t i = static_cast<size_t>(pos - base);
    std::memcpy(bloco() + i, p, n);
    if (sujo_fim <= sujo_ini) {
      sujo_ini = i;
      sujo_fim = i + n;
    } else {
      sujo_ini = std::min(sujo_ini, i);
      sujo_fim = std::max(sujo_fim, i + n);
    }
    cheios = std::max(cheios, i + n);
    pos += static_cast<long long>(n);
    fim = std::max(fim, pos);
    return true;
  }

  // Everything written out, the second thread ended, the file closed.
  bool fecha()
  {
    bool ok = despeja();
    ajuda.reset();
    if (fecha_so(m) != 0) {
      regista(nome, errno);
      ok = false;
    }
    return ok;
  }
};

janela_es* dj(SAFile h) { return reinterpret_cast<janela_es*>(h); }

SAFile j_abre(const char* nome, const char* modo)
{
  // shapelib's modes: "rb", "r", "r+b", "rb+", "wb", "w", "w+b", "wb+".
  if (modo[0] != 'r' && modo[0] != 'w') {
    errno = EINVAL;
    return nullptr;
  }
  const bool mais = std::strchr(modo, '+') != nullptr;
  const bool cria = modo[0] == 'w';
  std::unique_ptr<janela_es> x;
  try {  // nothing may escape into shapelib
    x = std::make_unique<janela_es>();
    x->nome = nome;
    x->blocos[0].reset(new char[x->capacidade]);
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return nullptr;
  }
  x->leitura = !cria || mais;
  x->escrita = cria || mais;
  if (!abre_so(x->nome, x->leitura, x->escrita, cria, x->m)) return nullptr;
  x->fim = cria ? 0 : tamanho_so(x->m);
  if (x->fim < 0) {
    const int e = errno;
    fecha_so(x->m);
    errno = e;
    return nullptr;
  }
  return reinterpret_cast<SAFile>(x.release());
}

SAOffset j_le(void* p, SAOffset tamanho, SAOffset n, SAFile h)
{
  if (tamanho == 0 || n == 0) return 0;
  janela_es* x = dj(h);
  if (!x->leitura) {
    regista(x->nome, EBADF);
    return 0;
  }
  return x->le(static_cast<char*>(p), tamanho * n) / tamanho;
}

SAOffset j_escreve(void* p, SAOffset tamanho, SAOffset n, SAFile h)
{
  if (tamanho == 0 || n == 0) return 0;
  janela_es* x = dj(h);
  if (!x->escrita) {
    regista(x->nome, EBADF);
    return 0;
  }
  return x->escreve(static_cast<const char*>(p), tamanho * n) ? n : 0;
}

SAOffset j_procura(SAFile h, SAOffset pos, int donde)
{
  janela_es* x = dj(h);
  const long long desl = static_cast<long long>(pos);  // SAOffset is unsigned
  const long long novo = donde == SEEK_SET   ? desl
                         : donde == SEEK_CUR ? x->pos + desl
                         : donde == SEEK_END ? x->fim + desl
                                             : -1;
  if (novo < 0) {
    regista(x->nome, EINVAL);
    return static_cast<SAOffset>(-1);
  }
  x->pos = novo;
  return 0;
}

SAOffset j_posicao(SAFile h) { return static_cast<SAOffset>(dj(h)->pos); }

int j_despeja(SAFile h) { return dj(h)->despeja() ? 0 : EOF; }

int j_fecha(SAFile h)
{
  const std::unique_ptr<janela_es> x(dj(h));
  return x->fecha() ? 0 : EOF;
}

// --- Common to both -------------------------------------------------------

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

SAHooks cria_ganchos(via v)
{
  const bool simples = v == via::simples;
  SAHooks g{};
  g.FOpen = simples ? g_abre : j_abre;
  g.FRead = simples ? g_le : j_le;
  g.FWrite = simples ? g_escreve : j_escreve;
  g.FSeek = simples ? g_procura : j_procura;
  g.FTell = simples ? g_posicao : j_posicao;
  g.FFlush = simples ? g_despeja : j_despeja;
  g.FClose = simples ? g_fecha : j_fecha;
  g.Remove = g_remove;
  g.Error = g_erro;
  g.Atof = g_numero;
  return g;
}

std::atomic<via> escolhida{via::blocos};

}  // namespace

const SAHooks& ganchos()
{
  static const SAHooks blocos = cria_ganchos(via::blocos);
  static const SAHooks simples = cria_ganchos(via::simples);
  return escolhida.load() == via::simples ? simples : blocos;
}

void escolhe_via(via v) { escolhida.store(v); }
via via_escolhida() { return escolhida.load(); }

const falha_es& falha() { return atual; }
void limpa_falha()
{
  // Called before every record: nothing is built when there is nothing to clear.
  if (atual.houve()) atual = falha_es{};
}

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

namespace {

// Replacing a file by a rename makes ext4 start writing out the new file's
// data there and then (its guard against losing both versions in a crash),
// which for a large file costs the caller a good part of a second. Where
// the destination is an empty file, such as a name reserved beforehand,
// there is nothing to guard: the two are exchanged and the empty one, now
// under the origin's name, removed. True when that was done.
bool troca_com_vazio(const std::string& origem, const std::string& destino)
{
#if defined(__linux__) && defined(RENAME_EXCHANGE)
  struct stat e;
  if (::lstat(destino.c_str(), &e) != 0 || !S_ISREG(e.st_mode) || e.st_size != 0) return false;
  if (::renameat2(AT_FDCWD, origem.c_str(), AT_FDCWD, destino.c_str(), RENAME_EXCHANGE) != 0)
    return false;  // not supported here, or across file systems: the usual way
  if (::unlink(origem.c_str()) != 0) throw std::system_error(errno, std::generic_category());
  return true;
#else
  (void)origem;
  (void)destino;
  return false;
#endif
}

}  // namespace

void move(const std::string& origem, const std::string& destino)
{
  if (troca_com_vazio(origem, destino)) return;
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
