#pragma once
// A spreadsheet as the table import reads it and the export writes it: named
// sheets of rows of cells, whatever the file (CSV, XLSX, ODS, text pasted
// from a spreadsheet). A cell keeps its text and, when the file stored a
// number (XLSX "n", ODS float), that number exactly; a text cell that looks
// like a number is read later, by the paste rules (decimal comma or point).
// Merged cells (XLSX mergeCells, ODS spans) give the top-left cell's text to
// every cell they cover, so a header merged over two rows still names its
// column. Empty rows are dropped; every row keeps its line in the file.

#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace trp::sheet {

struct Cell {
  QString text;
  std::optional<double> number;  // a number cell of XLSX/ODS
  bool covered = false;          // text copied from a merged range's first cell
  bool Empty() const { return text.isEmpty() && !number; }
};

struct Row {
  int line = 0;  // 1-based, as the spreadsheet program numbers it
  std::vector<Cell> cells;
};

struct Sheet {
  QString name;
  std::vector<Row> rows;  // non-empty rows only, in file order
};

struct Workbook {
  QList<Sheet> sheets;
  QString format;  // "csv", "xlsx", "ods", "texto"
};

// "A" for column 0, "AB" for 27.
QString ColumnName(int column);

// Reads a file by its extension (.csv, .txt, .xlsx, .ods). Throws
// std::runtime_error with a Portuguese message naming the file (and the part
// of it) when it cannot be read: missing, not a zip, no sheet, broken XML.
Workbook ReadWorkbook(const QString& path);

// CSV by RFC 4180 (quoted fields with "" for a quote, line breaks inside
// quotes) with the delimiter guessed from the first lines: ';', ',' or tab,
// whichever splits them most evenly. Text cells only.
Sheet ReadCsv(const QString& text, const QString& name = QStringLiteral("CSV"));
// One delimiter given (';', ',' or '\t').
Sheet ReadCsv(const QString& text, QChar delimiter, const QString& name);
// Text pasted from a spreadsheet: tabs between cells (the paste rules).
Sheet ReadPasted(const QString& text);

Workbook ReadXlsx(const QString& path);
Workbook ReadOds(const QString& path);

// --- writing

// CSV with `delimiter`, quoting only where a field needs it; lines end "\n".
// Numbers in their shortest round-trip form, with a decimal comma when
// `commaDecimal`.
QString WriteCsv(const Sheet& sheet, QChar delimiter, bool commaDecimal);
// The shortest text that reads back as `value` ("110.5"; "110,5" with a comma).
QString NumberText(double value, bool commaDecimal = false);
// Throw std::runtime_error naming the file when it cannot be written.
void WriteXlsx(const Workbook& book, const QString& path);
void WriteOds(const Workbook& book, const QString& path);
// By the extension of `path`: .xlsx or .ods.
void WriteWorkbook(const Workbook& book, const QString& path);

}  // namespace trp::sheet
