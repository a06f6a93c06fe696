#pragma once
// The database schema as numbered migrations, applied in order at start.

#include "server/storage.h"

namespace srv {

// Brings the schema to the newest version inside one transaction (several
// servers starting together on one PostgreSQL database take turns). Throws
// DbError; a failed migration leaves the previous version intact.
void Migrate(Db& db);

// The newest schema version this build knows.
int SchemaVersion();

// Marks the rows of one (reference, percentile) in a table as changed, inside
// the caller's write transaction, so that the cached answers of every server
// instance see the change. Every write to a row table must call it for each
// pair it touches. Throws DbError.
void BumpChangeCounter(Db& db, const char* table, const std::string& reference,
                       const std::string& percentile);

}  // namespace srv
