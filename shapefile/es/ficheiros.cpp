#include "ficheiros.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "caminhos.h"
#include "so.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace kelvara::es {

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

std::string minusculas(std::string t)
{
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

// The folders listed (`inventario`): each by its path as given, its names
// in lower case.
using inventarios = std::map<std::string, std::set<std::string>>;
std::atomic<const inventarios*> listadas{nullptr};

// The folder of a path, as written in it ("" for none).
std::string pasta_de(const std::string& nome)
{
  const auto barra = nome.find_last_of("/\\");
  return barra == std::string::npos ? std::string() : nome.substr(0, barra);
}

// A name may be there: its folder was not listed, or a name like it was.
bool pode_haver(const std::string& nome)
{
  const inventarios* l = listadas.load(std::memory_order_acquire);
  if (!l) return true;
  const std::string pasta = pasta_de(nome);
  const auto i = l->find(pasta);
  return i == l->end() ||
         i->second.count(minusculas(nome.substr(pasta.empty() ? 0 : pasta.size() + 1))) > 0;
}

}  // namespace

inventario::inventario(const std::vector<std::string>& ficheiros)
{
  auto l = std::make_unique<inventarios>();
  for (const std::string& f : ficheiros) {
    const std::string p = pasta_de(f);
    if (l->count(p)) continue;
    std::set<std::string> nomes;
    std::error_code ec;
    for (fs::directory_iterator i(caminho(p.empty() ? "." : p), ec), fim; !ec && i != fim;
         i.increment(ec))
      nomes.insert(minusculas(texto(i->path().filename())));
    if (!ec) (*l)[p] = std::move(nomes);
  }
  delete listadas.exchange(l.release(), std::memory_order_acq_rel);
}

inventario::~inventario() { delete listadas.exchange(nullptr, std::memory_order_acq_rel); }

