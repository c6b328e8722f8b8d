// The two windows under Qt Test: the source list and the selection rules,
// typing that must not trigger them, the tab order, browsing, "OK" with its
// messages, a real conversion that closes the window, cancelling one from
// its progress dialog, several files at once, and the information window's
// text.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <shapefil.h>

#include <cmath>

#include "aparencia.h"
#include "ficheiros.h"
#include "form1.h"
#include "form2.h"
#include "paragem.h"
#include "traducao.h"

using namespace kelvara;

namespace {

struct mensagens_registadas {
  QStringList textos, titulos;
};

// A window whose boxes and dialogs are recorded instead of shown.
struct janela_de_teste {
  Form1 f{"."};
  mensagens_registadas m;
  janela_de_teste()
  {
    f.caixa_mensagem = [this](const QString& texto, const QString& titulo) {
      m.textos << texto;
      m.titulos << titulo;
    };
  }
  void escolhe(const QString& fonte)
  {
    const int i = f.Combo1->findText(fonte);
    QVERIFY2(i >= 0, qPrintable(fonte));
    f.Combo1->setCurrentIndex(i);
    emit f.Combo1->activated(i);  // what a pick from the list sends
  }
  QStringList destinos() const
  {
    QStringList r;
    for (int i = 0; i < f.Combo2->count(); ++i) r << f.Combo2->itemText(i);
    return r;
  }
};

struct janela_nula : janela {
  void mensagem(const std::string&) override {}
  void ocupado(bool) override {}
};

const QList<QWidget*> parametros(const Form1& f)
{
  return {f.Label6, f.Text3, f.Command6, f.Label7, f.Text4, f.Command7};
}

}  // namespace

class teste_janela : public QObject {
  Q_OBJECT

