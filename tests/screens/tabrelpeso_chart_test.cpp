// The curves window opened from the toolbar: the curves it draws come from
// the table on the server, it follows the screen, and a planted wrong value
// shows as a curve through that point.

#include "screens/tabrelpeso/tabrelpeso_chart.h"
#include "framework/ui/consiste.h"
#include "report/chart.h"
#include "tests/screens/screen_fixture.h"

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <cmath>

using trp::tabrelpeso::TfrmGrafico;

namespace screentest {
namespace {

class Curves : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    // A typing slip planted in CDC 2000: percentile 50, boys, 2 years 0 months.
    StartServer(Sample::Seeded, [](const QString& database) {
      QSqlDatabase db =
          QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plant"));
      db.setDatabaseName(database);
      ASSERT_TRUE(db.open());
      QSqlQuery q(db);
      ASSERT_TRUE(q.exec(
          QStringLiteral("UPDATE PESALTIDADE SET VRPESOMASIDA = 40 WHERE CDREFEBIBL = '01' AND "
                         "CDPERCENTIL = '050' AND NRIDADEINI = 2 AND NRIDADEFIN = 0")));
      ASSERT_EQ(q.numRowsAffected(), 1);
      q = QSqlQuery();
      db = QSqlDatabase();
      QSqlDatabase::removeDatabase(QStringLiteral("plant"));
    });
    Open();
    ASSERT_NE(form_, nullptr);
    (void)QTest::qWaitForWindowActive(main_.get());
  }
  TfrmGrafico* Window() {
    Flush();
    return form_->frmGrafico.data();
  }
  static QStringList Labels(const report::ChartData& data) {
    QStringList labels;
    for (const report::ChartSeries& s : data.series)
      if (!s.points.isEmpty()) labels << s.label;
    return labels;
  }
  static const report::ChartSeries* Highlighted(const report::ChartData& data) {
    for (const report::ChartSeries& s : data.series)
      if (s.highlighted) return &s;
    return nullptr;
  }
};

TEST_F(Curves, TheWindowDrawsTheTableAndAPlantedValueBendsItsCurve) {
  ClickTab(form_->tshIdPesAlt);
  Click("sbtGrafico");
  TfrmGrafico* w = Window();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  const report::ChartData& data = w->grfCurvas->Data();
  EXPECT_EQ(Labels(data),
            (QStringList{"P3", "P5", "P10", "P25", "P50", "P75", "P90", "P95", "P97"}));
  ASSERT_NE(Highlighted(data), nullptr);
  EXPECT_EQ(Highlighted(data)->label, QStringLiteral("P3"));
  // The painted path of P50 goes through (24 months, 40 kg).
  const report::ChartSeries& p50 = data.series[4];
  ASSERT_EQ(p50.label, QStringLiteral("P50"));
  const report::ChartGeometry g = w->grfCurvas->Geometry();
  const QPainterPath path = report::SeriesPath(g, p50);
  const QPointF planted = g.Map(QPointF(24, 40));
  bool through = false;
  for (int i = 0; i < path.elementCount(); ++i)
    through = through || QLineF(QPointF(path.elementAt(i)), planted).length() < 0.01;
  EXPECT_TRUE(through);
  EXPECT_TRUE(w->grfCurvas->TextAt(planted).contains(QStringLiteral("P50 - 24 meses")))
      << w->grfCurvas->TextAt(planted).toStdString();
}

TEST_F(Curves, TheWindowFollowsPercentileSexMeasureAndPage) {
  ClickTab(form_->tshIdPesAlt);
  Click("sbtGrafico");
  TfrmGrafico* w = Window();
  ASSERT_NE(w, nullptr);
  // Another percentile chosen in the list.
  ClickCell(form_->dbgPercIdade, 4, 0);
  Flush();
  EXPECT_EQ(Highlighted(w->grfCurvas->Data())->label, QStringLiteral("P50"));
  // The screen's sex selector leads the window's.
  form_->cbbSexoIdPesAlt->setCurrentIndex(1);
  Flush();
  EXPECT_EQ(w->cbbSexoGrafico->currentIndex(), 1);
  EXPECT_TRUE(w->grfCurvas->Data().title.endsWith(QStringLiteral("feminino")));
  w->cbbMedidaGrafico->setCurrentIndex(2);
  EXPECT_EQ(w->grfCurvas->Data().yTitle, QStringLiteral("Perímetro cefálico (cm)"));
  // The NCHS 2000 page: its own x and no measure selector.
  ClickTab(form_->tshPesAltNCHS);
  Flush();
  EXPECT_EQ(w->grfCurvas->Data().xTitle, QStringLiteral("Altura (cm)"));
  EXPECT_FALSE(w->cbbMedidaGrafico->isVisible());
  EXPECT_FALSE(Labels(w->grfCurvas->Data()).isEmpty());
  // One window per screen: the button raises it again.
  Click("sbtGrafico");
  EXPECT_EQ(Window(), w);
}

