#include "report/report_render.h"

#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "report/chart.h"
#include "report/report_query.h"
#include "report/report_table.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include <algorithm>
#include <memory>
#include <vector>

namespace report {

namespace {

const QColor kRule(0x80, 0x80, 0x80);

QString Fill(const QString& text, const Block& block) {
  return FillTemplate(text, [&](const QString& field) { return block.Value(0, field).toString(); });
}

// Page geometry in device pixels.
struct Page {
  QRectF header, body, footer;
};

Page PageOf(QPagedPaintDevice& device, int headerLines) {
  const double w = device.width();
  const double h = device.height();
  const double dpi = device.logicalDpiY();
  const double line = kHeaderPt / 72.0 * dpi * 1.5;
  const double headerHeight = line * (1 + headerLines) + line * 0.5;
  const double footerHeight = line * 1.5;
  Page p;
  p.header = QRectF(0, 0, w, headerHeight);
  p.body = QRectF(0, headerHeight, w, h - headerHeight - footerHeight);
  p.footer = QRectF(0, h - footerHeight, w, footerHeight);
  return p;
}

QString Text(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }

// The chart of one plot: a curve per series value, in the rows' order.
ChartData ChartOf(const ChartDef& chart, const PlotDef& plot, const Block& block) {
  ChartData data;
  data.title = Fill(plot.title, block);
  data.xTitle = Fill(chart.xTitle, block);
  data.yTitle = Fill(plot.yTitle, block);
  data.xMonths = chart.xMonths;
  if (!chart.boundaryX.isEmpty()) {
    for (int r = 0; r < block.rows.size(); ++r) {
      bool ok = false;
      const QVariant at = block.Value(r, chart.boundaryX);
      const double x = at.isNull() ? 0 : at.toDouble(&ok);
      const QString label = Text(block.Value(r, chart.boundaryLabel));
      if (!ok || std::any_of(data.boundaries.cbegin(), data.boundaries.cend(),
                             [&](const ChartBoundary& b) { return b.x == x && b.label == label; }))
        continue;
      data.boundaries << ChartBoundary{x, label};
    }
  }
  QString current;
  for (int r = 0; r < block.rows.size(); ++r) {
    const QString key = Text(block.Value(r, chart.series));
    if (data.series.isEmpty() || key != current) {
      current = key;
      ChartSeries series;
      series.label =
          FillTemplate(chart.label, [&](const QString& f) { return Text(block.Value(r, f)); });
      series.highlighted =
          !chart.highlight.isEmpty() && Text(block.Value(r, chart.highlight)) == QLatin1String("S");
      series.markers = series.highlighted;
      data.series << series;
    }
    bool okX = false, okY = false;
    const double x = block.Value(r, chart.x).toDouble(&okX);
    const QVariant yv = block.Value(r, plot.y);
    const double y = yv.isNull() ? qQNaN() : yv.toDouble(&okY);
    if (okX) data.series.last().points << QPointF(x, yv.isNull() || !okY ? qQNaN() : y);
  }
  return data;
}

// The chart pages of a block that have points.
QList<const ChartPageDef*> ChartPages(const ChartDef& chart, const Block& block) {
  QList<const ChartPageDef*> pages;
  for (const ChartPageDef& page : chart.pages)
    for (const PlotDef& plot : page.plots)
      if (!ChartOf(chart, plot, block).IsEmpty()) {
        pages << &page;
        break;
      }
  return pages;
}

class Painter {
 public:
  Painter(const RenderRequest& request, QPagedPaintDevice& device, int totalPages)
      : request_(request), device_(device), total_(totalPages), painter_(&device) {
    if (!painter_.isActive())
      throw fw::Error(QStringLiteral("Não foi possível iniciar a impressão do relatório."));
    frameFont_ = painter_.font();
  }

  void DrawBlock(QTextDocument& doc, const Block& block, const Page& page) {
    const int pages = doc.pageCount();
    for (int p = 0; p < pages; ++p) {
      StartPage();
      DrawFrame(block, page);
      painter_.save();
      painter_.translate(page.body.left(), page.body.top() - p * page.body.height());
      QAbstractTextDocumentLayout::PaintContext context;
      context.clip = QRectF(0, p * page.body.height(), page.body.width(), page.body.height());
      painter_.setClipRect(context.clip);
      doc.documentLayout()->draw(&painter_, context);
      painter_.restore();
    }
  }

