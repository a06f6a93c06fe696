#pragma once
// A report definition: one JSON file per report code in the reports folder
// (QEL536.json). It holds the page, the fields the report is grouped by, the
// heading printed on every page and, per section, the query (one text per
// SQL dialect, with named parameters) and the table layout. The engine knows
// nothing of what the queries read.

#include "framework/sql/adoibquery.h"

#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace report {

struct ColumnDef {
  QString field;
  QString title;
  QString format;     // display format of a number ("#,##0.000"); empty: as read
  double width = 1;   // share of the table's width
  QString band;       // columns with the same band in a row share a header cell
};

// One plot of a chart page: the curves of `y` against the chart's x.
struct PlotDef {
  QString title;
  QString y;
  QString yTitle;
};

struct ChartPageDef {
  QString title;  // template
  QList<PlotDef> plots;
};

// A section drawn as charts instead of a table: one curve per value of
// `series` (labelled by the `label` template), one page per entry of
// `pages` that has points.
struct ChartDef {
  QString series;
  QString label;
  QString x;
  QString xTitle;  // template, as the plots' titles
  bool xMonths = false;  // x is an age in months (axis in years past 2)
  // Fields of the rows that mark where the data change source: the x of the
  // mark and its label (rows with a null x mark nothing).
  QString boundaryX;
  QString boundaryLabel;
  // Rows whose field of this name holds "S" draw their series heavier, with
  // a dot at each point (a person's measurements on the curves).
  QString highlight;
  QList<ChartPageDef> pages;
};

struct SectionDef {
  QString title;  // template: "{FIELD}" takes the field's value of the block
  std::array<QString, 4> sql;  // by fw::SqlDialect; an empty text falls back to the default
  QList<ColumnDef> columns;
  // The fields this section is grouped by: a leading part of the report's
  // (its blocks then follow every block of the longer keys they lead);
  // empty: the report's.
  QStringList groupBy;
  std::optional<ChartDef> chart;

  QString Sql(fw::SqlDialect dialect) const;
  bool HasBands() const;
};

struct ReportDefinition {
  QString code;
  QString title;
  QPageSize::PageSizeId pageSize = QPageSize::A4;
  QPageLayout::Orientation orientation = QPageLayout::Portrait;
  QMarginsF marginsMm{12, 12, 12, 12};
  QStringList groupBy;    // the fields every section's query returns first, in its order
  QString heading;        // template shown on every page of a group
  QStringList subheading; // templates printed under the heading when not empty
  // With a label ("Impresso em"), the printing date goes to the footer after
  // it, so that it is not taken for a date of the report's contents.
  QString printedLabel;
  QList<SectionDef> sections;
};

// "<dir>/<code>.json".
QString DefinitionPath(const QString& dir, const QString& code);

// Reads a definition. Throws fw::Error with a Portuguese message naming the
// file when it cannot be read, is not valid JSON or lacks a required part.
ReportDefinition LoadDefinition(const QString& path);
ReportDefinition ParseDefinition(const QByteArray& json, const QString& origin);

// Replaces each "{FIELD}" by `value(FIELD)`; "{FIELD:n}" gives a number
// without leading zeros ("003" -> "3").
QString FillTemplate(const QString& text, const std::function<QString(const QString&)>& value);

}  // namespace report
