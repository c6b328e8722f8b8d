#include "form2.h"

#include <algorithm>

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
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

namespace {

// Where the window of frame size `tamanho` goes beside `junto`: the first
// of right, left, below and above that the screen holds; else above or
// below `botoes` (in global coordinates), over the rest of the window.
QPoint ao_lado(const QWidget& junto, QSize tamanho, const QList<QRect>& botoes)
{
  const QScreen* ecra = junto.screen() ? junto.screen() : QGuiApplication::primaryScreen();
  const QRect area = ecra ? ecra->availableGeometry() : QRect(0, 0, 1024, 768);
  const QRect j = junto.frameGeometry();
  constexpr int folga = 8;
  const QPoint lugares[] = {{j.right() + folga, j.top()},
                            {j.left() - folga - tamanho.width(), j.top()},
                            {j.left(), j.bottom() + folga},
                            {j.left(), j.top() - folga - tamanho.height()}};
  for (const QPoint& p : lugares)
    if (area.contains(QRect(p, tamanho))) return p;
  // A small screen: over the main window, above its buttons or below them.
  int cima = area.bottom(), baixo = area.top();
  for (const QRect& b : botoes) {
    cima = std::min(cima, b.top() - folga - tamanho.height());
    baixo = std::max(baixo, b.bottom() + folga);
  }
  const int esquerda =
      std::clamp(j.left(), area.left(), std::max(area.left(), area.right() + 1 - tamanho.width()));
  if (cima >= area.top()) return {esquerda, cima};
  if (baixo + tamanho.height() <= area.bottom() + 1) return {esquerda, baixo};
  return {esquerda, area.top()};
}

}  // namespace

Form2* Form2::mostra(const QWidget* junto, const QList<QWidget*>& botoes)
{
  static QPointer<Form2> aberta;
  if (!aberta) {
    aberta = new Form2();  // deletes itself on closing
    if (junto) {
      QList<QRect> onde;
      for (const QWidget* b : botoes) onde << QRect(b->mapToGlobal(QPoint(0, 0)), b->size());
      // Not shown yet, it has no frame: the title bar estimated.
      const QSize moldura_total =
          aberta->frameGeometry().size().expandedTo(aberta->size() + QSize(0, moldura(aberta)));
      aberta->move(ao_lado(*junto, moldura_total, onde));
    }
  }
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
