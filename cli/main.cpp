// kelvara-cli: the conversion command of the window, for scripts and batches.
//
//   kelvara-cli -s SISTEMA1 -t SISTEMA2 [-x PARAM_X] [-y PARAM_Y]
//               [--grelhas PASTA] [--forcar] [-r] [-j N] [--progresso] [-q]
//               ENTRADA... SAIDA
//
// One input file and an output that is not a folder: one conversion, and
// every message the window would show is printed: the completion message on
// standard output, every other one on standard error. Otherwise a batch
// into the output folder, with a summary line. Exit status 0 when every
// conversion completed, 1 when any was refused or failed, 2 for a usage
// error, 128 + the signal's number when interrupted.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "caminhos.h"
#include "conversao.h"
#include "falha.h"
#include "lote.h"
#include "nomes.h"
#include "paragem.h"
#include "rotas.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

using namespace kelvara;

constexpr const char* ajuda =
    R"(Utilização:
  kelvara-cli -s SISTEMA1 -t SISTEMA2 [-x PARAM_X] [-y PARAM_Y] [--grelhas PASTA] [--forcar]
              [--substituir] [--prj-epsg] [--metodo oficial|dgt] [-r] [-j N] [--progresso]
              [-q] ENTRADA... SAIDA
  kelvara-cli --lista [--tsv]
  kelvara-cli --versao
  kelvara-cli -h | --help

Converte a geometria do shapefile ENTRADA do sistema de referência SISTEMA1 para
SISTEMA2 e grava o resultado em SAIDA, exactamente como o botão "OK" da janela de
kelvara: os atributos são copiados sem alteração e o x e o y de cada vértice são
transformados. É escrito um ficheiro .prj com o sistema de destino (excepto para
{parametros}).

  -s SISTEMA1       sistema de origem ("Sistema 1"), pelo nome ou por um dos seus
                    códigos (EPSG:27493, ESRI:102160; um número só é um código EPSG)
  -t SISTEMA2       sistema de destino ("Sistema 2"), da mesma forma
  -x PARAM_X        ficheiro de parâmetros em X (só para {parametros})
  -y PARAM_Y        ficheiro de parâmetros em Y (só para {parametros})
  --grelhas PASTA   pasta dos ficheiros de grelha do Datum Lisboa (et_lx_m.asc,
                    et_lx_p.asc, lx_et_m.asc, lx_et_p.asc); por omissão, a pasta
                    do programa, onde a compilação e a instalação os põem
  --metodo METODO   "oficial" (por omissão): os polinómios oficiais do 2.º grau e,
                    para o Datum Lisboa, os quatro ficheiros de grelha acima;
                    "dgt": as grelhas NTv2 da DGT (dgt_d73_etrs89.ntv e
                    dgt_dlx_etrs89.ntv, na mesma pasta), as que a DGT recomenda,
                    só entre os sistemas do continente. No continente os dois
                    métodos diferem até 0,5 m (0,1 m em média); o "dgt" dá o
                    mesmo que o PROJ com as grelhas da DGT, a menos de 1 mm.
                    Grelhas: (c)2019 Directorate-General for the Territorial
                    Development, CC-BY-4.0.
  --forcar          converte mesmo que ENTRADA não pareça estar no SISTEMA1 (ver
                    abaixo)
  --substituir      substitui uma SAIDA que já exista (sem esta opção, uma saída
                    que já exista não é convertida)
  --prj-epsg        escreve no .prj o texto que o PROJ dá para o código EPSG do
                    SISTEMA2 (ou ESRI:102160), em lugar do texto próprio do sistema
  -r                com uma pasta de entrada, converte também os shapefiles das
                    suas subpastas, que são reproduzidas dentro de SAIDA (uma
                    ligação simbólica para uma pasta não é seguida)
  -j N              faz N conversões ao mesmo tempo (por omissão, o número de
                    processadores); o resultado é o mesmo que uma a uma. Um
                    ficheiro grande é convertido pelos processadores que as
                    outras conversões deixam livres
  --progresso       mostra o andamento na saída de erros
                    (0...10...20...30...40...50...60...70...80...90...100 - concluído.):
                    pelos registos, com um ficheiro; pelos ficheiros, pesados pelo
                    tamanho, com vários
  -q                só mostra os erros
  --lista           mostra os sistemas e as conversões possíveis
  --tsv             com --lista, uma linha por sistema ("sistema", o nome, o papel:
                    fonte, destino ou ambos, e os códigos separados por vírgulas) e
                    uma por conversão ("rota", o sistema de
                    origem, o de destino, vazio se qualquer texto serve, as rotinas
                    separadas por vírgulas e o texto do .prj, vazio se não há), com os
                    campos separados por tabulações
  --versao          mostra a versão do programa
  -h, --help        mostra esta ajuda

