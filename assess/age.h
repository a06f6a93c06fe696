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

// Gestational age at birth typed as weeks and days ("30", "30+4", "30 4"):
// total days, or nullopt unless 20 to 44 weeks and 0 to 6 days.
std::optional<int> ParseGestation(const QString& text);

// A child born below 37 weeks is assessed at the corrected age until 24
// months of chronological age (Brasil, Ministério da Saúde, Caderneta da
// Criança): the days from `birth` to `measured` minus the days short of 40
// weeks, never below 0. nullopt when no correction applies (37 weeks or
// more, 24 months or older, or invalid dates).
std::optional<int> CorrectedAgeDays(const QDate& birth, const QDate& measured, int gestationDays);

}  // namespace trp::assess
