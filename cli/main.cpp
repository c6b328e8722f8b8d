// kelvara-cli: the conversion command of the window, for scripts and batches.
//
//   kelvara-cli -s SISTEMA1 -t SISTEMA2 [-x PARAM_X] [-y PARAM_Y]
//               [--grelhas PASTA] [--forcar] ENTRADA SAIDA
//
// Every message the window would show is printed: the completion message on
// standard output, every other one on standard error. Exit status 0 when the
// conversion completed, 1 when it was refused or failed, 2 for a usage error.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "caminhos.h"
#include "conversao.h"
#include "ficheiros.h"
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
              ENTRADA SAIDA
  kelvara-cli --lista
  kelvara-cli -h | --help

Converte a geometria do shapefile ENTRADA do sistema de referência SISTEMA1 para
SISTEMA2 e grava o resultado em SAIDA, exactamente como o botão "OK" da janela de
kelvara: os atributos são copiados sem alteração e o x e o y de cada vértice são
transformados. É escrito um ficheiro .prj com o sistema de destino (excepto para
"Qualquer").

  -s SISTEMA1       sistema de origem ("Sistema 1"), escrito por extenso
  -t SISTEMA2       sistema de destino ("Sistema 2")
  -x PARAM_X        ficheiro de parâmetros em X (só para "Qualquer")
  -y PARAM_Y        ficheiro de parâmetros em Y (só para "Qualquer")
  --grelhas PASTA   pasta dos ficheiros de grelha do Datum Lisboa (et_lx_m.asc,
                    et_lx_p.asc, lx_et_m.asc, lx_et_p.asc); por omissão, a pasta
                    do programa, onde a compilação e a instalação os põem
  --forcar          converte mesmo que ENTRADA não pareça estar no SISTEMA1 (ver
                    abaixo)
  --lista           mostra os quinze sistemas e as conversões possíveis
  -h, --help        mostra esta ajuda

Uma opção omitida vale como texto vazio. Os nomes dos sistemas têm de ser escritos
exactamente como em --lista, com maiúsculas e acentos. ENTRADA e SAIDA têm de
terminar num ponto seguido de três caracteres (rios.shp; também rios.SHP ou
rios.dbf), que são substituídos por .shp, .shx e .dbf; SAIDA não pode ser uma pasta.
Uma SAIDA que já exista é substituída.

Antes de converter, ENTRADA é comparada com o SISTEMA1 (excepto para "Qualquer"):
a conversão é recusada quando o seu ficheiro .prj descreve coordenadas geográficas
ou outro dos sistemas de --lista, ou quando as suas coordenadas (a caixa do
cabeçalho, depois cada registo) ficam todas fora da área do SISTEMA1 (a área de
utilização EPSG do sistema, com uma margem de 50 km no continente e de 10 km nas
ilhas). Com --forcar a conversão faz-se na mesma. Um .prj que não descreva nenhum
dos sistemas não é tido em conta.

As conversões de e para o Datum Lisboa interpolam em quatro ficheiros de grelha
que acompanham o programa, na sua pasta, calculados a partir das grelhas NTv2 da
DGT ((c)2019 Directorate-General for the Territorial Development, CC-BY-4.0).
Outros ficheiros de grelha com a mesma disposição (por exemplo, os que a
autoridade cartográfica nacional distribuiu) podem ser usados com --grelhas
PASTA, ou postos na pasta do programa em lugar destes.

Mensagens: a de conclusão ("Criado o ficheiro: ...") vai para a saída padrão; todas
as outras para a saída de erros.
Estado de saída: 0 conversão concluída; 1 conversão recusada ou falhada; 2 erro de
utilização; 130, 143 ou 129 conversão interrompida por SIGINT (Ctrl+C), SIGTERM ou
SIGHUP, sem deixar ficheiros e com a entrada e a saída anterior intactas.

Exemplo:
)";

// The example of the help: the window's first source and its target.
void exemplo()
{
  const sistema* s1 = fontes_da_janela().front();
  const rota* r = destinos_da_janela(*s1).front();
  std::printf("  kelvara-cli -s \"%s\" -t \"%s\" rios.shp rios_etrs.shp\n",
              std::string(s1->nome).c_str(), std::string(r->sistema2->nome).c_str());
}

