// The operating system's side of the I/O layer, for the layer alone: a file
// opened by its UTF-8 name, read and written at an offset, its size,
// closing. POSIX descriptors with pread/pwrite, so that no seek is ever a
// system call; on Windows a file handle read and written at an offset given
// with each call. Failures leave errno set, and `erro_so` (ficheiros.h)
// gives their cause.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <system_error>

#include "ficheiros.h"

namespace kelvara::es {

#ifdef _WIN32
using descritor = void*;  // a HANDLE
#else
using descritor = int;
#endif

// `cria` creates the file, or empties one that exists.
bool abre_so(const std::string& nome, bool leitura, bool escrita, bool cria, descritor& m);
// Bytes transferred, or -1.
long long le_so(descritor m, char* p, std::size_t n, long long pos);
long long escreve_so(descritor m, const char* p, std::size_t n, long long pos);
long long tamanho_so(descritor m);
// Sets disk space aside for a file that will grow to about `bytes`, its
// size unchanged: the writes that follow skip the file system's
// allocation of each block. A hint: true when the space was set aside,
// false when the system does not (or cannot now) do it.
bool reserva_so(descritor m, long long bytes);
// Gives back the space set aside beyond the file's `bytes`.
bool encurta_so(descritor m, long long bytes);
// Puts on disk what was written to the file (fsync, FlushFileBuffers).
bool poe_no_disco_so(descritor m);
int fecha_so(descritor m);
// Up to n bytes copied by the system from `de` at `pos_de` to `para` at
// `pos_para`: how many (0 at the end of `de`), -1 on a failure (errno),
// -2 where the system does not copy between these files (the caller then
// copies through memory).
long long copia_so(descritor de, long long pos_de, descritor para, long long pos_para,
                   std::size_t n);
#ifndef _WIN32
// Empties a file, only when it holds something: a reserved name is empty,
// and ext4 writes out at once on closing a file that was truncated.
bool esvazia_so(descritor m);
#endif

#ifdef _WIN32
// A Windows error code (GetLastError) as `erro_so` gives it.
std::error_code causa_windows(unsigned long erro);

// What std::filesystem does not do as meant on Windows, by the system's own
// calls. False on failure, with the cause for `erro_so`.
// Renames, replacing an existing destination in one step.
bool move_so(const std::string& origem, const std::string& destino);
// Creates an empty file under a name that must be free.
bool cria_novo_so(const std::string& nome);
// Removes a file; true where there was none.
bool remove_so(const std::string& nome);
#endif

}  // namespace kelvara::es
