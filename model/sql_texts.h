#pragma once
// The SQL texts of this module's local read-only queries, one per database
// dialect of the host's query component, byte for byte: lines joined by "\n",
// trailing blanks and final empty lines kept.
//
// A screen sets up its query from the spec:
//   const QuerySpec& q = QuerySpecByName(Screen::TabRelPeso, u"qryPesqRefe");
//   query->SetSqlTexts(q.texts.standard, q.texts.oracle, q.texts.sqlServer, q.texts.interBase);
//   for (const FieldSpec& f : q.fields->fields) ApplyFieldSpec(*query->AddField(f.Def()), f);

#include "model/datasets.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace trp::model {

enum class SqlDialect { Standard, Oracle, SqlServer, InterBase };

struct QueryTexts {
  QString standard, oracle, sqlServer, interBase;
  const QString& For(SqlDialect dialect) const;
};

struct QuerySpec {
  Screen screen;
  QString name;       // "qryPesqRefe"
  QString parameter;  // "P_CDREFERENCIA"; empty when the query has none
  const DatasetSpec* fields;
  QueryTexts texts;
};

// Every local query of the module: the maintenance screen's qryPesqRefe and
// qryPesqPercentil, the dialog's qryPercentil, the report screen's
// qryReferencia and qryPercentil.
const QList<QuerySpec>& QuerySpecs();
// The query `name` of `screen`; throws fw::Error naming it when there is none.
const QuerySpec& QuerySpecByName(Screen screen, QStringView name);
// Shorthand for QuerySpecByName(screen, name).texts.
const QueryTexts& QueryTextsOf(Screen screen, QStringView name);

}  // namespace trp::model