// Exportar in the window: CSV gives the table drawn, one line per row the
// database keeps for the reference, after the header.
TEST_F(Curves, ExportarWritesTheTableDrawn) {
  ClickTab(form_->tshPesAltNCHS);
  Click("sbtGrafico");
  TfrmGrafico* w = Window();
  const QString path = dir_->filePath(QStringLiteral("nchs.csv"));
  dialogs_.QueueSaveFile(path);
  QTest::mouseClick(w->btnExportarGrafico, Qt::LeftButton);
  Flush();
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << dialogs_.MessageTexts().join('\n').toStdString();
  const QStringList lines =
      QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  int rows = 0;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
    db.setDatabaseName(database_);
    ASSERT_TRUE(db.open());
    QSqlQuery q(QStringLiteral("SELECT COUNT(*) FROM PEALNCHS2000 WHERE CDREFEBIBL = '01'"), db);
    ASSERT_TRUE(q.next());
    rows = q.value(0).toInt();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("count"));
  ASSERT_GT(rows, 0);
  EXPECT_EQ(lines.size(), rows + 1);
  EXPECT_TRUE(lines.value(0).contains(QStringLiteral("VRALTURAN2")))
      << lines.value(0).toStdString();
}

// Another reference chosen in "Comparar com": its curves dashed over the
// current one's, both named in the legend, the WHO change of source marked,
// the age axis in years.
TEST_F(Curves, AComparedReferenceIsDrawnDashedOverTheCurrentOne) {
  ClickTab(form_->tshIdPesAlt);
  Click("sbtGrafico");
  TfrmGrafico* w = Window();
  ASSERT_NE(w, nullptr);
  const int who = w->cbbCompararGrafico->findData(QStringLiteral("02"));
  ASSERT_GT(who, 0);
  EXPECT_EQ(w->cbbCompararGrafico->findData(QStringLiteral("01")), -1);  // not itself
  w->cbbCompararGrafico->setCurrentIndex(who);
  Flush();
  const report::ChartData& data = w->grfCurvas->Data();
  ASSERT_EQ(data.legend.size(), 2);
  EXPECT_TRUE(data.legend[0].startsWith(QStringLiteral("01 - ")));
  EXPECT_TRUE(data.legend[1].startsWith(QStringLiteral("02 - ")));
  ASSERT_EQ(data.boundaries.size(), 1);
  EXPECT_EQ(data.boundaries[0].x, 60.5);
  EXPECT_EQ(data.boundaries[0].label, QStringLiteral("OMS 2006 | OMS 2007"));
  EXPECT_TRUE(w->grfCurvas->Geometry().xYears);
  // P50 of each reference: two different painted paths.
  const report::ChartSeries *cdc = nullptr, *oms = nullptr;
  for (const report::ChartSeries& s : data.series)
    if (s.label == QStringLiteral("P50")) (s.dashed ? oms : cdc) = &s;
  ASSERT_NE(cdc, nullptr);
  ASSERT_NE(oms, nullptr);
  const report::ChartGeometry g = w->grfCurvas->Geometry();
  const QPainterPath solid = report::SeriesPath(g, *cdc), dashed = report::SeriesPath(g, *oms);
  EXPECT_GT(dashed.elementCount(), 100);  // 0 to 228 months
  EXPECT_NE(solid, dashed);
  // Both are on screen: pixels of each colour.
  const QImage image = w->grfCurvas->grab().toImage();
  auto count = [&](QRgb rgb) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        n += std::abs(c.red() - qRed(rgb)) + std::abs(c.green() - qGreen(rgb)) +
                 std::abs(c.blue() - qBlue(rgb)) <
             40;
      }
    return n;
  };
  EXPECT_GT(count(qRgb(0x2E, 0x7D, 0x32)), 100);  // dashed, the compared one
  EXPECT_GT(count(qRgb(0x1F, 0x4E, 0x8C)), 100);  // solid, the current one
}

