#include "server/admin.h"

#include "import/cdc2000.h"
#include "import/who.h"
#include "server/app_server.h"
#include "server/audit_log.h"
#include "server/json_out.h"
#include "server/reference_check.h"
#include "server/schema.h"
#include "server/storage.h"
#include "framework/data/format.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QVariantMap>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace srv {

namespace {

[[noreturn]] void Fail(const QString& message) { throw std::runtime_error(message.toStdString()); }

std::unique_ptr<Db> OpenMigrated(const QString& database) {
  try {
    auto db = OpenDb(database);
    Migrate(*db);
    return db;
  } catch (const DbError& e) {
    Fail(QString::fromUtf8(e.what()));
  }
}

SqlParam FromVariant(const ColumnDef& c, const QVariant& v) {
  if (v.isNull() || !v.isValid()) return std::monostate{};
  switch (c.kind) {
    case ColumnDef::Kind::Code:
      return v.toString().toStdString();
    case ColumnDef::Kind::Whole:
      return std::int64_t(v.toLongLong());
    case ColumnDef::Kind::Real:
      break;
  }
  return v.toDouble();
}

// An imported percentile's code ("015") -> the code kept for its value.
using PercentileCodes = std::map<QString, QString>;

template <typename Rows>
int WriteRows(Db& db, const TableDef& t, const std::string& ref, const Rows& rows,
              const char* method, const PercentileCodes& codes) {
  // Replace exactly the percentiles being imported, so a second import of the
  // same files leaves the same rows.
  std::set<QString> percentiles;
  for (const auto& r : rows) percentiles.insert(codes.at(r.percentile));
  for (const QString& p : percentiles)
    db.run("DELETE FROM " + std::string(t.name) + " WHERE CDREFEBIBL = ? AND CDPERCENTIL = ?",
           {ref, p.toStdString()});
  std::string sql = "INSERT INTO " + std::string(t.name) + " (";
  for (size_t i = 0; i < t.columns.size(); ++i)
    sql += (i ? ", " : "") + std::string(t.columns[i].name);
  sql += ") VALUES (";
  for (size_t i = 0; i < t.columns.size(); ++i) sql += i ? ", ?" : "?";
  sql += ")";
  for (const auto& r : rows) {
    const QVariantMap values = r.Columns();
    SqlParams p;
    for (const ColumnDef& c : t.columns) {
      if (c.name == std::string_view("CDREFEBIBL"))
        p.push_back(ref);
      else if (c.name == std::string_view("CDPERCENTIL"))
        p.push_back(codes.at(r.percentile).toStdString());
      else
        p.push_back(FromVariant(c, values.value(QString::fromLatin1(c.name))));
    }
    db.run(sql, p);
  }
  if (!rows.empty()) {
    std::string summary = "{\"CDREFEBIBL\":";
    AppendString(summary, ref);
    summary += ",\"linhas\":" + std::to_string(rows.size()) + "}";
    WriteAudit(db, "tabrelpeso-admin", method, t, {}, summary);
    for (const QString& p : percentiles) BumpChangeCounter(db, t.name, ref, p.toStdString());
  }
  return int(rows.size());
}

// Replaces the L, M and S of `ref` for the indicators and units in `lms`;
// `origin` ("OMS" or "CDC") decides the assessment's rules for them.
void WriteLms(Db& db, const std::string& ref, const std::vector<trp::growth::LmsRow>& lms,
              const char* method, const char* origin) {
  std::set<std::pair<std::string, char>> curves;
  for (const auto& p : lms) curves.emplace(p.indicator, p.unit);
  for (const auto& [indicator, unit] : curves)
    db.run("DELETE FROM LMSREFERENCIA WHERE CDREFEBIBL = ? AND CDINDICADOR = ? AND CDUNIDADE = ?",
           {ref, indicator, std::string(1, unit)});
  for (const auto& p : lms)
    db.run(
        "INSERT INTO LMSREFERENCIA (CDREFEBIBL, CDINDICADOR, CDSEXO, CDUNIDADE, VRCHAVE, VRL, VRM, "
        "VRS, CDORIGEM) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {ref, std::string(p.indicator), std::string(p.sex == trp::growth::kMale ? "M" : "F"),
         std::string(1, p.unit), p.key, p.l, p.m, p.s, std::string(origin)});
  if (lms.empty()) return;
  // Servers keep a reference's L, M and S between assessments while this holds.
  BumpChangeCounter(db, "LMSREFERENCIA", ref, "");
  std::string summary = "{\"CDREFEBIBL\":";
  AppendString(summary, ref);
  summary += ",\"pontos\":" + std::to_string(lms.size()) + "}";
  // Filed under its reference and the import's call, so the history finds it.
  db.run(
      "INSERT INTO AUDITORIA (NMUSUARIO, DTAUDITORIA, NMMETODO, NMTABELA, DSANTERIOR, DSNOVO, "
      "CDREFEBIBL, NRLOTE) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
      {std::string("tabrelpeso-admin"),
       QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString(),
       std::string(method), std::string("LMSREFERENCIA"), std::monostate{}, summary, ref,
       AuditCall::Current()});
}

