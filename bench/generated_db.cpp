#include "bench/generated_db.h"

#include "server/admin.h"
#include "server/schema.h"
#include "server/storage.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

namespace bench {

void GenerateAgeTables(const QString& path, int references) {
  srv::InitDatabase(path);
  auto db = srv::OpenDb(path);
  srv::Transaction tx(*db, true);
  const char* const percentiles[] = {"003", "005", "010", "025", "050",
                                     "075", "085", "090", "095", "097"};
  for (const char* p : percentiles) {
    srv::SqlParams params;
    params.emplace_back(std::string(p));
    params.emplace_back(std::string("Percentil ").append(std::to_string(std::atoi(p))));
    db->run("INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL) VALUES (?, ?)", params);
  }
  std::mt19937_64 rng(20001);
  std::uniform_real_distribution<double> jitter(0.9, 1.1);
  std::string sql = "INSERT INTO PESALTIDADE VALUES (?, ?, ?, ?";
  for (int i = 0; i < 18; ++i) sql += ", ?";
  sql += ")";
  for (int r = 0; r < references; ++r) {
    char code[3] = {char('0' + r / 10), char('0' + r % 10), 0};
    const std::string ref(code);
    srv::SqlParams refRow;
    refRow.emplace_back(ref);
    refRow.emplace_back(std::string("Referência gerada ").append(ref));
    db->run("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES (?, ?)", refRow);
    for (const char* p : percentiles) {
      for (int m = 0; m <= 240; ++m) {
        srv::SqlParams row;
        row.emplace_back(std::string(p));
        row.emplace_back(ref);
        row.emplace_back(std::int64_t(m % 12));
        row.emplace_back(std::int64_t(m / 12));
        // Ten significant digits, as the CDC files give them.
        for (int i = 0; i < 18; ++i)
          row.push_back(std::round((3.5 + m * 0.25 + i) * jitter(rng) * 1e8) / 1e8);
        db->run(sql, row);
      }
    }
  }
  for (int r = 0; r < references; ++r) {
    char code[3] = {char('0' + r / 10), char('0' + r % 10), 0};
    for (const char* p : percentiles) srv::BumpChangeCounter(*db, "PESALTIDADE", code, p);
  }
  tx.commit();
}

}  // namespace bench
