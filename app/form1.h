// The main window, Form1: the two system lists, the path boxes, the browse
// buttons, "OK" and "Cancelar". It hands its entries to the conversion,
// gives it what it needs of a window (messages, questions, progress and
// cancelling), and turns its result into message boxes under their titles,
// closing after a completed conversion. The conversion runs on a second thread
// while the window stays drawn and takes no input; one that lasts more than
// half a second shows a progress dialog with "Cancelar". Several input files
// (each name in double quotes, as the file dialog gives them) convert in one
// go into the output folder.
//
// Positions and sizes are in twips (1/1440 inch) as the window was laid
// out, turned into pixels with the screen's logical resolution (15 twips to
// a pixel at 96 dpi).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QProgressDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

#include "conversao.h"

namespace kelvara {

// Titles of the message boxes: the program's, for those without a title of
// their own, and that of the completion and parameter-file messages.
inline const std::string titulo_programa = "kelvara";
inline const std::string titulo_ostrel = "Ostrel - Kelvara";

class Form1 : public QWidget {
 public:
  explicit Form1(const std::string& pasta_grelhas);

  // Layout heights (outer) and the Top of "OK" and "Cancelar", in twips.
  static constexpr int altura_compacta = 5765, topo_compacto = 4460;
  static constexpr int altura_alargada = 7065, topo_alargado = 5760;
  static constexpr int largura_cliente = 9285;

  // What a modal message box, a question, the file dialog and the
  // information window are; tests replace them so that nothing blocks.
  std::function<void(const QString& texto, const QString& titulo)> caixa_mensagem;
  // True for "Sim".
  std::function<bool(const QString& texto, const QString& titulo)> caixa_pergunta;
  // Returns the chosen name, or nothing when the dialog was cancelled.
  // `novo` is true for the output shapefile, whose file need not exist:
  // `inicial` is then the folder to start in, otherwise the name last
  // chosen; `shapefile` offers the shapefile filter first.
  std::function<std::optional<QString>(const QString& inicial, bool novo, bool shapefile)>
      dialogo_ficheiro;
  std::function<void()> abre_informacao;
  // The output folder of several files; nothing when cancelled.
  std::function<std::optional<QString>(const QString& inicial)> dialogo_pasta;
  // How long a conversion runs before its progress dialog shows, in ms.
  int espera_progresso = 500;

  // The names of the input box: each in double quotes, separated by spaces,
  // or the whole text as one name. And the other way.
  static QStringList nomes_de(const QString& texto);
  static QString entre_aspas(const QStringList& nomes);

  // The file dialog as `dialogo_ficheiro` shows it, and the question box
  // as `caixa_pergunta` shows it (Sim and Não, Não the default).
  static QFileDialog* cria_dialogo(QWidget* pai, const QString& inicial, bool novo, bool shapefile);
  // The output folder's dialog, as `dialogo_pasta` shows it.
  static QFileDialog* cria_dialogo_pasta(QWidget* pai, const QString& inicial);
  static QMessageBox* cria_pergunta(QWidget* pai, const QString& texto, const QString& titulo);

  // Event handlers.
  void Form_Load();
  void Combo1_Click();
  void Text1_Change();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click() { procura(Text1, false, true); }
  void Command4_Click();
  void Command6_Click() { procura(Text3, false, false); }
  void Command7_Click() { procura(Text4, false, false); }

  // A modal message box; the busy pointer; closing the window, which ends
  // the program; a question with "Sim" and "Não", true for "Sim".
  void mensagem(const std::string& texto, const std::string& titulo);
  void ocupado(bool sim);
  void fecha();
  bool pergunta(const std::string& texto, const std::string& titulo);
  // The messages of a conversion, each under its title; the note of a
  // rejected vertex is the command line's.
  void mostra(const std::vector<kelvara::mensagem>& m);

  // Outer height the program last set, in twips.
  int altura_exterior() const { return altura_; }
  int twips(int t) const;  // twips to pixels on this screen
  // The progress dialog of the conversion running, once shown.
  QProgressDialog* dialogo_progresso() const { return progresso_; }

  // Runs `f` on the window's thread and waits for it; from that thread, at
  // once.
  void na_janela(const std::function<void()>& f);

  QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7;
  QComboBox *Combo1, *Combo2;
  // "Usar as grelhas NTv2 da DGT": enabled only when both systems are
  // mainland ones.
  QCheckBox* Check1;
  void Check1_Estado();
  QLineEdit *Text1, *Text2, *Text3, *Text4;
  QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6, *Command7;

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* o, QEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void procura(QLineEdit* caixa, bool novo, bool shapefile);
  void com_caixa(const std::function<void()>& caixa);
  void disposicao(bool alargada);
  std::array<QWidget*, 6> parametros() const;
  void poe(QWidget* w, int esquerda, int topo, int largura, int altura);
  void converte_varios(const QStringList& entradas, const pedido& modelo);
  // Runs `trabalho` on a second thread until it returns, the window drawn
  // and taking no input; after espera_progresso the progress dialog shows,
  // kept up to date by `mostra`. Its "Cancelar" sets cancelar_.
  void em_fundo(const std::function<void()>& trabalho,
                const std::function<void(QProgressDialog&)>& mostra);

  std::string pasta_grelhas_;
  QString ultimo_ficheiro_;  // the dialog opens on the name last chosen
  int altura_ = 0;
  bool alargada_ = false;
  bool mostrada_ = false;
  bool ocupado_ = false;
  bool a_correr_ = false;
  int caixas_ = 0;  // message boxes and questions open
  QProgressDialog* progresso_ = nullptr;

 public:
  // What the conversion running tells the window from its thread.
  std::atomic<bool> cancelar_{false};
  std::atomic<long long> feitos_{0}, total_{0};
  std::atomic<double> fracao_{0};
  // While the conversion waits for another run into its output folder:
  // the line the progress dialog shows (set from the conversion's thread).
  void poe_espera(const std::string& pasta);
  QString espera() const;
  mutable std::mutex espera_m_;
  QString espera_;
  std::atomic<std::size_t> atual_{0};
};

}  // namespace kelvara