std::vector<std::string> com_extensao(const std::string& base,
                                      std::span<const std::string_view> extensoes)
{
  // Each letter of the extension in either case, by asking for each name
  // (a listing of the folder would cost a batch into one folder its square):
  // 8 names for ".prj", the lower-case one first; where the system ignores
  // case, the one name finds them all.
  std::vector<std::string> r;
  for (const std::string_view ext : extensoes) {
    std::vector<std::size_t> letras;
    for (std::size_t i = 0; i < ext.size(); ++i)
      if (std::isalpha(static_cast<unsigned char>(ext[i]))) letras.push_back(i);
    if (!pode_haver(base + std::string(ext))) continue;
    const unsigned nomes = es::nomes_ignoram_caixa ? 1u : 1u << letras.size();
    for (unsigned m = 0; m < nomes; ++m) {
      std::string f = base + std::string(ext);
      for (std::size_t k = 0; k < letras.size(); ++k)
        if (m >> k & 1u) {
          char& c = f[base.size() + letras[k]];
          c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
      // A name that cannot be looked up (too long) names nothing.
      std::error_code ec;
      const auto t = fs::symlink_status(caminho(f), ec).type();
      if (!ec && t != fs::file_type::not_found) r.push_back(std::move(f));
    }
  }
  return r;
}

std::string com_extensao(const std::string& base, std::string_view ext)
{
  const std::vector<std::string> achados = com_extensao(base, std::span(&ext, 1));
  return achados.empty() ? std::string() : achados.front();
}

std::string companheiro(const std::string& nome, std::string_view ext)
{
  const auto barra = nome.find_last_of("/\\");
  auto ponto = nome.rfind('.');
  if (ponto == std::string::npos || (barra != std::string::npos && ponto < barra)) ponto = nome.size();
  const std::string base = nome.substr(0, ponto);
  const std::string_view propria = std::string_view(nome).substr(ponto);
  if (propria.size() == ext.size()) {
    std::string mesma = base + std::string(ext);
    for (std::size_t i = 0; i < ext.size(); ++i)
      if (std::isupper(static_cast<unsigned char>(propria[i])))
        mesma[base.size() + i] = static_cast<char>(std::toupper(static_cast<unsigned char>(mesma[base.size() + i])));
    if (tipo_de(mesma) != tipo::nenhum) return mesma;
  }
  std::string r = com_extensao(base, ext);
  return r.empty() ? base + std::string(ext) : r;
}

marca marca_de(const std::string& nome)
{
  marca m;
#ifdef _WIN32
  const HANDLE h = CreateFileW(caminho(nome).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return m;
  FILE_BASIC_INFO b{};
  LARGE_INTEGER t{};
  if (GetFileInformationByHandleEx(h, FileBasicInfo, &b, sizeof b) && GetFileSizeEx(h, &t)) {
    m.tamanho = t.QuadPart;
    m.modificado = b.LastWriteTime.QuadPart;
    m.mudado = b.ChangeTime.QuadPart;
  }
  CloseHandle(h);
#else
  struct stat e;
  if (::stat(nome.c_str(), &e) != 0) return m;
  m.tamanho = static_cast<long long>(e.st_size);
  m.modificado = static_cast<long long>(e.st_mtim.tv_sec) * 1000000000 + e.st_mtim.tv_nsec;
  m.mudado = static_cast<long long>(e.st_ctim.tv_sec) * 1000000000 + e.st_ctim.tv_nsec;
#endif
  return m;
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
  const bool ea = fs::exists(pa, ec), eb = fs::exists(pb, ec);
  if (ea && eb) {
    const bool r = fs::equivalent(pa, pb, ec);
    if (!ec) return r;
  }
  // A file that is there and one that is not are not the same.
  if (ea != eb) return false;
#ifdef _WIN32
  std::wstring x = absoluto(a).native(), y = absoluto(b).native();
  return CompareStringOrdinal(x.c_str(), -1, y.c_str(), -1, TRUE) == CSTR_EQUAL;
#else
  return absoluto(a) == absoluto(b);
#endif
}

void renomeia(const std::string& origem, const std::string& destino)
{
#ifdef _WIN32
  if (!move_so(origem, destino)) throw std::system_error(erro_so());
  return;
#endif
  std::error_code ec;
  fs::rename(caminho(origem), caminho(destino), ec);
  if (ec) throw std::system_error(ec);
}

bool cria_vazio(const std::string& nome, std::error_code& ec)
{
#ifdef _WIN32
  // Not by fopen's "x", which some C runtimes ignore, emptying the file.
  if (!cria_novo_so(nome)) {
    ec = erro_so();
    return false;
  }
#else
  // O_EXCL: a link at the name is not followed but counts as taken.
  int fd;
  do fd = ::open(nome.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    ec = std::error_code(errno, std::generic_category());
    return false;
  }
  ::close(fd);
#endif
  ec.clear();
  return true;
}

#ifndef _WIN32
namespace {

// Opens `nome` for reading (with `modo` more) and puts it on disk by
// `poe` (fsync, or syncfs for the whole file system).
bool fsync_de(const std::string& nome, int modo, std::error_code& ec, int (*poe)(int) = ::fsync)
{
  int fd;
  do fd = ::open(nome.c_str(), O_RDONLY | O_CLOEXEC | modo);
  while (fd < 0 && errno == EINTR);
  if (fd < 0 || poe(fd) != 0) {
    ec = std::error_code(errno, std::generic_category());
    if (fd >= 0) ::close(fd);
    return false;
  }
  ::close(fd);
  ec.clear();
  return true;
}

}  // namespace
#endif

bool sincroniza(const std::string& nome, std::error_code& ec)
{
#ifdef _WIN32
  HANDLE h = CreateFileW(caminho(nome).c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    ec = causa_windows(GetLastError());
    return false;
  }
  const bool ok = FlushFileBuffers(h);
  const DWORD erro = GetLastError();
  CloseHandle(h);
  if (!ok) {
    ec = causa_windows(erro);
    return false;
  }
  ec.clear();
  return true;
#else
  return fsync_de(nome, O_NOFOLLOW, ec);
#endif
}

bool sincroniza_pasta(const std::string& pasta, std::error_code& ec)
{
#ifdef _WIN32
  (void)pasta;
  ec.clear();
  return true;
#else
  return fsync_de(pasta, O_DIRECTORY, ec);
#endif
}

#ifdef __linux__
namespace {

bool syncfs_de(const std::string& pasta, std::error_code& ec)
{
  return fsync_de(pasta, O_DIRECTORY, ec, ::syncfs);
}

// The flushes asked for at once are made together: a caller whose writes
// were made before a flush began is served by that flush; one that comes
// while a flush is under way waits for it to end, and then the next flush,
// which serves everyone who waited, is made by one of them. Per folder as
// named (a batch's output folders are few).
struct vez_de_pasta {
  long long pedidos = 0, servidos = 0;
  bool em_curso = false;
  std::error_code resultado;
};
std::mutex vez_m;
std::condition_variable vez_cv;
std::map<std::string, vez_de_pasta> vezes;

// `faz` on `pasta`, together with the other callers at once (above).
bool junto(const std::string& chave, const std::string& pasta,
           bool (*faz)(const std::string&, std::error_code&), std::error_code& ec)
{
  std::unique_lock<std::mutex> g(vez_m);
  vez_de_pasta& v = vezes[chave];
  const long long meu = ++v.pedidos;
  for (;;) {
    if (v.servidos >= meu) {
      ec = v.resultado;
      return !ec;
    }
    if (!v.em_curso) {
      v.em_curso = true;
      const long long cobre = v.pedidos;
      g.unlock();
      std::error_code r;
      faz(pasta, r);
      g.lock();
      v.em_curso = false;
      v.servidos = cobre;
      v.resultado = r;
      vez_cv.notify_all();
      ec = r;
      return !r;
    }
    vez_cv.wait(g);
  }
}

}  // namespace
#endif

bool sincroniza_sistema(const std::string& pasta, std::error_code& ec)
{
#ifdef __linux__
  return junto("sistema:" + pasta, pasta, syncfs_de, ec);
#else
  (void)pasta;
  ec = std::make_error_code(std::errc::function_not_supported);
  return false;
#endif
}

bool sincroniza_pasta_junto(const std::string& pasta, std::error_code& ec)
{
#ifdef __linux__
  return junto("pasta:" + pasta, pasta, sincroniza_pasta, ec);
#else
  return sincroniza_pasta(pasta, ec);
#endif
}

bool escreve_ficheiro(const std::string& nome, std::string_view conteudo, std::error_code& ec)
{
#ifdef _WIN32
  HANDLE h = CreateFileW(caminho(nome).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    ec = causa_windows(GetLastError());
    return false;
  }
  DWORD escritos = 0;
  const bool ok = WriteFile(h, conteudo.data(), static_cast<DWORD>(conteudo.size()), &escritos, nullptr) &&
                  escritos == conteudo.size();
  const DWORD erro = GetLastError();
  CloseHandle(h);
  if (!ok) {
    ec = causa_windows(erro);
    return false;
  }
#else
  int fd;
  do fd = ::open(nome.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    ec = std::error_code(errno, std::generic_category());
    return false;
  }
  if (!esvazia_so(fd)) {
    ec = std::error_code(errno, std::generic_category());
    ::close(fd);
    return false;
  }
  const char* p = conteudo.data();
  size_t n = conteudo.size();
  while (n > 0) {
    const ssize_t r = ::write(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      ec = std::error_code(r < 0 ? errno : EIO, std::generic_category());
      ::close(fd);
      return false;
    }
    p += r;
    n -= static_cast<size_t>(r);
  }
  if (::close(fd) != 0) {
    ec = std::error_code(errno, std::generic_category());
    return false;
  }
#endif
  ec.clear();
  return true;
}

bool copia_ficheiro(const std::string& de, const std::string& para, std::error_code& ec,
                    bool& na_leitura)
{
  descritor a, b;
  na_leitura = true;
  if (!abre_so(de, true, false, false, a)) {
    ec = erro_so();
    return false;
  }
  na_leitura = false;
  if (!abre_so(para, false, true, true, b)) {
    ec = erro_so();
    fecha_so(a);
    return false;
  }
  std::vector<char> bloco(1 << 20);
  bool ok = true;
  for (long long pos = 0; ok;) {
    const long long lidos = le_so(a, bloco.data(), bloco.size(), pos);
    if (lidos <= 0) {
      ok = lidos == 0;
      na_leitura = !ok;
      break;
    }
    for (long long feito = 0; ok && feito < lidos;) {
      const long long n = escreve_so(b, bloco.data() + feito, static_cast<std::size_t>(lidos - feito),
                                     pos + feito);
      ok = n > 0;
      feito += n;
    }
    pos += lidos;
  }
  if (!ok) ec = erro_so();
  fecha_so(a);
  if (fecha_so(b) != 0 && ok) {
    ec = erro_so();
    ok = false;
  }
  if (!ok && !ec) ec = std::make_error_code(std::errc::io_error);
  if (ok) ec.clear();
  return ok;
}

tipo tipo_de(const std::string& nome)
{
  std::error_code ec;
  const fs::file_status s = fs::status(caminho(nome), ec);
  switch (s.type()) {
    case fs::file_type::not_found:
    case fs::file_type::none:
      return tipo::nenhum;
    case fs::file_type::regular:
      return tipo::ficheiro;
    case fs::file_type::directory:
      return tipo::pasta;
    default:
      return ec ? tipo::nenhum : tipo::outro;
  }
}

trinco::trinco(trinco&& o) noexcept { *this = std::move(o); }

std::string trinco::nota() const
{
  const std::string t = conteudo();
  const size_t i = t.find('\n');
  return i == std::string::npos ? std::string() : t.substr(i + 1);
}

trinco& trinco::operator=(trinco&& o) noexcept
{
  if (this != &o) {
    solta();
#ifdef _WIN32
    h_ = o.h_;
    mutex_ = o.mutex_;
    o.h_ = nullptr;
    o.mutex_ = false;
#else
    fd_ = o.fd_;
    o.fd_ = -1;
#endif
  }
  return *this;
}

#ifdef _WIN32
bool trinco::preso() const { return h_ != nullptr; }

void trinco::solta() noexcept
{
  if (!h_) return;
  if (mutex_) ReleaseMutex(static_cast<HANDLE>(h_));
  CloseHandle(static_cast<HANDLE>(h_));
  h_ = nullptr;
  mutex_ = false;
}

bool trinco::cria(const std::string& nome, std::error_code& ec)
{
  solta();
  // Shared for reading and for deletion only: a run ending removes its lock
  // file before letting it go, and a run cleaning up a dead one's removes it
  // under its own handle; opening it for writing fails while a run holds it.
  HANDLE h = CreateFileW(caminho(nome).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    ec = causa_windows(GetLastError());
    return false;
  }
  const std::string pid = std::to_string(GetCurrentProcessId()) + "\n";
  DWORD escritos = 0;
  WriteFile(h, pid.data(), static_cast<DWORD>(pid.size()), &escritos, nullptr);
  h_ = h;
  ec.clear();
  return true;
}

bool trinco::escreve_nota(const std::string& nota, std::error_code& ec, bool para_o_disco)
{
  const std::string t = std::to_string(GetCurrentProcessId()) + "\n" + nota;
  HANDLE h = static_cast<HANDLE>(h_);
  LARGE_INTEGER zero{};
  DWORD escritos = 0;
  if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) ||
      !WriteFile(h, t.data(), static_cast<DWORD>(t.size()), &escritos, nullptr) ||
      escritos != t.size() || !SetEndOfFile(h) || (para_o_disco && !FlushFileBuffers(h))) {
    ec = causa_windows(GetLastError());
    return false;
  }
  ec.clear();
  return true;
}

