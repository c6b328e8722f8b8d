#include "ganchos_simples.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "ficheiros.h"
#include "ganchos.h"

namespace kelvara::teste {

namespace {

// What shapelib holds as an SAFile: the stdio stream and the name it was
// opened under, so that a failure can name its file.
struct ficheiro {
  std::FILE* f;
  std::string nome;
};

ficheiro* de(SAFile h) { return reinterpret_cast<ficheiro*>(h); }

SAFile g_abre(const char* nome, const char* modo)
{
  std::FILE* f = es::abre(nome, modo);
  if (!f) return nullptr;
  std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
  return reinterpret_cast<SAFile>(new ficheiro{f, nome});
}

SAOffset g_le(void* p, SAOffset tamanho, SAOffset n, SAFile h)
{
  if (tamanho == 0 || n == 0) return 0;  // shapelib asks for nothing at times
  ficheiro* x = de(h);
  const size_t lidos = std::fread(p, tamanho, n, x->f);
  if (lidos < n && std::ferror(x->f)) es::regista(x->nome, errno);
  return lidos;
}

SAOffset g_escreve(void* p, SAOffset tamanho, SAOffset n, SAFile h)
{
  if (tamanho == 0 || n == 0) return 0;  // a table without fields, for one
  ficheiro* x = de(h);
  const size_t escritos = std::fwrite(p, tamanho, n, x->f);
  if (escritos < n) es::regista(x->nome, errno);
  return escritos;
}

SAOffset g_procura(SAFile h, SAOffset pos, int donde)
{
  ficheiro* x = de(h);
#ifdef _WIN32
  const int r = _fseeki64(x->f, static_cast<long long>(pos), donde);
#else
  const int r = fseeko(x->f, static_cast<off_t>(pos), donde);
#endif
  if (r != 0) es::regista(x->nome, errno);
  return r == 0 ? 0 : static_cast<SAOffset>(-1);
}

SAOffset g_posicao(SAFile h)
{
#ifdef _WIN32
  return static_cast<SAOffset>(_ftelli64(de(h)->f));
#else
  return static_cast<SAOffset>(ftello(de(h)->f));
#endif
}

int g_despeja(SAFile h)
{
  ficheiro* x = de(h);
  const int r = std::fflush(x->f);
  if (r != 0) es::regista(x->nome, errno);
  return r;
}

int g_fecha(SAFile h)
{
  ficheiro* x = de(h);
  const int r = std::fclose(x->f);
  if (r != 0) es::regista(x->nome, errno);
  delete x;
  return r;
}

}  // namespace

const SAHooks& ganchos_simples()
{
  static const SAHooks g = [] {
    SAHooks h = es::ganchos();
    h.FOpen = g_abre;
    h.FRead = g_le;
    h.FWrite = g_escreve;
    h.FSeek = g_procura;
    h.FTell = g_posicao;
    h.FFlush = g_despeja;
    h.FClose = g_fecha;
    return h;
  }();
  return g;
}

}  // namespace kelvara::teste
