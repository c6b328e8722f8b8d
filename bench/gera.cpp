// kelvara-gera: writes a synthetic PolyLineZ shapefile in Hayford-Gauss
// Datum 73 for the benchmark.
//
//   kelvara-gera BASE REGISTOS
//   kelvara-gera --pontos BASE REGISTOS
//
// BASE.shp, BASE.shx and BASE.dbf: REGISTOS polylines of one part and 20
// vertices each, with z and m, inside the mainland's extent, and three
// attribute fields (ID N 10, NOME C 40, COMPR N 19.3). Every record is 728
// bytes of .shp, 8 of .shx and 70 of .dbf, so a size in bytes is about
// 806 × REGISTOS. With --pontos: REGISTOS 2D points inside the mainland's
// extent and one field (ID N 10): 28 + 8 + 11 bytes per record (about 470 MB
// for 10 million). The files are written byte by byte here, not through
// shapelib, so that the benchmark's input does not depend on the code it
// measures; the same count always gives the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int vertices = 20;
constexpr int conteudo = 44 + 4 + 16 * vertices + 16 + 8 * vertices + 16 + 8 * vertices;  // bytes
constexpr int largura_dbf = 1 + 10 + 40 + 19;

// A plain buffered file: any failure ends the program with a message.
class saida {
 public:
  explicit saida(const std::string& nome) : nome_(nome), f_(std::fopen(nome.c_str(), "wb"))
  {
    if (!f_) falhou();
    std::setvbuf(f_, nullptr, _IOFBF, 1 << 20);
  }
  ~saida()
  {
    if (std::fclose(f_) != 0) falhou();
  }
  void bytes(const void* p, size_t n)
  {
    if (std::fwrite(p, 1, n, f_) != n) falhou();
  }
  void grande(std::uint32_t v)  // big-endian
  {
    const unsigned char b[4] = {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    bytes(b, 4);
  }
  void pequeno(std::uint32_t v)  // little-endian
  {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    bytes(b, 4);
  }
  void real(double v)  // little-endian IEEE double
  {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    unsigned char b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(u >> (8 * i));
    bytes(b, 8);
  }

 private:
  [[noreturn]] void falhou()
  {
    std::perror(nome_.c_str());
    std::exit(1);
  }
  std::string nome_;
  std::FILE* f_;
};

// xorshift64*: the same sequence on every machine.
struct sorteio {
  std::uint64_t s = 0x9e3779b97f4a7c15ull;
  double uniforme()  // [0, 1)
  {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return static_cast<double>((s * 2685821657736338717ull) >> 11) * 0x1.0p-53;
  }
};

struct linha {
  double x[vertices], y[vertices], z[vertices], m[vertices];
};

linha faz_linha(sorteio& r)
{
  linha l;
  double x = -110000 + 260000 * r.uniforme(), y = -280000 + 540000 * r.uniforme();
  double z = 2000 * r.uniforme(), m = 0;
  for (int v = 0; v < vertices; ++v) {
    if (v > 0) {
      const double dx = 100 * (r.uniforme() - 0.5), dy = 100 * (r.uniforme() - 0.5);
      x += dx;
      y += dy;
      z += 10 * (r.uniforme() - 0.5);
      m += std::abs(dx) + std::abs(dy);
    }
    l.x[v] = x;
    l.y[v] = y;
    l.z[v] = z;
    l.m[v] = m;
  }
  return l;
}

struct caixa {
  double min[4] = {1e300, 1e300, 1e300, 1e300}, max[4] = {-1e300, -1e300, -1e300, -1e300};
  void junta(int i, const double* v)
  {
    for (int k = 0; k < vertices; ++k) {
      min[i] = std::min(min[i], v[k]);
      max[i] = std::max(max[i], v[k]);
    }
  }
  void junta(const caixa& c)
  {
    for (int i = 0; i < 4; ++i) {
      min[i] = std::min(min[i], c.min[i]);
      max[i] = std::max(max[i], c.max[i]);
    }
  }
};

caixa caixa_de(const linha& l)
{
  caixa c;
  c.junta(0, l.x);
  c.junta(1, l.y);
  c.junta(2, l.z);
  c.junta(3, l.m);
  return c;
}

void cabecalho(saida& s, std::uint64_t bytes_ficheiro, const caixa& c)
{
  s.grande(9994);
  for (int i = 0; i < 5; ++i) s.grande(0);
  s.grande(static_cast<std::uint32_t>(bytes_ficheiro / 2));
  s.pequeno(1000);
  s.pequeno(13);  // PolyLineZ
  s.real(c.min[0]);
  s.real(c.min[1]);
  s.real(c.max[0]);
  s.real(c.max[1]);
  s.real(c.min[2]);
  s.real(c.max[2]);
  s.real(c.min[3]);
  s.real(c.max[3]);
}

void texto(char* destino, int largura, const std::string& t, bool a_direita)
{
  std::memset(destino, ' ', largura);
  const int n = std::min<int>(largura, static_cast<int>(t.size()));
  std::memcpy(destino + (a_direita ? largura - n : 0), t.data(), n);
}

// 2D points and one field.
int pontos(const std::string& base, long long n)
{
  const std::uint64_t bytes_shp = 100 + static_cast<std::uint64_t>(n) * 28;
  if (n < 1 || bytes_shp / 2 > 0x7fffffffull) {
    std::fprintf(stderr, "kelvara-gera: número de registos fora do limite do formato\n");
    return 2;
  }
  caixa total;
  auto ponto = [](sorteio& r, double& x, double& y) {
    x = -110000 + 260000 * r.uniforme();
    y = -280000 + 540000 * r.uniforme();
  };
  {
    sorteio r;
    for (long long k = 0; k < n; ++k) {
      double x, y;
      ponto(r, x, y);
      total.min[0] = std::min(total.min[0], x);
      total.max[0] = std::max(total.max[0], x);
      total.min[1] = std::min(total.min[1], y);
      total.max[1] = std::max(total.max[1], y);
    }
    total.min[2] = total.max[2] = total.min[3] = total.max[3] = 0;
  }
  {
    saida shp(base + ".shp"), shx(base + ".shx");
    auto cab = [&](saida& s, std::uint64_t bytes) {
      s.grande(9994);
      for (int i = 0; i < 5; ++i) s.grande(0);
      s.grande(static_cast<std::uint32_t>(bytes / 2));
      s.pequeno(1000);
      s.pequeno(1);  // Point
      for (double v : {total.min[0], total.min[1], total.max[0], total.max[1], 0.0, 0.0, 0.0, 0.0})
        s.real(v);
    };
    cab(shp, bytes_shp);
    cab(shx, 100 + 8ull * n);
    sorteio r;
    for (long long k = 0; k < n; ++k) {
      double x, y;
      ponto(r, x, y);
      shx.grande(static_cast<std::uint32_t>((100 + 28 * k) / 2));
      shx.grande(10);
      shp.grande(static_cast<std::uint32_t>(k + 1));
      shp.grande(10);
      shp.pequeno(1);
      shp.real(x);
      shp.real(y);
    }
  }
  saida dbf(base + ".dbf");
  unsigned char cab[32] = {};
  cab[0] = 0x03;
  cab[1] = 124;
  cab[2] = 1;
  cab[3] = 1;
  for (int i = 0; i < 4; ++i) cab[4 + i] = static_cast<unsigned char>(n >> (8 * i));
  cab[8] = 32 + 32 + 1;
  cab[10] = 11;
  cab[29] = 0x57;
  dbf.bytes(cab, 32);
  unsigned char d[32] = {};
  std::memcpy(d, "ID", 2);
  d[11] = 'N';
  d[16] = 10;
  dbf.bytes(d, 32);
  const unsigned char fim_campos = 0x0d;
  dbf.bytes(&fim_campos, 1);
  char registo[11];
  for (long long k = 0; k < n; ++k) {
    registo[0] = ' ';
    texto(registo + 1, 10, std::to_string(k + 1), true);
    dbf.bytes(registo, 11);
  }
  const unsigned char fim = 0x1a;
  dbf.bytes(&fim, 1);
  return 0;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc == 4 && std::string(argv[1]) == "--pontos") return pontos(argv[2], std::atoll(argv[3]));
  if (argc != 3) {
    std::fprintf(stderr, "Utilização: kelvara-gera [--pontos] BASE REGISTOS\n");
    return 2;
  }
  const std::string base = argv[1];
  const long long n = std::atoll(argv[2]);
  const std::uint64_t bytes_shp = 100 + static_cast<std::uint64_t>(n) * (8 + conteudo);
  if (n < 1 || bytes_shp / 2 > 0x7fffffffull) {
    std::fprintf(stderr, "kelvara-gera: número de registos fora do limite do formato\n");
    return 2;
  }

