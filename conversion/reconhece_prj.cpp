#include "reconhece_prj.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>
#include <variant>

namespace kelvara {

namespace {

// One element: KEYWORD[value, value, ...], a value being a quoted text, a
// number, a bare word (an axis direction) or another element.
struct no {
  std::string chave;  // upper case
  std::vector<std::string> textos;
  std::vector<double> numeros;
  std::vector<no> filhos;

  const no* filho(std::initializer_list<std::string_view> chaves) const
  {
    for (const no& f : filhos)
      for (std::string_view c : chaves)
        if (f.chave == c) return &f;
    return nullptr;
  }
};

class leitor {
 public:
  explicit leitor(std::string_view t) : t_(t) {}

  bool elemento(no& n, int profundidade)
  {
    if (profundidade > 16) return false;  // no real system nests deeper
    espacos();
    const size_t inicio = i_;
    while (i_ < t_.size() && (std::isalnum(static_cast<unsigned char>(t_[i_])) || t_[i_] == '_'))
      ++i_;
    if (i_ == inicio) return false;
    for (size_t k = inicio; k < i_; ++k)
      n.chave += static_cast<char>(std::toupper(static_cast<unsigned char>(t_[k])));
    espacos();
    if (i_ >= t_.size() || (t_[i_] != '[' && t_[i_] != '(')) return false;
    const char fecho = t_[i_] == '[' ? ']' : ')';
    ++i_;
    for (;;) {
      espacos();
      if (i_ >= t_.size()) return false;
      const char c = t_[i_];
      if (c == '"') {
        std::string s;
        for (++i_;; ++i_) {
          if (i_ >= t_.size()) return false;
          if (t_[i_] == '"') {
            if (i_ + 1 < t_.size() && t_[i_ + 1] == '"') {  // "" inside a text
              s += '"';
              ++i_;
              continue;
            }
            ++i_;
            break;
          }
          s += t_[i_];
        }
        n.textos.push_back(std::move(s));
      } else if (c == '-' || c == '+' || c == '.' || std::isdigit(static_cast<unsigned char>(c))) {
        double v = 0;
        const char* p = t_.data() + i_ + (c == '+');
        const auto r = std::from_chars(p, t_.data() + t_.size(), v);
        if (r.ec != std::errc()) return false;
        n.numeros.push_back(v);
        i_ = static_cast<size_t>(r.ptr - t_.data());
      } else {
        // An element, or a bare word (EAST, NORTH) that ends at , or ].
        const size_t antes = i_;
        no f;
        if (elemento(f, profundidade + 1)) {
          n.filhos.push_back(std::move(f));
        } else {
          i_ = antes;
          while (i_ < t_.size() && std::isalnum(static_cast<unsigned char>(t_[i_]))) ++i_;
          if (i_ == antes) return false;
        }
      }
      espacos();
      if (i_ >= t_.size()) return false;
      if (t_[i_] == ',') {
        ++i_;
        continue;
      }
      if (t_[i_] != fecho) return false;
      ++i_;
      return true;
    }
  }

  bool no_fim()
  {
    espacos();
    return i_ == t_.size();
  }

  // A comma and a further element (the vertical system of a compound
  // one); false, with nothing read, where none follows.
  bool outro(no& n)
  {
    espacos();
    if (i_ >= t_.size() || t_[i_] != ',') return false;
    const size_t antes = i_++;
    if (elemento(n, 0)) return true;
    i_ = antes;
    return false;
  }

