// The assessment screen as a person uses it: opened from the module's entry
// as a child of the host window, dates and measures typed, "Avaliar"
// clicked; the answers of the real server on the seeded sample, the
// child's point on the curves, a bad value refused, the defaults, no stale
// result and the references chosen.

#include "avaliacao_fixture.h"

#include "screens/tabrelpeso/tabrelpeso_chart.h"

#include <QApplication>
#include <QClipboard>
#include <QSet>

#include <functional>

namespace {

using namespace avaliacaotest;

TEST_F(AvaliacaoTest, TypedChildrenGetThePublishedAnswersAndTheirPointOnTheCurves) {
  ASSERT_EQ(area_->subWindowList().size(), 1);
  EXPECT_EQ(area_->subWindowList().first()->widget(), screen_.data());
  QTest::mouseClick(screen_->ToolButton("sbtAjuda"), Qt::LeftButton);
  ASSERT_EQ(dialogs_.HelpRequests().size(), 1);
  EXPECT_EQ(dialogs_.HelpRequests()[0].second, 11153607);
  struct Case {
    int sex;  // 0 masculino, 1 feminino
    const char* birth;
    const char* measured;
    const char* age;
    const char* weight;
    const char* stature;
    int position;  // 0 deitado, 1 em pé
    const char* indicator;
    double z;
    const char* classification;
    bool implausible;
  };
  const Case cases[] = {
      {1, "01012020", "02032024", "4 anos, 2 meses e 1 dia", "17", "", 0, "peso_idade", 0.24,
       "Peso adequado para a idade", false},
      // 987 days.
      {0, "01012020", "14092022", "2 anos, 8 meses e 13 dias", "", "72,86", 0, "estatura_idade",
       -6.09, "valor implausível: confira a medida", true},
      // 731 days: 24 months.
      {1, "01012020", "01012022", "2 anos, 0 meses e 0 dias", "", "77,5", 1, "estatura_idade",
       -2.55, "Baixa estatura para a idade", false},
  };
  for (const Case& c : cases) {
    Choose(screen_->cbbSexo, c.sex);
    TypeInto(screen_->medNascimento, QString::fromLatin1(c.birth));
    TypeInto(screen_->medMedicao, QString::fromLatin1(c.measured));
    EXPECT_EQ(screen_->lblIdade->text(), QString::fromUtf8(c.age));
    TypeInto(screen_->edtPeso, QString::fromLatin1(c.weight));
    TypeInto(screen_->edtMedida, QString::fromLatin1(c.stature));
    Choose(screen_->cbbPosicao, c.position);
    TypeInto(screen_->edtPerimetro, QString());
    Avaliar();
    EXPECT_TRUE(dialogs_.MessageTexts().isEmpty())
        << dialogs_.MessageTexts().join('\n').toStdString();
    ExpectColumnsShowTheirText();
    ASSERT_TRUE(Row("02", c.indicator)) << c.indicator;
    EXPECT_NEAR(Number("VRZ"), c.z, 0.01);
    EXPECT_EQ(Text("DSCLASSIFICACAO"), QString::fromUtf8(c.classification));
    EXPECT_EQ(Text("DSALERTA").isEmpty(), !c.implausible);
    // The row made current draws its reference's curves and the child's point.
    const report::ChartData& chart = screen_->grfCrianca->Data();
    ASSERT_FALSE(chart.series.isEmpty());
    const report::ChartSeries& child = chart.series.last();
    EXPECT_EQ(child.label, "Criança");
    ASSERT_EQ(child.points.size(), 1);
    EXPECT_NEAR(child.points[0].y(),
                QString::fromLatin1(*c.weight ? c.weight : c.stature).replace(',', '.').toDouble(),
                1e-9);
    EXPECT_GT(chart.series.size(), 5);  // the kept percentiles of reference 02
  }
  // Standing at 7 months: the WHO ignores the position and the alert says so.
  Choose(screen_->cbbSexo, 1);
  TypeInto(screen_->medMedicao, "01082020");
  TypeInto(screen_->edtPeso, "");
  TypeInto(screen_->edtMedida, "65");
  Choose(screen_->cbbPosicao, 1);
  Avaliar();
  ASSERT_TRUE(Row("02", "estatura_idade"));
  ExpectColumnsShowTheirText();
  EXPECT_TRUE(Text("DSALERTA").contains(QStringLiteral("posição ignorada")))
      << Text("DSALERTA").toStdString();
}

TEST_F(AvaliacaoTest, ABadValueIsRefusedWithItsFocusAndWhatWasTypedStays) {
  Choose(screen_->cbbSexo, 1);
  TypeInto(screen_->medNascimento, "01012020");
  TypeInto(screen_->medMedicao, "02032024");
  TypeInto(screen_->edtPeso, "17");
  Avaliar();
  ASSERT_TRUE(Row("02", "peso_idade"));
  dialogs_.Clear();
  // Keys that cannot make a number never reach the field.
  TypeInto(screen_->edtMedida, "-3a");
  EXPECT_EQ(screen_->edtMedida->text(), "3");
  TypeInto(screen_->edtMedida, "");
  struct Bad {
    QLineEdit* edit;
    const char* text;
    bool pasted;
    const char* message;
  };
  for (const Bad& b :
       {Bad{screen_->edtPeso, "dezessete", true, "Peso inválido: 'dezessete'"},
        Bad{screen_->medMedicao, "01011999", false, "anterior à data de nascimento"}}) {
    const QString kept = b.edit->text();
    if (b.pasted) {
      QApplication::clipboard()->setText(QString::fromLatin1(b.text));
      QTest::mouseClick(b.edit, Qt::LeftButton);
      b.edit->selectAll();
      QTest::keyClick(b.edit, Qt::Key_V, Qt::ControlModifier);
      Flush();
    } else {
      TypeInto(b.edit, QString::fromLatin1(b.text));
    }
    Avaliar();
    ASSERT_FALSE(dialogs_.MessageTexts().isEmpty()) << b.text;
    EXPECT_TRUE(dialogs_.MessageTexts().last().contains(QString::fromUtf8(b.message)))
        << dialogs_.MessageTexts().last().toStdString();
    EXPECT_EQ(main_->focusWidget(), b.edit);
    EXPECT_EQ(b.edit->text().remove('/'), QString::fromLatin1(b.text));  // what was typed stays
    EXPECT_FALSE(Row("02", "peso_idade"));  // no answer under the changed input
    dialogs_.Clear();
    TypeInto(b.edit, QString(kept).remove('/'));
  }
}

TEST_F(AvaliacaoTest, TheAssessmentGoesToPdfThroughTheReportEngine) {
  Choose(screen_->cbbSexo, 0);
  TypeInto(screen_->medNascimento, "01012020");
  TypeInto(screen_->medMedicao, "02032024");
  TypeInto(screen_->edtPeso, "17");
  TypeInto(screen_->edtMedida, "103");
  Choose(screen_->cbbPosicao, 1);
  Avaliar();
  const QString pdf = dir_->filePath("avaliacao.pdf");
  dialogs_.QueueSaveFile(pdf);
  QTest::mouseClick(screen_->ToolButton("sbtPdf"), Qt::LeftButton);
  Flush();
  EXPECT_TRUE(dialogs_.MessageTexts().isEmpty())
      << dialogs_.MessageTexts().join('\n').toStdString();
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.read(5).startsWith("%PDF"));
  EXPECT_GT(f.size(), 1000);
}

