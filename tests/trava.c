/* Preloaded into kelvara-cli by the tests (LD_PRELOAD), to stop it or make
 * it fail at a chosen point, so that races and faults happen where a test
 * wants them:
 *
 *   KELVARA_PARA_EM=rename:N   the process stops itself (SIGSTOP) before its
 *   KELVARA_PARA_EM=pwrite:N   N-th rename or pwrite, and goes on when it is
 *                              continued (SIGCONT);
 *   KELVARA_PARA_EM=fsync:N    (fsync likewise);
 *   KELVARA_FALHA_EM=rename:N  its N-th rename fails with EIO;
 *   KELVARA_DEMORA_EM=rename:N its N-th rename waits 300 ms first (the
 *                              other threads go on);
 *   KELVARA_PASTA_EINVAL=1     fsync of a folder fails with EINVAL (as on
 *                              some network and FUSE file systems);
 *   KELVARA_REGISTO=FICHEIRO   each rename and fsync is written to FICHEIRO,
 *                              a line each ("rename A B", "fsync A"), in the
 *                              order they happen.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static int conta(const char* chamada, const char* variavel)
{
  const char* v = getenv(variavel);
  size_t n = strlen(chamada);
  if (!v || strncmp(v, chamada, n) != 0 || v[n] != ':') return 0;
  return atoi(v + n + 1);
}

/* True when this call is the one the environment names. */
static int esta(const char* chamada, const char* variavel, int* vistas)
{
  const int alvo = conta(chamada, variavel);
  return alvo > 0 && __atomic_add_fetch(vistas, 1, __ATOMIC_SEQ_CST) == alvo;
}

static void regista(const char* o, const char* a, const char* b)
{
  const char* f = getenv("KELVARA_REGISTO");
  if (!f) return;
  FILE* r = fopen(f, "a");
  if (!r) return;
  fprintf(r, "%s %s%s%s\n", o, a, b ? " " : "", b ? b : "");
  fclose(r);
}

int rename(const char* de, const char* para)
{
  static int paradas, falhadas, demoradas;
  static int (*real)(const char*, const char*);
  if (!real) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  if (esta("rename", "KELVARA_PARA_EM", &paradas)) raise(SIGSTOP);
  if (esta("rename", "KELVARA_DEMORA_EM", &demoradas)) usleep(300000);
  if (esta("rename", "KELVARA_FALHA_EM", &falhadas)) {
    errno = EIO;
    return -1;
  }
  const int r = real(de, para);
  if (r == 0) regista("rename", de, para);
  return r;
}

int fsync(int fd)
{
  static int paradas;
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  if (esta("fsync", "KELVARA_PARA_EM", &paradas)) raise(SIGSTOP);
  struct stat e;
  if (getenv("KELVARA_PASTA_EINVAL") && fstat(fd, &e) == 0 && S_ISDIR(e.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  char ligacao[64], nome[4096];
  snprintf(ligacao, sizeof ligacao, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(ligacao, nome, sizeof nome - 1);
  nome[n > 0 ? n : 0] = 0;
  const int r = real(fd);
  if (r == 0) regista("fsync", nome, NULL);
  return r;
}

static ssize_t escreve(const char* nome, int fd, const void* p, size_t n, off_t onde)
{
  static int paradas;
  static ssize_t (*real)(int, const void*, size_t, off_t);
  if (!real) real = (ssize_t(*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, nome);
  if (esta("pwrite", "KELVARA_PARA_EM", &paradas)) raise(SIGSTOP);
  return real(fd, p, n, onde);
}

ssize_t pwrite(int fd, const void* p, size_t n, off_t onde) { return escreve("pwrite", fd, p, n, onde); }
ssize_t pwrite64(int fd, const void* p, size_t n, off_t onde) { return escreve("pwrite64", fd, p, n, onde); }