 private:
  // Blanks, and the NUL bytes that some programs leave at the end.
  void espacos()
  {
    while (i_ < t_.size() && (std::isspace(static_cast<unsigned char>(t_[i_])) || t_[i_] == '\0'))
      ++i_;
  }
  std::string_view t_;
  size_t i_ = 0;
};

// Lower case, letters and digits only: "Latitude_Of_Origin" and "latitude
// of origin" are one name.
std::string simples(std::string_view s)
{
  std::string r;
  for (char c : s)
    if (std::isalnum(static_cast<unsigned char>(c)))
      r += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

constexpr double grau = std::numbers::pi / 180;

// The factor of a unit element: UNIT["metre",1], ANGLEUNIT["degree",0.017...].
std::optional<double> factor(const no* unidade)
{
  if (!unidade || unidade->numeros.empty()) return std::nullopt;
  return unidade->numeros[0];
}

std::optional<projeccao> transversa_mercator(const no& projcs, prj_lido& lido)
{
  const no* geog = projcs.filho({"GEOGCS", "BASEGEOGCRS", "BASEGEODCRS", "GEOGCRS", "GEODCRS"});
  if (!geog) return std::nullopt;
  const no* datum = geog->filho({"DATUM", "GEODETICDATUM", "TRF", "ENSEMBLE"});
  const no* elipsoide = datum ? datum->filho({"SPHEROID", "ELLIPSOID"}) : nullptr;
  if (elipsoide && !elipsoide->textos.empty()) lido.elipsoide = elipsoide->textos[0];
  {
    const no* onde = projcs.filho({"CONVERSION", "DERIVINGCONVERSION"});
    if (!onde) onde = &projcs;
    if (const no* m = onde->filho({"PROJECTION", "METHOD"}); m && !m->textos.empty())
      lido.metodo = m->textos[0];
    for (const no& par : onde->filhos) {
      if (par.chave != "PARAMETER" || par.textos.empty() || par.numeros.empty()) continue;
      const std::string n = simples(par.textos[0]);
      if (n == "falseeasting" || n == "eastingatfalseorigin") lido.falso_este = par.numeros[0];
      if (n == "falsenorthing" || n == "northingatfalseorigin") lido.falso_norte = par.numeros[0];
    }
  }
  if (!elipsoide || elipsoide->numeros.size() < 2) return std::nullopt;
  projeccao p;
  p.a = elipsoide->numeros[0];
  p.inverso_achatamento = elipsoide->numeros[1];
  if (const std::optional<double> f = factor(elipsoide->filho({"LENGTHUNIT", "UNIT"})))
    p.a *= *f;

  // Angles of WKT 1 are in the geographic system's unit, lengths in the
  // projected system's.
  const double angulo = factor(geog->filho({"UNIT", "ANGLEUNIT"})).value_or(grau) / grau;
  double comprimento = 1;
  if (const auto f = factor(projcs.filho({"UNIT", "LENGTHUNIT"}))) {
    comprimento = *f;
  } else if (const no* cs = projcs.filho({"CS"}); cs || projcs.filho({"AXIS"})) {
    for (const no& e : projcs.filhos)
      if (e.chave == "AXIS")
        if (const auto g = factor(e.filho({"LENGTHUNIT", "UNIT"}))) comprimento = *g;
  }
  if (std::abs(comprimento - 1) > 1e-9) return std::nullopt;  // feet, not metres
  double meridiano = 0;
  if (const no* pm = geog->filho({"PRIMEM"}); pm && !pm->numeros.empty()) {
    const auto f = factor(pm->filho({"ANGLEUNIT", "UNIT"}));
    meridiano = pm->numeros[0] * (f ? *f / grau : angulo);
  }

  // WKT 1 names the projection at the top, WKT 2 in its conversion.
  const no* onde = projcs.filho({"CONVERSION", "DERIVINGCONVERSION"});
  if (!onde) onde = &projcs;
  const no* metodo = onde->filho({"PROJECTION", "METHOD"});
  if (!metodo || metodo->textos.empty()) return std::nullopt;
  const std::string m = simples(metodo->textos[0]);
  if (m != "transversemercator" && m != "gausskruger") return std::nullopt;

  p.escala = 1;
  bool com_longitude = false;
  for (const no& par : onde->filhos) {
    if (par.chave != "PARAMETER" || par.textos.empty() || par.numeros.empty()) continue;
    const std::string n = simples(par.textos[0]);
    double v = par.numeros[0];
    const auto f = factor(par.filho({"ANGLEUNIT", "LENGTHUNIT", "SCALEUNIT", "UNIT"}));
    const bool angular = n.find("latitude") != std::string::npos ||
                         n.find("longitude") != std::string::npos || n == "centralmeridian";
    if (angular) v *= f ? *f / grau : angulo;
    else if (f && n != "scalefactor" && n != "scalefactoratnaturalorigin") v *= *f;
    else if (!f && n != "scalefactor" && n != "scalefactoratnaturalorigin") v *= comprimento;
    if (n == "falseeasting") p.falso_este = v;
    else if (n == "falsenorthing") p.falso_norte = v;
    else if (n == "scalefactor" || n == "scalefactoratnaturalorigin") p.escala = v;
    else if (n == "latitudeoforigin" || n == "latitudeofnaturalorigin" || n == "latitudeofcenter")
      p.latitude0 = v;
    else if (n == "centralmeridian" || n == "longitudeofnaturalorigin" ||
             n == "longitudeofcenter") {
      p.longitude0 = v;
      com_longitude = true;
    }
  }
  if (!com_longitude) return std::nullopt;
  p.longitude0 += meridiano;
  return p;
}

}  // namespace

std::optional<prj_lido> le_prj(std::string_view texto, bool so_o_primeiro)
{
  if (texto.substr(0, 3) == "\xEF\xBB\xBF") texto.remove_prefix(3);  // a UTF-8 mark
  leitor l(texto);
  no primeiro;
  if (!l.elemento(primeiro, 0)) return std::nullopt;
  if (!so_o_primeiro) {
    // PROJCS[...],VERTCS[...]: a projected system with its heights.
    for (no vertical; l.outro(vertical); vertical = {})
      if (vertical.chave != "VERTCS" && vertical.chave != "VERT_CS" && vertical.chave != "VERTCRS")
        return std::nullopt;
    if (!l.no_fim()) return std::nullopt;
  }
  // A compound system is its horizontal part.
  const no* raiz = &primeiro;
  if (primeiro.chave == "COMPD_CS" || primeiro.chave == "COMPOUNDCRS") {
    raiz = primeiro.filho({"PROJCS", "PROJCRS", "PROJECTEDCRS", "GEOGCS", "GEOGCRS",
                           "GEOGRAPHICCRS"});
    if (!raiz) return std::nullopt;
  }
  prj_lido r;
  if (!raiz->textos.empty()) r.nome = raiz->textos[0];
  if (raiz->chave == "GEOGCS" || raiz->chave == "GEOGCRS" || raiz->chave == "GEOGRAPHICCRS") {
    r.geografico = true;
  } else if (raiz->chave == "PROJCS" || raiz->chave == "PROJCRS" ||
             raiz->chave == "PROJECTEDCRS") {
    r.projeccao = transversa_mercator(*raiz, r);
  } else {
    return std::nullopt;
  }
  return r;
}

bool corresponde(const projeccao& a, const projeccao& b)
{
  // Written numbers are rounded: 1e-6 degrees is 0.1 m on the ground. The
  // flattening allows for GRS 1980 and WGS 84, whose ellipsoids differ by
  // 0.1 mm here.
  auto perto = [](double u, double v, double tolerancia) { return std::abs(u - v) <= tolerancia; };
  return perto(a.a, b.a, 0.01) && perto(a.inverso_achatamento, b.inverso_achatamento, 1e-4) &&
         perto(a.latitude0, b.latitude0, 1e-6) && perto(a.longitude0, b.longitude0, 1e-6) &&
         perto(a.escala, b.escala, 1e-7) && perto(a.falso_este, b.falso_este, 0.01) &&
         perto(a.falso_norte, b.falso_norte, 0.01);
}

std::vector<const sistema*> sistemas_de(const prj_lido& p)
{
  std::vector<const sistema*> r;
  if (!p.projeccao) return r;
  for (const sistema& s : sistemas())
    if (s.projeccao.a > 0 && corresponde(*p.projeccao, s.projeccao)) r.push_back(&s);
  return r;
}

}  // namespace kelvara
