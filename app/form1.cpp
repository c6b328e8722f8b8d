#include "form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QTimer>

#include <array>
#include <memory>
#include <mutex>
#include <thread>

#include "aparencia.h"
#include "qt_texto.h"
#include "falha.h"
#include "lote.h"
#include "paragem.h"
#include "rotas.h"

namespace kelvara {


Form1::Form1(const std::string& pasta_grelhas) : QWidget(nullptr), pasta_grelhas_(pasta_grelhas)
{
  setWindowTitle("Ostrel - Valdrena");
  // A title bar with the system menu, minimise and close: no maximise.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  const QColor laranja(192, 64, 0);
  auto etiqueta = [&](const char* texto, const fonte& f) {
    auto* l = new QLabel(QString::fromUtf8(texto), this);
    l->setFont(f.qt());
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
  };
  auto botao = [&](const char* texto, const fonte& f) {
    auto* b = new QPushButton(QString::fromUtf8(texto), this);
    b->setFont(f.qt());
    b->setAutoDefault(false);  // Enter presses no button
    b->setDefault(false);
    return b;
  };
  auto caixa = [&](const fonte& f) {
    auto* t = new QLineEdit(this);
    t->setFont(f.qt());
    pinta_3d(t, laranja);
    return t;
  };
  auto lista = [&]() {
    auto* c = new QComboBox(this);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);  // typed text never joins the list
    c->setFont(fonte{"MS Sans Serif", 8.25, true}.qt());
    pinta_3d(c, laranja);
    return c;
  };
  const fonte ms_975{"MS Sans Serif", 9.75, true}, ms_825{"MS Sans Serif", 8.25, true},
      arial_9{"Arial", 9, true}, arial_825b{"Arial", 8.25, true}, arial_825{"Arial", 8.25, false};

  Label3 = etiqueta("Mudança de Sistema de Referência em ficheiros SHAPEFILE",
                    fonte{"Microsoft Sans Serif", 12.75, true});
  {
    QPalette p = Label3->palette();
    p.setColor(QPalette::WindowText, laranja);
    Label3->setPalette(p);
  }
  Label1 = etiqueta("Sistema 1", ms_975);
  Label2 = etiqueta("Sistema 2", ms_975);
  Combo1 = lista();
  Combo2 = lista();
  Check1 = new QCheckBox(QString::fromUtf8("Usar as grelhas NTv2 da DGT (mais exactas)"), this);
  Check1->setFont(ms_825.qt());
  Check1->setToolTip(QString::fromUtf8(
      "Converte pelas grelhas NTv2 da DGT, as que a DGT recomenda, em vez dos polinómios "
      "oficiais (no continente, diferem até 0,5 m).\nGrelhas: (c)2019 Directorate-General for "
      "the Territorial Development, CC-BY-4.0."));
  Check1->setEnabled(false);
  Label4 = etiqueta("Ficheiro SHAPEFILE no Sistema 1   (*.shp)", ms_975);
  Command3 = botao("Procurar...", ms_825);
  Text1 = caixa(arial_9);
  Label5 = etiqueta("Ficheiro SHAPEFILE no Sistema 2   (*.shp)", ms_975);
  Command4 = botao("Procurar...", ms_825);
  Text2 = caixa(arial_9);
  Label6 = etiqueta("Ficheiro de Parâmetros - X", arial_9);
  Command6 = botao("Procurar...", arial_825b);
  Text3 = caixa(arial_825);
  Label7 = etiqueta("Ficheiro de Parâmetros - Y", arial_9);
  Command7 = botao("Procurar...", arial_825b);
  Text4 = caixa(arial_825);
  Command1 = botao("OK", ms_825);
  Command2 = botao("Cancelar", ms_825);
  // The information window, from the free top-right corner (and F1).
  Command5 = botao("?", ms_825);
  Command5->setToolTip(QString::fromUtf8("Informação sobre as transformações (F1)"));

