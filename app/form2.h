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
  // is only ever one. Returns it. Opened from the main window `junto`, it
  // goes beside it (right, left, below or above, where the screen has
  // room), never over its buttons, whose "OK" would start a conversion.
  static Form2* mostra(const QWidget* junto = nullptr, const QList<QWidget*>& botoes = {});
  static constexpr int largura_cliente = 8925, altura_cliente = 3195;  // twips
  QListWidget* List1;

 private:
  void Form_Load();
};

}  // namespace kelvara
