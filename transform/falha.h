// The fault that every layer of kelvara throws: a message in Portuguese, fit
// to show the user as it stands, naming the file and the cause. The
// conversion command catches it once and shows it.
#pragma once

#include <stdexcept>
#include <string>

namespace kelvara {

class falha : public std::runtime_error {
 public:
  explicit falha(const std::string& mensagem) : std::runtime_error(mensagem) {}
};

// A file name as it appears inside a message.
inline std::string entre_aspas(const std::string& nome) { return "\"" + nome + "\""; }

}  // namespace kelvara
