#include "so.h"

#include <cerrno>
#include <cstring>

#include "caminhos.h"
#include "falha.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvara::es {

#ifdef _WIN32
namespace {

thread_local DWORD ultimo = 0;  // the system's code of the last failure

// The errno for a system error code, 0 where none fits.
int numero_errno(DWORD e)
{
  switch (e) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: case ERROR_BAD_NET_NAME: case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED: case ERROR_INVALID_ACCESS: case ERROR_NETWORK_ACCESS_DENIED:
      return EACCES;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_CRC: case ERROR_READ_FAULT: case ERROR_WRITE_FAULT: case ERROR_GEN_FAILURE:
      return EIO;
    default:
      return 0;
  }
}

// Keeps the code of the call that just failed, errno to match.
void guarda()
{
  ultimo = GetLastError();
  const int e = numero_errno(ultimo);
  errno = e ? e : EIO;
}

std::wstring largo(const std::string& nome) { return caminho(nome).wstring(); }

// Our own opens share the file with everyone, deletion included, so that
// a file can be renamed while a handle on it is still open.
constexpr DWORD partilha = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE abre_handle(const std::string& nome, DWORD acesso, DWORD criacao)
{
  const HANDLE h = CreateFileW(largo(nome).c_str(), acesso, partilha, nullptr, criacao,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) guarda();
  return h;
}

// Windows answers "access denied" both where permission lacks and where
// another program holds the file open without sharing its deletion, as a
// GIS does with a layer it shows; opening it for deletion tells them apart.
void distingue(const std::string& nome)
{
  if (ultimo != ERROR_ACCESS_DENIED) return;
  const HANDLE h = CreateFileW(largo(nome).c_str(), DELETE, partilha, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return;
  }
  if (GetLastError() == ERROR_SHARING_VIOLATION) {
    ultimo = ERROR_SHARING_VIOLATION;
    errno = EBUSY;
  }
}

}  // namespace

bool abre_so(const std::string& nome, bool leitura, bool escrita, bool cria, descritor& m)
{
  const DWORD acesso = (leitura ? GENERIC_READ : 0) | (escrita ? GENERIC_WRITE : 0);
  m = abre_handle(nome, acesso, cria ? CREATE_ALWAYS : OPEN_EXISTING);
  return m != INVALID_HANDLE_VALUE;
}

namespace {

OVERLAPPED em(long long pos)
{
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(pos);
  o.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(pos) >> 32);
  return o;
}

// One call moves at most this much; callers take a short transfer in their stride.
DWORD no_maximo(std::size_t n) { return static_cast<DWORD>(n < (1u << 30) ? n : 1u << 30); }

}  // namespace

long long le_so(descritor m, char* p, std::size_t n, long long pos)
{
  OVERLAPPED o = em(pos);
  DWORD r = 0;
  if (ReadFile(m, p, no_maximo(n), &r, &o)) return r;
  if (GetLastError() == ERROR_HANDLE_EOF) return 0;
  guarda();
  return -1;
}

long long escreve_so(descritor m, const char* p, std::size_t n, long long pos)
{
  OVERLAPPED o = em(pos);
  DWORD r = 0;
  if (WriteFile(m, p, no_maximo(n), &r, &o)) return r;
  guarda();
  return -1;
}

long long tamanho_so(descritor m)
{
  LARGE_INTEGER t;
  if (GetFileSizeEx(m, &t)) return t.QuadPart;
  guarda();
  return -1;
}

bool reserva_so(descritor, long long) { return false; }

bool encurta_so(descritor, long long) { return true; }

long long copia_so(descritor, long long, descritor, long long, std::size_t) { return -2; }

bool poe_no_disco_so(descritor m) { return FlushFileBuffers(m) != 0; }

int fecha_so(descritor m)
{
  if (CloseHandle(m)) return 0;
  guarda();
  return -1;
}

