#pragma once
// The master tables REFEBIBL (bibliographic references) and PERCENTIL: the
// checks and writes that the server's methods and tabrelpeso-admin share.
// Every refusal is an RpcError (Refused, or Conflict when the stored entry is
// no longer the one the caller saw) whose message is a Portuguese sentence;
// the writes run inside the caller's write transaction, audit rows included,
// so a refusal leaves nothing behind once the caller rolls back.

#include "server/storage.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace srv {

struct ReferenceEntry {
  std::string code;                                      // CDREFEBIBL
  std::string name;                                      // NMREFEBIBL
  std::optional<std::string> citation, source, licence;  // DSCITACAO, DSFONTE, DSLICENCA
  bool operator==(const ReferenceEntry&) const = default;
};

struct PercentileEntry {
  std::string code;             // CDPERCENTIL
  std::string name;             // NMPERCENTIL
  std::optional<double> value;  // VRPERCENTIL: 15 for "015"
  bool operator==(const PercentileEntry&) const = default;
};

// Typed codes as the screens adjust them ("3" -> "03" / "003"), naming an
// existing entry; refused when empty, too long or holding control characters.
std::string ReferenceCode(const QString& typed);
std::string PercentileCode(const QString& typed);

// A checked entry from typed texts: the code adjusted, the name required
// (blanks trimmed), empty optional texts as absent; a code with invisible or
// look-alike characters is refused (RefuseOddCharacters), a name's length is
// counted in characters. A null QString counts as
// empty. The citation may hold several lines.
ReferenceEntry MakeReference(const QString& code, const QString& name, const QString& citation,
                             const QString& source, const QString& licence);
PercentileEntry MakePercentile(const QString& code, const QString& name,
                               std::optional<double> value);
// A percentile value as typed ("15", "2,5" or "2.5"); empty gives no value.
std::optional<double> ParsePercentileValue(const QString& typed);

std::vector<ReferenceEntry> ListReferences(Db& db);
std::vector<PercentileEntry> ListPercentiles(Db& db);
// The stored entry (locked for the transaction on PostgreSQL), if any.
std::optional<ReferenceEntry> FindReference(Db& db, const std::string& code);
std::optional<PercentileEntry> FindPercentile(Db& db, const std::string& code);

// Who changes the masters and through which method, for the audit trail.
struct MasterAudit {
  QString user;
  QString method;
};

// Refused when the code is taken (or, for a percentile, its value belongs to
// another one).
void AddReference(Db& db, const MasterAudit& audit, const ReferenceEntry& entry);
void AddPercentile(Db& db, const MasterAudit& audit, const PercentileEntry& entry);
// `original` is the entry as the caller saw it: a stored entry that differs
// (or is gone) is a conflict. The code itself never changes.
void EditReference(Db& db, const MasterAudit& audit, const ReferenceEntry& original,
                   const ReferenceEntry& changed);
void EditPercentile(Db& db, const MasterAudit& audit, const PercentileEntry& original,
                    const PercentileEntry& changed);
// Refused while any row of the three tables uses the code, or while the
// reference keeps L, M and S (the message gives the counts); a conflict when
// the stored entry differs.
void RemoveReference(Db& db, const MasterAudit& audit, const ReferenceEntry& original);
void RemovePercentile(Db& db, const MasterAudit& audit, const PercentileEntry& original);

// Runs `body` in one write transaction and commits it; a unique-key
// violation from a concurrent writer becomes `duplicateMessage`. `committing`
// turns true once the commit is sent (the server's retry rule needs it).
void WriteMaster(Db& db, const QString& duplicateMessage, const std::function<void()>& body,
                 bool* committing = nullptr);

// WriteMaster for a percentile's inclusion or change (`duplicateMessage`
// empty): a unique-key violation from a concurrent writer becomes the same
// refusal the checks give, the code's or the value's.
void WritePercentile(Db& db, const std::optional<PercentileEntry>& entry,
                     const QString& duplicateMessage, const std::function<void()>& body,
                     bool* committing = nullptr);

// The duplicate messages, for WriteMaster.
QString ReferenceTaken(const std::string& code);
QString PercentileTaken(const std::string& code);

}  // namespace srv
