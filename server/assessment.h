#pragma once
// What a reference keeps for assessing a child, read from the database, and
// the answer as JSON: shared by AvaliaMedida and `tabrelpeso-admin assess`.

#include "assess/assessment.h"
#include "server/storage.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace srv {

// The L, M and S of `reference` and its kept percentile curves (age table:
// weight, length/height and head circumference by month; height table:
// weight by length/height). Throws DbError.
trp::assess::Reference LoadAssessReference(Db& db, const std::string& reference);

// v at 1/scale (two decimals: 100), or null; the JSON cells of an answer.
void AppendRounded(std::string& out, const std::optional<double>& v, double scale);
// A JSON string, or null for an empty text.
void AppendTextOrNull(std::string& out, const QString& text);

// {"peso_idade":{"z":0.24,"percentil":59.5,"faixa":"entre P50 e P75",
//  "classificacao":"Peso adequado para a idade","implausivel":false},...}:
// z at two decimals and the percentile at one, as the WHO's tools show them.
void AppendResultsJson(std::string& out, const std::vector<trp::assess::Result>& results);

}  // namespace srv
