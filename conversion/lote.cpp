#include "lote.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "caminhos.h"
#include "falha.h"
#include "ficheiros.h"
#include "nomes.h"
#include "paragem.h"
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
// relative to the folder given by the user.
void percorre(const fs::path& dentro, const fs::path& relativo, const fs::path& saida,
              bool recursivo, std::vector<std::pair<fs::path, fs::path>>& achados)
{
  std::error_code ec;
  std::vector<fs::path> ficheiros, pastas;
  for (fs::directory_iterator i(dentro, ec), fim; !ec && i != fim; i.increment(ec)) {
    if (e_shp(i->path())) ficheiros.push_back(i->path());
    else if (recursivo && pasta(i->path()) && !mesma_pasta(i->path(), saida))
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

}  // namespace

bool e_lote(const std::vector<std::string>& entradas, const std::string& saida)
{
  return entradas.size() != 1 || pasta(caminho(entradas[0])) ||
         (!saida.empty() && separador(saida.back())) || pasta(caminho(saida));
}

bool verifica_entradas(const pedido& p, const std::function<void(const std::string&)>& mostra)
{
  const sistema* s1 = sistema_de(p.sistema1);
  bool falta = false;
  if (s1 && s1->parametros)
    for (const auto& [valor, texto] :
         {std::pair{&p.parametros_x, "Definir o ficheiro de parâmetros em X!!"},
          std::pair{&p.parametros_y, "Definir o ficheiro de parâmetros em Y!!"}})
      if (valor->empty()) {
        mostra(texto);
        falta = true;
      }
  if (falta) return false;
  bool fonte = false;
  for (const rota& r : rotas()) {
    if (p.sistema1 != r.sistema1->nome) continue;
    fonte = true;
    if (r.qualquer_destino || p.sistema2 == r.sistema2->nome) return true;
  }
  if (!fonte) mostra("Definir o Sistema 1 !!");
  if (p.sistema2.empty()) mostra("Definir o Sistema 2 !!");
  return false;
}

std::vector<par_lote> expande(const std::vector<std::string>& entradas,
                              const std::string& pasta_saida, bool recursivo)
{
  const fs::path saida = caminho(sem_separador_final(pasta_saida));
  std::error_code ec;
  const fs::file_status s = fs::status(saida, ec);
  if (fs::exists(s) && !fs::is_directory(s))
    throw falha("A saída " + entre_aspas(pasta_saida) +
                " é um ficheiro, não uma pasta: com vários ficheiros de entrada, ou uma pasta, a "
                "saída é a pasta onde os ficheiros convertidos são escritos.");
  if (!fs::exists(s)) {
    const fs::path pai = saida.has_parent_path() ? saida.parent_path() : fs::path(".");
    if (!pasta(pai))
      throw falha("A pasta de saída " + entre_aspas(pasta_saida) + " não existe, nem a pasta " +
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
      throw falha("Os ficheiros de entrada " + entre_aspas(*i->second) + " e " +
                  entre_aspas(par.entrada) + " seriam convertidos no mesmo ficheiro de saída " +
                  entre_aspas(sem_ultimos_quatro(par.saida) + ".shp") +
                  ". Nenhum ficheiro foi convertido.");
  }
  return pares;
}

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

std::vector<std::string> saidas_existentes(const std::vector<par_lote>& pares)
{
  std::vector<std::string> r;
  for (const par_lote& p : pares)
    if (const std::string s = sem_ultimos_quatro(p.saida) + ".shp"; es::existe(s)) r.push_back(s);
  return r;
}

namespace {

// The progress of a batch: each pair's share of its records, weighted by
// the size of its input.
class progresso_lote {
 public:
  progresso_lote(const std::vector<par_lote>& pares, janela_lote& j) : j_(j), feito_(pares.size())
  {
    for (const par_lote& p : pares) {
      const std::string base = sem_ultimos_quatro(p.entrada);
      const long long t = std::max(0LL, es::tamanho(base + ".shp")) +
                          std::max(0LL, es::tamanho(base + ".dbf"));
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

// The window of one conversion of a batch: its messages go to the batch's,
// its completion closes nothing, the outputs that exist were asked about
// before, and the batch's stop request is its own.
class janela_de_um : public janela {
 public:
  janela_de_um(std::size_t i, janela_lote& j, progresso_lote& p, const std::atomic<bool>& parar,
               resultado_lote& r)
      : i_(i), j_(j), p_(p), parar_(parar), r_(r)
  {
  }
  void mensagem(const std::string& texto, const std::string& titulo) override
  {
    if (!(titulo == titulo_ostrel && texto.rfind(texto_criado, 0) == 0)) r_.causas.push_back(texto);
    j_.mensagem(i_, texto, titulo);
  }
  void ocupado(bool) override {}
  void fecha() override {}
  bool pergunta(const std::string& texto, const std::string& titulo) override
  {
    return j_.pergunta(i_, texto, titulo);
  }
  bool substitui(const std::string&) override { return true; }
  void nota(const std::string& texto) override
  {
    r_.causas.push_back(texto);
    j_.nota(i_, texto);
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
  resultado_lote& r_;
};

}  // namespace

std::vector<resultado_lote> converte_lote(const pedido& modelo, const std::vector<par_lote>& pares,
                                          int simultaneas, janela_lote& j,
                                          const std::atomic<bool>& parar)
{
  std::vector<resultado_lote> r(pares.size());
  progresso_lote p(pares, j);
  std::atomic<std::size_t> proximo{0};
  auto trabalha = [&] {
    for (std::size_t i; (i = proximo++) < pares.size();) {
      if (paragem.load() != 0 || parar.load()) return;
      pedido um = modelo;
      um.entrada = pares[i].entrada;
      um.saida = pares[i].saida;
      janela_de_um jj(i, j, p, parar, r[i]);
      bool feito = false;
      try {
        feito = converte(um, jj);
      } catch (const std::exception& x) {  // the command catches its own; this is a message's
        r[i].causas.push_back(x.what());
      }
      // A conversion stopped is not a failure of its file: it was not converted.
      const bool parada = std::find(r[i].causas.begin(), r[i].causas.end(),
                                    interrompida().what()) != r[i].causas.end();
      r[i].estado = feito    ? estado_lote::convertido
                    : parada ? estado_lote::por_converter
                             : estado_lote::falhou;
      p.parte(i, 1.0);
    }
  };
  const std::size_t n = std::min<std::size_t>(pares.size(), std::max(1, simultaneas));
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
  return r;
}

std::string resumo(const std::vector<par_lote>& pares, const std::vector<resultado_lote>& r)
{
  std::size_t convertidos = 0;
  std::string falharam, por_converter;
  for (std::size_t i = 0; i < r.size(); ++i) {
    std::string& l = r[i].estado == estado_lote::falhou ? falharam : por_converter;
    if (r[i].estado == estado_lote::convertido) {
      ++convertidos;
      continue;
    }
    l += (l.empty() ? "" : ", ") + entre_aspas(pares[i].entrada);
  }
  std::string s = std::string(convertidos == 1 ? "Convertido " : "Convertidos ") +
                  std::to_string(convertidos) + " de " + std::to_string(pares.size()) +
                  (pares.size() == 1 ? " ficheiro." : " ficheiros.");
  if (!falharam.empty()) s += " Falharam: " + falharam + ".";
  if (!por_converter.empty()) s += " Não convertidos: " + por_converter + ".";
  return s;
}

}  // namespace kelvara