// Two references compared with the keyboard: every curve of each is named
// where it ends (not where the first reference ended), the names apart; the
// mouse over a curve names its reference.
TEST_F(Curves, EachCurveOfEachReferenceIsNamedAtItsEndAndUnderTheMouse) {
  ClickTab(form_->tshIdPesAlt);
  Click("sbtGrafico");
  TfrmGrafico* w = Window();
  ASSERT_NE(w, nullptr);
  w->cbbCompararGrafico->setFocus();
  QTest::keyClick(w->cbbCompararGrafico, Qt::Key_Down);  // "02 - OMS ..."
  Flush();
  ASSERT_EQ(w->cbbCompararGrafico->currentData().toString(), QStringLiteral("02"));
  const report::ChartData& data = w->grfCurvas->Data();
  ASSERT_EQ(data.legend.size(), 2);
  const report::ChartGeometry g = w->grfCurvas->Geometry();
  const QList<report::ChartLabel> labels = report::ChartLabels(g, data, w->grfCurvas);
  QStringList named[2];
  for (const report::ChartLabel& l : labels) {
    const report::ChartSeries& s = data.series[l.series];
    named[s.dashed] << l.text;
    // Right of its own curve's last point, within a few lines of its height.
    const auto last = std::find_if(s.points.crbegin(), s.points.crend(),
                                   [](const QPointF& p) { return !std::isnan(p.y()); });
    ASSERT_NE(last, s.points.crend());
    EXPECT_LT(QLineF(l.end, g.Map(*last)).length(), 0.01) << l.text.toStdString();
    EXPECT_GT(l.box.left(), l.end.x());
    EXPECT_LT(std::fabs(l.box.center().y() - l.end.y()), 5 * l.box.height())
        << l.text.toStdString();
    for (const report::ChartLabel& other : labels)
      EXPECT_TRUE(&other == &l || !other.box.adjusted(0, 0.5, 0, -0.5).intersects(l.box))
          << l.text.toStdString() << " over " << other.text.toStdString();
  }
  const QStringList all{"P3", "P5", "P10", "P25", "P50", "P75", "P90", "P95", "P97"};
  EXPECT_EQ(named[0], all);
  EXPECT_EQ(named[1], all);
  // The mouse on a point of each reference's P50 (one no other point hides).
  for (const bool dashed : {false, true}) {
    int series = -1;
    for (int i = 0; i < data.series.size(); ++i)
      if (data.series[i].label == QStringLiteral("P50") && data.series[i].dashed == dashed)
        series = i;
    ASSERT_GE(series, 0);
    QPoint at;
    for (int p = 0; p < data.series[series].points.size() && at.isNull(); ++p) {
      const QPoint candidate = g.Map(data.series[series].points[p]).toPoint();
      const auto hit = report::NearestPoint(g, data, candidate, 8);
      if (hit && hit->series == series && g.plot.contains(candidate)) at = candidate;
    }
    ASSERT_FALSE(at.isNull());
    // Through the window system, as a moving mouse comes.
    QTest::mouseMove(w->windowHandle(), w->grfCurvas->mapTo(w, at));
    Flush();
    const QString hint = QToolTip::text();
    EXPECT_TRUE(hint.startsWith(data.legend[dashed] + QStringLiteral(", P50 - ")))
        << hint.toStdString() << " at " << at.x() << "," << at.y();
  }
}

