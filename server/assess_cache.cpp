#include "server/assess_cache.h"

#include "server/assessment.h"
#include "server/json_out.h"

namespace srv {

namespace {

// References a server keeps at once; beyond it the cache starts afresh
// (a server holds a handful, and each may be some megabytes of L, M and S).
constexpr size_t kMaxEntries = 64;

std::string StampOf(Db& db, const std::string& reference) {
  std::string stamp;
  db.run(
      "SELECT NMTABELA, CDPERCENTIL, NRALTERACAO FROM CONTROLEALTERACAO WHERE CDREFEBIBL = ? AND "
      "NMTABELA IN ('PESALTIDADE', 'PESOALTU', 'LMSREFERENCIA') ORDER BY NMTABELA, CDPERCENTIL",
      {reference}, [&](const SqlRow& r) {
        stamp.append(r.text(0)).append(1, '/').append(r.text(1)).append(1, '=');
        stamp += std::to_string(r.integer(2)) + ';';
      });
  stamp += '|';
  db.run("SELECT CDPERCENTIL, VRPERCENTIL FROM PERCENTIL ORDER BY CDPERCENTIL", {},
         [&](const SqlRow& r) {
           stamp.append(r.text(0)).append(1, '=');
           if (!r.isNull(1)) AppendNumber(stamp, r.real(1));
           stamp += ';';
         });
  return stamp;
}

}  // namespace

std::shared_ptr<const trp::assess::Reference> AssessReferenceCache::Get(
    Db& db, const std::string& reference) {
  std::string stamp = StampOf(db, reference);
  {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(reference);
    if (it != entries_.end() && it->second.stamp == stamp) return it->second.reference;
  }
  auto loaded =
      std::make_shared<const trp::assess::Reference>(LoadAssessReference(db, reference));
  std::lock_guard lock(mutex_);
  if (entries_.size() >= kMaxEntries && !entries_.count(reference)) entries_.clear();
  entries_[reference] = Entry{std::move(stamp), loaded};
  return loaded;
}

}  // namespace srv
