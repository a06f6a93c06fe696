// The report engine's parameters bound as values, its definitions, the
// order of its blocks, and the QEL536 report written by tabrelpeso-report
// over the seeded sample, read back with pdftotext.

#include "framework/data/errors.h"
#include "framework/data/format.h"
#include "framework/sql/localdb.h"
#include "report/report_definition.h"
#include "report/report_query.h"
#include "report/report_render.h"
#include "server/app_server.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

fw::TQueryParams Params(const QString& refs, const QString& percs = QStringLiteral("T")) {
  fw::TQueryParams p({QStringLiteral("P_CDREFERENCIA"), QStringLiteral("P_CDPERCENTIL")});
  p.ParamByName(QStringLiteral("P_CDREFERENCIA")).SetAsString(refs);
  p.ParamByName(QStringLiteral("P_CDPERCENTIL")).SetAsString(percs);
  return p;
}

TEST(ReportParameters, ListsAreBoundAsValuesNeverAsText) {
  const QString sql = QStringLiteral(
      "SELECT * FROM T WHERE IN_LIST(T.CDREFEBIBL, :P_CDREFERENCIA) AND in_list( CDPERCENTIL ,"
      " :P_CDPERCENTIL )");
  struct Case {
    const char* refs;
    const char* sqlHas;
    QStringList bound;
  };
  const Case cases[] = {
      {"T", "WHERE 1 = 1 AND", {}},
      {"01,02", "T.CDREFEBIBL IN (:TRP_LISTA_1, :TRP_LISTA_2)", {"01", "02"}},
      {" 01 , ,02,", "T.CDREFEBIBL IN (:TRP_LISTA_1, :TRP_LISTA_2)", {"01", "02"}},
      {"0'1') OR ('1'='1", "T.CDREFEBIBL IN (:TRP_LISTA_1) AND", {"0'1') OR ('1'='1"}},
      {"", "WHERE 1 = 0 AND", {}},
      {"t", "T.CDREFEBIBL IN (:TRP_LISTA_1)", {"t"}},  // only "T" means all
  };
  for (const Case& c : cases) {
    const report::BoundSql b = report::BindParameters(sql, Params(QLatin1String(c.refs)));
    SCOPED_TRACE(c.refs);
    EXPECT_TRUE(b.sql.contains(QLatin1String(c.sqlHas))) << b.sql.toStdString();
    EXPECT_FALSE(b.sql.contains(QLatin1Char('\''))) << b.sql.toStdString();
    EXPECT_TRUE(b.sql.endsWith(QStringLiteral("AND 1 = 1"))) << b.sql.toStdString();
    QStringList bound;
    for (const auto& [name, value] : b.values) bound << value.toString();
    EXPECT_EQ(bound, c.bound);
  }
  // A parameter the screen did not fill is an error naming it, never "all".
  fw::TQueryParams only({QStringLiteral("P_CDREFERENCIA")});
  only.ParamByName(QStringLiteral("P_CDREFERENCIA")).SetAsString(QStringLiteral("T"));
  try {
    report::BindParameters(sql, only);
    ADD_FAILURE() << "no error";
  } catch (const fw::Error& e) {
    EXPECT_TRUE(e.message().contains(QStringLiteral("P_CDPERCENTIL")));
  }
}

TEST(ReportDefinition, AMalformedDefinitionIsRefusedWithWhatIsWrong) {
  struct Case {
    const char* json;
    const char* says;
  };
  const Case cases[] = {
      {"{", "JSON inválido"},
      {"[]", "não é um objeto"},
      {R"({"title":"x","sections":[]})", "\"code\""},
      {R"({"code":"R1","sections":[]})", "não há seções"},
      {R"({"code":"R1","sections":[{"columns":[{"field":"A"}]}]})", "consulta padrão"},
      {R"({"code":"R1","sections":[{"sql":"SELECT 1","columns":[]}]})", "colunas"},
      {R"({"code":"R1","page":{"size":"A7"},"sections":[{"sql":"S","columns":[{"field":"A"}]}]})",
       "A7"},
  };
  for (const Case& c : cases) {
    try {
      report::ParseDefinition(QByteArray(c.json), QStringLiteral("R1.json"));
      ADD_FAILURE() << c.json;
    } catch (const fw::Error& e) {
      EXPECT_TRUE(e.message().contains(QStringLiteral("R1.json"))) << e.message().toStdString();
      EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.says))) << e.message().toStdString();
    }
  }
}

