#include "ficheiros_parametros.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>

#include "caminhos.h"
#include "falha.h"
#include "leitura.h"

namespace kelvara {
namespace {

constexpr int total_campos = 15;

bool branco(char c) { return c == ' ' || c == '\t'; }
bool fim_de_linha(char c) { return c == '\r' || c == '\n'; }
// Splits the text of one parameter file into its fields, in order, and
// counts them for the messages.
class leitor {
 public:
  leitor(std::string texto, const std::string& caminho) : t_(std::move(texto)), caminho_(caminho)
  {
    if (t_.starts_with("\xEF\xBB\xBF")) i_ = 3;  // UTF-8 byte order mark
  }

  std::string texto()
  {
    inicio_campo();
    if (t_[i_] == '"') {
      const std::size_t fecho = t_.find('"', i_ + 1);
      if (fecho == std::string::npos) throw falha(no_campo() + " abre aspas que não fecham.");
      std::string valor = t_.substr(i_ + 1, fecho - i_ - 1);
      i_ = fecho + 1;
      while (i_ < t_.size() && branco(t_[i_])) ++i_;
      if (i_ < t_.size() && t_[i_] == ',')
        ++i_;
      else if (i_ < t_.size() && !fim_de_linha(t_[i_]))
        throw falha(no_campo() + " tem texto depois das aspas que o fecham.");
      return valor;
    }
    const std::size_t inicio = i_;
    while (i_ < t_.size() && t_[i_] != ',' && !fim_de_linha(t_[i_])) ++i_;
    std::size_t fim = i_;
    while (fim > inicio && branco(t_[fim - 1])) --fim;
    if (i_ < t_.size() && t_[i_] == ',') ++i_;
    return t_.substr(inicio, fim - inicio);
  }

  double numero()
  {
    inicio_campo();
    const std::size_t inicio = i_;
    while (i_ < t_.size() && t_[i_] != ',' && !branco(t_[i_]) && !fim_de_linha(t_[i_])) ++i_;
    const std::string_view s(t_.data() + inicio, i_ - inicio);
    // A blank before the comma belongs to the same separator.
    while (i_ < t_.size() && branco(t_[i_])) ++i_;
    if (i_ < t_.size() && t_[i_] == ',') ++i_;

    if (s.empty()) throw falha(no_campo() + " está vazio; devia ser um número.");
    double valor = 0;
    const std::errc r = le_numero(s, valor);
    if (r == std::errc::result_out_of_range)
      throw falha(no_campo() + " tem um número fora do alcance de um double: " + excerto(s, 40) + ".");
    if (r != std::errc{}) throw falha(no_campo() + " devia ser um número e é " + excerto(s, 40) + ".");
    return valor;
  }

  // After the last field only separators (blanks, line ends, commas) and
  // an end-of-file mark (Ctrl-Z) may follow: a field more means the
  // fields were not the ones meant (a decimal comma, "1,5", makes two).
  void fim()
  {
    const auto separa = [&](char c) { return branco(c) || fim_de_linha(c) || c == ',' || c == '\x1a'; };
    while (i_ < t_.size() && separa(t_[i_])) ++i_;
    if (i_ == t_.size()) return;
    std::size_t f = i_;
    while (f < t_.size() && !separa(t_[f])) ++f;
    throw falha("O ficheiro de parâmetros " + entre_aspas(caminho_) + " tem mais de " +
                std::to_string(total_campos) + " campos: depois do campo " +
                std::to_string(total_campos) + " vem " +
                excerto(std::string_view(t_).substr(i_, f - i_), 40) +
                ". Um número com vírgula decimal (1,5) conta como dois campos: escreva-o com "
                "ponto (1.5).");
  }

 private:
  // Skips blanks and line ends up to the next field and counts it.
  void inicio_campo()
  {
    while (i_ < t_.size() && (branco(t_[i_]) || fim_de_linha(t_[i_]))) ++i_;
    ++campo_;
    if (i_ == t_.size())
      throw falha("O ficheiro de parâmetros " + entre_aspas(caminho_) + " acaba antes do campo " +
                  std::to_string(campo_) + " (são precisos " + std::to_string(total_campos) +
                  " campos).");
  }

  std::string no_campo() const
  {
    return "O campo " + std::to_string(campo_) + " do ficheiro de parâmetros " + entre_aspas(caminho_);
  }

  std::string t_;
  const std::string& caminho_;
  std::size_t i_ = 0;
  int campo_ = 0;
};

std::string le_texto(const std::string& ficheiro)
{
  std::error_code ec;
  bool erro_leitura = false;
  std::optional<std::string> lido;
  if (!std::filesystem::is_directory(caminho(ficheiro), ec)) lido = le_ficheiro(ficheiro, erro_leitura);
  if (!lido)
    throw falha("Não foi possível abrir o ficheiro de parâmetros " + entre_aspas(ficheiro) + ".");
  if (erro_leitura)
    throw falha("Não foi possível ler o ficheiro de parâmetros " + entre_aspas(ficheiro) + ".");
  return std::move(*lido);
}

// The fifteen fields of one parameter file; the two free texts are not kept.
struct ficheiro_parametros {
  std::string letra;  // field 3
  double x0, y0;      // fields 4, 5: input origin
  double X0, Y0;      // fields 6, 7: output origin
  double kx, ky;      // fields 8, 9: divisors
  double c[6];        // fields 10 to 15: constant, u, v, u², u·v, v²
};

ficheiro_parametros le_ficheiro_parametros(const std::string& ficheiro)
{
  leitor l(le_texto(ficheiro), ficheiro);
  ficheiro_parametros f;
  l.texto();
  l.texto();
  f.letra = l.texto();
  f.x0 = l.numero();
  f.y0 = l.numero();
  f.X0 = l.numero();
  f.Y0 = l.numero();
  f.kx = l.numero();
  f.ky = l.numero();
  for (double& c : f.c) c = l.numero();
  l.fim();
  return f;
}

bool letra_e(const std::string& letra, char maiuscula)
{
  return letra.size() == 1 && (letra[0] == maiuscula || letra[0] == maiuscula - 'A' + 'a');
}

void divisor_nao_nulo(double k, const char* nome, int campo, const std::string& ficheiro)
{
  if (k == 0)
    throw falha("O divisor " + std::string(nome) + " (campo " + std::to_string(campo) +
                ") do ficheiro de parâmetros " + entre_aspas(ficheiro) + " é 0.");
}

}  // namespace

coeficientes le_parametros(const std::string& fich_par_m, const std::string& fich_par_p)
{
  // Each letter is tested only once its file has been read in full and
  // closed; a wrong X file leaves the Y file unopened.
  const ficheiro_parametros m = le_ficheiro_parametros(fich_par_m);
  if (!letra_e(m.letra, 'X')) throw letra_errada(erro_letra_x);
  const ficheiro_parametros p = le_ficheiro_parametros(fich_par_p);
  if (!letra_e(p.letra, 'Y')) throw letra_errada(erro_letra_y);

  // Origins and divisors are shared by both axes; the Y file's replace the
  // X file's, so only the Y file's divisors can divide by zero.
  divisor_nao_nulo(p.kx, "kx", 8, fich_par_p);
  divisor_nao_nulo(p.ky, "ky", 9, fich_par_p);

  coeficientes c{p.x0, p.y0, p.kx, p.ky, p.X0, p.Y0, {}, {}};
  std::copy(std::begin(m.c), std::end(m.c), c.A);
  std::copy(std::begin(p.c), std::end(p.c), c.B);
  return c;
}

}  // namespace kelvara