 private slots:
  void abre_compacta_com_a_lista_de_fontes()
  {
    janela_de_teste t;
    QStringList lista;
    for (int i = 0; i < t.f.Combo1->count(); ++i) lista << t.f.Combo1->itemText(i);
    QCOMPARE(lista, (QStringList{"Hayford-Gauss Datum 73", "Hayford-Gauss Datum Lisboa-Ponto Central",
                                 "Açores - G.Oriental - UTM 26 S. Bráz",
                                 "Açores - Faial - UTM 26 Base SW", "Açores - Graciosa - UTM 26 Base SW",
                                 "Açores - Pico - UTM 26 Base SW", "Açores - São Jorge - UTM 26 Base SW",
                                 "Açores - Terceira - UTM 26 Base SW",
                                 "Açores - G.Ocidental - UTM 25 Observatório",
                                 "Madeira - UTM 28 Base SE", "Hayford-Gauss Datum 73 Militar",
                                 "Hayford-Gauss Datum Lisboa Militar", "ETRS89 TM06", "Qualquer"}));
    QCOMPARE(t.f.Combo1->currentText(), QString());
    QCOMPARE(t.f.Combo2->count(), 0);
    QCOMPARE(t.f.altura_exterior(), 5765);
    QCOMPARE(t.f.Command1->y(), t.f.twips(4460));
    QCOMPARE(t.f.Command2->y(), t.f.twips(4460));
    QCOMPARE(t.f.width(), t.f.twips(9285));
    for (QWidget* w : parametros(t.f)) QVERIFY(w->isHidden());
    QCOMPARE(t.f.windowTitle(), QString("Ostrel - Valdrena"));
    QVERIFY(!(t.f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(t.f.Combo1->geometry(), QRect(t.f.twips(480), t.f.twips(1560), t.f.twips(4095),
                                           t.f.twips(315)));
    QCOMPARE(t.f.Label3->palette().color(QPalette::WindowText), QColor(192, 64, 0));
    QCOMPARE(t.f.Text1->palette().color(QPalette::Text), QColor(192, 64, 0));
    // The fields: the system's 3D-light background (#E3E3E3 where the
    // platform has none of its own), on which the orange text reads at
    // better than 4:1.
    const auto luz = [](const QColor& c) {
      auto canal = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
      return 0.2126 * canal(c.redF()) + 0.7152 * canal(c.greenF()) + 0.0722 * canal(c.blueF());
    };
    for (QWidget* w : std::initializer_list<QWidget*>{t.f.Text1, t.f.Text4, t.f.Combo1}) {
      const QColor fundo = w->palette().color(QPalette::Base);
      if (QGuiApplication::platformName() != "windows") QCOMPARE(fundo, QColor(0xE3, 0xE3, 0xE3));
      QVERIFY((luz(fundo) + 0.05) / (luz(QColor(192, 64, 0)) + 0.05) > 4.0);
    }
    QVERIFY(!t.f.Command1->isDefault() && !t.f.Command1->autoDefault());
  }

  void regras_de_escolha_data()
  {
    QTest::addColumn<QString>("fonte");
    QTest::addColumn<QStringList>("destinos");
    QTest::addColumn<QString>("escolhido");
    QTest::addColumn<bool>("alargada");
    const QString d73 = "Hayford-Gauss Datum 73", lisboa = "Hayford-Gauss Datum Lisboa-Ponto Central",
                  etrs = "ETRS89 TM06";
    QTest::newRow("ETRS89") << etrs << QStringList{d73, lisboa} << QString() << false;
    QTest::newRow("Datum 73") << d73 << QStringList{etrs} << etrs << false;
    QTest::newRow("Lisboa") << lisboa << QStringList{etrs} << etrs << false;
    QTest::newRow("Datum 73 Militar") << "Hayford-Gauss Datum 73 Militar" << QStringList{etrs} << etrs << false;
    QTest::newRow("Lisboa Militar") << "Hayford-Gauss Datum Lisboa Militar" << QStringList{etrs} << etrs << false;
    for (const char* ilha :
         {"Açores - G.Oriental - UTM 26 S. Bráz", "Açores - Faial - UTM 26 Base SW",
          "Açores - Graciosa - UTM 26 Base SW", "Açores - Pico - UTM 26 Base SW",
          "Açores - São Jorge - UTM 26 Base SW", "Açores - Terceira - UTM 26 Base SW"})
      QTest::newRow(ilha) << QString::fromUtf8(ilha) << QStringList{"UTM 26 ITRF93"}
                          << "UTM 26 ITRF93" << false;
    QTest::newRow("Ocidental") << "Açores - G.Ocidental - UTM 25 Observatório"
                               << QStringList{"UTM 25 ITRF93"} << "UTM 25 ITRF93" << false;
    QTest::newRow("Madeira") << "Madeira - UTM 28 Base SE" << QStringList{"UTM 28 ITRF93"}
                             << "UTM 28 ITRF93" << false;
    QTest::newRow("Qualquer") << "Qualquer" << QStringList{"Qualquer"} << "Qualquer" << true;
  }

  void regras_de_escolha()
  {
    QFETCH(QString, fonte);
    QFETCH(QStringList, destinos);
    QFETCH(QString, escolhido);
    QFETCH(bool, alargada);
    janela_de_teste t;
    t.f.Combo2->setEditText("escrito à mão");
    t.escolhe(fonte);
    QCOMPARE(t.destinos(), destinos);
    QCOMPARE(t.f.Combo2->currentText(), escolhido);
    QCOMPARE(t.f.altura_exterior(), alargada ? 7065 : 5765);
    const int topo = t.f.twips(alargada ? 5760 : 4460);
    QCOMPARE(t.f.Command1->y(), topo);
    QCOMPARE(t.f.Command2->y(), topo);
    for (QWidget* w : parametros(t.f)) QCOMPARE(w->isHidden(), !alargada);
  }

  void escolhas_seguidas_e_escrita()
  {
    janela_de_teste t;
    t.f.Text3->setText("px.txt");
    t.escolhe("Qualquer");
    t.escolhe("Hayford-Gauss Datum 73");
    t.f.Combo2->setEditText("Hayford-Gauss Datum Lisboa-Ponto Central");  // typed, kept as typed
    QCOMPARE(t.f.Combo2->currentText(), QString("Hayford-Gauss Datum Lisboa-Ponto Central"));
    t.escolhe("Açores - G.Ocidental - UTM 25 Observatório");
    QCOMPARE(t.destinos(), QStringList{"UTM 25 ITRF93"});
    QCOMPARE(t.f.Combo2->currentText(), QString("UTM 25 ITRF93"));
    QCOMPARE(t.f.Text3->text(), QString("px.txt"));  // hiding does not clear

    // Typing a source name is not picking it.
    janela_de_teste u;
    const int fontes = u.f.Combo1->count();
    QTest::keyClicks(u.f.Combo1->lineEdit(), "Qualquer");
    QCOMPARE(u.f.Combo1->currentText(), QString("Qualquer"));
    QCOMPARE(u.f.Combo2->count(), 0);
    QCOMPARE(u.f.altura_exterior(), 5765);
    QCOMPARE(u.f.Combo1->count(), fontes);  // nor added to the list
  }

  // DGT's grids: offered only between mainland systems, off by default;
  // ticked, OK converts by them, as the conversion does with that method.
  void grelhas_da_dgt_so_no_continente()
  {
    QTemporaryDir pasta;
    Form1 f(KELVARA_GRELHAS);
    mensagens_registadas m;
    f.caixa_mensagem = [&](const QString& texto, const QString&) { m.textos << texto; };
    f.show();
    QVERIFY(!f.Check1->isEnabled());
    for (const auto& [fonte, sim] : {std::pair{"Madeira - UTM 28 Base SE", false}, {"Qualquer", false},
                                     {"Hayford-Gauss Datum Lisboa Militar", true},
                                     {"Hayford-Gauss Datum 73", true}}) {
      f.Combo1->setCurrentIndex(f.Combo1->findText(QString::fromUtf8(fonte)));
      f.Combo1_Click();
      QCOMPARE(f.Check1->isEnabled(), sim);
    }
    QVERIFY(!f.Check1->isChecked());
    const QString entrada = pasta.filePath("rios.shp"), saida = pasta.filePath("rios_etrs.shp");
    ponto(entrada, -90000, -100000);
    f.Check1->setChecked(true);
    f.Text1->setText(entrada);
    f.Text2->setText(saida);
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    QCOMPARE(m.textos, QStringList{"Criado o ficheiro: " + saida});
    janela_nula nula;
    pedido p{"Hayford-Gauss Datum 73", "ETRS89 TM06", entrada.toStdString(),
             pasta.filePath("dgt.shp").toStdString(), "", "", KELVARA_GRELHAS};
    p.metodo = metodo::dgt;
    QCOMPARE(converte(p, nula).como, desfecho::criado);
    QFile a(saida), b(pasta.filePath("dgt.shp"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), b.readAll());
  }

  void ordem_de_tabulacao()
  {
    janela_de_teste t;
    t.escolhe("Qualquer");
    const QList<QWidget*> esperada{t.f.Combo1,   t.f.Combo2,   t.f.Check1,   t.f.Text1,    t.f.Text2,  t.f.Command1,
                                   t.f.Command2, t.f.Command3, t.f.Command4, t.f.Command6, t.f.Text3,
                                   t.f.Text4,    t.f.Command7, t.f.Command5};
    QList<QWidget*> vista;
    QWidget* w = t.f.Combo1;
    for (int passos = 0; passos < 200 && vista.size() < esperada.size(); ++passos) {
      if (esperada.contains(w) && !vista.contains(w)) vista << w;
      w = w->nextInFocusChain();
    }
    QCOMPARE(vista, esperada);
    for (QLabel* l : {t.f.Label1, t.f.Label3, t.f.Label6}) QCOMPARE(l->focusPolicy(), Qt::NoFocus);
  }

  void procurar()
  {
    janela_de_teste t;
    QStringList iniciais;
    QList<bool> novos, shapefiles;
    std::optional<QString> resposta;
    t.f.dialogo_ficheiro = [&](const QString& inicial, bool novo, bool shapefile) {
      iniciais << inicial;
      novos << novo;
      shapefiles << shapefile;
      return resposta;
    };
    // Cancelling before anything was chosen leaves what was typed.
    t.f.Text1->setText("typed.shp");
    resposta.reset();
    QTest::mouseClick(t.f.Command3, Qt::LeftButton);
    QCOMPARE(t.f.Text1->text(), QString("typed.shp"));
    // A name picked is shown as the system writes paths.
    const auto nativo = [](const char* n) { return QDir::toNativeSeparators(n); };
    resposta = QString("/dados/rios.shp");
    QTest::mouseClick(t.f.Command3, Qt::LeftButton);
    QCOMPARE(t.f.Text1->text(), nativo("/dados/rios.shp"));
    // The output's dialog starts in the input's folder with no name and
    // accepts a new one; cancelling it keeps the user's output name.
    t.f.Text2->setText("/dados/rios_etrs.shp");
    resposta.reset();
    QTest::mouseClick(t.f.Command4, Qt::LeftButton);
    QCOMPARE(t.f.Text2->text(), QString("/dados/rios_etrs.shp"));
    t.escolhe("Qualquer");
    resposta = QString("/dados/px.txt");
    QTest::mouseClick(t.f.Command6, Qt::LeftButton);
    resposta = QString("/dados/py.txt");
    QTest::mouseClick(t.f.Command7, Qt::LeftButton);
    QCOMPARE(t.f.Text3->text(), nativo("/dados/px.txt"));
    QCOMPARE(t.f.Text4->text(), nativo("/dados/py.txt"));
    // The output's dialog starts in the input's folder, as the system has
    // it (Z:/dados under wine).
    QCOMPARE(iniciais, (QStringList{"", "", QFileInfo("/dados/rios.shp").absolutePath(),
                                    "/dados/rios.shp", "/dados/px.txt"}));
    QCOMPARE(novos, (QList<bool>{false, false, true, false, false}));
    QCOMPARE(shapefiles, (QList<bool>{true, true, true, false, false}));
  }

  void ok_com_entradas_em_falta()
  {
    janela_de_teste t;
    t.f.show();
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QCOMPARE(t.m.textos, (QStringList{"Definir o Sistema 1 !!", "Definir o Sistema 2 !!"}));
    t.m = {};
    t.escolhe("Qualquer");
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QCOMPARE(t.m.textos, (QStringList{"Escolher o ficheiro Shapefile no Sistema 1!!",
                                      "Definir o ficheiro Shapefile no Sistema 2!!",
                                      "Definir o ficheiro de parâmetros em X!!",
                                      "Definir o ficheiro de parâmetros em Y!!"}));
    QCOMPARE(t.m.titulos, QStringList(4, "kelvara"));
    QVERIFY(t.f.isVisible());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // A parameter file of the wrong axis: its message under its own title.
    QTemporaryDir pasta;
    grava(pasta.filePath("p.txt"), "\"a\",\"b\",Y,0,0,0,0,1,1,0,1,0,0,0,0\n");
    t.m = {};
    t.f.Text1->setText(pasta.filePath("a.shp"));
    t.f.Text2->setText(pasta.filePath("b.shp"));
    t.f.Text3->setText(pasta.filePath("p.txt"));
    t.f.Text4->setText(pasta.filePath("p.txt"));
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QCOMPARE(t.m.textos, QStringList{"Erro! Esperado 'X' no ficheiro de parâmetros -X"});
    QCOMPARE(t.m.titulos, QStringList{"Ostrel - Kelvara"});
    QVERIFY(t.f.isVisible());
  }

  void ok_converte_e_fecha()
  {
    QTemporaryDir pasta;
    const QString entrada = pasta.filePath("rios.shp");
    {
      SHPHandle shp = SHPCreate(entrada.toUtf8().constData(), SHPT_POINT);
      DBFHandle dbf = DBFCreate(entrada.toUtf8().constData());
      DBFAddField(dbf, "ID", FTInteger, 4, 0);
      double x = -90000, y = -100000;
      SHPObject* o = SHPCreateSimpleObject(SHPT_POINT, 1, &x, &y, nullptr);
      SHPWriteObject(shp, -1, o);
      SHPDestroyObject(o);
      DBFWriteIntegerAttribute(dbf, 0, 0, 7);
      SHPClose(shp);
      DBFClose(dbf);
    }
    janela_de_teste t;
    QPointer<Form2> info;
    t.f.abre_informacao = [&] {
      info = new Form2();
      info->show();
    };
    t.f.show();
    QTest::mouseClick(t.f.Command5, Qt::LeftButton);  // the information window is open too
    QVERIFY(info && info->isVisible());
    // Typed as codes, the systems are named as well as by their names.
    t.f.Combo1->setEditText("EPSG:27493");
    t.f.Combo2->setEditText("3763");
    t.f.Text1->setText(entrada);
    t.f.Text2->setText(pasta.filePath("rios_etrs.shp"));
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QCOMPARE(t.m.textos, QStringList{"Criado o ficheiro: " + pasta.filePath("rios_etrs.shp")});
    QCOMPARE(t.m.titulos, QStringList{"Ostrel - Kelvara"});
    QVERIFY(!t.f.isVisible());
    QVERIFY(!info || !info->isVisible());
    QVERIFY(QFile::exists(pasta.filePath("rios_etrs.prj")));
    QVERIFY(QFile::exists(pasta.filePath("rios_etrs.dbf")));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void caixa_de_mensagem_so_com_ok()
  {
    Form1 f(".");
    QString titulo, texto;
    int botoes = -1;
    QMessageBox::Icon icone = QMessageBox::Warning;
    QTimer::singleShot(0, [&] {
      auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!caixa) return;
      titulo = caixa->windowTitle();
      texto = caixa->text();
      botoes = static_cast<int>(caixa->buttons().size());
      icone = caixa->icon();
      caixa->accept();
    });
    f.mensagem("Definir o Sistema 1 !!", "kelvara");
    QCOMPARE(texto, QString("Definir o Sistema 1 !!"));
    QCOMPARE(titulo, QString("kelvara"));
    QCOMPARE(botoes, 1);
    QCOMPARE(icone, QMessageBox::NoIcon);
  }

  void f1_abre_a_informacao()
  {
    janela_de_teste t;
    int aberturas = 0;
    t.f.abre_informacao = [&] { ++aberturas; };
    t.f.show();
    t.f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&t.f));
    QTest::keyClick(t.f.Text1, Qt::Key_F1);
    QCOMPARE(aberturas, 1);
  }