TEST(ReportBlocks, GroupsComeInKeyOrderWithTheSectionsInTheirOrder) {
  QTemporaryDir dir;
  QSqlDatabase db = fw::OpenLocalDatabase(dir.filePath(QStringLiteral("b.db")), QStringLiteral("b"));
  QSqlQuery q(db);
  for (const char* sql :
       {"CREATE TABLE A (G TEXT, V INT)", "CREATE TABLE B (G TEXT, V INT)",
        "INSERT INTO A VALUES ('2', 1), ('1', 1), ('1', 2)", "INSERT INTO B VALUES ('3', 1), ('1', 9)"})
    ASSERT_TRUE(q.exec(QLatin1String(sql))) << sql;
  const report::ReportDefinition def = report::ParseDefinition(
      R"({"code":"T","groupBy":["G"],"sections":[
          {"sql":"SELECT G, V FROM A ORDER BY G, V","columns":[{"field":"V"}]},
          {"sql":"SELECT G, V FROM B ORDER BY G, V","columns":[{"field":"V"}]}]})",
      QStringLiteral("T"));
  {
    report::BlockReader reader(def, db, fw::TQueryParams());
    report::Block block;
    QStringList seen;
    while (reader.Next(block))
      seen << QStringLiteral("%1:%2:%3").arg(block.groupKey.join('/')).arg(block.section).arg(block.rows.size());
    EXPECT_EQ(seen, (QStringList{"1:0:2", "1:1:1", "2:0:1", "3:1:1"}));
  }
  db = QSqlDatabase();
  fw::CloseLocalDatabase(QStringLiteral("b"));
}

// The QEL536 report of the seeded sample, written by the command-line tool.
class ReportTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    db_ = new QString(dir_->filePath(QStringLiteral("amostra.db")));
    srv::SeedSampleDatabase(*db_, QStringLiteral(TRP_SOURCE_DIR "/data/cdc2000"));
  }
  static void TearDownTestSuite() {
    delete db_;
    delete dir_;
  }
  struct Result {
    int exit = -1;
    QString out, err;
  };
  static Result Tool(const QStringList& args) {
    QProcess p;
    p.start(qEnvironmentVariable("TRP_BUILD_DIR") + QStringLiteral("/bin/tabrelpeso-report"),
            QStringList{QStringLiteral("--db"), *db_} + args);
    p.waitForFinished(300000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
  }
  static QString Text(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }
  static QString Out(const char* name) { return dir_->filePath(QLatin1String(name)); }
  static QTemporaryDir* dir_;
  static QString* db_;
};
QTemporaryDir* ReportTool::dir_ = nullptr;
QString* ReportTool::db_ = nullptr;

TEST_F(ReportTool, OnePercentileOfOneReferenceAsTheScreenShowsIt) {
  const Result r = Tool({"--refs", "01", "--percs", "050", "--out", Out("p50.pdf")});
  ASSERT_EQ(r.exit, 0) << r.err.toStdString();
  const int pages = r.out.trimmed().toInt();
  const QString text = Text(Out("p50.pdf"));
  EXPECT_TRUE(text.contains(QStringLiteral("página 1 de %1").arg(pages)));
  EXPECT_TRUE(text.contains(QStringLiteral("página %1 de %1").arg(pages)));
  EXPECT_FALSE(text.contains(QStringLiteral("página %1 de").arg(pages + 1)));
  EXPECT_EQ(text.count(QStringLiteral("Referência 01 - CDC 2000")), pages);  // on every page
  EXPECT_EQ(text.count(QStringLiteral("National Center for Health Statistics")), pages);
  EXPECT_FALSE(text.contains(QStringLiteral("(003)")));
  // Boys at 2 years 0 months; girls' weight at 100.5 cm.
  QSqlDatabase db = fw::OpenLocalDatabase(*db_, QStringLiteral("t"));
  auto value = [&](const char* sql) {
    QSqlQuery q(db);
    return q.exec(QLatin1String(sql)) && q.next() ? q.value(0).toDouble() : -1.0;
  };
  const double boys = value(
      "SELECT VRPESOMASIDA FROM PESALTIDADE WHERE CDREFEBIBL='01' AND CDPERCENTIL='050' AND "
      "NRIDADEINI=2 AND NRIDADEFIN=0");
  const double height = value(
      "SELECT VRPESOFEMALT FROM PESOALTU WHERE CDREFEBIBL='01' AND CDPERCENTIL='050' AND "
      "VRALTURA=100.5");
  db = QSqlDatabase();
  fw::CloseLocalDatabase(QStringLiteral("t"));
  ASSERT_GT(boys, 0);
  ASSERT_GT(height, 0);
  const QString boysRow = QStringLiteral("\\n\\s*2\\s+0\\s+%1\\s").arg(
      QRegularExpression::escape(fw::FormatFloat(boys, QStringLiteral("#,##0.000"))));
  EXPECT_TRUE(QRegularExpression(boysRow).match(text).hasMatch()) << boysRow.toStdString();
  const QString heightRow = QStringLiteral("\\n\\s*100,50\\s+[0-9,]+\\s+%1\\s").arg(
      QRegularExpression::escape(fw::FormatFloat(height, QStringLiteral("#,##0.000"))));
  EXPECT_TRUE(QRegularExpression(heightRow).match(text).hasMatch()) << heightRow.toStdString();
}

