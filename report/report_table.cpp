#include "report/report_table.h"

#include "framework/data/format.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextTable>

#include <cmath>

namespace report {

namespace {

const QColor kRule(0x80, 0x80, 0x80);
const QColor kHeaderFill(0xE8, 0xEC, 0xF0);
constexpr double kPadding = 1.5;
constexpr double kBorder = 0.5;

QFont BodyFont() {
  QFont font = QTextDocument().defaultFont();
  font.setPointSizeF(kBodyPt);
  return font;
}

int HeaderRows(const SectionDef& section) { return section.HasBands() ? 3 : 2; }

// Where a cell's text line sits in its document.
struct CellLine {
  QRectF area;  // left, top and width of the line; its height
  double ascent = 0;
};

CellLine LineOf(QTextDocument& doc, QTextTable& table, int row, int column) {
  const QTextBlock block = table.cellAt(row, column).firstCursorPosition().block();
  const QRectF rect = doc.documentLayout()->blockBoundingRect(block);
  const QTextLine line = block.layout()->lineAt(0);
  if (!line.isValid()) return {};
  return {QRectF(rect.left() + line.x(), rect.top() + line.y(), line.width(), line.height()),
          line.ascent()};
}

QTextTable* TableOf(QTextDocument& doc) {
  return qobject_cast<QTextTable*>(doc.rootFrame()->childFrames().value(0));
}

QString CellText(const QVariant& value, const ColumnDef& column) {
  if (value.isNull()) return {};
  if (!column.format.isEmpty()) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (ok) return fw::FormatFloat(number, column.format);
  }
  return value.toString();
}

bool AlignsRight(const QVariant& value, const ColumnDef& column) {
  if (!column.format.isEmpty()) return true;
  switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::unique_ptr<QTextDocument> BuildTableDocument(const SectionDef& section, const Block& block,
                                                  const QString& title, QPagedPaintDevice& device,
                                                  const QSizeF& body) {
  auto doc = std::make_unique<QTextDocument>();
  doc->setUndoRedoEnabled(false);
  doc->setDocumentMargin(0);
  QFont font = doc->defaultFont();
  font.setPointSizeF(kBodyPt);
  doc->setDefaultFont(font);
  // Device and page size while the document is empty: the content below is
  // then laid out once, when its edit block ends.
  doc->setPageSize(body);
  doc->documentLayout()->setPaintDevice(&device);

  const int columns = int(section.columns.size());
  const bool bands = section.HasBands();
  const int headerRows = HeaderRows(section);
  QTextTableFormat format;
  format.setHeaderRowCount(headerRows);
  format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
  format.setBorder(kBorder);
  format.setBorderBrush(kRule);
  format.setBorderCollapse(true);
  format.setCellPadding(kPadding);
  format.setCellSpacing(0);
  format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
  double total = 0;
  for (const ColumnDef& c : section.columns) total += c.width;
  QList<QTextLength> widths;
  for (const ColumnDef& c : section.columns)
    widths << QTextLength(QTextLength::PercentageLength, 100.0 * c.width / total);
  format.setColumnWidthConstraints(widths);

  // One edit block: the layout runs once, at its end, not after every cell.
  QTextCursor cursor(doc.get());
  cursor.beginEditBlock();
  QTextTable* table = cursor.insertTable(int(block.rows.size()) + headerRows, columns, format);

  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  QTextBlockFormat left, center, right;
  left.setAlignment(Qt::AlignLeft);
  center.setAlignment(Qt::AlignHCenter);
  right.setAlignment(Qt::AlignRight);
  QTextTableCellFormat headerCell;
  headerCell.setBackground(kHeaderFill);

  auto put = [&](int row, int col, const QString& text, const QTextBlockFormat& align,
                 const QTextCharFormat& chars) {
    QTextCursor c = table->cellAt(row, col).firstCursorPosition();
    c.setBlockFormat(align);
    c.insertText(text, chars);
  };

  table->mergeCells(0, 0, 1, columns);
  table->cellAt(0, 0).setFormat(headerCell);
  QTextCharFormat titleChars = bold;
  titleChars.setFontPointSize(kBodyPt + 1);
  put(0, 0, title, left, titleChars);
  int row = 1;
  if (bands) {
    for (int c = 0; c < columns;) {
      int span = 1;
      while (c + span < columns && section.columns[c + span].band == section.columns[c].band)
        ++span;
      if (span > 1) table->mergeCells(row, c, 1, span);
      table->cellAt(row, c).setFormat(headerCell);
      put(row, c, section.columns[c].band, center, bold);
      c += span;
    }
    ++row;
  }
  for (int c = 0; c < columns; ++c) {
    table->cellAt(row, c).setFormat(headerCell);
    put(row, c, section.columns[c].title, center, bold);
  }
  ++row;
  const QTextCharFormat plain;
  for (int r = 0; r < block.rows.size(); ++r, ++row) {
    for (int c = 0; c < columns; ++c) {
      const ColumnDef& column = section.columns[c];
      const QVariant value = block.Value(r, column.field);
      const QString text = CellText(value, column);
      if (text.isEmpty()) continue;
      put(row, c, text, AlignsRight(value, column) ? right : left, plain);
    }
  }
  cursor.endEditBlock();
  return doc;
}

int TableGeometry::Pages(qsizetype rows) const {
  if (rows <= firstRows) return 1;
  return 1 + int((rows - firstRows + laterRows - 1) / laterRows);
}

qsizetype TableGeometry::FirstRowOf(int page) const {
  return page == 0 ? 0 : firstRows + qsizetype(page - 1) * laterRows;
}

FastTables::FastTables(QPagedPaintDevice& device, const QSizeF& body)
    : device_(device),
      body_(body),
      font_(BodyFont()),
      // The table's cell padding and border, in device pixels, on both sides.
      cellChrome_(2 * (kPadding + kBorder) * device.logicalDpiX() / 96.0) {
  ascii_.fill(-1);
}

FastTables::~FastTables() = default;

// Whether every body cell surely fits on one line, with a margin for kerning
// and rounding: a cell near its width is laid out for real.
bool FastTables::RowsFit(const SectionDef& section, const Block& block) {
  const QFontMetricsF metrics(font_, &device_);
  double total = 0;
  for (const ColumnDef& c : section.columns) total += c.width;
  for (qsizetype c = 0; c < section.columns.size(); ++c) {
    const ColumnDef& column = section.columns[c];
    const double room = 0.8 * (body_.width() * column.width / total - cellChrome_);
    for (int r = 0; r < block.rows.size(); ++r) {
      const QString text = CellText(block.Value(r, column.field), column);
      double width = 0;
      for (const QChar ch : text) {
        if (ch.unicode() > 0x7E || ch.unicode() < 0x20) return false;
        double& a = ascii_[ch.unicode()];
        if (a < 0) a = metrics.horizontalAdvance(ch);
        width += a;
      }
      if (width > room) return false;
    }
  }
  return true;
}

FastTables::Table FastTables::For(const SectionDef& section, const Block& block,
                                  const QString& title) {
  if (block.rows.isEmpty() || section.columns.isEmpty() || !RowsFit(section, block)) return {};
  Table table;
  table.header = BuildTableDocument(section, Block{}, title, device_, body_);
  table.geometry = Measure(section, block, title, table.header->size().height());
  if (!table.geometry) table.header.reset();
  return table;
}

// Lays out the block's first row repeated over three pages and reads where
// Qt put each row; the geometry is taken only when the rows follow one pitch,
// every later page repeats the second, and tables that end exactly at a page's
// foot take the pages the geometry says.
const TableGeometry* FastTables::Measure(const SectionDef& section, const Block& block,
                                         const QString& title, double headerHeight) {
  const QString key = QStringLiteral("%1:%2").arg(block.section).arg(headerHeight, 0, 'f', 6);
  if (const auto known = measured_.constFind(key); known != measured_.cend()) return known->get();
  std::shared_ptr<TableGeometry> result;
  auto remember = [&]() {
    measured_.insert(key, result);
    return result.get();
  };
  const double pageHeight = body_.height();
  const int perPage = int(std::ceil(pageHeight / QFontMetricsF(font_, &device_).height()));
  Block rows;
  rows.section = block.section;
  rows.columns = block.columns;
  rows.rows = QList<QVector<QVariant>>(3 * perPage + 1, block.rows.first());
  auto doc = BuildTableDocument(section, rows, title, device_, body_);
  QTextTable* table = TableOf(*doc);
  if (!table) return remember();
  const int headerRows = HeaderRows(section);
  const int columns = int(section.columns.size());

  QList<double> tops;
  for (int r = 0; r < rows.rows.size(); ++r)
    tops << LineOf(*doc, *table, headerRows + r, 0).area.top();
  auto pageOf = [&](double y) { return int(std::floor(y / pageHeight)); };
  std::array<int, 3> onPage{};
  for (double top : tops)
    if (const int page = pageOf(top); page >= 0 && page < 3) ++onPage[size_t(page)];
  const auto [firstRows, laterRows, third] = onPage;
  if (firstRows == 0 || laterRows == 0 || third != laterRows ||
      firstRows + 2 * laterRows >= tops.size())
    return remember();
  const double pitch = tops[1] - tops[0];
  constexpr double kEps = 1e-6;
  for (int r = 0; r + 1 < tops.size(); ++r) {
    if (pageOf(tops[r]) != pageOf(tops[r + 1])) continue;
    if (std::abs(tops[r + 1] - tops[r] - pitch) > kEps) return remember();
  }
  for (int r = 0; r < laterRows; ++r)
    if (std::abs((tops[firstRows + r] - pageHeight) -
                 (tops[firstRows + laterRows + r] - 2 * pageHeight)) > kEps)
      return remember();

  auto g = std::make_shared<TableGeometry>();
  g->firstRows = firstRows;
  g->laterRows = laterRows;
  g->pitch = pitch;
  g->firstTop = tops[0];
  g->laterTop = tops[firstRows] - pageHeight;
  g->headerShift = g->laterTop - g->firstTop;
  const CellLine first = LineOf(*doc, *table, headerRows, 0);
  g->baseline = first.ascent;
  for (int c = 0; c < columns; ++c) {
    const CellLine cell = LineOf(*doc, *table, headerRows, c);
    if (std::abs(cell.area.top() - first.area.top()) > kEps) return remember();
    g->textLeft << cell.area.left();
    g->textRight << cell.area.right();
  }

  // The header alone must sit where it sits above the rows.
  {
    auto header = BuildTableDocument(section, Block{}, title, device_, body_);
    QTextTable* alone = TableOf(*header);
    if (!alone || std::abs(LineOf(*header, *alone, headerRows - 1, 0).area.top() -
                           LineOf(*doc, *table, headerRows - 1, 0).area.top()) > kEps)
      return remember();
  }
  // A table that fills its pages exactly: Qt may move its last row on.
  for (qsizetype n : {qsizetype(firstRows + laterRows), qsizetype(firstRows)}) {
    rows.rows.resize(n);
    if (BuildTableDocument(section, rows, title, device_, body_)->pageCount() != g->Pages(n))
      return remember();
  }
  result = std::move(g);
  return remember();
}

void FastTables::DrawPage(QPainter& painter, const Table& table, const SectionDef& section,
                          const Block& block, int page) const {
  const TableGeometry& g = *table.geometry;
  painter.save();
  if (page > 0) painter.translate(0, g.headerShift);
  table.header->documentLayout()->draw(&painter, QAbstractTextDocumentLayout::PaintContext());
  painter.restore();

  const qsizetype first = g.FirstRowOf(page);
  const qsizetype count =
      std::min<qsizetype>(block.rows.size() - first, page == 0 ? g.firstRows : g.laterRows);
  if (count <= 0) return;
  const double top = page == 0 ? g.firstTop : g.laterTop;
  painter.save();
  painter.setFont(font_);
  painter.setPen(Qt::black);
  const QFontMetricsF metrics(font_, painter.device());
  for (qsizetype i = 0; i < count; ++i) {
    const double baseline = top + double(i) * g.pitch + g.baseline;
    for (qsizetype c = 0; c < section.columns.size(); ++c) {
      const ColumnDef& column = section.columns[c];
      const QVariant value = block.Value(int(first + i), column.field);
      const QString text = CellText(value, column);
      if (text.isEmpty()) continue;
      const double x = AlignsRight(value, column) ? g.textRight[c] - metrics.horizontalAdvance(text)
                                                  : g.textLeft[c];
      painter.drawText(QPointF(x, baseline), text);
    }
  }
  painter.restore();
}

}  // namespace report
