#include "server/master_data_methods.h"

#include "server/call_checks.h"
#include "server/json_out.h"
#include "server/master_data.h"

namespace srv {

namespace {

const QStringList& Names() {
  static const QStringList names{"GetCadReferencia", "IncluiReferencia", "AlteraReferencia",
                                 "ExcluiReferencia", "GetCadPercentil",  "IncluiPercentil",
                                 "AlteraPercentil",  "ExcluiPercentil"};
  return names;
}

void Expect(const QString& method, const QJsonArray& a, int count) {
  Params(method, a).expect(count);
}

// A text or null, as sent.
QString OptText(const QString& method, const QJsonValue& v, int position, const QString& what) {
  if (v.isNull()) return {};
  if (!v.isString())
    BadParams(QStringLiteral("O parâmetro %1 do método %2 (%3) deve ser um texto ou nulo.")
                  .arg(position)
                  .arg(method, what));
  return v.toString();
}

std::optional<double> OptNumber(const QString& method, const QJsonValue& v, int position) {
  if (v.isNull()) return std::nullopt;
  if (!v.isDouble())
    BadParams(QStringLiteral("O parâmetro %1 do método %2 (valor do percentil) deve ser um número "
                             "ou nulo.")
                  .arg(position)
                  .arg(method));
  return v.toDouble();
}

QJsonArray RowParam(const QString& method, const QJsonArray& a, int i, int size) {
  const QJsonValue v = a.at(i);
  if (!v.isArray() || v.toArray().size() != size)
    BadParams(QStringLiteral("O parâmetro %1 do método %2 deve ser uma linha de %3 valores.")
                  .arg(i + 1)
                  .arg(method)
                  .arg(size));
  return v.toArray();
}

std::optional<std::string> Stored(const QString& text) {
  if (text.isNull()) return std::nullopt;
  return text.toStdString();
}

// The entry as the caller read it: compared with the stored one as it is.
ReferenceEntry OriginalReference(const QString& method, const QJsonArray& row) {
  const QString code = OptText(method, row.at(0), 1, QStringLiteral("código"));
  return {Code(code, true), OptText(method, row.at(1), 1, QStringLiteral("nome")).toStdString(),
          Stored(OptText(method, row.at(2), 1, QStringLiteral("citação"))),
          Stored(OptText(method, row.at(3), 1, QStringLiteral("fonte"))),
          Stored(OptText(method, row.at(4), 1, QStringLiteral("licença")))};
}

ReferenceEntry TypedReference(const QString& method, const QJsonArray& row, int position) {
  return MakeReference(OptText(method, row.at(0), position, QStringLiteral("código")),
                       OptText(method, row.at(1), position, QStringLiteral("nome")),
                       OptText(method, row.at(2), position, QStringLiteral("citação")),
                       OptText(method, row.at(3), position, QStringLiteral("fonte")),
                       OptText(method, row.at(4), position, QStringLiteral("licença")));
}

PercentileEntry OriginalPercentile(const QString& method, const QJsonArray& row) {
  const QString code = OptText(method, row.at(0), 1, QStringLiteral("código"));
  return {Code(code, false), OptText(method, row.at(1), 1, QStringLiteral("nome")).toStdString(),
          OptNumber(method, row.at(2), 1)};
}

PercentileEntry TypedPercentile(const QString& method, const QJsonArray& row, int position) {
  return MakePercentile(OptText(method, row.at(0), position, QStringLiteral("código")),
                        OptText(method, row.at(1), position, QStringLiteral("nome")),
                        OptNumber(method, row.at(2), position));
}

void AppendOpt(std::string& out, const std::optional<std::string>& s) {
  if (s)
    AppendString(out, *s);
  else
    out += "null";
}

std::string ReferencePacket(const std::vector<ReferenceEntry>& entries) {
  std::string out =
      "{\"fields\":[{\"name\":\"CDREFEBIBL\",\"type\":\"string\",\"size\":2},"
      "{\"name\":\"NMREFEBIBL\",\"type\":\"string\",\"size\":60},"
      "{\"name\":\"DSCITACAO\",\"type\":\"string\",\"size\":4000},"
      "{\"name\":\"DSFONTE\",\"type\":\"string\",\"size\":4000},"
      "{\"name\":\"DSLICENCA\",\"type\":\"string\",\"size\":4000}],\"rows\":[";
  for (size_t i = 0; i < entries.size(); ++i) {
    const ReferenceEntry& e = entries[i];
    out += i ? ",[" : "[";
    AppendString(out, e.code);
    out += ',';
    AppendString(out, e.name);
    for (const auto* text : {&e.citation, &e.source, &e.licence}) {
      out += ',';
      AppendOpt(out, *text);
    }
    out += ']';
  }
  return out + "]}";
}

std::string PercentilePacket(const std::vector<PercentileEntry>& entries) {
  std::string out =
      "{\"fields\":[{\"name\":\"CDPERCENTIL\",\"type\":\"string\",\"size\":3},"
      "{\"name\":\"NMPERCENTIL\",\"type\":\"string\",\"size\":30},"
      "{\"name\":\"VRPERCENTIL\",\"type\":\"float\"}],\"rows\":[";
  for (size_t i = 0; i < entries.size(); ++i) {
    const PercentileEntry& e = entries[i];
    out += i ? ",[" : "[";
    AppendString(out, e.code);
    out += ',';
    AppendString(out, e.name);
    out += ',';
    if (e.value)
      AppendNumber(out, *e.value);
    else
      out += "null";
    out += ']';
  }
  return out + "]}";
}

JsonPieces Share(std::string s) { return {std::make_shared<const std::string>(std::move(s))}; }

JsonPieces True() { return Share("true"); }

}  // namespace

bool MasterDataMethods::Knows(const QString& method) { return Names().contains(method); }

JsonPieces MasterDataMethods::Call(Service& s, const Caller& caller, const QString& method,
                                   const QJsonArray& a, bool& committing) {
  const MasterAudit audit{caller.name, method};
  const bool reference = method.endsWith(u"Referencia");
  if (method.startsWith(u"Get")) {
    Expect(method, a, 0);
    auto db = s.pool_.acquire();
    return Share(reference ? ReferencePacket(ListReferences(*db))
                           : PercentilePacket(ListPercentiles(*db)));
  }
  const int width = reference ? 5 : 3;
  // Every check of the input comes before a connection is taken.
  std::function<void(Db&)> body;
  QString duplicate;
  std::optional<PercentileEntry> percentile;  // written: its clash is named as the checks name it
  if (method.startsWith(u"Inclui")) {
    Expect(method, a, width);
    if (reference) {
      const ReferenceEntry e = TypedReference(method, a, 1);
      duplicate = ReferenceTaken(e.code);
      body = [=](Db& db) { AddReference(db, audit, e); };
    } else {
      const PercentileEntry e = TypedPercentile(method, a, 1);
      duplicate = PercentileTaken(e.code);
      percentile = e;
      body = [=](Db& db) { AddPercentile(db, audit, e); };
    }
  } else if (method.startsWith(u"Altera")) {
    Expect(method, a, 2);
    const QJsonArray oldRow = RowParam(method, a, 0, width);
    const QJsonArray newRow = RowParam(method, a, 1, width);
    if (reference) {
      const ReferenceEntry before = OriginalReference(method, oldRow);
      const ReferenceEntry after = TypedReference(method, newRow, 2);
      body = [=](Db& db) { EditReference(db, audit, before, after); };
    } else {
      const PercentileEntry before = OriginalPercentile(method, oldRow);
      const PercentileEntry after = TypedPercentile(method, newRow, 2);
      percentile = after;
      body = [=](Db& db) { EditPercentile(db, audit, before, after); };
    }
  } else {
    Expect(method, a, 1);
    const QJsonArray oldRow = RowParam(method, a, 0, width);
    if (reference) {
      const ReferenceEntry before = OriginalReference(method, oldRow);
      body = [=](Db& db) { RemoveReference(db, audit, before); };
    } else {
      const PercentileEntry before = OriginalPercentile(method, oldRow);
      body = [=](Db& db) { RemovePercentile(db, audit, before); };
    }
  }
  auto db = s.pool_.acquire();
  WritePercentile(
      *db, percentile, duplicate, [&] { body(*db); }, &committing);
  return True();
}

}  // namespace srv
