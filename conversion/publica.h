// The files of one run, and putting the result in place of the output.
//
// Every file a run writes lies in the output's folder under a short hidden
// name of its own: ".kelvaraN" (a lock the run holds while it lives, with
// its process number in it), ".kelvaraN.shp", ".shx", ".dbf", and ".cpg",
// ".prj", ".dbt" or ".fpt" where the run writes them (the new output), ".kelvaraNi.shp",
// ".shx", ".dbf" and ".kelvaraNj.*" (the intermediates of a route of
// several steps, each step reading the one the step before wrote) and
// ".kelvaraNv.*" (the older output, moved aside while the new one moves
// in). N is the first number whose names are all free; each name is created
// empty and exclusively, so that two runs never share a file and no link is
// ever followed. The input's folder is never written.
//
// Publication is all-or-nothing and one run at a time per folder: the older
// output's files are moved aside, the new ones moved in, and the older ones
// removed only when all are in place; if a step fails, what was moved is
// moved back.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ficheiros.h"

namespace kelvara {

// The output's .shp that exists already, at `fich3a` or with its extension
// in other letters (OUT.SHP for OUT.shp); empty when there is none.
std::string shp_existente(const std::string& fich3a);

// While another run publishes in the output's folder: called every 50 ms
// or sooner, first with `primeira` true; false stops the wait.
using espera = std::function<bool(bool primeira)>;

// What the clean-up of a folder did: files removed, and the outputs whose
// replacement a killed run had cut short, put back as they were or
// finished.
struct restos {
  int apagados = 0;
  std::vector<std::string> repostos, concluidos;
};

// A batch's run locks, each kept from the end of one run for the next
// run into the same folder, and removed when the batch ends: a lock file
// created and removed for each of a thousand small files costs about as
// much as one of their own files, and more on a file system that passes
// over the places of files removed a moment ago (ext4 without a journal).
// A kept lock is held all the while, with no plan in it.
class trincos_lote {
 public:
  trincos_lote() = default;
  trincos_lote(const trincos_lote&) = delete;
  trincos_lote& operator=(const trincos_lote&) = delete;
  ~trincos_lote();
  void guarda(const std::string& pasta, std::string nome, es::trinco t);
  // A kept lock of `pasta`: its name and the lock; false when none is kept.
  bool tira(const std::string& pasta, std::string& nome, es::trinco& t);

 private:
  struct guardado {
    std::string pasta, nome;
    es::trinco t;
  };
  std::mutex m_;
  std::vector<guardado> v_;
};

class publicacao {
 public:
  // `fich3a`: the output's .shp path as derived; `lote`: the batch's kept
  // locks, where the run takes its lock and leaves it.
  explicit publicacao(std::string fich3a, trincos_lote* lote = nullptr);
  ~publicacao() { abandona(); }
  publicacao(const publicacao&) = delete;
  publicacao& operator=(const publicacao&) = delete;

  // Removes what runs that no longer live left in the output's folder (a
  // live run's files are never touched). A run killed while publishing is
  // finished where all its new files were in place, and undone otherwise,
  // by the plan in its lock file. Throws interrompida when `esperar` stops
  // the wait for the folder.
  restos limpa_restos(const espera& esperar);

  // Reserves this run's names: the .shp, .shx and .dbf, the .cpg and the
  // .prj where `com_cpg` and `com_prj` say the run writes them, the table's
  // memo file where `memo` names its extension (".dbt" or ".fpt"), and
  // those of `intermedios` intermediates (0, 1 or 2: two are enough for any
  // number of steps, taken in turn). Throws falha when the output's folder
  // cannot be written.
  void reserva(int intermedios, bool com_cpg, bool com_prj, std::string_view memo = {});
  const std::string& shp() const { return nomes_[0]; }
  const std::string& cpg() const { return nomes_[3]; }
  const std::string& prj() const { return nomes_[4]; }
  const std::string& memo() const { return nomes_[5].empty() ? nomes_[6] : nomes_[5]; }
  // The .shp of intermediate `i` (0 or 1).
  const std::string& intermedio(int i) const { return intermedios_[i]; }
  const std::string& pasta() const { return pasta_; }

  // Writes the plan of its renames into the lock file, puts the new files
  // and the folder on disk, then moves the new .shp, .shx and .dbf in place
  // of the output, with the .cpg
  // the .prj and the memo file where they were reserved. Every file of the older output
  // goes, which would describe it and not the new one: .shp, .shx, .dbf,
  // .cpg, .prj, its spatial indexes (.sbn, .sbx, .qix), .qpj, .shp.xml,
  // .qmd and the memo files .dbt and .fpt, the extension in any letter
  // case. Throws falha, with the older output whole, when any step fails,
  // and interrompida when `esperar` stops the wait for the folder.
  // `de_uma_vez` (a batch): the new files and their names put on disk by
  // one flush of the file system where the system has it, not one each,
  // before the folder is locked.
  void publica(const espera& esperar, bool de_uma_vez = false);
  // The file system refused to put the folder's names on disk (EINVAL on
  // some network and FUSE file systems): a warning, not a fault.
  bool pasta_por_sincronizar() const { return pasta_por_sincronizar_; }

  // Removes every file this run created and releases its lock; nothing of
  // the output's is touched. Called after a fault, and by the destructor.
  void abandona() noexcept;

 private:
  std::string fich3a_, base_, pasta_;
  std::string trinco_nome_;
  es::trinco trinco_;
  std::vector<std::string> nomes_;  // .shp .shx .dbf .cpg .prj .dbt .fpt of the new output ("": none)
  std::string intermedios_[2];      // .shp of the intermediates
  std::vector<std::string> criados_;
  bool pasta_por_sincronizar_ = false;

  trincos_lote* lote_;

  bool tranca_pasta(es::trinco& vez, const espera& esperar) const;
  // The reserved names under `raiz`, whose lock this run holds: false,
  // with the lock and whatever was created removed, when one is taken.
  bool toma(const std::string& raiz, int intermedios, const bool* escreve);
  void abandona_e_larga(bool guardar) noexcept;
};

}  // namespace kelvara
