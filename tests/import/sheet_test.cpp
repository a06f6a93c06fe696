// Spreadsheet files read and written: CSV by RFC 4180 with the delimiter
// guessed, numbers that must survive XLSX and ODS exactly, and the header
// proposal of a sheet.

#include "import/sheet.h"
#include "import/table_import.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>

using namespace trp;

namespace {

QStringList Texts(const sheet::Row& r) {
  QStringList out;
  for (const sheet::Cell& c : r.cells) out << c.text;
  return out;
}

TEST(Csv, QuotesDelimitersAndLineBreaksFollowRfc4180) {
  struct Case {
    const char* name;
    QString text;
    std::vector<QStringList> rows;
  };
  for (const Case& c : {
           Case{"semicolon", "a;b\n1,5;2\n", {{"a", "b"}, {"1,5", "2"}}},
           Case{"comma", "a,b\r\n1.5,2\r\n", {{"a", "b"}, {"1.5", "2"}}},
           Case{"tab", "a\tb\n1\t2", {{"a", "b"}, {"1", "2"}}},
           Case{"quoted", "x;y\n\"1;2\";\"diz \"\"oi\"\"\"\n", {{"x", "y"}, {"1;2", "diz \"oi\""}}},
           Case{"break in quotes",
                "x;y\n\"linha\num\";2\n3;4\n",
                {{"x", "y"}, {"linha\num", "2"}, {"3", "4"}}},
           Case{"empty rows dropped", "x;y\n;\n\n1;2\n", {{"x", "y"}, {"1", "2"}}},
           Case{"decimal commas, not fields", "x;y\n1,5;2,5\n", {{"x", "y"}, {"1,5", "2,5"}}},
           Case{"a title over commas", "Título\n\nA,B\n1.5,2\n", {{"Título"}, {"A", "B"}, {"1.5", "2"}}},
       }) {
    SCOPED_TRACE(c.name);
    const sheet::Sheet s = sheet::ReadCsv(c.text);
    ASSERT_EQ(s.rows.size(), c.rows.size());
    for (size_t i = 0; i < c.rows.size(); ++i) EXPECT_EQ(Texts(s.rows[i]), c.rows[i]);
  }
  // Lines are the file's, counted across a quoted line break.
  EXPECT_EQ(sheet::ReadCsv(QStringLiteral("x;y\n\"a\nb\";2\n3;4\n")).rows.back().line, 4);
  EXPECT_THROW(sheet::ReadCsv(QStringLiteral("x;y\n\"aberta;2\n")), std::runtime_error);
}

TEST(Workbook, XlsxAndOdsKeepEveryDoubleAndTheirTexts) {
  QTemporaryDir dir;
  sheet::Workbook book;
  sheet::Sheet s;
  s.name = QStringLiteral("Números");
  // 0.1 + 0.2 needs 17 digits; libxlsxwriter writes 16.
  const std::vector<double> values{0.1 + 0.2, 2.4595445632118387, 1e-7, 110.5, -0.17518447, 1234.5};
  s.rows.push_back({1, {{QStringLiteral("Título; com \"aspas\" & <xml>"), {}, false}}});
  sheet::Row r{3, {}};
  for (double v : values) r.cells.push_back({QString(), v, false});
  s.rows.push_back(r);
  book.sheets.append(s);
  for (const char* ext : {"xlsx", "ods"}) {
    SCOPED_TRACE(ext);
    const QString path = dir.filePath(QStringLiteral("n.") + QLatin1String(ext));
    sheet::WriteWorkbook(book, path);
    const sheet::Workbook back = sheet::ReadWorkbook(path);
    ASSERT_EQ(back.sheets.size(), 1);
    EXPECT_EQ(back.sheets[0].name, s.name);
    ASSERT_EQ(back.sheets[0].rows.size(), 2u);
    EXPECT_EQ(back.sheets[0].rows[0].cells[0].text, s.rows[0].cells[0].text);
    EXPECT_EQ(back.sheets[0].rows[1].line, 3);
    for (size_t i = 0; i < values.size(); ++i)
      EXPECT_EQ(back.sheets[0].rows[1].cells[i].number.value_or(NAN), values[i]) << i;
  }
  EXPECT_THROW(sheet::ReadWorkbook(dir.filePath(QStringLiteral("nada.ods"))), std::runtime_error);
}

TEST(Mapping, HeadersProposeTheKeyTheValuesAndTheSex) {
  struct Case {
    QString csv;
    QString name;
    QString map;
  };
  for (const Case& c : {
           Case{"Sex,Agemos,L,M,S,P3,P50\n1,0.5,1,2,0.1,1,2\n", "wtageinf",
                "A=sexo,B=chave,C=L,D=M,E=S,F=P3,G=P50,medida=peso"},
           Case{"Anos;Meses;Percentil 15;P2,5\n1;0;9;8\n", "Meninas",
                "A=anos,B=meses,C=P15,D=P2.5,sexo=feminino,medida=peso"},
           Case{"Título\n\nAltura (cm);P50\n45;2,4\n", "Boys", "A=chave,B=P50,sexo=masculino"},
       }) {
    SCOPED_TRACE(c.map.toStdString());
    const sheet::Sheet s = sheet::ReadCsv(c.csv, c.name);
    EXPECT_EQ(tableimport::Propose(s).Text(s), c.map);
  }
}

}  // namespace