  void DrawFast(const FastTables& tables, const FastTables::Table& table, const SectionDef& section,
                const Block& block, const Page& page) {
    const int pages = table.geometry->Pages(block.rows.size());
    for (int p = 0; p < pages; ++p) {
      StartPage();
      DrawFrame(block, page);
      painter_.save();
      painter_.translate(page.body.topLeft());
      painter_.setClipRect(QRectF(QPointF(0, 0), page.body.size()));
      tables.DrawPage(painter_, table, section, block, p);
      painter_.restore();
    }
  }

  void DrawCharts(const ChartDef& chart, const Block& block, const Page& page) {
    for (const ChartPageDef* p : ChartPages(chart, block)) {
      StartPage();
      DrawFrame(block, page);
      painter_.save();
      const double titleHeight = page.body.height() * 0.05;
      QFont font = frameFont_;
      font.setPointSizeF(kHeaderPt + 1);
      font.setBold(true);
      painter_.setFont(font);
      painter_.setPen(Qt::black);
      painter_.drawText(QRectF(page.body.left(), page.body.top(), page.body.width(), titleHeight),
                        Qt::AlignLeft | Qt::AlignVCenter, Fill(p->title, block));
      // A measure the block has no value of (a reference without head
      // circumference) is left out; the others share the page.
      QList<ChartData> charts;
      for (const PlotDef& plot : p->plots)
        if (ChartData data = ChartOf(chart, plot, block); !data.IsEmpty()) charts << data;
      const double h = (page.body.height() - titleHeight) / charts.size();
      for (int i = 0; i < charts.size(); ++i) {
        const QRectF area(page.body.left(), page.body.top() + titleHeight + i * h,
                          page.body.width(), h * 0.96);
        DrawChart(painter_, area, charts[i]);
      }
      painter_.restore();
    }
  }

  void DrawEmpty(const Page& page) {
    StartPage();
    DrawFrame(Block{}, page);
    QFont font = painter_.font();
    font.setPointSizeF(kHeaderPt);
    painter_.setFont(font);
    painter_.drawText(page.body, Qt::AlignHCenter | Qt::AlignTop, EmptyReportText());
  }

  int Drawn() const { return drawn_; }

 private:
  void StartPage() {
    if (drawn_ > 0) device_.newPage();
    ++drawn_;
  }

  void DrawFrame(const Block& block, const Page& page) {
    const ReportDefinition& def = *request_.definition;
    // Its own font: what a page's body left on the shared painter must not
    // change the frame of the pages after it.
    QFont base = frameFont_;
    base.setPointSizeF(kHeaderPt);
    QFont bold = base;
    bold.setBold(true);
    // Two lines, then two (smaller, wrapped) for each subheading.
    const double line = page.header.height() / (2.5 + 2 * def.subheading.size());
    QRectF first(page.header.left(), page.header.top(), page.header.width(), line);
    painter_.setPen(Qt::black);
    painter_.setFont(bold);
    painter_.drawText(first, Qt::AlignLeft | Qt::AlignVCenter, request_.title);
    painter_.setFont(base);
    const QString printed = request_.printedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
    if (def.printedLabel.isEmpty())
      painter_.drawText(first, Qt::AlignRight | Qt::AlignVCenter, printed);
    if (block.columns) {
      QRectF next = first.translated(0, line);
      painter_.setFont(bold);
      painter_.drawText(next, Qt::AlignLeft | Qt::AlignVCenter, Fill(def.heading, block));
      QFont small = base;
      small.setPointSizeF(kBodyPt - 0.5);
      painter_.setFont(small);
      QRectF sub(next.left(), next.bottom(), next.width(), 2 * line);
      for (const QString& text : def.subheading) {
        painter_.drawText(sub, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Fill(text, block));
        sub.translate(0, 2 * line);
      }
      painter_.setFont(base);
    }
    painter_.setPen(QPen(kRule, 0));
    const double ruleY = page.header.bottom() - line * 0.25;
    painter_.drawLine(QPointF(page.header.left(), ruleY), QPointF(page.header.right(), ruleY));
    painter_.drawLine(QPointF(page.footer.left(), page.footer.top() + line * 0.25),
                      QPointF(page.footer.right(), page.footer.top() + line * 0.25));
    painter_.setPen(Qt::black);
    painter_.drawText(page.footer, Qt::AlignLeft | Qt::AlignVCenter, def.code);
    if (!def.printedLabel.isEmpty())
      painter_.drawText(page.footer, Qt::AlignHCenter | Qt::AlignVCenter,
                        def.printedLabel + QLatin1Char(' ') + printed);
    painter_.drawText(page.footer, Qt::AlignRight | Qt::AlignVCenter,
                      QStringLiteral("página %1 de %2").arg(drawn_).arg(total_));
  }