  // The file's box goes in both headers before the records; a first pass
  // over the same sequence finds it.
  caixa total;
  {
    sorteio r;
    for (long long k = 0; k < n; ++k) total.junta(caixa_de(faz_linha(r)));
  }

  {
    saida shp(base + ".shp"), shx(base + ".shx");
    cabecalho(shp, bytes_shp, total);
    cabecalho(shx, 100 + 8ull * n, total);
    sorteio r;
    std::uint64_t desloc = 100;
    for (long long k = 0; k < n; ++k) {
      const linha l = faz_linha(r);
      const caixa c = caixa_de(l);
      shx.grande(static_cast<std::uint32_t>(desloc / 2));
      shx.grande(conteudo / 2);
      desloc += 8 + conteudo;
      shp.grande(static_cast<std::uint32_t>(k + 1));
      shp.grande(conteudo / 2);
      shp.pequeno(13);
      shp.real(c.min[0]);
      shp.real(c.min[1]);
      shp.real(c.max[0]);
      shp.real(c.max[1]);
      shp.pequeno(1);
      shp.pequeno(vertices);
      shp.pequeno(0);
      for (int v = 0; v < vertices; ++v) {
        shp.real(l.x[v]);
        shp.real(l.y[v]);
      }
      shp.real(c.min[2]);
      shp.real(c.max[2]);
      for (int v = 0; v < vertices; ++v) shp.real(l.z[v]);
      shp.real(c.min[3]);
      shp.real(c.max[3]);
      for (int v = 0; v < vertices; ++v) shp.real(l.m[v]);
    }
  }