// The range typed into the window is the range drawn, the y axis fitted to
// it; "Tudo" gives the whole one back.
TEST_F(Curves, TheRangeTypedIsTheRangeDrawn) {
  ClickTab(form_->tshIdPesAlt);
  Click("sbtGrafico");
  TfrmGrafico* w = Window();
  ASSERT_NE(w, nullptr);
  const report::ChartGeometry whole = w->grfCurvas->Geometry();
  ASSERT_GE(whole.xMax, 240);
  auto type = [&](QDoubleSpinBox* spin, const char* value) {
    QTest::mouseClick(spin, Qt::LeftButton);
    QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(spin, QLatin1String(value));
    QTest::keyClick(spin, Qt::Key_Return);
    Flush();
  };
  type(w->spnFaixaDe, "6");
  type(w->spnFaixaAte, "24");
  report::ChartGeometry g = w->grfCurvas->Geometry();
  EXPECT_EQ(g.xMin, 6);
  EXPECT_EQ(g.xMax, 24);
  EXPECT_FALSE(g.xYears);  // two years read in months
  EXPECT_LT(g.yMax, whole.yMax / 2);
  // The curves are named where they leave the range.
  for (const report::ChartLabel& l : report::ChartLabels(g, w->grfCurvas->Data(), w->grfCurvas))
    EXPECT_NEAR(g.Unmap(l.end).x(), 24, 1e-6) << l.text.toStdString();
  QTest::mouseClick(w->btnFaixaTudo, Qt::LeftButton);
  Flush();
  g = w->grfCurvas->Geometry();
  EXPECT_EQ(g.xMin, whole.xMin);
  EXPECT_EQ(g.xMax, whole.xMax);
  EXPECT_EQ(w->spnFaixaAte->value(), 240);
}

using Citation = SampleScreenTest;

TEST_F(Citation, TheReferenceNameHintsItsCitationSourceAndLicence) {
  ClickTab(form_->tshPadrao);
  fw::DBGrid* grid = form_->dbgPadrao;
  const int name = fw::IndiceCol(grid, QStringLiteral("NMREFEBIBL"));
  const QPoint at = grid->visualRect(grid->model()->index(0, name)).center();
  QHelpEvent hint(QEvent::ToolTip, at, grid->viewport()->mapToGlobal(at));
  QApplication::sendEvent(grid->viewport(), &hint);
  EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("National Center for Health Statistics")))
      << QToolTip::text().toStdString();
  EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("Licença: domínio público")));
  // A reference without a citation has no hint.
  EXPECT_TRUE(form_->CitacaoDe(QStringLiteral("04")).isEmpty());
  EXPECT_TRUE(form_->CitacaoDe(QStringLiteral("02")).contains(QStringLiteral("WHO Multicentre")));
}

TEST(Chart, EmptyAndGappedSeriesDrawWithoutFailing) {
  report::ChartData data;
  data.series << report::ChartSeries{QStringLiteral("P3"), {}, false, false}
              << report::ChartSeries{QStringLiteral("P50"),
                                     {{0, 1}, {1, 2}, {2, std::nan("")}, {3, 3}, {4, 4}},
                                     true,
                                     false};
  const report::ChartGeometry g = report::LayoutChart(QRectF(0, 0, 400, 300), data, nullptr);
  EXPECT_TRUE(report::SeriesPath(g, data.series[0]).isEmpty());
  const QPainterPath gapped = report::SeriesPath(g, data.series[1]);
  int moves = 0;
  for (int i = 0; i < gapped.elementCount(); ++i) moves += gapped.elementAt(i).isMoveTo();
  EXPECT_EQ(moves, 2);  // the gap splits the curve
  EXPECT_LE(g.xMin, 0);
  EXPECT_GE(g.xMax, 4);
  EXPECT_LE(g.yMin, 1);
  EXPECT_GE(g.yMax, 4);
  QImage image(400, 300, QImage::Format_ARGB32);
  QPainter painter(&image);
  report::DrawChart(painter, QRectF(0, 0, 400, 300), data);
  report::ChartData none;
  report::DrawChart(painter, QRectF(0, 0, 400, 300), none);
  EXPECT_TRUE(none.IsEmpty());
  struct Tick {
    double value, step;
    const char* text;
  };
  for (const Tick& t : {Tick{1.5, 0.5, "1,5"}, Tick{1000, 250, "1.000"}, Tick{0.25, 0.25, "0,25"},
                        Tick{-1e-12, 0.5, "0,0"}})
    EXPECT_EQ(report::FormatTick(t.value, t.step), QLatin1String(t.text));
}

}  // namespace
}  // namespace screentest
