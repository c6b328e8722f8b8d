// The information window, Form2: a short fixed text on how the conversions
// work. Modeless and without an owner; closing it (or Escape) leaves the
// main window be.
#pragma once

#include <QListWidget>
#include <QWidget>

namespace kelvara {

class Form2 : public QWidget {
 public:
  Form2();
  // Opens the window, or brings the one already open to the front: there
  // is only ever one. Returns it.
  static Form2* mostra();
  static constexpr int largura_cliente = 8925, altura_cliente = 3195;  // twips
  QListWidget* List1;

 private:
  void Form_Load();
};

}  // namespace kelvara
