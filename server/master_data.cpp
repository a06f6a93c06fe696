#include "server/master_data.h"

#include "framework/data/format.h"
#include "server/audit_log.h"
#include "server/call_checks.h"
#include "server/json_out.h"
#include "server/tables.h"

#include <QDateTime>

#include <cmath>

namespace srv {

namespace {

constexpr int kReferenceNameSize = 60;
constexpr int kPercentileNameSize = 30;
constexpr int kTextSize = 4000;

const QString kConflict = QStringLiteral(
    "Registro alterado ou excluído por outro usuário. Verifique os dados e tente novamente.");

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Names are one line; a citation may keep its line breaks.
bool HasControl(const QString& text, bool multiLine) {
  for (QChar c : text)
    if (c.category() == QChar::Other_Control && !(multiLine && (c == u'\n' || c == u'\t')))
      return true;
  return false;
}

std::string Name(const QString& typed, int size, const QString& what) {
  const QString name = typed.trimmed();
  if (name.isEmpty()) Refuse(QStringLiteral("Informe o nome %1.").arg(what));
  if (HasControl(name, false))
    Refuse(
        QStringLiteral("O nome %1 contém um caractere de controle: '%2'.").arg(what, Shown(name)));
  // Characters as people count them, not UTF-16 units ("𝑥" is one).
  const qsizetype length = name.toUcs4().size();
  if (length > size)
    Refuse(QStringLiteral("O nome %1 tem %2 caracteres; o máximo é %3.")
               .arg(what)
               .arg(length)
               .arg(size));
  return name.toStdString();
}

std::optional<std::string> Text(const QString& typed, const QString& what, bool multiLine) {
  QString text = typed;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text = text.trimmed();
  if (text.isEmpty()) return std::nullopt;
  if (HasControl(text, multiLine))
    Refuse(QStringLiteral("O campo %1 contém um caractere de controle.").arg(what));
  const qsizetype length = text.toUcs4().size();
  if (length > kTextSize)
    Refuse(QStringLiteral("O campo %1 tem %2 caracteres; o máximo é %3.")
               .arg(what)
               .arg(length)
               .arg(kTextSize));
  return text.toStdString();
}

SqlParam Param(const std::optional<std::string>& s) { return s ? SqlParam(*s) : SqlParam(); }
SqlParam Param(const std::optional<double>& v) { return v ? SqlParam(*v) : SqlParam(); }

std::optional<std::string> OptText(const SqlRow& r, int i) {
  if (r.isNull(i)) return std::nullopt;
  return std::string(r.text(i));
}

void AppendOpt(std::string& out, const std::optional<std::string>& s) {
  if (s)
    AppendString(out, *s);
  else
    out += "null";
}

std::string Json(const ReferenceEntry& e) {
  std::string out = "{\"CDREFEBIBL\":";
  AppendString(out, e.code);
  out += ",\"NMREFEBIBL\":";
  AppendString(out, e.name);
  out += ",\"DSCITACAO\":";
  AppendOpt(out, e.citation);
  out += ",\"DSFONTE\":";
  AppendOpt(out, e.source);
  out += ",\"DSLICENCA\":";
  AppendOpt(out, e.licence);
  return out + "}";
}

std::string Json(const PercentileEntry& e) {
  std::string out = "{\"CDPERCENTIL\":";
  AppendString(out, e.code);
  out += ",\"NMPERCENTIL\":";
  AppendString(out, e.name);
  out += ",\"VRPERCENTIL\":";
  if (e.value)
    AppendNumber(out, *e.value);
  else
    out += "null";
  return out + "}";
}

void Audit(Db& db, const MasterAudit& a, const char* table, const std::string& oldJson,
           const std::string& newJson) {
  WriteMasterAudit(db, a.user.toStdString(), a.method.toStdString(), table, oldJson, newJson);
}

std::string Locking(Db& db, std::string sql) {
  if (db.engine() == Db::Engine::Postgres) sql += " FOR UPDATE";
  return sql;
}

const char* const kReferenceColumns =
    "SELECT CDREFEBIBL, NMREFEBIBL, DSCITACAO, DSFONTE, DSLICENCA FROM REFEBIBL";
const char* const kPercentileColumns =
    "SELECT CDPERCENTIL, NMPERCENTIL, VRPERCENTIL FROM PERCENTIL";

ReferenceEntry ReferenceOf(const SqlRow& r) {
  return {std::string(r.text(0)), std::string(r.text(1)), OptText(r, 2), OptText(r, 3),
          OptText(r, 4)};
}

PercentileEntry PercentileOf(const SqlRow& r) {
  PercentileEntry e{std::string(r.text(0)), std::string(r.text(1)), std::nullopt};
  double v = 0;
  if (r.realIfAny(2, v)) e.value = v;
  return e;
}

// Rows of the three tables that use a code, as "n linha(s) na tabela X, ...",
// and for a reference its points of L, M and S. Empty when nothing does.
QString Usage(Db& db, const char* column, const std::string& code, std::int64_t* lmsPoints) {
  QStringList parts;
  std::int64_t total = 0;
  for (const TableDef* t : AllTables()) {
    const std::int64_t n =
        QueryInt(db, "SELECT COUNT(*) FROM " + std::string(t->name) + " WHERE " + column + " = ?",
                 {code}, 0);
    total += n;
    parts << QStringLiteral("%1 linha(s) na tabela %2").arg(n).arg(QString::fromUtf8(t->label));
  }
  if (lmsPoints) {
    *lmsPoints = QueryInt(db, "SELECT COUNT(*) FROM LMSREFERENCIA WHERE CDREFEBIBL = ?", {code}, 0);
    total += *lmsPoints;
    if (*lmsPoints) parts << QStringLiteral("%1 ponto(s) de L, M e S").arg(*lmsPoints);
  }
  if (total == 0) return {};
  const QString last = parts.takeLast();
  return parts.join(QStringLiteral(", ")) + QStringLiteral(" e ") + last;
}

// Percentile writes take turns on PostgreSQL, so the value check below sees
// the other writer's commit and both engines refuse with the same message;
// the unique index stays the last word.
void OnePercentileWriterAtATime(Db& db) {
  if (db.engine() == Db::Engine::Postgres) db.run("SELECT pg_advisory_xact_lock(53601)", {}, {});
}

void RefuseTakenValue(Db& db, const PercentileEntry& e) {
  if (!e.value) return;
  std::string other;
  db.run("SELECT CDPERCENTIL FROM PERCENTIL WHERE VRPERCENTIL = ? AND CDPERCENTIL <> ?",
         {*e.value, e.code}, [&](const SqlRow& r) { other = r.text(0); });
  if (!other.empty())
    Refuse(QStringLiteral("O valor %1 já pertence ao percentil '%2'; cada valor identifica um só "
                          "percentil. Nada foi alterado.")
               .arg(Num(*e.value), Q(other)));
}

}  // namespace

std::string ReferenceCode(const QString& typed) {
  RefuseControlCharacters(typed, true);
  return Code(fw::Ajusta(typed, 2), true);
}

std::string PercentileCode(const QString& typed) {
  RefuseControlCharacters(typed, false);
  return Code(fw::Ajusta(typed, 3), false);
}

ReferenceEntry MakeReference(const QString& code, const QString& name, const QString& citation,
                             const QString& source, const QString& licence) {
  // A new code must not pass for another; positions are those of the text as typed.
  RefuseOddCharacters(code, true);
  return {ReferenceCode(code), Name(name, kReferenceNameSize, QStringLiteral("da referência")),
          Text(citation, QStringLiteral("Citação"), true),
          Text(source, QStringLiteral("Fonte"), false),
          Text(licence, QStringLiteral("Licença"), false)};
}

PercentileEntry MakePercentile(const QString& code, const QString& name,
                               std::optional<double> value) {
  RefuseOddCharacters(code, false);
  PercentileEntry e{PercentileCode(code),
                    Name(name, kPercentileNameSize, QStringLiteral("do percentil")), value};
  if (value && !(*value > 0 && *value < 100))
    Refuse(QStringLiteral("O valor do percentil deve ser maior que 0 e menor que 100 (recebido: "
                          "%1).")
               .arg(Num(*value)));
  return e;
}

std::optional<double> ParsePercentileValue(const QString& typed) {
  bool ok = false;
  const std::optional<double> v = fw::ParseFloat(typed, &ok);
  if (!ok)
    Refuse(QStringLiteral("O valor do percentil '%1' não é um número válido.").arg(Shown(typed)));
  return v;
}

std::vector<ReferenceEntry> ListReferences(Db& db) {
  std::vector<ReferenceEntry> out;
  db.run(std::string(kReferenceColumns) + " ORDER BY CDREFEBIBL", {},
         [&](const SqlRow& r) { out.push_back(ReferenceOf(r)); });
  return out;
}

std::vector<PercentileEntry> ListPercentiles(Db& db) {
  std::vector<PercentileEntry> out;
  db.run(std::string(kPercentileColumns) + " ORDER BY CDPERCENTIL", {},
         [&](const SqlRow& r) { out.push_back(PercentileOf(r)); });
  return out;
}

std::optional<ReferenceEntry> FindReference(Db& db, const std::string& code) {
  std::optional<ReferenceEntry> found;
  db.run(Locking(db, std::string(kReferenceColumns) + " WHERE CDREFEBIBL = ?"), {code},
         [&](const SqlRow& r) { found = ReferenceOf(r); });
  return found;
}

std::optional<PercentileEntry> FindPercentile(Db& db, const std::string& code) {
  std::optional<PercentileEntry> found;
  db.run(Locking(db, std::string(kPercentileColumns) + " WHERE CDPERCENTIL = ?"), {code},
         [&](const SqlRow& r) { found = PercentileOf(r); });
  return found;
}

QString ReferenceTaken(const std::string& code) {
  return QStringLiteral("Referência '%1' já cadastrada. Nada foi alterado.").arg(Q(code));
}

QString PercentileTaken(const std::string& code) {
  return QStringLiteral("Percentil '%1' já cadastrado. Nada foi alterado.").arg(Q(code));
}

void AddReference(Db& db, const MasterAudit& audit, const ReferenceEntry& e) {
  if (FindReference(db, e.code)) Refuse(ReferenceTaken(e.code));
  db.run(
      "INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL, DSCITACAO, DSFONTE, DSLICENCA) VALUES (?, ?, "
      "?, ?, ?)",
      {e.code, e.name, Param(e.citation), Param(e.source), Param(e.licence)});
  Audit(db, audit, "REFEBIBL", {}, Json(e));
}

void AddPercentile(Db& db, const MasterAudit& audit, const PercentileEntry& e) {
  OnePercentileWriterAtATime(db);
  if (FindPercentile(db, e.code)) Refuse(PercentileTaken(e.code));
  RefuseTakenValue(db, e);
  db.run("INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) VALUES (?, ?, ?)",
         {e.code, e.name, Param(e.value)});
  Audit(db, audit, "PERCENTIL", {}, Json(e));
}

void EditReference(Db& db, const MasterAudit& audit, const ReferenceEntry& original,
                   const ReferenceEntry& changed) {
  const std::optional<ReferenceEntry> stored = FindReference(db, original.code);
  if (!stored || *stored != original) Fail(RpcError::Conflict, kConflict);
  if (changed.code != original.code)
    Refuse(QStringLiteral("O código de uma referência não pode ser alterado; inclua uma nova."));
  db.run(
      "UPDATE REFEBIBL SET NMREFEBIBL = ?, DSCITACAO = ?, DSFONTE = ?, DSLICENCA = ? WHERE "
      "CDREFEBIBL = ?",
      {changed.name, Param(changed.citation), Param(changed.source), Param(changed.licence),
       changed.code});
  Audit(db, audit, "REFEBIBL", Json(*stored), Json(changed));
}

void EditPercentile(Db& db, const MasterAudit& audit, const PercentileEntry& original,
                    const PercentileEntry& changed) {
  OnePercentileWriterAtATime(db);
  const std::optional<PercentileEntry> stored = FindPercentile(db, original.code);
  if (!stored || *stored != original) Fail(RpcError::Conflict, kConflict);
  if (changed.code != original.code)
    Refuse(QStringLiteral("O código de um percentil não pode ser alterado; inclua um novo."));
  RefuseTakenValue(db, changed);
  db.run("UPDATE PERCENTIL SET NMPERCENTIL = ?, VRPERCENTIL = ? WHERE CDPERCENTIL = ?",
         {changed.name, Param(changed.value), changed.code});
  Audit(db, audit, "PERCENTIL", Json(*stored), Json(changed));
}

void RemoveReference(Db& db, const MasterAudit& audit, const ReferenceEntry& original) {
  const std::optional<ReferenceEntry> stored = FindReference(db, original.code);
  if (!stored || *stored != original) Fail(RpcError::Conflict, kConflict);
  std::int64_t lms = 0;
  const QString usage = Usage(db, "CDREFEBIBL", original.code, &lms);
  // L, M and S come only from the imports and have no history of their own:
  // a reference keeping them stays.
  if (!usage.isEmpty())
    Refuse(QStringLiteral("A referência '%1' não pode ser excluída porque está em uso: %2. %3 Nada "
                          "foi alterado.")
               .arg(Q(original.code), usage,
                    lms ? QStringLiteral("Os pontos de L, M e S vêm das importações e ficam com a "
                                         "referência; apenas altere o nome dela.")
                        : QStringLiteral("Exclua essas linhas antes, ou apenas altere o nome.")));
  db.run("DELETE FROM REFEBIBL WHERE CDREFEBIBL = ?", {original.code});
  Audit(db, audit, "REFEBIBL", Json(*stored), {});
}

void RemovePercentile(Db& db, const MasterAudit& audit, const PercentileEntry& original) {
  const std::optional<PercentileEntry> stored = FindPercentile(db, original.code);
  if (!stored || *stored != original) Fail(RpcError::Conflict, kConflict);
  const QString usage = Usage(db, "CDPERCENTIL", original.code, nullptr);
  if (!usage.isEmpty())
    Refuse(QStringLiteral("O percentil '%1' não pode ser excluído porque está em uso: %2. Exclua "
                          "essas linhas antes, ou apenas altere o nome. Nada foi alterado.")
               .arg(Q(original.code), usage));
  db.run("DELETE FROM PERCENTIL WHERE CDPERCENTIL = ?", {original.code});
  Audit(db, audit, "PERCENTIL", Json(*stored), {});
}

void WriteMaster(Db& db, const QString& duplicateMessage, const std::function<void()>& body,
                 bool* committing) {
  WritePercentile(db, std::nullopt, duplicateMessage, body, committing);
}

void WritePercentile(Db& db, const std::optional<PercentileEntry>& entry,
                     const QString& duplicateMessage, const std::function<void()>& body,
                     bool* committing) {
  try {
    Transaction tx(db, true);
    body();
    if (committing) *committing = true;
    tx.commit();
  } catch (const DbError& e) {
    if (e.kind() != DbError::Kind::Unique) throw;
    // Rolled back by now: the unique index that refused may be the value's.
    if (entry) {
      if (!duplicateMessage.isEmpty() &&
          Exists(db, "SELECT 1 FROM PERCENTIL WHERE CDPERCENTIL = ?", {entry->code}))
        Refuse(duplicateMessage);
      RefuseTakenValue(db, *entry);
    }
    Refuse(duplicateMessage.isEmpty() ? kConflict : duplicateMessage);
  }
}

}  // namespace srv