bool trinco::de_abandonado(const std::string& nome)
{
  solta();
  // A live run's handle shares no writing: opening for writing fails.
  HANDLE h = CreateFileW(caminho(nome).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER t{};
  if (!GetFileSizeEx(h, &t) || t.QuadPart == 0) {
    CloseHandle(h);
    return false;
  }
  h_ = h;
  return true;
}

std::string trinco::conteudo() const
{
  std::string t;
  char b[512];
  DWORD n = 0;
  LARGE_INTEGER zero{};
  SetFilePointerEx(static_cast<HANDLE>(h_), zero, nullptr, FILE_BEGIN);
  while (ReadFile(static_cast<HANDLE>(h_), b, sizeof b, &n, nullptr) && n > 0 && t.size() < (1 << 20))
    t.append(b, n);
  return t;
}

bool trinco::da_pasta(const std::string& pasta, const std::function<bool(bool)>& esperar)
{
  solta();
  // A mutex named after the folder: one publication at a time in it. The
  // name holds a digest of the folder's full path in capitals, since the
  // file system ignores case and a name may not be as long as a path; two
  // folders with one digest only wait for each other.
  std::error_code ec;
  std::wstring n = fs::absolute(caminho(pasta), ec).lexically_normal().wstring();
  if (ec) return false;
  for (wchar_t& c : n)
    if (c == L'/') c = L'\\';
  while (n.size() > 3 && n.back() == L'\\') n.pop_back();
  CharUpperBuffW(n.data(), static_cast<DWORD>(n.size()));
  unsigned long long d = 14695981039346656037ull;  // FNV-1a
  for (const wchar_t c : n) {
    d ^= static_cast<unsigned short>(c);
    d *= 1099511628211ull;
  }
  std::wstring nome = L"Local\\kelvara-";
  for (int i = 60; i >= 0; i -= 4) nome += L"0123456789abcdef"[(d >> i) & 0xf];
  HANDLE m = CreateMutexW(nullptr, FALSE, nome.c_str());
  if (!m) return false;
  for (bool primeira = true;; primeira = false) {
    const DWORD r = WaitForSingleObject(m, primeira ? 0 : 50);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) break;
    if (r != WAIT_TIMEOUT || !esperar(primeira)) {
      CloseHandle(m);
      return false;
    }
  }
  h_ = m;
  mutex_ = true;
  return true;
}
#else
bool trinco::preso() const { return fd_ >= 0; }

