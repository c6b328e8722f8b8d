#include "blocos.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "ajudante.h"
#include "ganchos.h"
#include "so.h"

namespace kelvara::es {

namespace {

// The memory of a window's buffer. A closed file's buffers are kept for
// the next file's windows, up to `guardados_max` bytes: a batch of small
// files would otherwise have fresh memory mapped and faulted in for each
// of its files, which costs as much as reading them.
class memoria {
 public:
  memoria() = default;
  memoria(const memoria&) = delete;
  memoria& operator=(const memoria&) = delete;
  ~memoria() { solta(); }

  // A buffer of `n` bytes in place of this one; false when there is no
  // memory for it (this one is then released too).
  bool pede(std::size_t n) noexcept
  {
    solta();
    {
      const std::lock_guard<std::mutex> g(m);
      for (std::size_t i = 0; i < guardados.size(); ++i)
        if (guardados[i].n == n) {
          p_ = guardados[i].p;
          guardados[i] = guardados.back();
          guardados.pop_back();
          em_guarda -= n;
          n_ = n;
          return true;
        }
    }
    p_ = new (std::nothrow) char[n];
    n_ = p_ ? n : 0;
    return p_ != nullptr;
  }
  void solta() noexcept
  {
    if (!p_) return;
    {
      const std::lock_guard<std::mutex> g(m);
      if (em_guarda + n_ <= guardados_max && guardados.size() < guardados.capacity()) {
        guardados.push_back({p_, n_});
        em_guarda += n_;
        p_ = nullptr;
      }
    }
    delete[] p_;
    p_ = nullptr;
    n_ = 0;
  }
  char* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void troca(memoria& o) noexcept
  {
    std::swap(p_, o.p_);
    std::swap(n_, o.n_);
  }

 private:
  char* p_ = nullptr;
  std::size_t n_ = 0;

  struct guardado {
    char* p;
    std::size_t n;
  };
  static constexpr std::size_t guardados_max = 4 << 20;
  static inline std::mutex m;
  static inline std::size_t em_guarda = 0;
  // Room made once, so that keeping a buffer never allocates; never
  // destroyed, for windows closed while the program ends.
  static inline std::vector<guardado>& guardados = *[] {
    auto* v = new std::vector<guardado>;
    v->reserve(guardados_max / bytes_janela_inicial);
    return v;
  }();
};

// A file seen through its window: the bytes [base, base + cheios) of the
// file as they are, or as they will be once the changed part
// [sujo_ini, sujo_fim) (offsets into the window) has been written out.
// Those bytes are always one contiguous run, so writing out the span from
// the first changed byte to the last rewrites unchanged bytes with their
// own values at worst.
//
// Two buffers take turns as the window once a file outgrows one: a window
// that is left is written out by the file's `ajudante` while the other
// buffer fills, and a file opened only for reading has the block after its
// window read ahead into the other buffer, once the file has moved
// `bytes_ate_ajuda`. The buffers are small at first and large once the file
// has moved `bytes_ate_crescer` (see blocos.h).
struct janela_es {
  descritor m;
  std::string nome;
  bool leitura = false, escrita = false;
  memoria blocos[2];
  int atual = 0;
  size_t capacidade = bytes_janela_inicial;  // of each buffer
  long long movidos = 0;  // bytes asked of the hooks, for `cresce`
  bool pode_crescer = true;
  bool adianta = true;  // a file only read has the block after its window read ahead
  long long base = 0;
  size_t cheios = 0;
  size_t sujo_ini = 0, sujo_fim = 0;
  long long pos = 0;      // where the next read or write begins
  long long fim = 0;      // size of the file, the window's bytes included
  bool avariado = false;  // a write failed: the file is incomplete for good
  std::unique_ptr<ajudante> ajuda;
  // A block read ahead: where it begins and how many bytes it has.
  long long adiante_onde = -1;
  size_t adiante_cheios = 0;
  long long reservado = 0;  // disk space set aside up to here (`janela_preve`)

  char* bloco() { return blocos[atual].get(); }

  // The other buffer; null when there is no memory for it, and then the
  // file goes on with one buffer and no second thread.
  char* outro_bloco()
  {
    if (!blocos[1 - atual]) blocos[1 - atual].pede(capacidade);
    return blocos[1 - atual].get();
  }

  bool quer_crescer() const { return pode_crescer && movidos >= bytes_ate_crescer; }

  // A file that has moved enough goes on with large windows. Called with no
  // transfer under way and nothing waiting in the window to be written; a
  // file that cannot have the memory keeps its small windows.
  void cresce()
  {
    if (!quer_crescer()) return;
    pode_crescer = false;
    memoria novo;
    if (!novo.pede(bytes_janela)) return;
    blocos[0].troca(novo);
    novo.solta();
    blocos[1].solta();
    atual = 0;
    capacidade = bytes_janela;
    base = pos;
    cheios = 0;
    adiante_onde = -1;
  }

