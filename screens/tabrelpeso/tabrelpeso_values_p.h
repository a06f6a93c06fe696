#pragma once
// The value columns of the three tables as the checks and the messages name
// them; private to the screen's files.

#include "import/reference_ranges.h"

#include <QHash>
#include <QList>
#include <QString>

namespace trp::tabrelpeso {

struct Coluna {
  const char* masc;
  const char* fem;
  growth::Quantity quantity;
  growth::Statistic statistic;
};

// The values each table checks, by the key its rows have.
QList<Coluna> Colunas(bool porIdade, bool nchs);

// "Peso", "Média do peso", "Desvio padrão do perímetro cefálico".
QString Nome(growth::Quantity q, growth::Statistic st = growth::Statistic::Value);

// The decimals each column of a table is typed with (value columns of one
// sex; the height key included where it is limited).
QHash<QString, int> DecimaisIdade(const char* sex);
QHash<QString, int> DecimaisAltura();
QHash<QString, int> DecimaisNCHS(const char* sex);

}  // namespace trp::tabrelpeso