  poe(Label3, 840, 360, 8175, 735);
  poe(Label1, 480, 1200, 1695, 255);
  poe(Label2, 4800, 1200, 1695, 255);
  poe(Combo1, 480, 1560, 4095, 315);
  poe(Combo2, 4800, 1560, 4095, 315);
  poe(Check1, 480, 1920, 6000, 300);
  poe(Label4, 480, 2280, 4695, 255);
  poe(Command3, 7320, 2610, 1575, 400);
  poe(Text1, 480, 2640, 6735, 350);
  poe(Label5, 480, 3360, 4455, 255);
  poe(Command4, 7320, 3690, 1575, 400);
  poe(Text2, 480, 3720, 6735, 350);
  poe(Label6, 480, 4200, 2775, 255);
  poe(Command6, 7320, 4410, 1215, 350);
  poe(Text3, 480, 4440, 6735, 285);
  poe(Label7, 480, 4800, 2775, 255);
  poe(Command7, 7320, 5010, 1215, 350);
  poe(Text4, 480, 5040, 6735, 285);
  poe(Command5, 8775, 60, 360, 270);

  // Keyboard order; labels take no focus.
  QWidget* ordem[] = {Combo1, Combo2, Check1, Text1, Text2, Command1, Command2, Command3,
                      Command4, Command6, Text3, Text4, Command7, Command5};
  for (size_t i = 0; i + 1 < std::size(ordem); ++i) setTabOrder(ordem[i], ordem[i + 1]);

  for (QWidget* w : parametros()) w->hide();  // hidden from creation

  caixa_mensagem = [this](const QString& texto, const QString& titulo) {
    QMessageBox caixa(QMessageBox::NoIcon, titulo, texto, QMessageBox::Ok, this);
    caixa.button(QMessageBox::Ok)->setIcon(QIcon());  // some styles draw one on the button
    caixa.exec();
  };
  caixa_pergunta = [this](const QString& texto, const QString& titulo) {
    std::unique_ptr<QMessageBox> caixa(cria_pergunta(this, texto, titulo));
    caixa->exec();
    return caixa->clickedButton() == caixa->button(QMessageBox::Yes);
  };
  dialogo_ficheiro = [this](const QString& inicial, bool novo,
                            bool shapefile) -> std::optional<QString> {
    std::unique_ptr<QFileDialog> d(cria_dialogo(this, inicial, novo, shapefile));
    if (d->exec() != QDialog::Accepted || d->selectedFiles().isEmpty()) return std::nullopt;
    const QStringList f = d->selectedFiles();
    return f.size() == 1 ? f.first() : entre_aspas(f);
  };
  dialogo_pasta = [this](const QString& inicial) -> std::optional<QString> {
    std::unique_ptr<QFileDialog> d(cria_dialogo_pasta(this, inicial));
    if (d->exec() != QDialog::Accepted || d->selectedFiles().isEmpty()) return std::nullopt;
    return d->selectedFiles().first();
  };

  connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });
  connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
  for (QComboBox* c : {Combo1, Combo2})
    connect(c, &QComboBox::currentTextChanged, this, [this] { Check1_Estado(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] {
    if (abre_informacao) abre_informacao();
  });
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(f1, &QShortcut::activated, this, [this] {
    if (abre_informacao) abre_informacao();
  });

  Form_Load();
}

int Form1::twips(int t) const { return kelvara::twips(this, t); }

void Form1::poe(QWidget* w, int esquerda, int topo, int largura, int altura)
{
  w->setGeometry(twips(esquerda), twips(topo), twips(largura), twips(altura));
}

void Form1::Form_Load()
{
  for (const sistema* s : fontes()) Combo1->addItem(texto_qt(s->nome));
  Combo1->setCurrentIndex(-1);
  Combo1->setEditText(QString());
  disposicao(false);
  centra(this);
}

