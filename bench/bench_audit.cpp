// A page of the history (GetHistorico, 100 rows, newest first) over HTTP on
// a generated audit of a million rows, per filter, against a one-row lookup
// (GetValidaAltura) on the same server and connection, measured in the same
// run; and the same page's query with the indexes switched off, to show what
// they buy. Counters: medians in milliseconds, ratio = page / lookup and
// scan_ratio = page / unindexed query.

#include "server/admin.h"
#include "server/app_server.h"
#include "server/audit_log.h"
#include "server/storage.h"
#include "server/tables.h"

#include "smoke.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const int kAuditRows = bench::Scaled(1000000, 2000);
const char* const kToken = "bench-token";
const char* const kPercentiles[] = {"003", "005", "010", "025", "050", "075", "090", "095", "097"};

// The rows of 20 references over a year: inserts, edits and deletions by 8
// users, each row as the writers store it. One transaction, one prepared
// statement.
void Generate(const QString& path) {
  srv::InitDatabase(path);
  auto db = srv::OpenDb(path);
  // The audit's indexes are built once after the rows, not row by row.
  std::vector<std::pair<std::string, std::string>> indexes;
  db->run(
      "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'AUDITORIA' "
      "AND sql IS NOT NULL",
      {}, [&](const srv::SqlRow& r) { indexes.emplace_back(r.text(0), r.text(1)); });
  for (const auto& index : indexes) db->script("DROP INDEX " + index.first);
  db->script("PRAGMA cache_size = -262144");
  srv::Transaction tx(*db, true);
  for (int r = 1; r <= 20; ++r)
    db->run("INSERT INTO REFEBIBL (CDREFEBIBL, NMREFEBIBL) VALUES (?, ?)",
            {QString::number(r).rightJustified(2, u'0').toStdString(),
             "Referencia " + std::to_string(r)});
  for (const char* p : kPercentiles)
    db->run("INSERT INTO PERCENTIL (CDPERCENTIL, NMPERCENTIL, VRPERCENTIL) VALUES (?, ?, ?)",
            {std::string(p), "Percentil " + std::string(p), std::stod(p)});
  db->run(
      "INSERT INTO PESOALTU (VRALTURA, VRPESOFEMALT, CDPERCENTIL, CDREFEBIBL, VRPESOMASALT) "
      "VALUES (80, 10.5, '050', '01', 11)",
      {});
  std::mt19937 rng(7);
  for (int i = 0; i < kAuditRows; ++i) {
    const srv::TableDef& t = *srv::AllTables()[size_t(rng() % 3)];
    const std::string ref = (i % 20 < 9 ? "0" : "") + std::to_string(i % 20 + 1);
    const std::string perc = kPercentiles[rng() % 9];
    const int key = int(rng() % 240);
    std::string row = "{";
    for (const srv::ColumnDef& c : t.columns) {
      row += std::string(row.size() > 1 ? "," : "") + "\"" + c.name + "\":";
      if (c.name == std::string_view("CDREFEBIBL"))
        row += "\"" + ref + "\"";
      else if (c.name == std::string_view("CDPERCENTIL"))
        row += "\"" + perc + "\"";
      else if (c.kind == srv::ColumnDef::Kind::Whole)
        row += std::to_string(c.name == std::string_view(srv::kYears) ? key / 12 : key % 12);
      else if (c.key)
        row += std::to_string(45 + key / 2) + (key % 2 ? ".5" : "");
      else
        row += std::to_string(rng() % 100) + "." + std::to_string(rng() % 10);
    }
    row += "}";
    const int op = int(rng() % 10);  // 3 inserts, 5 edits, 2 deletions
    const std::string user = "usuario" + std::to_string(rng() % 8);
    const auto seconds = std::int64_t(i) * 31;  // a year over the million
    char when[32];
    std::snprintf(when, sizeof when, "2025-%02d-%02dT%02d:%02d:%02d.000Z",
                  int(seconds / (86400 * 31)) % 12 + 1, int(seconds / 86400) % 28 + 1,
                  int(seconds / 3600) % 24, int(seconds / 60) % 60, int(seconds % 60));
    const auto located = QJsonDocument::fromJson(QByteArray::fromStdString(row)).object();
    const std::string keyText = srv::AuditKeyText(t, located);
    db->run(
        "INSERT INTO AUDITORIA (NMUSUARIO, DTAUDITORIA, NMMETODO, NMTABELA, DSANTERIOR, DSNOVO, "
        "CDREFEBIBL, CDPERCENTIL, DSCHAVE, NRLOTE) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {user, std::string(when), std::string(op < 8 ? t.set : t.deleta), std::string(t.name),
         op < 3 ? srv::SqlParam{} : srv::SqlParam{row},
         op < 8 ? srv::SqlParam{row} : srv::SqlParam{}, ref, perc, keyText, std::int64_t(i)});
  }
  for (const auto& index : indexes) db->script(index.second);
  tx.commit();
}