  saida dbf(base + ".dbf");
  unsigned char cab[32] = {};
  cab[0] = 0x03;
  cab[1] = 124;  // 2024-01-01
  cab[2] = 1;
  cab[3] = 1;
  for (int i = 0; i < 4; ++i) cab[4 + i] = static_cast<unsigned char>(n >> (8 * i));
  const int bytes_cabecalho = 32 + 32 * 3 + 1;
  cab[8] = bytes_cabecalho & 0xff;
  cab[9] = bytes_cabecalho >> 8;
  cab[10] = largura_dbf;
  cab[29] = 0x57;  // ANSI
  dbf.bytes(cab, 32);
  struct {
    const char* nome;
    char tipo;
    int largura, decimais;
  } const campos[3] = {{"ID", 'N', 10, 0}, {"NOME", 'C', 40, 0}, {"COMPR", 'N', 19, 3}};
  for (const auto& c : campos) {
    unsigned char d[32] = {};
    std::memcpy(d, c.nome, std::strlen(c.nome));
    d[11] = static_cast<unsigned char>(c.tipo);
    d[16] = static_cast<unsigned char>(c.largura);
    d[17] = static_cast<unsigned char>(c.decimais);
    dbf.bytes(d, 32);
  }
  const unsigned char fim_campos = 0x0d;
  dbf.bytes(&fim_campos, 1);
  sorteio r;
  char registo[largura_dbf];
  char numero[32];
  for (long long k = 0; k < n; ++k) {
    const linha l = faz_linha(r);
    registo[0] = ' ';
    texto(registo + 1, 10, std::to_string(k + 1), true);
    texto(registo + 11, 40, "Linha de agua n. " + std::to_string(k + 1), false);
    std::snprintf(numero, sizeof numero, "%.3f", l.m[vertices - 1]);
    texto(registo + 51, 19, numero, true);
    dbf.bytes(registo, largura_dbf);
  }
  const unsigned char fim = 0x1a;
  dbf.bytes(&fim, 1);
  return 0;
}
