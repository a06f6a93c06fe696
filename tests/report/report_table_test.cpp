// A table drawn row by row from its measured geometry against the same table
// laid out whole by Qt, for row counts around a page's foot: the same pages,
// and the same text on each, read back with pdftotext.

#include "report/report_table.h"
#include "framework/sql/localdb.h"
#include "report/report_definition.h"
#include "report/report_query.h"
#include "report/report_render.h"
#include "server/app_server.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QString PdfText(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  p.waitForFinished(60000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(ReportTable, RowsDrawnFromTheGeometryMatchTheLaidOutTable) {
  int argc = 1;
  char name[] = "report_engine";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);  // fonts need one; the other tests run the tool
  QTemporaryDir dir;
  const QString db = dir.filePath(QStringLiteral("amostra.db"));
  srv::SeedSampleDatabase(db, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
  const report::ReportDefinition def = report::LoadDefinition(
      report::DefinitionPath(QStringLiteral(TRP_SOURCE_DIR "/reports"), QStringLiteral("QEL536")));
  fw::TQueryParams params({QStringLiteral("P_CDREFERENCIA"), QStringLiteral("P_CDPERCENTIL")});
  params.ParamByName(QStringLiteral("P_CDREFERENCIA")).SetAsString(QStringLiteral("01"));
  params.ParamByName(QStringLiteral("P_CDPERCENTIL")).SetAsString(QStringLiteral("050"));
  report::Block sample;
  {
    QSqlDatabase sql = fw::OpenLocalDatabase(db, QStringLiteral("t"));
    report::BlockReader reader(def, sql, params);
    while (reader.Next(sample) && def.sections[sample.section].chart) {
    }
  }
  fw::CloseLocalDatabase(QStringLiteral("t"));
  ASSERT_FALSE(sample.rows.isEmpty());
  const report::SectionDef& section = def.sections[sample.section];
  const QString title = QStringLiteral("Percentil 50");

  QPdfWriter drawn(dir.filePath(QStringLiteral("desenhada.pdf")));
  QPdfWriter laid(dir.filePath(QStringLiteral("diagramada.pdf")));
  for (QPdfWriter* w : {&drawn, &laid}) {
    w->setResolution(300);
    report::ApplyPageLayout(*w, def);
  }
  // Whole device pixels, as the report's page frame gives: a height Qt rounds is
  // measured as failing and laid out whole.
  const QSizeF body(drawn.width(), std::floor(drawn.height() * 0.85));
  report::FastTables tables(drawn, body);
  const report::TableGeometry* g = tables.For(section, sample, title).geometry;
  ASSERT_NE(g, nullptr);
  ASSERT_GT(g->firstRows, 1);
  ASSERT_GT(g->laterRows, 1);

  QPainter drawnPainter(&drawn), laidPainter(&laid);
  int drawnPages = 0, laidPages = 0;
  const qsizetype r1 = g->firstRows, r2 = g->laterRows;
  for (qsizetype rows : {qsizetype(1), r1 - 1, r1, r1 + 1, r1 + r2, r1 + r2 + 1, r1 + 2 * r2}) {
    SCOPED_TRACE(rows);
    report::Block block = sample;
    block.rows.clear();
    for (qsizetype r = 0; r < rows; ++r) block.rows << sample.rows[r % sample.rows.size()];
    const report::FastTables::Table table = tables.For(section, block, title);
    ASSERT_NE(table.geometry, nullptr);
    const auto doc = report::BuildTableDocument(section, block, title, laid, body);
    ASSERT_EQ(table.geometry->Pages(rows), doc->pageCount());
    for (int p = 0; p < doc->pageCount(); ++p) {
      if (drawnPages++ > 0) drawn.newPage();
      drawnPainter.save();
      drawnPainter.setClipRect(QRectF(QPointF(0, 0), body));
      tables.DrawPage(drawnPainter, table, section, block, p);
      drawnPainter.restore();
      if (laidPages++ > 0) laid.newPage();
      laidPainter.save();
      laidPainter.translate(0, -p * body.height());
      QAbstractTextDocumentLayout::PaintContext context;
      context.clip = QRectF(0, p * body.height(), body.width(), body.height());
      laidPainter.setClipRect(context.clip);
      doc->documentLayout()->draw(&laidPainter, context);
      laidPainter.restore();
    }
  }
  drawnPainter.end();
  laidPainter.end();
  const QStringList drawnText = PdfText(dir.filePath(QStringLiteral("desenhada.pdf"))).split('\f');
  const QStringList laidText = PdfText(dir.filePath(QStringLiteral("diagramada.pdf"))).split('\f');
  ASSERT_EQ(drawnText.size(), laidText.size());
  ASSERT_GT(laidText.size(), 8);
  for (qsizetype p = 0; p < laidText.size(); ++p) {
    EXPECT_EQ(drawnText[p].toStdString(), laidText[p].toStdString()) << "page " << p + 1;
    EXPECT_EQ(laidText[p].contains(title), p + 1 < laidText.size()) << "page " << p + 1;
  }
}

}  // namespace
