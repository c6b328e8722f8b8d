#include "ganchos.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "blocos.h"

namespace kelvara::es {

namespace {

// One record per thread, kept for the life of the program and reached
// through a plain pointer: a thread_local object with a destructor is freed
// before its destructor runs when a thread ends under mingw-w64's emulated
// thread-local storage (a batch's threads ended in an access violation
// under wine). A thread that ends leaves its record, a few hundred bytes.
thread_local falha_es* este = nullptr;

falha_es& registo_do_fio()
{
  if (este) return *este;
  static std::mutex mx;
  static auto* todos = new std::vector<std::unique_ptr<falha_es>>;  // never freed
  auto novo = std::make_unique<falha_es>();
  este = novo.get();
  const std::lock_guard<std::mutex> l(mx);
  todos->push_back(std::move(novo));
  return *este;
}

}  // namespace

thread_local constinit bool algo_registado = false;

namespace {

// shapelib removes a ".cpg" file beside every ".dbf" it creates. The files
// beside the working and output names are the user's or the conversion
// command's business, so nothing is removed here.
int g_remove(const char*) { return 0; }

void g_erro(const char* mensagem)
{
  falha_es& atual = registo_do_fio();
  if (atual.shapelib.empty()) atual.shapelib = mensagem ? mensagem : "";
  algo_registado = true;
}

double g_numero(const char* s)
{
  while (*s == ' ') ++s;
  if (*s == '+') ++s;
  double v = 0;
  std::from_chars(s, s + std::strlen(s), v);
  return v;
}

SAHooks cria_ganchos()
{
  SAHooks g{};
  g.FOpen = janela_abre;
  g.FRead = janela_le;
  g.FWrite = janela_escreve;
  g.FSeek = janela_procura;
  g.FTell = janela_posicao;
  g.FFlush = janela_despeja;
  g.FClose = janela_fecha;
  g.Remove = g_remove;
  g.Error = g_erro;
  g.Atof = g_numero;
  return g;
}

std::atomic<const SAHooks*> outros_ganchos{nullptr};

}  // namespace

const SAHooks& ganchos()
{
  static const SAHooks g = cria_ganchos();
  return g;
}

const SAHooks& ganchos_em_uso()
{
  const SAHooks* g = outros_ganchos.load();
  return g ? *g : ganchos();
}

void usa_ganchos(const SAHooks* outros) { outros_ganchos.store(outros); }

const falha_es& ultima_falha() { return registo_do_fio(); }

void limpa_falha_registada()
{
  registo_do_fio() = falha_es{};
  algo_registado = false;
}

void regista_abertura(const std::string& nome, int codigo)
{
  falha_es& atual = registo_do_fio();
  // A name that does not exist is shapelib trying another spelling: it
  // does not hide a cause that says more, nor does the other spelling.
  if (!atual.abertura.empty() && atual.causa_abertura != std::errc::no_such_file_or_directory)
    return;
  algo_registado = true;
  atual.abertura = nome;
  atual.causa_abertura = std::error_code(codigo ? codigo : EIO, std::generic_category());
}

void regista(const std::string& nome, int codigo)
{
  falha_es& atual = registo_do_fio();
  algo_registado = true;
  if (atual.ficheiro.empty()) {
    atual.ficheiro = nome;
    atual.causa = std::error_code(codigo ? codigo : EIO, std::generic_category());
  }
}

}  // namespace kelvara::es