void RequireReference(Db& db, const std::string& ref) {
  if (!Exists(db, "SELECT 1 FROM REFEBIBL WHERE CDREFEBIBL = ?", {ref}))
    Fail(QStringLiteral("Referência '%1' não cadastrada; cadastre-a antes de importar. Nada foi "
                        "gravado.")
             .arg(QString::fromStdString(ref)));
}

// The percentiles of an import are found by their value in the master (a
// percentile "P15" of value 15 takes the rows of 15); missing ones are
// created with the import's code ("015", "Percentil 15").
template <typename Rows>
void AddPercentiles(Db& db, const Rows& rows, PercentileCodes& codes) {
  std::set<QString> percentiles;
  for (const auto& r : rows) percentiles.insert(r.percentile);
  for (const QString& p : percentiles) {
    if (codes.count(p)) continue;
    const double value = p.toDouble();
    std::string kept;
    db.run("SELECT CDPERCENTIL FROM PERCENTIL WHERE VRPERCENTIL = ? ORDER BY CDPERCENTIL", {value},
           [&](const SqlRow& r) {
             if (kept.empty()) kept = r.text(0);
           });
    if (kept.empty()) {
      kept = p.toStdString();
      db.run(db.engine() == Db::Engine::Postgres
                 ? "INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) VALUES (?, ?, ?) "
                   "ON CONFLICT DO NOTHING"
                 : "INSERT OR IGNORE INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) "
                   "VALUES (?, ?, ?)",
             {kept, QStringLiteral("Percentil %1").arg(value).toStdString(), value});
      // A code kept without a value (from before values existed) gets it.
      db.run("UPDATE PERCENTIL SET VRPERCENTIL = ? WHERE CDPERCENTIL = ? AND VRPERCENTIL IS NULL",
             {value, kept});
    }
    codes[p] = QString::fromStdString(kept);
  }
}

ImportCounts WriteImport(Db& db, const std::string& ref, const trp::growth::Rows& rows,
                         const char* method, const char* origin, PercentileCodes& codes) {
  RequireReference(db, ref);
  AddPercentiles(db, rows.age, codes);
  AddPercentiles(db, rows.height, codes);
  AddPercentiles(db, rows.nchs, codes);
  ImportCounts n;
  n.age = WriteRows(db, Table(TableId::Age), ref, rows.age, method, codes);
  n.height = WriteRows(db, Table(TableId::Height), ref, rows.height, method, codes);
  n.nchs = WriteRows(db, Table(TableId::Nchs), ref, rows.nchs, method, codes);
  WriteLms(db, ref, rows.lms, method, origin);
  n.lms = int(rows.lms.size());
  return n;
}

// The length reference and, when `statureRef` is not empty, the stature one.
ImportCounts WriteWho(Db& db, const std::string& ref, const std::string& statureRef,
                      const trp::who::WhoRows& rows) {
  PercentileCodes codes;
  ImportCounts n = WriteImport(db, ref, rows.length, "import-who", "OMS", codes);
  if (!statureRef.empty()) {
    RequireReference(db, statureRef);
    AddPercentiles(db, rows.height, codes);
    n.stature = WriteRows(db, Table(TableId::Height), statureRef, rows.height, "import-who", codes);
    WriteLms(db, statureRef, rows.heightLms, "import-who", "OMS");
  }
  return n;
}

// The plausibility check of what was just committed. The import stands even
// if the check cannot run; say so instead of claiming nothing was written.
QStringList CheckAfterImport(Db& db, const std::vector<std::string>& refs) {
  QStringList findings;
  try {
    for (const std::string& ref : refs) findings += CheckReference(db, ref);
  } catch (const DbError& e) {
    Fail(QStringLiteral("A importação foi gravada, mas a verificação não pôde ser feita: %1")
             .arg(QString::fromUtf8(e.what())));
  }
  return findings;
}

