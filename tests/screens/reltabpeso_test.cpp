// The report selection screen opened from the maintenance screen's Imprimir,
// clicked through while it runs modally; the report saved, previewed and
// printed through the real engine and read back from the PDF.

#include "framework/data/format.h"
#include "framework/sql/localdb.h"
#include "framework/ui/guard.h"
#include "framework/ui/host_services.h"
#include "report/report_engine.h"
#include "report/report_render.h"
#include "screens/reltabpeso/reltabpeso_form.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <functional>

using trp::reltabpeso::TfrmRelTabPeso;

namespace screentest {
namespace {

// Runs `act` on the first modal widget of type T once it shows.
template <typename T>
void WhenModal(const std::function<void(T*)>& act, bool* ran) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [act, ran, poll] {
    auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!w) {
      QTimer::singleShot(10, *poll);
      return;
    }
    *ran = true;
    act(w);
  };
  QTimer::singleShot(10, *poll);
}

QString Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfPages(const QString& path) {
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(Run("pdfinfo", {path}));
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PdfText(const QString& path) { return Run("pdftotext", {"-layout", path, "-"}); }

class Report : public SampleScreenTest {
 public:
  // The engine the host installs.
  void SetUp() override {
    fw::InstallReportEngine(&report::DefaultEngine());
    SampleScreenTest::SetUp();
  }
  void TearDown() override {
    SampleScreenTest::TearDown();
    fw::InstallReportEngine(nullptr);
  }
  // Clicks Imprimir and hands the report screen to `act`, then closes it.
  void WithReport(const std::function<void(TfrmRelTabPeso*)>& act) {
    bool ran = false;
    WhenModal<TfrmRelTabPeso>(
        [&](TfrmRelTabPeso* d) {
          act(d);
          if (d->isVisible()) d->reject();
        },
        &ran);
    Click("sbtImprimir");
    EXPECT_TRUE(ran);
  }
  static void ClickOn(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2)); }
  // Ticks `codes` in the list of `button` (the list dialog is scripted).
  void Pick(fw::TBtnPesquisa* button, const QStringList& codes) {
    dialogs_.QueuePickList(codes);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  QString Save(TfrmRelTabPeso* d, const char* name) {
    const QString path = dir_->filePath(QLatin1String(name));
    dialogs_.QueueSaveFile(path);
    QTest::mouseClick(d->sbtSalvarComo, Qt::LeftButton);
    return path;
  }
  static QString ShownAsTheScreen(double value) { return fw::FormatFloat(value, "#,##0.000"); }
  static double Db(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(QLatin1String(fw::kLocalConnectionName)));
    return q.exec(sql) && q.next() ? q.value(0).toDouble() : -1;
  }
};

TEST_F(Report, ImprimirOpensAFreshScreenEveryTimeAndLeavesTheRowAlone) {
  ClickTab(form_->tshIdPesAlt);
  ClickCell(form_->dbgIdPesAltMasc, 0, 2);
  ASSERT_TRUE(Enabled("sbtImprimir"));
  for (int opening = 0; opening < 2; ++opening) {
    WithReport([&](TfrmRelTabPeso* d) {
      EXPECT_EQ(d->lblCodTela->text(), QStringLiteral("Qel53601"));
      EXPECT_EQ(d->ReportCode(), QStringLiteral("QEL536"));
      EXPECT_TRUE(d->rbtTodosRefe->isChecked());
      EXPECT_TRUE(d->rbtTodosPerc->isChecked());
      EXPECT_FALSE(d->btpReferencia->isEnabled());
      EXPECT_FALSE(d->btpPercentil->isEnabled());
      EXPECT_TRUE(trp::reltabpeso::stReferencia.isEmpty());
      EXPECT_TRUE(trp::reltabpeso::stPercentil.isEmpty());
      // Chosen lists that the next opening must not inherit.
      ClickOn(d->rbtListaRefe);
      ClickOn(d->rbtListaPerc);
      Pick(d->btpReferencia, {"01"});
      Pick(d->btpPercentil, {"050"});
      EXPECT_EQ(trp::reltabpeso::stReferencia, QStringLiteral("01"));
    });
  }
  EXPECT_EQ(form_->cdsIdPesAlt->State(), fw::DatasetState::Browse);
  EXPECT_EQ(form_->cdsIdPesAlt->ChangeCount(), 0);
}

