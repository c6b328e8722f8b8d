#include "form2.h"

#include <QPointer>
#include <QShortcut>

#include "aparencia.h"

namespace kelvara {

Form2::Form2() : QWidget(nullptr)
{
  setWindowTitle("Ostrel - Valdrena");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(twips(this, largura_cliente), twips(this, altura_cliente));

  List1 = new QListWidget(this);
  List1->setGeometry(twips(this, 120), twips(this, 120), twips(this, 8715), twips(this, 2940));
  List1->setFont(fonte{"Arial", 9.75, true}.qt());
  List1->setSelectionMode(QAbstractItemView::SingleSelection);
  List1->setSortingEnabled(false);
  pinta(List1, QPalette::ToolTipBase, QColor(0, 0, 128));
  Form_Load();
  centra(this);
  auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(esc, &QShortcut::activated, this, &QWidget::close);
}

Form2* Form2::mostra()
{
  static QPointer<Form2> aberta;
  if (!aberta) aberta = new Form2();  // deletes itself on closing
  aberta->show();
  aberta->setWindowState(aberta->windowState() & ~Qt::WindowMinimized);
  aberta->raise();
  aberta->activateWindow();
  return aberta;
}

void Form2::Form_Load()
{
  const char* const linhas[] = {
      "                     -----  Mudança de Sistema de Referência em ficheiros SHAPEFILE  -----",
      "",
      "As mudanças entre os sistemas de referência são realizadas através de transformações",
      "polinomiais do 2º grau, à excepção das conversões que envolvem o sistema",
      "Hayford-Gauss Datum Lisboa, que são relizadas recorrendo a uma grelha regular",
      "de pontos previamente transformados.",
      "",
      "As transformações presentes na aplicação utilizam os parâmetros oficiais.",
      "Estes parâmetros podem ser consultados em https://www.dgterritorio.gov.pt.",
      "",
      "",
      "",
  };
  for (const char* l : linhas) List1->addItem(QString::fromUtf8(l));
}

}  // namespace kelvara
