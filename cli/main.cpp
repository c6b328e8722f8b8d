// kelvara-cli: the conversion command of the window, for scripts and batches.
//
//   kelvara-cli -s SISTEMA1 -t SISTEMA2 [-x PARAM_X] [-y PARAM_Y]
//               [--grelhas PASTA] ENTRADA SAIDA
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

#include "conversao.h"
#include "es.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace kelvara;

constexpr const char* ajuda =
    R"(Utilização:
  kelvara-cli -s SISTEMA1 -t SISTEMA2 [-x PARAM_X] [-y PARAM_Y] [--grelhas PASTA] ENTRADA SAIDA
  kelvara-cli --lista
  kelvara-cli -h | --help

Converte a geometria do shapefile ENTRADA do sistema de referência SISTEMA1 para
SISTEMA2 e grava o resultado em SAIDA, exactamente como o botão "OK" da janela de
kelvara: os atributos são copiados sem alteração e o x e o y de cada vértice são
transformados. Para os sistemas do continente é escrito um ficheiro .prj.

  -s SISTEMA1       sistema de origem ("Sistema 1"), escrito por extenso
  -t SISTEMA2       sistema de destino ("Sistema 2")
  -x PARAM_X        ficheiro de parâmetros em X (só para "Qualquer")
  -y PARAM_Y        ficheiro de parâmetros em Y (só para "Qualquer")
  --grelhas PASTA   pasta dos ficheiros de grelha do Datum Lisboa
                    (por omissão, a pasta do programa)
  --lista           mostra os quinze sistemas e as conversões possíveis
  -h, --help        mostra esta ajuda

Uma opção omitida vale como texto vazio. Os nomes dos sistemas têm de ser escritos
exactamente como em --lista, com maiúsculas e acentos. Os últimos quatro caracteres
de ENTRADA e SAIDA são tomados como extensão e substituídos por .shp, .shx e .dbf.

Mensagens: a de conclusão ("Criado o ficheiro: ...") vai para a saída padrão; todas
as outras para a saída de erros.
Estado de saída: 0 conversão concluída; 1 conversão recusada ou falhada; 2 erro de
utilização.

Exemplo:
  kelvara-cli -s "Hayford-Gauss Datum 73" -t "ETRS89 TM06" rios.shp rios_etrs.shp
)";

class janela_texto : public janela {
 public:
  void mensagem(const std::string& texto, const std::string& titulo) override
  {
    const bool conclusao = titulo == titulo_ostrel && texto.rfind(texto_criado, 0) == 0;
    std::FILE* f = conclusao ? stdout : stderr;
    std::fprintf(f, "%s\n", texto.c_str());
    std::fflush(f);
  }
  void ponteiro(int) override {}
  void fecha() override {}
};

int uso(const std::string& porque)
{
  std::fprintf(stderr, "kelvara-cli: %s\nExperimente \"kelvara-cli --help\".\n", porque.c_str());
  return 2;
}

void lista()
{
  std::printf("Sistemas:\n");
  for (const char* s : sistemas()) std::printf("  %s\n", s);
  std::printf("\nConversões (Sistema 1 -> Sistema 2: rotinas):\n");
  for (const conversao::rota& r : conversao::rotas()) {
    std::printf("  %s -> %s: %s%s%s%s\n", r.sistema1, r.sistema2 ? r.sistema2 : "(qualquer texto)",
                r.nome1, r.nome2 ? ", depois " : "", r.nome2 ? r.nome2 : "",
                r.prj ? " (escreve .prj)" : "");
  }
}

int corre(const std::vector<std::string>& args)
{
  entradas e;
  std::string grelhas = es::pasta_programa();
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
      return 0;
    }
    if (a == "--lista") {
      lista();
      return 0;
    }
    std::string* destino = a == "-s" ? &e.Combo1
                         : a == "-t" ? &e.Combo2
                         : a == "-x" ? &e.Text3
                         : a == "-y" ? &e.Text4
                         : a == "--grelhas" ? &grelhas
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
  e.Text1 = posicionais[0];
  e.Text2 = posicionais[1];
  janela_texto j;
  conversao c(j, grelhas);
  return c.Command1_Click(e) ? 0 : 1;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(kelvara::es::texto(std::filesystem::path(argv[i])));
  return corre(args);
}
#else
int main(int argc, char** argv)
{
  // A file size limit then fails the write, which is reported, instead of
  // killing the process with half a file written.
  std::signal(SIGXFSZ, SIG_IGN);
  return corre(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
