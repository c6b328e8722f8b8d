#include "lote.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "caminhos.h"
#include "falha.h"
#include "ficheiros.h"
#include "nomes.h"
#include "paragem.h"
#include "publica.h"
#include "rotas.h"

namespace kelvara {

namespace fs = std::filesystem;

namespace {

bool separador(char c) { return c == '/' || c == '\\'; }

bool pasta(const fs::path& p)
{
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// A .shp by its name, whatever the case of the extension; the hidden files
// of a run (".kelvaraN.shp") are never inputs.
bool e_shp(const fs::path& p)
{
  const std::string n = texto(p.filename());
  if (n.size() < 5 || n.rfind(".kelvara", 0) == 0) return false;
  std::string e = n.substr(n.size() - 4);
  std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
  std::error_code ec;
  return e == ".shp" && fs::is_regular_file(p, ec);
}

bool mesma_pasta(const fs::path& a, const fs::path& b)
{
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

// The *.shp of `dentro` (and of its subfolders), each with its place
// relative to the folder given by the user. A link to a folder is never
// followed (one that points back up would make the walk endless), and a
// stop request ends the walk.
void percorre(const fs::path& dentro, const fs::path& relativo, const fs::path& saida,
              bool recursivo, std::vector<std::pair<fs::path, fs::path>>& achados)
{
  verifica_paragem();
  std::error_code ec;
  std::vector<fs::path> ficheiros, pastas;
  for (fs::directory_iterator i(dentro, ec), fim; !ec && i != fim; i.increment(ec)) {
    std::error_code e;
    if (e_shp(i->path())) ficheiros.push_back(i->path());
    else if (recursivo && fs::is_directory(i->symlink_status(e)) && !mesma_pasta(i->path(), saida))
      pastas.push_back(i->path());
  }
  if (ec)
    throw falha("Não foi possível ler a pasta " + entre_aspas(texto(dentro)) + ": " + descreve(ec) +
                ".");
  std::sort(ficheiros.begin(), ficheiros.end());
  std::sort(pastas.begin(), pastas.end());
  for (const fs::path& f : ficheiros) achados.emplace_back(f, relativo / f.filename());
  for (const fs::path& p : pastas) percorre(p, relativo / p.filename(), saida, recursivo, achados);
}

std::string sem_separador_final(std::string s)
{
  while (s.size() > 1 && separador(s.back())) s.pop_back();
  return s;
}

// The pairs of a batch. An input file converts into `pasta_saida` under its
// own name; an input folder gives each of its *.shp files (the extension in
// any case), sorted by name, and with `recursivo` those of its subfolders
// too, mirrored under `pasta_saida`, which is itself never walked. Throws,
// before anything is written, when the output folder is a file or neither
// it nor its parent exists, when an input folder cannot be read, and when
// two inputs would write the same output (naming both).
std::vector<par_lote> expande(const std::vector<std::string>& entradas,
                              const std::string& pasta_saida, bool recursivo)
{
  const fs::path saida = caminho(sem_separador_final(pasta_saida));
  std::error_code ec;
  const fs::file_status s = fs::status(saida, ec);
  // A name too long to look up is not a folder that does not exist.
  if (ec && s.type() == fs::file_type::none)
    throw recusa("A pasta de saída " + entre_aspas(pasta_saida) + " não pode ser usada: " +
                 descreve(ec) + ".");
  if (fs::exists(s) && !fs::is_directory(s))
    throw recusa("A saída " + entre_aspas(pasta_saida) +
                " é um ficheiro, não uma pasta: com vários ficheiros de entrada, ou uma pasta, a "
                "saída é a pasta onde os ficheiros convertidos são escritos.");
  if (!fs::exists(s)) {
    const fs::path pai = saida.has_parent_path() ? saida.parent_path() : fs::path(".");
    if (!pasta(pai))
      throw recusa("A pasta de saída " + entre_aspas(pasta_saida) + " não existe, nem a pasta " +
                  entre_aspas(texto(pai)) + " onde seria criada.");
  }

  std::vector<par_lote> pares;
  for (const std::string& e : entradas) {
    const fs::path p = caminho(e);
    if (!pasta(p)) {
      pares.push_back({e, texto(saida / p.filename())});
      continue;
    }
    std::vector<std::pair<fs::path, fs::path>> achados;
    percorre(p, {}, saida, recursivo, achados);
    for (const auto& [f, relativo] : achados) pares.push_back({texto(f), texto(saida / relativo)});
  }

  // Two inputs into one output: refused before anything starts.
  std::map<std::string, const std::string*> vistos;
  for (const par_lote& par : pares) {
    const auto [i, novo] = vistos.emplace(sem_ultimos_quatro(par.saida), &par.entrada);
    if (!novo)
      throw recusa("Os ficheiros de entrada " + entre_aspas(*i->second) + " e " +
                  entre_aspas(par.entrada) + " seriam convertidos no mesmo ficheiro de saída " +
                  entre_aspas(sem_ultimos_quatro(par.saida) + ".shp") +
                  ". Nenhum ficheiro foi convertido.");
  }
  // An output that is its own input (the output folder is the inputs'):
  // refused before anything starts, and before any question about the
  // outputs that exist.
  for (const par_lote& par : pares) {
    const std::string shp = es::companheiro(par.entrada, ".shp");
    const std::string base = sem_ultimos_quatro(par.saida);
    for (const char* ext : {".shp", ".shx", ".dbf"})
      if (es::mesmo_ficheiro(base + ext, es::companheiro(shp, ext)))
        throw recusa("O ficheiro de saída " + entre_aspas(base + ext) +
                     " é o próprio ficheiro de entrada " + entre_aspas(es::companheiro(shp, ext)) +
                     ". Escolha outra pasta de saída. Nenhum ficheiro foi convertido.");
  }
  return pares;
}

// Creates the output folder and the subfolders that the pairs write into.
void cria_pastas(const std::vector<par_lote>& pares, const std::string& pasta_saida)
{
  auto cria = [](const fs::path& p) {
    std::error_code ec;
    fs::create_directories(p, ec);
    if (ec && !pasta(p))
      throw falha("Não foi possível criar a pasta de saída " + entre_aspas(texto(p)) + ": " +
                  descreve(ec) + ".");
  };
  cria(caminho(sem_separador_final(pasta_saida)));
  for (const par_lote& p : pares) {
    const fs::path pai = caminho(p.saida).parent_path();
    if (!pai.empty() && !pasta(pai)) cria(pai);
  }
}

// The outputs (.shp, as derived) of the pairs that exist already.
std::vector<std::string> saidas_existentes(const std::vector<par_lote>& pares)
{
  std::vector<std::string> r;
  for (const par_lote& p : pares)
    if (std::string s = shp_existente(sem_ultimos_quatro(p.saida) + ".shp"); !s.empty())
      r.push_back(std::move(s));
  return r;
}

// The progress of a batch: each pair's share of its records, weighted by
// the size of its input.
class progresso_lote {
 public:
  progresso_lote(const std::vector<par_lote>& pares, janela_lote& j) : j_(j), feito_(pares.size())
  {
    for (const par_lote& p : pares) {
      const std::string shp = es::companheiro(p.entrada, ".shp");
      const long long t = std::max(0LL, es::tamanho(shp)) +
                          std::max(0LL, es::tamanho(es::companheiro(shp, ".dbf")));
      peso_.push_back(static_cast<double>(t) + 1);  // an empty or missing file still counts
      total_ += peso_.back();
    }
  }
  void parte(std::size_t i, double fracao)
  {
    std::lock_guard<std::mutex> l(m_);
    fracao = std::clamp(fracao, 0.0, 1.0);
    if (fracao <= feito_[i]) return;
    feitos_ += (fracao - feito_[i]) * peso_[i];
    feito_[i] = fracao;
    if (fracao == 1.0) ++completos_;
    // The sum of the shares may fall short of the total by a rounding.
    j_.progresso(completos_ == feito_.size() ? 1.0 : std::min(1.0, feitos_ / total_), i);
  }

 private:
  janela_lote& j_;
  std::mutex m_;
  std::vector<double> peso_, feito_;
  double total_ = 0, feitos_ = 0;
  std::size_t completos_ = 0;
};

// The window of one conversion of a batch: its messages go to the batch's
// and are kept, the outputs that exist were asked about before, and the
// batch's stop request is its own.
class janela_de_um : public janela {
 public:
  janela_de_um(std::size_t i, janela_lote& j, progresso_lote& p, const std::atomic<bool>& parar,
               ficheiro_lote& f)
      : i_(i), j_(j), p_(p), parar_(parar), f_(f)
  {
  }
  void mensagem(const std::string& texto) override
  {
    f_.avisos.push_back(texto);
    j_.mensagem(i_, texto);
  }
  void ocupado(bool) override {}
  void espera_pasta(const std::string& pasta) override { j_.espera_pasta(i_, pasta); }
  bool pergunta(const std::string& texto) override { return j_.pergunta(i_, texto); }
  // Asked before, for all; or refused, each.
  bool substitui(const std::string&) override
  {
    f_.existia = j_.recusa_existentes();
    return !f_.existia;
  }
  void progresso(long long feitos, long long total) override
  {
    p_.parte(i_, total > 0 ? static_cast<double>(feitos) / static_cast<double>(total) : 0.0);
  }
  const std::atomic<bool>* pedido_de_paragem() const override { return &parar_; }

 private:
  std::size_t i_;
  janela_lote& j_;
  progresso_lote& p_;
  const std::atomic<bool>& parar_;
  ficheiro_lote& f_;
};

}  // namespace

bool e_lote(const std::vector<std::string>& entradas, const std::string& saida)
{
  return entradas.size() != 1 || pasta(caminho(entradas[0])) ||
         (!saida.empty() && separador(saida.back())) || pasta(caminho(saida));
}

bool lote::prepara(janela_lote& j)
{
  resultado recusado;
  rota_ = encaminha(p_.modelo, true, recusado);
  como_ = recusado.como;
  mensagens_ = std::move(recusado.mensagens);
  if (!rota_) return false;
  const std::string& saida = p_.modelo.saida;
  try {
    pares_ = expande(p_.entradas, saida, p_.recursivo);
    if (pares_.empty())
      throw recusa("Não há ficheiros .shp para converter em " + entre_aspas(p_.entradas.front()) +
                   (p_.entradas.size() > 1 ? " nem nas outras entradas." : "."));
    // One question for all the outputs that exist.
    if (const std::vector<std::string> existem =
            j.recusa_existentes() ? std::vector<std::string>() : saidas_existentes(pares_);
        !existem.empty()) {
      std::string lista;
      for (size_t i = 0; i < existem.size() && i < 10; ++i)
        lista += (i ? ", " : "") + entre_aspas(existem[i]);
      if (existem.size() > 10) lista += " e mais " + std::to_string(existem.size() - 10);
      if (!j.substitui(existem.size() == 1 ? pergunta_substitui(existem[0])
                                           : "Já existem " + std::to_string(existem.size()) +
                                                 " dos ficheiros de saída: " + lista +
                                                 ". Substituir todos?")) {
        como_ = desfecho::recusado;
        return false;
      }
    }
    cria_pastas(pares_, saida);
  } catch (const recusa& x) {
    como_ = desfecho::recusado;
    mensagens_ = {{x.what(), tipo_mensagem::aviso}};
    return false;
  } catch (const falha& x) {
    como_ = desfecho::falhou;
    mensagens_ = {{x.what(), tipo_mensagem::aviso}};
    return false;
  }
  ficheiros_.assign(pares_.size(), {});
  return true;
}

void lote::converte(janela_lote& j, const std::atomic<bool>& parar)
{
  progresso_lote p(pares_, j);
  // The input and output folders listed once for the batch: each file's
  // companions and older outputs are asked for only where a name like
  // them is there.
  std::vector<std::string> nomes;
  for (const par_lote& x : pares_) {
    nomes.push_back(x.entrada);
    nomes.push_back(x.saida);
  }
  const es::inventario listadas(nomes);
  // The first conversion into each output folder clears it of killed
  // runs' files; the others need not list it again.
  std::mutex m;
  std::set<std::string> limpas;
  auto primeira_em = [&](const std::string& saida) {
    const std::lock_guard<std::mutex> g(m);
    return limpas.insert(texto(caminho(saida).parent_path())).second;
  };
  trincos_lote trincos;
  // A file's output, once written, is put in place by one of a few
  // threads of their own while the next file converts: most of that is
  // waiting for the disk, and the outputs waiting at once share their
  // flushes of the file system and of the folder. At most `publicadores`
  // wait; a conversion that finds them all busy waits for one.
  struct escrito {
    std::size_t i;
    std::unique_ptr<janela_de_um> janela;
    std::unique_ptr<conversao> c;
  };
  constexpr std::size_t publicadores = 4;
  std::mutex mf;
  std::condition_variable cf;
  std::deque<escrito> fila;
  std::size_t livres = 0;  // publishing threads waiting for an output
  bool acabou = false;     // no more outputs will come
  // Each file's end is told in the order of the pairs, as one at a time
  // would tell it, whichever thread finished it first.
  std::mutex mc;
  std::vector<bool> prontos(pares_.size());
  std::size_t a_dizer = 0;
  auto diz_prontos = [&] {
    for (; a_dizer < pares_.size() && prontos[a_dizer]; ++a_dizer)
      j.acabou(a_dizer, ficheiros_[a_dizer].r);
  };
  auto conclui = [&](std::size_t i, resultado r) {
    ficheiros_[i].r = std::move(r);
    {
      const std::lock_guard<std::mutex> g(mc);
      prontos[i] = true;
      diz_prontos();
    }
    p.parte(i, 1.0);
  };
  auto publica = [&](escrito& e) {
    resultado r;
    try {
      r = e.c->publica();
    } catch (const std::exception& x) {  // the command catches its own; this is a message's
      r = {desfecho::falhou, {{x.what(), tipo_mensagem::aviso}}};
    }
    e.c.reset();
    conclui(e.i, std::move(r));
  };
  auto publicador = [&] {
    std::unique_lock<std::mutex> g(mf);
    for (;;) {
      ++livres;
      cf.notify_all();  // a conversion may wait for a free thread
      cf.wait(g, [&] { return !fila.empty() || acabou; });
      --livres;
      if (fila.empty()) return;
      escrito e = std::move(fila.front());
      fila.pop_front();
      cf.notify_all();
      g.unlock();
      publica(e);
      g.lock();
    }
  };
  std::vector<std::thread> publicam;
  for (std::size_t t = 0; t < std::min(publicadores, pares_.size()); ++t) {
    try {
      publicam.emplace_back(publicador);
    } catch (const std::system_error&) {
      break;  // fewer threads: the conversions put their outputs in place themselves
    }
  }

  std::atomic<std::size_t> proximo{0};
  auto trabalha = [&] {
    for (std::size_t i; (i = proximo++) < pares_.size();) {
      if (paragem.load() != 0 || parar.load()) return;
      pedido um = p_.modelo;
      um.entrada = pares_[i].entrada;
      um.saida = pares_[i].saida;
      um.em_lote = true;
      um.limpa_restos = primeira_em(um.saida);
      um.trincos = &trincos;
      escrito e{i, nullptr, nullptr};
      try {
        e.janela = std::make_unique<janela_de_um>(i, j, p, parar, ficheiros_[i]);
        e.c = std::make_unique<conversao>(um, *rota_, *e.janela);
        if (!e.c->escreve()) {
          conclui(i, e.c->fim());
          continue;
        }
      } catch (const std::exception& x) {  // the command catches its own; this is a message's
        conclui(i, {desfecho::falhou, {{x.what(), tipo_mensagem::aviso}}});
        continue;
      }
      if (publicam.empty()) {
        publica(e);
        continue;
      }
      std::unique_lock<std::mutex> g(mf);
      cf.wait(g, [&] { return fila.size() < livres; });
      fila.push_back(std::move(e));
      cf.notify_all();
    }
  };
  const std::size_t n = std::min<std::size_t>(pares_.size(), std::max(1, p_.simultaneas));
  std::vector<std::thread> outras;
  for (std::size_t t = 1; t < n; ++t) {
    try {
      outras.emplace_back(trabalha);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: fewer at once
    }
  }
  trabalha();
  for (std::thread& t : outras) t.join();
  {
    const std::lock_guard<std::mutex> g(mf);
    acabou = true;
  }
  cf.notify_all();
  for (std::thread& t : publicam) t.join();
  // After a stop, a file taken but not converted leaves a gap: the files
  // after it that were converted are told too.
  for (std::size_t i = a_dizer; i < pares_.size(); ++i)
    if (prontos[i]) j.acabou(i, ficheiros_[i].r);

  como_ = desfecho::criado;
  for (const ficheiro_lote& f : ficheiros_)
    if (f.r.como == desfecho::interrompido) como_ = desfecho::interrompido;
    else if (f.r.como != desfecho::criado && como_ == desfecho::criado) como_ = desfecho::falhou;
}

std::string lote::resumo(forma f) const
{
  const bool caixa = f == forma::caixa;
  // A file stopped before it was converted is not a failure of its file:
  // it was not converted.
  std::size_t convertidos = 0;
  std::string falharam, por_converter, existiam;
  for (std::size_t i = 0; i < ficheiros_.size(); ++i) {
    const resultado& r = ficheiros_[i].r;
    const std::string nome = entre_aspas(pares_[i].entrada);
    if (r.como == desfecho::criado) {
      ++convertidos;
    } else if (ficheiros_[i].existia) {
      existiam += (caixa ? "\n" : existiam.empty() ? "" : ", ") +
                  entre_aspas(sem_ultimos_quatro(pares_[i].saida) + ".shp");
    } else if (r.como == desfecho::interrompido) {
      por_converter += (caixa ? "\n" : por_converter.empty() ? "" : ", ") + nome;
    } else if (!caixa) {
      falharam += (falharam.empty() ? "" : ", ") + nome;
    } else {
      falharam += "\n\n" + nome + ":";
      for (const std::string& a : ficheiros_[i].avisos) falharam += "\n" + a;
      for (const mensagem& m : r.mensagens) falharam += "\n" + m.texto;
    }
  }
  const std::size_t n = pares_.size();
  std::string s;
  if (caixa) {
    s = std::string(convertidos == 1 ? "Criado " : "Criados ") + std::to_string(convertidos) +
        " de " + std::to_string(n) + " ficheiros em " + entre_aspas(p_.modelo.saida) + ".";
    if (!falharam.empty()) s += "\n\nFalharam:" + falharam;
    if (!existiam.empty()) s += "\n\nJá existiam (não substituídos):" + existiam;
    if (!por_converter.empty()) s += "\n\nNão convertidos (conversão cancelada):" + por_converter;
    return s;
  }
  s = std::string(convertidos == 1 ? "Convertido " : "Convertidos ") + std::to_string(convertidos) +
      " de " + std::to_string(n) + (n == 1 ? " ficheiro." : " ficheiros.");
  if (!falharam.empty()) s += " Falharam: " + falharam + ".";
  if (!existiam.empty()) s += " Já existiam (não substituídos): " + existiam + ".";
  if (!por_converter.empty()) s += " Não convertidos: " + por_converter + ".";
  return s;
}

}  // namespace kelvara
