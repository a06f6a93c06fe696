#pragma once
// The plausibility check (import/plausibility.h) over the rows a database
// holds, for `tabrelpeso-admin check` and after every import.

#include "server/storage.h"

#include <QString>
#include <QStringList>

#include <string>

namespace srv {

// The findings for the rows of `reference`, each line starting with
// "Referência XX: ". Throws DbError.
QStringList CheckReference(Db& db, const std::string& reference);

// The findings for `reference`, or for every reference when it is empty.
// Throws std::runtime_error with a clear message (unknown reference, no
// database...).
QStringList CheckReferences(const QString& database, const QString& reference);

// One line per L, M, S curve `reference` keeps (every reference when empty):
// "Referência 02: L, M e S de peso_idade por idade em dias, 0 a 1826
// (masculino 1827 pontos, feminino 1827 pontos)". Same failures as
// CheckReferences.
QStringList KeptLms(const QString& database, const QString& reference);

}  // namespace srv