TEST_F(AvaliacaoTest, NoSexUntilChosenThePositionFollowsTheAgeAndNumbersFollowTheRules) {
  EXPECT_EQ(screen_->cbbSexo->currentIndex(), -1);
  TypeInto(screen_->medNascimento, "10012021");
  TypeInto(screen_->medMedicao, "20012024");
  TypeInto(screen_->edtPeso, "14.2");  // the point gives the comma
  EXPECT_EQ(screen_->edtPeso->text(), "14,2");
  QTest::keyClicks(screen_->edtPeso, "x,");  // a letter and a second comma refused
  EXPECT_EQ(screen_->edtPeso->text(), "14,2");
  TypeInto(screen_->edtMedida, "95");
  Avaliar();
  ASSERT_EQ(dialogs_.MessageTexts().size(), 1);
  EXPECT_TRUE(dialogs_.MessageTexts()[0].contains("sexo"))
      << dialogs_.MessageTexts()[0].toStdString();
  EXPECT_EQ(QApplication::focusWidget(), screen_->cbbSexo);
  EXPECT_FALSE(Row("02", "estatura_idade"));
  dialogs_.Clear();

  // The girl of 3 years, position untouched: standing, as the WHO measures
  // from 2 years (day 1105 of lenanthro, no 0,7 cm taken off).
  Choose(screen_->cbbSexo, 1);
  EXPECT_EQ(screen_->cbbPosicao->currentIndex(), 1);
  EXPECT_TRUE(screen_->lblPosicao->text().isEmpty());
  Avaliar();
  ASSERT_TRUE(dialogs_.MessageTexts().isEmpty())
      << dialogs_.MessageTexts().join('\n').toStdString();
  ASSERT_TRUE(Row("02", "estatura_idade"));
  EXPECT_NEAR(Number("VRZ"), WhoZ("lenanthro.txt", 2, 1105, 95), 0.006);

  struct Age {
    const char* measured;
    int position;  // 0 deitado, 1 em pé
  };
  // Day 731 (11/01/2023) is the first standing one, as in the WHO's anthro.
  for (const Age& a : {Age{"10062022", 0}, Age{"11012023", 1}, Age{"10012023", 0}}) {
    TypeInto(screen_->medMedicao, a.measured);
    EXPECT_EQ(screen_->cbbPosicao->currentIndex(), a.position) << a.measured;
  }
  // Chosen by the user: kept when the age changes, and shown as changed.
  Choose(screen_->cbbPosicao, 1);
  EXPECT_TRUE(screen_->lblPosicao->text().contains("deitado"))
      << screen_->lblPosicao->text().toStdString();
  TypeInto(screen_->medMedicao, "10062021");
  EXPECT_EQ(screen_->cbbPosicao->currentIndex(), 1);
  EXPECT_FALSE(screen_->lblPosicao->text().isEmpty());
}

