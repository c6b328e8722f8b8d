// File-system operations of the conversion: sizes, existence, sameness,
// creating an empty file under a free name, moving, renaming, copying and
// removing files, the program's folder. Paths are UTF-8.
#pragma once

#include <string>
#include <system_error>

namespace kelvara::es {

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

// Creates an empty file under a name that must be free; false (and `ec`
// set) when the name is taken or the file cannot be created.
bool cria_vazio(const std::string& nome, std::error_code& ec);

// Removes a file; no error when it does not exist.
void remove(const std::string& nome, std::error_code& ec);

// Folder of the running program, as UTF-8.
std::string pasta_programa();

}  // namespace kelvara::es
