#pragma once
// A block's table: laid out by Qt's text layout (a QTextDocument table whose
// header rows repeat on every page and whose rows are never split), or, when
// every body row is surely one line high, drawn row by row with the geometry
// that layout gives. Laying a table out costs far more than drawing it, and
// grows with its rows; the geometry is measured once per section and header
// height, so the drawn pages match the laid-out ones exactly.

#include "report/report_definition.h"
#include "report/report_query.h"

#include <QHash>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QString>
#include <QTextDocument>

#include <array>
#include <memory>

namespace report {

inline constexpr double kBodyPt = 7.5;
inline constexpr double kHeaderPt = 9;

// A block's table as a text document, laid out on `device`'s body pages.
std::unique_ptr<QTextDocument> BuildTableDocument(const SectionDef& section, const Block& block,
                                                  const QString& title, QPagedPaintDevice& device,
                                                  const QSizeF& body);

// The body row geometry of one section's table under one header.
struct TableGeometry {
  QList<double> textLeft, textRight;  // per column, the cell's text area
  double firstTop = 0;                // first page: the first body row's text top
  double laterTop = 0;                // later pages: the same
  double headerShift = 0;             // later pages: where the header is drawn
  double pitch = 0;                   // one body row
  double baseline = 0;                // from a row's text top
  int firstRows = 0, laterRows = 0;   // body rows a page holds

  int Pages(qsizetype rows) const;
  qsizetype FirstRowOf(int page) const;  // the first body row on `page`
};

// Tables drawn with measured geometry, for the blocks whose rows fit.
class FastTables {
 public:
  FastTables(QPagedPaintDevice& device, const QSizeF& body);
  ~FastTables();

  // The block's header (a table document of its header rows only) and the
  // geometry under it; null when some body cell might not fit on one line or
  // the measure failed, and the block must be laid out whole.
  struct Table {
    std::unique_ptr<QTextDocument> header;
    const TableGeometry* geometry = nullptr;
  };
  Table For(const SectionDef& section, const Block& block, const QString& title);

  // Draws page `page` of the block's table, the painter's origin at the body's
  // top left.
  void DrawPage(QPainter& painter, const Table& table, const SectionDef& section,
                const Block& block, int page) const;

 private:
  bool RowsFit(const SectionDef& section, const Block& block);
  const TableGeometry* Measure(const SectionDef& section, const Block& block, const QString& title,
                               double headerHeight);

  QPagedPaintDevice& device_;
  const QSizeF body_;
  QFont font_;
  std::array<double, 128> ascii_;
  const double cellChrome_;
  QHash<QString, std::shared_ptr<const TableGeometry>> measured_;  // null: measure failed
};

}  // namespace report
