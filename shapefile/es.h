// The one file-I/O layer of kelvara.
//
// Every byte that kelvara reads or writes goes through here: shapelib reaches
// the disk only through the hooks of `ganchos()`, and the conversion command
// opens, moves and removes files through the helpers below. Paths are UTF-8
// strings everywhere else in the program; this is the only place that turns
// them into the platform's own form.
#pragma once

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
const SAHooks& ganchos();

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
// again). An existing destination is replaced. Throws std::system_error.
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