// The parameter-file rows, in the order the layouts hide or show them.
std::array<QWidget*, 6> Form1::parametros() const
{
  return {Label6, Text3, Command6, Label7, Text4, Command7};
}

// The window's outer height and the buttons' Top for a layout; the
// parameter-file rows appear only in the extended one.
void Form1::disposicao(bool alargada)
{
  alargada_ = alargada;
  altura_ = alargada ? altura_alargada : altura_compacta;
  const int topo = alargada ? topo_alargado : topo_compacto;
  setFixedSize(twips(largura_cliente), twips(altura_) - moldura(this));
  poe(Command1, 1440, topo, 1575, 495);
  poe(Command2, 5040, topo, 1575, 495);
  for (QWidget* w : parametros()) w->setVisible(alargada);
}

// Selection rules: picking a source offers the targets that the route
// catalogue lists for the window, preselects the only one, and shows the
// parameter-file rows for a source that needs them.
void Form1::Combo1_Click()
{
  const std::string nome = utf8(Combo1->currentText());
  const std::vector<const rota*> todos = destinos_de(nome);
  if (todos.empty()) return;
  std::vector<const rota*> destinos;
  for (const rota* r : todos)
    if (r->na_janela) destinos.push_back(r);
  Combo2->clear();
  Combo2->setEditText(QString());
  for (const rota* r : destinos) Combo2->addItem(texto_qt(r->sistema2->nome));
  if (destinos.size() == 1) Combo2->setCurrentText(texto_qt(destinos[0]->sistema2->nome));
  else Combo2->setCurrentIndex(-1);
  disposicao(todos.front()->sistema1->parametros);
}

void Form1::Command2_Click() { close(); }

void Form1::Check1_Estado()
{
  auto continente = [](const QComboBox* c) {
    const sistema* s = sistema_de(nome_do_sistema(utf8(c->currentText())));
    return s && s->datum != datum::outro;
  };
  Check1->setEnabled(continente(Combo1) && continente(Combo2));
}

// Several inputs: the input's label counts them, and the output's says
// that it names a folder; the list is the input box's tooltip.
void Form1::Text1_Change()
{
  const QStringList nomes = nomes_de(Text1->text());
  const bool varios = nomes.size() > 1;
  Label4->setText(varios ? QString::fromUtf8("%1 ficheiros SHAPEFILE no Sistema 1").arg(nomes.size())
                         : QString::fromUtf8("Ficheiro SHAPEFILE no Sistema 1   (*.shp)"));
  Label5->setText(varios ? QString::fromUtf8("Pasta de saída no Sistema 2")
                         : QString::fromUtf8("Ficheiro SHAPEFILE no Sistema 2   (*.shp)"));
  Text1->setToolTip(varios ? nomes.join('\n') : QString());
}

