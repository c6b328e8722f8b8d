#include "conversao.h"

#include <new>
#include <system_error>
#include <vector>

#include "escreve_prj.h"
#include "falha.h"
#include "ficheiros.h"
#include "ficheiros_grelha.h"
#include "ficheiros_parametros.h"
#include "ilhas.h"
#include "nomes.h"
#include "polinomio.h"
#include "publica.h"
#include "rotas.h"
#include "seguranca.h"
#include "shapefiles.h"
#include "transfere.h"

namespace kelvara {

namespace {

std::string lista_de(const std::vector<std::string>& nomes)
{
  std::string r;
  for (size_t i = 0; i < nomes.size(); ++i)
    r += (i == 0 ? "" : i + 1 == nomes.size() ? " e " : ", ") + entre_aspas(nomes[i]);
  return r;
}

// Working files found before a run: the user's own, or left by a conversion
// that was interrupted (then with the hidden files it had reserved beside
// its output). Nothing is touched; the message says what to remove.
std::string mensagem_restos(const std::vector<std::string>& trabalho,
                            const std::vector<std::string>& escondidos)
{
  const bool um = trabalho.size() == 1;
  std::string m = std::string(um ? "Já existe o ficheiro " : "Já existem os ficheiros ") +
                  lista_de(trabalho) +
                  (um ? ", com o nome que a conversão dá aos seus ficheiros de trabalho. Não foi "
                        "alterado."
                      : ", com os nomes que a conversão dá aos seus ficheiros de trabalho. Não "
                        "foram alterados.") +
                  " Se " + (um ? "for resto" : "forem restos") +
                  " de uma conversão interrompida, apague-" + (um ? "o" : "os");
  if (!escondidos.empty()) m += ", e também " + lista_de(escondidos) + " ao lado da saída";
  return m + "; se não, mova-" + (um ? "o" : "os") + ". Depois repita a conversão.";
}


// One run of a route: the file names derived from the request, the two
// shapefile components, and the files this run has created.
class corrida {
 public:
  corrida(const pedido& p, janela& j, const rota& r)
      : p_(p), j_(j), r_(r), saida_(sem_ultimos_quatro(p.saida) + ".shp")
  {
  }

  // True when the conversion completed.
  bool corre();

 private:
  void verifica_nomes() const;
  void deriva_nomes();
  void verifica_saida() const;
  void executa(const rotina& t);
  void limpa() noexcept;

  const pedido& p_;
  janela& j_;
  const rota& r_;

  std::string fich1a, fich1b, fich1c;  // input of the current routine
  std::string fich2a, fich2b, fich2c;  // output of the current routine
  std::string fich3a, fich3b, fich3c;  // final output
  std::string fich_par_m, fich_par_p;  // X and Y parameter files
  std::string fich_prj;                // projection file

