// Reserving the output's names and putting the result in their place.
//
// Before any work, hidden names beside the output are reserved for the new
// .shp, .shx, .dbf and .cpg (base + ".kelvaraN" + extension, the first N
// whose four names are free), each created empty: the output folder is
// proved writable, and nothing else can take the names meanwhile. The new
// files are written under them, and renamed onto the output's names only
// when complete, so that an older output is never half-replaced.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kelvara {

class publicacao {
 public:
  // `fich3a`: the output's .shp path as derived.
  explicit publicacao(std::string fich3a);

  // Hidden names beside this output that an interrupted run reserved.
  std::vector<std::string> restos() const;

  // Reserves the four hidden names; each created file is added to
  // `criados` as soon as it exists. Throws falha.
  void reserva(std::vector<std::string>& criados);
  const std::string& shp() const { return reservados_[0]; }
  const std::string& shx() const { return reservados_[1]; }
  const std::string& dbf() const { return reservados_[2]; }

  // Renames the complete new files onto the output's names. The code page
  // (.cpg) follows the shapefile `fich1a`: where it has none, a .cpg left
  // from an earlier output would mislabel the new table and is removed.
  // Throws falha.
  void publica(const std::string& fich1a);

 private:
  std::string fich3a_, base_;
  std::array<std::string, 4> reservados_;
};

}  // namespace kelvara