  // Waits for the second thread's transfer; false (and recorded) when it
  // was a write that failed.
  bool espera_ajuda()
  {
    if (!ajuda) return !avariado;
    const ajudante::resultado r = ajuda->espera();
    if (!r.havia) return !avariado;
    if (r.escrita) {
      if (r.erro != 0) {
        avariado = true;
        regista(nome, r.erro);
      }
      return !avariado;
    }
    // A block read ahead that could not be read is read again when it is
    // wanted, and only then is a failure recorded.
    adiante_onde = r.erro == 0 ? r.onde : -1;
    adiante_cheios = static_cast<size_t>(r.feitos);
    return true;
  }

  // Hands a transfer to the second thread, started on first use once the
  // file has moved enough; false when it is not started (the caller then
  // does the work itself).
  bool pede_ajuda(bool escrever, char* p, size_t n, long long onde)
  {
    if (!ajuda) {
      if (movidos < bytes_ate_ajuda) return false;
      try {
        ajuda = std::make_unique<ajudante>(m);
      } catch (...) {  // no thread to be had: nothing may escape into shapelib
        return false;
      }
    }
    ajuda->pede(escrever, p, n, onde);
    return true;
  }

  // Writes all of p at `onde`, as many calls as the system needs.
  bool escreve_tudo(const char* p, size_t n, long long onde)
  {
    while (n > 0) {
      const long long r = escreve_so(m, p, n, onde);
      if (r <= 0) {
        avariado = true;
        regista(nome, r < 0 ? errno : EIO);
        return false;
      }
      p += r;
      n -= static_cast<size_t>(r);
      onde += r;
    }
    return true;
  }

  // Writes out the changed bytes and waits until they are written; false
  // (and recorded) when that fails, now or in an earlier write-out.
  bool despeja()
  {
    if (!espera_ajuda()) return false;
    if (sujo_fim <= sujo_ini) return !avariado;
    const size_t i = sujo_ini, n = sujo_fim - sujo_ini;
    sujo_ini = sujo_fim = 0;
    if (!escreve_tudo(bloco() + i, n, base + static_cast<long long>(i))) {
      cheios = 0;  // no longer what the file holds
      return false;
    }
    return true;
  }

  // Leaves the window: its changed bytes go to the second thread to write
  // out, and the other buffer becomes the (empty) window at `pos`.
  bool deixa_janela()
  {
    if (!espera_ajuda()) return false;
    if (quer_crescer()) {
      if (!despeja()) return false;
      cresce();
    }
    if (sujo_fim > sujo_ini) {
      const size_t i = sujo_ini, n = sujo_fim - sujo_ini;
      if (!outro_bloco() || !pede_ajuda(true, bloco() + i, n, base + static_cast<long long>(i))) {
        if (!despeja()) return false;
      } else {
        atual = 1 - atual;
        sujo_ini = sujo_fim = 0;
      }
    }
    base = pos;
    cheios = 0;
    return true;
  }

  // Reads up to n bytes at `pos`; returns how many there were.
  size_t le(char* p, size_t n)
  {
    movidos += static_cast<long long>(n);
    size_t feitos = 0;
    while (feitos < n) {
      if (pos >= base && pos < base + static_cast<long long>(cheios)) {
        const size_t i = static_cast<size_t>(pos - base);
        const size_t k = std::min(n - feitos, cheios - i);
        std::memcpy(p + feitos, bloco() + i, k);
        feitos += k;
        pos += static_cast<long long>(k);
        continue;
      }
      if (!despeja()) break;
      cresce();
      if (adiante_onde == pos && adiante_cheios > 0) {
        // The block read ahead is the one wanted: it becomes the window.
        atual = 1 - atual;
        base = pos;
        cheios = adiante_cheios;
        adiante_onde = -1;
        le_adiante();
        continue;
      }
      adiante_onde = -1;
      base = pos;
      cheios = 0;
      long long r;
      if (n - feitos >= capacidade) {
        // A large read (the whole index, for one) goes straight to its place.
        r = le_so(m, p + feitos, n - feitos, pos);
        if (r > 0) {
          feitos += static_cast<size_t>(r);
          pos += r;
        }
      } else {
        r = le_so(m, bloco(), capacidade, pos);
        if (r > 0) {
          cheios = static_cast<size_t>(r);
          le_adiante();
        }
      }
      if (r < 0) regista(nome, errno);
      if (r <= 0) break;
    }
    return feitos;
  }