  void janela_de_informacao()
  {
    Form2 f;
    QCOMPARE(f.windowTitle(), QString("Ostrel - Valdrena"));
    QCOMPARE(f.parentWidget(), nullptr);
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(f.size(), QSize(kelvara::twips(&f, 8925), kelvara::twips(&f, 3195)));
    QCOMPARE(f.List1->count(), 12);
    const QString primeira = f.List1->item(0)->text();
    QVERIFY(primeira.startsWith(QString(21, ' ') + "-----  Mudança"));
    QVERIFY(!primeira.startsWith(QString(22, ' ')));
    QVERIFY(primeira.endsWith("SHAPEFILE  -----"));
    for (int i : {1, 6, 9, 10, 11}) QCOMPARE(f.List1->item(i)->text(), QString());
    QVERIFY(f.List1->item(8)->text().startsWith("Estes parâmetros podem ser consultados em "));
    QVERIFY(f.List1->item(8)->text().endsWith("."));
    QCOMPARE(f.List1->palette().color(QPalette::Text), QColor(0, 0, 128));
  }

  // Qt's own texts in Portuguese: the question box and the file dialogs.
  void initTestCase() { QApplication::installTranslator(&traducao_); }

  void pergunta_sim_e_nao_com_nao_por_omissao_data()
  {
    QTest::addColumn<int>("tecla");
    QTest::addColumn<bool>("sim");
    QTest::newRow("Enter") << int(Qt::Key_Return) << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
    QTest::newRow("clique em Sim") << 0 << true;
  }
  void pergunta_sim_e_nao_com_nao_por_omissao()
  {
    QFETCH(int, tecla);
    QFETCH(bool, sim);
    Form1 f(".");
    QStringList botoes;
    QString padrao;
    QTimer::singleShot(0, [&] {
      auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!caixa) return;
      for (QAbstractButton* b : caixa->buttons()) botoes << b->text().remove('&');
      padrao = caixa->defaultButton()->text().remove('&');
      if (tecla) QTest::keyClick(caixa, Qt::Key(tecla));
      else caixa->button(QMessageBox::Yes)->click();
    });
    QCOMPARE(f.pergunta("Converter mesmo assim?", "kelvara"), sim);
    botoes.sort();
    QCOMPARE(botoes, (QStringList{"Não", "Sim"}));
    QCOMPARE(padrao, QString("Não"));
  }

  void dialogos_em_portugues()
  {
    QTemporaryDir pasta;
    for (const bool novo : {true, false}) {
      std::unique_ptr<QFileDialog> d(Form1::cria_dialogo(nullptr, novo ? pasta.path() : QString(), novo, true));
      d->setOption(QFileDialog::DontUseNativeDialog);
      QCOMPARE(d->nameFilters(), (QStringList{"Shapefile (*.shp)", "Todos os ficheiros (*)"}));
      QCOMPARE(d->acceptMode(), novo ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
      d->show();
      QStringList textos;
      for (QAbstractButton* b : d->findChildren<QAbstractButton*>()) textos << b->text().remove('&');
      for (QLabel* l : d->findChildren<QLabel*>()) textos << l->text().remove('&');
      QVERIFY2(textos.contains(novo ? "Guardar" : "Abrir"), qPrintable(textos.join('|')));
      for (const char* t : {"Cancelar", "Ficheiro:", "Pasta:"})
        QVERIFY2(textos.contains(QString::fromUtf8(t)), qPrintable(textos.join('|')));
      for (const char* t : {"Cancel", "Save", "Open", "Look in:", "File name:"})
        QVERIFY2(!textos.contains(t), t);
      if (novo) {
        QCOMPARE(QDir(d->directory()).canonicalPath(), QDir(pasta.path()).canonicalPath());
        auto* nome = d->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(nome && nome->text().isEmpty());
      }
    }
    // The output folder of several files: titled in Portuguese, and Qt's
    // own texts in it translated.
    std::unique_ptr<QFileDialog> d(Form1::cria_dialogo_pasta(nullptr, pasta.path()));
    d->setOption(QFileDialog::DontUseNativeDialog);
    d->show();
    QCOMPARE(d->windowTitle(), QString::fromUtf8("Pasta de saída dos ficheiros convertidos"));
    QCOMPARE(QDir(d->directory()).canonicalPath(), QDir(pasta.path()).canonicalPath());
    QStringList textos;
    for (QAbstractButton* b : d->findChildren<QAbstractButton*>()) textos << b->text().remove('&');
    for (QLabel* l : d->findChildren<QLabel*>()) textos << l->text().remove('&');
    for (const char* t : {"Cancelar", "Escolher", "Pasta:"})
      QVERIFY2(textos.contains(QString::fromUtf8(t)), qPrintable(textos.join('|')));
    for (const char* t : {"Cancel", "Choose", "Directory:", "Look in:"}) QVERIFY2(!textos.contains(t), t);
    // Qt's title of the folder dialog, where a caller gives none.
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Find Directory"), QString("Escolher pasta"));
  }

  // OK with an existing output asks before anything is written, and with an
  // input outside Sistema 1's area asks whether to convert anyway; each
  // converts only on "Sim".
  void ok_pergunta_antes_de_substituir_ou_converter_fora_da_area_data()
  {
    QTest::addColumn<double>("x");
    QTest::addColumn<bool>("existe");
    QTest::addColumn<QString>("pergunta");
    QTest::newRow("saída que existe") << -90000.0 << true << "já existe. Substituir?";
    QTest::newRow("fora da área") << 900000.0 << false << "Converter mesmo assim?";
  }
  void ok_pergunta_antes_de_substituir_ou_converter_fora_da_area()
  {
    QFETCH(double, x);
    QFETCH(bool, existe);
    QFETCH(QString, pergunta);
    for (const bool sim : {false, true}) {
      QTemporaryDir pasta;
      const QString entrada = pasta.filePath("rios.shp"), saida = pasta.filePath("rios_etrs.shp");
      ponto(entrada, x, -100000);
      if (existe)
        for (const char* e : {".shp", ".shx", ".dbf"}) grava(pasta.filePath(QString("rios_etrs") + e), "velho");
      janela_de_teste t;
      QStringList perguntas;
      t.f.caixa_pergunta = [&](const QString& texto, const QString&) {
        perguntas << texto;
        return sim;
      };
      t.f.show();
      t.escolhe("Hayford-Gauss Datum 73");
      t.f.Text1->setText(entrada);
      t.f.Text2->setText(saida);
      QTest::mouseClick(t.f.Command1, Qt::LeftButton);
      QCOMPARE(perguntas.size(), 1);
      QVERIFY2(perguntas[0].endsWith(pergunta), qPrintable(perguntas[0]));
      if (existe) QVERIFY(perguntas[0].startsWith("O ficheiro \"" + saida + "\""));
      QCOMPARE(t.f.isVisible(), !sim);
      const bool mudou = QFileInfo(saida).exists() && QFileInfo(saida).size() > 5;
      QCOMPARE(mudou, sim);
      // After "Não" the question said it all: no box repeats it.
      QCOMPARE(t.m.textos, sim ? QStringList{"Criado o ficheiro: " + saida} : QStringList{});
      QCOMPARE(QApplication::overrideCursor(), nullptr);
    }
  }

  void informacao_fecha_com_escape_e_e_so_uma()
  {
    Form1 f(".");
    f.abre_informacao = [&f] { Form2::mostra(&f, {f.Command1, f.Command2}); };
    f.show();
    QTest::mouseClick(f.Command5, Qt::LeftButton);
    QPointer<Form2> primeira = Form2::mostra();
    // Beside the main window, never over its OK and Cancelar.
    for (QWidget* b : {f.Command1, f.Command2})
      QVERIFY(!primeira->frameGeometry().intersects(QRect(b->mapToGlobal(QPoint(0, 0)), b->size())));
    QVERIFY(primeira->windowFlags() & Qt::WindowCloseButtonHint);
    QTest::mouseClick(f.Command5, Qt::LeftButton);
    QCOMPARE(Form2::mostra(), primeira.data());
    int abertas = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) abertas += dynamic_cast<Form2*>(w) && w->isVisible();
    QCOMPARE(abertas, 1);
    primeira->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(primeira));
    QTest::keyClick(primeira, Qt::Key_Escape);
    QTRY_VERIFY(!primeira);  // closed, and deleted
  }

  void cancelar_na_espera_pela_pasta()
  {
    // Another conversion holds the output's folder: the progress dialog
    // says the run waits, and "Cancelar" ends the wait, with nothing
    // written, and the window says so.
    QTemporaryDir pasta;
    const QString entrada = pasta.filePath("rios.shp"), saida = pasta.filePath("rios_etrs.shp");
    pontos(entrada, {-90000.0});
    kelvara::es::trinco outra;
    QVERIFY(outra.da_pasta(pasta.path().toStdString(), [](bool) { return true; }));
    janela_de_teste t;
    t.f.espera_progresso = 0;
    bool viu_espera = false;
    std::function<void()> olha = [&] {
      QProgressDialog* d = t.f.dialogo_progresso();
      if (d && d->isVisible() && d->labelText().contains(QString::fromUtf8("À espera de outra conversão"))) {
        viu_espera = true;
        if (auto* botao = d->findChild<QPushButton*>()) botao->click();
        return;
      }
      QTimer::singleShot(20, olha);
    };
    QTimer::singleShot(20, olha);
    t.f.show();
    t.escolhe("Hayford-Gauss Datum 73");
    t.f.Text1->setText(entrada);
    t.f.Text2->setText(saida);
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QVERIFY(viu_espera);
    QCOMPARE(t.m.textos, QStringList{QString::fromUtf8(interrompida().what())});
    QVERIFY(t.f.isVisible());
    QCOMPARE(QDir(pasta.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"rios.dbf", "rios.shp", "rios.shx"}));
  }

  // A stop request while the conversion waits on the question about a
  // record outside the area, no progress dialog drawn behind the question:
  // it stops at the next record, leaves no file of its own, the older
  // output whole, and the window as it was, saying that nothing changed;
  // OK then converts anew.
  void cancelar_no_progresso()
  {
    QTemporaryDir pasta;
    const QString entrada = pasta.filePath("rios.shp"), saida = pasta.filePath("rios_etrs.shp");
    QList<double> xs;
    for (int k = 0; k < 100; ++k) xs << (k == 50 ? 900000.0 : -90000.0 + k);
    pontos(entrada, xs);
    grava(saida, "velho");
    janela_de_teste t;
    t.f.espera_progresso = 0;
    int perguntas = 0;
    bool progresso_atras = false;
    auto mostrado = [&] { return t.f.dialogo_progresso() && t.f.dialogo_progresso()->isVisible(); };
    t.f.caixa_pergunta = [&](const QString& texto, const QString&) {
      ++perguntas;
      // While a box is up no progress dialog shows behind it, however long
      // the answer takes.
      QTest::qWait(300);
      progresso_atras = progresso_atras || mostrado();
      if (!texto.endsWith("Converter mesmo assim?")) return true;  // the older output: replace
      t.f.cancelar_ = true;  // what "Cancelar" sets: the next record finds the stop
      return true;
    };
    t.f.caixa_mensagem = [&](const QString& texto, const QString& titulo) {
      progresso_atras = progresso_atras || mostrado();
      t.m.textos << texto;
      t.m.titulos << titulo;
    };
    t.f.show();
    t.escolhe("Hayford-Gauss Datum 73");
    t.f.Text1->setText(entrada);
    t.f.Text2->setText(saida);
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QCOMPARE(perguntas, 2);
    QVERIFY(!progresso_atras);
    // Cancelled, the window says that nothing was changed.
    QCOMPARE(t.m.textos, QStringList{QString::fromUtf8(interrompida().what())});
    QVERIFY(t.f.isVisible());
    QCOMPARE(t.f.Text1->text(), entrada);
    QCOMPARE(t.f.Text2->text(), saida);
    QCOMPARE(t.f.Combo2->currentText(), QString("ETRS89 TM06"));
    QCOMPARE(QDir(pasta.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"rios.dbf", "rios.shp", "rios.shx", "rios_etrs.shp"}));
    QFile velho(saida);
    QVERIFY(velho.open(QIODevice::ReadOnly));
    QCOMPARE(velho.readAll(), QByteArray("velho"));
    velho.close();
    QCOMPARE(t.f.dialogo_progresso(), nullptr);
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    t.f.caixa_pergunta = [](const QString&, const QString&) { return true; };
    t.m = {};
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QCOMPARE(t.m.textos, QStringList{"Criado o ficheiro: " + saida});
    QVERIFY(!t.f.isVisible());
  }

  // Several files: picked together they show in double quotes and the
  // output's Procurar... picks a folder; one question for the outputs that
  // exist, one message at the end naming the one that failed with its cause,
  // the window still open; all created, it closes.
  void varios_ficheiros()
  {
    QTemporaryDir pasta;
    const QString a = pasta.filePath("a.shp"), b = pasta.filePath("b.shp"),
                  estragado = pasta.filePath("estragado.shp"), saida = pasta.filePath("etrs");
    pontos(a, {-90000});
    pontos(b, {-80000, -70000});
    grava(estragado, "nada");
    QDir().mkpath(saida);
    grava(saida + "/a.shp", "velho");
    grava(saida + "/b.shp", "velho");
    janela_de_teste t;
    t.f.dialogo_ficheiro = [&](const QString&, bool, bool) -> std::optional<QString> {
      return Form1::entre_aspas({a, estragado, b});
    };
    QString inicial_pasta;
    t.f.dialogo_pasta = [&](const QString& inicial) -> std::optional<QString> {
      inicial_pasta = inicial;
      return saida;
    };
    QStringList perguntas;
    t.f.caixa_pergunta = [&](const QString& texto, const QString&) {
      perguntas << texto;
      return true;
    };
    t.f.show();
    t.escolhe("Hayford-Gauss Datum 73");
    QTest::mouseClick(t.f.Command3, Qt::LeftButton);
    const auto nativo = [](const QString& n) { return QDir::toNativeSeparators(n); };
    QCOMPARE(t.f.Text1->text(),
             "\"" + nativo(a) + "\" \"" + nativo(estragado) + "\" \"" + nativo(b) + "\"");
    QCOMPARE(Form1::nomes_de(t.f.Text1->text()), (QStringList{nativo(a), nativo(estragado), nativo(b)}));
    // The labels count the inputs and say the output is a folder; the box
    // shows the list from its start.
    QCOMPARE(t.f.Label4->text(), QString("3 ficheiros SHAPEFILE no Sistema 1"));
    QCOMPARE(t.f.Label5->text(), QString::fromUtf8("Pasta de saída no Sistema 2"));
    QCOMPARE(t.f.Text1->cursorPosition(), 0);
    QCOMPARE(t.f.Text1->toolTip(), nativo(a) + "\n" + nativo(estragado) + "\n" + nativo(b));
    QTest::mouseClick(t.f.Command4, Qt::LeftButton);
    QCOMPARE(inicial_pasta, pasta.path());
    QCOMPARE(t.f.Text2->text(), nativo(saida));
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QCOMPARE(perguntas.size(), 1);
    QVERIFY2(perguntas[0].startsWith("Já existem 2 dos ficheiros de saída: "), qPrintable(perguntas[0]));
    QCOMPARE(t.m.textos.size(), 1);
    const QString fim = t.m.textos[0];
    QVERIFY2(fim.startsWith("Criados 2 de 3 ficheiros em \"" + nativo(saida) + "\".\n\nFalharam:\n\n\"" +
                            nativo(estragado) + "\":\n"),
             qPrintable(fim));
    QVERIFY2(fim.contains("estragado"), qPrintable(fim));
    QVERIFY(t.f.isVisible());
    QCOMPARE(t.f.Text2->text(), nativo(saida));
    QCOMPARE(QDir(saida).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"a.dbf", "a.prj", "a.shp", "a.shx", "b.dbf", "b.prj", "b.shp", "b.shx"}));
    QVERIFY(QFileInfo(saida + "/b.shp").size() > 100);

    // Typed the same way, all good: the program ends as after one file.
    t.m = {};
    perguntas.clear();
    t.f.Text1->setText(a);
    QCOMPARE(t.f.Label5->text(), QString("Ficheiro SHAPEFILE no Sistema 2   (*.shp)"));
    t.f.Text1->setText("\"" + a + "\" \"" + b + "\"");
    QCOMPARE(t.f.Label4->text(), QString("2 ficheiros SHAPEFILE no Sistema 1"));
    QTest::mouseClick(t.f.Command1, Qt::LeftButton);
    QCOMPARE(perguntas.size(), 1);
    QCOMPARE(t.m.textos, QStringList{"Criados 2 de 2 ficheiros em \"" + nativo(saida) + "\"."});
    QCOMPARE(t.m.titulos, QStringList{"Ostrel - Kelvara"});
    QVERIFY(!t.f.isVisible());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void sem_ecra_diz_em_portugues()
  {
#ifdef _WIN32
    QSKIP("no Windows a janela abre sempre num ecrã: não há DISPLAY que possa faltar");
#endif
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    p.setProcessEnvironment(env);
    p.start(KELVARA_JANELA, {});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    const QString erros = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(erros.startsWith("kelvara: não há ecrã"), qPrintable(erros));
    QVERIFY(!erros.contains("plugin"));
  }

 private:
  // Points at x along y = -100000, one record each.
  static void pontos(const QString& shp, const QList<double>& xs)
  {
    SHPHandle h = SHPCreate(shp.toUtf8().constData(), SHPT_POINT);
    DBFHandle dbf = DBFCreate(shp.toUtf8().constData());
    DBFAddField(dbf, "ID", FTInteger, 4, 0);
    for (int k = 0; k < xs.size(); ++k) {
      double x = xs[k], y = -100000;
      SHPObject* o = SHPCreateSimpleObject(SHPT_POINT, 1, &x, &y, nullptr);
      SHPWriteObject(h, -1, o);
      SHPDestroyObject(o);
      DBFWriteIntegerAttribute(dbf, k, 0, k);
    }
    SHPClose(h);
    DBFClose(dbf);
  }
  static void ponto(const QString& shp, double x, double y)
  {
    SHPHandle h = SHPCreate(shp.toUtf8().constData(), SHPT_POINT);
    DBFHandle dbf = DBFCreate(shp.toUtf8().constData());
    DBFAddField(dbf, "ID", FTInteger, 4, 0);
    SHPObject* o = SHPCreateSimpleObject(SHPT_POINT, 1, &x, &y, nullptr);
    SHPWriteObject(h, -1, o);
    SHPDestroyObject(o);
    DBFWriteIntegerAttribute(dbf, 0, 0, 7);
    SHPClose(h);
    DBFClose(dbf);
  }
  static void grava(const QString& nome, const char* texto)
  {
    QFile f(nome);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(texto);
  }
  traducao_pt traducao_;
};

QTEST_MAIN(teste_janela)
#include "teste_janela.moc"
