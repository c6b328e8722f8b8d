// The second thread of a file seen through the I/O layer's windows.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "so.h"

namespace kelvara::es {

// A second thread for one file, so that the system's share of the work runs
// beside shapelib's instead of after it: it writes out the window just
// left, or reads the block that follows the one being read. One transfer at
// a time, into or out of a buffer that the file's owner leaves alone until
// `espera` has returned; the owner waits for it before any transfer of its
// own on the same file. Failures come back as an errno value, to be
// recorded by the owner's thread.
class ajudante {
 public:
  struct resultado {
    bool havia = false;  // a transfer was under way
    bool escrita = false;
    long long onde = 0;
    long long feitos = 0;  // bytes
    int erro = 0;          // errno of a failure; 0 when none
  };

  explicit ajudante(descritor m) : m_(m), t_([this] { corre(); }) {}

  ~ajudante()
  {
    espera();
    {
      const std::lock_guard<std::mutex> l(mx_);
      estado_ = sair;
    }
    cv_.notify_all();
    t_.join();
  }

  void pede(bool escrita, char* p, size_t n, long long onde)
  {
    ocupado_ = true;
    {
      const std::lock_guard<std::mutex> l(mx_);
      escrita_ = escrita;
      p_ = p;
      n_ = n;
      r_ = resultado{true, escrita, onde, 0, 0};
      estado_ = pedido;
    }
    cv_.notify_all();
  }

  resultado espera()
  {
    if (!ocupado_) return {};
    std::unique_lock<std::mutex> l(mx_);
    cv_.wait(l, [this] { return estado_ == feito; });
    estado_ = livre;
    ocupado_ = false;
    return r_;
  }

 private:
  void corre()
  {
    std::unique_lock<std::mutex> l(mx_);
    for (;;) {
      cv_.wait(l, [this] { return estado_ == pedido || estado_ == sair; });
      if (estado_ == sair) return;
      const bool escrita = escrita_;
      char* p = p_;
      size_t n = n_;
      long long onde = r_.onde, feitos = 0;
      int erro = 0;
      l.unlock();
      if (escrita) {
        while (n > 0) {
          const long long r = escreve_so(m_, p, n, onde);
          if (r <= 0) {
            erro = r < 0 ? errno : EIO;
            break;
          }
          p += r;
          n -= static_cast<size_t>(r);
          onde += r;
          feitos += r;
        }
      } else {
        const long long r = le_so(m_, p, n, onde);
        if (r < 0) erro = errno;
        else feitos = r;
      }
      l.lock();
      r_.feitos = feitos;
      r_.erro = erro;
      estado_ = feito;
      cv_.notify_all();
    }
  }

  descritor m_;
  std::mutex mx_;
  std::condition_variable cv_;
  enum { livre, pedido, feito, sair } estado_ = livre;
  bool escrita_ = false;
  char* p_ = nullptr;
  size_t n_ = 0;
  resultado r_;
  bool ocupado_ = false;  // the owner's own record of a transfer under way
  std::thread t_;  // last: started once everything above is in place
};

}  // namespace kelvara::es