TEST_F(Report, TheChoiceIsCheckedBeforeAnyOutputReferencesFirst) {
  struct Case {
    const char* name;
    std::function<void(Report*, TfrmRelTabPeso*)> choose;
    const char* message;  // empty: the report is written
    const char* focus;
  };
  const Case cases[] = {
      {"list of references left empty",
       [](Report*, TfrmRelTabPeso* d) { ClickOn(d->rbtListaRefe); }, "Refe_Deve", "rbtListaRefe"},
      {"both lists empty: only the references",
       [](Report*, TfrmRelTabPeso* d) {
         ClickOn(d->rbtListaRefe);
         ClickOn(d->rbtListaPerc);
       },
       "Refe_Deve", "rbtListaRefe"},
      {"list of percentiles left empty",
       [](Report*, TfrmRelTabPeso* d) { ClickOn(d->rbtListaPerc); }, "Perc_Deve", "rbtListaPerc"},
      {"Todos then Lista again forgets the references",
       [](Report* t, TfrmRelTabPeso* d) {
         ClickOn(d->rbtListaRefe);
         t->Pick(d->btpReferencia, {"01"});
         ClickOn(d->rbtTodosRefe);
         EXPECT_FALSE(d->btpReferencia->isEnabled());
         ClickOn(d->rbtListaRefe);
         EXPECT_TRUE(d->btpReferencia->isEnabled());
       },
       "Refe_Deve", "rbtListaRefe"},
      {"the percentiles survive the references' Todos",
       [](Report* t, TfrmRelTabPeso* d) {
         ClickOn(d->rbtListaPerc);
         t->Pick(d->btpPercentil, {"050"});
         ClickOn(d->rbtListaRefe);
         t->Pick(d->btpReferencia, {"01"});
         ClickOn(d->rbtTodosRefe);
         EXPECT_EQ(trp::reltabpeso::stPercentil, QStringLiteral("050"));
       },
       "", ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WithReport([&](TfrmRelTabPeso* d) {
      c.choose(this, d);
      dialogs_.Clear();
      const QString path = Save(d, qPrintable(QStringLiteral("r%1.pdf").arg(++n)));
      if (*c.message) {
        EXPECT_EQ(dialogs_.MessageTexts(), QStringList{d->msgPadrao->Msg(QLatin1String(c.message))});
        ASSERT_TRUE(d->focusWidget());
        EXPECT_EQ(d->focusWidget()->objectName(), QLatin1String(c.focus));
        EXPECT_EQ(dialogs_.PendingScript(), 1) << "the file was asked for";
        EXPECT_FALSE(QFile::exists(path));
      } else {
        EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
        EXPECT_GT(PdfPages(path), 0);
      }
    });
  }
}

TEST_F(Report, QueryParametersFollowTheChoiceAndOnlyWhereTheQueryHasThem) {
  WithReport([&](TfrmRelTabPeso* d) {
    struct Case {
      QStringList params;
      bool lists;
      QString refe, perc;  // expected values; "-" absent
    };
    const Case cases[] = {
        {{"P_CDREFERENCIA", "P_CDPERCENTIL"}, false, "T", "T"},
        {{"P_CDREFERENCIA", "P_CDPERCENTIL"}, true, "01,02", "003,050"},
        {{"P_CDREFERENCIA"}, true, "01,02", "-"},
        {{"P_CDPERCENTIL"}, false, "-", "T"},
        {{}, true, "-", "-"},
    };
    for (const Case& c : cases) {
      (c.lists ? d->rbtListaRefe : d->rbtTodosRefe)->click();
      (c.lists ? d->rbtListaPerc : d->rbtTodosPerc)->click();
      if (c.lists) {
        Pick(d->btpReferencia, {"01", "02"});
        Pick(d->btpPercentil, {"003", "050"});
      }
      fw::TQueryParams params(c.params);
      bool handled = false;
      d->rpddPadrao->GetQueryParams(params);
      EXPECT_FALSE(handled);
      auto value = [&](const char* name) {
        return params.ExistParam(QLatin1String(name))
                   ? params.ParamByName(QLatin1String(name)).Value().toString()
                   : QStringLiteral("-");
      };
      EXPECT_EQ(value("P_CDREFERENCIA"), c.refe) << c.params.join(',').toStdString();
      EXPECT_EQ(value("P_CDPERCENTIL"), c.perc) << c.params.join(',').toStdString();
      EXPECT_EQ(params.Params().size(), c.params.size());
    }
  });
}

TEST_F(Report, TheSavedReportHoldsTheChosenTablesAsTheScreenShowsThem) {
  const double boys24 =
      Db("SELECT VRPESOMASIDA FROM PESALTIDADE WHERE CDREFEBIBL = '01' AND CDPERCENTIL = '050' "
         "AND NRIDADEINI = 2 AND NRIDADEFIN = 0");
  ASSERT_GT(boys24, 0);
  QString p50, only04;
  WithReport([&](TfrmRelTabPeso* d) {
    dialogs_.QueueInput(QStringLiteral("Tabelas do ambulatório"));
    ClickOn(d->rbtListaPerc);
    Pick(d->btpPercentil, {"050"});
    p50 = Save(d, "p50.pdf");
    ClickOn(d->rbtTodosPerc);
    ClickOn(d->rbtListaRefe);
    Pick(d->btpReferencia, {"04"});
    only04 = Save(d, "ref04.pdf");
  });
  EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
  EXPECT_EQ(dialogs_.BusyDepth(), 0);

  // Every reference, percentile 50 only.
  const QString text = PdfText(p50);
  const int pages = PdfPages(p50);
  EXPECT_GT(pages, 10);
  EXPECT_TRUE(text.contains(QStringLiteral("Tabelas do ambulatório")));
  EXPECT_TRUE(text.contains(QStringLiteral("página 1 de %1").arg(pages)));
  EXPECT_TRUE(text.contains(QStringLiteral("página %1 de %1").arg(pages)));
  EXPECT_TRUE(text.contains(QStringLiteral("Referência 01 - CDC 2000")));
  EXPECT_TRUE(text.contains(QStringLiteral("Referência 02 - ")));
  EXPECT_TRUE(text.contains(QStringLiteral("Referência 04 - ")));
  EXPECT_FALSE(text.contains(QStringLiteral("(003)")));
  // The boys' weight at 2 years 0 months, after CDC 2000's percentile 50 title.
  const qsizetype cdc = text.indexOf(QStringLiteral("Referência 01 - CDC 2000"));
  const qsizetype title = text.indexOf(QStringLiteral("idade - Percentil 50 (050)"), cdc);
  ASSERT_GE(title, 0);
  const QRegularExpression row(QStringLiteral("\\n\\s*2\\s+0\\s+%1\\s")
                                   .arg(QRegularExpression::escape(ShownAsTheScreen(boys24))));
  EXPECT_TRUE(row.match(text, title).hasMatch()) << ShownAsTheScreen(boys24).toStdString();
  // Every page of an age table repeats the column titles.
  EXPECT_EQ(text.count(QStringLiteral("Anos")), text.count(QStringLiteral("Meses")));
  EXPECT_GE(text.count(QStringLiteral("Anos")), 6);
  // The curves follow each reference's tables.
  EXPECT_GT(text.indexOf(QStringLiteral("Curvas por idade - masculino")), title);

  // One row: its table page, then the curves of its table for each sex.
  const QString ref04 = PdfText(only04);
  EXPECT_EQ(PdfPages(only04), 3);
  EXPECT_TRUE(ref04.contains(QStringLiteral("110,50")));
  EXPECT_TRUE(ref04.contains(QStringLiteral("Curvas de peso por altura - feminino")));
  EXPECT_FALSE(ref04.contains(QStringLiteral("CDC 2000")));
}

TEST_F(Report, ACancelledTitleOrFileWritesNothingAndSaysNothing) {
  WithReport([&](TfrmRelTabPeso* d) {
    dialogs_.QueueInputCancel();
    const QString path = Save(d, "cancelado.pdf");
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(dialogs_.PendingScript(), 1);  // the file was never asked
    dialogs_.Clear();
    QTest::mouseClick(d->sbtSalvarComo, Qt::LeftButton);  // the file dialog cancelled
    EXPECT_TRUE(dialogs_.Messages().isEmpty());
    EXPECT_TRUE(d->isVisible());
  });
}

TEST_F(Report, AMissingDefinitionNamesTheCodeAndTheFolder) {
  const QString empty = dir_->filePath(QStringLiteral("relatorios"));
  ASSERT_TRUE(QDir().mkpath(empty));
  fw::Host::Instance().SetReportsDir(empty);
  WithReport([&](TfrmRelTabPeso* d) {
    const QString path = Save(d, "sem.pdf");
    const QString expected = report::FormatMessage(d->msgPadrao->Msg(QStringLiteral("Arq_Rel_Err")),
                                                   {QStringLiteral("QEL536"), empty});
    EXPECT_EQ(dialogs_.MessageTexts(), QStringList{expected});
    EXPECT_TRUE(expected.contains(QStringLiteral("'QEL536'")));
    EXPECT_TRUE(expected.contains(QLatin1Char('\'') + empty + QLatin1Char('\'')));
    EXPECT_FALSE(QFile::exists(path));
  });
}

TEST_F(Report, PreviewAndPrintDrawThePagesOfTheChoice) {
  const QString printed = dir_->filePath(QStringLiteral("impresso.pdf"));
  int previewPages = -1;
  WithReport([&](TfrmRelTabPeso* d) {
    ClickOn(d->rbtListaRefe);
    Pick(d->btpReferencia, {"04"});
    bool previewed = false;
    WhenModal<QPrintPreviewDialog>(
        [&](QPrintPreviewDialog* preview) {
          auto* widget = preview->findChild<QPrintPreviewWidget*>();
          previewPages = widget ? widget->pageCount() : -1;
          preview->reject();
        },
        &previewed);
    QTest::mouseClick(d->sbtPreview, Qt::LeftButton);
    EXPECT_TRUE(previewed);
    bool printedRan = false;
    WhenModal<QPrintDialog>(
        [&](QPrintDialog* dialog) {
          // As a person would: the "print to file" entry, the file name, OK.
          auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers"));
          auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
          auto* buttons = dialog->findChild<QDialogButtonBox*>();
          ASSERT_TRUE(printers && file && buttons);
          printers->setCurrentIndex(printers->count() - 1);
          file->setText(printed);
          QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        },
        &printedRan);
    QTest::mouseClick(d->sbtPrint, Qt::LeftButton);
    EXPECT_TRUE(printedRan);
  });
  EXPECT_TRUE(dialogs_.Messages().isEmpty()) << dialogs_.MessageTexts().join('\n').toStdString();
  EXPECT_EQ(previewPages, 3);
  EXPECT_EQ(PdfPages(printed), 3);
  EXPECT_TRUE(PdfText(printed).contains(QStringLiteral("110,50")));
}

}  // namespace
}  // namespace screentest
