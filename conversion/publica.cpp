#include "publica.h"

#include <array>
#include <string_view>
#include <filesystem>
#include <system_error>

#include "caminhos.h"
#include "falha.h"
#include "nomes.h"

namespace kelvara {

namespace fs = std::filesystem;

namespace {

constexpr const char* prefixo = ".kelvara";

// The files a run writes, in this order.
constexpr std::array<const char*, 5> extensoes{".shp", ".shx", ".dbf", ".cpg", ".prj"};

// The files of an older output, which describe it and not the new one:
// the run's own kinds, the spatial indexes, the projection file of older
// QGIS (read before the .prj), the metadata, the memo files of the table.
constexpr std::array<std::string_view, 13> da_saida{
    ".shp", ".shx", ".dbf", ".cpg",     ".prj", ".sbn", ".sbx",
    ".qix", ".qpj", ".shp.xml", ".qmd", ".dbt", ".fpt"};

// True when something (a file, a folder, a link, even a dangling one) has
// that name.
bool ocupado(const std::string& nome)
{
  std::error_code ec;
  return fs::symlink_status(caminho(nome), ec).type() != fs::file_type::not_found &&
         !(ec && ec != std::errc::no_such_file_or_directory);
}

bool e_pasta(const std::string& nome)
{
  std::error_code ec;
  return fs::symlink_status(caminho(nome), ec).type() == fs::file_type::directory;
}

// A rename within the folder, by the I/O layer: on Windows, a file that
// another program holds open is a cause of its own.
std::error_code renomeia(const std::string& de, const std::string& para)
{
  try {
    es::renomeia(de, para);
  } catch (const std::system_error& x) {
    return x.code();
  }
  return {};
}

// N of a lock file's name ".kelvaraN", or 0.
unsigned numero_do_trinco(const std::string& n)
{
  const std::string p = prefixo;
  if (n.size() <= p.size() || n.size() > p.size() + 9 || n.compare(0, p.size(), p) != 0) return 0;
  unsigned v = 0;
  for (size_t i = p.size(); i < n.size(); ++i) {
    if (n[i] < '0' || n[i] > '9') return 0;
    v = v * 10 + static_cast<unsigned>(n[i] - '0');
  }
  return v;
}

}  // namespace

std::string shp_existente(const std::string& fich3a)
{
  constexpr std::array<std::string_view, 1> shp{".shp"};
  const std::vector<std::string> achados = com_extensao(sem_ultimos_quatro(fich3a), shp);
  return achados.empty() ? std::string() : achados.front();
}

publicacao::publicacao(std::string fich3a)
    : fich3a_(std::move(fich3a)), base_(sem_ultimos_quatro(fich3a_))
{
  const fs::path b = caminho(base_);
  pasta_ = b.has_parent_path() ? texto(b.parent_path()) : ".";
}

int publicacao::limpa_restos()
{
  int removidos = 0;
  std::error_code ec;
  std::vector<std::string> trincos;
  for (const auto& e : fs::directory_iterator(caminho(pasta_), ec))
    if (numero_do_trinco(texto(e.path().filename())) > 0) trincos.push_back(texto(e.path()));
  for (const std::string& t : trincos) {
    es::trinco morto;
    if (!morto.de_abandonado(t)) continue;  // a live run's, or no run's
    const std::string n = texto(caminho(t).filename());
    // The older output that a run killed while publishing had moved aside
    // goes back where it was, where that name is free; it is never removed.
    const std::string base_dela = texto(caminho(pasta_) / caminho(morto.nota()));
    es::trinco vez;  // not while another run publishes in this folder
    for (const std::string& aparte : com_extensao(pasta_ + "/" + n + "v", da_saida)) {
      if (morto.nota().empty()) break;
      if (!vez.preso()) vez.da_pasta(pasta_);
      const std::string ext = texto(caminho(aparte).filename()).substr(n.size() + 1);
      if (!ocupado(base_dela + ext)) renomeia(aparte, base_dela + ext);
    }
    for (const char* meio : {".", "i.", "j."})
      for (const char* ext : extensoes)
        if (fs::remove(caminho(pasta_ + "/" + n + meio + (ext + 1)), ec)) ++removidos;
    if (fs::remove(caminho(t), ec)) ++removidos;
  }
  return removidos;
}

void publicacao::reserva(int intermedios, bool com_cpg, bool com_prj)
{
  const std::string nota = texto(caminho(base_).filename());
  for (unsigned n = 1; n < 100000; ++n) {
    const std::string raiz = pasta_ + "/" + prefixo + std::to_string(n);
    std::error_code ec;
    if (!trinco_.cria(raiz, nota, ec)) {
      if (ec == std::errc::file_exists) continue;
      throw falha("Não é possível escrever o shapefile de saída " + entre_aspas(fich3a_) + ": " +
                  descreve(ec) + ".");
    }
    trinco_nome_ = raiz;
    std::vector<std::string> nomes;
    for (int i = 0; i < 5; ++i)
      nomes.push_back((i == 3 && !com_cpg) || (i == 4 && !com_prj) ? "" : raiz + extensoes[i]);
    for (int k = 0; k < intermedios; ++k)
      for (int i = 0; i < 3; ++i) nomes.push_back(raiz + "ij"[k] + extensoes[i]);
    bool livres = true;
    for (const std::string& nome : nomes) {
      if (nome.empty()) continue;
      if (es::cria_vazio(nome, ec)) {
        criados_.push_back(nome);
        continue;
      }
      if (ec != std::errc::file_exists) {
        abandona();
        throw falha("Não é possível escrever o shapefile de saída " + entre_aspas(fich3a_) + ": " +
                    descreve(ec) + ".");
      }
      livres = false;  // something of someone else's: another number
      break;
    }
    if (!livres) {
      abandona();
      continue;
    }
    nomes_.assign(nomes.begin(), nomes.begin() + 5);
    for (int k = 0; k < intermedios; ++k) intermedios_[k] = nomes[5 + 3 * k];
    return;
  }
  throw falha("Não é possível escrever o shapefile de saída " + entre_aspas(fich3a_) +
              ": não há nomes livres para os ficheiros de trabalho.");
}

void publicacao::publica()
{
  es::trinco vez;  // one publication at a time in this folder
  if (!vez.da_pasta(pasta_))
    throw falha("Não foi possível pôr o resultado no lugar de " + entre_aspas(fich3a_) +
                ": a pasta não pode ser trancada.");
  const std::string aparte = trinco_nome_ + "v";
  struct passo {
    std::string de, para;
  };
  std::vector<passo> feitos;  // renames done, to undo them in reverse order
  auto desfaz_e_falha = [&](const std::string& ficheiro, const std::error_code& causa) {
    std::vector<std::string> por_repor;
    for (auto i = feitos.rbegin(); i != feitos.rend(); ++i)
      if (renomeia(i->para, i->de)) por_repor.push_back(i->para);
    std::string m = "Não foi possível pôr o resultado no lugar de " + entre_aspas(fich3a_) + ": " +
                    descreve(causa) + " (" + ficheiro + ").";
    if (por_repor.empty()) {
      m += " O shapefile anterior ficou como estava.";
    } else {
      m += " Não foi possível repor";
      for (const std::string& f : por_repor) m += " " + entre_aspas(f);
      m += ".";
    }
    throw falha(m);
  };

  // The older output's files, by their names as the user gave them and with
  // their extensions in any letter case (OUT.SHX beside out.shp).
  const std::vector<std::string> anteriores = com_extensao(base_, da_saida);
  for (const std::string& f : anteriores)
    if (e_pasta(f))
      throw falha("Não foi possível pôr o resultado no lugar de " + entre_aspas(fich3a_) + ": " +
                  entre_aspas(f) + " é uma pasta. O shapefile anterior ficou como estava.");
  // The older output aside, then the new one in.
  const std::size_t nome_base = texto(caminho(base_).filename()).size();
  for (const std::string& final : anteriores) {
    const std::string para = aparte + texto(caminho(final).filename()).substr(nome_base);
    if (const std::error_code ec = renomeia(final, para)) desfaz_e_falha(final, ec);
    feitos.push_back({final, para});
  }
  for (size_t i = 0; i < 5; ++i) {
    if (nomes_[i].empty()) continue;
    const std::string final = base_ + extensoes[i];
    if (const std::error_code ec = renomeia(nomes_[i], final)) desfaz_e_falha(final, ec);
    feitos.push_back({nomes_[i], final});
  }
  for (const passo& p : feitos) std::erase(criados_, p.de);  // now the output's: not ours to remove
  // All in place: the older output's files go.
  for (const passo& p : feitos)
    if (p.para.compare(0, aparte.size(), aparte) == 0) {
      std::error_code ec;
      fs::remove(caminho(p.para), ec);
    }
  abandona();
}

void publicacao::abandona() noexcept
{
  for (const std::string& nome : criados_) {
    std::error_code ec;
    fs::remove(caminho(nome), ec);
  }
  criados_.clear();
  if (trinco_.preso()) {
    std::error_code ec;
    fs::remove(caminho(trinco_nome_), ec);  // removed while still held
    trinco_.solta();
  }
}

}  // namespace kelvara
