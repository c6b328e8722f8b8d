#include "conversao.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <new>
#include <system_error>

#include "es.h"
#include "escreve_prj.h"
#include "falha.h"
#include "grelha.h"
#include "ilhas.h"
#include "nomes.h"
#include "parametros.h"
#include "polinomio.h"
#include "transfere.h"

namespace kelvara {

namespace {

constexpr const char* etrs89 = "ETRS89 TM06";
constexpr const char* datum73 = "Hayford-Gauss Datum 73";
constexpr const char* lisboa = "Hayford-Gauss Datum Lisboa-Ponto Central";
constexpr const char* g_oriental = "Açores - G.Oriental - UTM 26 S. Bráz";
constexpr const char* faial = "Açores - Faial - UTM 26 Base SW";
constexpr const char* graciosa = "Açores - Graciosa - UTM 26 Base SW";
constexpr const char* pico = "Açores - Pico - UTM 26 Base SW";
constexpr const char* sao_jorge = "Açores - São Jorge - UTM 26 Base SW";
constexpr const char* terceira = "Açores - Terceira - UTM 26 Base SW";
constexpr const char* g_ocidental = "Açores - G.Ocidental - UTM 25 Observatório";
constexpr const char* madeira = "Madeira - UTM 28 Base SE";
constexpr const char* utm26 = "UTM 26 ITRF93";
constexpr const char* utm25 = "UTM 25 ITRF93";
constexpr const char* utm28 = "UTM 28 ITRF93";
constexpr const char* qualquer_ = "Qualquer";

constexpr std::array<const char*, 15> nomes_sistemas{
    etrs89,   datum73,  lisboa,      g_oriental, faial, graciosa, pico,     sao_jorge,
    terceira, g_ocidental, madeira, utm26,      utm25, utm28,    qualquer_};


}  // namespace

std::span<const char* const> sistemas() { return nomes_sistemas; }
std::span<const conversao::rota> conversao::rotas()
{
  using c = conversao;
  // Routines are private to the command; the table is built where it may name them.
  static constexpr std::array<c::rota, 15> tabela{{
      {etrs89, datum73, &c::transf_01, "transf_01", nullptr, nullptr, true},
      {etrs89, lisboa, &c::transf_01, "transf_01", &c::transf_12, "transf_12", true},
      {datum73, etrs89, &c::transf_10, "transf_10", nullptr, nullptr, true},
      {datum73, lisboa, &c::transf_12, "transf_12", nullptr, nullptr, true},
      {lisboa, etrs89, &c::transf_21, "transf_21", &c::transf_10, "transf_10", true},
      {lisboa, datum73, &c::transf_21, "transf_21", nullptr, nullptr, true},
      {g_oriental, utm26, &c::transf_54, "transf_54", nullptr, nullptr, false},
      {faial, utm26, &c::transf_64, "transf_64", nullptr, nullptr, false},
      {graciosa, utm26, &c::transf_74, "transf_74", nullptr, nullptr, false},
      {pico, utm26, &c::transf_84, "transf_84", nullptr, nullptr, false},
      {sao_jorge, utm26, &c::transf_94, "transf_94", nullptr, nullptr, false},
      {terceira, utm26, &c::transf_104, "transf_104", nullptr, nullptr, false},
      {g_ocidental, utm25, &c::transf_114, "transf_114", nullptr, nullptr, false},
      {madeira, utm28, &c::transf_124, "transf_124", nullptr, nullptr, false},
      {qualquer_, nullptr, &c::qualquer, "qualquer", nullptr, nullptr, false},
  }};
  return tabela;
}

conversao::conversao(janela& j, std::string pasta_grelhas)
    : j_(j), grelhas_(std::move(pasta_grelhas))
{
}

bool conversao::Command1_Click(const entradas& e)
{
  auto mostra = [&](const std::string& texto) { j_.mensagem(texto, titulo_programa); };

  // Entry checks: all four, in this order; each that fails is reported.
  bool falta = false;
  auto testa = [&](bool condicao, const char* texto) {
    if (condicao) {
      mostra(texto);
      falta = true;
    }
  };
  testa(!e.Combo1.empty() && e.Text1.empty(), "Escolher o ficheiro Shapefile no Sistema 1!!");
  testa(!e.Combo1.empty() && e.Text2.empty(), "Definir o ficheiro Shapefile no Sistema 2!!");
  testa(e.Combo1 == qualquer_ && e.Text3.empty(), "Definir o ficheiro de parâmetros em X!!");
  testa(e.Combo1 == qualquer_ && e.Text4.empty(), "Definir o ficheiro de parâmetros em Y!!");

  if (!falta) {
    // Route by exact, case-sensitive comparison of the texts.
    bool fonte = false;
    for (const rota& r : rotas()) {
      if (e.Combo1 != r.sistema1) continue;
      fonte = true;
      if (r.sistema2 && e.Combo2 != r.sistema2) continue;
      if (corre(r, e)) return true;
      j_.ponteiro(ponteiro_normal);
      return false;
    }
    if (!fonte) mostra("Definir o Sistema 1 !!");
    if (e.Combo2.empty()) mostra("Definir o Sistema 2 !!");
  }
  j_.ponteiro(ponteiro_normal);
  return false;
}

void conversao::verifica_nomes(const entradas& e) const
{
  // Fewer than five characters leave no base name once the four characters
  // of the extension are dropped.
  if (caracteres(e.Text1) < 5)
    throw falha("O texto " + entre_aspas(e.Text1) +
                " não pode ser o nome do shapefile do Sistema 1: é curto demais para um nome "
                "seguido da extensão .shp.");
  if (caracteres(e.Text2) < 5)
    throw falha("O texto " + entre_aspas(e.Text2) +
                " não pode ser o nome do shapefile do Sistema 2: é curto demais para um nome "
                "seguido da extensão .shp.");
}

void conversao::deriva_nomes(const entradas& e)
{
  const std::string base1 = sem_ultimos_quatro(e.Text1);
  const std::string base2 = sem_ultimos_quatro(e.Text2);
  fich1a = base1 + ".shp";
  fich1b = base1 + ".shx";
  fich1c = base1 + ".dbf";
  fich2a = base1 + "_.shp";
  fich2b = base1 + "_.shx";
  fich2c = base1 + "_.dbf";
  fich3a = base2 + ".shp";
  fich3b = base2 + ".shx";
  fich3c = base2 + ".dbf";
  fich_par_m = e.Text3;
  fich_par_p = e.Text4;
}

namespace {

// Names beside `base` + extension that are free: base + ".kelvaraN" + ext.
std::string livre(const std::string& base, int n, const char* ext)
{
  return base + ".kelvara" + std::to_string(n) + ext;
}

constexpr std::array<const char*, 4> extensoes{".shp", ".shx", ".dbf", ".cpg"};

}  // namespace

// Reserves hidden names beside the output for the new .shp, .shx, .dbf and
// .cpg, creating them empty: the output folder is proved writable before any
// work is done, and the names cannot be taken by anything else meanwhile.
std::vector<std::string> conversao::reserva_temporarios()
{
  const std::string base = sem_ultimos_quatro(fich3a);
  for (int n = 1;; ++n) {
    bool ocupado = false;
    for (const char* ext : extensoes) ocupado = ocupado || es::existe(livre(base, n, ext));
    if (ocupado) continue;
    std::vector<std::string> nomes;
    for (const char* ext : extensoes) {
      const std::string nome = livre(base, n, ext);
      std::FILE* f = es::abre(nome, "wbx");
      if (!f) {
        const std::error_code ec(errno, std::generic_category());
        throw falha("Não é possível escrever o shapefile de saída " + entre_aspas(fich3a) + ": " +
                    es::descreve(ec) + ".");
      }
      std::fclose(f);
      criados_.push_back(nome);
      nomes.push_back(nome);
    }
    return nomes;
  }
}

// Puts the complete new files in place of the output, each by a rename
// within its folder. The code page (.cpg) follows the input: where the input
// has none, a .cpg left from an earlier output would mislabel the new table.
void conversao::publica(const std::vector<std::string>& temporarios)
{
  const std::string base3 = sem_ultimos_quatro(fich3a);
  const std::array<std::string, 4> finais{fich3a, fich3b, fich3c, base3 + ".cpg"};
  std::string cpg_entrada = sem_ultimos_quatro(fich1a) + ".cpg";
  if (!es::existe(cpg_entrada) && es::existe(sem_ultimos_quatro(fich1a) + ".CPG"))
    cpg_entrada = sem_ultimos_quatro(fich1a) + ".CPG";
  const bool com_cpg = es::existe(cpg_entrada);
  try {
    if (com_cpg) es::copia(cpg_entrada, temporarios[3]);
    for (int i = 0; i < 3; ++i) es::renomeia(temporarios[i], finais[i]);
  } catch (const std::system_error& x) {
    throw falha("Não foi possível pôr o resultado no lugar de " + entre_aspas(fich3a) + ": " +
                es::descreve(x.code()) + ".");
  }
  std::error_code ec;
  if (com_cpg) {
    try {
      es::renomeia(temporarios[3], finais[3]);
    } catch (const std::system_error& x) {
      ec = x.code();
    }
  } else {
    es::remove(temporarios[3], ec);
    if (!ec) es::remove(finais[3], ec);
  }
  if (ec)
    throw falha("O shapefile " + entre_aspas(fich3a) +
                " foi criado, mas não foi possível acertar o ficheiro de página de código " +
                entre_aspas(finais[3]) + ": " + es::descreve(ec) + ".");
}

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

}  // namespace

