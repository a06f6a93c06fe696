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

// Marks a table as changed inside the caller's write transaction, so that
// cached answers of every server instance see the change.
void BumpChangeCounter(Db& db, const char* table);
std::int64_t ChangeCounter(Db& db, const char* table);

}  // namespace srv
