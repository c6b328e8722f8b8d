// The one file-I/O layer of kelvara.
//
// Every byte that kelvara reads or writes goes through here: shapelib reaches
// the disk only through the hooks of `ganchos()`, and the conversion command
// opens, moves and removes files through the helpers below. Paths are UTF-8
// strings everywhere else in the program; this is the only place that turns
// them into the platform's own form.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <shapefil.h>

namespace kelvara::es {

// A UTF-8 path as the platform's path, and back.
std::filesystem::path caminho(std::string_view utf8);
std::string texto(const std::filesystem::path& p);

// Hooks for shapelib's *LL functions. Errors that shapelib reports through
// its Error hook, and failed writes, closes and reads of any file opened
// through these hooks, are kept for the calling thread (see `falha_es`).
//
// Each file opened through them is read and written through a window of
// its own (`via::blocos`): a read takes a large block of the file at once
// and serves shapelib's small reads from it, and writes gather in the window
// until they no longer fit, so that a conversion makes one system call per
// block, not several per record. A write that lands inside the window, such
// as the .dbf end-of-file byte that shapelib writes after every record and
// overwrites with the next, is absorbed there. Once a file outgrows one
// window, a second thread of its own writes out the window just left, or
// reads ahead the block after the one being read, while shapelib goes on
// with a second buffer. Memory stays at two windows per file whatever its
// size. A write that fails when a window is written out is recorded like
// any other, on the calling thread, under its file's name; it surfaces some
// records after the one whose bytes it held, and at the latest when the
// file is flushed or closed.
const SAHooks& ganchos();

// Which I/O the hooks of `ganchos()` perform for files opened from now on:
// the windows above, or plain C streams (`via::simples`: a stdio buffer that
// every seek discards, so one or two system calls per shapelib call). Both
// write the same bytes; the plain one exists so that the tests can show it.
enum class via { blocos, simples };
void escolhe_via(via v);
via via_escolhida();

// Bytes of each window of `via::blocos`: `bytes_janela_inicial` at first,
// and `bytes_janela` once the file has moved `bytes_ate_crescer` through its
// hooks. Small windows keep a small file from touching memory it does not
// need (in a run this short, first touches of memory cost as much as the
// copying); large ones spare a large file most of the hand-overs to the
// second thread. Much larger windows fall out of the processor's cache
// between the system's copy and shapelib's and are slower. The second
// thread starts once the file has moved `bytes_ate_ajuda`: before that,
// starting it and handing it work cost more than it saves.
// (Measurements in bench/RESULTS.md.)
inline constexpr std::size_t bytes_janela_inicial = 128 * 1024;
inline constexpr std::size_t bytes_janela = 1024 * 1024;
inline constexpr long long bytes_ate_crescer = 16 * 1024 * 1024;
inline constexpr long long bytes_ate_ajuda = 2 * 1024 * 1024;

// The first I/O failure on this thread since the last `limpa_falha`:
// the file's name and the cause. Empty when there was none.
struct falha_es {
  std::string ficheiro;
  std::error_code causa;
  std::string shapelib;  // last text shapelib gave through its Error hook
  bool houve() const { return !ficheiro.empty() || !shapelib.empty(); }
};
const falha_es& falha();
void limpa_falha();

// A short Portuguese text for the cause of a failed file operation.
std::string descreve(const std::error_code& causa);

// Opens a file by its UTF-8 name with a C `fopen` mode.
std::FILE* abre(const std::string& nome, const char* modo);

// Size of a file in bytes, or -1 when it cannot be read.
long long tamanho(const std::string& nome);

bool existe(const std::string& nome);

// True when the two names denote the same file: the same file on disk where
// both exist (hard and symbolic links included), otherwise the same absolute
// path once `.` and `..` are resolved (letter case ignored where the file
// system ignores it).
bool mesmo_ficheiro(const std::string& a, const std::string& b);

// Moves a file: a rename where both names lie on one file system, otherwise
// a copy followed by the removal of the original (a partial copy is removed
// again). An existing destination is replaced; an empty one (a reserved
// name) is exchanged with the origin and then removed, which spares ext4's
// immediate write-out of a replaced file. Throws std::system_error.
void move(const std::string& origem, const std::string& destino);

// Renames a file within its folder, replacing the destination in one step.
// Throws std::system_error.
void renomeia(const std::string& origem, const std::string& destino);

// Copies a file (replacing the destination). Throws std::system_error.
void copia(const std::string& origem, const std::string& destino);

// Removes a file; no error when it does not exist.
void remove(const std::string& nome, std::error_code& ec);

// Folder of the running program, as UTF-8.
std::string pasta_programa();

}  // namespace kelvara::es
