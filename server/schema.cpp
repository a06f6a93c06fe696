#include "server/schema.h"

#include "server/audit_log.h"
#include "server/tables.h"

#include "server/json_out.h"

#include <map>
#include <string>
#include <vector>

namespace srv {

namespace {

// Types differ slightly between the engines; everything else is shared text.
std::string ForEngine(std::string sql, Db::Engine engine) {
  const bool pg = engine == Db::Engine::Postgres;
  auto replace = [&](const std::string& from, const std::string& to) {
    for (size_t at = sql.find(from); at != std::string::npos; at = sql.find(from, at + to.size()))
      sql.replace(at, from.size(), to);
  };
  replace("%REAL%", pg ? "DOUBLE PRECISION" : "REAL");
  replace("%SERIAL%", pg ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT");
  return sql;
}

std::string RowTableDdl(const TableDef& t) {
  std::string sql = "CREATE TABLE " + std::string(t.name) + " (\n";
  for (const ColumnDef& c : t.columns) {
    sql += "  " + std::string(c.name) + " ";
    switch (c.kind) {
      case ColumnDef::Kind::Code:
        sql += "VARCHAR(" + std::to_string(c.size) + ") NOT NULL";
        break;
      case ColumnDef::Kind::Whole:
        sql += "INTEGER NOT NULL";
        break;
      case ColumnDef::Kind::Real:
        sql += c.key ? "%REAL% NOT NULL" : "%REAL%";
        break;
    }
    sql += ",\n";
  }
  sql += "  PRIMARY KEY (";
  for (size_t i = 0; i < t.keyOrder.size(); ++i)
    sql += (i ? ", " : "") + std::string(t.keyOrder[i]);
  sql += "),\n";
  sql += "  FOREIGN KEY (CDREFEBIBL) REFERENCES REFEBIBL (CDREFEBIBL),\n";
  sql += "  FOREIGN KEY (CDPERCENTIL) REFERENCES PERCENTIL (CDPERCENTIL)";
  if (t.id == TableId::Age) sql += ",\n  CHECK (NRIDADEFIN BETWEEN 0 AND 11)";
  sql += "\n);\n";
  // The foreign keys are checked on every insert; the indexes keep deleting a
  // percentile or a reference from scanning the row tables.
  sql += "CREATE INDEX " + std::string(t.name) + "_PERC ON " + t.name + " (CDPERCENTIL);\n";
  return sql;
}

// The imports pick a percentile by its value: two percentiles with one value
// would make that choice arbitrary. Existing clashes are named, not guessed away.
void OneValuePerPercentile(Db& db) {
  std::map<double, std::vector<std::string>> holders;
  db.run(
      "SELECT VRPERCENTIL, CDPERCENTIL FROM PERCENTIL WHERE VRPERCENTIL IN (SELECT VRPERCENTIL "
      "FROM PERCENTIL WHERE VRPERCENTIL IS NOT NULL GROUP BY VRPERCENTIL HAVING COUNT(*) > 1) "
      "ORDER BY VRPERCENTIL, CDPERCENTIL",
      {}, [&](const SqlRow& r) { holders[r.real(0)].emplace_back(r.text(1)); });
  if (!holders.empty()) {
    std::string clashes;
    for (const auto& [value, codes] : holders) {
      std::string list;
      for (const std::string& c : codes) list += (list.empty() ? "'" : ", '") + c + "'";
      std::string shown;
      AppendNumber(shown, value);
      clashes += (clashes.empty() ? "" : "; ") + shown + " nos percentis " + list;
    }
    throw DbError(DbError::Kind::Other,
                  "O esquema do banco de dados não pôde ser atualizado: cada valor de percentil "
                  "deve pertencer a um só percentil, mas há valores repetidos (" +
                      clashes +
                      "). Deixe o valor em um só deles (por exemplo, UPDATE PERCENTIL SET "
                      "VRPERCENTIL = NULL WHERE CDPERCENTIL = '...') e inicie de novo. Nada foi "
                      "alterado.");
  }
  db.run("CREATE UNIQUE INDEX PERCENTIL_VALOR ON PERCENTIL (VRPERCENTIL)", {}, {});
}

// L, M and S go with their reference only by an audited removal: a cascade
// would take them silently. SQLite cannot drop a constraint, so the table is
// made anew, its origin (migration 8) kept.
void LmsWithoutCascade(Db& db) {
  if (db.engine() == Db::Engine::Postgres) {
    std::vector<std::string> keys;
    db.run(
        "SELECT conname FROM pg_constraint WHERE conrelid = 'lmsreferencia'::regclass AND "
        "contype = 'f'",
        {}, [&](const SqlRow& r) { keys.emplace_back(r.text(0)); });
    for (const std::string& k : keys)
      db.script("ALTER TABLE LMSREFERENCIA DROP CONSTRAINT \"" + k + "\"");
    db.script(
        "ALTER TABLE LMSREFERENCIA ADD CONSTRAINT LMSREFERENCIA_REF FOREIGN KEY (CDREFEBIBL) "
        "REFERENCES REFEBIBL (CDREFEBIBL)");
    return;
  }
  // Every column of the table: one added later goes here and in the copy.
  const std::string columns =
      "CDREFEBIBL, CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE, VRL, VRM, VRS, CDORIGEM";
  db.script(
      "CREATE TABLE LMSREFERENCIA_NOVA (\n"
      "  CDREFEBIBL VARCHAR(2) NOT NULL REFERENCES REFEBIBL (CDREFEBIBL),\n"
      "  CDINDICADOR VARCHAR(20) NOT NULL,\n"
      "  CDSEXO VARCHAR(1) NOT NULL CHECK (CDSEXO IN ('M', 'F')),\n"
      "  CDUNIDADE VARCHAR(1) NOT NULL CHECK (CDUNIDADE IN ('D', 'M', 'C')),\n"
      "  VRCHAVE REAL NOT NULL,\n"
      "  VRL REAL NOT NULL,\n"
      "  VRM REAL NOT NULL,\n"
      "  VRS REAL NOT NULL,\n"
      "  CDORIGEM VARCHAR(3) NOT NULL DEFAULT 'CDC' CHECK (CDORIGEM IN ('OMS', 'CDC')),\n"
      "  PRIMARY KEY (CDREFEBIBL, CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE)\n"
      ");\n"
      "INSERT INTO LMSREFERENCIA_NOVA (" +
      columns + ") SELECT " + columns +
      " FROM LMSREFERENCIA;\n"
      "DROP TABLE LMSREFERENCIA;\n"
      "ALTER TABLE LMSREFERENCIA_NOVA RENAME TO LMSREFERENCIA;\n");
}

struct Migration {
  int version;
  std::string sqlite;            // empty: nothing to do on this engine
  std::string postgres;          // empty: nothing to do on this engine
  void (*after)(Db&) = nullptr;  // work the SQL alone cannot do
};

std::vector<Migration> Migrations() {
  std::string v1 =
      "CREATE TABLE REFEBIBL (\n"
      "  CDREFEBIBL VARCHAR(2) NOT NULL PRIMARY KEY,\n"
      "  NMREFEBIBL VARCHAR(60) NOT NULL\n"
      ");\n"
      "CREATE TABLE PERCENTIL (\n"
      "  CDPERCENTIL VARCHAR(3) NOT NULL PRIMARY KEY,\n"
      "  NMPERCENTIL VARCHAR(30) NOT NULL\n"
      ");\n";
  for (const TableDef* t : AllTables()) v1 += RowTableDdl(*t);
  v1 +=
      "CREATE TABLE AUDITORIA (\n"
      "  NRAUDITORIA %SERIAL%,\n"
      "  NMUSUARIO VARCHAR(60) NOT NULL,\n"
      "  DTAUDITORIA VARCHAR(30) NOT NULL,\n"
      "  NMMETODO VARCHAR(40) NOT NULL,\n"
      "  NMTABELA VARCHAR(20) NOT NULL,\n"
      "  DSANTERIOR TEXT,\n"
      "  DSNOVO TEXT\n"
      ");\n"
      "CREATE TABLE CONTROLEALTERACAO (\n"
      "  NMTABELA VARCHAR(20) NOT NULL PRIMARY KEY,\n"
      "  NRALTERACAO BIGINT NOT NULL\n"
      ");\n"
      "INSERT INTO CONTROLEALTERACAO VALUES ('PESALTIDADE', 0);\n"
      "INSERT INTO CONTROLEALTERACAO VALUES ('PESOALTU', 0);\n"
      "INSERT INTO CONTROLEALTERACAO VALUES ('PEALNCHS2000', 0);\n";
  // The host's local queries use NVL in their default dialect; PostgreSQL
  // has no such function of its own.
  std::string v2pg =
      "CREATE OR REPLACE FUNCTION NVL(TEXT, TEXT) RETURNS TEXT\n"
      "  AS 'SELECT COALESCE($1, $2)' LANGUAGE SQL IMMUTABLE;\n";
  // Change counters per (reference, percentile): after a save only that
  // part of a cached table answer is rebuilt.
  std::string v3 =
      "DROP TABLE CONTROLEALTERACAO;\n"
      "CREATE TABLE CONTROLEALTERACAO (\n"
      "  NMTABELA VARCHAR(20) NOT NULL,\n"
      "  CDREFEBIBL VARCHAR(2) NOT NULL,\n"
      "  CDPERCENTIL VARCHAR(3) NOT NULL,\n"
      "  NRALTERACAO BIGINT NOT NULL,\n"
      "  PRIMARY KEY (NMTABELA, CDREFEBIBL, CDPERCENTIL)\n"
      ");\n";
  for (const TableDef* t : AllTables())
    v3 += std::string("INSERT INTO CONTROLEALTERACAO SELECT DISTINCT '") + t->name +
          "', CDREFEBIBL, CDPERCENTIL, 1 FROM " + t->name + ";\n";
  // Where a reference comes from, for the report and the screen's hint: its
  // citation, source and licence. Nullable, so existing rows and writers stay valid.
  const std::string v4 =
      "ALTER TABLE REFEBIBL ADD COLUMN DSCITACAO TEXT;\n"
      "ALTER TABLE REFEBIBL ADD COLUMN DSFONTE TEXT;\n"
      "ALTER TABLE REFEBIBL ADD COLUMN DSLICENCA TEXT;\n";
  // A percentile's value (15 for "015"), for imports that compute
  // percentiles from L, M and S; codes made of digits give their value.
  const std::string v5sqlite =
      "ALTER TABLE PERCENTIL ADD COLUMN VRPERCENTIL REAL;\n"
      "UPDATE PERCENTIL SET VRPERCENTIL = CAST(CDPERCENTIL AS REAL)\n"
      "  WHERE CDPERCENTIL <> '' AND CDPERCENTIL NOT GLOB '*[^0-9]*'\n"
      "  AND CAST(CDPERCENTIL AS REAL) BETWEEN 1 AND 99;\n";
  const std::string v5pg =
      "ALTER TABLE PERCENTIL ADD COLUMN VRPERCENTIL DOUBLE PRECISION;\n"
      "UPDATE PERCENTIL SET VRPERCENTIL = CAST(CDPERCENTIL AS DOUBLE PRECISION)\n"
      "  WHERE CASE WHEN CDPERCENTIL ~ '^[0-9]+$' THEN CAST(CDPERCENTIL AS DOUBLE PRECISION)\n"
      "  BETWEEN 1 AND 99 ELSE FALSE END;\n";
  // The history is read by reference, percentile, key and user, newest
  // first, and a deletion is restored by its call: columns for each, filled
  // by the writers and, for older rows, from the stored rows.
  const std::string v6 =
      "ALTER TABLE AUDITORIA ADD COLUMN CDREFEBIBL VARCHAR(2);\n"
      "ALTER TABLE AUDITORIA ADD COLUMN CDPERCENTIL VARCHAR(3);\n"
      "ALTER TABLE AUDITORIA ADD COLUMN DSCHAVE VARCHAR(40);\n"
      "ALTER TABLE AUDITORIA ADD COLUMN NRLOTE BIGINT;\n"
      "CREATE INDEX AUDITORIA_REF ON AUDITORIA (CDREFEBIBL, NRAUDITORIA);\n"
      "CREATE INDEX AUDITORIA_REFPERC ON AUDITORIA (CDREFEBIBL, CDPERCENTIL, NRAUDITORIA);\n"
      "CREATE INDEX AUDITORIA_CHAVE ON AUDITORIA (CDREFEBIBL, CDPERCENTIL, DSCHAVE, "
      "NRAUDITORIA);\n"
      "CREATE INDEX AUDITORIA_PERC ON AUDITORIA (CDPERCENTIL, NRAUDITORIA);\n"
      "CREATE INDEX AUDITORIA_USUARIO ON AUDITORIA (NMUSUARIO, NRAUDITORIA);\n"
      "CREATE INDEX AUDITORIA_DATA ON AUDITORIA (DTAUDITORIA);\n"
      "CREATE INDEX AUDITORIA_LOTE ON AUDITORIA (NRLOTE);\n";
  // The L, M and S the imports read, for assessing a child on a reference.
  const std::string v7 =
      "CREATE TABLE LMSREFERENCIA (\n"
      "  CDREFEBIBL VARCHAR(2) NOT NULL REFERENCES REFEBIBL (CDREFEBIBL) ON DELETE CASCADE,\n"
      "  CDINDICADOR VARCHAR(20) NOT NULL,\n"
      "  CDSEXO VARCHAR(1) NOT NULL CHECK (CDSEXO IN ('M', 'F')),\n"
      "  CDUNIDADE VARCHAR(1) NOT NULL CHECK (CDUNIDADE IN ('D', 'M', 'C')),\n"
      "  VRCHAVE %REAL% NOT NULL,\n"
      "  VRL %REAL% NOT NULL,\n"
      "  VRM %REAL% NOT NULL,\n"
      "  VRS %REAL% NOT NULL,\n"
      "  PRIMARY KEY (CDREFEBIBL, CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE)\n"
      ");\n";
  // Where L, M and S come from decides the assessment's rules (the WHO's or
  // the CDC's), whatever keys they have. Older rows: a reference with a curve
  // by age in days, or keyed by length/height in tenths of a cm, was
  // imported from the WHO files (the CDC's go by half cm).
  const std::string v8 =
      "ALTER TABLE LMSREFERENCIA ADD COLUMN CDORIGEM VARCHAR(3) NOT NULL DEFAULT 'CDC'\n"
      "  CHECK (CDORIGEM IN ('OMS', 'CDC'));\n"
      "UPDATE LMSREFERENCIA SET CDORIGEM = 'OMS' WHERE CDREFEBIBL IN (\n"
      "  SELECT CDREFEBIBL FROM LMSREFERENCIA WHERE CDUNIDADE = 'D'\n"
      "  OR (CDUNIDADE = 'C' AND ABS(VRCHAVE * 2 - ROUND(VRCHAVE * 2)) > 0.000001));\n";
  // Restoring a reference's deletion finds every call of the screen's one
  // action by the group id the screen sends with each of them.
  const std::string v11 =
      "ALTER TABLE AUDITORIA ADD COLUMN DSGRUPO VARCHAR(40);\n"
      "CREATE INDEX AUDITORIA_GRUPO ON AUDITORIA (DSGRUPO);\n";
  // A reference's or percentile's own creation, renaming and deletion belong
  // to its history: older rows of the master tables are filed under their codes.
  // Versions need not be consecutive, only ascending.
  return {{1, ForEngine(v1, Db::Engine::Sqlite), ForEngine(v1, Db::Engine::Postgres)},
          {2, "", v2pg},
          {3, v3, v3},
          {4, v4, v4},
          {5, v5sqlite, v5pg},
          {6, v6, v6, BackfillAudit},
          {7, ForEngine(v7, Db::Engine::Sqlite), ForEngine(v7, Db::Engine::Postgres)},
          {8, v8, v8},
          {9, "", "", OneValuePerPercentile},
          {10, "", "", LmsWithoutCascade},
          {11, v11, v11},
          {12, "", "", BackfillMasterAudit}};
}

}  // namespace

int SchemaVersion() { return Migrations().back().version; }

void Migrate(Db& db) {
  Transaction tx(db, true);
  if (db.engine() == Db::Engine::Postgres) db.run("SELECT pg_advisory_xact_lock(53600)", {}, {});
  db.script(
      "CREATE TABLE IF NOT EXISTS SCHEMA_VERSION (\n"
      "  NRVERSAO INTEGER NOT NULL PRIMARY KEY,\n"
      "  DTAPLICACAO VARCHAR(30) NOT NULL\n"
      ")");
  const std::int64_t current = QueryInt(db, "SELECT MAX(NRVERSAO) FROM SCHEMA_VERSION", {}, 0);
  if (current > SchemaVersion())
    throw DbError(DbError::Kind::Other,
                  "O banco de dados está na versão de esquema " + std::to_string(current) +
                      ", mais nova que a deste servidor (" + std::to_string(SchemaVersion()) +
                      "); atualize o servidor.");
  for (const Migration& m : Migrations()) {
    if (m.version <= current) continue;
    const std::string& sql = db.engine() == Db::Engine::Postgres ? m.postgres : m.sqlite;
    if (!sql.empty()) db.script(sql);
    if (m.after) m.after(db);
    db.run(db.engine() == Db::Engine::Postgres
               ? "INSERT INTO SCHEMA_VERSION VALUES (?, to_char(now() AT TIME ZONE 'UTC', "
                 "'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'))"
               : "INSERT INTO SCHEMA_VERSION VALUES (?, strftime('%Y-%m-%dT%H:%M:%SZ','now'))",
           {std::int64_t(m.version)});
  }
  tx.commit();
}

void BumpChangeCounter(Db& db, const char* table, const std::string& reference,
                       const std::string& percentile) {
  db.run(
      "INSERT INTO CONTROLEALTERACAO (NMTABELA, CDREFEBIBL, CDPERCENTIL, NRALTERACAO) "
      "VALUES (?, ?, ?, 1) ON CONFLICT (NMTABELA, CDREFEBIBL, CDPERCENTIL) DO UPDATE SET "
      "NRALTERACAO = CONTROLEALTERACAO.NRALTERACAO + 1",
      {std::string(table), reference, percentile});
}

}  // namespace srv
