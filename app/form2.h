// The information window, Form2: a short fixed text on how the conversions
// work. Modeless and without an owner; closing it leaves the main window be.
#pragma once

#include <QListWidget>
#include <QWidget>

namespace kelvara {

class Form2 : public QWidget {
 public:
  Form2();
  static constexpr int largura_cliente = 8925, altura_cliente = 3195;  // twips
  QListWidget* List1;

 private:
  void Form_Load();
};

}  // namespace kelvara
