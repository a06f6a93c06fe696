// The local queries run for real: each SQL text of the default dialect on a
// SQLite file (and on PostgreSQL when TRP_TEST_PG_URL is set), through the
// framework's query component with the fields the model declares.
#include "model/datasets.h"
#include "model/sql_texts.h"

#include "framework/data/dataset.h"
#include "framework/data/errors.h"
#include "framework/data/field.h"
#include "framework/sql/adoibquery.h"
#include "framework/sql/localdb.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <utility>
#include <vector>

namespace {

using trp::model::QuerySpec;

constexpr const char* kConnection = "modelQueries";

// Rows inserted out of order, so that ORDER BY shows.
const std::vector<std::pair<const char*, const char*>> kRefs = {
    {"02", "OMS 2006"}, {"01", "CDC 2000"}, {"10", "Referência local"}};
const std::vector<std::pair<const char*, const char*>> kPercs = {
    {"050", "Percentil 50"}, {"003", "Percentil 3"}, {"097", "Percentil 97"}, {"015", "P 15"}};

void Exec(const QSqlDatabase& db, const QString& sql) {
  QSqlQuery q(db);
  if (!q.exec(sql)) throw std::runtime_error(q.lastError().text().toStdString());
}

void Fill(const QSqlDatabase& db) {
  Exec(db, QStringLiteral("CREATE TABLE REFEBIBL (CDREFEBIBL VARCHAR(2) PRIMARY KEY, "
                          "NMREFEBIBL VARCHAR(60))"));
  Exec(db, QStringLiteral("CREATE TABLE PERCENTIL (CDPERCENTIL VARCHAR(3) PRIMARY KEY, "
                          "NMPERCENTIL VARCHAR(30))"));
  for (const auto& [code, name] : kRefs) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES (?, ?)"));
    q.addBindValue(QString::fromUtf8(code));
    q.addBindValue(QString::fromUtf8(name));
    ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
  }
  for (const auto& [code, name] : kPercs) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO PERCENTIL VALUES (?, ?)"));
    q.addBindValue(QString::fromUtf8(code));
    q.addBindValue(QString::fromUtf8(name));
    ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
  }
}

// Sets up a query component the way a screen does, from the model alone.
std::unique_ptr<fw::TADOIBQuery> MakeQuery(const QuerySpec& spec) {
  auto q = std::make_unique<fw::TADOIBQuery>(spec.name);
  q->SetConnectionName(QString::fromLatin1(kConnection));
  q->SetSqlTexts(spec.texts.standard, spec.texts.oracle, spec.texts.sqlServer,
                 spec.texts.interBase);
  for (const auto& f : spec.fields->fields) trp::model::ApplyFieldSpec(*q->AddField(f.Def()), f);
  return q;
}

QStringList Column(fw::Dataset& ds, const char* field) {
  QStringList values;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    values.append(ds.FieldByName(QString::fromLatin1(field))->AsString());
  }
  return values;
}

class LocalQueries : public testing::Test {
 protected:
  void RunAll() {
    for (const QuerySpec& spec : trp::model::QuerySpecs()) {
      SCOPED_TRACE(spec.name.toStdString());
      const bool refe = spec.fields->Find(u"CDREFEBIBL") != nullptr;
      const auto& rows = refe ? kRefs : kPercs;
      const char* codeField = refe ? "CDREFEBIBL" : "CDPERCENTIL";
      const char* nameField = refe ? "NMREFEBIBL" : "NMPERCENTIL";
      QStringList sorted;
      for (const auto& r : rows) sorted.append(QString::fromUtf8(r.first));
      sorted.sort();

      auto q = MakeQuery(spec);
      ASSERT_EQ(q->DataSet()->FieldCount(), int(spec.fields->fields.size()));
      ASSERT_EQ(q->ParamNames(),
                spec.parameter.isEmpty() ? QStringList() : QStringList{spec.parameter});
      if (!spec.parameter.isEmpty()) q->ParamByName(spec.parameter)->Clear();
      q->Open();
      fw::Dataset& ds = *q->DataSet();
      QStringList codes = Column(ds, codeField);
      if (spec.texts.standard.contains(QStringLiteral("ORDER BY"))) {
        EXPECT_EQ(codes, sorted);  // a null parameter selects every row, in code order
      } else {
        codes.sort();
        EXPECT_EQ(codes, sorted);
      }
      fw::Field* code = ds.FieldByName(QString::fromLatin1(codeField));
      EXPECT_EQ(code->DisplayLabel(), QStringLiteral("Código"));
      EXPECT_EQ(code->DisplayWidth(), 5);
      EXPECT_TRUE(code->Required());
      EXPECT_EQ(ds.FieldByName(QString::fromLatin1(nameField))->DisplayWidth(), 45);

      if (spec.parameter.isEmpty()) continue;
      const auto& [wantCode, wantName] = rows[1];
      q->ParamByName(spec.parameter)->SetAsString(QString::fromUtf8(wantCode));
      q->Open();
      ASSERT_EQ(ds.RecordCount(), 1);
      EXPECT_EQ(ds.FieldByName(QString::fromLatin1(nameField))->AsString(),
                QString::fromUtf8(wantName));
      q->ParamByName(spec.parameter)->SetAsString(QStringLiteral("99"));
      q->Open();
      EXPECT_TRUE(q->IsEmpty());
      q->Close();
    }
  }
};

TEST_F(LocalQueries, RunOnSqlite) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QSqlDatabase db = fw::OpenLocalDatabase(dir.filePath(QStringLiteral("local.db")),
                                                QString::fromLatin1(kConnection));
  Fill(db);
  RunAll();
  fw::CloseLocalDatabase(QString::fromLatin1(kConnection));
}

TEST_F(LocalQueries, RunOnPostgres) {
  const QString url = qEnvironmentVariable("TRP_TEST_PG_URL");
  if (url.isEmpty()) GTEST_SKIP() << "TRP_TEST_PG_URL not set";
  {
    const QSqlDatabase db = fw::OpenLocalDatabase(url, QString::fromLatin1(kConnection));
    // A schema of our own keeps the shared test database untouched.
    const QString schema =
        QStringLiteral("trp_model_test_%1").arg(QCoreApplication::applicationPid());
    Exec(db, QStringLiteral("SET client_min_messages TO warning"));
    Exec(db, QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(schema));
    Exec(db, QStringLiteral("CREATE SCHEMA %1").arg(schema));
    Exec(db, QStringLiteral("SET search_path TO %1").arg(schema));
    // The function the application server's schema provides for these texts.
    Exec(db, QStringLiteral("CREATE FUNCTION NVL(a text, b text) RETURNS text "
                            "LANGUAGE sql IMMUTABLE AS 'SELECT COALESCE(a, b)'"));
    Fill(db);
    RunAll();
    Exec(db, QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
  }
  fw::CloseLocalDatabase(QString::fromLatin1(kConnection));
}

}  // namespace