class janela_texto : public janela {
 public:
  int mensagens = 0;
  void mensagem(const std::string& texto, const std::string& titulo) override
  {
    ++mensagens;
    const bool conclusao = titulo == titulo_ostrel && texto.rfind(texto_criado, 0) == 0;
    std::FILE* f = conclusao ? stdout : stderr;
    std::fprintf(f, "%s\n", texto.c_str());
    std::fflush(f);
  }
  void ocupado(bool) override {}
  void fecha() override {}
  // Without --forcar the answer is "Não": the refusal is printed.
  bool pergunta(const std::string&, const std::string&) override
  {
    recusou = true;
    return false;
  }
  void nota(const std::string& texto) override { mensagem(texto, titulo_programa); }
  bool recusou = false;
};

int uso(const std::string& porque)
{
  std::fprintf(stderr, "kelvara-cli: %s\nExperimente \"kelvara-cli --help\".\n", porque.c_str());
  return 2;
}

void lista()
{
  std::printf("Sistemas:\n");
  for (const sistema& s : sistemas()) std::printf("  %s\n", std::string(s.nome).c_str());
  std::printf("\nConversões (Sistema 1 -> Sistema 2: rotinas):\n");
  for (const rota& r : rotas()) {
    const std::string s1(r.sistema1->nome), s2(r.sistema2->nome), n1(r.passo1->nome);
    const std::string n2 = r.passo2 ? std::string(r.passo2->nome) : "";
    std::printf("  %s -> %s: %s%s%s%s\n", s1.c_str(),
                r.qualquer_destino ? "(qualquer texto)" : s2.c_str(), n1.c_str(),
                r.passo2 ? ", depois " : "", n2.c_str(), r.escreve_prj() ? " (escreve .prj)" : "");
  }
}

void sem_rota(const std::string& s1, const std::string& s2)
{
  std::vector<std::string> destinos;
  for (const rota& r : rotas())
    if (r.sistema1->nome == s1) destinos.push_back("\"" + std::string(r.sistema2->nome) + "\"");
  std::string lista;
  for (size_t i = 0; i < destinos.size(); ++i)
    lista += (i == 0 ? "" : i + 1 == destinos.size() ? " e " : ", ") + destinos[i];
  std::fprintf(stderr, "Não há conversão de \"%s\" para \"%s\". De \"%s\" pode converter-se para %s.\n",
               s1.c_str(), s2.c_str(), s1.c_str(), lista.c_str());
}

int corre(const std::vector<std::string>& args)
{
  pedido p;
  p.pasta_grelhas = es::pasta_programa();
  std::vector<std::string> posicionais;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto valor = [&](std::string& destino) {
      if (i + 1 >= args.size()) return false;
      destino = args[++i];
      return true;
    };
    if (a == "-h" || a == "--help") {
      std::fputs(ajuda, stdout);
      exemplo();
      return 0;
    }
    if (a == "--lista") {
      lista();
      return 0;
    }
    if (a == "--forcar") {
      p.forcar = true;
      continue;
    }
    std::string* destino = a == "-s" ? &p.sistema1
                         : a == "-t" ? &p.sistema2
                         : a == "-x" ? &p.parametros_x
                         : a == "-y" ? &p.parametros_y
                         : a == "--grelhas" ? &p.pasta_grelhas
                                           : nullptr;
    if (destino) {
      if (!valor(*destino)) return uso("falta o valor da opção " + a + ".");
    } else if (a == "--") {
      posicionais.insert(posicionais.end(), args.begin() + i + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      return uso("opção desconhecida: " + a);
    } else {
      posicionais.push_back(a);
    }
  }
  if (posicionais.size() != 2)
    return uso("são precisos dois ficheiros, ENTRADA e SAIDA (foram dados " +
               std::to_string(posicionais.size()) + ").");
  p.entrada = posicionais[0];
  p.saida = posicionais[1];
  janela_texto j;
  if (converte(p, j)) return 0;
  if (const int sinal = paragem.load()) return 128 + sinal;
  if (j.recusou)
    std::fprintf(stderr, "Para converter mesmo assim, repita com a opção --forcar.\n");
  // The window says nothing of a pair without a route, since its lists
  // offer none; here the user typed it and is told.
  else if (j.mensagens == 0)
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
