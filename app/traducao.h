// Qt's own texts that the windows show (the buttons of the message and
// question boxes, the file dialogs, the text boxes' context menu) in
// European Portuguese. Debian's Qt carries no such translation (only a
// Brazilian one), so the program carries this small one, as a table.
#pragma once

#include <QTranslator>

namespace kelvara {

class traducao_pt : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char* contexto, const char* texto, const char* desambiguacao,
                    int n) const override;
  bool isEmpty() const override { return false; }
};

}  // namespace kelvara