  // A file only read, whose window is full and not at its end, has the
  // next block read ahead into the other buffer.
  void le_adiante()
  {
    const long long seguinte = base + static_cast<long long>(cheios);
    if (!adianta || escrita || cheios < capacidade || seguinte >= fim) return;
    if (char* outro = outro_bloco()) pede_ajuda(false, outro, capacidade, seguinte);
  }

  // Writes n bytes at `pos`; false (and recorded) when they cannot be.
  bool escreve(const char* p, size_t n)
  {
    if (avariado) return false;
    movidos += static_cast<long long>(n);
    const long long topo = base + static_cast<long long>(cheios);
    const long long limite = base + static_cast<long long>(capacidade);
    if (!(pos >= base && pos <= topo && pos + static_cast<long long>(n) <= limite)) {
      if (!deixa_janela()) return false;
      if (n >= capacidade) {
        if (!espera_ajuda() || !escreve_tudo(p, n, pos)) return false;
        pos += static_cast<long long>(n);
        fim = std::max(fim, pos);
        return true;
      }
    }
    const size_t i = static_cast<size_t>(pos - base);
    std::memcpy(bloco() + i, p, n);
    escrito(i, n);
    return true;
  }

  // n bytes at window offset i are the file's new bytes, and the next
  // transfer begins after them.
  void escrito(size_t i, size_t n)
  {
    if (sujo_fim <= sujo_ini) {
      sujo_ini = i;
      sujo_fim = i + n;
    } else {
      sujo_ini = std::min(sujo_ini, i);
      sujo_fim = std::max(sujo_fim, i + n);
    }
    cheios = std::max(cheios, i + n);
    pos += static_cast<long long>(n);
    fim = std::max(fim, pos);
  }

  // The window as it is, for reads in place: it is counted as moved whole
  // when handed out, since the reads that follow come to no call here.
  trecho ve(long long onde, size_t n)
  {
    if (onde < base || onde + static_cast<long long>(n) > base + static_cast<long long>(cheios))
      return {};
    movidos += static_cast<long long>(cheios) - (onde - base);
    pos = base + static_cast<long long>(cheios);
    return {bloco(), base, cheios};
  }

  espaco livre(size_t n)
  {
    if (avariado) return {};
    const long long topo = base + static_cast<long long>(cheios);
    const long long limite = base + static_cast<long long>(capacidade);
    if (!(pos >= base && pos <= topo && pos + static_cast<long long>(n) <= limite)) {
      if (n >= capacidade || !deixa_janela()) return {};
    }
    const size_t i = static_cast<size_t>(pos - base);
    return {bloco() + i, capacidade - i};
  }

  void ocupa(size_t n)
  {
    if (n == 0) return;
    movidos += static_cast<long long>(n);
    escrito(static_cast<size_t>(pos - base), n);
  }