Uma opção omitida vale como texto vazio. Os nomes dos sistemas têm de ser escritos
exactamente como em --lista, com maiúsculas e acentos, ou dados por um código de
--lista; um nome ou código que não seja de nenhum sistema (ou um código de vários
sistemas, como EPSG:2189, das cinco ilhas do grupo central dos Açores) é um erro
de utilização. ENTRADA e SAIDA têm de terminar num ponto seguido de três
caracteres (rios.shp; também rios.SHP ou rios.dbf), que são substituídos por .shp,
.shx e .dbf. Uma SAIDA que já exista só é substituída com --substituir: então os
seus ficheiros (.shp, .shx, .dbf, .prj, .cpg, .qpj, .shp.xml, .qmd, os índices
.sbn, .sbx e .qix e os memos .dbt e .fpt, com a extensão em maiúsculas ou
minúsculas) dão lugar aos novos.

Vários ficheiros de uma vez: quando há mais de uma ENTRADA, quando uma ENTRADA é uma
pasta, ou quando SAIDA é uma pasta que já existe ou termina em "/", SAIDA é a pasta
de saída (criada se não existir; a pasta que a contém tem de existir). Cada
ficheiro de entrada é convertido para SAIDA com o seu próprio nome; uma pasta de
entrada dá todos os seus ficheiros *.shp (a extensão em maiúsculas ou minúsculas) e,
com -r, também os das subpastas. A pasta de saída nunca é percorrida, mesmo que
esteja dentro de uma pasta de entrada. Se duas entradas dessem o mesmo ficheiro de
saída, nada é convertido. Cada ficheiro é convertido com as mesmas garantias de uma
conversão só; um ficheiro que falhe não impede os outros. No fim, com mais de um
ficheiro, uma linha na saída de erros diz quantos foram convertidos, quais
falharam e quais não foram convertidos por a saída já existir.

Antes de converter, ENTRADA é comparada com o SISTEMA1 (excepto para {parametros}):
a conversão é recusada quando o seu ficheiro .prj (rios.prj, ou rios.PRJ) descreve
outro sistema que não o SISTEMA1 (coordenadas geográficas, outro dos sistemas de
--lista, como a quadrícula militar em lugar do ponto central, ou um sistema que
kelvara não converte, de que se diz o nome, a falsa origem e o elipsóide; de um
sistema composto, como ETRS89 TM06 com altitudes de Cascais, conta a parte
horizontal), ou quando as suas coordenadas (a caixa do cabeçalho, depois cada
registo) ficam todas fora da área do SISTEMA1 (a área de utilização EPSG do
sistema, com uma margem de 50 km no continente, de 5 km em cada ilha do grupo
central dos Açores e de 10 km nas outras ilhas). Com --forcar a conversão faz-se
na mesma. Um .prj que não se consiga ler dá um aviso e não impede a conversão.

As conversões de e para o Datum Lisboa interpolam em quatro ficheiros de grelha
que acompanham o programa, na sua pasta, calculados a partir das grelhas NTv2 da
DGT ((c)2019 Directorate-General for the Territorial Development, CC-BY-4.0).
Outros ficheiros de grelha com a mesma disposição (por exemplo, os que a
autoridade cartográfica nacional distribuiu) podem ser usados com --grelhas
PASTA, ou postos na pasta do programa em lugar destes.

Mensagens: a de conclusão ("{criado}...") vai para a saída padrão; todas
as outras para a saída de erros (com vários ficheiros, precedidas do nome da
entrada).
Estado de saída: 0 todas as conversões concluídas; 1 alguma conversão recusada ou
falhada; 2 erro de utilização; 130, 143 ou 129 interrompido por SIGINT (Ctrl+C),
SIGTERM ou SIGHUP: as conversões em curso param sem deixar ficheiros, com as
entradas e as saídas anteriores intactas, e as já concluídas ficam.