// Hidden files that an interrupted run reserved beside this output.
std::vector<std::string> conversao::restos_temporarios() const
{
  std::vector<std::string> r;
  const std::filesystem::path base = es::caminho(sem_ultimos_quatro(fich3a));
  const std::string prefixo = es::texto(base.filename()) + ".kelvara";
  std::error_code ec;
  const std::filesystem::path pasta = base.has_parent_path() ? base.parent_path() : ".";
  for (const auto& e : std::filesystem::directory_iterator(pasta, ec)) {
    const std::string n = es::texto(e.path().filename());
    if (n.rfind(prefixo, 0) != 0 || n.size() < prefixo.size() + 5) continue;
    const std::string meio = n.substr(prefixo.size(), n.size() - prefixo.size() - 4);
    const std::string ext = n.substr(n.size() - 4);
    const bool numero = !meio.empty() && meio.find_first_not_of("0123456789") == std::string::npos;
    if (numero && (ext == ".shp" || ext == ".shx" || ext == ".dbf" || ext == ".cpg"))
      r.push_back(es::texto(e.path()));
  }
  std::sort(r.begin(), r.end());
  return r;
}

bool conversao::corre(const rota& r, const entradas& e)
{
  criados_.clear();
  try {
    verifica_nomes(e);
    deriva_nomes(e);

    // The output must not be the input nor one of this run's working files.
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
    // A file under a working name belongs to the user: never overwritten.
    std::vector<std::string> existentes;
    for (const std::string* t : {&fich2a, &fich2b, &fich2c})
      if (es::existe(*t)) existentes.push_back(*t);
    if (!existentes.empty()) throw falha(mensagem_restos(existentes, restos_temporarios()));

    const std::vector<std::string> temporarios = reserva_temporarios();
    for (const std::string* t : {&fich2a, &fich2b, &fich2c}) criados_.push_back(*t);

    parou_ = false;
    (this->*r.passo1)();
    if (parou_) {
      limpa();
      return false;
    }
    if (!r.passo2) {
      try {
        es::move(fich2a, temporarios[0]);
        es::move(fich2b, temporarios[1]);
        es::move(fich2c, temporarios[2]);
      } catch (const std::system_error& x) {
        throw falha("Não foi possível escrever o shapefile de saída " + entre_aspas(fich3a) +
                    ": " + es::descreve(x.code()) + ".");
      }
    } else {
      // The second step reads the working files and writes the new output
      // beside its final name.
      fich1a = fich2a;
      fich1b = fich2b;
      fich1c = fich2c;
      fich2a = temporarios[0];
      fich2b = temporarios[1];
      fich2c = temporarios[2];
      (this->*r.passo2)();
      if (parou_) {
        limpa();
        return false;
      }
      Shp1.close_file();
      for (const std::string* t : {&fich1a, &fich1b, &fich1c}) {
        std::error_code ec;
        es::remove(*t, ec);
      }
    }
    Shp1.close_file();
    publica(temporarios);
    criados_.clear();

    if (r.prj) escreve_prj(e.Combo2, fich3a, fich_prj);
    j_.ponteiro(ponteiro_normal);
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
    limpa();
    j_.fecha();
  } catch (const falha& f) {
    limpa();
    j_.mensagem(f.what(), titulo_programa);
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

// After a fault or a routine that stopped: release every file and remove
// what this run created. The input and files that existed before stay.
void conversao::limpa() noexcept
{
  Shp1.abandon();
  Shp2.abandon();
  for (const std::string& nome : criados_) {
    std::error_code ec;
    es::remove(nome, ec);
  }
  criados_.clear();
}

// --- Transformation routines -------------------------------------------

void conversao::transf_01()
{
  transfere(j_, Shp1, Shp2, fich1a, fich2a,
            [](double x, double y) { return polinomio(conjunto_01, x, y); });
}

void conversao::transf_10()
{
  transfere(j_, Shp1, Shp2, fich1a, fich2a,
            [](double x, double y) { return polinomio(conjunto_10, x, y); });
}

// Datum Lisboa: bilinear interpolation in the two grids of the direction.
// These routines restore the pointer themselves.
void conversao::grelha_lisboa(sentido s)
{
  j_.ponteiro(ponteiro_ocupado);
  const ficheiros_grelha f = ficheiros_de(s, grelhas_);
  if (const auto falta = testa_presenca(f)) {
    j_.mensagem(*falta, titulo_programa);
    j_.ponteiro(ponteiro_normal);
    parou_ = true;
    return;
  }
  const grelhas g = le_grelhas(f);
  transfere(j_, Shp1, Shp2, fich1a, fich2a, [&g](double x, double y) {
    if (const auto r = interpola(g, x, y)) return *r;
    throw fora_da_grelha(x, y);
  });
  j_.ponteiro(ponteiro_normal);
}

void conversao::transf_12() { grelha_lisboa(sentido::de_73_para_lisboa); }
void conversao::transf_21() { grelha_lisboa(sentido::de_lisboa_para_73); }

void conversao::ilha(const coeficientes_ilha& c)
{
  transfere(j_, Shp1, Shp2, fich1a, fich2a,
            [&c](double x, double y) { return polinomio_ilha(c, x, y); });
}

void conversao::transf_54() { ilha(conjunto_54); }
void conversao::transf_64() { ilha(conjunto_64); }
void conversao::transf_74() { ilha(conjunto_74); }
void conversao::transf_84() { ilha(conjunto_84); }
void conversao::transf_94() { ilha(conjunto_94); }
void conversao::transf_104() { ilha(conjunto_104); }
void conversao::transf_114() { ilha(conjunto_114); }
void conversao::transf_124() { ilha(conjunto_124); }

void conversao::qualquer()
{
  j_.ponteiro(ponteiro_ocupado);
  const parametros_qualquer p = le_parametros(fich_par_m, fich_par_p);
  if (!p.conjunto) {
    // A file of the wrong axis: its message, and no shapefile is touched.
    for (const std::string& m : p.mensagens) j_.mensagem(m, titulo_parametros);
    j_.ponteiro(ponteiro_normal);
    parou_ = true;
    return;
  }
  const coeficientes c = *p.conjunto;
  transfere(j_, Shp1, Shp2, fich1a, fich2a, [&c](double x, double y) { return polinomio(c, x, y); });
  j_.ponteiro(ponteiro_normal);
}

}  // namespace kelvara