  publicacao saida_;
  ShapeFiles Shp1, Shp2;
  std::vector<std::string> criados_;  // this run's own files, removed after a fault
  bool vigia_ = false;     // the input's records are checked against the area
  std::string entrada_;    // the input shapefile, as derived
  int registo_ = 0;        // the record of the input being read
};

void corrida::verifica_nomes() const
{
  for (const bool saida : {false, true})
    if (const std::string r = recusa_nome(saida ? p_.saida : p_.entrada, saida); !r.empty())
      throw falha(r);
}

void corrida::deriva_nomes()
{
  const std::string base1 = sem_ultimos_quatro(p_.entrada);
  const std::string base2 = sem_ultimos_quatro(p_.saida);
  fich1a = base1 + ".shp";
  fich1b = base1 + ".shx";
  fich1c = base1 + ".dbf";
  fich2a = base1 + "_.shp";
  fich2b = base1 + "_.shx";
  fich2c = base1 + "_.dbf";
  fich3a = base2 + ".shp";
  fich3b = base2 + ".shx";
  fich3c = base2 + ".dbf";
  fich_par_m = p_.parametros_x;
  fich_par_p = p_.parametros_y;
  entrada_ = fich1a;
}

// The output must not be the input nor one of this run's working files,
// and a file under a working name belongs to the user: never overwritten.
void corrida::verifica_saida() const
{
  for (const std::string* s : {&fich3a, &fich3b, &fich3c}) {
    for (const std::string* i : {&fich1a, &fich1b, &fich1c})
      if (es::mesmo_ficheiro(*s, *i))
        throw falha("O ficheiro de saída " + entre_aspas(*s) +
                    " é o próprio ficheiro de entrada " + entre_aspas(*i) +
                    ". Escolha outro nome para o shapefile do Sistema 2.");
    for (const std::string* t : {&fich2a, &fich2b, &fich2c})
      if (es::mesmo_ficheiro(*s, *t))
        throw falha("O ficheiro de saída " + entre_aspas(*s) +
                    " tem o nome do ficheiro de trabalho que a conversão cria ao lado da "
                    "entrada. Escolha outro nome para o shapefile do Sistema 2.");
  }
  std::vector<std::string> existentes;
  for (const std::string* t : {&fich2a, &fich2b, &fich2c})
    if (es::existe(*t)) existentes.push_back(*t);
  if (!existentes.empty()) throw falha(mensagem_restos(existentes, saida_.restos()));
}

bool corrida::corre()
{
  try {
    verifica_nomes();
    deriva_nomes();
    verifica_saida();
    // An input that does not look like Sistema 1 is refused (or, in the
    // window, converted only on "Sim"); "Qualquer" is never checked.
    if (!r_.sistema1->parametros && !p_.forcar)
      vigia_ = verifica_fonte(j_, *r_.sistema1, fich1a);
    if (es::existe(fich3a) &&
        !j_.substitui("O ficheiro " + entre_aspas(fich3a) + " já existe. Substituir?"))
      return false;
    saida_.reserva(criados_);
    for (const std::string* t : {&fich2a, &fich2b, &fich2c}) criados_.push_back(*t);

    executa(*r_.passo1);
    if (!r_.passo2) {
      try {
        es::move(fich2a, saida_.shp());
        es::move(fich2b, saida_.shx());
        es::move(fich2c, saida_.dbf());
      } catch (const std::system_error& x) {
        throw falha("Não foi possível escrever o shapefile de saída " + entre_aspas(fich3a) +
                    ": " + descreve(x.code()) + ".");
      }
    } else {
      // The second step reads the working files and writes the new output
      // beside its final name.
      fich1a = fich2a;
      fich1b = fich2b;
      fich1c = fich2c;
      fich2a = saida_.shp();
      fich2b = saida_.shx();
      fich2c = saida_.dbf();
      executa(*r_.passo2);
      for (const std::string* t : {&fich1a, &fich1b, &fich1c}) {
        std::error_code ec;
        es::remove(*t, ec);
      }
    }
    saida_.publica(fich1a);
    criados_.clear();

    if (r_.escreve_prj()) escreve_prj(p_.sistema2, fich3a, fich_prj);
    j_.ocupado(false);
    j_.mensagem(texto_criado + fich3a, titulo_ostrel);
    j_.fecha();
    return true;
  } catch (const fora_da_grelha& x) {
    // A vertex off the Datum Lisboa grid ends the program after its
    // message; nothing of this run stays on disk, and an older output at
    // the output path is still whole.
    Shp1.abandon();
    Shp2.abandon();
    j_.mensagem(x.what(), titulo_programa);
    j_.nota("No shapefile " + entre_aspas(entrada_) + ", registo " + std::to_string(registo_) +
            ".");
    limpa();
    j_.fecha();
  } catch (const falha& f) {
    limpa();
    j_.mensagem(f.what(), f.titulo().empty() ? titulo_programa : f.titulo());
  } catch (const std::bad_alloc&) {
    limpa();
    j_.mensagem("Não há memória suficiente para esta conversão. Nenhum ficheiro foi alterado.",
                titulo_programa);
  } catch (const std::exception& x) {
    limpa();
    j_.mensagem(std::string("A conversão falhou: ") + x.what(), titulo_programa);
  }
  return false;
}

// After a fault: release every file and remove what this run created. The
// input and files that existed before stay.
void corrida::limpa() noexcept
{
  Shp1.abandon();
  Shp2.abandon();
  for (const std::string& nome : criados_) {
    std::error_code ec;
    es::remove(nome, ec);
  }
  criados_.clear();
}

// One transformation routine: fich1a into fich2a over the transfer loop,
// with the coordinate function of its kind. The grid and parameter
// routines restore the pointer themselves.
void corrida::executa(const rotina& t)
{
  // The first step reads the user's input: its records are checked against
  // the area, and counted for the message of a rejected vertex (a second
  // step reads the same records from the working files).
  vigia_registos v(j_, *r_.sistema1, fich1a, vigia_ && fich1a == entrada_);
  auto antes = [&](const ShapeFiles& e, int k) {
    registo_ = k;
    v(e, k);
  };
  switch (t.tipo) {
    case tipo_rotina::polinomio:
      transfere(j_, Shp1, Shp2, fich1a, fich2a,
                [c = *t.conjunto](double x, double y) { return polinomio(c, x, y); }, antes);
      break;
    case tipo_rotina::ilha:
      transfere(j_, Shp1, Shp2, fich1a, fich2a,
                [c = *t.ilha](double x, double y) { return polinomio_ilha(c, x, y); }, antes);
      break;
    case tipo_rotina::grelha: {
      // Bilinear interpolation in the two grids of the direction.
      j_.ocupado(true);
      const ficheiros_grelha f = ficheiros_de(t.direcao, p_.pasta_grelhas);
      testa_presenca(f);
      const grelhas g = le_grelhas(f);
      transfere(
          j_, Shp1, Shp2, fich1a, fich2a,
          [&g](double x, double y) {
            if (const auto r = interpola(g, x, y)) return *r;
            throw fora_da_grelha(x, y);
          },
          antes);
      j_.ocupado(false);
      break;
    }
    case tipo_rotina::parametros: {
      j_.ocupado(true);
      const coeficientes c = le_parametros(fich_par_m, fich_par_p);
      transfere(j_, Shp1, Shp2, fich1a, fich2a,
                [&c](double x, double y) { return polinomio(c, x, y); });
      j_.ocupado(false);
      break;
    }
  }
}

}  // namespace

bool converte(const pedido& p, janela& j)
{
  auto mostra = [&](const std::string& texto) { j.mensagem(texto, titulo_programa); };
  const sistema* s1 = sistema_de(p.sistema1);
  const bool parametros = s1 && s1->parametros;

  // Entry checks: all four, in this order; each that fails is reported.
  bool falta = false;
  auto testa = [&](bool condicao, const char* texto) {
    if (condicao) {
      mostra(texto);
      falta = true;
    }
  };
  testa(!p.sistema1.empty() && p.entrada.empty(), "Escolher o ficheiro Shapefile no Sistema 1!!");
  testa(!p.sistema1.empty() && p.saida.empty(), "Definir o ficheiro Shapefile no Sistema 2!!");
  testa(parametros && p.parametros_x.empty(), "Definir o ficheiro de parâmetros em X!!");
  testa(parametros && p.parametros_y.empty(), "Definir o ficheiro de parâmetros em Y!!");

  if (!falta) {
    // Route by exact, case-sensitive comparison of the texts.
    bool fonte = false;
    for (const rota& r : rotas()) {
      if (p.sistema1 != r.sistema1->nome) continue;
      fonte = true;
      if (!r.qualquer_destino && p.sistema2 != r.sistema2->nome) continue;
      if (corrida(p, j, r).corre()) return true;
      j.ocupado(false);
      return false;
    }
    if (!fonte) mostra("Definir o Sistema 1 !!");
    if (p.sistema2.empty()) mostra("Definir o Sistema 2 !!");
  }
  j.ocupado(false);
  return false;
}

}  // namespace kelvara
