// ODS (OpenDocument spreadsheet): content.xml read through libzip and Qt's
// XML stream reader; written as the smallest package the format allows
// (mimetype stored first, manifest, content).

#include "import/sheet.h"
#include "import/sheet_zip_p.h"

#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

namespace trp::sheet {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

// A repeat count far beyond any table: the empty rows and columns a
// spreadsheet program writes to the sheet's end are skipped, not copied.
constexpr int kMaxRepeat = 10000;

// A repeat or span count; a damaged or hostile file's huge count is capped
// (a sheet has at most 1,048,576 rows), so positions never overflow.
int Count(const QXmlStreamAttributes& a, QLatin1String name) {
  bool ok = false;
  const int n = a.value(name).toInt(&ok);
  return ok && n > 0 ? std::min(n, 1 << 20) : 1;
}

// The paragraphs of a cell, joined by line breaks; text:s is N spaces.
QString CellText(QXmlStreamReader& xml) {
  QString text;
  int paragraphs = 0;
  int depth = 1;
  while (!xml.atEnd() && depth > 0) {
    xml.readNext();
    if (xml.isStartElement()) {
      ++depth;
      if (xml.name() == u"p") {
        if (paragraphs++) text += u'\n';
      } else if (xml.name() == u"s") {
        text += QString(Count(xml.attributes(), QLatin1String("c")), u' ');
      } else if (xml.name() == u"tab") {
        text += u'\t';
      } else if (xml.name() == u"line-break") {
        text += u'\n';
      } else if (xml.name() == u"annotation") {
        xml.skipCurrentElement();
        --depth;
      }
    } else if (xml.isEndElement()) {
      --depth;
    } else if (xml.isCharacters()) {
      text += xml.text();
    }
  }
  return text;
}

struct Span {
  int r0, c0, rows, columns;
};

Sheet ReadTable(QXmlStreamReader& xml) {
  Sheet sheet;
  sheet.name = xml.attributes().value(QLatin1String("table:name")).toString();
  std::map<int, std::map<int, Cell>> cells;
  std::vector<Span> spans;
  int line = 0, column = 0, rowRepeat = 1;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isEndElement() && xml.name() == u"table") break;
    if (xml.isEndElement() && xml.name() == u"table-row") {
      // A row with content repeated: copy it; an empty one only moves on.
      if (cells.count(line) && rowRepeat > 1)
        for (int k = 1; k < std::min(rowRepeat, kMaxRepeat); ++k) cells[line + k] = cells[line];
      line = std::min(line + rowRepeat - 1, 1 << 24);
      continue;
    }
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"table-row") {
      ++line;
      column = 0;
      rowRepeat = Count(xml.attributes(), QLatin1String("table:number-rows-repeated"));
      continue;
    }
    const bool covered = xml.name() == u"covered-table-cell";
    if (xml.name() != u"table-cell" && !covered) continue;
    const QXmlStreamAttributes a = xml.attributes();
    const int repeat = Count(a, QLatin1String("table:number-columns-repeated"));
    Cell cell;
    const QStringView type = a.value(QLatin1String("office:value-type"));
    if (type == u"float" || type == u"percentage" || type == u"currency") {
      bool ok = false;
      const double v = a.value(QLatin1String("office:value")).toDouble(&ok);
      if (ok && std::isfinite(v)) cell.number = v;
    }
    cell.text = CellText(xml).trimmed();
    if (!cell.number && type == u"boolean")
      cell.text = a.value(QLatin1String("office:boolean-value")).toString();
    if (!covered && (a.hasAttribute(QLatin1String("table:number-columns-spanned")) ||
                     a.hasAttribute(QLatin1String("table:number-rows-spanned"))))
      spans.push_back({line, column, Count(a, QLatin1String("table:number-rows-spanned")),
                       Count(a, QLatin1String("table:number-columns-spanned"))});
    if (!covered && !cell.Empty())
      for (int k = 0; k < std::min(repeat, kMaxRepeat); ++k) cells[line][column + k] = cell;
    column = std::min(column + repeat, 1 << 24);
  }
  for (const Span& s : spans) {
    if (double(s.rows) * double(s.columns) > 65536) continue;  // as for XLSX
    auto row = cells.find(s.r0);
    if (row == cells.end() || !row->second.count(s.c0)) continue;
    Cell copy = row->second.at(s.c0);
    copy.covered = true;
    copy.number.reset();
    for (int r = s.r0; r < s.r0 + s.rows; ++r)
      for (int c = s.c0; c < s.c0 + s.columns; ++c)
        if (r != s.r0 || c != s.c0) cells[r][c] = copy;
  }
  AppendCellRows(sheet, cells);
  return sheet;
}