  // Everything written out, the second thread ended, the file closed.
  bool fecha()
  {
    bool ok = despeja();
    ajuda.reset();
    // Space set aside and not filled goes back (where that fails, the file
    // is whole all the same).
    if (ok && reservado > fim) encurta_so(m, fim);
    if (fecha_so(m) != 0) {
      regista(nome, errno);
      ok = false;
    }
    return ok;
  }
};

janela_es* dj(SAFile h) { return reinterpret_cast<janela_es*>(h); }

}  // namespace

SAFile janela_abre(const char* nome, const char* modo)
{
  // shapelib's modes: "rb", "r", "r+b", "rb+", "wb", "w", "w+b", "wb+".
  if (modo[0] != 'r' && modo[0] != 'w') {
    errno = EINVAL;
    return nullptr;
  }
  const bool mais = std::strchr(modo, '+') != nullptr;
  const bool cria = modo[0] == 'w';
  std::unique_ptr<janela_es> x;
  try {  // nothing may escape into shapelib
    x = std::make_unique<janela_es>();
    x->nome = nome;
    if (!x->blocos[0].pede(x->capacidade)) throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
    regista_abertura(nome, ENOMEM);
    errno = ENOMEM;
    return nullptr;
  }
  x->leitura = !cria || mais;
  x->escrita = cria || mais;
  if (!abre_so(x->nome, x->leitura, x->escrita, cria, x->m)) {
    const int e = errno;
    regista_abertura(x->nome, e);
    errno = e;
    return nullptr;
  }
  x->fim = cria ? 0 : tamanho_so(x->m);
  if (x->fim < 0) {
    const int e = errno;
    fecha_so(x->m);
    errno = e;
    return nullptr;
  }
  return reinterpret_cast<SAFile>(x.release());
}

SAOffset janela_le(void* p, SAOffset tamanho, SAOffset n, SAFile h)
{
  if (tamanho == 0 || n == 0) return 0;
  janela_es* x = dj(h);
  if (!x->leitura) {
    regista(x->nome, EBADF);
    return 0;
  }
  return x->le(static_cast<char*>(p), tamanho * n) / tamanho;
}

SAOffset janela_escreve(void* p, SAOffset tamanho, SAOffset n, SAFile h)
{
  if (tamanho == 0 || n == 0) return 0;
  janela_es* x = dj(h);
  if (!x->escrita) {
    regista(x->nome, EBADF);
    return 0;
  }
  return x->escreve(static_cast<const char*>(p), tamanho * n) ? n : 0;
}

SAOffset janela_procura(SAFile h, SAOffset pos, int donde)
{
  janela_es* x = dj(h);
  const long long desl = static_cast<long long>(pos);  // SAOffset is unsigned
  const long long novo = donde == SEEK_SET   ? desl
                         : donde == SEEK_CUR ? x->pos + desl
                         : donde == SEEK_END ? x->fim + desl
                                             : -1;
  if (novo < 0) {
    regista(x->nome, EINVAL);
    return static_cast<SAOffset>(-1);
  }
  x->pos = novo;
  return 0;
}

SAOffset janela_posicao(SAFile h) { return static_cast<SAOffset>(dj(h)->pos); }

int janela_despeja(SAFile h) { return dj(h)->despeja() ? 0 : EOF; }

trecho janela_trecho(SAFile h, long long pos, std::size_t n) { return dj(h)->ve(pos, n); }

void janela_sem_adiantar(SAFile h) { dj(h)->adianta = false; }

long long janela_tamanho(SAFile h) { return dj(h)->fim; }

void janela_preve(SAFile h, long long bytes)
{
  janela_es* x = dj(h);
  if (!x->escrita || bytes < bytes_ate_ajuda || bytes <= x->fim) return;
  if (reserva_so(x->m, bytes)) x->reservado = std::max(x->reservado, bytes);
}

void janela_estende(SAFile h, long long bytes)
{
  janela_es* x = dj(h);
  x->fim = std::max(x->fim, bytes);
}

void janela_poe_no_disco(SAFile h)
{
  janela_es* x = dj(h);
  if (x->despeja()) poe_no_disco_so(x->m);
}

bool copia_trecho(SAFile de, long long pos_de, SAFile para, long long pos_para, long long n,
                  long long& feitos, bool& na_leitura)
{
  janela_es *a = dj(de), *b = dj(para);
  feitos = 0;
  na_leitura = false;
  // What the windows hold of either file is written out first: the copy
  // reads and writes the files themselves.
  if (!a->despeja() || !b->despeja()) {
    na_leitura = a->avariado;
    return false;
  }
  std::unique_ptr<char[]> meio;  // the copy through memory
  constexpr std::size_t bloco = 256 * 1024;
  bool pelo_sistema = true;
  while (feitos < n) {
    const std::size_t k = static_cast<std::size_t>(std::min<long long>(n - feitos, 64LL << 20));
    long long r = -2;
    if (pelo_sistema) r = copia_so(a->m, pos_de + feitos, b->m, pos_para + feitos, k);
    if (r == -2) {
      pelo_sistema = false;
      if (!meio) meio.reset(new (std::nothrow) char[bloco]);
      if (!meio) {
        regista(b->nome, ENOMEM);
        return false;
      }
      r = le_so(a->m, meio.get(), std::min(k, bloco), pos_de + feitos);
      if (r < 0) {
        regista(a->nome, errno);
        na_leitura = true;
        return false;
      }
      if (r > 0 && !b->escreve_tudo(meio.get(), static_cast<std::size_t>(r), pos_para + feitos))
        return false;
    } else if (r < 0) {
      // Which of the two failed, by the system's word: EBADF and EIO may be
      // either; the file read is named for them only when the write side
      // has no reason of its own.
      const int e = errno;
      na_leitura = e != ENOSPC && e != EFBIG && e != EROFS;
#ifdef EDQUOT
      na_leitura = na_leitura && e != EDQUOT;
#endif
      regista(na_leitura ? a->nome : b->nome, e);
      return false;
    }
    if (r == 0) {  // `de` ended before n bytes
      regista(a->nome, 0);
      na_leitura = true;
      return false;
    }
    feitos += r;
    b->fim = std::max(b->fim, pos_para + feitos);
  }
  return true;
}

espaco janela_espaco(SAFile h, std::size_t n)
{
  janela_es* x = dj(h);
  return x->escrita ? x->livre(n) : espaco{};
}

void janela_ocupa(SAFile h, std::size_t n) { dj(h)->ocupa(n); }

int janela_fecha(SAFile h)
{
  const std::unique_ptr<janela_es> x(dj(h));
  return x->fecha() ? 0 : EOF;
}

}  // namespace kelvara::es
