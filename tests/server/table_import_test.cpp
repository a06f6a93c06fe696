// Tables from spreadsheets on both engines: what `export` writes (CSV, XLSX,
// ODS) imported back as a new reference gives the same rows; files saved by
// LibreOffice; an LMS sheet against the CDC's own percentile columns;
// malformed files refused with line and column and nothing stored; the
// server's ImportaTabela audited, in the history and restorable.

#include "support.h"

#include "server/app_server.h"
#include "server/audit_log.h"
#include "server/tables.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>

using namespace srvtest;

namespace {

QString Admin() {
  const QString dir = qEnvironmentVariable("TRP_BUILD_DIR");
  return dir.isEmpty() ? QStringLiteral(TRP_ADMIN_EXE)
                       : dir + QStringLiteral("/bin/tabrelpeso-admin");
}

ToolRun AdminRun(const QStringList& args) { return RunTool(Admin(), args, 180000); }

const char* const kTables[] = {"PESALTIDADE", "PESOALTU", "PEALNCHS2000"};

// The rows of `ref` in one table, every column but the reference, in key order.
QStringList Stored(const QString& database, const char* table, const std::string& ref) {
  auto db = srv::OpenDb(database);
  QStringList out;
  const srv::TableDef* t = srv::TableNamed(table);
  std::string cols, order;
  for (const srv::ColumnDef& c : t->columns)
    if (c.name != std::string_view("CDREFEBIBL"))
      cols += (cols.empty() ? "" : ", ") + std::string(c.name);
  for (const char* k : t->keyOrder) order += (order.empty() ? "" : ", ") + std::string(k);
  db->run("SELECT " + cols + " FROM " + table + " WHERE CDREFEBIBL = ? ORDER BY " + order, {ref},
          [&](const srv::SqlRow& r) {
            QStringList v;
            for (int i = 0; i < r.columnCount(); ++i)
              v << (r.isNull(i)
                        ? QStringLiteral("-")
                        : QString::number(r.real(i), 'g', 17) + u'/' +
                              QString::fromUtf8(r.text(i).data(), qsizetype(r.text(i).size())));
            out << v.join(u';');
          });
  return out;
}

QStringList Lms(const QString& database, const std::string& ref) {
  auto db = srv::OpenDb(database);
  QStringList out;
  db->run(
      "SELECT CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE, VRL, VRM, VRS, CDORIGEM FROM "
      "LMSREFERENCIA WHERE CDREFEBIBL = ? ORDER BY 1, 2, 3, 4",
      {ref}, [&](const srv::SqlRow& r) {
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                   .arg(QString::fromUtf8(r.text(0).data()), QString::fromUtf8(r.text(1).data()),
                        QString::fromUtf8(r.text(2).data()))
                   .arg(r.real(3), 0, 'g', 17)
                   .arg(r.real(4), 0, 'g', 17)
                   .arg(r.real(5), 0, 'g', 17)
                   .arg(r.real(6), 0, 'g', 17)
                   .arg(QString::fromUtf8(r.text(7).data()));
      });
  return out;
}

class TableImportTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    if (GetParam() == Engine::Postgres && PgAdminUrl().isEmpty())
      GTEST_SKIP() << "TRP_TEST_PG_URL is not set (run under scripts/with-test-postgres)";
    db_ = Databases::Instance().Fresh(GetParam());
  }
  QString File(const QString& name) { return dir_.filePath(name); }
  QString db_;
  QTemporaryDir dir_;
};

