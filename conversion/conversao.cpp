#include "conversao.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "caminhos.h"
#include "escreve_prj.h"
#include "falha.h"
#include "ficheiros.h"
#include "ficheiros_grelha.h"
#include "ficheiros_ntv2.h"
#include "ficheiros_parametros.h"
#include "ilhas.h"
#include "leitura.h"
#include "nomes.h"
#include "paragem.h"
#include "polinomio.h"
#include "publica.h"
#include "rotas.h"
#include "seguranca.h"
#include "shapefiles.h"
#include "tmerc.h"
#include "transfere.h"

namespace kelvara {

// One run of a route: the file names derived from the request, the two
// shapefile components, and the run's own files beside the output.
class corrida {
 public:
  corrida(const pedido& p, janela& j, const rota& r)
      : p_(p),
        j_(j),
        r_(r),
        prj_(p.prj_epsg && !r.qualquer_destino && !r.sistema2->prj_epsg.empty()
                 ? r.sistema2->prj_epsg
                 : r.prj),
        saida_(sem_ultimos_quatro(p.saida) + ".shp", p.trincos)
  {
  }

  // Everything up to the output's publication: false when the run ended
  // there (fim() says how).
  bool escreve();
  // Puts the output in place: what the run came to.
  resultado publica();
  const resultado& fim() const { return fim_; }

 private:
  template <class F>
  bool protegido(F&& f);
  bool espera_vez(bool primeira);
  void verifica_nomes() const;
  void deriva_nomes();
  void verifica_entrada_e_saida();
  void executa(std::size_t i);
  void limpa() noexcept;

  const pedido p_;  // its own copy: a batch puts the output in place after the request is gone
  janela& j_;
  const rota& r_;
  std::string_view prj_;  // the projection text written beside the output

  std::string fich1a, fich1b, fich1c;  // input of the current step
  std::string fich2a;                  // output of the current step
  std::string fich3a, fich3b, fich3c;  // final output
  std::string fich_par_m, fich_par_p;  // X and Y parameter files
  std::string fich_prj;                // projection file
  std::string cpg_entrada;             // the input's code page file, if any
  std::string memo_entrada;            // the input's memo file, if any
  const char* memo_ext = "";           // its kind: ".dbt" or ".fpt"

