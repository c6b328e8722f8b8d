#include "seguranca.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "falha.h"
#include "ficheiros.h"
#include "nomes.h"
#include "reconhece_prj.h"

namespace kelvara {

namespace {

// A coordinate in a message: to the millimetre, without trailing zeros,
// with "." whatever the locale.
std::string numero(double v)
{
  char b[64];
  const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, 3);
  std::string s(b, r.ptr);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

std::string intervalos(double x0, double x1, double y0, double y1)
{
  return "x de " + numero(x0) + " a " + numero(x1) + ", y de " + numero(y0) + " a " + numero(y1);
}

std::string nome_de(const sistema& s) { return entre_aspas(std::string(s.nome)); }

}  // namespace

bool encontra(const caixa& c, const area& a)
{
  return c.x_max >= a.x_min - a.margem && c.x_min <= a.x_max + a.margem &&
         c.y_max >= a.y_min - a.margem && c.y_min <= a.y_max + a.margem;
}

std::string prj_da_entrada(const std::string& base)
{
  return es::com_extensao(base, ".prj");
}

juizo_prj examina_prj(const std::string& prj, const sistema& s)
{
  // A projection file is a line or a few: what follows 64 KiB is padding,
  // and of a longer file only the first element is read.
  constexpr std::size_t maximo = 65536;
  std::string texto;
  bool lido = false;
  if (std::FILE* f = es::abre(prj, "rb")) {
    texto.resize(maximo + 1);
    texto.resize(std::fread(texto.data(), 1, texto.size(), f));
    lido = !std::ferror(f);
    std::fclose(f);
  }
  const bool longo = texto.size() > maximo;
  if (longo) texto.resize(maximo);
  const std::optional<prj_lido> p = lido ? le_prj(texto, longo) : std::nullopt;
  if (!p)
    return {{}, "O ficheiro de projecção " + entre_aspas(prj) +
                    " do shapefile de entrada não descreve um sistema de coordenadas que se "
                    "consiga ler e não foi tido em conta."};
  const std::string inicio = "O ficheiro de projecção " + entre_aspas(prj) +
                             " do shapefile de entrada diz que as coordenadas ";
  const std::string escolhido = ", mas foi escolhido " + nome_de(s) + " como Sistema 1";
  if (p->geografico)
    return {inicio + "são longitudes e latitudes (" + entre_aspas(p->nome) + ")" + escolhido +
                ", que tem coordenadas planas, em metros.",
            {}};
  const std::vector<const sistema*> sao = sistemas_de(*p);
  if (std::find(sao.begin(), sao.end(), &s) != sao.end()) return {};
  if (sao.empty()) {
    // A system of no route: what it read, for the user to recognise it.
    std::string visto;
    auto junta = [&](const std::string& t) { visto += (visto.empty() ? "" : ", ") + t; };
    if (!p->metodo.empty()) junta("projecção " + p->metodo);
    if (p->falso_este || p->falso_norte)
      junta("falsa origem em x " + numero(p->falso_este.value_or(0)) + " e em y " +
            numero(p->falso_norte.value_or(0)));
    if (!p->elipsoide.empty()) junta("elipsóide " + p->elipsoide);
    return {inicio + "estão em " + entre_aspas(p->nome) + (visto.empty() ? "" : " (" + visto + ")") +
                ", que não é nenhum dos sistemas de kelvara" + escolhido + ".",
            {}};
  }
  std::string nomes;
  for (size_t i = 0; i < sao.size(); ++i)
    nomes += (i == 0 ? "" : i + 1 == sao.size() ? " ou " : ", ") + nome_de(*sao[i]);
  return {inicio + "estão em " + entre_aspas(p->nome) + ", que é o sistema " + nomes + escolhido +
              ".",
          {}};
}

std::string recusa_area(const std::string& shp, const caixa& c, const sistema& s, int registo)
{
  const area& a = s.area;
  const std::string quais = registo > 0 ? "As coordenadas do registo " + std::to_string(registo) +
                                              " do shapefile " + entre_aspas(shp)
                                        : "As coordenadas do shapefile " + entre_aspas(shp);
  return quais + " (" + intervalos(c.x_min, c.x_max, c.y_min, c.y_max) +
         ") ficam todas fora da área do sistema " + nome_de(s) + ", escolhido como Sistema 1 (" +
         intervalos(a.x_min - a.margem, a.x_max + a.margem, a.y_min - a.margem,
                    a.y_max + a.margem) +
         "): não podem estar neste sistema.";
}

void confirma(janela& j, const std::string& porque)
{
  if (!j.pergunta(porque + "\n\nConverter mesmo assim?")) throw recusa(porque);
}

bool verifica_fonte(janela& j, const sistema& s, const ShapeFiles& entrada)
{
  const std::string& fich1a = entrada.path();
  if (const std::string prj = prj_da_entrada(fich1a.substr(0, fich1a.size() - 4)); !prj.empty()) {
    const juizo_prj e = examina_prj(prj, s);
    if (!e.aviso.empty()) j.mensagem(e.aviso);
    if (!e.recusa.empty()) confirma(j, e.recusa);
  }
  if (s.area.vazia()) return false;
  // The box the header declares, where it is one: finite, not inverted,
  // not all zeros.
  const std::optional<std::array<double, 4>> b = entrada.caixa();
  if (!b || !std::all_of(b->begin(), b->end(), [](double v) { return std::isfinite(v); }) ||
      std::all_of(b->begin(), b->end(), [](double v) { return v == 0; }))
    return true;
  const caixa c{(*b)[0], (*b)[1], (*b)[2], (*b)[3]};
  if (c.x_min > c.x_max || c.y_min > c.y_max) return true;
  if (!encontra(c, s.area)) {
    confirma(j, recusa_area(fich1a, c, s));
    return false;  // converting anyway: no record is checked
  }
  return true;
}

std::optional<caixa> vigia_registos::fora(const ShapeFiles& entrada) const
{
  if (entrada.is_null()) return std::nullopt;
  const int n = entrada.vertex_count();
  if (n == 0) return std::nullopt;
  caixa c{INFINITY, INFINITY, -INFINITY, -INFINITY};
  for (int v = 1; v <= n; ++v) {
    const vertice p = entrada.vertex_at(v);
    c.x_min = std::min(c.x_min, p.x);
    c.x_max = std::max(c.x_max, p.x);
    c.y_min = std::min(c.y_min, p.y);
    c.y_max = std::max(c.y_max, p.y);
  }
  if (!(c.x_min <= c.x_max && c.y_min <= c.y_max) || encontra(c, s_.area)) return std::nullopt;
  return c;
}

void vigia_registos::examina(const ShapeFiles& entrada, int registo)
{
  const std::optional<caixa> c = fora(entrada);
  if (!c) return;
  ativa_ = false;  // asked once: after "Sim", every record goes through
  confirma(j_, recusa_area(shp_, *c, s_, registo));
}

}  // namespace kelvara
