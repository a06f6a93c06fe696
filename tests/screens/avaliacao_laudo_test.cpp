// The assessment as it is filed, through the screen: the printout read back
// with pdftotext (every field, the measurement date apart from the printing
// date) and its chart page rendered, a series of visits, the corrected age
// of a preterm child; and `tabrelpeso-admin assess --pdf` writing the same
// printout.

#include "avaliacao_fixture.h"

#include <QDate>
#include <QImage>

namespace {

using namespace avaliacaotest;

QString PdfText(const QString& path) { return Run("pdftotext", {"-layout", path, "-"}); }

// Pixels not near white in the middle of page `page` (where a chart plots).
int InkInPlotArea(const QString& pdf, int page, const QString& dir) {
  const QString prefix = dir + QStringLiteral("/pagina");
  Run("pdftoppm", {"-r", "40", "-png", "-f", QString::number(page), "-l", QString::number(page),
                   "-singlefile", pdf, prefix});
  const QImage image(prefix + QStringLiteral(".png"));
  if (image.isNull()) return -1;
  int ink = 0;
  for (int y = image.height() * 35 / 100; y < image.height() * 85 / 100; ++y)
    for (int x = image.width() * 15 / 100; x < image.width() * 85 / 100; ++x)
      ink += qGray(image.pixel(x, y)) < 200;
  return ink;
}

TEST_F(AvaliacaoTest, ThePrintoutCarriesEveryFieldAndTheCharts) {
  TypeInto(screen_->edtNome, "Maria da Silva");
  TypeInto(screen_->edtProntuario, "PR-4471");
  TypeGirl();
  TypeInto(screen_->edtPerimetro, "48");
  Avaliar();
  // The BMI chart: curves from the L, M and S (P50 is M: day 1095 of
  // bmianthro), the child's point, the axis cut to her age.
  ASSERT_TRUE(Row("02", "imc_idade"));
  const report::ChartData& chart = screen_->grfCrianca->Data();
  double median = 0;
  for (const report::ChartSeries& s : chart.series)
    if (s.label == "P50")
      for (const QPointF& p : s.points)
        if (std::abs(p.x() - 1095 / 30.4375) < 1e-3) median = p.y();
  EXPECT_NEAR(median, WhoM("bmianthro.txt", 2, 1095), 0.001);
  ASSERT_EQ(chart.series.last().label, "Criança");
  EXPECT_NEAR(chart.series.last().points[0].y(), 14.2 / (0.95 * 0.95), 1e-9);
  EXPECT_LE(screen_->grfCrianca->Geometry().xMax, 60);
  EXPECT_GE(screen_->grfCrianca->Geometry().xMin, 24);
  const QString pdf = dir_->filePath("laudo.pdf");
  const QStringList shown = SavePdf(pdf);
  ASSERT_TRUE(shown.isEmpty()) << shown.join('\n').toStdString();
  const QString text = PdfText(pdf).simplified();
  ASSERT_FALSE(text.isEmpty());
  // Day 1105 of the WHO's files for a girl.
  const double zWeight = WhoZ("weianthro.txt", 2, 1105, 14.2);
  const double zHeight = WhoZ("lenanthro.txt", 2, 1105, 95);
  const double bmi = 14.2 / (0.95 * 0.95);
  const double zBmi = WhoZ("bmianthro.txt", 2, 1105, bmi);
  const QString today = QDate::currentDate().toString("dd/MM/yyyy");
  for (const QString& field :
       {QStringLiteral("Maria da Silva"), QStringLiteral("PR-4471"),
        QStringLiteral("Sexo: feminino"), QStringLiteral("Nascimento: 10/01/2021"),
        QStringLiteral("Data da medição: 20/01/2024"), QStringLiteral("3 anos, 0 meses e 10 dias"),
        QStringLiteral("peso 14,2 kg"), QStringLiteral("estatura (em pé) 95 cm"),
        QStringLiteral("perímetro cefálico 48 cm"),
        QStringLiteral("IMC: %1 kg/m²").arg(QString::number(bmi, 'f', 2).replace('.', ',')),
        QStringLiteral("Peso para a idade ") + Shown(zWeight),
        QStringLiteral("Comprimento/estatura para a idade ") + Shown(zHeight),
        QStringLiteral("IMC para a idade ") + Shown(zBmi), QStringLiteral("entre P"),
        QStringLiteral("Peso adequado para a idade"),
        QStringLiteral("Estatura adequada para a idade"),
        QStringLiteral("Referência 02 - OMS 2006/2007"),
        QStringLiteral("Citação: WHO Multicentre Growth Reference Study Group"),
        QStringLiteral("Impresso em ") + today})
    EXPECT_TRUE(text.contains(field)) << field.toStdString() << "\n" << text.toStdString();
  EXPECT_NE(today, "20/01/2024");
  // The measurement date is never given as the printing date.
  EXPECT_FALSE(text.contains("Impresso em 20/01/2024"));
  // A chart page per indicator of reference 02 after its table, the curves drawn.
  for (const char* chart : {"Peso para a idade - OMS", "Comprimento/estatura para a idade - OMS",
                            "IMC para a idade - OMS", "Perímetro cefálico para a idade - OMS"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(chart))) << chart;
  EXPECT_GT(InkInPlotArea(pdf, 2, dir_->path()), 300);
}

TEST_F(AvaliacaoTest, ASeriesOfVisitsIsDrawnAsALineAndPrintedWithItsZ) {
  QFile csv(dir_->filePath("visitas.csv"));
  ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
  csv.write("data;peso;medida;estatura;pc\n10/07/2021;7,5;D;66;\n2022-01-10;9.0;D;75;\n");
  csv.close();
  TypeGirl();
  dialogs_.QueueOpenFile(csv.fileName());
  QTest::mouseClick(screen_->btnAbrirVisitas, Qt::LeftButton);
  Flush();
  ASSERT_TRUE(dialogs_.MessageTexts().isEmpty())
      << dialogs_.MessageTexts().join('\n').toStdString();
  EXPECT_EQ(screen_->cdsVisitas->RecordCount(), 2);
  Avaliar();
  ASSERT_TRUE(Row("02", "peso_idade"));
  EXPECT_NEAR(Number("VRZ"), WhoZ("weianthro.txt", 2, 1105, 14.2), 0.006);  // the typed visit
  const report::ChartData& chart = screen_->grfCrianca->Data();
  ASSERT_FALSE(chart.series.isEmpty());
  EXPECT_EQ(chart.series.last().label, "Criança");
  ASSERT_EQ(chart.series.last().points.size(), 3);
  EXPECT_NEAR(chart.series.last().points[0].y(), 7.5, 1e-9);
  EXPECT_NEAR(chart.series.last().points[2].y(), 14.2, 1e-9);
  // The axis fits the child: 6 to 36 months, not the 19 years of the reference.
  EXPECT_LE(screen_->grfCrianca->Geometry().xMax, 60);

  const QString pdf = dir_->filePath("serie.pdf");
  ASSERT_TRUE(SavePdf(pdf).isEmpty());
  const QStringList lines = PdfText(pdf).split('\n');
  struct Visit {
    const char* date;
    int days;
    double weight;
  };
  for (const Visit& v : {Visit{"10/07/2021", 181, 7.5}, Visit{"10/01/2022", 365, 9.0},
                         Visit{"20/01/2024", 1105, 14.2}}) {
    QStringList rows;
    for (const QString& l : lines)
      if (l.trimmed().startsWith(QLatin1String(v.date))) rows << l.simplified();
    ASSERT_FALSE(rows.isEmpty()) << v.date;
    EXPECT_TRUE(rows.first().contains(" " + Shown(WhoZ("weianthro.txt", 2, v.days, v.weight))))
        << rows.first().toStdString();
  }
  // The typed visit joins the series; the series goes back to the user's file.
  QTest::mouseClick(screen_->btnIncluirVisita, Qt::LeftButton);
  Flush();
  EXPECT_EQ(screen_->cdsVisitas->RecordCount(), 3);
  const QString saved = dir_->filePath("salvas.csv");
  dialogs_.QueueSaveFile(saved);
  QTest::mouseClick(screen_->btnSalvarVisitas, Qt::LeftButton);
  Flush();
  QFile back(saved);
  ASSERT_TRUE(back.open(QIODevice::ReadOnly));
  EXPECT_EQ(back.readAll(),
            "data;peso;medida;estatura;pc\n10/07/2021;7,5;D;66;\n10/01/2022;9;D;75;\n"
            "20/01/2024;14,2;P;95;\n");
  // A malformed file is refused whole and the series stays.
  csv.open(QIODevice::WriteOnly);
  csv.write("data;peso;medida;estatura;pc\n10/07/2021;sete;D;66;\n");
  csv.close();
  dialogs_.Clear();
  dialogs_.QueueOpenFile(csv.fileName());
  QTest::mouseClick(screen_->btnAbrirVisitas, Qt::LeftButton);
  Flush();
  ASSERT_EQ(dialogs_.MessageTexts().size(), 1);
  EXPECT_TRUE(dialogs_.MessageTexts()[0].contains("Linha 2"))
      << dialogs_.MessageTexts()[0].toStdString();
  EXPECT_EQ(screen_->cdsVisitas->RecordCount(), 3);
}

TEST_F(AvaliacaoTest, APretermChildIsAssessedAtCorrectedAgeUntil24Months) {
  struct Case {
    const char* birth;
    const char* measured;
    const char* weeks;
    int chronological;  // days
    int assessed;       // days: chronological minus the weeks short of 40
    double weight;
  };
  const Case cases[] = {
      // Born at 30 weeks, 6 months old: 10 weeks (70 days) short of term.
      {"01012024", "01072024", "30", 182, 112, 5.5},
      {"01022022", "01012024", "30", 699, 629, 10.5},
      // From 24 months of chronological age, no correction.
      {"01012022", "01012024", "30", 730, 730, 11},
      // At 37 weeks, none.
      {"01012024", "01072024", "37", 182, 182, 7},
  };
  for (const Case& c : cases) {
    Choose(screen_->cbbSexo, 1);
    TypeInto(screen_->medNascimento, c.birth);
    TypeInto(screen_->medMedicao, c.measured);
    TypeInto(screen_->edtSemanas, c.weeks);
    TypeInto(screen_->edtPeso, QString::number(c.weight).replace('.', ','));
    TypeInto(screen_->edtMedida, "");
    Avaliar();
    ASSERT_TRUE(Row("02", "peso_idade")) << c.measured;
    EXPECT_NEAR(Number("VRZ"), WhoZ("weianthro.txt", 2, c.assessed, c.weight), 0.006)
        << c.birth << " " << c.measured;
    EXPECT_EQ(screen_->lblIdadeCorrigida->text().isEmpty(), c.assessed == c.chronological);
  }
  // The printout says so, with both ages.
  TypeInto(screen_->medNascimento, "01012024");
  TypeInto(screen_->medMedicao, "01072024");
  TypeInto(screen_->edtSemanas, "30");
  Avaliar();
  const QString pdf = dir_->filePath("prematuro.pdf");
  ASSERT_TRUE(SavePdf(pdf).isEmpty());
  const QString text = PdfText(pdf).simplified();
  for (const char* field :
       {"Idade gestacional ao nascer: 30 semanas e 0 dias", "Idade: 0 anos, 6 meses e 0 dias",
        "Idade corrigida: 0 anos, 3 meses", "idade corrigida"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(field))) << field << "\n" << text.toStdString();
  // A gestational age out of range is refused on its field.
  dialogs_.Clear();
  TypeInto(screen_->edtSemanas, "15");
  Avaliar();
  ASSERT_EQ(dialogs_.MessageTexts().size(), 1);
  // The host window's focus: the closed pop-up of the sex stays the active
  // window on the offscreen platform.
  EXPECT_EQ(main_->focusWidget(), screen_->edtSemanas);
}

}  // namespace