QFileDialog* Form1::cria_dialogo(QWidget* pai, const QString& inicial, bool novo, bool shapefile)
{
  auto* d = new QFileDialog(pai);
  QStringList filtros{QString::fromUtf8("Todos os ficheiros (*)")};
  if (shapefile) {
    filtros.prepend("Shapefile (*.shp)");
    d->setDefaultSuffix("shp");
  }
  d->setNameFilters(filtros);
  if (novo) {
    // A new output: a save dialog in the input's folder, no name yet. OK
    // asks before an existing output is replaced.
    d->setAcceptMode(QFileDialog::AcceptSave);
    d->setFileMode(QFileDialog::AnyFile);
    d->setOption(QFileDialog::DontConfirmOverwrite);
    if (!inicial.isEmpty()) d->setDirectory(inicial);
  } else {
    d->setAcceptMode(QFileDialog::AcceptOpen);
    // The input shapefile: one or several.
    d->setFileMode(shapefile ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (!inicial.isEmpty()) d->selectFile(inicial);
  }
  return d;
}

QFileDialog* Form1::cria_dialogo_pasta(QWidget* pai, const QString& inicial)
{
  auto* d = new QFileDialog(pai, QString::fromUtf8("Pasta de saída dos ficheiros convertidos"), inicial);
  d->setFileMode(QFileDialog::Directory);
  d->setOption(QFileDialog::ShowDirsOnly);
  return d;
}

QMessageBox* Form1::cria_pergunta(QWidget* pai, const QString& texto, const QString& titulo)
{
  auto* caixa = new QMessageBox(QMessageBox::NoIcon, titulo, texto,
                                QMessageBox::Yes | QMessageBox::No, pai);
  caixa->setDefaultButton(QMessageBox::No);
  caixa->setEscapeButton(QMessageBox::No);
  return caixa;
}

void Form1::procura(QLineEdit* caixa, bool novo, bool shapefile)
{
  // The output starts in the input's folder; the others on the name last
  // chosen.
  QString inicial = ultimo_ficheiro_;
  if (novo) {
    const QString entrada = nomes_de(Text1->text()).value(0);
    inicial = entrada.isEmpty() ? QString() : QFileInfo(entrada).absolutePath();
  }
  // Cancelling leaves the box as it was: the user's typing is never lost.
  const std::optional<QString> escolhido = dialogo_ficheiro(inicial, novo, shapefile);
  if (!escolhido) return;
  ultimo_ficheiro_ = nomes_de(*escolhido).value(0);
  // As the system writes paths (C:\dados\rios.shp on Windows).
  const QStringList nomes = nomes_de(*escolhido);
  QStringList nativos;
  for (const QString& n : nomes) nativos << QDir::toNativeSeparators(n);
  caixa->setText(nomes.size() > 1 ? entre_aspas(nativos) : nativos.value(0));
  caixa->setCursorPosition(0);  // a list shows from its first name
}

// With several inputs the output is a folder.
void Form1::Command4_Click()
{
  const QStringList entradas = nomes_de(Text1->text());
  if (entradas.size() < 2) {
    procura(Text2, true, true);
    return;
  }
  if (const std::optional<QString> p = dialogo_pasta(QFileInfo(entradas.first()).absolutePath()))
    Text2->setText(QDir::toNativeSeparators(*p));
}

// A box while a conversion runs: the arrow pointer, and no progress dialog
// behind the box, where it would look alive while the run waits for the
// answer.
void Form1::com_caixa(const std::function<void()>& caixa)
{
  const bool estava = ocupado_;
  if (estava) QApplication::restoreOverrideCursor();  // a box wants the arrow
  ++caixas_;
  const bool via = progresso_ && progresso_->isVisible();
  if (via) progresso_->hide();
  caixa();
  --caixas_;
  if (via && progresso_ && caixas_ == 0) progresso_->show();
  if (estava) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void Form1::mensagem(const std::string& texto, const std::string& titulo)
{
  com_caixa([&] { caixa_mensagem(QString::fromStdString(texto), QString::fromStdString(titulo)); });
}

bool Form1::pergunta(const std::string& texto, const std::string& titulo)
{
  bool sim = false;
  com_caixa([&] { sim = caixa_pergunta(QString::fromStdString(texto), QString::fromStdString(titulo)); });
  return sim;
}

void Form1::ocupado(bool sim)
{
  if (sim == ocupado_) return;
  ocupado_ = sim;
  if (sim) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void Form1::fecha() { close(); }

void Form1::showEvent(QShowEvent* e)
{
  QWidget::showEvent(e);
  if (mostrada_) return;
  // Now that the window has its real frame, fit the outer height to it.
  mostrada_ = true;
  disposicao(alargada_);
  centra(this);
}

void Form1::closeEvent(QCloseEvent* e)
{
  // While a conversion runs the window takes no input, its close box none.
  if (a_correr_) {
    e->ignore();
    return;
  }
  // Closing the main window ends the program, whatever other window is open.
  ocupado(false);
  e->accept();
  QApplication::closeAllWindows();
  QCoreApplication::quit();
}

}  // namespace kelvara
