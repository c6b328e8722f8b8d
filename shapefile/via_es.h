// The component's access to a file of the I/O layer, at known offsets.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <shapefil.h>

namespace kelvara {

// A file opened through a hook table, read and written at known offsets: in
// place in its window when the table is the block windows', through a
// buffer of its own otherwise (or when a record straddles a window's edge).
// The window last seen is kept here, so that reads and writes within it
// make no call at all.
class via_es {
 public:
  via_es() = default;
  ~via_es() { fecha(); }
  via_es(const via_es&) = delete;
  via_es& operator=(const via_es&) = delete;

  bool abre(const SAHooks& g, const std::string& nome, const char* modo);
  // A file opened by shapelib (the .dbf's), used here and left to it to close.
  void usa(const SAHooks& g, SAFile f);
  bool aberto() const { return f_ != nullptr; }
  // The n bytes at `pos`, valid until the next call on this file; null when
  // the file ends before them or a read fails (the failure recorded by the
  // hooks).
  const unsigned char* le(long long pos, std::size_t n)
  {
    if (pos >= v_base_ && pos + static_cast<long long>(n) <= v_fim_) return v_ + (pos - v_base_);
    return le_fora(pos, n);
  }
  // n bytes to be filled at the current position, then `feito()`; null
  // only when the write cannot be made (recorded by the hooks).
  unsigned char* escreve(std::size_t n)
  {
    if (n <= static_cast<std::size_t>(e_lim_ - e_cur_)) {
      unsigned char* p = e_cur_;
      e_cur_ += n;
      return p;
    }
    return escreve_fora(n);
  }
  bool feito() { return pendente_ == 0 || despeja_aux(); }
  bool escreve_em(long long pos, const void* p, std::size_t n);
  bool vai(long long pos);  // the next `escreve` writes at `pos`
  // Bytes filled in the window are handed to it; before any call of the
  // hooks on the file, here or by shapelib (the .dbf's header).
  void entrega();
  bool fecha();  // false when the close (the last write-out) failed
  void sem_adiantar();  // see es::janela_sem_adiantar
  // The file's size; -1 when its hooks are not the block windows'.
  long long tamanho() const;
  void preve(long long bytes);  // see es::janela_preve
  void estende(long long bytes);  // see es::janela_estende

 private:
  SAHooks g_{};
  SAFile f_ = nullptr;
  bool proprio_ = false;  // opened here: closed here
  bool blocos_ = false;   // the block windows' hooks: in-place access
  long long pos_ = -1;    // where the hooks' position is, when known
  std::vector<unsigned char> aux_;
  std::size_t pendente_ = 0;  // bytes of aux_ waiting for `feito`
  // The window last read in place: file bytes [v_base_, v_fim_).
  const unsigned char* v_ = nullptr;
  long long v_base_ = 0, v_fim_ = 0;
  // Room in the window for writes: [e_ini_, e_cur_) filled, up to e_lim_.
  unsigned char *e_ini_ = nullptr, *e_cur_ = nullptr, *e_lim_ = nullptr;
  const unsigned char* le_fora(long long pos, std::size_t n);
  unsigned char* escreve_fora(std::size_t n);
  bool despeja_aux();
  void esquece() { v_ = nullptr, v_base_ = v_fim_ = 0; }
};

}  // namespace kelvara