// The footer's font on the first page (a table) and on the last (a chart),
// read from the PDF's text runs.
TEST_F(ReportTool, TheFrameKeepsItsFontOnTheChartPages) {
  const Result r = Tool({"--refs", "01", "--percs", "050", "--out", Out("frame.pdf")});
  ASSERT_EQ(r.exit, 0) << r.err.toStdString();
  const int pages = r.out.trimmed().toInt();
  ASSERT_GT(pages, 2);
  QProcess p;
  p.start(QStringLiteral("pdftohtml"), {QStringLiteral("-xml"), QStringLiteral("-i"),
                                        QStringLiteral("-stdout"), Out("frame.pdf")});
  p.waitForFinished(60000);
  const QString xml = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_TRUE(xml.contains(QStringLiteral("Curvas por idade")));  // the chart pages are there
  // pdftohtml numbers each distinct font (bold apart) once for the file and
  // marks bold text with <b>.
  auto fontOf = [&](const QString& text) {
    const auto m = QRegularExpression(QStringLiteral("font=\"(\\d+)\"[^>]*>((<[bi]>)*)") +
                                      QRegularExpression::escape(text))
                       .match(xml);
    return m.hasMatch() ? m.captured(1) + m.captured(2) : QString();
  };
  const QString first = fontOf(QStringLiteral("página 1 de %1").arg(pages));
  ASSERT_FALSE(first.isEmpty());
  EXPECT_EQ(fontOf(QStringLiteral("página %1 de %1").arg(pages)), first);
  EXPECT_EQ(fontOf(QStringLiteral("página %1 de %2").arg(pages - 1).arg(pages)), first);
}

// The whole sample's text, page by page, against the text the report gave
// before its layout was reworked for speed. The print date is masked.
// TRP_UPDATE_FIXTURES=1 rewrites the fixture after an intended change.
TEST_F(ReportTool, TheWholeSampleReadsAsItsFixture) {
  const Result r = Tool({"--out", Out("todas.pdf")});
  ASSERT_EQ(r.exit, 0) << r.err.toStdString();
  QString text = Text(Out("todas.pdf"));
  text.replace(QRegularExpression(QStringLiteral("\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d")),
               QStringLiteral("DD/MM/AAAA hh:mm"));
  QFile fixture(QStringLiteral(TRP_SOURCE_DIR "/tests/report/data/qel536_amostra.txt"));
  if (!qEnvironmentVariableIsEmpty("TRP_UPDATE_FIXTURES")) {
    ASSERT_TRUE(fixture.open(QIODevice::WriteOnly | QIODevice::Truncate));
    fixture.write(text.toUtf8());
    return;
  }
  ASSERT_TRUE(fixture.open(QIODevice::ReadOnly)) << fixture.fileName().toStdString();
  const QStringList expected = QString::fromUtf8(fixture.readAll()).split(QLatin1Char('\n'));
  const QStringList got = text.split(QLatin1Char('\n'));
  EXPECT_EQ(got.size(), expected.size());
  for (qsizetype i = 0; i < got.size() && i < expected.size(); ++i)
    ASSERT_EQ(got[i].toStdString(), expected[i].toStdString()) << "line " << i + 1;
}