  const RenderRequest& request_;
  QPagedPaintDevice& device_;
  int total_;
  int drawn_ = 0;
  QPainter painter_;
  QFont frameFont_;
};

}  // namespace

QString EmptyReportText() { return QStringLiteral("Não há dados para os parâmetros escolhidos."); }

void ApplyPageLayout(QPagedPaintDevice& device, const ReportDefinition& definition) {
  device.setPageLayout(QPageLayout(QPageSize(definition.pageSize), definition.orientation,
                                   definition.marginsMm, QPageLayout::Millimeter));
}

int RenderReport(const RenderRequest& request, QPagedPaintDevice& device) {
  const ReportDefinition& def = *request.definition;
  const Page page = PageOf(device, 1 + 2 * int(def.subheading.size()));
  FastTables tables(device, page.body.size());
  // The total goes into every footer, so the pages are counted before the
  // first is drawn. A report of moderate size keeps its blocks (and what was
  // laid out of them) for drawing; a larger one is read again, so memory stays
  // bounded.
  struct Laid {
    Block block;
    FastTables::Table fast;
    std::unique_ptr<QTextDocument> doc;
  };
  constexpr qsizetype kKeepRows = 20000;
  std::vector<Laid> kept;
  qsizetype keptRows = 0;
  bool keepAll = true;
  int total = 0;
  {
    BlockReader reader(def, request.database, request.params);
    Block block;
    while (reader.Next(block)) {
      const SectionDef& section = def.sections[block.section];
      Laid laid;
      if (section.chart) {
        total += int(ChartPages(*section.chart, block).size());
      } else {
        const QString title = Fill(section.title, block);
        laid.fast = tables.For(section, block, title);
        if (laid.fast.geometry) {
          total += laid.fast.geometry->Pages(block.rows.size());
        } else {
          laid.doc = BuildTableDocument(section, block, title, device, page.body.size());
          total += laid.doc->pageCount();
        }
      }
      keptRows += block.rows.size();
      keepAll = keepAll && keptRows <= kKeepRows;
      laid.block = std::move(block);
      if (keepAll)
        kept.push_back(std::move(laid));
      else
        kept.clear();
    }
  }
  Painter painter(request, device, total > 0 ? total : 1);
  if (total == 0) {
    painter.DrawEmpty(page);
    return 1;
  }
  // A block's pages: its charts, or its table (laid out again when not kept).
  auto draw = [&](Laid& laid) {
    const Block& block = laid.block;
    const SectionDef& section = def.sections[block.section];
    if (section.chart) return painter.DrawCharts(*section.chart, block, page);
    if (!laid.fast.geometry && !laid.doc) {
      const QString title = Fill(section.title, block);
      laid.fast = tables.For(section, block, title);
      if (!laid.fast.geometry)
        laid.doc = BuildTableDocument(section, block, title, device, page.body.size());
    }
    if (laid.fast.geometry)
      painter.DrawFast(tables, laid.fast, section, block, page);
    else
      painter.DrawBlock(*laid.doc, block, page);
  };
  if (keepAll) {
    for (Laid& laid : kept) draw(laid);
    return painter.Drawn();
  }
  BlockReader reader(def, request.database, request.params);
  Laid laid;
  while (reader.Next(laid.block)) {
    laid.fast = {};
    laid.doc.reset();
    draw(laid);
  }
  return painter.Drawn();
}

int WritePdf(const RenderRequest& request, const QString& path) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    throw fw::Error(
        QStringLiteral("Não foi possível gravar o arquivo %1: %2.").arg(path, file.errorString()));
  int pages = 0;
  {
    QPdfWriter writer(&file);
    writer.setTitle(request.title);
    writer.setCreator(QStringLiteral("Tabela de Relação Peso/Altura"));
    writer.setResolution(300);
    ApplyPageLayout(writer, *request.definition);
    pages = RenderReport(request, writer);
  }
  if (!file.commit())
    throw fw::Error(
        QStringLiteral("Não foi possível gravar o arquivo %1: %2.").arg(path, file.errorString()));
  return pages;
}

}  // namespace report
