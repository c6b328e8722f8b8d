// The fault that every layer of kelvara throws: a message in Portuguese, fit
// to show the user as it stands, naming the file and the cause. The
// conversion catches it once, at the top, and hands it on in its result.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace kelvara {

class falha : public std::runtime_error {
 public:
  explicit falha(const std::string& mensagem) : std::runtime_error(mensagem) {}
};

// A refusal: nothing failed, but the request is not carried out as it
// stands (a name that cannot be a shapefile's, an output that is the input,
// an input that does not look like the source system chosen).
class recusa : public falha {
 public:
  using falha::falha;
};

// A file name as it appears inside a message.
inline std::string entre_aspas(const std::string& nome) { return "\"" + nome + "\""; }

// A piece of a file quoted in a message: cut at a character boundary after
// `maximo` bytes, with "..." inside the quotes, when a wrong file (a
// shapefile picked by mistake) gives a long run of bytes.
std::string excerto(std::string_view campo, std::size_t maximo);

// A cause that the system's error numbers do not name: the file is held
// open by another program that shares it with no one (Windows).
std::error_code aberto_noutro_programa();

// A short Portuguese text for the cause of a failed file operation.
std::string descreve(const std::error_code& causa);

}  // namespace kelvara
