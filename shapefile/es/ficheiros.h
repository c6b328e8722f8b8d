// File-system operations of the component and the conversion: opening a
// file, sizes, kinds, existence, sameness, creating an empty file under a
// free name, locks, renaming and removing files, the program's folder, and
// the cause of a failure. Paths are UTF-8.
#pragma once

#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kelvara::es {

// Opens a file by its UTF-8 name with a C `fopen` mode ("x" after "w":
// only a file that does not exist yet).
std::FILE* abre(const std::string& nome, const char* modo);

// The cause of the last call of this layer that failed on this thread: the
// errno on POSIX; on Windows the system's error code in the same terms,
// a file that another program holds open being a cause of its own.
std::error_code erro_so();

// Size of a file in bytes, or -1 when it cannot be read.
long long tamanho(const std::string& nome);

bool existe(const std::string& nome);

// What tells that a file was written to: its size, the time of its last
// modification and that of its last change (a write, or a change of size,
// of links or of permissions: the status change time on POSIX, the change
// time on Windows), in the system's own units. `tamanho` is -1 when they
// cannot be read.
struct marca {
  long long tamanho = -1;
  long long modificado = 0, mudado = 0;
  bool operator==(const marca&) const = default;
};
marca marca_de(const std::string& nome);

// The system's file names ignore letter case (Windows, macOS): "rios.prj"
// then names "rios.PRJ" too.
#if defined(_WIN32) || defined(__APPLE__)
inline constexpr bool nomes_ignoram_caixa = true;
#else
inline constexpr bool nomes_ignoram_caixa = false;
#endif

// The files named `base` followed by one of `extensoes` (lower case,
// ".shp", ".shp.xml"), the extension in any letter case and the name as
// it is: "rios.PRJ" and "rios.Prj" for ".prj", not "RIOS.prj" (where the
// system ignores case, each is found as `base` with the lower-case
// extension). In the order of `extensoes`, the lower-case name first.
std::vector<std::string> com_extensao(const std::string& base,
                                      std::span<const std::string_view> extensoes);
// The first of them for the one extension `ext`; empty when there is none.
std::string com_extensao(const std::string& base, std::string_view ext);

// A batch's folders (those of `ficheiros`, as written in their paths),
// each listed once while the batch lives: a name that
// no name of its folder matched in any letter case when it was listed is
// not asked for in each case by `com_extensao` (the 64 cases of ".shp.xml"
// and 8 of each other extension, for each file of a batch of thousands). A
// file that another program creates there meanwhile may then be missed,
// as it would be had it come just after the asking. Not on a thread of the
// batch's own.
class inventario {
 public:
  explicit inventario(const std::vector<std::string>& ficheiros);
  ~inventario();
  inventario(const inventario&) = delete;
  inventario& operator=(const inventario&) = delete;
};

// The companion `ext` (lower case, ".shx") of the file `nome` ("rios.Shp"):
// the name with the same letter case as `nome`'s extension ("rios.Shx")
// where that exists, else the first of `com_extensao`, else the lower-case
// name.
std::string companheiro(const std::string& nome, std::string_view ext);

// What a name denotes, links followed: nothing, a regular file, a folder,
// or something else (a FIFO, a device, a socket).
enum class tipo { nenhum, ficheiro, pasta, outro };
tipo tipo_de(const std::string& nome);

// True when the two names denote the same file: the same file on disk where
// both exist (hard and symbolic links included), otherwise the same absolute
// path once `.` and `..` are resolved (letter case ignored where the file
// system ignores it).
bool mesmo_ficheiro(const std::string& a, const std::string& b);

// Renames a file within its folder, replacing the destination in one step.
// Throws std::system_error.
void renomeia(const std::string& origem, const std::string& destino);

// Creates an empty file under a name that must be free; false (and `ec`
// set) when the name is taken or the file cannot be created.
bool cria_vazio(const std::string& nome, std::error_code& ec);

// Puts on disk what was written into the file `nome` (fsync; on Windows
// FlushFileBuffers). False, `ec` set, when that fails.
bool sincroniza(const std::string& nome, std::error_code& ec);
// Puts on disk the names of the folder `pasta` (fsync of the folder on
// POSIX; on Windows every rename is written through, and this does
// nothing). False, `ec` set, when that fails: EINVAL where the file
// system does not flush folders (some network and FUSE ones).
bool sincroniza_pasta(const std::string& pasta, std::error_code& ec);
// Puts on disk everything written to the file system that holds `pasta`,
// names included, in one flush (Linux's syncfs): for a batch, in place of
// a flush per file and one of the folder. False, `ec` set, when that
// fails; ENOSYS where the system has no such call (then each file is
// flushed by itself).
bool sincroniza_sistema(const std::string& pasta, std::error_code& ec);
// `sincroniza_pasta`, made once for the threads of a batch that ask at
// once. (`sincroniza_sistema` too: a flush that began after a caller's
// writes serves it, and the callers that wait share the next.)
bool sincroniza_pasta_junto(const std::string& pasta, std::error_code& ec);

// A lock held while a run lives, on a file of the run's own or on a
// folder: `flock` on POSIX, an open handle that shares nothing (or a named
// mutex, for a folder) on Windows. Released by `solta` or the destructor,
// and by the system when the process dies.
class trinco {
 public:
  trinco() = default;
  ~trinco() { solta(); }
  trinco(const trinco&) = delete;
  trinco& operator=(const trinco&) = delete;
  trinco(trinco&& o) noexcept;
  trinco& operator=(trinco&& o) noexcept;

  // Creates `nome`, which must be free, locks it and writes into it the
  // process number and a line end. False (and `ec` set) when the name is
  // taken or the file cannot be created.
  bool cria(const std::string& nome, std::error_code& ec);
  // Writes `nota` (any bytes) after the process number, in place of what
  // was there, and puts the file on disk unless told not to (a flush of
  // the file system will). False, `ec` set, when that fails.
  bool escreve_nota(const std::string& nota, std::error_code& ec, bool para_o_disco = true);
  // Locks the lock file `nome` of a run that no longer lives. False when a
  // live run holds it, or when it is no run's lock file (not a regular
  // file, or empty: its run may be between creating and locking it).
  bool de_abandonado(const std::string& nome);
  // The note of a lock file (all after its first line, up to 1 MiB), read
  // through the lock.
  std::string nota() const;
  // Locks the folder `pasta`. While another run holds it, `esperar` is
  // called every 50 ms (first with true): false stops the wait. False
  // when the folder cannot be locked or the wait was stopped.
  bool da_pasta(const std::string& pasta, const std::function<bool(bool primeira)>& esperar);
  void solta() noexcept;
  bool preso() const;

 private:
  std::string conteudo() const;
#ifdef _WIN32
  void* h_ = nullptr;
  bool mutex_ = false;
#else
  int fd_ = -1;
#endif
};

// Writes `conteudo` into the existing file `nome` (one of the run's own),
// replacing what it held; a link at the name is not followed. False (and
// `ec` set) when that fails.
bool escreve_ficheiro(const std::string& nome, std::string_view conteudo, std::error_code& ec);

// Copies the file `de` into the existing file `para` (one of the run's
// own), replacing what it held, a block at a time; a link at `para` is not
// followed. False (and `ec` set, `na_leitura` true when `de` could not be
// read) when that fails.
bool copia_ficheiro(const std::string& de, const std::string& para, std::error_code& ec,
                    bool& na_leitura);

// Removes a file; no error when it does not exist.
void remove(const std::string& nome, std::error_code& ec);

// Folder of the running program, as UTF-8.
std::string pasta_programa();

}  // namespace kelvara::es