void trinco::solta() noexcept
{
  if (fd_ < 0) return;
  ::close(fd_);  // the lock goes with the descriptor
  fd_ = -1;
}

namespace {

bool tranca(int fd, bool espera)
{
  int r;
  do r = ::flock(fd, LOCK_EX | (espera ? 0 : LOCK_NB));
  while (r != 0 && errno == EINTR);
  return r == 0;
}

}  // namespace

bool trinco::cria(const std::string& nome, std::error_code& ec)
{
  solta();
  int fd;
  do fd = ::open(nome.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    ec = std::error_code(errno, std::generic_category());
    return false;
  }
  // Locked before the number is written: a file with a number in it and no
  // lock on it is a dead run's.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (!tranca(fd, true) || ::write(fd, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) {
    ec = std::error_code(errno ? errno : EIO, std::generic_category());
    ::close(fd);
    ::unlink(nome.c_str());
    return false;
  }
  fd_ = fd;
  ec.clear();
  return true;
}

bool trinco::escreve_nota(const std::string& nota, std::error_code& ec, bool para_o_disco)
{
  const std::string t = std::to_string(::getpid()) + "\n" + nota;
  size_t feito = 0;
  while (feito < t.size()) {
    const ssize_t r = ::pwrite(fd_, t.data() + feito, t.size() - feito, static_cast<off_t>(feito));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      ec = std::error_code(r < 0 ? errno : EIO, std::generic_category());
      return false;
    }
    feito += static_cast<size_t>(r);
  }
  if (::ftruncate(fd_, static_cast<off_t>(t.size())) != 0 || (para_o_disco && ::fsync(fd_) != 0)) {
    ec = std::error_code(errno, std::generic_category());
    return false;
  }
  ec.clear();
  return true;
}

