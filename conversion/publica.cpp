#include "publica.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "caminhos.h"
#include "falha.h"
#include "nomes.h"
#include "paragem.h"

namespace kelvara {

namespace fs = std::filesystem;

namespace {

constexpr const char* prefixo = ".kelvara";

// The files a run writes, in this order.
constexpr std::array<const char*, 7> extensoes{".shp", ".shx", ".dbf", ".cpg", ".prj", ".dbt", ".fpt"};

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

// A rename of a publication: names within the output's folder.
struct mudanca {
  std::string de, para;
};

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

// The plan of a publication, in the lock file before its first rename:
// a mark, then each rename's two names within the folder, each ended by a
// NUL (a name may hold any other byte, line ends included).
constexpr std::string_view marca_plano{"kelvara-plano\0", 14};

std::string escreve_plano(const std::vector<mudanca>& plano)
{
  std::string t(marca_plano);
  for (const mudanca& m : plano) {
    t += m.de;
    t += '\0';
    t += m.para;
    t += '\0';
  }
  return t;
}

std::optional<std::vector<mudanca>> le_plano(const std::string& nota)
{
  if (nota.compare(0, marca_plano.size(), marca_plano) != 0) return std::nullopt;
  std::vector<mudanca> plano;
  std::vector<std::string> nomes;
  for (std::size_t i = marca_plano.size(), j; i < nota.size(); i = j + 1) {
    j = nota.find('\0', i);
    if (j == std::string::npos) return std::nullopt;  // cut short: no plan
    nomes.push_back(nota.substr(i, j - i));
  }
  if (nomes.size() % 2 != 0) return std::nullopt;
  for (std::size_t k = 0; k < nomes.size(); k += 2) {
    // Names within the folder, never a path elsewhere.
    for (const std::string& x : {nomes[k], nomes[k + 1]})
      if (x.empty() || x.find_first_of("/\\") != std::string::npos || x == "." || x == "..")
        return std::nullopt;
    plano.push_back({nomes[k], nomes[k + 1]});
  }
  return plano;
}

}  // namespace

std::string shp_existente(const std::string& fich3a)
{
  return es::com_extensao(sem_ultimos_quatro(fich3a), ".shp");
}

trincos_lote::~trincos_lote()
{
  for (guardado& g : v_) {
    std::error_code ec;
    fs::remove(caminho(g.nome), ec);  // removed while still held
    g.t.solta();
  }
}

void trincos_lote::guarda(const std::string& pasta, std::string nome, es::trinco t)
{
  const std::lock_guard<std::mutex> g(m_);
  v_.push_back({pasta, std::move(nome), std::move(t)});
}

bool trincos_lote::tira(const std::string& pasta, std::string& nome, es::trinco& t)
{
  const std::lock_guard<std::mutex> g(m_);
  for (auto i = v_.rbegin(); i != v_.rend(); ++i)
    if (i->pasta == pasta) {
      nome = std::move(i->nome);
      t = std::move(i->t);
      v_.erase(std::next(i).base());
      return true;
    }
  return false;
}

publicacao::publicacao(std::string fich3a, trincos_lote* lote)
    : fich3a_(std::move(fich3a)), base_(sem_ultimos_quatro(fich3a_)), lote_(lote)
{
  const fs::path b = caminho(base_);
  pasta_ = b.has_parent_path() ? texto(b.parent_path()) : ".";
}

bool publicacao::tranca_pasta(es::trinco& vez, const espera& esperar) const
{
  bool parou = false;
  const bool preso = vez.da_pasta(pasta_, [&](bool primeira) {
    parou = !esperar(primeira);
    return !parou;
  });
  if (parou) throw interrompida();
  return preso;
}

restos publicacao::limpa_restos(const espera& esperar)
{
  restos r;
  std::error_code ec;
  std::vector<std::string> trincos;
  for (const auto& e : fs::directory_iterator(caminho(pasta_), ec))
    if (numero_do_trinco(texto(e.path().filename())) > 0) trincos.push_back(texto(e.path()));
  for (const std::string& t : trincos) {
    es::trinco morto;
    if (!morto.de_abandonado(t)) continue;  // a live run's, or no run's
    const std::string n = texto(caminho(t).filename());
    const std::string nota = morto.nota();
    es::trinco vez;  // not while another run publishes in this folder
    auto tranca = [&] {
      if (!vez.preso() && !tranca_pasta(vez, esperar))
        throw falha("A pasta " + entre_aspas(pasta_) + " não pode ser trancada.");
    };
    if (const std::optional<std::vector<mudanca>> plano = le_plano(nota)) {
      // Killed while publishing. Each rename is told by the name of the
      // run's own it involves (the output's name is both an older file's
      // and a new one's): an older file's name aside is there, a new file's
      // reserved name is gone. Every new file in: the new output is whole,
      // and what is left of the older one aside goes. Otherwise the renames
      // made, the first of the plan, are undone, last first, and the older
      // output is whole again. Never a mix of the two.
      const std::string aparte = n + "v";
      auto e_aparte = [&](const mudanca& m) { return m.para.compare(0, aparte.size(), aparte) == 0; };
      auto feita = [&](const mudanca& m) {
        return e_aparte(m) ? ocupado(pasta_ + "/" + m.para) : !ocupado(pasta_ + "/" + m.de);
      };
      if (!plano->empty()) tranca();
      std::string saida;
      bool novos_dentro = true, algo = false;
      for (const mudanca& m : *plano) {
        if (e_aparte(m)) continue;
        if (saida.empty()) saida = pasta_ + "/" + m.para;
        novos_dentro = novos_dentro && feita(m);
      }
      if (novos_dentro) {
        for (const mudanca& m : *plano)
          if (e_aparte(m) && ocupado(pasta_ + "/" + m.para)) {
            fs::remove(caminho(pasta_ + "/" + m.para), ec);
            algo = true;
          }
        if (algo) r.concluidos.push_back(saida);
      } else {
        std::size_t feitas = 0;
        while (feitas < plano->size() && feita((*plano)[feitas])) ++feitas;
        for (std::size_t k = feitas; k-- > 0;)
          renomeia(pasta_ + "/" + (*plano)[k].para, pasta_ + "/" + (*plano)[k].de);
        algo = feitas > 0;
        if (algo) r.repostos.push_back(saida);
      }
      std::error_code sem_efeito;
      if (algo) es::sincroniza_pasta(pasta_, sem_efeito);
    } else if (!nota.empty() && nota.compare(0, marca_plano.size(), marca_plano) != 0) {
      // A lock of an older kelvara, whose note is the output's name: the
      // older output it had moved aside goes back where that name is free.
      // (A plan that cannot be read touches nothing of the output's.)
      std::string base = nota;
      if (base.back() == '\n') base.pop_back();
      const std::string base_dela = texto(caminho(pasta_) / caminho(base));
      for (const std::string& f : es::com_extensao(pasta_ + "/" + n + "v", da_saida)) {
        tranca();
        const std::string ext = texto(caminho(f).filename()).substr(n.size() + 1);
        if (!ocupado(base_dela + ext)) renomeia(f, base_dela + ext);
      }
    }
    // The run's own files; an older output's file aside is never removed
    // here.
    for (const char* meio : {".", "i.", "j."})
      for (const std::string_view ext : da_saida)
        if (fs::remove(caminho(pasta_ + "/" + n + meio + std::string(ext.substr(1))), ec))
          ++r.apagados;
    if (fs::remove(caminho(t), ec)) ++r.apagados;
  }
  return r;
}

bool publicacao::toma(const std::string& raiz, int intermedios, const bool* escreve)
{
  trinco_nome_ = raiz;
  std::vector<std::string> nomes;
  for (std::size_t i = 0; i < extensoes.size(); ++i)
    nomes.push_back(escreve[i] ? raiz + extensoes[i] : "");
  for (int k = 0; k < intermedios; ++k)
    for (int i = 0; i < 3; ++i) nomes.push_back(raiz + "ij"[k] + extensoes[i]);
  for (const std::string& nome : nomes) {
    if (nome.empty()) continue;
    std::error_code ec;
    if (es::cria_vazio(nome, ec)) {
      criados_.push_back(nome);
      continue;
    }
    abandona_e_larga(false);
    if (ec != std::errc::file_exists)
      throw falha("Não é possível escrever o shapefile de saída " + entre_aspas(fich3a_) + ": " +
                  descreve(ec) + ".");
    return false;  // something of someone else's: another number
  }
  const std::size_t proprios = extensoes.size();
  nomes_.assign(nomes.begin(), nomes.begin() + proprios);
  for (int k = 0; k < intermedios; ++k) intermedios_[k] = nomes[proprios + 3 * k];
  return true;
}

void publicacao::reserva(int intermedios, bool com_cpg, bool com_prj, std::string_view memo)
{
  const std::array<bool, extensoes.size()> escreve{true, true, true, com_cpg, com_prj,
                                                   memo == ".dbt", memo == ".fpt"};
  // A lock the batch kept from an earlier run into this folder first.
  if (std::string raiz; lote_ && lote_->tira(pasta_, raiz, trinco_) &&
                        toma(raiz, intermedios, escreve.data()))
    return;
  for (unsigned n = 1; n < 100000; ++n) {
    const std::string raiz = pasta_ + "/" + prefixo + std::to_string(n);
    std::error_code ec;
    if (!trinco_.cria(raiz, ec)) {
      if (ec == std::errc::file_exists) continue;
      throw falha("Não é possível escrever o shapefile de saída " + entre_aspas(fich3a_) + ": " +
                  descreve(ec) + ".");
    }
    if (toma(raiz, intermedios, escreve.data())) return;
  }
  throw falha("Não é possível escrever o shapefile de saída " + entre_aspas(fich3a_) +
              ": não há nomes livres para os ficheiros de trabalho.");
}

void publicacao::publica(const espera& esperar, bool de_uma_vez)
{
  const std::string aparte = trinco_nome_ + "v";
  auto nao_publica = [&](const std::string& porque) {
    throw falha("Não foi possível pôr o resultado no lugar de " + entre_aspas(fich3a_) + ": " +
                porque + ". O shapefile anterior ficou como estava.");
  };
  // The plan: the older output aside, then the new one in. It is on disk
  // in the lock file before the first rename, for the next run into this
  // folder to finish or undo a publication that was cut short. The older
  // output's files, by their names as the user gave them and with their
  // extensions in any letter case (OUT.SHX beside out.shp).
  std::vector<std::string> anteriores;
  std::vector<mudanca> renomes;  // as paths
  auto planeia = [&] {
    anteriores = es::com_extensao(base_, da_saida);
    renomes.clear();
    const std::size_t nome_base = texto(caminho(base_).filename()).size();
    for (const std::string& final : anteriores)
      renomes.push_back({final, aparte + texto(caminho(final).filename()).substr(nome_base)});
    for (size_t i = 0; i < extensoes.size(); ++i)
      if (!nomes_[i].empty()) renomes.push_back({nomes_[i], base_ + extensoes[i]});
    std::vector<mudanca> plano;  // as names within the folder
    for (const mudanca& m : renomes)
      plano.push_back({texto(caminho(m.de).filename()), texto(caminho(m.para).filename())});
    return escreve_plano(plano);
  };

  // In a batch, the plan as it stands, the new files and their names go on
  // disk by one flush of the file system where there is one, before the
  // folder is locked, so that the next conversion's publication does not
  // wait for it; under the lock, the plan is written and flushed again only
  // where another run changed the older output meanwhile.
  std::error_code ec;
  std::string plano_no_disco;
  if (de_uma_vez) {
    const std::string p = planeia();
    if (trinco_.escreve_nota(p, ec, false) && es::sincroniza_sistema(pasta_, ec)) plano_no_disco = p;
  }
  es::trinco vez;  // one publication at a time in this folder
  if (!tranca_pasta(vez, esperar)) {
    throw falha("Não foi possível pôr o resultado no lugar de " + entre_aspas(fich3a_) +
                ": a pasta não pode ser trancada.");
  }
  const std::string plano = planeia();
  for (const std::string& f : anteriores)
    if (e_pasta(f)) nao_publica(entre_aspas(f) + " é uma pasta");
  if (plano != plano_no_disco) {
    if (!trinco_.escreve_nota(plano, ec)) nao_publica(descreve(ec) + " (" + trinco_nome_ + ")");
    // The new files, and every name in the folder, on disk before the
    // older output moves: from here a power cut leaves one whole output or
    // the other, and the plan to tell which.
    if (plano_no_disco.empty()) {
      for (const std::string& n : nomes_)
        if (!n.empty() && !es::sincroniza(n, ec)) nao_publica(descreve(ec) + " (" + n + ")");
      if (!es::sincroniza_pasta(pasta_, ec)) {
        if (ec != std::errc::invalid_argument) nao_publica(descreve(ec) + " (" + pasta_ + ")");
        pasta_por_sincronizar_ = true;
      }
    }
  }

  std::vector<mudanca> feitos;  // renames done, to undo them in reverse order
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
  for (const mudanca& m : renomes) {
    const bool aparte_ = m.para.compare(0, aparte.size(), aparte) == 0;
    if (const std::error_code e = renomeia(m.de, m.para)) desfaz_e_falha(aparte_ ? m.de : m.para, e);
    feitos.push_back(m);
  }
  for (const std::string& n : nomes_) std::erase(criados_, n);  // now the output's: not ours to remove
  // The renames are made: the next publication in the folder need not wait
  // for their flush (its own flush of the folder would carry them too).
  vez.solta();
  if (!(de_uma_vez ? es::sincroniza_pasta_junto(pasta_, ec) : es::sincroniza_pasta(pasta_, ec)))
    pasta_por_sincronizar_ = true;
  // All in place: the older output's files go. The lock is kept for the
  // batch's next run into the folder only where none of them is left
  // under a name of this lock's.
  bool removidos = true;
  for (const mudanca& m : renomes)
    if (m.para.compare(0, aparte.size(), aparte) == 0)
      removidos = fs::remove(caminho(m.para), ec) && removidos;
  abandona_e_larga(removidos);
}

void publicacao::abandona() noexcept { abandona_e_larga(false); }

// Removes every file this run created; its lock is kept for the batch's
// next run into the folder where `guardar` says so (a publication that
// left nothing behind) and nothing of the run's is left, and removed
// otherwise.
void publicacao::abandona_e_larga(bool guardar) noexcept
{
  bool limpo = true;
  for (const std::string& nome : criados_) {
    std::error_code ec;
    fs::remove(caminho(nome), ec);
    limpo = limpo && !ec;
  }
  criados_.clear();
  if (!trinco_.preso()) return;
  std::error_code ec;
  if (guardar && limpo && lote_ && trinco_.escreve_nota("", ec, false)) {
    try {
      lote_->guarda(pasta_, trinco_nome_, std::move(trinco_));
      return;
    } catch (const std::bad_alloc&) {
    }
  }
  fs::remove(caminho(trinco_nome_), ec);  // removed while still held
  trinco_.solta();
}

}  // namespace kelvara
