// The main window, Form1: the two system lists, the path boxes, the browse
// buttons, "OK" and "Cancelar". It hands its entries to the conversion and
// gives it what it needs of a window: modal messages, the busy pointer and
// closing.
//
// Positions and sizes are in twips (1/1440 inch) as the window was laid
// out, turned into pixels with the screen's logical resolution (15 twips to
// a pixel at 96 dpi).
#pragma once

#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

#include "conversao.h"
#include "janela.h"

namespace kelvara {

class Form1 : public QWidget, public janela {
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

  // The file dialog as `dialogo_ficheiro` shows it, and the question box
  // as `caixa_pergunta` shows it (Sim and Não, Não the default).
  static QFileDialog* cria_dialogo(QWidget* pai, const QString& inicial, bool novo, bool shapefile);
  static QMessageBox* cria_pergunta(QWidget* pai, const QString& texto, const QString& titulo);

  // Event handlers.
  void Form_Load();
  void Combo1_Click();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click() { procura(Text1, false, true); }
  void Command4_Click() { procura(Text2, true, true); }
  void Command6_Click() { procura(Text3, false, false); }
  void Command7_Click() { procura(Text4, false, false); }

  // janela
  void mensagem(const std::string& texto, const std::string& titulo) override;
  void ocupado(bool sim) override;
  void fecha() override;
  bool pergunta(const std::string& texto, const std::string& titulo) override;
  bool substitui(const std::string& texto) override { return pergunta(texto, "kelvara"); }

  // Outer height the program last set, in twips.
  int altura_exterior() const { return altura_; }
  int twips(int t) const;  // twips to pixels on this screen

  QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7;
  QComboBox *Combo1, *Combo2;
  QLineEdit *Text1, *Text2, *Text3, *Text4;
  QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6, *Command7;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void procura(QLineEdit* caixa, bool novo, bool shapefile);
  void disposicao(bool alargada);
  std::array<QWidget*, 6> parametros() const;
  void poe(QWidget* w, int esquerda, int topo, int largura, int altura);

  std::string pasta_grelhas_;
  QString ultimo_ficheiro_;  // the dialog opens on the name last chosen
  int altura_ = 0;
  bool alargada_ = false;
  bool mostrada_ = false;
  bool ocupado_ = false;
};

}  // namespace kelvara
