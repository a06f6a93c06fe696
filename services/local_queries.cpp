#include "services/local_queries.h"

#include "model/sql_texts.h"

namespace trp::services {

fw::TADOIBQuery* BuildQuery(model::Screen screen, const QString& name, QObject* owner) {
  const model::QuerySpec& spec = model::QuerySpecByName(screen, name);
  auto* query = new fw::TADOIBQuery(name, owner);
  query->SetSqlTexts(spec.texts.standard, spec.texts.oracle, spec.texts.sqlServer,
                     spec.texts.interBase);
  for (const model::FieldSpec& f : spec.fields->fields)
    model::ApplyFieldSpec(*query->AddField(f.Def()), f);
  return query;
}

}  // namespace trp::services
