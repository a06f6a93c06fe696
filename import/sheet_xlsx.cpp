// XLSX: read through libzip and Qt's XML stream reader (workbook, its
// relationships, shared strings, each sheet's cells and merged ranges);
// written with libxlsxwriter.

#include "import/sheet.h"
#include "import/sheet_zip_p.h"

#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <xlsxwriter.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace trp::sheet {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

void CheckXml(const QXmlStreamReader& xml, const QString& file, const QString& entry) {
  if (xml.hasError())
    Fail(QStringLiteral("A planilha '%1' está danificada (%2, linha %3: %4).")
             .arg(QFileInfo(file).fileName(), entry)
             .arg(xml.lineNumber())
             .arg(xml.errorString()));
}

// "AB12" -> column 27, row 12 (1-based); false when it is no cell reference.
bool ParseRef(QStringView ref, int& column, int& row) {
  column = 0;
  row = 0;
  qsizetype i = 0;
  // Three letters at most: XFD is the last column a spreadsheet has.
  for (; i < ref.size() && i < 4 && ref[i] >= u'A' && ref[i] <= u'Z'; ++i)
    column = column * 26 + (ref[i].unicode() - 'A' + 1);
  if (i == 0 || i > 3 || i == ref.size()) return false;
  bool ok = false;
  row = ref.mid(i).toInt(&ok);
  column -= 1;
  return ok && row > 0 && column >= 0;
}

// The text of every <t> inside the current element (runs of rich text),
// phonetic guides left out.
QString ElementText(QXmlStreamReader& xml) {
  QString text;
  const QStringView end = xml.name();
  const QString endName = end.toString();
  int phonetic = 0;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      if (xml.name() == u"rPh") ++phonetic;
      if (xml.name() == u"t" && !phonetic) text += xml.readElementText();
    } else if (xml.isEndElement()) {
      if (xml.name() == u"rPh") --phonetic;
      if (xml.name() == endName) break;
    }
  }
  return text;
}

QStringList SharedStrings(const ZipReader& zip, const QString& path) {
  QStringList strings;
  const std::optional<QByteArray> data = zip.Read(QStringLiteral("xl/sharedStrings.xml"));
  if (!data) return strings;
  QXmlStreamReader xml(*data);
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == u"si") strings << ElementText(xml);
  }
  CheckXml(xml, path, QStringLiteral("sharedStrings.xml"));
  return strings;
}

struct SheetRef {
  QString name, entry;
};

std::vector<SheetRef> SheetEntries(const ZipReader& zip, const QString& path) {
  QHash<QString, QString> targets;
  {
    QXmlStreamReader xml(zip.Need(QStringLiteral("xl/_rels/workbook.xml.rels")));
    while (!xml.atEnd()) {
      xml.readNext();
      if (xml.isStartElement() && xml.name() == u"Relationship")
        targets.insert(xml.attributes().value(QLatin1String("Id")).toString(),
                       xml.attributes().value(QLatin1String("Target")).toString());
    }
    CheckXml(xml, path, QStringLiteral("workbook.xml.rels"));
  }
  std::vector<SheetRef> sheets;
  QXmlStreamReader xml(zip.Need(QStringLiteral("xl/workbook.xml")));
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement() || xml.name() != u"sheet") continue;
    QString id;
    for (const QXmlStreamAttribute& a : xml.attributes())
      if (a.name() == u"id") id = a.value().toString();  // r:id
    QString target = targets.value(id);
    if (target.isEmpty()) continue;
    target = target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target;
    sheets.push_back({xml.attributes().value(QLatin1String("name")).toString(), target});
  }
  CheckXml(xml, path, QStringLiteral("workbook.xml"));
  return sheets;
}

struct Range {
  int c0, r0, c1, r1;
};