std::FILE* abre(const std::string& nome, const char* modo)
{
  const bool mais = std::strchr(modo, '+') != nullptr;
  DWORD acesso = 0, criacao = 0;
  int bandeiras = _O_BINARY;
  if (modo[0] == 'r') {
    acesso = GENERIC_READ | (mais ? GENERIC_WRITE : 0);
    criacao = OPEN_EXISTING;
    bandeiras |= mais ? _O_RDWR : _O_RDONLY;
  } else if (modo[0] == 'w') {
    acesso = GENERIC_WRITE | (mais ? GENERIC_READ : 0);
    criacao = std::strchr(modo, 'x') ? CREATE_NEW : CREATE_ALWAYS;
    bandeiras |= mais ? _O_RDWR : _O_WRONLY;
  } else {
    errno = EINVAL;
    ultimo = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  const HANDLE h = abre_handle(nome, acesso, criacao);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const int d = _open_osfhandle(reinterpret_cast<intptr_t>(h), bandeiras);
  if (d < 0) {
    CloseHandle(h);
    return nullptr;
  }
  const char* modo_c = modo[0] == 'r' ? (mais ? "r+b" : "rb") : (mais ? "w+b" : "wb");
  std::FILE* f = _fdopen(d, modo_c);
  if (!f) _close(d);
  return f;
}

std::error_code causa_windows(unsigned long erro)
{
  ultimo = static_cast<DWORD>(erro);
  const int e = numero_errno(ultimo);
  errno = e ? e : EIO;
  return erro_so();
}

std::error_code erro_so()
{
  if (ultimo == ERROR_SHARING_VIOLATION || ultimo == ERROR_LOCK_VIOLATION)
    return aberto_noutro_programa();
  if (const int e = numero_errno(ultimo)) return std::error_code(e, std::generic_category());
  return std::error_code(static_cast<int>(ultimo), std::system_category());
}

bool move_so(const std::string& origem, const std::string& destino)
{
  // Written through: the rename is on disk when the call returns.
  const DWORD como = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(largo(origem).c_str(), largo(destino).c_str(), como)) return true;
  guarda();
  distingue(destino);
  distingue(origem);
  return false;
}

bool cria_novo_so(const std::string& nome)
{
  const HANDLE h = abre_handle(nome, GENERIC_WRITE, CREATE_NEW);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool remove_so(const std::string& nome)
{
  if (DeleteFileW(largo(nome).c_str())) return true;
  guarda();
  if (ultimo == ERROR_FILE_NOT_FOUND) return true;
  distingue(nome);
  return false;
}
#else
bool abre_so(const std::string& nome, bool leitura, bool escrita, bool cria, descritor& m)
{
  int modo = leitura && escrita ? O_RDWR : escrita ? O_WRONLY : O_RDONLY;
  // Files are created only under names the run has reserved: a link put
  // there meanwhile is never followed.
  if (cria) modo |= O_CREAT | O_NOFOLLOW;
  do m = ::open(nome.c_str(), modo | O_CLOEXEC, 0666);
  while (m < 0 && errno == EINTR);
  if (m < 0) return false;
  if (cria && !esvazia_so(m)) {
    const int erro = errno;
    ::close(m);
    errno = erro;
    return false;
  }
  return true;
}

long long le_so(descritor m, char* p, std::size_t n, long long pos)
{
  ssize_t r;
  do r = ::pread(m, p, n, static_cast<off_t>(pos));
  while (r < 0 && errno == EINTR);
  return r;
}

long long escreve_so(descritor m, const char* p, std::size_t n, long long pos)
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

bool reserva_so(descritor m, long long bytes)
{
#ifdef __linux__
  return ::fallocate(m, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0;
#else
  (void)m;
  (void)bytes;
  return false;
#endif
}

bool esvazia_so(descritor m)
{
  struct stat e;
  return ::fstat(m, &e) == 0 && (e.st_size == 0 || ::ftruncate(m, 0) == 0);
}

bool encurta_so(descritor m, long long bytes)
{
  int r;
  do r = ::ftruncate(m, static_cast<off_t>(bytes));
  while (r != 0 && errno == EINTR);
  return r == 0;
}

long long copia_so(descritor de, long long pos_de, descritor para, long long pos_para,
                   std::size_t n)
{
#ifdef __linux__
  off_t a = static_cast<off_t>(pos_de), b = static_cast<off_t>(pos_para);
  ssize_t r;
  do r = ::copy_file_range(de, &a, para, &b, n, 0);
  while (r < 0 && errno == EINTR);
  // Files the system will not copy between (another file system before
  // Linux 5.19, a kernel without the call): through memory.
  if (r < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL))
    return -2;
  return r;
#else
  (void)de, (void)pos_de, (void)para, (void)pos_para, (void)n;
  return -2;
#endif
}

bool poe_no_disco_so(descritor m)
{
  int r;
  do r = ::fsync(m);
  while (r != 0 && errno == EINTR);
  return r == 0;
}

int fecha_so(descritor m) { return ::close(m); }
#endif

#ifndef _WIN32
std::FILE* abre(const std::string& nome, const char* modo) { return std::fopen(nome.c_str(), modo); }

std::error_code erro_so() { return std::error_code(errno, std::generic_category()); }
#endif

}  // namespace kelvara::es
