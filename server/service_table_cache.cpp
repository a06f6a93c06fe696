// GetPerc: a whole row table as one answer, from cached parts checked against their counters.
#include "server/service_p.h"

#include "server/json_out.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

namespace srv {

namespace {

// Missing parts from which a table answer is built on several connections.
constexpr size_t kParallelParts = 4;

}  // namespace

JsonPieces Methods::GetPerc(const TableDef& t) {
  p_.expect(0);
  auto db = s_.pool_.acquire();
  Transaction tx(*db, false);
  using Key = std::pair<std::string, std::string>;  // reference, percentile
  std::vector<std::pair<Key, std::int64_t>> counters;
  db->run(
      "SELECT CDREFEBIBL, CDPERCENTIL, NRALTERACAO FROM CONTROLEALTERACAO WHERE NMTABELA = ? "
      "ORDER BY CDREFEBIBL, CDPERCENTIL",
      {std::string(t.name)},
      [&](const SqlRow& r) { counters.emplace_back(Key(r.text(0), r.text(1)), r.integer(2)); });
  // Names are read on every call: the percentile table is kept elsewhere.
  std::map<std::string, std::string> names;
  db->run("SELECT CDPERCENTIL, NMPERCENTIL FROM PERCENTIL", {},
          [&](const SqlRow& r) { names[std::string(r.text(0))] = std::string(r.text(1)); });

  auto& cache = s_.cache_[int(t.id)];
  std::vector<std::shared_ptr<const Service::Chunk>> chunks(counters.size());
  {
    std::lock_guard lock(s_.cacheMutex_);
    for (size_t i = 0; i < counters.size(); ++i) {
      auto it = cache.find(counters[i].first);
      if (it != cache.end() && it->second->counter == counters[i].second) chunks[i] = it->second;
    }
  }
  const auto fields = FieldsOf(t);
  const std::string rowsSql = "SELECT " + ColumnList(t) + " FROM " + t.name +
                              " WHERE CDREFEBIBL = ? AND CDPERCENTIL = ?" + OrderBy(t);
  std::vector<size_t> built;
  for (size_t i = 0; i < counters.size(); ++i)
    if (!chunks[i]) built.push_back(i);
  auto build = [&](Db& on, size_t i) {
    auto chunk = std::make_shared<Service::Chunk>();
    chunk->counter = counters[i].second;
    AppendRows(on, chunk->rows, fields, rowsSql,
               {counters[i].first.first, counters[i].first.second});
    return chunk;
  };
  if (built.size() >= kParallelParts && built.size() * 2 >= counters.size()) {
    // Most parts missing (a restart, a change everywhere): one pass over the
    // table in this snapshot costs less than a query per part. A part whose
    // rows do not come together is left to its own query below.
    std::map<Key, size_t> wanted;
    std::vector<std::shared_ptr<Service::Chunk>> fresh(counters.size());
    for (size_t i : built) {
      fresh[i] = std::make_shared<Service::Chunk>();
      fresh[i]->counter = counters[i].second;
      wanted.emplace(counters[i].first, i);
    }
    std::vector<char> seen(counters.size(), 0), scattered(counters.size(), 0);
    const int refColumn = t.columnIndex("CDREFEBIBL");
    const int percColumn = t.columnIndex("CDPERCENTIL");
    Key current;
    std::string* into = nullptr;
    bool started = false;
    db->run("SELECT " + ColumnList(t) + " FROM " + t.name + OrderBy(t), {}, [&](const SqlRow& r) {
      const std::string_view ref = r.text(refColumn), perc = r.text(percColumn);
      if (!started || ref != current.first || perc != current.second) {
        started = true;
        current = Key(std::string(ref), std::string(perc));
        into = nullptr;
        const auto it = wanted.find(current);
        if (it == wanted.end()) return;
        if (seen[it->second]) scattered[it->second] = 1;
        seen[it->second] = 1;
        into = &fresh[it->second]->rows;
      }
      if (into) AppendRow(*into, fields, r, into->empty());
    });
    for (size_t i : built)
      if (!scattered[i]) chunks[i] = fresh[i];
  } else {
    // Helpers build the missing parts on their own connections, each in
    // its own snapshot. A part whose counter there is
    // not the one read here is left to this connection, so the answer is
    // still the one snapshot read above.
    std::atomic<size_t> next{0};
    const std::string counterSql =
        "SELECT NRALTERACAO FROM CONTROLEALTERACAO WHERE NMTABELA = ? AND CDREFEBIBL = ? AND "
        "CDPERCENTIL = ?";
    std::vector<std::jthread> helpers;
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t helperCount = built.size() < kParallelParts ? 0 : std::min<size_t>(3, cores - 1);
    for (size_t h = 0; h < helperCount; ++h) {
      helpers.emplace_back([&] {
        try {
          // Only a connection that is free now: the pool's bound holds,
          // and what no helper builds is built below.
          const DbPool::ReadingCall reading;
          const auto lease = s_.pool_.tryAcquire();
          if (!lease) return;
          Db& own = **lease;
          Transaction htx(own, false);
          for (size_t j; (j = next++) < built.size();) {
            const size_t i = built[j];
            const auto& [ref, perc] = counters[i].first;
            if (QueryInt(own, counterSql, {std::string(t.name), ref, perc}, -1) ==
                counters[i].second)
              chunks[i] = build(own, i);
          }
        } catch (const std::exception&) {
          // Whatever a helper leaves undone is built below.
        }
      });
    }
    struct Drain {  // a failure here stops the helpers at their next part
      std::atomic<size_t>& next;
      size_t end;
      ~Drain() { next = end; }
    } drain{next, built.size()};
    for (size_t j; (j = next++) < built.size();) chunks[built[j]] = build(*db, built[j]);
    helpers.clear();
  }
  for (size_t i : built)
    if (!chunks[i]) chunks[i] = build(*db, i);
  tx.commit();
  {
    std::lock_guard lock(s_.cacheMutex_);
    for (size_t i : built) {
      auto& slot = cache[counters[i].first];
      if (!slot || slot->counter < chunks[i]->counter) slot = chunks[i];
    }
  }

  // Element 0 lists the (reference, percentile) pairs that have rows.
  auto head = std::make_shared<std::string>("[");
  AppendFields(*head,
               {{"CDREFEBIBL", true, 2}, {"CDPERCENTIL", true, 3}, {"NMPERCENTIL", true, 30}});
  bool first = true;
  for (size_t i = 0; i < counters.size(); ++i) {
    if (chunks[i]->rows.empty()) continue;
    const auto& [ref, perc] = counters[i].first;
    *head += first ? "[" : ",[";
    first = false;
    AppendString(*head, ref);
    *head += ',';
    AppendString(*head, perc);
    *head += ',';
    auto name = names.find(perc);
    if (name == names.end())
      *head += "null";
    else
      AppendString(*head, name->second);
    *head += ']';
  }
  *head += "]},";
  AppendFields(*head, fields);
  JsonPieces out{std::move(head)};
  static const auto comma = std::make_shared<const std::string>(",");
  first = true;
  for (auto& chunk : chunks) {
    if (chunk->rows.empty()) continue;
    if (!first) out.push_back(comma);
    first = false;
    out.push_back(std::shared_ptr<const std::string>(chunk, &chunk->rows));
  }
  out.push_back(std::make_shared<const std::string>("]}]"));
  return out;
}

}  // namespace srv