Sheet ReadSheet(const ZipReader& zip, const QString& path, const SheetRef& ref,
                const QStringList& strings) {
  std::map<int, std::map<int, Cell>> cells;  // row -> column -> cell
  std::vector<Range> merges;
  QXmlStreamReader xml(zip.Need(ref.entry));
  int nextRow = 1;
  int row = 0, nextColumn = 0;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    const QStringView name = xml.name();
    if (name == u"row") {
      bool ok = false;
      const int r = xml.attributes().value(QLatin1String("r")).toInt(&ok);
      row = ok ? r : nextRow;
      nextRow = row + 1;
      nextColumn = 0;
    } else if (name == u"c") {
      const QXmlStreamAttributes a = xml.attributes();
      int column = nextColumn, r = row;
      if (a.hasAttribute(QLatin1String("r")) && !ParseRef(a.value(QLatin1String("r")), column, r))
        Fail(
            QStringLiteral("A planilha '%1' está danificada (%2: célula '%3').")
                .arg(QFileInfo(path).fileName(), ref.name, a.value(QLatin1String("r")).toString()));
      nextColumn = column + 1;
      const QString type = a.value(QLatin1String("t")).toString();
      Cell cell;
      QString value;
      bool inlineText = false;
      while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"v") value = xml.readElementText();
        if (xml.isStartElement() && xml.name() == u"is") {
          cell.text = ElementText(xml);
          inlineText = true;
        }
        if (xml.isEndElement() && xml.name() == u"c") break;
      }
      if (type == u"s") {
        bool ok = false;
        const int index = value.toInt(&ok);
        if (!ok || index < 0 || index >= strings.size())
          Fail(QStringLiteral("A planilha '%1' está danificada (%2: texto %3 inexistente).")
                   .arg(QFileInfo(path).fileName(), ref.name, value));
        cell.text = strings[index];
      } else if (type.isEmpty() || type == u"n") {
        bool ok = false;
        const double v = value.toDouble(&ok);
        cell.text = value;
        if (ok && std::isfinite(v)) cell.number = v;
      } else if (!inlineText) {
        cell.text = value;  // str (a formula's text), b, e, d
      }
      cell.text = cell.text.trimmed();
      if (!cell.Empty()) cells[r][column] = cell;
    } else if (name == u"mergeCell") {
      const QString refs = xml.attributes().value(QLatin1String("ref")).toString();
      const QStringList ends = refs.split(u':');
      Range m{};
      if (ends.size() == 2 && ParseRef(ends[0], m.c0, m.r0) && ParseRef(ends[1], m.c1, m.r1))
        merges.push_back(m);
    }
  }
  CheckXml(xml, path, ref.name);
  for (const Range& m : merges) {
    // A merged title or header spans a few cells; a range of a whole sheet
    // (a damaged file) is not copied cell by cell.
    if (double(m.r1 - m.r0 + 1) * double(m.c1 - m.c0 + 1) > 65536) continue;
    auto anchorRow = cells.find(m.r0);
    if (anchorRow == cells.end() || !anchorRow->second.count(m.c0)) continue;
    Cell copy = anchorRow->second.at(m.c0);
    copy.covered = true;
    copy.number.reset();
    for (int r = m.r0; r <= m.r1; ++r)
      for (int c = m.c0; c <= m.c1; ++c)
        if (r != m.r0 || c != m.c0) cells[r][c] = copy;
  }
  Sheet sheet;
  sheet.name = ref.name;
  AppendCellRows(sheet, cells);
  return sheet;
}

// libxlsxwriter writes numbers with 16 significant digits ("%.16G"); a
// double may need 17 to read back as itself. Those cells get their shortest
// exact text afterwards, in the sheet's XML as libxlsxwriter wrote it.
QByteArray ExactNumbers(const QByteArray& xml, const QHash<QByteArray, QByteArray>& exact) {
  QByteArray out;
  out.reserve(xml.size() + exact.size() * 2);
  qsizetype at = 0;
  const QByteArray cellStart = "<c r=\"";
  while (true) {
    const qsizetype c = xml.indexOf(cellStart, at);
    if (c < 0) break;
    const qsizetype refStart = c + cellStart.size();
    const qsizetype refEnd = xml.indexOf('"', refStart);
    const QByteArray ref = xml.mid(refStart, refEnd - refStart);
    const auto it = exact.find(ref);
    if (it == exact.end()) {
      out += xml.mid(at, refEnd - at);
      at = refEnd;
      continue;
    }
    const qsizetype v = xml.indexOf("<v>", refEnd) + 3;
    const qsizetype vEnd = xml.indexOf("</v>", v);
    out += xml.mid(at, v - at);
    out += *it;
    at = vEnd;
  }
  out += xml.mid(at);
  return out;
}

