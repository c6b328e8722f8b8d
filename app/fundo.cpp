// The main window's conversions on a worker thread: "OK" with one file or
// several, the progress dialog with "Cancelar", and the window taking no
// input meanwhile.
#include "form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <memory>
#include <mutex>
#include <thread>

#include "falha.h"
#include "lote.h"
#include "paragem.h"
#include "qt_texto.h"
#include "rotas.h"

namespace kelvara {

namespace {

// The window as the conversion sees it from its own thread: messages and
// questions wait for the window's thread, progress and the stop request
// are shared values, and closing waits until the conversion has returned.
class janela_de_fundo : public janela {
 public:
  explicit janela_de_fundo(Form1& f) : f_(f) {}
  bool fechar = false;
  void mensagem(const std::string& texto, const std::string& titulo) override
  {
    // Cancelled by the user: back to the window without a word.
    if (f_.cancelar_ && texto == interrompida().what()) return;
    f_.na_janela([&] { f_.mensagem(texto, titulo); });
  }
  bool pergunta(const std::string& texto, const std::string& titulo) override
  {
    bool sim = false;
    f_.na_janela([&] { sim = f_.pergunta(texto, titulo); });
    return sim;
  }
  bool substitui(const std::string& texto) override
  {
    bool sim = false;
    f_.na_janela([&] { sim = f_.substitui(texto); });
    return sim;
  }
  void ocupado(bool) override {}  // the window is busy for the whole run
  void fecha() override { fechar = true; }
  void progresso(long long feitos, long long total) override
  {
    f_.feitos_ = feitos;
    f_.total_ = total;
  }
  const std::atomic<bool>* pedido_de_paragem() const override { return &f_.cancelar_; }

 private:
  Form1& f_;
};

// The same for the conversions of several files: the faults are told at
// the end, all at once; questions one at a time.
class lote_de_fundo : public janela_lote {
 public:
  explicit lote_de_fundo(Form1& f) : f_(f) {}
  void mensagem(std::size_t, const std::string&, const std::string&) override {}
  bool pergunta(std::size_t, const std::string& texto, const std::string& titulo) override
  {
    std::lock_guard<std::mutex> l(m_);
    if (f_.cancelar_) return false;
    bool sim = false;
    f_.na_janela([&] { sim = f_.pergunta(texto, titulo); });
    return sim;
  }
  void progresso(double fracao, std::size_t atual) override
  {
    f_.fracao_ = fracao;
    f_.atual_ = atual;
  }