struct World {
  QString path;
  std::unique_ptr<srv::AppServer> server;
  std::unique_ptr<httplib::Client> client;
  std::unique_ptr<srv::Db> direct;
};

World& GetWorld() {
  static std::unique_ptr<World> w;
  if (w) return *w;
  w = std::make_unique<World>();
  // Kept between runs (in TRP_BENCH_CACHE, which scripts/run-benchmarks puts
  // in the build tree): generating takes a while and the rows are always the same.
  const QString cache = qEnvironmentVariable("TRP_BENCH_CACHE");
  const QDir dir = cache.isEmpty() ? QDir::temp() : QDir(cache);
  if (!dir.mkpath(QStringLiteral(".")))
    throw std::runtime_error("cannot create " + dir.path().toStdString());
  w->path = dir.filePath(QStringLiteral("trp_bench_audit_%1.db").arg(kAuditRows));
  if (!QFile::exists(w->path)) {
    const QString partial = w->path + QStringLiteral(".partial");
    QFile::remove(partial);
    try {
      Generate(partial);
    } catch (...) {
      QFile::remove(partial);
      throw;
    }
    QFile::rename(partial, w->path);
  }
  srv::ServerOptions o;
  o.port = 0;
  o.database = w->path;
  o.logLevel = QStringLiteral("quiet");
  o.tokens = {{"bench", "maintainer", kToken}};
  w->server = std::make_unique<srv::AppServer>(o);
  const int port = w->server->Start();
  w->client = std::make_unique<httplib::Client>("127.0.0.1", port);
  w->client->set_keep_alive(true);
  w->client->set_tcp_nodelay(true);
  w->direct = srv::OpenDb(w->path);
  return *w;
}

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Post(World& w, const std::string& body) {
  const auto t0 = std::chrono::steady_clock::now();
  auto res = w.client->Post("/Qel53600.rdmTabRelPeso",
                            {{"Authorization", std::string("Bearer ") + kToken}}, body,
                            "application/json");
  if (!res || res->status != 200 || res->body.find("\"result\"") == std::string::npos)
    throw std::runtime_error("call failed: " + (res ? res->body : std::string("no answer")));
  return Ms(std::chrono::steady_clock::now() - t0);
}

struct Filter {
  const char* name;
  const char* params;  // GetHistorico's nine parameters
  const char* where;   // the same filter for the unindexed query
};

const Filter kFilters[] = {
    {"newest", R"("","","","","","","",0,100)", ""},
    {"reference", R"("","07","","","","","",0,100)", "CDREFEBIBL = '07'"},
    {"percentile", R"("height","07","050","","","","",0,100)",
     "NMTABELA = 'PESOALTU' AND CDREFEBIBL = '07' AND CDPERCENTIL = '050'"},
    {"row", R"("age","07","050","2/6","","","",0,100)",
     "NMTABELA = 'PESALTIDADE' AND CDREFEBIBL = '07' AND CDPERCENTIL = '050' AND DSCHAVE = "
     "'2/6'"},
    {"user", R"("","","","","usuario3","","",0,100)", "NMUSUARIO = 'usuario3'"},
    {"since", R"("","07","","","","2025-06-01","",0,100)",
     "CDREFEBIBL = '07' AND DTAUDITORIA >= '2025-06-01'"},
    {"deep_page", R"("","07","","","","","",500000,100)",
     "CDREFEBIBL = '07' AND NRAUDITORIA < 500000"},
};

void BM_HistoryPage(benchmark::State& state) {
  World& w = GetWorld();
  const Filter& f = kFilters[state.range(0)];
  state.SetLabel(f.name);
  const std::string page =
      std::string(R"({"jsonrpc":"2.0","id":1,"method":"GetHistorico","params":[)") + f.params +
      "]}";
  const std::string lookup =
      R"({"jsonrpc":"2.0","id":2,"method":"GetValidaAltura","params":["01","050","80"]})";
  const std::string scan = std::string("SELECT NRAUDITORIA FROM AUDITORIA NOT INDEXED") +
                           (*f.where ? " WHERE " : "") + f.where +
                           " ORDER BY NRAUDITORIA DESC LIMIT 101";
  Post(w, page);
  std::vector<double> pages, lookups, scans;
  for (auto _ : state) {
    pages.push_back(Post(w, page));
    lookups.push_back(Post(w, lookup));
    const auto t0 = std::chrono::steady_clock::now();
    w.direct->run(scan, {}, [](const srv::SqlRow&) {});
    scans.push_back(Ms(std::chrono::steady_clock::now() - t0));
  }
  state.counters["page_ms"] = Median(pages);
  state.counters["lookup_ms"] = Median(lookups);
  state.counters["unindexed_ms"] = Median(scans);
  state.counters["ratio"] = Median(pages) / Median(lookups);
  state.counters["scan_ratio"] = Median(pages) / Median(scans);
}

BENCHMARK(BM_HistoryPage)
    ->DenseRange(0, 6)
    ->Iterations(bench::Scaled(7, 1))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