QString SafeSheetName(QString name, int index) {
  for (QChar bad : {u'[', u']', u':', u'*', u'?', u'/', u'\\'}) name.replace(bad, u'_');
  name = name.left(31);
  return name.isEmpty() ? QStringLiteral("Planilha%1").arg(index + 1) : name;
}

}  // namespace

Workbook ReadXlsx(const QString& path) {
  const ZipReader zip(path);
  const QStringList strings = SharedStrings(zip, path);
  Workbook book;
  book.format = QStringLiteral("xlsx");
  for (const SheetRef& ref : SheetEntries(zip, path))
    book.sheets.append(ReadSheet(zip, path, ref, strings));
  if (book.sheets.isEmpty())
    Fail(QStringLiteral("A planilha '%1' não tem nenhuma folha.").arg(QFileInfo(path).fileName()));
  return book;
}

void WriteXlsx(const Workbook& book, const QString& path) {
  const QByteArray file = QFile::encodeName(path);
  lxw_workbook* wb = workbook_new(file.constData());
  if (!wb) Fail(QStringLiteral("Não foi possível criar '%1'.").arg(path));
  lxw_format* bold = workbook_add_format(wb);
  format_set_bold(bold);
  std::vector<std::pair<int, QHash<QByteArray, QByteArray>>> exact;  // sheet index -> cells
  for (int s = 0; s < book.sheets.size(); ++s) {
    const Sheet& sheet = book.sheets[s];
    const QByteArray name = SafeSheetName(sheet.name, s).toUtf8();
    lxw_worksheet* ws = workbook_add_worksheet(wb, name.constData());
    QHash<QByteArray, QByteArray> cells;
    bool firstRow = true;
    for (const Row& r : sheet.rows) {
      for (size_t c = 0; c < r.cells.size(); ++c) {
        const Cell& cell = r.cells[c];
        const auto row = lxw_row_t(r.line - 1);
        const auto col = lxw_col_t(c);
        if (cell.number) {
          worksheet_write_number(ws, row, col, *cell.number, nullptr);
          char text[40];
          std::snprintf(text, sizeof text, "%.16G", *cell.number);
          if (std::strtod(text, nullptr) != *cell.number)
            cells.insert((ColumnName(int(c)) + QString::number(r.line)).toLatin1(),
                         NumberText(*cell.number).toLatin1());
        } else if (!cell.text.isEmpty()) {
          const QByteArray t = cell.text.toUtf8();
          worksheet_write_string(ws, row, col, t.constData(), firstRow ? bold : nullptr);
        }
      }
      firstRow = false;
    }
    if (!cells.isEmpty()) exact.emplace_back(s, std::move(cells));
  }
  const lxw_error error = workbook_close(wb);
  if (error != LXW_NO_ERROR)
    Fail(QStringLiteral("Não foi possível gravar '%1': %2")
             .arg(path, QString::fromUtf8(lxw_strerror(error))));
  if (exact.empty()) return;
  std::vector<ZipEntry> patched;
  {
    const ZipReader zip(path);
    for (const auto& [index, cells] : exact) {
      const QString entry = QStringLiteral("xl/worksheets/sheet%1.xml").arg(index + 1);
      patched.push_back({entry, ExactNumbers(zip.Need(entry), cells), false});
    }
  }
  ReplaceZipEntries(path, patched);
}

}  // namespace trp::sheet
