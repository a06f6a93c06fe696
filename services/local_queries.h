#pragma once
// The module's local read-only queries, built from their definitions: the
// SQL text of each dialect and the declared result fields.

#include "framework/sql/adoibquery.h"
#include "model/datasets.h"

#include <QObject>
#include <QString>

namespace trp::services {

// The query `name` of `screen`, owned by `owner`. Throws fw::Error when the
// module defines no such query (a programming error).
fw::TADOIBQuery* BuildQuery(model::Screen screen, const QString& name, QObject* owner);

}  // namespace trp::services
