// kelvara: the window. Starts the main window; closing it ends the program.
//
//   kelvara                  the main window
//   kelvara --captura PASTA  draws both windows into PASTA/form1.png and
//                            PASTA/form2.png, then ends (for checking the look)
#include <QApplication>
#include <QDir>

#include "ficheiros.h"
#include "form1.h"
#include "form2.h"
#include "rotas.h"

int main(int argc, char** argv)
{
  QApplication app(argc, argv);
  QApplication::setApplicationName("kelvara");
  kelvara::Form1 janela(kelvara::es::pasta_programa());
  janela.abre_informacao = [] {
    auto* f = new kelvara::Form2();  // deletes itself on closing
    f->show();
  };

  const QStringList args = QApplication::arguments();
  const qsizetype i = args.indexOf("--captura");
  if (i >= 0 && i + 1 < args.size()) {
    const QDir pasta(args[i + 1]);
    QDir().mkpath(pasta.path());
    janela.show();
    kelvara::Form2 info;
    info.show();
    QApplication::processEvents();
    const bool ok = janela.grab().save(pasta.filePath("form1.png")) &&
                    info.grab().save(pasta.filePath("form2.png"));
    // The extended layout: the source that takes parameter files.
    const auto fontes = kelvara::fontes_da_janela();
    for (size_t k = 0; k < fontes.size(); ++k)
      if (fontes[k]->parametros) janela.Combo1->setCurrentIndex(static_cast<int>(k));
    janela.Combo1_Click();
    QApplication::processEvents();
    return ok && janela.grab().save(pasta.filePath("form1_alargada.png")) ? 0 : 1;
  }

  janela.show();
  return app.exec();
}
