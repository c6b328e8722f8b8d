#include "via_es.h"

#include <algorithm>

#include "blocos.h"

namespace kelvara {

bool via_es::abre(const SAHooks& g, const std::string& nome, const char* modo)
{
  fecha();
  g_ = g;
  f_ = g_.FOpen(nome.c_str(), modo);
  proprio_ = true;
  blocos_ = g_.FRead == es::janela_le;
  pos_ = 0;
  return f_ != nullptr;
}

void via_es::usa(const SAHooks& g, SAFile f)
{
  fecha();
  g_ = g;
  f_ = f;
  proprio_ = false;
  blocos_ = g_.FRead == es::janela_le;
  pos_ = -1;
}

void via_es::sem_adiantar()
{
  if (blocos_ && f_) es::janela_sem_adiantar(f_);
}

long long via_es::tamanho() const { return blocos_ && f_ ? es::janela_tamanho(f_) : -1; }

void via_es::preve(long long bytes)
{
  if (blocos_ && f_) es::janela_preve(f_, bytes);
}

void via_es::estende(long long bytes)
{
  if (blocos_ && f_) es::janela_estende(f_, bytes);
}

void via_es::entrega()
{
  if (e_cur_ != e_ini_) es::janela_ocupa(f_, static_cast<std::size_t>(e_cur_ - e_ini_));
  e_ini_ = e_cur_ = e_lim_ = nullptr;
  esquece();
}

const unsigned char* via_es::le_fora(long long pos, std::size_t n)
{
  entrega();
  if (blocos_) {
    const es::trecho t = es::janela_trecho(f_, pos, n);
    if (t.dados) {
      v_ = reinterpret_cast<const unsigned char*>(t.dados);
      v_base_ = t.base;
      v_fim_ = t.base + static_cast<long long>(t.cheios);
      pos_ = v_fim_;
      return v_ + (pos - v_base_);
    }
  }
  if (aux_.size() < n) aux_.resize(n);
  if (pos_ != pos && g_.FSeek(f_, static_cast<SAOffset>(pos), SEEK_SET) != 0) {
    pos_ = -1;
    return nullptr;
  }
  const std::size_t r = g_.FRead(aux_.data(), 1, n, f_);
  pos_ = pos + static_cast<long long>(r);
  return r == n ? aux_.data() : nullptr;
}

unsigned char* via_es::escreve_fora(std::size_t n)
{
  entrega();
  if (blocos_) {
    const es::espaco e = es::janela_espaco(f_, n);
    if (e.dados) {
      e_ini_ = reinterpret_cast<unsigned char*>(e.dados);
      e_lim_ = e_ini_ + e.livres;
      e_cur_ = e_ini_ + n;
      pendente_ = 0;
      return e_ini_;
    }
  }
  if (aux_.size() < n) aux_.resize(n);
  pendente_ = n;
  return aux_.data();
}

bool via_es::despeja_aux()
{
  const std::size_t n = pendente_;
  pendente_ = 0;
  return g_.FWrite(aux_.data(), 1, n, f_) == n;
}

bool via_es::escreve_em(long long pos, const void* p, std::size_t n)
{
  entrega();
  pos_ = -1;
  return g_.FSeek(f_, static_cast<SAOffset>(pos), SEEK_SET) == 0 &&
         g_.FWrite(const_cast<void*>(p), 1, n, f_) == n;
}

bool via_es::vai(long long pos)
{
  entrega();
  pos_ = pos;
  return g_.FSeek(f_, static_cast<SAOffset>(pos), SEEK_SET) == 0;
}

bool via_es::fecha()
{
  bool ok = true;
  if (f_) entrega();
  if (f_ && proprio_) ok = g_.FClose(f_) == 0;
  f_ = nullptr;
  aux_ = {};
  pendente_ = 0;
  return ok;
}

}  // namespace kelvara