// A reference copied under another code gives blocks of the same shapes, whose
// pages the report counts without laying them out: the footers' total must
// still be the number of pages drawn, and the copy's pages those of the original.
TEST_F(ReportTool, BlocksOfTheSameShapeCountTheSamePages) {
  const QString copy = dir_->filePath(QStringLiteral("copia.db"));
  ASSERT_TRUE(QFile::copy(*db_, copy));
  {
    QSqlDatabase db = fw::OpenLocalDatabase(copy, QStringLiteral("c"));
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(
        QStringLiteral("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES ('09', 'Cópia')")));
    for (const char* table : {"PESALTIDADE", "PESOALTU", "PEALNCHS2000"})
      for (const QString& sql :
           {QStringLiteral("CREATE TEMP TABLE C AS SELECT * FROM %1 WHERE CDREFEBIBL = '01'"),
            QStringLiteral("UPDATE C SET CDREFEBIBL = '09'"),
            QStringLiteral("INSERT INTO %1 SELECT * FROM C"), QStringLiteral("DROP TABLE C")})
        ASSERT_TRUE(q.exec(sql.arg(QLatin1String(table)))) << q.lastError().text().toStdString();
    q = QSqlQuery();
    db = QSqlDatabase();
    fw::CloseLocalDatabase(QStringLiteral("c"));
  }
  auto run = [&](const char* refs, const char* out) {
    QProcess p;
    p.start(qEnvironmentVariable("TRP_BUILD_DIR") + QStringLiteral("/bin/tabrelpeso-report"),
            {"--db", copy, "--refs", refs, "--percs", "003,050", "--out", Out(out)});
    p.waitForFinished(300000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toInt();
  };
  const int one = run("01", "uma.pdf");
  const int both = run("01,09", "duas.pdf");
  ASSERT_GT(one, 0);
  EXPECT_EQ(both, 2 * one);
  const QString text = Text(Out("duas.pdf"));
  EXPECT_TRUE(text.contains(QStringLiteral("página %1 de %1").arg(both)));
  EXPECT_FALSE(text.contains(QStringLiteral("página %1 de").arg(both + 1)));
  EXPECT_EQ(text.count(QStringLiteral("Referência 09 - Cópia")), one);
}

// A reference without head circumference gets no empty chart of it: its age
// curve pages hold the weight and the height only.
TEST_F(ReportTool, AMeasureWithoutValuesHasNoChart) {
  const QString copy = dir_->filePath(QStringLiteral("sem_pc.db"));
  ASSERT_TRUE(QFile::copy(*db_, copy));
  {
    QSqlDatabase db = fw::OpenLocalDatabase(copy, QStringLiteral("s"));
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral(
        "UPDATE PESALTIDADE SET VRPMCFMASIDA = NULL, VRPMCFFEMIDA = NULL WHERE CDREFEBIBL = '01'")));
    q = QSqlQuery();
    db = QSqlDatabase();
    fw::CloseLocalDatabase(QStringLiteral("s"));
  }
  QProcess p;
  p.start(qEnvironmentVariable("TRP_BUILD_DIR") + QStringLiteral("/bin/tabrelpeso-report"),
          {"--db", copy, "--refs", "01", "--percs", "050", "--out", Out("sem_pc.pdf")});
  p.waitForFinished(300000);
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const QString text = Text(Out("sem_pc.pdf"));
  EXPECT_EQ(text.count(QStringLiteral("Peso por idade")), 2);  // boys and girls
  EXPECT_EQ(text.count(QStringLiteral("Altura por idade")), 2);
  EXPECT_FALSE(text.contains(QStringLiteral("Perímetro cefálico por idade")));
}

TEST_F(ReportTool, ACodeWithAQuoteGivesAnEmptyReportNotAnErrorNorEverything) {
  for (const char* refs : {"0'1", "01' OR '1'='1"}) {
    SCOPED_TRACE(refs);
    const Result r = Tool({"--refs", refs, "--out", Out("vazio.pdf")});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), QStringLiteral("1"));
    const QString text = Text(Out("vazio.pdf"));
    EXPECT_TRUE(text.contains(report::EmptyReportText()));
    EXPECT_FALSE(text.contains(QStringLiteral("CDC 2000")));
  }
}

TEST_F(ReportTool, FailuresSayWhatAndLeaveNoFile) {
  QTemporaryDir reports;
  QFile broken(reports.filePath(QStringLiteral("QEL999.json")));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("{ \"code\": ");
  broken.close();
  struct Case {
    QStringList args;
    QString says;
    QString file;
  };
  const Case cases[] = {
      {{"--reports", reports.path(), "--out", Out("a.pdf")},
       QStringLiteral("de código 'QEL536' não foi encontrado no diretório '%1'").arg(reports.path()),
       Out("a.pdf")},
      {{"--reports", reports.path(), "--code", "QEL999", "--out", Out("b.pdf")},
       QStringLiteral("inválida"), Out("b.pdf")},
      {{"--out", dir_->filePath(QStringLiteral("nao/existe/c.pdf"))},
       QStringLiteral("Não foi possível gravar"), dir_->filePath(QStringLiteral("nao/existe/c.pdf"))},
  };
  for (const Case& c : cases) {
    const Result r = Tool(c.args);
    EXPECT_EQ(r.exit, 1) << c.args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(c.file));
  }
}

}  // namespace
