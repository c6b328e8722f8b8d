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
  if (cria) modo |= O_CREAT | O_TRUNC;
  do m = ::open(nome.c_str(), modo | O_CLOEXEC, 0666);
  while (m < 0 && errno == EINTR);
  return m >= 0;
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