Depois de "{criado}..." o resultado está gravado no disco: um
corte de energia não o perde. Uma conversão morta a meio de pôr o resultado no
lugar é acabada (se todos os ficheiros novos já estavam no lugar) ou desfeita
pela conversão seguinte na mesma pasta, que diz o que fez. Uma conversão que
tenha de esperar por outra que está a pôr o resultado na mesma pasta di-lo ao
fim de um segundo; Ctrl+C, SIGTERM ou SIGHUP acabam a espera sem mudar nada.

Exemplos:
)";

// The example of the help: the window's first source and its first target.
void exemplo()
{
  const sistema* s1 = fontes().front();
  const rota* r = destinos_de(s1->nome).front();
  const std::string a(s1->nome), b(r->sistema2->nome);
  std::printf("  kelvara-cli -s \"%s\" -t \"%s\" rios.shp rios_etrs.shp\n", a.c_str(), b.c_str());
  std::printf("  kelvara-cli -s \"%s\" -t \"%s\" -r --progresso dados/ etrs/\n", a.c_str(),
              b.c_str());
}

// Standard error is shared by the messages and the progress ticker of
// every conversion running: one line at a time.
std::mutex saida_partilhada;

// The ticker on standard error: "0", a dot every 2.5 %, the tens, and
// " - concluído." at the end.
class contador {
 public:
  void ate(double fracao)
  {
    const int n = static_cast<int>(std::clamp(fracao, 0.0, 1.0) * 40);
    if (n <= passo_) return;
    for (int i = passo_ + 1; i <= n; ++i)
      if (i % 4 == 0) std::fprintf(stderr, "%d", i / 4 * 10);
      else std::fputc('.', stderr);
    if (n == 40) std::fputs(" - concluído.\n", stderr);
    std::fflush(stderr);
    passo_ = n;
    quebrada_ = false;
  }
  // Before a message on standard error: a ticker half-way ends its line.
  void interrompe()
  {
    if (passo_ < 0 || passo_ >= 40 || quebrada_) return;
    std::fputc('\n', stderr);
    quebrada_ = true;
  }

 private:
  int passo_ = -1;
  bool quebrada_ = false;
};

// What is printed, by the options.
struct opcoes_saida {
  bool progresso = false;
  bool silencio = false;    // -q: only errors
  bool substituir = false;  // --substituir: an existing output is replaced
};

constexpr const char* sem_substituir = "Para substituir, repita com a opção --substituir.";
constexpr const char* sem_grelhas =
    "Para indicar outra pasta dos ficheiros de grelha, use a opção --grelhas PASTA.";

std::string nao_substituido(const std::string& shp)
{
  return "O shapefile de saída " + entre_aspas(shp) + " já existe e não foi substituído.";
}

void imprime(std::FILE* f, const std::string& texto)
{
  std::fprintf(f, "%s\n", texto.c_str());
  std::fflush(f);
}

// The messages of a conversion: the completion message on standard output
// (none with -q), every other one on standard error, a ticker half-way
// ended first; `antes` precedes each of the others (a batch's input).
void imprime(const std::vector<mensagem>& m, opcoes_saida o, contador& c,
             const std::string& antes = {})
{
  for (const mensagem& x : m) {
    // On a terminal both streams share the screen: a ticker half-way ends
    // its line before any message, the completion one included.
    if (o.progresso && !(x.tipo == tipo_mensagem::conclusao && o.silencio)) c.interrompe();
    if (x.tipo == tipo_mensagem::conclusao) {
      if (!o.silencio) imprime(stdout, x.texto);
      continue;
    }
    imprime(stderr, antes + x.texto);
  }
}

class janela_texto : public janela {
 public:
  explicit janela_texto(opcoes_saida o) : o_(o) {}
  void mensagem(const std::string& texto) override
  {
    imprime({{texto, tipo_mensagem::aviso}}, o_, contador_);
  }
  void ocupado(bool) override {}
  void espera_pasta(const std::string& pasta) override { mensagem(texto_espera(pasta)); }
  // Without --forcar the answer is "Não": the refusal is printed.
  bool pergunta(const std::string&) override
  {
    recusou = true;
    return false;
  }
  void progresso(long long feitos, long long total) override
  {
    if (o_.progresso && total > 0) contador_.ate(static_cast<double>(feitos) / total);
  }
  // Without --substituir the answer is "Não": the refusal is printed.
  bool substitui(const std::string& shp) override
  {
    if (!o_.substituir) existia = shp;
    return o_.substituir;
  }
  void acabou(const resultado& r)
  {
    imprime(r.mensagens, o_, contador_);
    if (r.sem_grelhas) imprime(stderr, sem_grelhas);
  }
  bool recusou = false;
  std::string existia;  // the output not replaced