bool trinco::de_abandonado(const std::string& nome)
{
  solta();
  int fd;
  do fd = ::open(nome.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat e;
  if (::fstat(fd, &e) != 0 || !S_ISREG(e.st_mode) || e.st_size == 0 || !tranca(fd, false)) {
    ::close(fd);
    return false;
  }
  // A live run removes its lock file before it lets go of the lock, and its
  // number may then be taken at once by another run (another thread of this
  // process, often): locked, the file must still be the one at that name.
  struct stat agora;
  if (::lstat(nome.c_str(), &agora) != 0 || agora.st_ino != e.st_ino || agora.st_dev != e.st_dev) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

std::string trinco::conteudo() const
{
  std::string t;
  char b[512];
  ssize_t n;
  off_t onde = 0;
  while ((n = ::pread(fd_, b, sizeof b, onde)) > 0 && t.size() < (1 << 20)) {
    t.append(b, static_cast<size_t>(n));
    onde += n;
  }
  return t;
}

bool trinco::da_pasta(const std::string& pasta, const std::function<bool(bool)>& esperar)
{
  solta();
  int fd;
  do fd = ::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  // Without blocking, so that a stop request is seen while another run
  // holds the folder; looked at again after 1 ms, then twice as long each
  // time up to 50 ms (a publication holds it a few milliseconds).
  useconds_t pausa = 1000;
  for (bool primeira = true; !tranca(fd, false); primeira = false) {
    if (errno != EWOULDBLOCK || !esperar(primeira)) {
      ::close(fd);
      return false;
    }
    ::usleep(pausa);
    pausa = std::min<useconds_t>(2 * pausa, 50000);
  }
  fd_ = fd;
  return true;
}
#endif

void remove(const std::string& nome, std::error_code& ec)
{
  ec.clear();
#ifdef _WIN32
  if (!remove_so(nome)) ec = erro_so();
#else
  fs::remove(caminho(nome), ec);
#endif
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
