#pragma once
// A child's age between two dates: in days for the assessment and as text
// for people ("2 anos, 3 meses e 4 dias").

#include <QDate>
#include <QString>

#include <optional>

namespace trp::assess {

// Days from `birth` to `measured`; nullopt when either date is invalid or
// the measurement comes before the birth.
std::optional<int> AgeDays(const QDate& birth, const QDate& measured);

// Whole years, months and days from `birth` to `measured` as "2 anos, 3
// meses e 4 dias" (singular where one: "1 ano, 1 mês e 1 dia"). Empty when
// AgeDays is nullopt.
QString AgeText(const QDate& birth, const QDate& measured);

}  // namespace trp::assess