TEST_P(TableImportTest, ExportedReferencesComeBackIdenticalFromCsvXlsxAndOds) {
  struct Case {
    const char* from;
    const char* format;
    const char* to;
  };
  for (const Case& c :
       {Case{"01", "xlsx", "21"}, Case{"01", "ods", "22"}, Case{"01", "csv", "23"},
        Case{"02", "xlsx", "24"}, Case{"02", "ods", "25"}, Case{"02", "csv", "26"}}) {
    SCOPED_TRACE(std::string(c.from) + " " + c.format);
    QStringList files;
    if (QLatin1String(c.format) == u"csv") {
      for (const char* t : {"age", "height", "nchs"}) {
        files << File(QStringLiteral("%1-%2.csv").arg(c.from, t));
        ToolRun r =
            AdminRun({"export", "--db", db_, "--ref", c.from, "--table", t, "--out", files.back()});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
      }
    } else {
      files << File(QStringLiteral("%1.%2").arg(c.from, c.format));
      ToolRun r = AdminRun({"export", "--db", db_, "--ref", c.from, "--table", "all", "--format",
                            c.format, "--out", files.back()});
      ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    for (const QString& f : files) {
      const ToolRun r =
          AdminRun({"import-table", "--db", db_, "--ref", c.to, "--in", f, "--name", "Volta"});
      ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    for (const char* t : kTables) EXPECT_EQ(Stored(db_, t, c.to), Stored(db_, t, c.from)) << t;
    if (QLatin1String(c.format) != u"csv") {
      // The spreadsheets carry L, M and S and the citation too.
      EXPECT_EQ(Lms(db_, c.to), Lms(db_, c.from));
      auto db = srv::OpenDb(db_);
      EXPECT_EQ(srv::QueryInt(*db,
                              "SELECT COUNT(*) FROM REFEBIBL a JOIN REFEBIBL b ON a.DSCITACAO = "
                              "b.DSCITACAO WHERE a.CDREFEBIBL = ? AND b.CDREFEBIBL = ?",
                              {std::string(c.from), std::string(c.to)}, 0),
                1);
    }
  }
}

TEST_P(TableImportTest, FilesSavedByLibreOfficeGiveTheSameRows) {
  // Merged header cells over two rows, empty rows, a footnote, one sheet per
  // sex, numbers shown with a decimal comma and one typed as text "5,1".
  const QString data = QStringLiteral(TRP_SOURCE_DIR "/tests/import/data/");
  for (const auto& [file, ref] :
       {std::pair{"servico.xlsx", "31"}, std::pair{"servico.ods", "32"}}) {
    const ToolRun r = AdminRun({"import-table", "--db", db_, "--ref", ref, "--name", "Serviço",
                                "--in", data + QLatin1String(file)});
    ASSERT_EQ(r.exitCode, 0) << file << ": " << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("cabeçalho na linha 3")) << r.out.toStdString();
  }
  const QStringList xlsx = Stored(db_, "PESALTIDADE", "31");
  EXPECT_EQ(xlsx.size(), 21);  // P3, P50, P97 x months 0 to 6, both sexes in one row
  EXPECT_EQ(xlsx, Stored(db_, "PESALTIDADE", "32"));
  auto db = srv::OpenDb(db_);
  const auto value = [&](const char* column, const char* perc, int months) {
    double v = NAN;
    db->run(std::string("SELECT ") + column +
                " FROM PESALTIDADE WHERE CDREFEBIBL = '31' AND CDPERCENTIL = ? AND NRIDADEINI = 0 "
                "AND NRIDADEFIN = ?",
            {std::string(perc), std::int64_t(months)},
            [&](const srv::SqlRow& r) { v = r.real(0); });
    return v;
  };
  EXPECT_DOUBLE_EQ(value("VRPESOFEMIDA", "050", 2), 5.1);  // the text cell
  EXPECT_DOUBLE_EQ(value("VRPESOMASIDA", "097", 6), 9.7);
  EXPECT_DOUBLE_EQ(value("VRPESOFEMIDA", "003", 0), 2.4);
}

TEST_P(TableImportTest, AnLmsSheetGivesTheCdcsOwnPercentilesAndKeepsItsLms) {
  // The CDC's weight-for-age infant file reduced to Sex, Agemos, L, M and S:
  // P3..P97 must come back as the CDC publishes them, at each half month.
  QFile in(CdcDir() + "/wtageinf.csv");
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  std::map<std::pair<int, int>, QStringList> published;  // (sex, month) -> P3..P97
  QString lms;
  const QStringList header = QString::fromUtf8(in.readLine()).trimmed().split(',');
  lms += "Sexo;Idade (meses);L;M;S\n";
  while (!in.atEnd()) {
    const QStringList v = QString::fromUtf8(in.readLine()).trimmed().split(',');
    if (v.size() < 14) continue;
    QStringList row = v.mid(0, 5);
    for (QString& cell : row) cell.replace('.', ',');  // a pt-BR spreadsheet's CSV
    lms += row.join(';') + '\n';
    const double agemos = v[1].toDouble();
    if (agemos != std::floor(agemos)) published[{v[0].toInt(), int(agemos)}] = v.mid(5);
  }
  QFile out(File("lms.csv"));
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(lms.toUtf8());
  out.close();
  const ToolRun r = AdminRun(
      {"import-table", "--db", db_, "--ref", "41", "--name", "LMS do CDC", "--in", out.fileName()});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  auto db = srv::OpenDb(db_);
  int compared = 0;
  const QStringList percentiles{"003", "005", "010", "025", "050", "075", "090", "095", "097"};
  for (const auto& [key, values] : published)
    for (int i = 0; i < percentiles.size(); ++i) {
      double stored = NAN;
      db->run(std::string("SELECT ") + (key.first == 1 ? "VRPESOMASIDA" : "VRPESOFEMIDA") +
                  " FROM PESALTIDADE WHERE CDREFEBIBL = '41' AND CDPERCENTIL = ? AND NRIDADEINI "
                  "= ? AND NRIDADEFIN = ?",
              {percentiles[i].toStdString(), std::int64_t(key.second / 12),
               std::int64_t(key.second % 12)},
              [&](const srv::SqlRow& row) { stored = row.real(0); });
      EXPECT_NEAR(stored, values[i].toDouble(), 0.001)
          << "sex " << key.first << " month " << key.second << " " << header[5 + i].toStdString();
      ++compared;
    }
  EXPECT_EQ(compared, 2 * 36 * 9);  // months 0 to 35, at 0.5 to 35.5
  // Every line kept as L, M and S (birth included), by months, for the assessment.
  EXPECT_EQ(srv::QueryInt(*db,
                          "SELECT COUNT(*) FROM LMSREFERENCIA WHERE CDREFEBIBL = '41' AND "
                          "CDINDICADOR = 'peso_idade' AND CDUNIDADE = 'M'",
                          {}, 0),
            2 * 38);
}

TEST_P(TableImportTest, MalformedFilesAreRefusedWithLineAndColumnAndNothingIsStored) {
  const std::string before = Dump(db_);
  struct Case {
    const char* name;
    const char* text;
    QStringList extra;
    const char* said;
  };
  for (const Case& c : {
           Case{"texto",
                "Sexo;Idade (meses);P3;P50;P97\n1;0;2,5;3,5;4,4\n1;1;3,4;4,5;abc\n",
                {},
                "linha 3, coluna E: 'abc' não é um número"},
           Case{"repetida",
                "Sexo;Idade (meses);P3;P50;P97\n1;0;2,5;3,5;4,4\n\n1;0;2,6;3,6;4,5\n",
                {},
                "linha 4, coluna B: Chave repetida"},
           Case{"coluna",
                "Sexo;Idade (meses);P3;P50;P97\n1;0;2,5;3,5;4,4\n",
                {"--columns", "Peso=P50"},
                "a coluna 'Peso' não existe"},
           Case{"sem chave",
                "Sexo;Peso;P3;P50\n1;2;2,5;3,5\n",
                {"--columns", "C=P3,D=P50"},
                "Nenhuma linha de cabeçalho com a chave"},
           Case{"sexo",
                "Sexo;Idade (meses);P3;P50;P97\nX;0;2,5;3,5;4,4\n",
                {},
                "linha 2, coluna A: Sexo 'X' desconhecido"},
       }) {
    SCOPED_TRACE(c.name);
    QFile f(File(QStringLiteral("%1.csv").arg(c.name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(c.text);
    f.close();
    const ToolRun r = AdminRun(QStringList{"import-table", "--db", db_, "--ref", "51", "--name",
                                           "Ruim", "--in", f.fileName()} +
                               c.extra);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.said))) << r.err.toStdString();
    EXPECT_EQ(Dump(db_), before);
  }
  // A broken XLSX, and a file that is none.
  QFile broken(File("quebrada.xlsx"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("PK\x03\x04 não é um zip inteiro");
  broken.close();
  const ToolRun r =
      AdminRun({"import-table", "--db", db_, "--ref", "51", "--in", broken.fileName()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("não é uma planilha")) << r.err.toStdString();
  EXPECT_EQ(Dump(db_), before);
}

TEST_P(TableImportTest, ImportaTabelaIsOneAuditedChangeInTheHistoryAndItsReplacedRowsRestore) {
  srv::AppServer server(Options(db_));
  const int port = server.Start();
  Client client(port, kMaintainer);
  const QStringList fields{"CDPERCENTIL", "NRIDADEINI", "NRIDADEFIN", "VRPESOMASIDA", "CDREFEBIBL"};
  auto delta = [&](const QString& ref, const std::vector<QJsonArray>& rows) {
    QJsonArray f;
    for (const QString& n : fields)
      f.append(QJsonObject{{"name", n}, {"type", n.startsWith("CD") ? "string" : "float"}});
    QJsonArray changes;
    for (QJsonArray values : rows) {
      values.append(ref);
      changes.append(QJsonObject{{"op", "insert"}, {"new", values}});
    }
    return QJsonObject{{"fields", f}, {"changes", changes}};
  };
  const QString group = "7d1c2b1e-0000-4000-8000-000000000039";
  // Reference 04 keeps no age rows; 01's P50 has 241: import over it.
  const QStringList before01 = Stored(db_, "PESALTIDADE", "01");
  const std::vector<QJsonArray> two{{"050", 0, 0, 3.3}, {"050", 0, 1, 4.4}};
  // A stale preview (it saw no rows to replace): a conflict, nothing written.
  Response r = client.Call("ImportaTabela", {"01", QJsonValue(), QJsonArray(), delta("01", two),
                                             QJsonValue(), QJsonValue(), QJsonValue(), group, 0});
  EXPECT_EQ(r.body["error"].toObject()["code"].toInt(), -32001) << r.error().toStdString();
  EXPECT_EQ(Stored(db_, "PESALTIDADE", "01"), before01);
  r = client.Call("ImportaTabela", {"01", QJsonValue(), QJsonArray(), delta("01", two),
                                    QJsonValue(), QJsonValue(), QJsonValue(), group, 241});
  ASSERT_TRUE(r.ok()) << r.error().toStdString();
  EXPECT_EQ(r.result().toArray(), (QJsonArray{2, 241, 0}));
  EXPECT_EQ(Stored(db_, "PESALTIDADE", "01").size(), before01.size() - 241 + 2);
  // In the history, by the caller, under the import's method.
  const QJsonArray page =
      client.Call("GetHistorico", {"age", "01", "050", "", "", "", "", 0, 1000}).result().toArray();
  int inserted = 0, deleted = 0;
  qint64 aDeletion = 0;
  for (const QJsonValue& row : srvtest::Rows(page.at(0))) {
    const QJsonArray a = row.toArray();
    if (a.at(4).toString() != "ImportaTabela") continue;
    EXPECT_EQ(a.at(2).toString(), "maria");
    if (a.at(3).toString() == "I") ++inserted;
    if (a.at(3).toString() == "E") {
      ++deleted;
      aDeletion = a.at(0).toInteger();
    }
  }
  EXPECT_EQ(inserted, 2);
  EXPECT_EQ(deleted, 241);
  // Undo: the imported rows deleted, then the import's group restored.
  ASSERT_TRUE(client.Call("DeletaIdade", {"01", "050", ""}).ok());
  r = client.Call("RestauraExclusao", {aDeletion, "R"});
  ASSERT_TRUE(r.ok()) << r.error().toStdString();
  EXPECT_EQ(Stored(db_, "PESALTIDADE", "01"), before01);

  // A new reference and a new percentile in the same transaction; a reader is refused.
  const QJsonArray nova{"Referência do serviço", "Serviço, 2024", "Planilha própria", "CC BY 4.0"};
  QJsonArray p33;
  p33.append(QJsonArray{"033", "Percentil 33", 33});
  const QJsonArray params{
      "61",         nova, p33, delta("61", {{"033", 1, 0, 9.5}}), QJsonValue(), QJsonValue(),
      QJsonValue(), "",   0};
  Client reader(port, kReader);
  EXPECT_EQ(reader.Call("ImportaTabela", params).body["error"].toObject()["code"].toInt(), -32003);
  r = client.Call("ImportaTabela", params);
  ASSERT_TRUE(r.ok()) << r.error().toStdString();
  auto db = srv::OpenDb(db_);
  // The reference, the percentile and the row, each audited by the caller.
  for (const char* table : {"REFEBIBL", "PERCENTIL", "PESALTIDADE"})
    EXPECT_EQ(srv::QueryInt(*db,
                            "SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'ImportaTabela' AND "
                            "NMUSUARIO = 'maria' AND NMTABELA = ? AND DSNOVO LIKE '%\"61\"%'",
                            {std::string(table)}, 0) +
                  (std::string_view(table) == "PERCENTIL"
                       ? srv::QueryInt(*db,
                                       "SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = "
                                       "'ImportaTabela' AND NMTABELA = 'PERCENTIL' AND DSNOVO LIKE "
                                       "'%\"033\"%'",
                                       {}, 0)
                       : 0),
              1)
        << table;
  EXPECT_EQ(srv::QueryInt(*db, "SELECT COUNT(*) FROM PERCENTIL WHERE VRPERCENTIL = 33", {}, 0), 1);
  // The same code again: refused whole.
  const std::string dump = Dump(db_);
  r = client.Call("ImportaTabela", {"61", nova, QJsonArray(), delta("61", {{"050", 1, 0, 9.5}}),
                                    QJsonValue(), QJsonValue(), QJsonValue(), "", 0});
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.error().contains("já cadastrada")) << r.error().toStdString();
  EXPECT_EQ(Dump(db_), dump);
}

INSTANTIATE_TEST_SUITE_P(Engines, TableImportTest,
                         ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

}  // namespace
