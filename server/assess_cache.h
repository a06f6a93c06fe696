#pragma once
// What AvaliaMedida and GetCurvaLms read of a reference, kept between calls
// while the database's change counters say it is current.

#include "assess/assessment.h"
#include "server/storage.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace srv {

class AssessReferenceCache {
 public:
  // The reference as LoadAssessReference reads it, from the cache when
  // nothing it is built from changed since: its rows (the row tables'
  // change counters), its L, M and S (their own counter, bumped by every
  // writer) and the percentiles' values (read on every call; a small table
  // with writers of its own). Call inside the caller's read transaction, so
  // the check and a load see one snapshot. Throws DbError.
  std::shared_ptr<const trp::assess::Reference> Get(Db& db, const std::string& reference);

 private:
  struct Entry {
    std::string stamp;
    std::shared_ptr<const trp::assess::Reference> reference;
  };
  std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

}  // namespace srv
