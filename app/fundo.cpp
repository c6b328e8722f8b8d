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

#include <mutex>
#include <thread>

#include "lote.h"
#include "qt_texto.h"

namespace kelvara {

namespace {

// The window as the conversion sees it from its own thread: messages and
// questions wait for the window's thread, progress and the stop request
// are shared values.
class janela_de_fundo : public janela {
 public:
  explicit janela_de_fundo(Form1& f) : f_(f) {}
  void mensagem(const std::string& texto) override
  {
    f_.na_janela([&] { f_.mensagem(texto, titulo_programa); });
  }
  bool pergunta(const std::string& texto) override
  {
    bool sim = false;
    f_.na_janela([&] { sim = f_.pergunta(texto, titulo_programa); });
    respondeu_nao = respondeu_nao || !sim;
    return sim;
  }
  bool substitui(const std::string& shp) override { return pergunta(pergunta_substitui(shp)); }
  bool respondeu_nao = false;  // "Não" to a question of this run
  void espera_pasta(const std::string& pasta) override { f_.poe_espera(pasta); }
  void ocupado(bool) override {}  // the window is busy for the whole run
  void progresso(long long feitos, long long total) override
  {
    f_.poe_espera({});
    f_.feitos_ = feitos;
    f_.total_ = total;
  }
  const std::atomic<bool>* pedido_de_paragem() const override { return &f_.cancelar_; }

 private:
  Form1& f_;
};

// The same for the conversions of several files: the question about the
// outputs that exist before they start, on the window's thread; the
// safeguards' questions one at a time; the faults told at the end, all at
// once.
class lote_de_fundo : public janela_lote {
 public:
  explicit lote_de_fundo(Form1& f) : f_(f) {}
  bool substitui(const std::string& texto) override { return f_.pergunta(texto, titulo_programa); }
  bool pergunta(std::size_t, const std::string& texto) override
  {
    std::lock_guard<std::mutex> l(m_);
    if (f_.cancelar_) return false;
    bool sim = false;
    f_.na_janela([&] { sim = f_.pergunta(texto, titulo_programa); });
    return sim;
  }
  void espera_pasta(std::size_t, const std::string& pasta) override { f_.poe_espera(pasta); }
  void progresso(double fracao, std::size_t atual) override
  {
    f_.poe_espera({});
    f_.fracao_ = fracao;
    f_.atual_ = atual;
  }

 private:
  Form1& f_;
  std::mutex m_;
};

}  // namespace

void Form1::mostra(const std::vector<kelvara::mensagem>& m)
{
  for (const kelvara::mensagem& x : m)
    if (x.tipo != tipo_mensagem::nota)
      mensagem(x.texto, x.tipo == tipo_mensagem::aviso ? titulo_programa : titulo_ostrel);
}

void Form1::Command1_Click()
{
  if (a_correr_) return;
  // One name in double quotes is the name; several, a batch.
  const QStringList nomes = nomes_de(Text1->text());
  pedido p{utf8(Combo1->currentText()), utf8(Combo2->currentText()),
           utf8(nomes.size() == 1 ? nomes.first() : Text1->text()),
           utf8(Text2->text()),         utf8(Text3->text()),         utf8(Text4->text()),
           pasta_grelhas_};
  if (Check1->isEnabled() && Check1->isChecked()) p.metodo = metodo::dgt;
  if (nomes.size() > 1) {
    converte_varios(nomes, p);
    return;
  }
  janela_de_fundo ponte(*this);
  feitos_ = 0;
  total_ = 0;
  const QString nome = QFileInfo(texto_qt(p.entrada)).fileName();
  resultado r;
  em_fundo([&] { r = converte(p, ponte); },
           [&](QProgressDialog& d) {
             const long long feitos = feitos_, total = total_;
             d.setLabelText(nome + "\n" +
                            QString::fromUtf8("%L1 de %L2 registos").arg(feitos).arg(total) +
                            espera());
             d.setValue(total > 0 ? static_cast<int>(feitos * 1000 / total) : 0);
           });
  // Refused by the user's own "Não": the question said why, and nothing
  // more is said. Cancelled, the run says that nothing was changed. A
  // completed conversion, and one stopped off the Datum Lisboa grid, end
  // the program.
  if (!(r.como == desfecho::recusado && ponte.respondeu_nao)) mostra(r.mensagens);
  if (r.como == desfecho::criado || r.fora_da_grelha) fecha();
}

// Several files into the output folder: the entries checked once, one
// question for all the outputs that exist, one progress dialog, and one
// message at the end. All created: the program ends as after one file.
void Form1::converte_varios(const QStringList& entradas, const pedido& modelo)
{
  std::vector<std::string> nomes;
  for (const QString& n : entradas) nomes.push_back(utf8(n));
  const int simultaneas = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  lote l({modelo, nomes, false, simultaneas});
  lote_de_fundo ponte(*this);
  if (!l.prepara(ponte)) {
    mostra(l.mensagens());
    return;
  }
  fracao_ = 0;
  atual_ = 0;
  const std::vector<par_lote>& pares = l.pares();
  em_fundo([&] { l.converte(ponte, cancelar_); },
           [&](QProgressDialog& d) {
             const size_t i = std::min<size_t>(atual_, pares.size() - 1);
             d.setLabelText(QString::fromUtf8("%L1 ficheiros\n").arg(pares.size()) +
                            QFileInfo(texto_qt(pares[i].entrada)).fileName() + espera());
             d.setValue(static_cast<int>(fracao_ * 1000));
           });
  const bool todos = l.como() == desfecho::criado;
  mensagem(l.resumo(lote::forma::caixa), todos ? titulo_ostrel : titulo_programa);
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
    if (caixas_ > 0) return;  // a box is up: no progress dialog behind it
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
  if (progresso_) {
    // Gone, and the window redrawn where it was, before any box that
    // follows.
    progresso_->hide();
    delete progresso_;
    progresso_ = nullptr;
    repaint();
  }
  qApp->removeEventFilter(this);
  a_correr_ = false;
  ocupado(false);
}

void Form1::poe_espera(const std::string& pasta)
{
  std::lock_guard<std::mutex> l(espera_m_);
  espera_ = pasta.empty() ? QString() : texto_qt(texto_espera(pasta));
}

QString Form1::espera() const
{
  std::lock_guard<std::mutex> l(espera_m_);
  return espera_.isEmpty() ? QString() : "\n" + espera_;
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
