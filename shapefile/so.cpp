#include "so.h"

#include <cerrno>
#include <cstring>

#include "caminhos.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvara::es {

#ifdef _WIN32
std::error_code causa_windows(unsigned long erro)
{
  using std::errc;
  switch (erro) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return std::make_error_code(errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED: return std::make_error_code(errc::permission_denied);
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return std::make_error_code(errc::file_exists);
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return std::make_error_code(errc::no_space_on_device);
    case ERROR_WRITE_PROTECT: return std::make_error_code(errc::read_only_file_system);
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return std::make_error_code(errc::text_file_busy);
    case ERROR_TOO_MANY_OPEN_FILES: return std::make_error_code(errc::too_many_files_open);
    case ERROR_FILENAME_EXCED_RANGE: return std::make_error_code(errc::filename_too_long);
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: return std::make_error_code(errc::not_enough_memory);
    default: return std::error_code(static_cast<int>(erro), std::system_category());
  }
}

bool abre_so(const std::string& nome, bool leitura, bool escrita, bool cria, descritor& m)
{
  const char* modo = !escrita ? "rb" : !cria ? "r+b" : leitura ? "w+b" : "wb";
  m = abre(nome, modo);
  if (!m) return false;
  std::setvbuf(m, nullptr, _IONBF, 0);
  return true;
}

long long le_so(descritor m, char* p, std::size_t n, long long pos)
{
  if (_fseeki64(m, pos, SEEK_SET) != 0) return -1;
  const std::size_t r = std::fread(p, 1, n, m);
  return r == 0 && std::ferror(m) ? -1 : static_cast<long long>(r);
}

long long escreve_so(descritor m, const char* p, std::size_t n, long long pos)
{
  if (_fseeki64(m, pos, SEEK_SET) != 0) return -1;
  const std::size_t r = std::fwrite(p, 1, n, m);
  return r == 0 ? -1 : static_cast<long long>(r);
}

long long tamanho_so(descritor m)
{
  if (_fseeki64(m, 0, SEEK_END) != 0) return -1;
  return _ftelli64(m);
}

int fecha_so(descritor m) { return std::fclose(m); }
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
  // Emptied only when it holds something: a reserved name is empty, and
  // ext4 writes out at once on closing a file that was truncated.
  struct stat e;
  if (cria && (::fstat(m, &e) != 0 || (e.st_size > 0 && ::ftruncate(m, 0) != 0))) {
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

int fecha_so(descritor m) { return ::close(m); }
#endif

std::FILE* abre(const std::string& nome, const char* modo)
{
#ifdef _WIN32
  std::wstring m(modo, modo + std::strlen(modo));
  return _wfopen(caminho(nome).c_str(), m.c_str());
#else
  return std::fopen(nome.c_str(), modo);
#endif
}

}  // namespace kelvara::es
