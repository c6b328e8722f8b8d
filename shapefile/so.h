// The operating system's side of the I/O layer: a file opened by its UTF-8
// name, read and written at an offset, its size, closing. POSIX descriptors
// with pread/pwrite, so that no seek is ever a system call; on Windows a C
// stream without a buffer of its own, positioned before every transfer.
// Failures leave errno set.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <system_error>

namespace kelvara::es {

#ifdef _WIN32
using descritor = std::FILE*;
#else
using descritor = int;
#endif

// `cria` creates the file, or empties one that exists.
bool abre_so(const std::string& nome, bool leitura, bool escrita, bool cria, descritor& m);
// Bytes transferred, or -1.
long long le_so(descritor m, char* p, std::size_t n, long long pos);
long long escreve_so(descritor m, const char* p, std::size_t n, long long pos);
long long tamanho_so(descritor m);
int fecha_so(descritor m);

#ifdef _WIN32
// A Windows error (GetLastError) as the portable cause that comes nearest.
std::error_code causa_windows(unsigned long erro);
#endif

// Opens a file by its UTF-8 name with a C `fopen` mode.
std::FILE* abre(const std::string& nome, const char* modo);

}  // namespace kelvara::es
