#pragma once
// The curves of a table's rows as a chart, without a widget: the curves
// window, the assessment screen and the server's web view draw them alike.

#include "framework/data/packet.h"
#include "report/chart.h"

namespace trp::tabrelpeso {

// Which table and which values a chart shows.
enum class TabelaGrafico { Idade, Altura, AlturaNCHS };
enum class Medida { Peso, Altura, PerimetroCefalico };

// The chart of `rows` (a rows packet of that table, every reference) for
// `referencia`: a curve per percentile in code order, labelled "P3", the
// points in key order, an empty value a gap; `percentil` is highlighted.
// `masculino` chooses the sex; `medida` matters for the age table only.
report::ChartData CurvasDaTabela(const fw::DataPacket& rows, TabelaGrafico tabela,
                                 const QString& referencia, const QString& percentil,
                                 bool masculino, Medida medida);

// Where a reference's age table changes source, read from its provenance
// (citation): the WHO 2006 standards up to 60 months, the 2007 reference
// from 61 ("OMS 2006 | OMS 2007" at 60.5). The report's definition applies
// the same rule in its SQL.
QList<report::ChartBoundary> FronteirasDe(const QString& citacao, TabelaGrafico tabela);

}  // namespace trp::tabrelpeso