TEST_F(AvaliacaoTest, AnyChangeOfInputClearsTheResultsAndPrintingRefusesThem) {
  const QString pdf = dir_->filePath("velho.pdf");
  struct Change {
    const char* what;
    std::function<void()> act;
  };
  const Change changes[] = {
      {"peso", [&] { TypeInto(screen_->edtPeso, "20"); }},
      {"nascimento", [&] { TypeInto(screen_->medNascimento, "01011999"); }},
      {"sexo", [&] { Choose(screen_->cbbSexo, 0); }},
      {"posição", [&] { Choose(screen_->cbbPosicao, 0); }},
      {"idade gestacional", [&] { TypeInto(screen_->edtSemanas, "33"); }},
      {"referência", [&] { Toggle("01"); }},
  };
  for (const Change& c : changes) {
    if (Checked().contains("01")) Toggle("01");
    TypeGirl();
    Choose(screen_->cbbPosicao, 1);
    TypeInto(screen_->edtSemanas, "");
    Avaliar();
    ASSERT_TRUE(Row("02", "peso_idade")) << c.what;
    c.act();
    EXPECT_FALSE(Row("02", "peso_idade")) << c.what;
    EXPECT_TRUE(screen_->grfCrianca->Data().series.isEmpty()) << c.what;
    EXPECT_FALSE(screen_->lblSituacao->text().isEmpty()) << c.what;
    const QStringList shown = SavePdf(pdf);
    ASSERT_EQ(shown.size(), 1) << c.what;
    EXPECT_TRUE(shown[0].contains("Avaliar")) << shown[0].toStdString();
    EXPECT_FALSE(QFile::exists(pdf)) << c.what;
    dialogs_.Clear();
  }
}

TEST_F(AvaliacaoTest, TheWhoReferencesByDefaultTheChoiceRememberedForTheUser) {
  // The sample: 01 CDC 2000, 02 and 05 the WHO's.
  EXPECT_EQ(Checked(), QStringList({"02", "05"}));
  Toggle("05");
  Toggle("01");
  EXPECT_EQ(Checked(), QStringList({"01", "02"}));
  TypeGirl();
  Avaliar();
  QSet<QString> refs;
  fw::Dataset* ds = screen_->cdsAvaliacao;
  for (ds->First(); !ds->Eof(); ds->Next()) refs << ds->FieldByName(u"CDREFEBIBL")->AsString();
  EXPECT_EQ(refs, QSet<QString>({"01", "02"}));
  // None chosen: refused, nothing asked of the server.
  Toggle("01");
  Toggle("02");
  dialogs_.Clear();
  Avaliar();
  ASSERT_EQ(dialogs_.MessageTexts().size(), 1);
  EXPECT_TRUE(dialogs_.MessageTexts()[0].contains("referência"));
  Toggle("02");
  screen_->Close();
  Flush();
  OpenAvaliacao();
  EXPECT_EQ(Checked(), QStringList({"02"}));
}

TEST_F(AvaliacaoTest, TheChildIsAlsoOnTheCurvesWindowOfTheMaintenanceScreen) {
  Open();  // the maintenance screen, its curves window on the age table
  Click("sbtGrafico");
  Flush();
  trp::tabrelpeso::TfrmGrafico* curves = form_->frmGrafico.data();
  ASSERT_NE(curves, nullptr);
  Choose(curves->cbbSexoGrafico, 1);
  area_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(screen_->parentWidget()));
  Flush();
  TypeGirl();
  Avaliar();
  ASSERT_TRUE(Row("02", "peso_idade"));
  Flush();
  const auto child = [&]() -> const report::ChartSeries* {
    const report::ChartData& data = curves->grfCurvas->Data();
    return !data.series.isEmpty() && data.series.last().label == "Criança" ? &data.series.last()
                                                                           : nullptr;
  };
  ASSERT_NE(child(), nullptr);
  ASSERT_EQ(child()->points.size(), 1);
  EXPECT_NEAR(child()->points[0].x(), 1105 / 30.4375, 1e-9);
  EXPECT_NEAR(child()->points[0].y(), 14.2, 1e-9);
  // Another measure shows its own value; a changed input takes the point away.
  Choose(curves->cbbMedidaGrafico, 1);
  ASSERT_NE(child(), nullptr);
  EXPECT_NEAR(child()->points[0].y(), 95, 1e-9);
  TypeInto(screen_->edtPeso, "15");
  Flush();
  EXPECT_EQ(child(), nullptr);
}

}  // namespace