QString CodeArg(const QString& ref) {
  if (ref.isEmpty() || ref.size() > 2)
    Fail(QStringLiteral("Código de referência inválido: '%1' (1 ou 2 caracteres).").arg(ref));
  return ref;
}

}  // namespace

void InitDatabase(const QString& database) { OpenMigrated(database); }

ImportCounts ImportCdc(const QString& database, const QString& reference, const QString& dir,
                       const QList<double>& percentiles) {
  const std::string ref = CodeArg(reference).toStdString();
  const trp::cdc::CdcRows rows = trp::cdc::LoadCdc2000(dir, percentiles);
  auto db = OpenMigrated(database);
  ImportCounts n;
  try {
    Transaction tx(*db, true);
    PercentileCodes codes;
    n = WriteImport(*db, ref, rows, "import-cdc", "CDC", codes);
    tx.commit();
  } catch (const DbError& e) {
    Fail(QStringLiteral("Falha ao gravar a importação; nada foi gravado. Detalhe: %1")
             .arg(QString::fromUtf8(e.what())));
  }
  n.findings = CheckAfterImport(*db, {ref});
  return n;
}

ImportCounts ImportWho(const QString& database, const QString& reference,
                       const QString& statureReference, const QString& dir,
                       const QList<double>& percentiles) {
  const std::string ref = CodeArg(reference).toStdString();
  const std::string statureRef =
      statureReference.isEmpty() ? std::string() : CodeArg(statureReference).toStdString();
  if (ref == statureRef)
    Fail(QStringLiteral("Comprimento e estatura não podem ficar na mesma referência ('%1'). Nada "
                        "foi gravado.")
             .arg(reference));
  const trp::who::WhoRows rows = trp::who::LoadWho(dir, percentiles);
  auto db = OpenMigrated(database);
  ImportCounts n;
  try {
    Transaction tx(*db, true);
    n = WriteWho(*db, ref, statureRef, rows);
    tx.commit();
  } catch (const DbError& e) {
    Fail(QStringLiteral("Falha ao gravar a importação; nada foi gravado. Detalhe: %1")
             .arg(QString::fromUtf8(e.what())));
  }
  n.findings =
      CheckAfterImport(*db, statureRef.empty() ? std::vector<std::string>{ref}
                                               : std::vector<std::string>{ref, statureRef});
  return n;
}

QString SiblingWhoDir(const QString& cdcDir) {
  return QDir::cleanPath(QDir(cdcDir).filePath(QStringLiteral("../who")));
}

// The "Citação:", "Fonte:" and "Licença:" lines of a data folder's
// PROVENANCE.md; missing lines give empty texts.
struct Citation {
  std::string citation, source, licence;
};

Citation ReadCitation(const QString& dir) {
  Citation c;
  QFile file(QDir(dir).filePath(QStringLiteral("PROVENANCE.md")));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return c;
  for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
    const QString line = raw.trimmed();
    auto take = [&](const char* label, std::string& into) {
      const QString prefix = QString::fromUtf8(label);
      if (line.startsWith(prefix)) into = line.mid(prefix.size()).trimmed().toStdString();
    };
    take("Citação:", c.citation);
    take("Fonte:", c.source);
    take("Licença:", c.licence);
  }
  return c;
}

void WriteCitation(Db& db, const std::string& reference, const Citation& c) {
  auto text = [](const std::string& s) { return s.empty() ? SqlParam() : SqlParam(s); };
  db.run("UPDATE REFEBIBL SET DSCITACAO = ?, DSFONTE = ?, DSLICENCA = ? WHERE CDREFEBIBL = ?",
         {text(c.citation), text(c.source), text(c.licence), reference});
}

