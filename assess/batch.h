#pragma once
// Many children at once from a CSV file: columns
// id;sexo;idade_dias;peso;medida;estatura;pc (sexo M/F, medida D lying or P
// standing, empty cells allowed, decimals with comma or point, an optional
// header line). The output is each input line followed by z_, p_ and class_
// for every indicator (peso_idade, estatura_idade, peso_estatura, imc_idade,
// pc_idade), empty where nothing was computed.

#include "assess/assessment.h"

#include <QIODevice>
#include <QString>

#include <functional>

namespace trp::assess {

struct BatchCounts {
  qint64 lines = 0;      // data lines read (the header not counted)
  qint64 assessed = 0;   // written with their results
  qint64 malformed = 0;  // reported and left out
};

// Reads `in` to its end and writes `out`. A malformed line goes to
// `malformed(line number, reason)` and is left out of the output; the rest
// is processed. `progress(lines)` is called every 100,000 lines. With `ref`
// null nothing is computed (the result columns stay empty): reading and
// writing alone, the baseline of the benchmark. Throws std::runtime_error
// when `out` cannot be written.
BatchCounts AssessCsv(QIODevice& in, QIODevice& out, const Reference* ref, bool commaDecimal,
                      const std::function<void(qint64, const QString&)>& malformed,
                      const std::function<void(qint64)>& progress = {});

}  // namespace trp::assess
