#include "publica.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "caminhos.h"
#include "falha.h"
#include "ficheiros.h"
#include "nomes.h"

namespace kelvara {

namespace {

constexpr std::array<const char*, 4> extensoes{".shp", ".shx", ".dbf", ".cpg"};

std::string livre(const std::string& base, int n, const char* ext)
{
  return base + ".kelvara" + std::to_string(n) + ext;
}

}  // namespace

publicacao::publicacao(std::string fich3a)
    : fich3a_(std::move(fich3a)), base_(sem_ultimos_quatro(fich3a_))
{
}

std::vector<std::string> publicacao::restos() const
{
  std::vector<std::string> r;
  const std::filesystem::path base = caminho(base_);
  const std::string prefixo = texto(base.filename()) + ".kelvara";
  std::error_code ec;
  const std::filesystem::path pasta = base.has_parent_path() ? base.parent_path() : ".";
  for (const auto& e : std::filesystem::directory_iterator(pasta, ec)) {
    const std::string n = texto(e.path().filename());
    if (n.rfind(prefixo, 0) != 0 || n.size() < prefixo.size() + 5) continue;
    const std::string meio = n.substr(prefixo.size(), n.size() - prefixo.size() - 4);
    const std::string ext = n.substr(n.size() - 4);
    const bool numero = !meio.empty() && meio.find_first_not_of("0123456789") == std::string::npos;
    if (numero && (ext == ".shp" || ext == ".shx" || ext == ".dbf" || ext == ".cpg"))
      r.push_back(texto(e.path()));
  }
  std::sort(r.begin(), r.end());
  return r;
}

void publicacao::reserva(std::vector<std::string>& criados)
{
  for (int n = 1;; ++n) {
    bool ocupado = false;
    for (const char* ext : extensoes) ocupado = ocupado || es::existe(livre(base_, n, ext));
    if (ocupado) continue;
    for (std::size_t i = 0; i < extensoes.size(); ++i) {
      const std::string nome = livre(base_, n, extensoes[i]);
      std::error_code ec;
      if (!es::cria_vazio(nome, ec))
        throw falha("Não é possível escrever o shapefile de saída " + entre_aspas(fich3a_) + ": " +
                    descreve(ec) + ".");
      criados.push_back(nome);
      reservados_[i] = nome;
    }
    return;
  }
}

void publicacao::publica(const std::string& fich1a)
{
  const std::string base1 = sem_ultimos_quatro(fich1a);
  const std::array<std::string, 4> finais{base_ + ".shp", base_ + ".shx", base_ + ".dbf",
                                          base_ + ".cpg"};
  std::string cpg_entrada = base1 + ".cpg";
  if (!es::existe(cpg_entrada) && es::existe(base1 + ".CPG")) cpg_entrada = base1 + ".CPG";
  const bool com_cpg = es::existe(cpg_entrada);
  try {
    if (com_cpg) es::copia(cpg_entrada, reservados_[3]);
    for (int i = 0; i < 3; ++i) es::renomeia(reservados_[i], finais[i]);
  } catch (const std::system_error& x) {
    throw falha("Não foi possível pôr o resultado no lugar de " + entre_aspas(fich3a_) + ": " +
                descreve(x.code()) + ".");
  }
  std::error_code ec;
  if (com_cpg) {
    try {
      es::renomeia(reservados_[3], finais[3]);
    } catch (const std::system_error& x) {
      ec = x.code();
    }
  } else {
    es::remove(reservados_[3], ec);
    if (!ec) es::remove(finais[3], ec);
  }
  if (ec)
    throw falha("O shapefile " + entre_aspas(fich3a_) +
                " foi criado, mas não foi possível acertar o ficheiro de página de código " +
                entre_aspas(finais[3]) + ": " + descreve(ec) + ".");
}

}  // namespace kelvara
