// CSV (RFC 4180, any of the usual delimiters) and pasted text, read into a
// sheet; a sheet written back as CSV.

#include "framework/data/paste_block.h"
#include "import/sheet.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace trp::sheet {

namespace {

void AddRow(Sheet& sheet, int line, std::vector<Cell>&& cells) {
  bool empty = true;
  for (Cell& c : cells) {
    c.text = c.text.trimmed();
    empty = empty && c.Empty();
  }
  if (!empty) sheet.rows.push_back({line, std::move(cells)});
}

// How well `delimiter` splits the first lines: the number of lines (outside
// quotes) that share the commonest count of fields above one; a title or a
// footnote of one field does not count against it.
int Evenness(const QString& text, QChar delimiter) {
  std::map<int, int> lines;  // fields -> lines
  int count = 1, seen = 0;
  bool quoted = false;
  for (qsizetype i = 0; i < text.size() && seen < 30; ++i) {
    const QChar c = text[i];
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == delimiter) ++count;
    if (c == u'\n' || i + 1 == text.size()) {
      if (count > 1) ++lines[count];
      ++seen;
      count = 1;
    }
  }
  int best = 0;
  for (const auto& [fields, n] : lines) best = std::max(best, n);
  return best;
}

}  // namespace

QString ColumnName(int column) {
  QString name;
  for (int c = column + 1; c > 0; c = (c - 1) / 26) name.prepend(QChar(u'A' + (c - 1) % 26));
  return name;
}

Sheet ReadCsv(const QString& text, const QString& name) {
  QChar best = u';';
  int bestFields = 0;
  for (QChar d : {QChar(u';'), QChar(u'\t'), QChar(u',')}) {
    const int n = Evenness(text, d);
    if (n > bestFields) {
      best = d;
      bestFields = n;
    }
  }
  return ReadCsv(text, best, name);
}

Sheet ReadCsv(const QString& text, QChar delimiter, const QString& name) {
  Sheet sheet;
  sheet.name = name;
  std::vector<Cell> cells(1);
  int line = 1, rowLine = 1;
  bool quoted = false;
  qsizetype i = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
  for (; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == u'"') {
        if (i + 1 < text.size() && text[i + 1] == u'"') {
          cells.back().text += u'"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        if (c == u'\n') ++line;
        cells.back().text += c;
      }
      continue;
    }
    if (c == u'"' && cells.back().text.trimmed().isEmpty()) {
      cells.back().text.clear();
      quoted = true;
    } else if (c == delimiter) {
      cells.emplace_back();
    } else if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      AddRow(sheet, rowLine, std::move(cells));
      cells.assign(1, Cell{});
      rowLine = ++line;
    } else {
      cells.back().text += c;
    }
  }
  if (quoted)
    throw std::runtime_error(
        QStringLiteral("Aspas sem fechamento a partir da linha %1.").arg(rowLine).toStdString());
  AddRow(sheet, rowLine, std::move(cells));
  return sheet;
}

Sheet ReadPasted(const QString& text) {
  Sheet sheet;
  sheet.name = QStringLiteral("Área de transferência");
  int line = 0;
  for (const QStringList& cells : fw::SplitBlock(text)) {
    std::vector<Cell> row;
    for (const QString& c : cells) row.push_back({c, std::nullopt, false});
    AddRow(sheet, ++line, std::move(row));
  }
  return sheet;
}

QString NumberText(double value, bool commaDecimal) {
  QString s = QString::number(value, 'g', QLocale::FloatingPointShortest);
  // Plain notation for the magnitudes of growth tables (1e-05 would puzzle a
  // spreadsheet user less as 0.00001).
  if (s.contains(u'e')) s = QString::number(value, 'f', 17).remove(QRegularExpression("0+$"));
  if (commaDecimal) s.replace(u'.', u',');
  return s;
}

QString WriteCsv(const Sheet& sheet, QChar delimiter, bool commaDecimal) {
  QString out;
  for (const Row& r : sheet.rows) {
    for (size_t i = 0; i < r.cells.size(); ++i) {
      if (i) out += delimiter;
      const Cell& c = r.cells[i];
      if (c.number) {
        out += NumberText(*c.number, commaDecimal);
        continue;
      }
      QString t = c.text;
      if (t.contains(delimiter) || t.contains(u'"') || t.contains(u'\n') || t.contains(u'\r')) {
        t.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        t = u'"' + t + u'"';
      }
      out += t;
    }
    out += u'\n';
  }
  return out;
}

Workbook ReadWorkbook(const QString& path) {
  const QString ext = QFileInfo(path).suffix().toLower();
  if (ext == QLatin1String("xlsx")) return ReadXlsx(path);
  if (ext == QLatin1String("ods")) return ReadOds(path);
  if (ext != QLatin1String("csv") && ext != QLatin1String("txt"))
    throw std::runtime_error(QStringLiteral("O arquivo '%1' não é CSV, XLSX nem ODS.")
                                 .arg(QFileInfo(path).fileName())
                                 .toStdString());
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    throw std::runtime_error(
        QStringLiteral("Não foi possível abrir '%1': %2").arg(path, f.errorString()).toStdString());
  const QByteArray bytes = f.readAll();
  // A spreadsheet program's CSV is UTF-8 or, from older ones, Latin-1.
  QString text = QString::fromUtf8(bytes);
  if (text.contains(QChar::ReplacementCharacter)) text = QString::fromLatin1(bytes);
  Workbook book;
  book.format = QStringLiteral("csv");
  book.sheets.append(ReadCsv(text, QFileInfo(path).completeBaseName()));
  return book;
}

void WriteWorkbook(const Workbook& book, const QString& path) {
  const QString ext = QFileInfo(path).suffix().toLower();
  if (ext == QLatin1String("xlsx")) return WriteXlsx(book, path);
  if (ext == QLatin1String("ods")) return WriteOds(book, path);
  throw std::runtime_error(
      QStringLiteral("Formato de planilha desconhecido: '%1' (use .xlsx ou .ods).")
          .arg(path)
          .toStdString());
}

}  // namespace trp::sheet