 private:
  Form1& f_;
  std::mutex m_;
};

}  // namespace

void Form1::Command1_Click()
{
  if (a_correr_) return;
  // One name in double quotes is the name; several, a batch.
  const QStringList nomes = nomes_de(Text1->text());
  pedido p{utf8(Combo1->currentText()), utf8(Combo2->currentText()),
           utf8(nomes.size() == 1 ? nomes.first() : Text1->text()),
           utf8(Text2->text()),         utf8(Text3->text()),         utf8(Text4->text()),
           pasta_grelhas_};
  if (nomes.size() > 1) {
    converte_varios(nomes, p);
    return;
  }
  janela_de_fundo ponte(*this);
  feitos_ = 0;
  total_ = 0;
  const QString nome = QFileInfo(texto_qt(p.entrada)).fileName();
  em_fundo([&] { converte(p, ponte); },
           [&](QProgressDialog& d) {
             const long long feitos = feitos_, total = total_;
             d.setLabelText(nome + "\n" +
                            QString::fromUtf8("%L1 de %L2 registos").arg(feitos).arg(total));
             d.setValue(total > 0 ? static_cast<int>(feitos * 1000 / total) : 0);
           });
  if (ponte.fechar) fecha();
}

// Several files into the output folder: the entries checked once, one
// question for all the outputs that exist, one progress dialog, and one
// message at the end. All created: the program ends as after one file.
void Form1::converte_varios(const QStringList& entradas, const pedido& modelo)
{
  auto mostra = [this](const std::string& texto) { mensagem(texto, titulo_programa); };
  if (modelo.sistema1.empty() || !modelo.saida.empty()) {
    if (!verifica_entradas(modelo, mostra)) return;
  } else {
    mostra("Definir a pasta de saída no Sistema 2!!");
    return;
  }
  std::vector<std::string> nomes;
  for (const QString& n : entradas) nomes.push_back(utf8(n));
  std::vector<par_lote> pares;
  try {
    pares = expande(nomes, modelo.saida, false);
    const std::vector<std::string> existem = saidas_existentes(pares);
    if (!existem.empty()) {
      std::string lista;
      for (size_t i = 0; i < existem.size() && i < 10; ++i)
        lista += (i ? ", " : "") + kelvara::entre_aspas(existem[i]);
      if (existem.size() > 10) lista += " e mais " + std::to_string(existem.size() - 10);
      const std::string pergunta =
          existem.size() == 1 ? "O ficheiro " + lista + " já existe. Substituir?"
                              : "Já existem " + std::to_string(existem.size()) +
                                    " dos ficheiros de saída: " + lista + ". Substituir todos?";
      if (!substitui(pergunta)) return;
    }
    cria_pastas(pares, modelo.saida);
  } catch (const falha& f) {
    mostra(f.what());
    return;
  }

  lote_de_fundo ponte(*this);
  fracao_ = 0;
  atual_ = 0;
  std::vector<resultado_lote> r;
  const int simultaneas = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  em_fundo([&] { r = converte_lote(modelo, pares, simultaneas, ponte, cancelar_); },
           [&](QProgressDialog& d) {
             const size_t i = std::min<size_t>(atual_, pares.size() - 1);
             d.setLabelText(QString::fromUtf8("%L1 ficheiros\n").arg(pares.size()) +
                            QFileInfo(texto_qt(pares[i].entrada)).fileName());
             d.setValue(static_cast<int>(fracao_ * 1000));
           });

  size_t criados = 0;
  std::string falharam, por_converter;
  for (size_t i = 0; i < r.size(); ++i) {
    const std::string nome = kelvara::entre_aspas(pares[i].entrada);
    if (r[i].estado == estado_lote::convertido) ++criados;
    else if (r[i].estado == estado_lote::por_converter) por_converter += "\n" + nome;
    else {
      falharam += "\n\n" + nome + ":";
      for (const std::string& c : r[i].causas) falharam += "\n" + c;
    }
  }
  std::string texto = std::string(criados == 1 ? "Criado " : "Criados ") + std::to_string(criados) +
                      " de " + std::to_string(pares.size()) + " ficheiros em " +
                      kelvara::entre_aspas(modelo.saida) + ".";
  if (!falharam.empty()) texto += "\n\nFalharam:" + falharam;
  if (!por_converter.empty()) texto += "\n\nNão convertidos (conversão cancelada):" + por_converter;
  const bool todos = criados == pares.size();
  mensagem(texto, todos ? titulo_ostrel : titulo_programa);
  if (todos) fecha();
}

void Form1::em_fundo(const std::function<void()>& trabalho,
                     const std::function<void(QProgressDialog&)>& mostra)
{
  cancelar_ = false;
  a_correr_ = true;
  ocupado(true);
  qApp->installEventFilter(this);
  QEventLoop ciclo;
  std::atomic<bool> acabou{false};
  QElapsedTimer desde;
  desde.start();
  QTimer vigia;
  QObject::connect(&vigia, &QTimer::timeout, &ciclo, [&] {
    if (acabou) {
      ciclo.quit();
      return;
    }
    if (!progresso_ && desde.elapsed() >= espera_progresso && !cancelar_) {
      progresso_ = new QProgressDialog(this);
      progresso_->setWindowTitle("kelvara");
      progresso_->setCancelButtonText("Cancelar");
      progresso_->setRange(0, 1000);
      progresso_->setAutoClose(false);
      progresso_->setAutoReset(false);
      progresso_->setMinimumDuration(0);
      progresso_->setMinimumWidth(twips(6000));
      connect(progresso_, &QProgressDialog::canceled, this, [this] { cancelar_ = true; });
      mostra(*progresso_);
      progresso_->show();
    }
    if (progresso_ && !cancelar_) mostra(*progresso_);
  });
  vigia.start(40);
  std::thread t([&] {
    try {
      trabalho();
    } catch (...) {  // the conversion catches its own; nothing may escape a thread
    }
    acabou = true;
  });
  ciclo.exec();
  t.join();
  delete progresso_;
  progresso_ = nullptr;
  qApp->removeEventFilter(this);
  a_correr_ = false;
  ocupado(false);
}

void Form1::na_janela(const std::function<void()>& f)
{
  if (QThread::currentThread() == thread()) f();
  else QMetaObject::invokeMethod(this, f, Qt::BlockingQueuedConnection);
}

// While a conversion runs the window takes no input; its message boxes,
// its questions and the progress dialog do.
bool Form1::eventFilter(QObject* o, QEvent* e)
{
  if (a_correr_ && o->isWidgetType() && static_cast<QWidget*>(o)->window() == this) {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(o, e);
}

QStringList Form1::nomes_de(const QString& texto)
{
  if (!texto.trimmed().startsWith('"')) return {texto};
  QStringList nomes;
  for (qsizetype i = 0; i < texto.size();) {
    const qsizetype a = texto.indexOf('"', i);
    if (a < 0) break;
    qsizetype b = texto.indexOf('"', a + 1);
    if (b < 0) b = texto.size();
    nomes << texto.mid(a + 1, b - a - 1);
    i = b + 1;
  }
  return nomes;
}

QString Form1::entre_aspas(const QStringList& nomes)
{
  QStringList r;
  for (const QString& n : nomes) r << '"' + n + '"';
  return r.join(' ');
}

}  // namespace kelvara