 private:
  opcoes_saida o_;
  contador contador_;
};

// A batch: each message is printed whole, the fault's preceded by the input.
class lote_texto : public janela_lote {
 public:
  lote_texto(const kelvara::lote& l, opcoes_saida o) : l_(l), o_(o) {}
  void mensagem(std::size_t i, const std::string& texto) override
  {
    std::lock_guard<std::mutex> l(saida_partilhada);
    imprime({{texto, tipo_mensagem::aviso}}, o_, contador_, l_.pares()[i].entrada + ": ");
  }
  bool pergunta(std::size_t, const std::string&) override
  {
    recusou = true;
    return false;
  }
  void espera_pasta(std::size_t i, const std::string& pasta) override
  {
    mensagem(i, texto_espera(pasta));
  }
  bool recusa_existentes() const override { return !o_.substituir; }
  void acabou(std::size_t i, const resultado& r) override
  {
    std::lock_guard<std::mutex> l(saida_partilhada);
    imprime(r.mensagens, o_, contador_, l_.pares()[i].entrada + ": ");
    if (r.sem_grelhas) imprime(stderr, l_.pares()[i].entrada + ": " + sem_grelhas);
    if (l_.ficheiros()[i].existia) {
      if (o_.progresso) contador_.interrompe();
      imprime(stderr, l_.pares()[i].entrada + ": " +
                          nao_substituido(sem_ultimos_quatro(l_.pares()[i].saida) + ".shp"));
    }
  }
  void progresso(double fracao, std::size_t) override
  {
    if (!o_.progresso) return;
    std::lock_guard<std::mutex> l(saida_partilhada);
    contador_.ate(fracao);
  }
  std::atomic<bool> recusou{false};

 private:
  const kelvara::lote& l_;
  opcoes_saida o_;
  contador contador_;
};

int uso(const std::string& porque)
{
  std::fprintf(stderr, "kelvara-cli: %s\nExperimente \"kelvara-cli --help\".\n", porque.c_str());
  return 2;
}

// A system's codes, separated by `entre`.
std::string codigos(const sistema& s, const char* entre)
{
  std::string r;
  for (const std::string_view c : s.codigos)
    if (!c.empty()) r += (r.empty() ? "" : entre) + std::string(c);
  return r;
}

// Lower case, letters and digits only, accents dropped: what is compared
// when looking for the names closest to a mistyped one.
std::string simples(std::string_view t)
{
  std::string r;
  for (size_t i = 0; i < t.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if (c == 0xC3 && i + 1 < t.size()) {  // the accented letters of Portuguese
      const unsigned char d = static_cast<unsigned char>(t[++i]) | 0x20;
      r += d >= 0xA0 && d <= 0xA5 ? 'a' : d == 0xA7 ? 'c' : d >= 0xA8 && d <= 0xAB ? 'e'
           : d >= 0xAC && d <= 0xAF ? 'i' : d >= 0xB2 && d <= 0xB6 ? 'o' : d >= 0xB9 && d <= 0xBC ? 'u' : '?';
    } else if (std::isalnum(c)) {
      r += static_cast<char>(std::tolower(c));
    }
  }
  return r;
}

