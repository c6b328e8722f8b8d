// The block windows of the I/O layer, with their helper thread: shapelib's
// file calls (the hooks of ganchos.h) on files seen through windows of
// large blocks.
//
// Each file opened through these hooks is read and written through a
// window of its own: a read takes a large block of the file at once
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
#pragma once

#include <cstddef>

#include <shapefil.h>

namespace kelvara::es {

// Bytes of each window: `bytes_janela_inicial` at first,
// and `bytes_janela` once the file has moved `bytes_ate_crescer` through its
// hooks. Small windows keep a small file from touching memory it does not
// need (in a run this short, first touches of memory cost as much as the
// copying); large ones spare a large file most of the hand-overs to the
// second thread. Much larger windows fall out of the processor's cache
// between the system's copy and the record code's and are slower. Every
// file of a conversion of more than a few MB grows its windows, so that the
// memory a conversion holds is the same for all large files: six files of
// two windows each. The second thread starts once the file has moved
// `bytes_ate_ajuda`: before that, starting it and handing it work cost more
// than it saves. (Measurements in bench/RESULTS.md.)
inline constexpr std::size_t bytes_janela_inicial = 128 * 1024;
inline constexpr std::size_t bytes_janela = 512 * 1024;
inline constexpr long long bytes_ate_crescer = 4 * 1024 * 1024;
inline constexpr long long bytes_ate_ajuda = 2 * 1024 * 1024;

SAFile janela_abre(const char* nome, const char* modo);
SAOffset janela_le(void* p, SAOffset tamanho, SAOffset n, SAFile h);
SAOffset janela_escreve(void* p, SAOffset tamanho, SAOffset n, SAFile h);
SAOffset janela_procura(SAFile h, SAOffset pos, int donde);
SAOffset janela_posicao(SAFile h);
int janela_despeja(SAFile h);
int janela_fecha(SAFile h);

// For the component's own record code, which reads and writes records in
// place, many to a call. `janela_trecho`: the window of a file opened
// through these hooks, when the bytes [pos, pos + n) lie wholly in it: its
// bytes, where they begin in the file and how many there are, valid until
// the next call on the file; `dados` null otherwise, and then the bytes are
// read with `janela_le`, which moves the window on. `janela_espaco`: room to
// write at the current position, at least n bytes and as many as the window
// has left, valid until the next call on the file; `janela_ocupa` then says
// how many of them were filled, to be written out like any other write.
// `dados` null when n bytes do not fit in a window or the file has failed
// (then `janela_escreve` writes them, or records why it cannot).
struct trecho {
  const char* dados = nullptr;
  long long base = 0;
  std::size_t cheios = 0;
};
struct espaco {
  char* dados = nullptr;
  std::size_t livres = 0;
};
trecho janela_trecho(SAFile h, long long pos, std::size_t n);
// A file read on the caller's thread alone, without reading ahead on the
// second one (see `ShapeFiles::open_file` for when).
void janela_sem_adiantar(SAFile h);
espaco janela_espaco(SAFile h, std::size_t n);
void janela_ocupa(SAFile h, std::size_t n);
// The file's size, the window's bytes included.
long long janela_tamanho(SAFile h);
// A file being written will hold about `bytes`: where it is large, the disk
// space is set aside now, which spares the file system the allocation of
// each block as it is written (ext4: a quarter of the time of writing a
// large file here); what is not filled goes back at the close.
void janela_preve(SAFile h, long long bytes);
// Bytes up to `bytes` were written through other handles of the file (the
// ranges of one copy, `copia_trecho`): the file is at least that long, and
// its close does not give back the space they fill.
void janela_estende(SAFile h, long long bytes);
// n bytes of `de` from `pos_de` copied to `para` at `pos_para`, both files
// opened through these hooks; by the system, without passing through this
// process, where it can (Linux's copy_file_range), in blocks otherwise.
// `feitos`: the bytes copied; on a failure (recorded under its file's name)
// `na_leitura` says whether it was `de`'s.
bool copia_trecho(SAFile de, long long pos_de, SAFile para, long long pos_para, long long n,
                  long long& feitos, bool& na_leitura);
// What was written to `h` put on disk now, while other work goes on: the
// flush before the file is put in place then finds little left to do. A
// failure is left for that flush to find and report.
void janela_poe_no_disco(SAFile h);

}  // namespace kelvara::es
