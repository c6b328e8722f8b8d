// kelvara: the window. Starts the main window; closing it ends the program.
//
//   kelvara                  the main window
//   kelvara --captura PASTA  draws the windows into PASTA (form1.png, the
//                            main window empty; janela.png, one file;
//                            varios.png, several; form1_alargada.png, with
//                            parameter files; informacao.png), then ends
#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "form1.h"
#include "form2.h"
#include "rotas.h"
#include "traducao.h"

namespace {

// While the application starts, Qt's messages are held back: where it
// cannot reach a display it would print its own (in English) and abort.
// Instead the program says so in Portuguese and ends with status 1.
void arranque(QtMsgType tipo, const QMessageLogContext&, const QString&)
{
  if (tipo != QtFatalMsg) return;
#ifdef _WIN32
  std::fputs("kelvara: não foi possível abrir a janela. Para converter sem janela, use "
             "kelvara-cli (kelvara-cli --help).\n",
             stderr);
#else
  const char* ecra = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!ecra || !*ecra) && (!wayland || !*wayland))
    std::fputs("kelvara: não há ecrã onde abrir a janela (a variável DISPLAY não está "
               "definida). Para converter sem janela, use kelvara-cli (kelvara-cli --help).\n",
               stderr);
  else
    std::fprintf(stderr,
                 "kelvara: não foi possível abrir a janela no ecrã \"%s\". Para converter sem "
                 "janela, use kelvara-cli (kelvara-cli --help).\n",
                 ecra && *ecra ? ecra : wayland);
#endif
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv)
{
  const QtMessageHandler anterior = qInstallMessageHandler(arranque);
  QApplication app(argc, argv);
  qInstallMessageHandler(anterior);
  QApplication::setApplicationName("kelvara");
  kelvara::traducao_pt traducao;
  QApplication::installTranslator(&traducao);
  kelvara::Form1 janela("");  // the grid files in the program's folder
  janela.abre_informacao = [&janela] {
    kelvara::Form2::mostra(&janela, {janela.Command1, janela.Command2});
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
    bool ok = janela.grab().save(pasta.filePath("form1.png")) &&
              info.grab().save(pasta.filePath("informacao.png"));
    auto escolhe = [&](const std::string& nome) {
      janela.Combo1->setCurrentIndex(janela.Combo1->findText(QString::fromStdString(nome)));
      janela.Combo1_Click();
    };
    // One file, a source picked (its one target preselected).
    escolhe("Hayford-Gauss Datum 73");
    janela.Text1->setText("dados/rios.shp");
    janela.Text2->setText("dados/rios_etrs.shp");
    QApplication::processEvents();
    ok = ok && janela.grab().save(pasta.filePath("janela.png"));
    // Several files: the output is a folder.
    janela.Text1->setText("\"dados/rios.shp\" \"dados/estradas.shp\" \"dados/limites.shp\"");
    janela.Text1->setCursorPosition(0);
    janela.Text2->setText("dados/etrs");
    QApplication::processEvents();
    ok = ok && janela.grab().save(pasta.filePath("varios.png"));
    // The extended layout: the source that takes parameter files.
    janela.Text1->clear();
    janela.Text2->clear();
    for (const kelvara::sistema* s : kelvara::fontes())
      if (s->parametros) escolhe(std::string(s->nome));
    QApplication::processEvents();
    return ok && janela.grab().save(pasta.filePath("form1_alargada.png")) ? 0 : 1;
  }

  janela.show();
  return app.exec();
}