void SeedSampleDatabase(const QString& database, const QString& cdcDir, const QString& whoDir) {
  // Read and check the files first: a damaged copy must not leave a half sample.
  const trp::who::WhoRows who = trp::who::LoadWho(whoDir.isEmpty() ? SiblingWhoDir(cdcDir) : whoDir,
                                                  trp::who::DefaultPercentiles());
  trp::cdc::CdcRows rows = trp::cdc::LoadCdc2000(cdcDir, trp::cdc::PublishedPercentiles());
  // wtstat also publishes P85.
  const trp::cdc::CdcRows extra = trp::cdc::LoadCdc2000(cdcDir, {85});
  rows.nchs.insert(rows.nchs.end(), extra.nchs.begin(), extra.nchs.end());

  auto db = OpenMigrated(database);
  const char* const references[][2] = {
      {"01", "CDC 2000 (NCHS/CDC, Estados Unidos)"},
      {"02", "OMS 2006/2007 (Organização Mundial da Saúde)"},
      {"03", "NCHS 1977 (Estados Unidos)"},
      {"04", "Referência local do serviço"},
      {"05", "OMS 2006 — peso por estatura"},
  };
  try {
    Transaction tx(*db, true);
    const bool pg = db->engine() == Db::Engine::Postgres;
    // The sample's own names win, so an older sample gets its references renamed.
    for (const auto& r : references)
      db->run(
          "INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES (?, ?) ON CONFLICT (CDREFEBIBL) DO UPDATE SET "
          "NMREFEBIBL = excluded.NMREFEBIBL",
          {std::string(r[0]), std::string(r[1])});
    for (int p : {3, 5, 10, 15, 25, 50, 75, 85, 90, 95, 97})
      db->run(pg ? "INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) VALUES (?, ?, ?) "
                   "ON CONFLICT DO NOTHING"
                 : "INSERT OR IGNORE INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) "
                   "VALUES (?, ?, ?)",
              {QStringLiteral("%1").arg(p, 3, 10, QLatin1Char('0')).toStdString(),
               QStringLiteral("Percentil %1").arg(p).toStdString(), double(p)});
    PercentileCodes codes;
    WriteImport(*db, "01", rows, "seed", "CDC", codes);
    WriteWho(*db, "02", "05", who);
    const Citation cdc = ReadCitation(cdcDir);
    const Citation oms = ReadCitation(whoDir.isEmpty() ? SiblingWhoDir(cdcDir) : whoDir);
    WriteCitation(*db, "01", cdc);
    WriteCitation(*db, "02", oms);
    WriteCitation(*db, "05", oms);
    tx.commit();
  } catch (const DbError& e) {
    Fail(QStringLiteral("Falha ao gravar a base de exemplo; nada foi gravado. Detalhe: %1")
             .arg(QString::fromUtf8(e.what())));
  }
}

std::string ExportCsv(const QString& database, const QString& reference, TableId table,
                      bool commaDecimal, const QString& percentile) {
  const std::string ref = CodeArg(reference).toStdString();
  const TableDef& t = Table(table);
  auto db = OpenMigrated(database);
  if (!Exists(*db, "SELECT 1 FROM REFEBIBL WHERE CDREFEBIBL = ?", {ref}))
    Fail(QStringLiteral("Referência '%1' não cadastrada.").arg(reference));
  std::string where = " WHERE CDREFEBIBL = ?";
  SqlParams params{ref};
  if (!percentile.isEmpty()) {
    const std::string perc = fw::Ajusta(percentile, 3).toStdString();
    if (!Exists(*db, "SELECT 1 FROM PERCENTIL WHERE CDPERCENTIL = ?", {perc}))
      Fail(QStringLiteral("Percentil '%1' não cadastrado.").arg(percentile));
    where += " AND CDPERCENTIL = ?";
    params.push_back(perc);
  }
  const char sep = commaDecimal ? ';' : ',';
  std::string out;
  std::string cols;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    cols += (i ? ", " : "") + std::string(t.columns[i].name);
    if (i) out += sep;
    out += t.columns[i].name;
  }
  out += '\n';
  std::string order;
  for (size_t i = 0; i < t.keyOrder.size(); ++i)
    order += (i ? ", " : "") + std::string(t.keyOrder[i]);
  db->run("SELECT " + cols + " FROM " + t.name + where + " ORDER BY " + order, params,
          [&](const SqlRow& r) {
            for (size_t i = 0; i < t.columns.size(); ++i) {
              if (i) out += sep;
              if (r.isNull(int(i))) continue;
              if (t.columns[i].kind == ColumnDef::Kind::Code) {
                out += r.text(int(i));
                continue;
              }
              std::string n;
              AppendNumber(n, r.real(int(i)));
              if (commaDecimal)
                for (char& c : n)
                  if (c == '.') c = ',';
              out += n;
            }
            out += '\n';
          });
  return out;
}

}  // namespace srv