  publicacao saida_;
  ShapeFiles Shp1, Shp2;
  bool vigia_ = false;     // the input's records are checked against the area
  std::string entrada_;    // the input shapefile, as derived
  int registo_ = 0;        // the record of the input being read
  resultado fim_;
  // Waiting for another run into the output's folder: since when, and
  // whether the window was told.
  std::chrono::steady_clock::time_point desde_;
  bool dito_ = false;
};

void corrida::verifica_nomes() const
{
  for (const bool saida : {false, true})
    if (const std::string r = recusa_nome(saida ? p_.saida : p_.entrada, saida); !r.empty())
      throw recusa(r);
}

void corrida::deriva_nomes()
{
  const std::string base2 = sem_ultimos_quatro(p_.saida);
  // The input's files in any letter case of their extensions: "rios.Shp"
  // as typed, its companions in the same case where they are there.
  fich1a = es::companheiro(p_.entrada, ".shp");
  fich1b = es::companheiro(fich1a, ".shx");
  fich1c = es::companheiro(fich1a, ".dbf");
  fich3a = base2 + ".shp";
  fich3b = base2 + ".shx";
  fich3c = base2 + ".dbf";
  fich_par_m = p_.parametros_x;
  fich_par_p = p_.parametros_y;
  fich_prj = base2 + ".prj";
  cpg_entrada = es::companheiro(fich1a, ".cpg");
  memo_entrada.clear();
  for (const char* ext : {".dbt", ".fpt"})
    if (std::string m = es::companheiro(fich1a, ext);
        memo_entrada.empty() && es::tipo_de(m) != es::tipo::nenhum) {
      memo_entrada = std::move(m);
      memo_ext = ext;
    }
  entrada_ = fich1a;
}

// The output must not be the input, and a code page file beside the input
// must be a file.
void corrida::verifica_entrada_e_saida()
{
  for (const std::string* s : {&fich3a, &fich3b, &fich3c})
    for (const std::string* i : {&fich1a, &fich1b, &fich1c})
      if (es::mesmo_ficheiro(*s, *i))
        throw recusa("O ficheiro de saída " + entre_aspas(*s) + " é o próprio ficheiro de entrada " +
                    entre_aspas(*i) + ". Escolha outro nome para o shapefile do Sistema 2.");
  for (auto [f, qual] : {std::pair{&cpg_entrada, "de página de código"}, {&memo_entrada, "de memorandos"}}) {
    const es::tipo c = es::tipo_de(*f);
    if (c == es::tipo::nenhum) f->clear();
    else if (c != es::tipo::ficheiro)
      throw falha("O ficheiro " + std::string(qual) + " " + entre_aspas(*f) + " da entrada " +
                  (c == es::tipo::pasta ? "é uma pasta, não um ficheiro."
                                        : "não é um ficheiro comum (é um FIFO, um dispositivo ou um "
                                          "socket)."));
  }
}

// Runs `f`; a fault or refusal it throws is the run's end, in fim_, with
// every file of this run removed.
template <class F>
bool corrida::protegido(F&& f)
{
  auto com = [](desfecho d, std::string texto, tipo_mensagem t = tipo_mensagem::aviso) {
    return resultado{d, {{std::move(texto), t}}};
  };
  try {
    return f();
  } catch (const fora_da_grelha& x) {
    // A vertex off the Datum Lisboa grid ends the program after its
    // message; nothing of this run stays on disk, and an older output at
    // the output path is still whole.
    fim_ = com(desfecho::falhou, x.what());
    fim_.mensagens.push_back({"No shapefile " + entre_aspas(entrada_) + ", registo " +
                                  std::to_string(registo_) + ".",
                              tipo_mensagem::nota});
    fim_.fora_da_grelha = true;
  } catch (const interrompida& x) {
    fim_ = com(desfecho::interrompido, x.what());
  } catch (const grelhas_em_falta& x) {
    fim_ = com(desfecho::falhou, x.what());
    fim_.sem_grelhas = true;
  } catch (const recusa& x) {
    fim_ = com(desfecho::recusado, x.what());
  } catch (const letra_errada& x) {
    fim_ = com(desfecho::falhou, x.what(), tipo_mensagem::parametros);
  } catch (const falha& f) {
    fim_ = com(desfecho::falhou, f.what());
  } catch (const std::bad_alloc&) {
    fim_ = com(desfecho::falhou,
               "Não há memória suficiente para esta conversão. Nenhum ficheiro foi alterado.");
  } catch (const std::exception& x) {
    fim_ = com(desfecho::falhou, std::string("A conversão falhou: ") + x.what());
  }
  limpa();
  return false;
}

bool corrida::espera_vez(bool primeira)
{
  // Said once, when the wait lasts a second (the files of a batch take
  // turns in their folder all the time); a stop request ends the wait with
  // nothing changed.
  const auto agora = std::chrono::steady_clock::now();
  if (primeira) desde_ = agora, dito_ = false;
  if (!dito_ && agora - desde_ >= std::chrono::seconds(1)) {
    j_.espera_pasta(saida_.pasta());
    dito_ = true;
  }
  const std::atomic<bool>* propria = j_.pedido_de_paragem();
  return paragem.load() == 0 && !(propria && propria->load());
}

bool corrida::escreve()
{
  return protegido([&] {
    verifica_nomes();
    deriva_nomes();
    verifica_entrada_e_saida();
    // An input that does not look like Sistema 1 is refused (or, in the
    // window, converted only on "Sim"); "Qualquer" is never checked.
    if (!r_.sistema1->parametros && !p_.forcar) {
      // Opened here, once, for the box its header declares; the first step
      // reads it as it is. An input that cannot be opened is reported where
      // the first step reads it, like any other input's fault.
      Shp1.mostra_como({});
      try {
        Shp1.open_file(fich1a);
      } catch (const falha&) {
      }
      vigia_ = verifica_fonte(j_, *r_.sistema1, Shp1);
    }
    if (const std::string existe = shp_existente(fich3a); !existe.empty() && !j_.substitui(existe)) {
      fim_ = {desfecho::recusado, {}};
      return false;
    }
    const restos r =
        p_.limpa_restos ? saida_.limpa_restos([this](bool p) { return espera_vez(p); }) : restos{};
    for (const std::string& s : r.repostos)
      j_.mensagem("O shapefile " + entre_aspas(s) +
                  ", que uma conversão interrompida estava a substituir, foi reposto como estava.");
    for (const std::string& s : r.concluidos)
      j_.mensagem("A substituição do shapefile " + entre_aspas(s) +
                  ", que uma conversão interrompida deixou a meio, foi concluída.");
    if (const int n = r.apagados; n > 0)
      j_.mensagem((n == 1 ? std::string("Foi apagado 1 ficheiro deixado em ")
                          : "Foram apagados " + std::to_string(n) + " ficheiros deixados em ") +
                  entre_aspas(saida_.pasta()) + " por uma conversão interrompida.");
    const std::size_t etapas = r_.etapas.size();
    saida_.reserva(static_cast<int>(std::min<std::size_t>(etapas - 1, 2)), !cpg_entrada.empty(),
                   !prj_.empty(), memo_entrada.empty() ? "" : memo_ext);

    // Each step writes under the run's own names and reads what the step
    // before wrote: the intermediates in turn, the last step the output.
    for (std::size_t i = 0; i < etapas; ++i) {
      fich2a = i + 1 == etapas ? saida_.shp() : saida_.intermedio(static_cast<int>(i % 2));
      executa(i);
      fich1a = fich2a;
    }
    std::error_code ec;
    if (!cpg_entrada.empty()) {
      bool erro = false;
      const std::optional<std::string> cpg = le_ficheiro(cpg_entrada, erro);
      if (!cpg || erro)
        throw falha("Não foi possível ler o ficheiro de página de código " +
                    entre_aspas(cpg_entrada) + ".");
      if (!es::escreve_ficheiro(saida_.cpg(), *cpg, ec))
        throw falha("Não foi possível escrever o shapefile de saída " + entre_aspas(fich3a) + ": " +
                    descreve(ec) + ".");
    }
    if (!memo_entrada.empty()) {
      // The memo texts, which the table's records point into, as they are.
      bool na_leitura = false;
      if (!es::copia_ficheiro(memo_entrada, saida_.memo(), ec, na_leitura))
        throw falha(na_leitura ? "Não foi possível ler o ficheiro de memorandos " +
                                     entre_aspas(memo_entrada) + ": " + descreve(ec) + "."
                               : "Não foi possível escrever o shapefile de saída " +
                                     entre_aspas(fich3a) + ": " + descreve(ec) + ".");
    }
    if (!prj_.empty()) escreve_prj(prj_, fich_prj, saida_.prj());
    verifica_paragem(j_.pedido_de_paragem());
    return true;
  });
}

resultado corrida::publica()
{
  protegido([&] {
    verifica_paragem(j_.pedido_de_paragem());
    // From the first rename the run completes: the publication is not
    // interrupted (only its wait for the folder is).
    saida_.publica([this](bool p) { return espera_vez(p); }, p_.em_lote);
    if (saida_.pasta_por_sincronizar())
      j_.mensagem("O sistema de ficheiros da pasta " + entre_aspas(saida_.pasta()) +
                  " não permite confirmar que os nomes dos ficheiros ficaram gravados no disco: "
                  "o shapefile está no lugar, mas um corte de energia logo a seguir poderia "
                  "perdê-lo.");
    j_.ocupado(false);
    fim_ = {desfecho::criado, {{texto_criado + fich3a, tipo_mensagem::conclusao}}};
    return true;
  });
  return fim_;
}

// After a fault: release every file and remove what this run created. The
// input and files that existed before stay.
void corrida::limpa() noexcept
{
  Shp1.abandon();
  Shp2.abandon();
  saida_.abandona();
}

// Step `i` of the route: fich1a into fich2a over the transfer loop, with
// the coordinate function of its kind. The grid and parameter steps
// restore the pointer themselves.
void corrida::executa(std::size_t i)
{
  const etapa& t = r_.etapas[i];
  verifica_paragem(j_.pedido_de_paragem());
  // The run's own files are named in messages as the output they become.
  Shp1.mostra_como(i > 0 ? fich3a : std::string());
  Shp2.mostra_como(fich3a);
  // The first step reads the user's input: its records are checked against
  // the area, and counted for the message of a rejected vertex (a later
  // step reads the same records from the run's own files).
  vigia_registos v(j_, *r_.sistema1, fich1a, vigia_ && i == 0);
  // Progress counts the records of every step of the route; it is told
  // once per percent (at most every 4096 records), so that it costs the
  // loop nothing.
  const long long passos = static_cast<long long>(r_.etapas.size());
  const long long feitos_antes = static_cast<long long>(i);
  struct vigia_etapa {
    corrida& c;
    vigia_registos& v;
    long long passos, feitos_antes;
    const std::atomic<bool>* parar;
    long long total = 0, passo = 1, falta = 0;
    // The record loop's look at each record.
    void operator()(const ShapeFiles& e, int k)
    {
      verifica_paragem(parar);
      c.registo_ = k;
      if (--falta <= 0) {
        if (k == 1) {
          total = e.record_count();
          passo = std::clamp(total / 100, 1LL, 4096LL);
        }
        falta = passo;
        c.j_.progresso(feitos_antes * total + k - 1, passos * total);
      }
      v(e, k);
    }
    // The same on the threads of a copy in ranges, which tell the window
    // how far they are from this one.
    bool registo(const ShapeFiles& e, int k) const
    {
      verifica_paragem(parar);
      return v.dentro(e, k);
    }
    void avanco(long long feitos, long long registos)
    {
      total = registos;
      c.j_.progresso(feitos_antes * total + feitos, passos * total);
    }
    void falha_em(int k) { c.registo_ = k; }
  } antes{*this, v, passos, feitos_antes, j_.pedido_de_paragem()};
  switch (t.tipo) {
    case tipo_etapa::polinomio:
      transfere(j_, Shp1, Shp2, fich1a, fich2a, por_polinomio{*t.conjunto}, antes);
      break;
    case tipo_etapa::ilha:
      transfere(j_, Shp1, Shp2, fich1a, fich2a,
                [c = *t.ilha](double x, double y) { return polinomio_ilha(c, x, y); }, antes);
      break;
    case tipo_etapa::translacao:
      transfere(j_, Shp1, Shp2, fich1a, fich2a,
                [d = t.desvio](double x, double y) { return translada(d, x, y); }, antes);
      break;
    case tipo_etapa::grelha: {
      // Bilinear interpolation in the two grids of the direction.
      j_.ocupado(true);
      const ficheiros_grelha f = ficheiros_de(
          t.direcao, p_.pasta_grelhas.empty() ? es::pasta_programa() : p_.pasta_grelhas);
      testa_presenca(f);
      const grelhas g = le_grelhas(f);
      // A point off the grid is named in the user's own coordinates where
      // only shifts of the origin (a military grid's) came before.
      translacao desvio{0, 0};
      for (std::size_t k = 0; k < i; ++k) {
        if (r_.etapas[k].tipo != tipo_etapa::translacao) {
          desvio = {0, 0};
          break;
        }
        desvio.dx += r_.etapas[k].desvio.dx;
        desvio.dy += r_.etapas[k].desvio.dy;
      }
      transfere(
          j_, Shp1, Shp2, fich1a, fich2a,
          [&g, desvio](double x, double y) {
            if (const auto r = interpola(g, x, y)) return *r;
            throw fora_da_grelha(x - desvio.dx, y - desvio.dy);
          },
          antes);
      j_.ocupado(false);
      break;
    }
    case tipo_etapa::dgt: {
      // DGT's NTv2 grids: the source plane to its datum's longitude and
      // latitude, to ETRS89 by the source datum's grid, to the target datum
      // by its grid inverted, to the target plane. A point off a grid gives
      // no number, which names its record and vertex.
      j_.ocupado(true);
      const std::string pasta = p_.pasta_grelhas.empty() ? es::pasta_programa() : p_.pasta_grelhas;
      const sistema &de = *r_.sistema1, &para = *r_.sistema2;
      std::optional<grelha_ntv2> g_de, g_para;
      if (de.datum != datum::etrs89) g_de = le_ntv2(ficheiro_ntv2(de.datum, pasta));
      if (para.datum != datum::etrs89) g_para = le_ntv2(ficheiro_ntv2(para.datum, pasta));
      const auto plano = [](const projeccao& q) {
        return tmerc(q.a, q.inverso_achatamento, q.latitude0, q.longitude0, q.escala, q.falso_este,
                     q.falso_norte);
      };
      const tmerc p_de = plano(de.projeccao), p_para = plano(para.projeccao);
      transfere(
          j_, Shp1, Shp2, fich1a, fich2a,
          [&](double x, double y) {
            const geografica_trig t = p_de.para_geografica_trig(x, y);
            std::optional<geografica> g = t.g;
            if (g_de) g = g_de->aplica(*g);
            if (g && g_para) g = g_para->inverte(*g);
            par r{std::nan(""), std::nan("")};
            if (g) p_para.para_plano(*g, r.x, r.y, &t);  // the datums' shifts are small
            return r;
          },
          antes);
      j_.ocupado(false);
      break;
    }
    case tipo_etapa::parametros: {
      j_.ocupado(true);
      const coeficientes c = le_parametros(fich_par_m, fich_par_p);
      transfere(j_, Shp1, Shp2, fich1a, fich2a, por_polinomio{c}, antes);
      j_.ocupado(false);
      break;
    }
  }
  j_.progresso((feitos_antes + 1) * antes.total, passos * antes.total);
}

std::string texto_espera(const std::string& pasta)
{
  return "À espera de outra conversão que está a pôr o seu resultado na pasta " +
         entre_aspas(pasta) + "...";
}

std::string pergunta_substitui(const std::string& shp)
{
  return "O ficheiro " + entre_aspas(shp) + " já existe. Substituir?";
}

const rota* encaminha(const pedido& p, bool lote, resultado& recusado)
{
  std::vector<mensagem>& m = recusado.mensagens;
  auto testa = [&](bool condicao, const char* texto) {
    if (condicao) m.push_back({texto, tipo_mensagem::aviso});
  };
  // A system may be named by a code that names only it (EPSG:27493); a
  // target of "Qualquer" by any text.
  const std::string_view n1 = nome_do_sistema(p.sistema1);
  const sistema* s1 = sistema_de(n1);
  const bool parametros = s1 && s1->parametros;
  const std::string_view n2 = parametros ? std::string_view(p.sistema2) : nome_do_sistema(p.sistema2);
  recusado.como = desfecho::recusado;

  // Entry checks: all four, in this order; each that fails is reported.
  testa(!lote && !p.sistema1.empty() && p.entrada.empty(),
        "Escolher o ficheiro Shapefile no Sistema 1!!");
  testa(!p.sistema1.empty() && p.saida.empty(),
        lote ? "Definir a pasta de saída no Sistema 2!!"
             : "Definir o ficheiro Shapefile no Sistema 2!!");
  testa(parametros && p.parametros_x.empty(), "Definir o ficheiro de parâmetros em X!!");
  testa(parametros && p.parametros_y.empty(), "Definir o ficheiro de parâmetros em Y!!");
  if (!m.empty()) return nullptr;

  // Route by exact, case-sensitive comparison of the names.
  if (p.metodo == metodo::dgt) {
    if (const rota* r = rota_de(n1, n2, true)) return r;
    if (rota_de(n1, n2)) {
      m.push_back({"As grelhas NTv2 da DGT só convertem entre os sistemas do continente "
                   "(Hayford-Gauss Datum 73, Datum Lisboa e as suas quadrículas militares, "
                   "ETRS89 TM06).",
                   tipo_mensagem::aviso});
      return nullptr;
    }
  }
  if (const rota* r = rota_de(n1, n2)) return r;
  testa(destinos_de(n1).empty(), "Definir o Sistema 1 !!");
  testa(p.sistema2.empty(), "Definir o Sistema 2 !!");
  // A known source and a known target without a route: nothing to say in
  // the window, whose lists offer no such pair.
  if (m.empty()) recusado.como = desfecho::sem_rota;
  return nullptr;
}

conversao::conversao(const pedido& p, const rota& r, janela& j)
    : c_(std::make_unique<corrida>(p, j, r)), j_(j)
{
}

conversao::~conversao() = default;

bool conversao::escreve()
{
  if (c_->escreve()) return true;
  j_.ocupado(false);
  return false;
}

resultado conversao::publica()
{
  resultado x = c_->publica();
  if (x.como != desfecho::criado) j_.ocupado(false);
  return x;
}

const resultado& conversao::fim() const { return c_->fim(); }

resultado converte(const pedido& p, const rota& r, janela& j)
{
  conversao c(p, r, j);
  return c.escreve() ? c.publica() : c.fim();
}

resultado converte(const pedido& p, janela& j)
{
  resultado recusado;
  if (const rota* r = encaminha(p, false, recusado)) return converte(p, *r, j);
  j.ocupado(false);
  return recusado;
}

}  // namespace kelvara
