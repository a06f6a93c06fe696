#pragma once
// A reference's tables to a spreadsheet file, from the server's rows: the
// maintenance screen's Exportar (and any window that shows a reference).

#include "framework/net/netconnection.h"

#include <QString>

namespace trp::importacao {

// Writes reference `ref` to `path`: an .xlsx or .ods file gets the three
// tables (or `table` alone: PESALTIDADE, PESOALTU, PEALNCHS2000), the
// reference's citation and its percentiles, as `tabrelpeso-admin export`
// writes them; a .csv file the rows of `table` (all three refused), ';'
// between fields and decimal comma. Shows the failure and aborts (MensErro).
void ExportaReferencia(fw::TNetConnection& net, const QString& ref, const QString& table,
                       const QString& path);

}  // namespace trp::importacao
