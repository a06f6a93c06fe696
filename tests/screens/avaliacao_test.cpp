// The assessment screen as a person uses it: opened from the module's entry
// as a child of the host window, dates and measures typed, "Avaliar"
// clicked; the answers of the real server on the seeded sample, the
// child's point on the curves, a bad value refused and the PDF written.

#include "screen_fixture.h"

#include "screens/avaliacao/avaliacao_form.h"

#include <QApplication>
#include <QFile>
#include <QTest>

#include <cmath>

extern "C" void CriaAvaliacao();

namespace trp::avaliacao {
extern QPointer<TfrmAvaliacao> frmAvaliacao;
}

namespace {

using trp::avaliacao::TfrmAvaliacao;

class AvaliacaoTest : public screentest::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    StartServer();
    CriaAvaliacao();
    Flush();
    screen_ = trp::avaliacao::frmAvaliacao;
    ASSERT_NE(screen_, nullptr);
    (void)QTest::qWaitForWindowActive(main_.get());
  }
  void TearDown() override {
    if (screen_) screen_->Close();
    Flush();
    ScreenTest::TearDown();
  }
  // Clicks into `edit`, clears it and types `text` key by key.
  void TypeInto(QLineEdit* edit, const QString& text) {
    QTest::mouseClick(edit, Qt::LeftButton);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClicks(edit, text);
    Flush();
  }
  void Choose(fw::ComboBox* combo, int index) {
    QTest::mouseClick(combo, Qt::LeftButton);
    combo->hidePopup();
    while (combo->currentIndex() < index) QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index) QTest::keyClick(combo, Qt::Key_Up);
    Flush();
  }
  void Avaliar() {
    QTest::mouseClick(screen_->btnAvaliar, Qt::LeftButton);
    Flush();
  }
  // The row of `ref` and `indicator` made current; false when absent.
  bool Row(const char* ref, const char* indicator) {
    fw::Dataset* ds = screen_->cdsAvaliacao;
    for (ds->First(); !ds->Eof(); ds->Next())
      if (ds->FieldByName(u"CDREFEBIBL")->AsString() == QLatin1String(ref) &&
          ds->FieldByName(u"CDINDICADOR")->AsString() == QLatin1String(indicator))
        return true;
    return false;
  }
  QString Text(const char* field) {
    return screen_->cdsAvaliacao->FieldByName(QString::fromLatin1(field))->AsString();
  }
  double Number(const char* field) {
    return screen_->cdsAvaliacao->FieldByName(QString::fromLatin1(field))->AsFloat();
  }
  QPointer<TfrmAvaliacao> screen_;
};

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
  EXPECT_TRUE(Text("DSALERTA").contains(QStringLiteral("posição ignorada")))
      << Text("DSALERTA").toStdString();
}

TEST_F(AvaliacaoTest, ABadValueIsRefusedWithItsFocusAndTheAnswerStays) {
  TypeInto(screen_->medNascimento, "01012020");
  TypeInto(screen_->medMedicao, "02032024");
  TypeInto(screen_->edtPeso, "17");
  Avaliar();
  ASSERT_TRUE(Row("02", "peso_idade"));
  const int rows = screen_->cdsAvaliacao->RecordCount();
  dialogs_.Clear();
  struct Bad {
    QLineEdit* edit;
    const char* text;
    const char* message;
  };
  for (const Bad& b : {Bad{screen_->edtPeso, "dezessete", "Peso inválido: 'dezessete'"},
                       Bad{screen_->edtMedida, "-3", "Comprimento/estatura inválido"},
                       Bad{screen_->medMedicao, "01011999", "anterior à data de nascimento"}}) {
    const QString kept = b.edit->text();
    TypeInto(b.edit, QString::fromLatin1(b.text));
    Avaliar();
    ASSERT_FALSE(dialogs_.MessageTexts().isEmpty()) << b.text;
    EXPECT_TRUE(dialogs_.MessageTexts().last().contains(QString::fromUtf8(b.message)))
        << dialogs_.MessageTexts().last().toStdString();
    EXPECT_EQ(QApplication::focusWidget(), b.edit);
    EXPECT_EQ(b.edit->text().remove('/'), QString::fromLatin1(b.text));  // what was typed stays
    EXPECT_EQ(screen_->cdsAvaliacao->RecordCount(), rows);
    dialogs_.Clear();
    TypeInto(b.edit, QString(kept).remove('/'));
  }
}

TEST_F(AvaliacaoTest, TheAssessmentGoesToPdfThroughTheReportEngine) {
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

}  // namespace