const char* const kOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
const char* const kTable = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
const char* const kText = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";

QByteArray Content(const Workbook& book) {
  QByteArray data;
  QXmlStreamWriter w(&data);
  w.writeStartDocument();
  w.writeNamespace(QString::fromLatin1(kOffice), QStringLiteral("office"));
  w.writeNamespace(QString::fromLatin1(kTable), QStringLiteral("table"));
  w.writeNamespace(QString::fromLatin1(kText), QStringLiteral("text"));
  const QString office = QString::fromLatin1(kOffice), table = QString::fromLatin1(kTable),
                text = QString::fromLatin1(kText);
  w.writeStartElement(office, QStringLiteral("document-content"));
  w.writeAttribute(office, QStringLiteral("version"), QStringLiteral("1.2"));
  w.writeStartElement(office, QStringLiteral("body"));
  w.writeStartElement(office, QStringLiteral("spreadsheet"));
  for (const Sheet& sheet : book.sheets) {
    w.writeStartElement(table, QStringLiteral("table"));
    w.writeAttribute(table, QStringLiteral("name"), sheet.name);
    int line = 1;
    for (const Row& r : sheet.rows) {
      if (r.line > line) {
        w.writeStartElement(table, QStringLiteral("table-row"));
        w.writeAttribute(table, QStringLiteral("number-rows-repeated"),
                         QString::number(r.line - line));
        w.writeEmptyElement(table, QStringLiteral("table-cell"));
        w.writeEndElement();
      }
      w.writeStartElement(table, QStringLiteral("table-row"));
      for (const Cell& c : r.cells) {
        if (c.Empty()) {
          w.writeEmptyElement(table, QStringLiteral("table-cell"));
          continue;
        }
        w.writeStartElement(table, QStringLiteral("table-cell"));
        if (c.number) {
          w.writeAttribute(office, QStringLiteral("value-type"), QStringLiteral("float"));
          w.writeAttribute(office, QStringLiteral("value"), NumberText(*c.number));
        } else {
          w.writeAttribute(office, QStringLiteral("value-type"), QStringLiteral("string"));
        }
        const QString shown = c.number ? NumberText(*c.number) : c.text;
        for (const QString& p : shown.split(u'\n'))
          w.writeTextElement(text, QStringLiteral("p"), p);
        w.writeEndElement();
      }
      w.writeEndElement();
      line = r.line + 1;
    }
    w.writeEndElement();
  }
  w.writeEndDocument();
  return data;
}

const char* const kMime = "application/vnd.oasis.opendocument.spreadsheet";

QByteArray Manifest() {
  return QByteArray(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<manifest:manifest "
             "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
             "manifest:version=\"1.2\">\n"
             " <manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" "
             "manifest:media-type=\"") +
         kMime +
         "\"/>\n"
         " <manifest:file-entry manifest:full-path=\"content.xml\" "
         "manifest:media-type=\"text/xml\"/>\n"
         "</manifest:manifest>\n";
}

}  // namespace

Workbook ReadOds(const QString& path) {
  const ZipReader zip(path);
  QXmlStreamReader xml(zip.Need(QStringLiteral("content.xml")));
  Workbook book;
  book.format = QStringLiteral("ods");
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == u"table" &&
        xml.namespaceUri() == QLatin1String(kTable))
      book.sheets.append(ReadTable(xml));
  }
  if (xml.hasError())
    Fail(QStringLiteral("A planilha '%1' está danificada (content.xml, linha %2: %3).")
             .arg(QFileInfo(path).fileName())
             .arg(xml.lineNumber())
             .arg(xml.errorString()));
  if (book.sheets.isEmpty())
    Fail(QStringLiteral("A planilha '%1' não tem nenhuma folha.").arg(QFileInfo(path).fileName()));
  return book;
}

void WriteOds(const Workbook& book, const QString& path) {
  WriteZip(path, {{QStringLiteral("mimetype"), QByteArray(kMime), true},
                  {QStringLiteral("META-INF/manifest.xml"), Manifest(), false},
                  {QStringLiteral("content.xml"), Content(book), false}});
}

}  // namespace trp::sheet
