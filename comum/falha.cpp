#include "falha.h"

namespace kelvara {

std::string excerto(std::string_view campo, std::size_t maximo)
{
  if (campo.size() <= maximo) return entre_aspas(std::string(campo));
  std::size_t n = maximo;
  while (n > 0 && (static_cast<unsigned char>(campo[n]) & 0xC0) == 0x80) --n;
  return entre_aspas(std::string(campo.substr(0, n)) + "...");
}

namespace {

class categoria_kelvara : public std::error_category {
 public:
  const char* name() const noexcept override { return "kelvara"; }
  std::string message(int) const override { return "o ficheiro está aberto noutro programa"; }
};

}  // namespace

std::error_code aberto_noutro_programa()
{
  static const categoria_kelvara c;
  return std::error_code(1, c);
}

std::string descreve(const std::error_code& causa)
{
  using std::errc;
  if (causa == aberto_noutro_programa()) return causa.message();
  if (causa == errc::no_such_file_or_directory) return "o ficheiro ou a pasta não existe";
  if (causa == errc::permission_denied || causa == errc::operation_not_permitted)
    return "não há permissão para o fazer";
  if (causa == errc::no_space_on_device) return "o disco está cheio";
  if (causa == errc::read_only_file_system) return "o disco só permite leitura";
  if (causa == errc::file_too_large) return "o ficheiro excede o tamanho permitido";
  if (causa == errc::is_a_directory) return "o nome é de uma pasta, não de um ficheiro";
  if (causa == errc::not_a_directory) return "uma parte do caminho não é uma pasta";
  if (causa == errc::device_or_resource_busy || causa == errc::text_file_busy)
    return "o ficheiro está em uso";
  if (causa == errc::io_error) return "erro de leitura ou escrita no disco";
  if (causa == errc::too_many_files_open) return "há demasiados ficheiros abertos";
  if (causa == errc::filename_too_long) return "o nome é demasiado longo";
  if (causa == errc::not_enough_memory) return "não há memória suficiente";
  if (causa == errc::file_exists) return "já existe um ficheiro com esse nome";
  return "erro do sistema (" + causa.message() + ")";
}

}  // namespace kelvara
