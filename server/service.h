#pragma once
// The remote data module rdmTabRelPeso: every method, independent of HTTP.
// Stateless between calls except for a cache of the big table answers, which
// is checked against the database's change counters on every call so that
// several server instances on one database never serve stale rows.

#include "server/assess_cache.h"
#include "server/storage.h"

#include <QJsonArray>
#include <QString>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace srv {

// A failure to report to the caller: a JSON-RPC error code and a Portuguese
// sentence the user can act on.
class RpcError : public std::runtime_error {
 public:
  enum Code {
    ParseError = -32700,
    InvalidRequest = -32600,
    MethodNotFound = -32601,
    InvalidParams = -32602,
    Internal = -32603,
    Refused = -32000,    // the call is valid but the data forbids it
    Conflict = -32001,   // another workstation changed the rows meanwhile
    Forbidden = -32003,  // the token may not call this method
    Busy = -32004,
  };
  RpcError(int code, const QString& message)
      : std::runtime_error(message.toStdString()), code_(code), message_(message) {}
  int code() const { return code_; }
  // The whole sentence: what() would stop at a NUL the user typed.
  const QString& message() const { return message_; }

 private:
  int code_;
  QString message_;
};

// JSON text in pieces, written out one after another: big answers share
// their pieces with the cache instead of copying them.
using JsonPieces = std::vector<std::shared_ptr<const std::string>>;

struct Caller {
  QString name;
  bool maintainer = false;
};

// Connections to one database, created on demand and reused, at most `max`
// at once; a thread holds one for the length of a call. Reading calls never
// take the last `max / 4` (at least one, when max > 1): a flood of readers
// cannot starve the calls that change data.
class DbPool {
 public:
  DbPool(QString target, size_t max, int waitMs = 5000)
      : target_(std::move(target)),
        max_(max),
        reserved_(max > 1 ? std::max<size_t>(1, max / 4) : 0),
        waitMs_(waitMs) {}
  class Lease {
   public:
    Lease(DbPool& pool, std::unique_ptr<Db> db, std::uint64_t generation, bool read)
        : pool_(pool), db_(std::move(db)), generation_(generation), read_(read) {}
    ~Lease() { pool_.release(std::move(db_), generation_, read_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Db& operator*() { return *db_; }
    Db* operator->() { return db_.get(); }

   private:
    DbPool& pool_;
    std::unique_ptr<Db> db_;
    std::uint64_t generation_;
    bool read_;
  };
  // Marks the calls of this thread as reading ones while it lives.
  class ReadingCall {
   public:
    ReadingCall();
    ~ReadingCall();
    ReadingCall(const ReadingCall&) = delete;
    ReadingCall& operator=(const ReadingCall&) = delete;

   private:
    bool before_;
  };
  // Waits for a free connection, at most the pool's wait. Throws DbError:
  // kind Overloaded when none freed up, Connection when a new one cannot be
  // opened.
  Lease acquire();
  // A connection only if one is free now: for work that can be done without.
  std::unique_ptr<Lease> tryAcquire();
  // After a lost connection: the others were opened to the same server and
  // are likely lost too, so none of them is used again.
  void dropIdle();
  const QString& target() const { return target_; }
  size_t max() const { return max_; }

 private:
  bool Free(bool read) const;
  std::unique_ptr<Db> take(std::unique_lock<std::mutex>& lock);
  void release(std::unique_ptr<Db> db, std::uint64_t generation, bool read);
  QString target_;
  const size_t max_;
  const size_t reserved_;  // kept for changing calls
  const int waitMs_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<std::unique_ptr<Db>> idle_;
  size_t open_ = 0;     // idle and leased
  size_t reading_ = 0;  // leased to reading calls
  std::uint64_t generation_ = 0;
};

class Service {
 public:
  Service(const QString& database, size_t dbConnections);

  // Opens the database and applies pending migrations. Throws DbError.
  void Open();

  // Runs one method. Returns the JSON text of the result. Throws RpcError;
  // nothing has changed when it does.
  JsonPieces Call(const Caller& caller, const QString& method, const QJsonArray& params);

  // Empty while the database answers; otherwise why it does not, for people.
  QString Health();

  static bool IsReadOnlyMethod(const QString& method);
  static bool IsKnownMethod(const QString& method);

 private:
  // The rows of one (reference, percentile) in one table as packet JSON,
  // valid while its change counter in the database still has this value.
  struct Chunk {
    std::int64_t counter = 0;
    std::string rows;  // "[...],[...]"; empty when there are none
  };

  DbPool pool_;
  std::mutex cacheMutex_;
  // By table, then by reference and percentile.
  std::map<std::pair<std::string, std::string>, std::shared_ptr<const Chunk>> cache_[3];
  AssessReferenceCache assessCache_;

  // `committing` turns true once a changing call has sent its commit.
  JsonPieces Dispatch(const Caller& caller, const QString& method, const QJsonArray& params,
                      bool& committing);

  friend class Methods;
  friend class MasterDataMethods;
};

}  // namespace srv