// How far `a` is from `b`: 0 when one holds the other, else the edits
// that turn one into the other.
std::size_t distancia(const std::string& a, const std::string& b)
{
  if (!a.empty() && (b.find(a) != std::string::npos || a.find(b) != std::string::npos)) return 0;
  std::vector<std::size_t> linha(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) linha[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = linha[0];
    linha[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cima = linha[j];
      linha[j] = std::min({linha[j] + 1, linha[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = cima;
    }
  }
  return linha[b.size()];
}

// Why the texts of -s and -t cannot name the systems of a conversion; empty
// when they can. An omitted one is the conversion's to report (as the
// window does); the target of "Qualquer" may be any text.
std::string erro_de_sistemas(const std::string& s1, const std::string& s2)
{
  std::string erro;
  auto examina = [&](const std::string& t, const char* opcao) {
    if (t.empty() || sistema_de(t)) return;
    const std::vector<const sistema*> por_codigo = sistemas_do_codigo(t);
    if (por_codigo.size() == 1) return;
    if (por_codigo.size() > 1) {
      erro = "o código " + t + " de " + opcao + " é de vários sistemas: ";
      for (size_t i = 0; i < por_codigo.size(); ++i)
        erro += (i == 0 ? "" : i + 1 == por_codigo.size() ? " e " : ", ") +
                entre_aspas(std::string(por_codigo[i]->nome));
      erro += ". Indique o sistema pelo nome (kelvara-cli --lista mostra-os).";
      return;
    }
    // The closest names: those that hold the text, or are a few edits
    // from it (a third of its letters), at most three.
    std::vector<std::pair<std::size_t, const sistema*>> perto;
    const std::string procurado = simples(t);
    for (const sistema& s : sistemas())
      if (const std::size_t d = distancia(procurado, simples(s.nome)); d <= procurado.size() / 3)
        perto.push_back({d, &s});
    std::stable_sort(perto.begin(), perto.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    if (perto.size() > 3) perto.resize(3);
    erro = "não há nenhum sistema chamado " + entre_aspas(t) + " (" + opcao + ").";
    for (size_t i = 0; i < perto.size(); ++i)
      erro += (i == 0 ? perto.size() == 1 ? " O nome mais parecido: " : " Os nomes mais parecidos: "
               : i + 1 == perto.size() ? " e " : ", ") +
              entre_aspas(std::string(perto[i].second->nome));
    erro += std::string(perto.empty() ? "" : ".") +
            " Os nomes e os códigos de todos os sistemas: kelvara-cli --lista.";
  };
  examina(s1, "-s");
  const sistema* fonte = sistema_de(nome_do_sistema(s1));
  if (erro.empty() && !(fonte && fonte->parametros)) examina(s2, "-t");
  return erro;
}

// The catalogue: for the user, or with --tsv one line per system (its
// name and role) and one per route (source, target, empty for any text,
// its steps separated by commas, and its projection text, empty for none),
// fields separated by tabs.
void lista(bool tsv)
{
  if (tsv) {
    for (const sistema& s : sistemas())
      std::printf("sistema\t%s\t%s\t%s\n", std::string(s.nome).c_str(),
                  std::string(papel(s)).c_str(), codigos(s, ",").c_str());
    for (const rota& r : rotas()) {
      std::string etapas;
      for (const etapa& e : r.etapas) etapas += (etapas.empty() ? "" : ",") + std::string(e.nome);
      std::printf("rota\t%s\t%s\t%s\t%s\n", std::string(r.sistema1->nome).c_str(),
                  r.qualquer_destino ? "" : std::string(r.sistema2->nome).c_str(), etapas.c_str(),
                  std::string(r.prj).c_str());
    }
    return;
  }
  std::printf("Sistemas:\n");
  for (const sistema& s : sistemas()) {
    const std::string c = codigos(s, ", ");
    std::printf("  %s%s\n", std::string(s.nome).c_str(), c.empty() ? "" : (" (" + c + ")").c_str());
  }
  std::printf("\nConversões (Sistema 1 -> Sistema 2: rotinas):\n");
  for (const rota& r : rotas()) {
    std::string etapas;
    for (const etapa& e : r.etapas)
      etapas += (etapas.empty() ? "" : ", depois ") + std::string(e.nome);
    std::printf("  %s -> %s: %s%s\n", std::string(r.sistema1->nome).c_str(),
                r.qualquer_destino ? "(qualquer texto)" : std::string(r.sistema2->nome).c_str(),
                etapas.c_str(), r.prj.empty() ? "" : " (escreve .prj)");
  }
}

// The window says nothing of a pair without a route, since its lists offer
// none; here the user typed it and is told.
void sem_rota(const std::string& codigo1, const std::string& codigo2)
{
  const std::string s1(nome_do_sistema(codigo1)), s2(nome_do_sistema(codigo2));
  const std::vector<const rota*> destinos = destinos_de(s1);
  std::string lista;
  for (size_t i = 0; i < destinos.size(); ++i)
    lista += (i == 0 ? "" : i + 1 == destinos.size() ? " e " : ", ") +
             entre_aspas(std::string(destinos[i]->sistema2->nome));
  std::fprintf(stderr, "Não há conversão de \"%s\" para \"%s\". De \"%s\" pode converter-se para %s.\n",
               s1.c_str(), s2.c_str(), s1.c_str(), lista.c_str());
}

// The option closest to a mistyped one, as a question; empty when none is
// close (one holds the other, or a third of its letters in edits).
std::string opcao_parecida(const std::string& a)
{
  static const char* const opcoes[] = {"--grelhas", "--forcar", "--substituir", "--prj-epsg", "--metodo",
                                       "--progresso", "--lista",  "--tsv",        "--versao",
                                       "--help"};
  const std::size_t traco = a.find_first_not_of('-');
  const std::string sem = traco == std::string::npos ? "" : a.substr(traco);
  if (sem.size() < 2) return {};
  std::string melhor;
  std::size_t menor = std::max<std::size_t>(1, sem.size() / 3) + 1;
  for (const char* o : opcoes)
    if (const std::size_t d = distancia(sem, o + 2); d < menor) menor = d, melhor = o;
  return melhor.empty() ? "" : ". Quereria dizer " + melhor + "?";
}

int converte_varios(const pedido_lote& p, opcoes_saida o)
{
  kelvara::lote l(p);
  lote_texto j(l, o);
  if (!l.prepara(j)) {
    for (const mensagem& x : l.mensagens()) imprime(stderr, x.texto);
    if (const int sinal = paragem.load()) return 128 + sinal;
    if (l.como() == desfecho::sem_rota) sem_rota(p.modelo.sistema1, p.modelo.sistema2);
    return 1;
  }
  std::atomic<bool> parar{false};  // the signals stop every run through paragem
  l.converte(j, parar);
  const bool todos = l.como() == desfecho::criado;
  {
    std::lock_guard<std::mutex> t(saida_partilhada);
    if (l.pares().size() > 1 && !(todos && o.silencio))
      std::fprintf(stderr, "%s\n", l.resumo(kelvara::lote::forma::linha).c_str());
    if (j.recusou && paragem.load() == 0)
      std::fprintf(stderr, "Para converter mesmo assim, repita com a opção --forcar.\n");
    if (std::any_of(l.ficheiros().begin(), l.ficheiros().end(),
                    [](const ficheiro_lote& f) { return f.existia; }))
      imprime(stderr, sem_substituir);
  }
  if (const int sinal = paragem.load()) return 128 + sinal;
  return todos ? 0 : 1;
}

int corre(const std::vector<std::string>& args)
{
  pedido p;
  std::vector<std::string> posicionais;
  bool recursivo = false;
  std::string metodo = "oficial";
  opcoes_saida o;
  int simultaneas = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto valor = [&](std::string& destino) {
      if (i + 1 >= args.size()) return false;
      destino = args[++i];
      return true;
    };
    if (a == "-h" || a == "--help") {
      // The system converted with the user's parameter files, by its name
      // in the route catalogue, and the completion message.
      std::string texto = ajuda;
      std::string nome;
      for (const sistema& s : sistemas())
        if (s.parametros) nome = entre_aspas(std::string(s.nome));
      for (const auto& [de, por] : {std::pair{std::string("{parametros}"), nome},
                                    {"{criado}", texto_criado}})
        for (size_t i; (i = texto.find(de)) != std::string::npos;) texto.replace(i, de.size(), por);
      std::fputs(texto.c_str(), stdout);
      exemplo();
      return 0;
    }
    if (a == "--lista") {
      lista(std::find(args.begin(), args.end(), "--tsv") != args.end());
      return 0;
    }
    if (a == "--tsv") {
      if (std::find(args.begin(), args.end(), "--lista") == args.end())
        return uso("a opção --tsv só serve com --lista.");
      continue;
    }
    if (a == "--versao" || a == "--version") {
      std::printf("kelvara-cli %s\n", KELVARA_VERSAO);
      return 0;
    }
    if (a == "--forcar" || a == "-r" || a == "--progresso" || a == "-q" || a == "--substituir" ||
        a == "--prj-epsg") {
      (a == "--forcar"       ? p.forcar
       : a == "-r"           ? recursivo
       : a == "-q"           ? o.silencio
       : a == "--substituir" ? o.substituir
       : a == "--prj-epsg"   ? p.prj_epsg
                             : o.progresso) = true;
      continue;
    }
    if (a.rfind("-j", 0) == 0) {
      std::string n = a.substr(2);
      if (n.empty() && !valor(n)) return uso("falta o valor da opção -j.");
      const auto [fim, ec] = std::from_chars(n.data(), n.data() + n.size(), simultaneas);
      if (ec != std::errc() || fim != n.data() + n.size() || simultaneas < 1 || simultaneas > 256)
        return uso("o valor de -j tem de ser um número de 1 a 256 (foi dado \"" + n + "\").");
      continue;
    }
    std::string* destino = a == "-s" ? &p.sistema1
                         : a == "-t" ? &p.sistema2
                         : a == "-x" ? &p.parametros_x
                         : a == "-y" ? &p.parametros_y
                         : a == "--grelhas" ? &p.pasta_grelhas
                         : a == "--metodo" ? &metodo
                                           : nullptr;
    if (destino) {
      if (!valor(*destino)) return uso("falta o valor da opção " + a + ".");
    } else if (a == "--") {
      posicionais.insert(posicionais.end(), args.begin() + i + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      return uso("opção desconhecida: " + a + opcao_parecida(a));
    } else {
      posicionais.push_back(a);
    }
  }
  if (const std::string e = erro_de_sistemas(p.sistema1, p.sistema2); !e.empty()) return uso(e);
  if (metodo == "dgt") {
    p.metodo = kelvara::metodo::dgt;
    // Both systems mainland ones, before anything is read.
    for (const std::string* s : {&p.sistema1, &p.sistema2}) {
      const sistema* x = sistema_de(nome_do_sistema(*s));
      if (!s->empty() && !(x && x->datum != datum::outro))
        return uso("o método dgt só converte entre os sistemas do continente (Datum 73, Datum "
                   "Lisboa, as suas quadrículas militares e ETRS89 TM06); " +
                   entre_aspas(*s) + " não é um deles.");
    }
  } else if (metodo != "oficial") {
    return uso("o valor de --metodo tem de ser oficial ou dgt (foi dado " + entre_aspas(metodo) + ").");
  }
  if (posicionais.size() < 2)
    return uso("são precisos pelo menos dois nomes, ENTRADA e SAIDA (foram dados " +
               std::to_string(posicionais.size()) + ").");
  const std::string saida = posicionais.back();
  posicionais.pop_back();
  if (o.silencio) o.progresso = false;
  if (e_lote(posicionais, saida)) {
    p.saida = saida;
    return converte_varios({p, posicionais, recursivo, simultaneas}, o);
  }

  p.entrada = posicionais[0];
  p.saida = saida;
  janela_texto j(o);
  const resultado r = converte(p, j);
  j.acabou(r);
  if (r.como == desfecho::criado) return 0;
  if (const int sinal = paragem.load()) return 128 + sinal;
  if (j.recusou)
    std::fprintf(stderr, "Para converter mesmo assim, repita com a opção --forcar.\n");
  else if (!j.existia.empty())
    imprime(stderr, nao_substituido(j.existia) + " " + sem_substituir);
  else if (r.como == desfecho::sem_rota)
    sem_rota(p.sistema1, p.sistema2);
  return 1;
}

}  // namespace

#ifdef _WIN32
HANDLE acabou = nullptr;  // set once the run has removed its files

// Ctrl+C and Ctrl+Break stop the run as SIGINT does on POSIX (exit status
// 130); closing the console, logging off and shutting down as SIGHUP (129).
// For those the system ends the process when this returns: it waits until
// the run has removed its files.
BOOL WINAPI ao_controlo(DWORD evento)
{
  const bool fim = evento == CTRL_CLOSE_EVENT || evento == CTRL_LOGOFF_EVENT ||
                   evento == CTRL_SHUTDOWN_EVENT;
  int esperado = 0;
  paragem.compare_exchange_strong(esperado, fim ? 1 : SIGINT);
  if (fim && acabou) WaitForSingleObject(acabou, INFINITE);
  return TRUE;
}

int wmain(int argc, wchar_t** argv)
{
  SetConsoleOutputCP(CP_UTF8);
  acabou = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(ao_controlo, TRUE);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(kelvara::texto(std::filesystem::path(argv[i])));
  const int r = corre(args);
  std::fflush(nullptr);
  if (acabou) SetEvent(acabou);
  return r;
}
#else
void para(int sinal) { paragem.store(sinal); }

int main(int argc, char** argv)
{
  // A file size limit then fails the write, which is reported, instead of
  // killing the process with half a file written; a closed standard output
  // loses only the message, and the exit status still tells what happened.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  // Interrupted, the run stops at the next record, removes its files and
  // exits with 128 + the signal's number.
  struct sigaction a{};
  a.sa_handler = para;
  sigemptyset(&a.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &a, nullptr);
  return corre(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
