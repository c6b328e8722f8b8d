#include "ficheiros.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "caminhos.h"
#include "so.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
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
#ifdef _WIN32
  // mingw's copy_file does not replace an existing destination.
  if (!copia_so(origem, destino)) {
    const std::error_code ec = erro_so();
    remove_so(destino);
    throw std::system_error(ec);
  }
  return;
#endif
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
#ifdef _WIN32
  if (!move_so(origem, destino, true)) throw std::system_error(erro_so());
  return;
#endif
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
#ifdef _WIN32
  if (!move_so(origem, destino, false)) throw std::system_error(erro_so());
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
  ec.clear();
  return true;
#endif
  std::FILE* f = abre(nome, "wbx");
  if (!f) {
    ec = std::error_code(errno, std::generic_category());
    return false;
  }
  std::fclose(f);
  ec.clear();
  return true;
}

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
