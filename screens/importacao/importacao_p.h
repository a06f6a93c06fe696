#pragma once
// Private to the wizard's files: the preview grid, the server's arguments.

#include "framework/net/netconnection.h"
#include "import/table_import.h"

#include <QStringList>
#include <QTableWidget>
#include <QVariantList>

#include <map>
#include <optional>
#include <vector>

namespace trp::importacao {

QString NomeTabela(tableimport::Table t);

// The rows as they will be stored, one line each (table, percentile, key and
// every column that holds a value), the findings' cells marked with their
// text as the hint.
void PreencheTabela(QTableWidget& grid, const tableimport::Result& r,
                    const std::map<QString, QString>& codes);

// The stored rows of `ref` that the import of `rows` replaces (the same
// percentiles of the same tables), read from the server.
qint64 Substituidas(fw::TNetConnection& net, const QString& ref, const growth::Rows& rows);

// ImportaTabela's nine arguments.
QVariantList ArgumentosImporta(const QString& ref, const std::optional<QStringList>& nova,
                               const std::vector<tableimport::NewPercentile>& created,
                               const growth::Rows& rows, const QString& lmsOrigin,
                               const QString& group, qint64 replaced);

}  // namespace trp::importacao
